#!/usr/bin/env python3
"""korvane on saved SYSTEM hives, as support staff give it: the runs of
cases.txt again, with their fixtures written as a hive by hivex (see
tests/regfile/reg_to_hive.py) and the serial-port map as an export of its
own. Each must print what the run on the .reg fixtures prints, byte for byte,
with the same exit status.

    hive_cases.py list OUT_DIR        prints the runs, "NAME STATUS ARGS...", the
                                      files as absolute paths (for the Wine runner)
    hive_cases.py run KORVANE OUT_DIR runs them and the hive-only cases below;
                                      prints "N passed, N failed"
"""

import json
import os
import re
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures")
sys.path.insert(0, os.path.join(here, "..", "regfile"))
import hive_builder as hb  # noqa: E402
import reg_to_hive  # noqa: E402
sys.path.insert(0, os.path.join(here, "..", "support"))
from check import Tally  # noqa: E402

# A run that refuses its arguments or a malformed fixture has no hive to give.
NO_HIVE_STATUSES = ("64", "65")


def runs(out_dir):
    """(name, status, arguments) of each run of cases.txt on a hive."""
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(here, "cases.txt")) as f:
        for line in f:
            words = line.split()
            if not words or words[0].startswith("#") or words[1] in NO_HIVE_STATUSES:
                continue
            name, status, args = words[0], words[1], words[2:]
            files = [os.path.join(fixtures, a[1:]) for a in args if a.startswith("@")]
            if not files:
                continue
            hive, live = os.path.join(out_dir, name + ".hiv"), os.path.join(out_dir, name + "-live.reg")
            system, others = reg_to_hive.offline_system(files)
            # Without the serial-port map, a walk on exports fails, while on a
            # hive the map is taken as empty (the hive-only cases below).
            if not any(t.key("DEVICEMAP\\SERIALCOMM", create=False) for t in others if t.name.upper() == "HARDWARE"):
                continue
            reg_to_hive.write_hive_with_hivex(system, hive)
            reg_to_hive.write_live_export(others, live)
            rest = [a for a in args if not a.startswith("@") and a != "--reg"]
            yield name, int(status), ["--reg", hive, "--reg", live] + rest


def korvane(program, args):
    result = subprocess.run([program] + args, capture_output=True)
    return result.returncode, result.stdout, result.stderr.decode("utf-8", "replace")


def hive_file(out_dir, name, root, sequence=(1, 1)):
    path = os.path.join(out_dir, name)
    with open(path, "wb") as f:
        f.write(hb.build(root, sequence=sequence).data)
    return path


def devices_hive(out_dir, name, sequence=(1, 1)):
    system, _ = reg_to_hive.offline_system([os.path.join(fixtures, "devices.reg")])
    return hive_file(out_dir, name, reg_to_hive.builder_key(system), sequence)


def japanese_hive(out_dir, code_page):
    """devices.reg and japanese_printer.reg as a hive whose machine has the ANSI code page given."""
    system, _ = reg_to_hive.offline_system([os.path.join(fixtures, "devices.reg"),
                                            os.path.join(fixtures, "japanese_printer.reg")])
    nls = system.key("ControlSet001\\Control\\Nls\\CodePage")
    nls.values["ACP"] = ("ACP", reg_to_hive.REG_SZ, (code_page + "\0").encode("utf-16-le"))
    path = os.path.join(out_dir, "japanese-%s.hiv" % code_page)
    reg_to_hive.write_hive_with_hivex(system, path)
    return path


