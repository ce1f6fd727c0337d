#!/usr/bin/env python3
"""The hive reader against two independent readers, and against hostile hives.

    hive_test.py cross-check HIVE_DUMP FIXTURES_DIR WORK_DIR
        Every fixture scenario written as a hive by hivex, and the hives this
        test's own writer makes of what hivex never writes (li and ri lists,
        db big data, UTF-16 key names, versions 1.3 and 1.5): hive_dump must
        read the keys, values, types and bytes that hivex and libregf read.
    hive_test.py hostile KORVANE FIXTURES_DIR WORK_DIR
        One table of corrupted hives: korvane must refuse each with exit
        status 65 and one line naming the file, the offset and what is wrong.

    hive_test.py seeds - FIXTURES_DIR DIR
        Writes the cross-check's hives into DIR, the hive fuzzer's seeds.

Prints "N passed, N failed"; exit status 1 when one failed.
"""

import os
import re
import struct
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "..", "support"))
import hive_builder as hb  # noqa: E402
from check import Tally  # noqa: E402
import reg_to_hive  # noqa: E402
from hive_builder import Key, Value  # noqa: E402

REFERENCE_DUMP = os.path.join(here, "hive_reference_dump.py")
# The fixtures' scenarios, each what korvane is given in one run.
SCENARIOS = [
    ["devices.reg"],
    ["devices.reg", "odd_names.reg"],
    ["devices.reg", "japanese_printer.reg"],
    ["devices.reg", "no_serialcomm.reg"],
    ["devices.reg", "unlistable_model.reg"],
    ["devices.reg", "unlistable_instance.reg"],
    ["devices.reg", "no_printers.reg"],
    ["devices.reg", "no_usbprint.reg"],
    ["devices.reg", "empty_usb.reg"],
    ["devices.reg", "empty_port_value.reg"],
    ["offline_hive.reg"],
    ["../../samples/sample.reg"],
]


def fixture_system(fixtures_dir, files):
    system, _ = reg_to_hive.offline_system([os.path.join(fixtures_dir, f) for f in files])
    return reg_to_hive.builder_key(system)


def find(key, path):
    for level in path.split("\\"):
        key = next(k for k in key.subkeys if k.name.upper() == level.upper())
    return key


def windows_like(fixtures_dir):
    """devices.reg as Windows might write it: an ri over li and lf lists, UTF-16 key names, a big value."""
    system = fixture_system(fixtures_dir, ["devices.reg"])
    usb = find(system, "ControlSet001\\Enum\\USB")
    usb.list_kind, usb.ri_chunk = "ri", 3
    find(system, "ControlSet001\\Control\\Print\\Printers").list_kind = "li"
    find(system, "ControlSet001\\Enum\\USBPRINT").list_kind = "lf"
    for key in usb.subkeys[:2]:
        key.utf16_name = True
    usb.subkeys[0].values.append(Value("Blob", 3, bytes(range(256)) * 200))  # 51,200 bytes: 4 segments
    usb.subkeys[0].values.append(Value("None", 0, b"\x01\x02\x03"))
    usb.subkeys[0].values.append(Value("Empty", 1, b""))
    usb.subkeys[0].subkeys.append(Key("Ünïcödé ключ 鍵"))
    return system


def dump(command):
    result = subprocess.run(command, capture_output=True)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def without_record_none(text):
    """libregf reads REG_NONE data of 1 to 4 bytes inside the value record as zeros."""
    return re.sub(r"^(value \S* 0 )[0-9a-f]{2,8}$", r"\1?", text, flags=re.M)


def write_hives(fixtures_dir, work):
    """The hives read by the cross-check, which also seed the hive fuzzer; their paths."""
    hives = []
    for files in SCENARIOS:
        path = os.path.join(work, "+".join(os.path.basename(f)[:-4] for f in files) + ".hiv")
        reg_to_hive.write_hive_with_hivex(reg_to_hive.offline_system([os.path.join(fixtures_dir, f) for f in files])[0],
                                          path)
        hives.append(path)
    for name, minor in (("windows-like-1.5", 5), ("windows-like-1.3", 3), ("windows-like-1.6", 6)):
        path = os.path.join(work, name + ".hiv")
        with open(path, "wb") as f:
            f.write(hb.build(windows_like(fixtures_dir), minor=minor).data)
        hives.append(path)
    return hives


