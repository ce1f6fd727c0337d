#!/usr/bin/env bash
# Fails unless KORVANE.dll exports exactly its four decorated names, with
# ordinals 1 to 4 in name order, and no undecorated alias.
set -euo pipefail
dll=$1
table=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^[[:space:]]+\[')
expected=$'\t[   0] _EnumPrinterInfoA@16\n\t[   1] _EnumPrinterInfoCallbackA@12\n\t[   2] _EnumPrinterInfoCallbackW@12\n\t[   3] _EnumPrinterInfoW@16'
if [ "$table" != "$expected" ]; then
  printf 'unexpected export names:\n%s\n' "$table" >&2
  exit 1
fi
# The name table index i must map to ordinal base + i, i.e. ordinals 1..4.
base=$(i686-w64-mingw32-objdump -p "$dll" | awk '/^Ordinal Base/ {print $3}')
[ "$base" = 1 ] || { echo "ordinal base is $base, expected 1" >&2; exit 1; }
ordinals=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/Export Address Table -- Ordinal Base/,/^$/p' | grep -c '+base\[')
[ "$ordinals" = 4 ] || { echo "$ordinals exported addresses, expected 4" >&2; exit 1; }
echo "1 passed, 0 failed"
