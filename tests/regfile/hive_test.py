#!/usr/bin/env python3
"""The hive reader against two independent readers, and against hostile hives.

    hive_test.py cross-check HIVE_DUMP FIXTURES_DIR WORK_DIR
        Every fixture scenario written as a hive by hivex, and the hives this
        test's own writer makes of what hivex never writes (li and ri lists,
        db big data, UTF-16 key names, versions 1.3 and 1.5): hive_dump must
        read the keys, values, types and bytes that hivex and libregf read.
    hive_test.py hostile KORVANE FIXTURES_DIR WORK_DIR
        One table of corrupted hives: korvane must refuse each whose damage
        lies on the walk's path with exit status 65 and one line naming the
        file, the offset and what is wrong, and answer where it lies
        elsewhere, with a note naming it. Then one table of corrupted logs:
        korvane must answer as the entries before the damage give, with a
        note naming it.
    hive_test.py replay KORVANE HIVE_DUMP FIXTURES_DIR WORK_DIR
        One table of hives with transaction logs: korvane's answer, its note,
        and the keys hive_dump reads must be those of the hive that the
        logs bring it to.

    hive_test.py seeds - FIXTURES_DIR DIR
        Writes the cross-check's hives into DIR, and hives with their logs,
        the hive fuzzer's seeds.

Prints "N passed, N failed"; exit status 1 when one failed.
"""

import os
import re
import shutil
import struct
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "..", "support"))
import hive_builder as hb  # noqa: E402
from check import Tally  # noqa: E402
import log_fixtures  # noqa: E402
import log_writer as lw  # noqa: E402
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


# Between a hive and each of its logs in a seed of the hive fuzzer (fuzz/hive_reader_fuzzer.cpp).
LOG_MARKER = b"\nKORVANE-LOG\n"


def write_seeds(fixtures_dir, work):
    write_hives(fixtures_dir, work)
    states = log_fixtures.states(os.path.join(work, "states"))
    p, t1, t2 = states["P"], states["T1"], states["T2"]
    n = lw.sequence_of(p)
    one, two = lw.step(n, p, t1), lw.step(n + 1, t1, t2)
    hive = lw.dirty(p, n + 1, n)
    seeds = {
        "two-entries": [hive, lw.new_log(p, n, [one, two])],
        "two-logs": [hive, lw.new_log(p, n + 1, [two]), lw.new_log(p, n, [one])],
        "old-format": [hive, lw.old_log(p, t1)],
        "damaged-base-block": [hive[:200] + bytes([hive[200] ^ 1]) + hive[201:], lw.new_log(p, n, [one, two])],
    }
    for name, parts in seeds.items():
        with open(os.path.join(work, name + ".seed"), "wb") as f:
            f.write(LOG_MARKER.join(parts))
    shutil.rmtree(os.path.join(work, "states"))


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
    # Keys the walk never reads, in bins of their own.
    services = [Key("Svc%04d" % i, values=[Value("Text", 1, b"x" * 600)]) for i in range(PADDING_KEYS)]
    find(system, "ControlSet001").subkeys.append(Key("Services", subkeys=services))
    return hb.build(system)


PADDING_KEYS = 100


