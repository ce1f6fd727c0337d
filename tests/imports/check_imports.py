#!/usr/bin/env python3
"""Holds each shipped PE file's import table against package/windows-imports.tsv.

    check_imports.py --table TSV --arch win32 --floor "XP SP3" --os-version 5.1 \
                     --objdump OBJDUMP FILE...

Each FILE is read with `objdump -p`. It fails when
  - a FILE imports a function that the table has no row for (add the row, with
    the function's minimum Windows);
  - a row's minimum Windows is later than the floor;
  - a row of ARCH/FILE names a function the FILE no longer imports (remove it);
  - a FILE's PE header asks for an OS or subsystem version other than the floor's.
"""
import argparse
import re
import subprocess
import sys

# Windows releases, oldest first: a row's minimum and the floor are compared by
# their place here. "package" is a DLL shipped beside the programs.
RELEASES = ["NT4", "2000", "XP", "XP SP2", "XP SP3", "Vista", "7", "8", "8.1", "10"]
SHIPPED = "package"

HEADER_FIELDS = ["MajorOSystemVersion", "MinorOSystemVersion", "MajorSubsystemVersion", "MinorSubsystemVersion"]


def read_table(path):
    """{(binary, dll, function): minimum}, binary as ARCH/NAME, dll in lower case."""
    rows = {}
    problems = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            where = f"{path}:{number}"
            if len(fields) != 4:
                problems.append(f"{where}: {len(fields)} columns, not 4 (binary, DLL, function, minimum)")
                continue
            binary, dll, function, minimum = fields
            if minimum != SHIPPED and minimum not in RELEASES:
                problems.append(f"{where}: minimum {minimum!r} is none of {', '.join(RELEASES + [SHIPPED])}")
                continue
            key = (binary, dll.lower(), function)
            if key in rows:
                problems.append(f"{where}: {binary} {dll}!{function} is listed twice")
            rows[key] = minimum
    return rows, problems


def objdump(tool, path):
    return subprocess.run([tool, "-p", path], check=True, capture_output=True, text=True).stdout


def read_imports(dump):
    """The (dll, function) pairs of the import tables, dll in lower case."""
    imports = set()
    unread = []
    dll = None
    in_tables = False
    for line in dump.splitlines():
        if line.startswith("The Import Tables"):
            in_tables = True
            continue
        if not in_tables:
            continue
        if line and not line[0].isspace():
            break  # the next part of the dump
        name = re.match(r"\s+DLL Name: (\S+)", line)
        if name:
            dll = name.group(1).lower()
            continue
        if not line.strip():
            dll = None
            continue
        if dll is None or re.match(r"\s+vma:", line):
            continue
        entry = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
        if entry:
            imports.add((dll, entry.group(1)))
        else:
            unread.append(f"{dll}: {line.strip()}")  # by ordinal, or a format this does not know
    return imports, unread


def read_versions(dump):
    versions = {}
    for field in HEADER_FIELDS:
        found = re.search(rf"^{field}\s+(\d+)", dump, re.MULTILINE)
        versions[field] = int(found.group(1)) if found else None
    return versions


def check_file(path, arch, rows, floor, os_version, tool):
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    binary = f"{arch}/{name}"
    dump = objdump(tool, path)
    imports, unread = read_imports(dump)
    failures = [f"{binary}: cannot read the import {entry}" for entry in unread]
    if not imports:
        failures.append(f"{binary}: objdump shows no imports")

    for dll, function in sorted(imports):
        minimum = rows.get((binary, dll, function))
        if minimum is None:
            failures.append(f"{binary} imports {dll}!{function}, which package/windows-imports.tsv does not list: "
                            f"add the row \"{binary}\\t{dll}\\t{function}\\tMINIMUM\" with the oldest Windows that "
                            f"has it ({', '.join(RELEASES)})")
        elif minimum != SHIPPED and RELEASES.index(minimum) > RELEASES.index(floor):
            failures.append(f"{binary} imports {dll}!{function}, which needs Windows {minimum}: "
                            f"later than the floor, Windows {floor}")
    for (listed, dll, function) in sorted(rows):
        if listed == binary and (dll, function) not in imports:
            failures.append(f"{binary} no longer imports {dll}!{function}: remove its row from the table")

    major, minor = (int(part) for part in os_version.split("."))
    versions = read_versions(dump)
    for field, wanted in zip(HEADER_FIELDS, [major, minor, major, minor]):
        if versions[field] != wanted:
            failures.append(f"{binary}: {field} is {versions[field]}, not {wanted} (Windows {floor})")
    return binary, len(imports), failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--table", required=True)
    parser.add_argument("--arch", required=True, help="win32 or win64, the first part of the table's binary")
    parser.add_argument("--floor", required=True, choices=RELEASES, help="the oldest Windows the files run on")
    parser.add_argument("--os-version", required=True, help="the floor's NT version, major.minor")
    parser.add_argument("--objdump", default="objdump")
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()

    rows, failures = read_table(options.table)
    for path in options.files:
        binary, count, found = check_file(path, options.arch, rows, options.floor, options.os_version, options.objdump)
        if found:
            print(f"FAILED: {binary}: {len(found)} problems")
        else:
            print(f"ok: {binary}: {count} imports, all listed, none later than Windows {options.floor}")
        failures += found
    for failure in failures:
        print(f"  {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
