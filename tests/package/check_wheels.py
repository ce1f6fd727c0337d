#!/usr/bin/env python3
"""Proves the Python module's two wheels (package/wheel/build_wheels.sh) as a
Windows user's pip meets them: each installs for its own platform and is
refused for the other, installs the files its RECORD lists with their hashes
and sizes and nothing else, carries a DLL for the right machine, and the
module installed runs the Python cases of the examples' table and
`python -m korvane` against the host library (tests/examples/run_examples.py).

    check_wheels.py WHEEL_DIR VERSION HOST_BUILD_DIR WORK_DIR

VERSION is the build's version string (X.Y.Z-dev+gHASH...), whose PEP 440
form names the wheels; HOST_BUILD_DIR is the host build (build/host), which
has the examples' table program and the host library. Uses Debian's pip
(python3-pip) with --target, which PEP 668's externally-managed Python
allows. Prints "ok: " or "FAILED: " and each step, then "N passed, N failed".
"""

import base64
import csv
import hashlib
import io
import os
import shutil
import subprocess
import sys
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ in the sources
here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..", "..")
sys.path.insert(0, os.path.join(root, "tests", "support"))
sys.path.insert(0, os.path.join(root, "tests", "examples"))
sys.path.insert(0, os.path.join(root, "package", "wheel"))
sys.path.insert(0, os.path.join(root, "package"))
from check import Tally  # noqa: E402
import pe_header  # noqa: E402
import run_examples  # noqa: E402
from wheel_version import wheel_version  # noqa: E402

# Each wheel's platform tag and the PE machine of its DLL.
PLATFORMS = [("win32", 0x14C), ("win_amd64", 0x8664)]
PYTHON = "/usr/bin/python3"  # Debian's, with python3-pip


class Steps(Tally):
    """A Tally that also says each step that passed, after the platform it is of."""

    prefix = ""

    def check(self, ok, what, detail=""):
        if ok:
            print("ok: " + self.prefix + what)
        return super().check(ok, self.prefix + what, detail)


def record_hash(data):
    # RECORD's form: sha256=, urlsafe base64 without padding.
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")


def read_record(text):
    """RECORD's rows as {path: (hash, size)}; both empty for RECORD itself (and pip's .pyc lines)."""
    return {row[0]: (row[1], row[2]) for row in csv.reader(io.StringIO(text)) if row}


def installed_row(target, name):
    """RECORD's (hash, size) of an installed file; None when it is missing."""
    path = os.path.join(target, name)
    if not os.path.isfile(path):
        return None
    data = open(path, "rb").read()
    return record_hash(data), str(len(data))


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/")
                  for top, _, names in os.walk(folder) for name in names)


def pip_install(wheel, platform, target):
    # Debian's pip under no configuration but its own: PIP_* variables (a
    # find-links folder, say) and pip.conf files would change what it does.
    env = {k: v for k, v in os.environ.items() if not k.startswith("PIP_")}
    env["PIP_CONFIG_FILE"] = os.devnull
    command = [PYTHON, "-m", "pip", "install", "--target", target, "--platform", platform, "--only-binary=:all:",
               "--no-deps", "--no-index", "--no-cache-dir", "--disable-pip-version-check", "--root-user-action=ignore",
               wheel]
    result = subprocess.run(command, env=env, capture_output=True, timeout=300)
    return result.returncode, (result.stdout + result.stderr).decode("utf-8", "replace")


def check_wheel_file(tally, wheel, version, platform):
    """The wheel's own files: names, tag, metadata, RECORD; returns the RECORD's rows."""
    dist_info = "korvane-%s.dist-info/" % version
    with zipfile.ZipFile(wheel) as z:
        names = sorted(z.namelist())
        contents = {name: z.read(name) for name in names}
    wanted = sorted(["korvane/__init__.py", "korvane/__main__.py", "korvane/KORVANE.dll"]
                    + [dist_info + n for n in ("METADATA", "WHEEL", "RECORD", "top_level.txt",
                                               "THIRD-PARTY-NOTICES.txt")])
    tally.check(names == wanted, "the wheel holds the package and its metadata, nothing else",
                "  holds:  %s\n  wanted: %s" % (names, wanted))
    wheel_lines = contents.get(dist_info + "WHEEL", b"").decode("utf-8").splitlines()
    tally.check([line for line in wheel_lines if line.startswith("Tag:")] == ["Tag: py3-none-" + platform]
                and "Root-Is-Purelib: true" in wheel_lines,
                "its one tag is py3-none-" + platform, "\n".join(wheel_lines))
    metadata = contents.get(dist_info + "METADATA", b"").decode("utf-8")
    headers, _, description = metadata.partition("\n\n")
    headers = headers.splitlines()
    for header in ("Name: korvane", "Version: " + version, "Requires-Python: >=3.8",
                   "License-File: THIRD-PARTY-NOTICES.txt", "Description-Content-Type: text/markdown"):
        tally.check(header in headers, "its metadata has " + header, "\n".join(headers))
    tally.check(any(h.startswith("Summary: ") for h in headers) and any(h.startswith("License: ") for h in headers)
                and description == open(os.path.join(root, "package", "wheel", "README.md")).read(),
                "its metadata has a summary, a licence line, and the package README as description", metadata)
    # One source: the module is examples/python/korvane.py, the notices the project's.
    for name, source in (("korvane/__init__.py", "examples/python/korvane.py"),
                         (dist_info + "THIRD-PARTY-NOTICES.txt", "THIRD-PARTY-NOTICES.txt")):
        tally.check(contents.get(name) == open(os.path.join(root, source), "rb").read(),
                    "its %s is %s" % (name, source))
    record = read_record(contents.get(dist_info + "RECORD", b"").decode("utf-8"))
    wrong = [name for name in names if name != dist_info + "RECORD"
             and record.get(name) != (record_hash(contents[name]), str(len(contents[name])))]
    tally.check(sorted(record) == names and not wrong and record.get(dist_info + "RECORD") == ("", ""),
                "its RECORD lists each of its files with the file's hash and size",
                "  listed: %s\n  wrong: %s" % (sorted(record), wrong))
    return record