def cross_check(hive_dump, fixtures_dir, work):
    tally = Tally()
    for path in write_hives(fixtures_dir, work):
        status, ours, error = dump([hive_dump, path])
        if not tally.check(status == 0, "hive_dump read " + path, error) and status != 0:
            continue
        for reader in ("hivex", "libregf"):
            rstatus, theirs, rerror = dump([sys.executable, REFERENCE_DUMP, reader, path])
            mine = without_record_none(ours) if reader == "libregf" else ours
            tally.check(rstatus == 0 and mine == theirs, "%s reads %s as hive_dump does" % (reader, path),
                        rerror + first_difference(mine, theirs))
    sys.exit(tally.finish())


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a.splitlines(), b.splitlines())):
        if x != y:
            return "  line %d:\n    ours:   %s\n    theirs: %s" % (i + 1, x, y)
    return "" if a == b else "  one ends early (%d lines against %d)" % (len(a.splitlines()), len(b.splitlines()))


# ---- Hostile hives ---------------------------------------------------------

def u32(data, at, number):
    struct.pack_into("<I", data, at, number)


def u16(data, at, number):
    struct.pack_into("<H", data, at, number)


def resum(data):
    u32(data, 508, hb.checksum(data))


def cell(hive, name):
    """The file offset of a record's data (after the cell's size field)."""
    return hb.BASE_BLOCK_SIZE + hive.offsets[name] + 4


def nested(depth):
    key = Key("deep")
    for _ in range(depth):
        key = Key("deep", subkeys=[key])
    return key


def hostile_base(fixtures_dir, extra=None):
    system = windows_like(fixtures_dir)
    find(system, "ControlSet001\\Enum\\USBPRINT").list_kind = "ri"
    if extra:
        find(system, "ControlSet001\\Enum\\USB").subkeys.append(extra)
    return hb.build(system)


def value_records(data):
    """(file offset of the record, data length field) of every value record in use."""
    at = hb.BASE_BLOCK_SIZE
    while at < len(data):
        size = u32_at(data, at + 8)
        cell = at + 32
        while cell < at + size:
            length = struct.unpack_from("<i", data, cell)[0]
            if length < 0 and data[cell + 4:cell + 6] == b"vk":
                yield cell + 4, u32_at(data, cell + 8)
            cell += abs(length)
        at += size


def value_record(data, wanted):
    return next(offset for offset, length in value_records(data) if wanted(length))