class Answers:
    """A corruption that the walk never meets: korvane answers, with a note naming it."""

    def __init__(self, note):
        self.note = note


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
    # A bin of the padding's alone: the one holding a padding key in its middle.
    padding = (cell(base, "nk Svc%04d" % (PADDING_KEYS // 2)) - hb.BASE_BLOCK_SIZE) // hb.BIN_SIZE * hb.BIN_SIZE + \
        hb.BASE_BLOCK_SIZE
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
        ("bins larger than the file: past the file, nothing the walk reads", edit(header(40, 0x7FFFF000)),
         Answers(r"the bins are said to take 2147479552 bytes, but \d+ follow the base block; "
                 r"the keys read lie elsewhere")),
        ("bins not a multiple of 4096", edit(header(40, 4096 * 5 + 8)), r"not a multiple of 4096"),
        ("a bin outside the walk without its signature", edit(lambda d: d.__setitem__(slice(padding, padding + 4), b"xbin")),
         Answers(r"offset 0x%x: no bin begins here \(\"hbin\"\); the keys read lie elsewhere, so the answer stands$"
                 % padding)),
        ("a bin outside the walk at the wrong offset", edit(lambda d: u32(d, padding + 4, 0)),
         Answers(r"offset 0x%x: the bin says it is at 0x0, not at" % (padding + 4))),
        ("a cell of size 0 in a bin the walk never reads", edit(lambda d: u32(d, padding + 32, 0)), Answers(None)),
        ("damage on the walk's path names the key being read",
         edit(lambda d: d.__setitem__(slice(printers, printers + 2), b"xx")),
         r"no subkey list \(lf, lh, li or ri\) here \(reading SYSTEM\\ControlSet001\\Control\\Print\\Printers\)$"),
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


def korvane_run(korvane, args):
    status, out, error = dump([korvane] + args)
    return status, out, error.strip().splitlines()


def hostile(korvane, fixtures_dir, work):
    tally = Tally()
    good = os.path.join(work, "good.hiv")
    with open(good, "wb") as f:
        f.write(hostile_base(fixtures_dir).data)
    status, answer, error = dump([korvane, "--reg", good, "4B31"])
    tally.check(status == 0 and "Receipt Printer A" in answer, "the uncorrupted hive is read", error)
    for name, make, expected in corruptions(fixtures_dir):
        path = os.path.join(work, "hostile.hiv")
        with open(path, "wb") as f:
            f.write(make())
        status, out, lines = korvane_run(korvane, ["--reg", path, "4B31"])
        detail = "  exit %d, standard error: %s" % (status, "\n".join(lines))
        if isinstance(expected, Answers):
            notes = [line for line in lines if line.startswith("korvane: " + path + ": ")]
            noted = not notes if expected.note is None else (
                len(notes) == 1 and re.search(r"^korvane: " + re.escape(path) + ": .*" + expected.note, notes[0]))
            tally.check(status == 0 and out == answer and noted, name, detail)
            continue
        where = r":1: " if expected.startswith(":1: ") else r": offset 0x[0-9a-f]+: .*"
        pattern = r"^korvane: " + re.escape(path) + where + expected.replace(":1: ", "")
        tally.check(status == 65 and out == "" and len(lines) == 1 and re.search(pattern, lines[0]) is not None,
                    name, detail)
    hostile_logs(korvane, os.path.join(work, "logs"), tally)
    sys.exit(tally.finish())


# ---- Transaction logs ------------------------------------------------------

def rehashed(entry):
    """The entry with its hashes made right again, so that only a field is wrong."""
    data = bytearray(entry)
    struct.pack_into("<Q", data, 24, lw.marvin32(bytes(data[40:])))
    struct.pack_into("<Q", data, 32, lw.marvin32(bytes(data[:32])))
    return bytes(data)


def changed(entry, at, number, rehash=True):
    data = bytearray(entry)
    u32(data, at, number)
    return rehashed(data) if rehash else bytes(data)


def log_case(work, files):
    """Writes the files of a case into a folder of its own; the hive's path."""
    os.makedirs(work, exist_ok=True)
    for name in os.listdir(work):
        os.unlink(os.path.join(work, name))
    for name, data in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
    return os.path.join(work, "SYSTEM")


def answers(korvane, work, states):
    """What korvane answers on each state saved cleanly."""
    result = {}
    for name, data in states.items():
        path = os.path.join(work, name + "-clean.hiv")
        with open(path, "wb") as f:
            f.write(data)
        result[name] = korvane_run(korvane, ["--reg", path, "4B31"])[1]
    return result


def hostile_logs(korvane, work, tally):
    states = log_fixtures.states(os.path.join(work, "states"))
    p, t1, t2 = states["P"], states["T1"], states["T2"]
    n = lw.sequence_of(p)
    one, two = lw.step(n, p, t1), lw.step(n + 1, t1, t2)
    hive = lw.dirty(p, n + 1, n)
    bins = struct.unpack_from("<I", two, 16)[0]
    first_page = 40 + 8 * struct.unpack_from("<I", two, 20)[0]
    second = 512 + len(one)

    def new(entries, tail=b""):
        return {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, entries, tail)}

    def base_block(edit_block):
        log = bytearray(lw.new_log(p, n, [one, two]))
        edit_block(log)
        return {"SYSTEM": hive, "SYSTEM.LOG1": bytes(log)}

    def old(edit_log):
        log = bytearray(lw.old_log(p, t1))
        edit_log(log)
        return {"SYSTEM": hive, "SYSTEM.LOG": bytes(log)}

    def resummed(edit_block):
        def change(log):
            edit_block(log)
            u32(log, 508, hb.checksum(log[:512]))
        return change

    stopped = r"stopped at offset 0x%x of .*SYSTEM\.LOG1: "
    # name, files, the state the answer must be, what the hive's note must say
    cases = [
        ("an entry larger than the file", new([changed(one, 4, 0x7FFFFE00, False)]), "P",
         (stopped % 512) + r"an entry of 2147483136 bytes, not a multiple of 512 within the file"),
        ("an entry size not a multiple of 512", new([one, changed(two, 4, len(two) - 4)]), "T1",
         (stopped % second) + r"an entry of \d+ bytes, not a multiple of 512"),
        ("an entry of size 0", new([one, changed(two, 4, 0)]), "T1", r"an entry of 0 bytes"),
        ("a wrong hash", new([one, two[:first_page] + bytes([two[first_page] ^ 1]) + two[first_page + 1:]]), "T1",
         (stopped % second) + r"its hash is wrong"),
        ("2^31 dirty pages", new([one, changed(two, 20, 0x80000000)]), "T1", r"with 2147483648 dirty pages"),
        ("no dirty pages", new([one, changed(two, 20, 0)]), "T1", r"with 0 dirty pages"),
        ("a page past the bins", new([one, changed(two, 40, 0x7FFFF000)]), "T1",
         r"a dirty page of \d+ bytes at 0x7ffff000, not whole sectors within the bins of %d bytes" % bins),
        ("a page not on a sector", new([one, changed(two, 40, struct.unpack_from("<I", two, 40)[0] + 1)]), "T1",
         r"not whole sectors"),
        ("a page of 0 bytes", new([one, changed(two, 44, 0)]), "T1", r"a dirty page of 0 bytes"),
        ("pages longer than their entry", new([one, changed(two, 44, bins)]), "T1", r"too short for its"),
        ("bins of 0 bytes", new([one, changed(two, 16, 0)]), "T1", r"it gives the bins 0 bytes"),
        ("bins of 2 GiB", new([one, changed(two, 16, 0x80000000)]), "T1", r"it gives the bins 2147483648 bytes"),
        ("an entry that grows the hive to the format's limit", new([one, changed(two, 16, 0x7FFFF000)]), "T2",
         r"replayed 2 log entries .*"),
        ("a sequence number far ahead", new([one, changed(two, 12, n + 0x40000000)]), "T1",
         r"it has sequence number %d where %d was due" % (n + 0x40000000, n + 1)),
        ("a log cut inside an entry", new([one, two[:len(two) // 2]]), "T1",
         (stopped % second) + r"an entry of \d+ bytes, not a multiple of 512 within the file"),
        ("a log shorter than its base block", {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [])[:100]}, "P",
         r"SYSTEM\.LOG1 is no usable log: it is too short for a log"),
        ("a log whose base block's checksum is wrong", base_block(lambda log: log.__setitem__(200, log[200] ^ 1)), "P",
         r"SYSTEM\.LOG1 is no usable log: its base block's checksum is wrong"),
        ("a log whose sequence numbers differ", base_block(resummed(lambda log: u32(log, 8, n + 7))), "P",
         r"its base block's sequence numbers differ"),
        ("a log of version 1.9", base_block(resummed(lambda log: u32(log, 24, 9))), "P", r"hive version 1\.9"),
        ("three logs whose numbers lie 2^30 apart",
         {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one, two]),
          "SYSTEM.LOG2": lw.new_log(p, n + 0x40000000, [one]), "SYSTEM.LOG": lw.new_log(p, n + 0x80000000, [one])},
         "T2", r"SYSTEM\.LOG2 begins at sequence number %d, not %d" % (n + 0x40000000, n + 2)),
        ("an old-format log with bins of 2 GiB", old(resummed(lambda log: u32(log, 40, 0x7FFFF000))), "P",
         r"the file ends inside its dirty vector"),
        ("an old-format log without its dirty vector", old(lambda log: log.__setitem__(slice(512, 516), b"XXXX")), "P",
         r"no dirty vector \(\"DIRT\"\) here"),
        ("an old-format log cut inside its pages", old(lambda log: log.__delitem__(slice(len(log) - 512, len(log)))),
         "P", r"replayed 0 dirty pages; stopped at offset 0x[0-9a-f]+ of \S*SYSTEM\.LOG: the file ends inside its "
         r"dirty pages"),
    ]
    expected = answers(korvane, work, states)
    for name, files, state, note in cases:
        path = log_case(os.path.join(work, "case"), files)
        status, out, lines = korvane_run(korvane, ["--reg", path, "4B31"])
        notes = [line for line in lines if line.startswith("korvane: " + path + ": ")]
        tally.check(status in (0, 1, 2) and out == expected[state] and any(re.search(note, line) for line in notes),
                    "hostile log: " + name, "  exit %d, standard error: %s" % (status, "\n".join(lines)))


def replay(korvane, hive_dump, fixtures_dir, work):
    tally = Tally()
    states = log_fixtures.states(os.path.join(work, "states"))
    p, t1, t2 = states["P"], states["T1"], states["T2"]
    n = lw.sequence_of(p)
    one, two = lw.step(n, p, t1), lw.step(n + 1, t1, t2)
    hive = lw.dirty(p, n + 1, n)
    damaged = bytearray(hive)
    damaged[200] ^= 0xFF
    logs = r"(?:\S*/)?"
    replayed = "the hive was not saved cleanly; replayed %d log entries from " + logs + "%s, up to sequence number %d$"
    missing = r", so its newest changes may be missing$"
    # name, files, arguments after the hive's (@NAME a file of the case), the state the hive must be read as,
    # what its note must say (None: no note)
    cases = [
        ("two entries, the log named in another case", {"SYSTEM": hive, "system.Log1": lw.new_log(p, n, [one, two])},
         [], "T2", replayed % (2, r"system\.Log1", n + 1)),
        ("a hive saved cleanly takes no log", {"SYSTEM": p, "SYSTEM.LOG1": lw.new_log(p, n, [one, two])}, [], "P", None),
        ("logs older than the hive", {"SYSTEM": lw.dirty(p, n + 6, n + 5), "SYSTEM.LOG1": lw.new_log(p, n, [one, two])},
         [], "P", r"its logs \S*SYSTEM\.LOG1 hold nothing newer than its sequence number %d" % (n + 5) + missing),
        ("LOG2 first, by its sequence number",
         {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n + 1, [two]), "SYSTEM.LOG2": lw.new_log(p, n, [one])}, [], "T2",
         replayed % (2, r"SYSTEM\.LOG2 and " + logs + r"SYSTEM\.LOG1", n + 1)),
        ("a gap between the logs",
         {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one]),
          "SYSTEM.LOG2": lw.new_log(p, n + 2, [lw.step(n + 2, t1, t2)])}, [], "T1",
         r"SYSTEM\.LOG2 begins at sequence number %d, not %d" % (n + 2, n + 1) + missing),
        ("a gap inside a log", {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one, lw.step(n + 2, t1, t2)])}, [], "T1",
         r"it has sequence number %d where %d was due" % (n + 2, n + 1) + missing),
        ("stale entries after the last", {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one, two, lw.step((n - 3) & 0xFFFFFFFF, p, t1)])},
         [], "T2", replayed % (2, r"SYSTEM\.LOG1", n + 1)),
        ("a damaged entry stops the replay there",
         {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one, two[:-1] + b"\x01", one])}, [], "T1",
         r"replayed 1 log entry .*; stopped at offset 0x%x of \S*SYSTEM\.LOG1: its hash is wrong" % (512 + len(one))
         + missing),
        ("the hive grows past its file", {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [lw.step(n, p, t2)])}, [], "T2",
         replayed.replace("entries", "entry") % (1, r"SYSTEM\.LOG1", n)),
        ("the old format", {"SYSTEM": hive, "SYSTEM.LOG": lw.old_log(p, t1)}, [], "T1",
         r"replayed \d+ dirty pages from \S*SYSTEM\.LOG, up to sequence number %d$" % n),
        ("a damaged base block is taken from the latest log",
         {"SYSTEM": bytes(damaged), "SYSTEM.LOG1": lw.new_log(p, n, [one, two]), "SYSTEM.LOG2": lw.new_log(p, (n - 10) & 0xFFFFFFFF, [])},
         [], "T2", r"the hive's base block is damaged \(its checksum is wrong\); took the base block of \S*SYSTEM\.LOG1; "
         r"replayed 2 log entries"),
        ("no log beside the hive", {"SYSTEM": hive}, [], "P",
         r"no log of it was found \(looked for \S*SYSTEM\.LOG1, \S*SYSTEM\.LOG2 and \S*SYSTEM\.LOG\)" + missing[:-1]),
        ("a log named on the command line replaces those beside the hive",
         {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one]), "named.LOG1": lw.new_log(p, n, [one, two])},
         ["@named.LOG1"], "T2", replayed % (2, r"named\.LOG1", n + 1)),
        ("--no-logs reads the hive as it stands", {"SYSTEM": hive, "SYSTEM.LOG1": lw.new_log(p, n, [one, two])},
         ["--no-logs"], "P", r"read as it stands, without its logs" + missing),
    ]
    expected = answers(korvane, work, states)
    dumps = {}
    for name, data in states.items():
        dumps[name] = dump([hive_dump, os.path.join(work, name + "-clean.hiv")])[1]
    for index, (name, files, extra, state, note) in enumerate(cases):
        folder = os.path.join(work, "case%02d" % index)
        path = log_case(folder, files)
        args = []
        for arg in extra:
            args += ["--reg", os.path.join(folder, arg[1:])] if arg.startswith("@") else [arg]
        status, out, lines = korvane_run(korvane, ["--reg", path] + args + ["4B31"])
        notes = [line for line in lines if line.startswith("korvane: " + path + ": ")]
        noted = not notes if note is None else len(notes) == 1 and re.search(note, notes[0]) is not None
        tally.check(status == 0 and out == expected[state] and noted, name + ": the answer and the note",
                    "  exit %d\n  output:\n%s  standard error:\n%s" % (status, out, "\n".join(lines)))
        if "--no-logs" not in extra:
            named = [a for a in args if a != "--reg"]
            _, keys, error = dump([hive_dump, path] + named)
            tally.check(keys == dumps[state], name + ": the keys read", error + first_difference(keys, dumps[state]))
    sys.exit(tally.finish())


if __name__ == "__main__":
    sys.setrecursionlimit(10000)  # the builder writes keys nested 600 deep
    modes = {"cross-check": (5, cross_check), "hostile": (5, hostile), "seeds": (5, write_seeds), "replay": (6, replay)}
    if len(sys.argv) < 2 or sys.argv[1] not in modes or len(sys.argv) != modes[sys.argv[1]][0]:
        sys.exit(__doc__)
    os.makedirs(sys.argv[-1], exist_ok=True)
    arguments = sys.argv[3:] if sys.argv[1] == "seeds" else sys.argv[2:]
    modes[sys.argv[1]][1](*arguments)
