#!/usr/bin/env python3
"""Writes, from a hive saved cleanly, the same hive as a crash leaves it and
the log that holds its newest changes, for the benchmarks:

    make_bench_logs.py HIVE MB DIR      DIR/SYSTEM and DIR/SYSTEM.LOG1

The changes are made in place, as Windows makes many of them: the text of
values in pages spread over the whole hive is changed, until the changed
pages come to MB megabytes, in entries of about 1 MB; one change lies on the
walk's path, the port of a device (COM3 becomes COM5), so that the answer
tells a replayed hive from one read as it stands.
"""

import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "regfile"))
import log_writer as lw  # noqa: E402

ENTRY_PAGES = 256  # 1 MiB of pages an entry


def changed_copy(hive, megabytes):
    """The hive with the text of padding values changed in MB megabytes of pages, and one port."""
    data = bytearray(hive)
    port = data.find("COM3".encode("utf-16-le"))
    data[port:port + 8] = "COM5".encode("utf-16-le")
    text = "service".encode("utf-16-le")
    wanted = megabytes * 1024 * 1024 // lw.PAGE
    pages = len(data) // lw.PAGE
    stride = max(1, pages // wanted)
    for page in range(1, pages, stride):
        at = data.find(text, page * lw.PAGE, (page + 1) * lw.PAGE)
        if at >= 0:
            data[at:at + 2] = "S".encode("utf-16-le")
    return bytes(data)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    with open(argv[1], "rb") as f:
        clean = f.read()
    changed = changed_copy(clean, int(argv[2]))
    pages = lw.changed_pages(clean, changed)
    n = lw.sequence_of(clean)
    bins_size = struct.unpack_from("<I", clean, 40)[0]
    entries = [lw.entry(n + i, bins_size, pages[at:at + ENTRY_PAGES])
               for i, at in enumerate(range(0, len(pages), ENTRY_PAGES))]
    os.makedirs(argv[3], exist_ok=True)
    with open(os.path.join(argv[3], "SYSTEM"), "wb") as f:
        f.write(lw.dirty(clean, n + 1, n))
    with open(os.path.join(argv[3], "SYSTEM.LOG1"), "wb") as f:
        f.write(lw.new_log(clean, n, entries))


if __name__ == "__main__":
    main(sys.argv)
