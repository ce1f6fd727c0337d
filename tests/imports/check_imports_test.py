#!/usr/bin/env python3
"""Proves that check_imports.py fails where it should: runs it on one built
file against the real table and against tables changed in one way each.

    check_imports_test.py TABLE ARCH FLOOR OS_VERSION OBJDUMP FILE
"""
import os
import subprocess
import sys
import tempfile

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_imports.py")


def main():
    table, arch, floor, os_version, objdump, path = sys.argv[1:]
    binary = f"{arch}/{os.path.basename(path)}"
    with open(table, encoding="utf-8") as source:
        lines = source.read().splitlines()
    rows = [i for i, line in enumerate(lines) if line.startswith(binary + "\t")]
    first = lines[rows[0]].split("\t")
    function = first[2]

    def without_first_row():
        return lines[: rows[0]] + lines[rows[0] + 1:]

    def first_row_needing(minimum):
        return lines[: rows[0]] + ["\t".join(first[:3] + [minimum])] + lines[rows[0] + 1:]

    def with_row_not_imported():
        return lines + [f"{binary}\tadvapi32.dll\tRegDeleteTreeW\tVista"]

    # what the table holds, the header version given, what must come out
    cases = [
        ("the real table", lines, os_version, 0, "ok: "),
        ("an import without its row", without_first_row(), os_version, 1, f"{function}, which package/windows-imports.tsv does not list"),
        ("an import later than the floor", first_row_needing("10"), os_version, 1, f"{function}, which needs Windows 10"),
        ("a row no longer imported", with_row_not_imported(), os_version, 1, "no longer imports advapi32.dll!RegDeleteTreeW"),
        ("a minimum that is no Windows", first_row_needing("95"), os_version, 1, "minimum '95' is none of"),
        ("a header asking for another version", lines, "6.3", 1, "MinorOSystemVersion is"),
    ]
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        for what, table_lines, version, status, expected in cases:
            changed = os.path.join(work, "imports.tsv")
            with open(changed, "w", encoding="utf-8") as out:
                out.write("\n".join(table_lines) + "\n")
            run = subprocess.run([sys.executable, CHECKER, "--table", changed, "--arch", arch, "--floor", floor,
                                  "--os-version", version, "--objdump", objdump, path],
                                 capture_output=True, text=True)
            output = run.stdout + run.stderr
            if run.returncode == status and expected in output:
                print(f"ok: {what}")
            else:
                failed += 1
                print(f"FAILED: {what}: exit {run.returncode}, wanted {status} and {expected!r} in:\n{output}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