def run(program, out_dir):
    tally = Tally()
    check = tally.check
    for name, status, args in runs(out_dir):
        with open(os.path.join(here, "expected", name + ".out"), "rb") as f:
            expected = f.read()
        got_status, out, error = korvane(program, args)
        check(got_status == status and out == expected, name + " on a hive",
              "  exit %d (expected %d)\n  output:\n%s\n  standard error:\n%s" % (got_status, status, out.decode(), error))

    hive = devices_hive(out_dir, "devices.hiv")
    offline = b"Receipt Printer A, COM3, COM4, OffLine\nReceipt Printer B, COM7, COM8, OffLine\n"
    note = r"^korvane: no file gives HARDWARE\\DEVICEMAP\\SERIALCOMM, which a saved hive never holds: taken as empty"
    dirty = devices_hive(out_dir, "dirty.hiv", sequence=(7, 6))
    not_system = hive_file(out_dir, "software.hiv", hb.Key("SOFTWARE", subkeys=[hb.Key("Classes")]))
    later = os.path.join(out_dir, "serialcomm-later.reg")
    with open(later, "w") as f:
        f.write('Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n'
                '"\\\\Device\\\\Serial9"="COM7"\n')
    # The bytes the A export gives under Wine with code page 932 (tests/under_wine/dll_codepage_test.cpp).
    shift_jis = b"\x8e\xf3\x95\x74\x83\x76\x83\x8a\x83\x93\x83\x5e".decode("cp932").encode("utf-8")
    exports = ["--reg", os.path.join(fixtures, "devices.reg"), "--reg", os.path.join(fixtures, "japanese_printer.reg")]
    converted = r"^korvane: names are converted through code page 932, the customer's ANSI code page "
    # name, arguments, exit status, standard output, a pattern each line of standard error must match in turn
    cases = [
        ("a hive that names code page 932 gives the Shift-JIS names", ["--reg", japanese_hive(out_dir, "932"), "4B80"],
         0, shift_jis + b", COM3, COM4, OffLine\n",
         [note, r"using SYSTEM\\ControlSet001", converted + r"as the files give it, "
          r"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage \(value ACP\)$"]),
        ("--code-page 932 on exports", exports + ["--code-page", "932", "4B80"], 0,
         shift_jis + b", COM3, COM4, OnLine\n", [converted + r"as --code-page gives it$"]),
        ("--code-page overrides the hive's", ["--reg", japanese_hive(out_dir, "1252"), "--code-page", "932", "4B80"],
         0, shift_jis + b", COM3, COM4, OffLine\n", [note, r"using SYSTEM", converted + r"as --code-page gives it$"]),
        ("without a code page, names that 1252 lacks are not followed, and a note names --code-page",
         exports + ["4B80"], 1, b"",
         [r"^korvane: some names in the files have characters that code page 1252 lacks: .*; give the customer's "
          r"code page with --code-page \(932 Japanese"]),
        ("a code page Windows gives no locale is a usage error", exports + ["--code-page", "437", "4B80"], 64, b"",
         [r"--code-page: 437 not in", r"--help"]),
        ("a hive alone: every device OffLine, and why", ["--reg", hive, "4B31"], 0, offline,
         [note, r"^korvane: the files hold no SYSTEM\\CurrentControlSet; using SYSTEM\\ControlSet001"]),
        ("a hive saved while Windows had changes in its logs: read, with a note", ["--reg", dirty, "4B31"], 0, offline,
         [r"^korvane: .*dirty\.hiv: the hive was not saved cleanly; no log of it was found \(looked for "
          r".*dirty\.hiv\.LOG1, .*dirty\.hiv\.LOG2 and .*dirty\.hiv\.LOG\), so its newest changes may be missing; "
          r".*reg save HKLM\\SYSTEM gives a clean copy$",
          note, r"using SYSTEM\\ControlSet001"]),
        ("a hive of another key is refused", ["--reg", not_system, "4B31"], 65, b"",
         [r"^korvane: .*software\.hiv: not a SYSTEM hive: it holds neither Select nor a ControlSet key$"]),
        ("an export after the hive supplies the serial ports", ["--reg", hive, "--reg", later, "4B31"], 0,
         b"Receipt Printer A, COM3, COM4, OffLine\nReceipt Printer B, COM7, COM8, OnLine\n",
         [r"using SYSTEM\\ControlSet001"]),
    ]
    for what, args, status, out, error_lines in cases:
        got_status, got_out, error = korvane(program, args)
        lines = error.splitlines()
        errors_ok = len(lines) == len(error_lines) and all(re.search(p, l) for p, l in zip(error_lines, lines))
        check(got_status == status and got_out == out and errors_ok, what,
              "  exit %d\n  output:\n%s\n  standard error:\n%s" % (got_status, got_out.decode(), error))
    # What became of the logs, for a program and in the explanation.
    got_status, got_out, error = korvane(program, ["--reg", dirty, "--json", "4B31"])
    document = json.loads(got_out) if got_status == 0 else {}
    hives = document.get("hives", [{}])
    check(document.get("complete") is False and len(hives) == 1 and hives[0].get("state") == "no-logs" and
          hives[0].get("file") == dirty and "not saved cleanly" in (hives[0].get("message") or ""),
          "--json says the answer may lack the newest changes, and why", got_out.decode() + error)
    got_status, got_out, error = korvane(program, ["--reg", hive, "--json", "4B31"])
    document = json.loads(got_out) if got_status == 0 else {}
    check(document.get("complete") is True and "hives" not in document, "--json of a clean hive: complete, nothing said",
          got_out.decode() + error)
    got_status, got_out, error = korvane(program, ["--reg", dirty, "--explain", "4B31"])
    check(got_status == 0 and got_out.decode().startswith(dirty + ": the hive was not saved cleanly; no log"),
          "--explain says what became of the logs before the walk", got_out.decode()[:300])
    return tally.finish()


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "list":
        for name, status, args in runs(sys.argv[2]):
            print(name, status, " ".join(args))
    elif len(sys.argv) == 4 and sys.argv[1] == "run":
        sys.exit(run(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
