"""Prints the version resource of a Windows binary: the fixed file version,
then the FileVersion and ProductVersion strings, one per line.

    python3 version_resource.py KORVANE.dll
"""

import struct
import sys

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def fixed_file_version(data: bytes) -> str:
    at = data.find(FIXED_SIGNATURE)
    if at < 0:
        raise ValueError("no VS_FIXEDFILEINFO")
    most, least = struct.unpack_from("<II", data, at + 8)
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


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
    print(fixed_file_version(data))
    print(string_value(data, "FileVersion"))
    print(string_value(data, "ProductVersion"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
