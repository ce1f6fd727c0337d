#!/usr/bin/env python3
"""Prints what an independent reader, hivex or libregf, reads of a hive, in
the form of hive_dump (key PATH / value NAME TYPE HEX lines).

    hive_reference_dump.py hivex|libregf FILE

libregf reads a REG_NONE value of 1 to 4 bytes that is kept inside its value
record as zeros; such values print "?" for their data from it.
"""

import sys


def shown(name):
    out = []
    for unit in range(0, len(name.encode("utf-16-le")), 2):
        code = int.from_bytes(name.encode("utf-16-le")[unit:unit + 2], "little")
        out.append(chr(code) if 0x20 <= code < 0x7F and code != 0x5C else "\\u%04x" % code)
    return "".join(out)


def hivex_dump(path):
    import hivex

    h = hivex.Hivex(path)

    def walk(node, shown_path):
        print("key " + shown_path)
        for value in h.node_values(node):
            value_type, data = h.value_value(value)
            print("value %s %d %s" % (shown(h.value_key(value)), value_type, data.hex()))
        for child in h.node_children(node):
            walk(child, shown_path + "\\" + shown(h.node_name(child)))

    walk(h.root(), "")


def libregf_dump(path):
    import pyregf

    f = pyregf.file()
    f.open(path)

    def walk(key, shown_path):
        print("key " + shown_path)
        for i in range(key.number_of_values):
            value = key.get_value(i)
            data = value.data or b""
            text = data.hex()
            if value.type == 0 and 0 < len(data) <= 4:
                text = "?"
            print("value %s %d %s" % (shown(value.name or ""), value.type, text))
        for i in range(key.number_of_sub_keys):
            child = key.get_sub_key(i)
            walk(child, shown_path + "\\" + shown(child.name))

    walk(f.get_root_key(), "")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("hivex", "libregf"):
        sys.exit(__doc__)
    (hivex_dump if sys.argv[1] == "hivex" else libregf_dump)(sys.argv[2])
