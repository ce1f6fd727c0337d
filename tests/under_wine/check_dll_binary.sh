#!/usr/bin/env bash
# Reads KORVANE.dll without running it and checks what callers depend on:
#   - exactly the four decorated export names, ordinals 1 to 4 in name order,
#     and no undecorated alias;
#   - in the 32-bit DLL, each export removes its own arguments (ret $16 or $12),
#     as the standard call convention and the decorated name promise;
#   - it imports from system DLLs only, so no compiler runtime DLL is needed.
#
#   check_dll_binary.sh OBJDUMP KORVANE.dll
set -uo pipefail
objdump=$1
dll=$2
passed=0
failed=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; fi
}

headers=$("$objdump" -p "$dll")
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^[[:space:]]+\[')
expected=$'\t[   0] _EnumPrinterInfoA@16\n\t[   1] _EnumPrinterInfoCallbackA@12\n\t[   2] _EnumPrinterInfoCallbackW@12\n\t[   3] _EnumPrinterInfoW@16'
check "export names and ordinals: $names" test "$names" = "$expected"
check "ordinal base 1" test "$(awk '/^Ordinal Base/ {print $3}' <<<"$headers")" = 1
check "four exported addresses" test "$(sed -n '/Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" | grep -c '+base\[')" = 4

imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
check "imports only system DLLs: $imports" test "$imports" = "advapi32.dll kernel32.dll msvcrt.dll ole32.dll "

if grep -q 'file format pei-i386' <<<"$("$objdump" -f "$dll")"; then
  code=$("$objdump" -d "$dll")
  for entry in _EnumPrinterInfoA@16 _EnumPrinterInfoW@16 _EnumPrinterInfoCallbackA@12 _EnumPrinterInfoCallbackW@12; do
    bytes=$(printf '0x%x' "${entry##*@}")
    rets=$(awk -v fn="<$entry>:" '$2 == fn {p = 1; next} /^[0-9a-f]+ <.*>:/ {p = 0} p && /\tret/ {print $NF}' <<<"$code" | sort -u)
    check "$entry returns with ret \$$bytes (found: $rets)" test "$rets" = "\$$bytes"
  done
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
