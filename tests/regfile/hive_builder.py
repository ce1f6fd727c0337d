"""Writes registry hive files ("regf") for the tests, independently of the
reader under test: the records Windows writes that hivex never does (li and
ri subkey lists, db big data, UTF-16 key names, version 1.5), the empty hive
that hivexregedit --merge starts from, and hives padded to any size.

    hive = build(Key("SYSTEM", subkeys=[...]), minor=5)
    hive.data          the file's bytes
    hive.offsets       where the builder put records, for corrupting them: "root", "sk",
                       "nk NAME", "KIND OWNER" (the first subkey list of that kind of the
                       key named OWNER), "db" (the first big-data record)

A Key holds values (Value(name, type, data)) and subkeys; list_kind says how
its subkey list is written: "lh" (as Windows and hivex do), "lf", "li", or
"ri" over lists of ri_chunk subkeys each, alternately li and lf.
"""

import bisect
import struct
from dataclasses import dataclass, field

BASE_BLOCK_SIZE = 4096
BIN_SIZE = 4096
BIN_HEADER_SIZE = 32
NONE = 0xFFFFFFFF
BIG_DATA_SEGMENT = 16344  # bytes of value data one db segment holds

KEY_HIVE_ENTRY = 0x0004
KEY_NO_DELETE = 0x0008
KEY_COMP_NAME = 0x0020
VALUE_COMP_NAME = 0x0001


@dataclass
class Value:
    name: str
    type: int
    data: bytes


@dataclass
class Key:
    name: str
    values: list = field(default_factory=list)
    subkeys: list = field(default_factory=list)
    list_kind: str = "lh"
    ri_chunk: int = 2
    utf16_name: bool = False  # write the name as UTF-16LE even where it fits in Latin-1


@dataclass
class Hive:
    data: bytes
    offsets: dict


def _fits_latin1(name):
    return all(ord(c) < 256 for c in name)


def _upper(name):
    return name.upper()


def lh_hash(name):
    """The hash an lh list keeps of a name: upper-cased, 37 times and add."""
    h = 0
    for c in _upper(name):
        h = (h * 37 + ord(c)) & 0xFFFFFFFF
    return h


def _utf16(text):
    return text.encode("utf-16-le")


