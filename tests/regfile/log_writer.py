"""Writes transaction logs of hives for the tests, independently of the
reader under test: a hive as Windows leaves it after a crash (its base block
saying a write was under way) and the logs that hold its newest changes.

The changes come from real hives: an older file and the same file changed
by hivex (hivexregedit --merge into a copy). The pages of the newer one that
differ from the older one's, and those past its end, become one log entry.

    changed_pages(older, newer)         [(offset in the bins, bytes)] of 4 KiB pages
    entry(sequence, bins_size, pages)   one new-format entry ("HvLE"), hashed
    new_log(older, sequence, entries)   a .LOG1/.LOG2: the base block's copy, then the entries
    old_log(older, newer)               a .LOG of the old format: a dirty vector and 512-byte pages
    dirty(hive, primary, secondary)     the hive with those sequence numbers (and a sound checksum)
"""

import struct

import hive_builder as hb

SEED = 0x82EF4D887A4E55C5
LOG_BASE_BLOCK = 512
ENTRY_ALIGNMENT = 512
PAGE = 4096
OLD_PAGE = 512
NEW_LOG, OLD_LOG = 6, 1
MASK = 0xFFFFFFFF


def _rotl(value, bits):
    return ((value << bits) | (value >> (32 - bits))) & MASK


def marvin32(data, seed=SEED):
    """The 64-bit Marvin32 state (high word, low word) of data."""
    low, high = seed & MASK, seed >> 32

    def mix(low, high, word):
        low = (low + word) & MASK
        high ^= low
        low = (_rotl(low, 20) + high) & MASK
        high = _rotl(high, 9) ^ low
        low = (_rotl(low, 27) + high) & MASK
        return low, _rotl(high, 19)

    whole = len(data) // 4 * 4
    for (word,) in struct.iter_unpack("<I", data[:whole]):
        low, high = mix(low, high, word)
    tail = data[whole:]
    low, high = mix(low, high, int.from_bytes(tail + b"\x80", "little"))
    low, high = mix(low, high, 0)
    return (high << 32) | low


def bins(hive):
    """The bins of a hive file, as far as its base block says they go."""
    size = struct.unpack_from("<I", hive, 40)[0]
    return hive[hb.BASE_BLOCK_SIZE:hb.BASE_BLOCK_SIZE + size]


def changed_pages(older, newer):
    old, new = bins(older), bins(newer)
    return [(at, new[at:at + PAGE]) for at in range(0, len(new), PAGE) if old[at:at + PAGE] != new[at:at + PAGE]]


def entry(sequence, bins_size, pages, flags=0):
    references = b"".join(struct.pack("<II", offset, len(data)) for offset, data in pages)
    body = references + b"".join(data for _, data in pages)
    size = (40 + len(body) + ENTRY_ALIGNMENT - 1) // ENTRY_ALIGNMENT * ENTRY_ALIGNMENT
    body = body.ljust(size - 40, b"\0")
    head = b"HvLE" + struct.pack("<IIIII", size, flags, sequence, bins_size, len(pages)) + struct.pack("<Q", marvin32(body))
    return head + struct.pack("<Q", marvin32(head)) + body


def step(sequence, older, newer):
    """The entry that turns the hive file `older` into `newer`."""
    return entry(sequence, struct.unpack_from("<I", newer, 40)[0], changed_pages(older, newer))


def _log_base_block(hive, file_type, sequence, timestamp=None):
    block = bytearray(hive[:LOG_BASE_BLOCK])
    struct.pack_into("<II", block, 4, sequence, sequence)
    if timestamp is not None:
        struct.pack_into("<Q", block, 12, timestamp)
    struct.pack_into("<I", block, 28, file_type)
    struct.pack_into("<I", block, 508, hb.checksum(block))
    return bytes(block)


def new_log(hive, sequence, entries, tail=b""):
    """A new-format log: `hive`'s base block as its copy, numbered `sequence`, then the entries."""
    return _log_base_block(hive, NEW_LOG, sequence) + b"".join(entries) + tail


def old_log(older, newer, timestamp=None):
    """An old-format log holding the 512-byte pages of `newer` that differ from `older`."""
    old, new = bins(older), bins(newer)
    bins_size = len(new)
    bitmap = bytearray(bins_size // PAGE)
    pages = b""
    for page in range(bins_size // OLD_PAGE):
        at = page * OLD_PAGE
        if old[at:at + OLD_PAGE] != new[at:at + OLD_PAGE]:
            bitmap[page // 8] |= 1 << (page % 8)
            pages += new[at:at + OLD_PAGE]
    block = bytearray(_log_base_block(newer, OLD_LOG, struct.unpack_from("<I", older, 8)[0], timestamp))
    vector = (b"DIRT" + bytes(bitmap)).ljust((4 + len(bitmap) + OLD_PAGE - 1) // OLD_PAGE * OLD_PAGE, b"\0")
    return bytes(block) + vector + pages


def dirty(hive, primary, secondary):
    data = bytearray(hive)
    struct.pack_into("<II", data, 4, primary, secondary)
    struct.pack_into("<I", data, 508, hb.checksum(data))
    return bytes(data)


def sequence_of(hive):
    return struct.unpack_from("<I", hive, 8)[0]
