"""Prints the version resource of a Windows binary, one NAME=VALUE a line:
the numeric file and product versions and the file type from the fixed part,
then the FileVersion, ProductVersion, OriginalFilename and FileDescription
strings.

    python3 version_resource.py KORVANE.dll
"""

import struct
import sys

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
FILE_TYPES = {1: "VFT_APP", 2: "VFT_DLL"}
STRINGS = ("FileVersion", "ProductVersion", "OriginalFilename", "FileDescription")


def dotted(most: int, least: int) -> str:
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def fixed_info(data: bytes) -> list[tuple[str, str]]:
    """VS_FIXEDFILEINFO: signature, structure version, file version (2
    dwords), product version (2), flags mask, flags, OS, type, subtype."""
    at = data.find(FIXED_SIGNATURE)
    if at < 0:
        raise ValueError("no VS_FIXEDFILEINFO")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    file_type = struct.unpack_from("<I", data, at + 36)[0]
    return [
        ("file version", dotted(file_ms, file_ls)),
        ("product version", dotted(product_ms, product_ls)),
        ("file type", FILE_TYPES.get(file_type, hex(file_type))),
    ]


def string_value(data: bytes, key: str) -> str:
    """The value of a String entry: wLength, wValueLength, wType, the key,
    padding to 32 bits from the entry's start, then the UTF-16 value."""
    key_bytes = (key + "\0").encode("utf-16-le")
    at = data.find(key_bytes)
    if at < 6:
        raise ValueError(f"no {key} string")
    entry = at - 6
    value_units = struct.unpack_from("<H", data, entry + 2)[0]
    value = at + len(key_bytes)
    value += (4 - (value - entry) % 4) % 4
    return data[value : value + 2 * value_units].decode("utf-16-le").rstrip("\0")


def main() -> int:
    data = open(sys.argv[1], "rb").read()
    for name, value in fixed_info(data) + [(key, string_value(data, key)) for key in STRINGS]:
        print(f"{name}={value}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
