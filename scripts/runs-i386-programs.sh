#!/usr/bin/env bash
# Tells whether this machine's kernel runs 32-bit x86 (i386) Linux programs,
# which 32-bit Wine is: some kernels have that emulation switched off. A
# static i386 program that only exits with status 42 is assembled, linked and
# run (as and ld come with binutils).
#
# Exit status: 0 it runs; 1 it does not, and why on standard output; 2 this
# cannot be told here (no as or ld), and why.
set -uo pipefail

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
"$dir/exit42" 2>"$dir/run.log"
status=$?
[[ $status -eq 42 ]] && exit 0
reason=$(sed -n 's/.*: //p' "$dir/run.log" | head -n 1)
echo "this machine's kernel runs no 32-bit (i386) programs (${reason:-exit status $status})"
exit 1