class _Cells:
    """Allocates cells in 4 KiB bins; an offset is relative to the first bin."""

    def __init__(self):
        self.bins = []  # bytearrays, each a whole bin with its header
        self.starts = []  # where each bin begins
        self.free_at = 0  # next free byte in the last bin

    def _new_bin(self, size):
        size = max(BIN_SIZE, (size + BIN_HEADER_SIZE + BIN_SIZE - 1) // BIN_SIZE * BIN_SIZE)
        self._close_bin()
        self.starts.append(self.starts[-1] + len(self.bins[-1]) if self.bins else 0)
        self.bins.append(bytearray(size))
        self.free_at = BIN_HEADER_SIZE

    def _close_bin(self):
        """The rest of the last bin becomes one free cell."""
        if self.bins:
            rest = len(self.bins[-1]) - self.free_at
            if rest > 0:
                struct.pack_into("<i", self.bins[-1], self.free_at, rest)

    def alloc(self, payload):
        size = (4 + len(payload) + 7) // 8 * 8
        if not self.bins or self.free_at + size > len(self.bins[-1]):
            self._new_bin(size)
        cell = self.bins[-1]
        struct.pack_into("<i", cell, self.free_at, -size)
        cell[self.free_at + 4:self.free_at + 4 + len(payload)] = payload
        offset = self.starts[-1] + self.free_at
        self.free_at += size
        return offset

    def reserve(self, length):
        """A cell to fill in later with put()."""
        return self.alloc(bytes(length))

    def put(self, offset, payload):
        index = bisect.bisect_right(self.starts, offset) - 1
        at = offset - self.starts[index] + 4
        self.bins[index][at:at + len(payload)] = payload

    def finish(self):
        self._close_bin()
        for start, b in zip(self.starts, self.bins):
            b[0:4] = b"hbin"
            struct.pack_into("<III", b, 4, start, len(b), 0)
        return b"".join(self.bins)


# A self-relative security descriptor with no owner, group or lists.
_DESCRIPTOR = struct.pack("<BBHIIII", 1, 0, 0x8000, 0, 0, 0, 0)


class _Writer:
    def __init__(self, minor):
        self.cells = _Cells()
        self.minor = minor
        self.offsets = {}
        self.security = None

    def _sk(self):
        offset = self.cells.reserve(20 + len(_DESCRIPTOR))
        self.cells.put(offset, b"sk" + struct.pack("<HIIII", 0, offset, offset, 1, len(_DESCRIPTOR)) + _DESCRIPTOR)
        return offset

    def _value_data(self, data):
        """(length field, offset field) of a value's data."""
        if len(data) <= 4:
            return 0x80000000 | len(data), int.from_bytes(data.ljust(4, b"\0"), "little")
        if len(data) <= BIG_DATA_SEGMENT or self.minor < 4:
            return len(data), self.cells.alloc(data)
        segments = [self.cells.alloc(data[i:i + BIG_DATA_SEGMENT]) for i in range(0, len(data), BIG_DATA_SEGMENT)]
        segment_list = self.cells.alloc(struct.pack("<%dI" % len(segments), *segments))
        db = self.cells.alloc(b"db" + struct.pack("<HII", len(segments), segment_list, 0))
        self.offsets.setdefault("db", db)
        return len(data), db

    def _value(self, value):
        length, data_offset = self._value_data(value.data)
        if value.name and _fits_latin1(value.name) and all(ord(c) < 128 for c in value.name):
            name, flags = value.name.encode("latin-1"), VALUE_COMP_NAME
        else:
            name, flags = _utf16(value.name), 0
        offset = self.cells.alloc(b"vk" + struct.pack("<HIIIHH", len(name), length, data_offset, value.type, flags, 0) + name)
        return offset

    def _list(self, kind, subkeys, offsets, owner):
        pairs = list(zip(subkeys, offsets))
        if kind in ("lf", "lh"):
            body = b""
            for key, offset in pairs:
                if kind == "lh":
                    hint = lh_hash(key.name)
                else:  # the first four characters of the name
                    hint = int.from_bytes(key.name[:4].encode("latin-1", "replace").ljust(4, b"\0"), "little")
                body += struct.pack("<II", offset, hint)
            cell = self.cells.alloc(kind.encode() + struct.pack("<H", len(pairs)) + body)
        else:  # li
            cell = self.cells.alloc(b"li" + struct.pack("<H", len(pairs)) + struct.pack("<%dI" % len(pairs), *offsets))
        self.offsets.setdefault(kind + " " + owner, cell)
        return cell

    def key(self, key, parent, is_root=False):
        offset = self.cells.reserve(76 + 2 * len(key.name))
        if is_root:
            self.security = self._sk()
            self.offsets["root"] = offset
            self.offsets["sk"] = self.security
        self.offsets.setdefault("nk " + key.name, offset)
        subkeys = sorted(key.subkeys, key=lambda k: _upper(k.name))
        children = [self.key(k, offset) for k in subkeys]
        if not subkeys:
            list_offset = NONE
        elif key.list_kind == "ri":
            parts = []
            for i in range(0, len(subkeys), key.ri_chunk):
                kind = "li" if len(parts) % 2 == 0 else "lf"
                parts.append(self._list(kind, subkeys[i:i + key.ri_chunk], children[i:i + key.ri_chunk], key.name))
            list_offset = self.cells.alloc(b"ri" + struct.pack("<H", len(parts)) + struct.pack("<%dI" % len(parts), *parts))
            self.offsets.setdefault("ri " + key.name, list_offset)
        else:
            list_offset = self._list(key.list_kind, subkeys, children, key.name)
        if key.values:
            vks = [self._value(v) for v in key.values]
            value_list = self.cells.alloc(struct.pack("<%dI" % len(vks), *vks))
        else:
            value_list = NONE
        if _fits_latin1(key.name) and not key.utf16_name:
            name, flags = key.name.encode("latin-1"), KEY_COMP_NAME
        else:
            name, flags = _utf16(key.name), 0
        if is_root:
            flags |= KEY_HIVE_ENTRY | KEY_NO_DELETE
        largest_name = max((len(_utf16(k.name)) for k in subkeys), default=0)
        largest_value_name = max((len(_utf16(v.name)) for v in key.values), default=0)
        largest_data = max((len(v.data) for v in key.values), default=0)
        record = b"nk" + struct.pack(
            "<HQ15IHH", flags, 0, 0, NONE if is_root else parent, len(subkeys), 0, list_offset, NONE,
            len(key.values), value_list, self.security, NONE, largest_name, 0, largest_value_name, largest_data, 0,
            len(name), 0) + name
        self.cells.put(offset, record)
        return offset


def base_block(root, bins_size, minor=5, sequence=(1, 1), name="SYSTEM"):
    block = bytearray(BASE_BLOCK_SIZE)
    block[0:4] = b"regf"
    struct.pack_into("<IIQIIIIIII", block, 4, sequence[0], sequence[1], 0, 1, minor, 0, 1, root, bins_size, 1)
    file_name = _utf16(name)[:64]
    block[48:48 + len(file_name)] = file_name
    struct.pack_into("<I", block, 508, checksum(block))
    return block


def checksum(block):
    total = 0
    for (word,) in struct.iter_unpack("<I", bytes(block[:508])):
        total ^= word
    if total == 0:
        return 1
    if total == 0xFFFFFFFF:
        return 0xFFFFFFFE
    return total


def build(root, minor=5, sequence=(1, 1)):
    writer = _Writer(minor)
    root_offset = writer.key(root, NONE, is_root=True)
    bins = writer.cells.finish()
    return Hive(bytes(base_block(root_offset, len(bins), minor, sequence, root.name)) + bins, writer.offsets)


def empty(name="SYSTEM"):
    """The hive hivexregedit --merge starts from: a root key and its security cell."""
    return build(Key(name)).data
