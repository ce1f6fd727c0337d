#!/usr/bin/env python3
"""Turns .reg fixtures into a SYSTEM hive written by an independent writer,
hivex (hivexregedit --merge), as a customer's saved hive would hold them.

    reg_to_hive.py OUT.hiv OUT-live.reg FIXTURE.reg...

The fixtures are applied in order, as importing them one after another
would. What lies below HKEY_LOCAL_MACHINE\\SYSTEM goes into the hive, with
CurrentControlSet, which no hive holds, written as ControlSet001 and
Select\\Current naming it; what lies elsewhere (HARDWARE\\DEVICEMAP\\SERIALCOMM,
which exists only while Windows runs) goes into OUT-live.reg, an export as
one taken from the running machine would be.

What hivexregedit --merge needs, found by trying: a hive to start from (it
cannot make one), every parent key before its children, a blank line before
each section, no comment lines, string data as hex(1) UTF-16LE where it is
not ASCII (it stores such text wrongly).
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hive_builder  # noqa: E402

SYSTEM = "HKEY_LOCAL_MACHINE\\SYSTEM"
REG_SZ, REG_DWORD = 1, 4


class Tree:
    """A key: names compare without regard to case and keep their first spelling."""

    def __init__(self, name):
        self.name = name
        self.values = {}  # upper-cased name -> (name, type, data), in write order
        self.subkeys = {}  # upper-cased name -> Tree

    def key(self, path, create=True):
        node = self
        for level in [p for p in path.split("\\") if p]:
            child = node.subkeys.get(level.upper())
            if child is None:
                if not create:
                    return None
                child = node.subkeys[level.upper()] = Tree(level)
            node = child
        return node

    def delete(self, path):
        parent, _, last = path.rpartition("\\")
        node = self.key(parent, create=False)
        if node is not None:
            node.subkeys.pop(last.upper(), None)


def unquote(text, i):
    """The string that starts after the quote at text[i]; returns it and the index after its closing quote."""
    out, i = [], i + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
            out.append({"n": "\n", "r": "\r", "0": "\0"}.get(text[i], text[i]))
        else:
            out.append(text[i])
        i += 1
    return "".join(out), i + 1


def parse_data(text):
    if text.startswith('"'):
        string, _ = unquote(text, 0)
        return REG_SZ, (string + "\0").encode("utf-16-le")
    if text.startswith("dword:"):
        return REG_DWORD, int(text[6:], 16).to_bytes(4, "little")
    kind, _, digits = text.partition(":")
    value_type = 3 if kind == "hex" else int(kind[4:-1], 16)
    return value_type, bytes(int(b, 16) for b in digits.replace("\\", "").replace(" ", "").split(",") if b)


def logical_lines(path):
    """Lines of a .reg file with hex continuations joined, comments and blanks left out."""
    with open(path, encoding="utf-8-sig") as f:
        pending = ""
        for raw in f:
            line = raw.rstrip("\r\n")
            if pending:
                line = pending + line.strip()
                pending = ""
            if line.endswith("\\") and "=hex" in line:
                pending = line[:-1]
                continue
            stripped = line.strip()
            if stripped and not stripped.startswith(";") and not stripped.startswith("Windows Registry"):
                yield stripped


def apply(tree, path):
    key = None
    for line in logical_lines(path):
        if line.startswith("[-"):
            tree.delete(line[2:-1])
            key = None
        elif line.startswith("["):
            key = tree.key(line[1:-1])
        else:
            if line.startswith("@"):
                name, rest = "", line[1:]
            else:
                name, end = unquote(line, 0)
                rest = line[end:]
            data = rest.lstrip()[1:].lstrip()
            if data == "-":
                key.values.pop(name.upper(), None)
            else:
                value_type, payload = parse_data(data)
                key.values[name.upper()] = (name, value_type, payload)


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_data(value_type, data):
    text = data[:-2].decode("utf-16-le", "replace") if value_type == REG_SZ and data.endswith(b"\0\0") else None
    if text is not None and text.isascii() and "\0" not in text and '"' not in text and "\\" not in text:
        return reg_string(text)
    if value_type == REG_DWORD and len(data) == 4:
        return "dword:%08x" % int.from_bytes(data, "little")
    return "hex(%x):" % value_type + ",".join("%02x" % b for b in data)


def sections(node, path, out, blank_before=True):
    out.append(("\n" if blank_before else "") + "[%s]" % path)
    for name, value_type, data in node.values.values():
        out.append("%s=%s" % ("@" if name == "" else reg_string(name), reg_data(value_type, data)))
    for child in node.subkeys.values():
        sections(child, path + "\\" + child.name, out)


def builder_key(tree):
    """The tree as a key for hive_builder, this test's own writer."""
    return hive_builder.Key(tree.name, values=[hive_builder.Value(*v) for v in tree.values.values()],
                            subkeys=[builder_key(child) for child in tree.subkeys.values()])


def offline_system(fixtures):
    """The fixtures applied in order: the SYSTEM key as a hive holds it, and the machine's other keys."""
    root = Tree("")
    for fixture in fixtures:
        apply(root, fixture)
    system = root.key(SYSTEM, create=True)
    current = system.subkeys.pop("CURRENTCONTROLSET", None)
    if current is not None:
        current.name = "ControlSet001"
        system.subkeys["CONTROLSET001"] = current
        if "SELECT" not in system.subkeys:
            system.key("Select").values["CURRENT"] = ("Current", REG_DWORD, (1).to_bytes(4, "little"))
    machine = root.key("HKEY_LOCAL_MACHINE")
    others = [child for name, child in machine.subkeys.items() if name != "SYSTEM"]
    return system, others


def write_live_export(others, path):
    live = ["Windows Registry Editor Version 5.00"]
    for child in others:
        sections(child, "HKEY_LOCAL_MACHINE\\" + child.name, live)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(live) + "\n")


def write_hive_with_hivex(system, hive_path):
    merge = ["Windows Registry Editor Version 5.00"]
    for child in system.subkeys.values():
        sections(child, SYSTEM + "\\" + child.name, merge)
    with open(hive_path, "wb") as f:
        f.write(hive_builder.empty())
    with tempfile.NamedTemporaryFile("w", suffix=".reg", encoding="utf-8", delete=False) as f:
        f.write("\n".join(merge) + "\n")
        merge_path = f.name
    try:
        subprocess.run(["hivexregedit", "--merge", "--prefix", SYSTEM, hive_path, merge_path], check=True,
                       stderr=subprocess.DEVNULL)
    finally:
        os.unlink(merge_path)


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    system, others = offline_system(argv[3:])
    write_hive_with_hivex(system, argv[1])
    write_live_export(others, argv[2])


if __name__ == "__main__":
    main(sys.argv)