def corruptions(fixtures_dir):
    """(name, the corrupted hive's bytes, what korvane's message must say)."""
    base = hostile_base(fixtures_dir)

    def edit(change):
        def apply():
            data = bytearray(base.data)
            change(data)
            return bytes(data)
        return apply

    def header(at, number):
        def change(data):
            u32(data, at, number)
            resum(data)
        return change

    usb_key = first_usb(fixtures_dir)
    root, db = cell(base, "root"), cell(base, "db")
    usb, usb_values, utf16 = cell(base, "nk USB"), cell(base, "nk " + usb_key), cell(base, "nk " + usb_key)
    ri, li, lf, printers = cell(base, "ri USB"), cell(base, "li USB"), cell(base, "lf USB"), cell(base, "li Printers")
    in_cell = value_record(base.data, lambda n: 4 < n <= hb.BIG_DATA_SEGMENT)
    in_record = value_record(base.data, lambda n: n & 0x80000000 and n & 0xFF)
    big = value_record(base.data, lambda n: hb.BIG_DATA_SEGMENT < n < 0x80000000)
    root_size = struct.unpack_from("<i", base.data, root - 4)[0]
    return [
        ("a truncated base block", lambda: base.data[:1000], r"the file ends inside the base block"),
        ("a bad checksum", edit(lambda d: d.__setitem__(100, d[100] ^ 0xFF)), r"checksum"),
        # Without the signature it is no hive, and is read as a .reg file.
        ("a wrong signature", edit(lambda d: d.__setitem__(slice(0, 4), b"regX")), r":1: invalid UTF-8"),
        ("version 1.9", edit(header(24, 9)), r"hive version 1\.9"),
        ("a log file, not a hive", edit(header(28, 1)), r"transaction log"),
        ("a truncated bin", lambda: base.data[:len(base.data) - 4096], r"the bins are said to take"),
        ("bins larger than the file", edit(header(40, 0x7FFFF000)), r"the bins are said to take"),
        ("a bin without its signature", edit(lambda d: d.__setitem__(slice(8192, 8196), b"xbin")), r"no bin begins here"),
        ("a bin at the wrong offset", edit(lambda d: u32(d, 8192 + 4, 0)), r"the bin says it is at"),
        ("a bin of size 0", edit(lambda d: u32(d, 4096 + 8, 0)), r"a bin of 0 bytes"),
        ("the root past the end", edit(header(36, 0x7FFFFFF0)), r"lies past the hive's bins"),
        ("the root inside another cell", edit(header(36, base.offsets["root"] + 8)), r"no cell in use begins here"),
        ("a cell of size 0", edit(lambda d: u32(d, root - 4, 0)), r"a cell of 0 bytes"),
        ("a cell running past its bin", edit(lambda d: struct.pack_into("<i", d, root - 4, -0x100000)),
         r"a cell of 1048576 bytes, which runs past the end of its bin"),
        ("a cell size not a multiple of 8", edit(lambda d: struct.pack_into("<i", d, root - 4, root_size + 4)),
         r"not a multiple of 8"),
        ("the root a free cell", edit(lambda d: struct.pack_into("<i", d, root - 4, -root_size)),
         r"no cell in use begins here, where a key node should be"),
        ("the root no key node", edit(lambda d: d.__setitem__(slice(root, root + 2), b"vk")), r"no key node \(nk\)"),
        ("a key name longer than its cell", edit(lambda d: u16(d, root + 72, 0xFFFF)), r"has no room for 65535 bytes"),
        ("an odd UTF-16 name", edit(lambda d: u16(d, utf16 + 72, 3)), r"odd number of bytes"),
        ("a list that lists itself", edit(lambda d: u32(d, printers + 4, base.offsets["li Printers"])),
         r"no key node \(nk\) here"),
        ("an ri that lists itself", edit(lambda d: u32(d, ri + 4, base.offsets["ri USB"])), r"reaches twice"),
        ("an ri inside an ri", edit(lambda d: u32(d, ri + 4, base.offsets["ri USBPRINT"])), r"inside another one"),
        ("a list reached twice", edit(lambda d: u32(d, ri + 8, u32_at(d, ri + 4))), r"reaches twice"),
        ("a key reached twice", edit(lambda d: u32(d, li + 8, u32_at(d, li + 4))), r"reach twice"),
        ("a list of 65535 subkeys in a small cell", edit(lambda d: u16(d, lf + 2, 0xFFFF)), r"shorter than its"),
        ("a subkey count of 2^31", edit(lambda d: u32(d, usb + 20, 0x80000000)), r"says it has 2147483648 subkeys"),
        ("more subkeys listed than counted", edit(lambda d: u32(d, usb + 20, 1)), r"more subkeys in the lists than"),
        ("a value count of 2^31", edit(lambda d: u32(d, usb_values + 36, 0x80000000)),
         r"too short for the key's 2147483648 values"),
        ("data in the record of 16 bytes", edit(lambda d: u32(d, in_record + 4, 0x80000010)),
         r"16 bytes of data said to fit"),
        ("data longer than its cell", edit(lambda d: u32(d, in_cell + 4, 16000)), r"has no room for 16000 bytes"),
        ("big data of 2^31 bytes", edit(lambda d: u32(d, big + 4, 0x7FFFFFFF)), r"cannot hold"),
        ("big data with too few segments", edit(lambda d: u16(d, db + 2, 1)), r"1 segments of big data cannot hold"),
        ("a big-data segment list too short", edit(lambda d: u16(d, db + 2, 4000)), r"shorter than its 16000"),
        ("keys nested 600 deep", lambda: hostile_base(fixtures_dir, nested(600)).data, r"nested deeper than 512"),
    ]


def u32_at(data, at):
    return struct.unpack_from("<I", data, at)[0]


def first_usb(fixtures_dir):
    return find(windows_like(fixtures_dir), "ControlSet001\\Enum\\USB").subkeys[0].name


def hostile(korvane, fixtures_dir, work):
    tally = Tally()
    good = os.path.join(work, "good.hiv")
    with open(good, "wb") as f:
        f.write(hostile_base(fixtures_dir).data)
    status, out, error = dump([korvane, "--reg", good, "4B31"])
    tally.check(status == 0 and "Receipt Printer A" in out, "the uncorrupted hive is read", error)
    for name, make, message in corruptions(fixtures_dir):
        path = os.path.join(work, "hostile.hiv")
        with open(path, "wb") as f:
            f.write(make())
        status, out, error = dump([korvane, "--reg", path, "4B31"])
        lines = error.strip().splitlines()
        where = r":1: " if message.startswith(":1: ") else r": offset 0x[0-9a-f]+: .*"
        pattern = r"^korvane: " + re.escape(path) + where + message.replace(":1: ", "")
        tally.check(status == 65 and out == "" and len(lines) == 1 and re.search(pattern, lines[0]) is not None,
                    name, "  exit %d, standard error: %s" % (status, error.strip()))
    sys.exit(tally.finish())


if __name__ == "__main__":
    sys.setrecursionlimit(10000)  # the builder writes keys nested 600 deep
    if len(sys.argv) != 5 or sys.argv[1] not in ("cross-check", "hostile", "seeds"):
        sys.exit(__doc__)
    os.makedirs(sys.argv[4], exist_ok=True)
    if sys.argv[1] == "seeds":
        write_hives(*sys.argv[3:])
    else:
        (cross_check if sys.argv[1] == "cross-check" else hostile)(*sys.argv[2:])
