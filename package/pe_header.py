#!/usr/bin/env python3
"""What the packaging and its proofs read of a PE file's headers: the machine,
whether it is a DLL, whether it is a .NET assembly (whose machine i386 may
mean any processor).

    pe_header.py FILE     prints "i386", "x86-64" or "0xNNNN", with " (.NET)"
                          after it for an assembly; "-" for no PE file
"""

import struct
import sys
from typing import NamedTuple, Optional

MACHINE_NAMES = {0x14C: "i386", 0x8664: "x86-64"}
IMAGE_FILE_DLL = 0x2000
CLR_DIRECTORY = 14  # the data directory of the .NET runtime header


class PeHeader(NamedTuple):
    machine: int
    is_dll: bool
    is_assembly: bool


def read(path: str) -> Optional[PeHeader]:
    """The header of the PE file at path; None when it is none, or cut short."""
    with open(path, "rb") as f:
        data = f.read(4096)
    if data[:2] != b"MZ" or len(data) < 64:
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    if data[pe:pe + 4] != b"PE\0\0" or len(data) < optional + 2:
        return None
    machine, characteristics = struct.unpack_from("<H", data, pe + 4)[0], struct.unpack_from("<H", data, pe + 22)[0]
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    clr = directories + CLR_DIRECTORY * 8
    is_assembly = len(data) >= clr + 4 and struct.unpack_from("<I", data, clr)[0] != 0
    return PeHeader(machine, bool(characteristics & IMAGE_FILE_DLL), is_assembly)


def describe(header: Optional[PeHeader]) -> str:
    if header is None:
        return "-"
    return MACHINE_NAMES.get(header.machine, "0x%04x" % header.machine) + (" (.NET)" if header.is_assembly else "")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    print(describe(read(sys.argv[1])))