def check_installed(tally, wheel_record, target):
    """The files pip installed against the wheel's RECORD, and pip's own RECORD."""
    # RECORD itself, without a hash, is rewritten by pip.
    wrong = [name for name, row in sorted(wheel_record.items()) if row[0] and installed_row(target, name) != row]
    tally.check(not wrong, "each file the wheel's RECORD lists is installed with its hash and size",
                "  missing or changed: %s" % wrong)
    installed = files_under(target)
    dist_info = next((name.split("/")[0] + "/" for name in wheel_record if ".dist-info/" in name), "")
    # What pip adds: its marks (PEP 376, 610) and the byte-compiled module.
    pips_own = [name for name in installed
                if name in (dist_info + "INSTALLER", dist_info + "REQUESTED", dist_info + "direct_url.json")
                or (name.startswith("korvane/__pycache__/") and name.endswith(".pyc"))]
    others = [name for name in installed if name not in wheel_record and name not in pips_own]
    tally.check(not others, "every installed file is one the wheel's RECORD lists, or pip's own",
                "  others: %s" % others)
    installed_record = read_record(open(os.path.join(target, dist_info + "RECORD")).read()) \
        if os.path.isfile(os.path.join(target, dist_info + "RECORD")) else {}
    wrong = [name for name, row in installed_record.items() if row[0] and installed_row(target, name) != row]
    tally.check(sorted(installed_record) == installed and not wrong,
                "pip's RECORD lists every installed file, with the right hashes",
                "  listed:    %s\n  installed: %s\n  wrong: %s" % (sorted(installed_record), installed, wrong))


def main(wheel_dir, build_version, host_build, work):
    version = wheel_version(build_version)
    wheel_dir, host_build, work = (os.path.abspath(p) for p in (wheel_dir, host_build, work))
    examples_build = os.path.join(host_build, "tests", "examples")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    tally = Steps()
    for platform, machine in PLATFORMS:
        tally.prefix = platform + ": "
        wheel = os.path.join(wheel_dir, "korvane-%s-py3-none-%s.whl" % (version, platform))
        if not tally.check(os.path.isfile(wheel), "the wheel is there", "  not found: " + wheel):
            continue
        wheel_record = check_wheel_file(tally, wheel, version, platform)

        target = os.path.join(work, platform, "site-packages")
        status, output = pip_install(wheel, platform, target)
        print("  | " + output.strip().replace("\n", "\n  | "))
        if not tally.check(status == 0, "pip installs it with --target and --platform " + platform, output):
            continue
        other = [p for p, _ in PLATFORMS if p != platform][0]
        status, output = pip_install(wheel, other, os.path.join(work, platform, "refused"))
        tally.check(status != 0 and "is not a supported wheel on this platform" in output,
                    "pip refuses it for --platform " + other, output)
        check_installed(tally, wheel_record, target)

        dll = os.path.join(target, "korvane", "KORVANE.dll")
        found = pe_header.read(dll) if os.path.isfile(dll) else None
        tally.check(found == pe_header.PeHeader(machine, True, False),
                    "korvane/KORVANE.dll is a DLL for machine 0x%x" % machine, "  found: %s" % (found,))

        # python -m korvane for real, from the installed folder: on this
        # Linux it must say in one line that it needs Windows, as the module
        # does wherever ctypes cannot load a Windows DLL.
        env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
        result = subprocess.run([PYTHON, "-m", "korvane", "4B31"], cwd=target, env=env, capture_output=True, timeout=60)
        error = result.stderr.decode("utf-8", "replace")
        tally.check(result.returncode == 2 and result.stdout == b"" and len(error.splitlines()) == 1
                    and error.startswith("korvane: KORVANE.dll is a Windows library"),
                    "python -m korvane runs from the installed folder, and says here that it needs Windows",
                    "  exit %d\n  printed: %r\n  stderr: %s" % (result.returncode, result.stdout, error))

        run_examples.run_installed_module(tally, os.path.join(examples_build, "example_cases"),
                                          os.path.join(examples_build, "libkorvane_host.so"),
                                          os.path.join(examples_build, "export_map.txt"),
                                          os.path.join(work, platform, "examples"), target)
    tally.prefix = ""
    return tally.finish()


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
