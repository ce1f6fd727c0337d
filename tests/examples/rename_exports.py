#!/usr/bin/env python3
"""Copies the host library with its exports renamed to KORVANE.dll's own
names, so that a caller that looks an entry point up by the DLL's name (the
.NET runtime, which has no dllmap) finds it:

    rename_exports.py HOST_LIBRARY EXPORT_MAP OUTPUT

EXPORT_MAP has a line "DLL_NAME HOST_NAME" per export. A linker cannot make
these names itself: GNU ld and lld read the "@16" of "_EnumPrinterInfoW@16"
as a symbol version. So the names are written into the dynamic string table
of the linked file, in place (each is shorter than the host's name), and the
symbol hash table is built again for them. That needs the SysV hash table
alone (--hash-style=sysv): its chains can be rebuilt without moving a symbol,
where the GNU hash table orders the symbols by their hashes. The copy is then
opened with ctypes and every new name looked up, so a file this cannot edit
soundly is refused, never written half right.
"""

import ctypes
import shutil
import struct
import sys

SHT_HASH, SHT_DYNSYM, SHT_GNU_HASH = 5, 11, 0x6FFFFFF6
SYMBOL_SIZE = 24  # Elf64_Sym


def sections(image):
    """(type, offset, size, link) of every section of a little-endian ELF64 file."""
    if image[:6] != b"\x7fELF\x02\x01":
        raise ValueError("not a little-endian 64-bit ELF file")
    table, = struct.unpack_from("<Q", image, 0x28)
    entry_size, count = struct.unpack_from("<HH", image, 0x3A)
    found = []
    for i in range(count):
        _, kind, _, _, offset, size, link = struct.unpack_from("<IIQQQQI", image, table + i * entry_size)
        found.append((kind, offset, size, link))
    return found


def c_string(image, at):
    return bytes(image[at:image.index(b"\0", at)])


def elf_hash(name):
    h = 0
    for byte in name:
        h = ((h << 4) + byte) & 0xFFFFFFFF
        high = h & 0xF0000000
        h ^= high >> 24
        h &= ~high & 0xFFFFFFFF
    return h


def rename(image, renames):
    found = sections(image)
    kinds = [s[0] for s in found]
    if SHT_GNU_HASH in kinds:
        raise ValueError("the library has a GNU hash table: link it with -Wl,--hash-style=sysv")
    _, symbols_at, symbols_size, strings_index = found[kinds.index(SHT_DYNSYM)]
    strings_at = found[strings_index][1]
    hash_at = found[kinds.index(SHT_HASH)][1]
    name_offsets = [struct.unpack_from("<I", image, symbols_at + i * SYMBOL_SIZE)[0]
                    for i in range(symbols_size // SYMBOL_SIZE)]
    names = [c_string(image, strings_at + offset) for offset in name_offsets]
    for old, new in renames.items():
        if names.count(old) != 1 or len(new) > len(old):
            raise ValueError("cannot rename %s to %s" % (old.decode(), new.decode()))
        start = name_offsets[names.index(old)]
        # The linker may have stored another name as a tail of this one.
        if any(start < offset <= start + len(old) for offset in name_offsets):
            raise ValueError("another name shares the string of %s" % old.decode())
        image[strings_at + start:strings_at + start + len(new) + 1] = new + b"\0"
        names[names.index(old)] = new
    # The SysV table: nbucket, nchain, the buckets, then a chain entry per symbol.
    bucket_count, chain_count = struct.unpack_from("<II", image, hash_at)
    if chain_count != len(names):
        raise ValueError("the hash table does not cover the dynamic symbols")
    buckets, chains = [0] * bucket_count, [0] * chain_count
    for index in range(1, len(names)):  # symbol 0 is the null symbol that ends every chain
        bucket = elf_hash(names[index]) % bucket_count
        chains[index], buckets[bucket] = buckets[bucket], index
    struct.pack_into("<II%dI%dI" % (bucket_count, chain_count), image, hash_at,
                     bucket_count, chain_count, *buckets, *chains)


def main(host_library, export_map, output):
    renames = {}
    for line in open(export_map):
        if line.strip():
            dll_name, host_name = line.split()
            renames[host_name.encode()] = dll_name.encode()
    image = bytearray(open(host_library, "rb").read())
    try:
        rename(image, renames)
    except ValueError as error:
        sys.exit("rename_exports.py: %s: %s" % (host_library, error))
    partial = output + ".partial"
    with open(partial, "wb") as f:
        f.write(image)
    library = ctypes.CDLL(partial)
    for dll_name in renames.values():
        getattr(library, dll_name.decode())  # AttributeError when a lookup fails
    shutil.move(partial, output)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
