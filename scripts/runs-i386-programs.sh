#!/usr/bin/env bash
# Tells whether this machine runs 32-bit x86 (i386) Linux programs, which
# 32-bit Wine is, and how: natively, or under qemu-user's emulation through a
# binfmt_misc handler where the kernel runs no 32-bit code itself. A static
# i386 program that only exits with status 42 is assembled, linked and run
# (as and ld come with binutils).
#
# It runs with QEMU_VERSION set: the kernel ignores that, while qemu-user
# prints its version instead of running the program. So the one run tells
# which qemu really serves, even where the handler holds an interpreter file
# that a package upgrade has since replaced on disk (binfmt flag F).
#
#   runs-i386-programs.sh                    how the kernel runs them
#   runs-i386-programs.sh --emulator QEMU    how the emulator QEMU would, run directly
#
# Exit status and standard output:
#   0  it runs; "natively" or "under qemu-i386 VERSION"
#   1  it does not run; why
#   2  this cannot be told here (no as or ld); why
#   3  it runs only under a qemu-user too old to serve Wine; which, and why
set -uo pipefail
emulator=()
if [[ ${1:-} == --emulator && $# -eq 2 ]]; then
  emulator=("$2")
elif [[ $# -ne 0 ]]; then
  echo "usage: $0 [--emulator QEMU]" >&2
  exit 2
fi

# qemu-user before 8 walks its page table page by page for each of the some
# 65,900 mmap/munmap pairs with which Wine reserves its address space at every
# start: about 50 s a program (measured with 7.2; 10.0 takes 0.3 s).
readonly oldest_qemu_major=8

for tool in as ld; do
  if ! command -v "$tool" >/dev/null; then
    echo "cannot tell whether this machine runs 32-bit programs: no '$tool' (package binutils)"
    exit 2
  fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-i386.XXXXXX") || exit 2
trap 'rm -rf "$dir"' EXIT
cat >"$dir/exit42.s" <<'ASM'
        .globl _start
_start: movl $1, %eax        # exit
        movl $42, %ebx       # status
        int $0x80
ASM
if ! as --32 -o "$dir/exit42.o" "$dir/exit42.s" 2>"$dir/build.log" ||
  ! ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o" 2>>"$dir/build.log"; then
  echo "cannot tell whether this machine runs 32-bit programs: building the i386 probe failed: $(head -n 1 "$dir/build.log")"
  exit 2
fi
QEMU_VERSION=1 "${emulator[@]}" "$dir/exit42" >"$dir/run.out" 2>"$dir/run.log"
status=$?
if [[ $status -eq 42 ]]; then
  echo natively
  exit 0
fi
version=$(sed -n 's/^qemu-i386 version \([0-9][0-9.]*\).*/\1/p' "$dir/run.out" | head -n 1)
if [[ $status -eq 0 && -n $version ]]; then
  if [[ ${version%%.*} -lt $oldest_qemu_major ]]; then
    echo "32-bit programs run here only under qemu-i386 $version, older than $oldest_qemu_major:" \
      "Wine would take about 50 s to start each program"
    exit 3
  fi
  echo "under qemu-i386 $version"
  exit 0
fi
reason=$(sed -n 's/.*: //p' "$dir/run.log" | head -n 1)
if [[ ${#emulator[@]} -gt 0 ]]; then
  echo "${emulator[0]} runs no 32-bit (i386) programs (${reason:-exit status $status})"
else
  echo "this machine's kernel runs no 32-bit (i386) programs (${reason:-exit status $status})"
fi
exit 1
