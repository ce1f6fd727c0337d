#!/usr/bin/env python3
"""Runs the SDK's examples against the library's own code on the host: every
case of the table (example_cases) through the C# wrapper under Mono and the
Python module under python3, then the examples themselves as an integrator
runs them: Example.exe, korvane.py as a script, and the C example, each with
its failures said in one line.

    run_examples.py EXAMPLE_CASES HOST_LIBRARY EXPORT_MAP WORK_DIR [--assembly ASSEMBLY | --python-module DIR]

With --assembly, only the C# cases, through ASSEMBLY (the Korvane.Interop.dll
of the NuGet package) instead of Korvane.cs, as a program that uses the
package does: ASSEMBLY beside it, and beside that KORVANE.dll, here
HOST_LIBRARY with the DLL's export names (rename_exports.py), no dllmap.

With --python-module, only the Python cases and `python -m korvane`, through
the package korvane/ as pip installed it into DIR (from a wheel), on a copy
of DIR whose korvane/KORVANE.dll is the host library.

From the environment: MCS, MONO, CC (the host's C compiler), KORVANE_INCLUDE
(the folder of korvane.h); with --python-module, none. Prints "N passed, N
failed".
"""

import argparse
import os
import shutil
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..", "..")
fixtures = os.path.join(root, "tests", "fixtures")
examples = os.path.join(root, "examples")
sys.path.insert(0, os.path.join(here, "..", "support"))
from check import Tally  # noqa: E402
import rename_exports  # noqa: E402

# What the examples print for devices.reg.
TWO_DEVICES = "Receipt Printer A, COM3, COM4, OnLine\nReceipt Printer B, COM7, COM8, OffLine\n"


def read_cases(program):
    text = subprocess.run([program], check=True, capture_output=True).stdout.decode("utf-8")
    cases, case = [], None
    for line in text.splitlines():
        key, _, value = line.partition(" ")
        if key == "case":
            case = {"name": value, "expect": [], "between": "", "calls": None}
        elif key == "end":
            cases.append(case)
        elif key == "expect":
            case["expect"].append(value)
        else:
            case[key] = value
    return cases


def host_environment(case, call_log):
    env = dict(os.environ, LANG="C.UTF-8", PYTHONIOENCODING="utf-8")
    env["KORVANE_HOST_REG"] = ":".join(os.path.join(fixtures, f) for f in case["registry"].split())
    env["KORVANE_HOST_BETWEEN_CALLS"] = case["between"]
    env["KORVANE_HOST_CALL_LOG"] = call_log
    for key, variable in (("code-page", "KORVANE_HOST_CODE_PAGE"), ("task-mem", "KORVANE_HOST_TASK_MEM")):
        if key in case:
            env[variable] = case[key]
    return env


def run(command, env, cwd=None):
    result = subprocess.run(command, env=env, cwd=cwd, capture_output=True, timeout=120)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def dll_config(exe, host_library, export_map):
    """The dllmap that sends KORVANE.dll and its export names to the host library."""
    entries = "".join('    <dllentry dll="%s" name="%s" target="%s"/>\n' % (host_library, *line.split())
                      for line in open(export_map) if line.strip())
    with open(exe + ".config", "w") as f:
        f.write('<configuration>\n  <dllmap dll="KORVANE.dll" target="%s">\n%s  </dllmap>\n</configuration>\n'
                % (host_library, entries))


def build_csharp(work, name, sources, host_library, export_map):
    exe = os.path.join(work, name + ".exe")
    subprocess.run([os.environ["MCS"], "-nologo", "-warnaserror", "-out:" + exe] + sources, check=True)
    dll_config(exe, host_library, export_map)
    return exe


def run_table(tally, cases, drivers, work):
    """Runs each case in each of its languages that drivers has a driver for."""
    for case in cases:
        for language in (language for language in case["languages"].split() if language in drivers):
            log = os.path.join(work, "calls.log")
            if os.path.exists(log):
                os.remove(log)
            status, out, error = run(drivers[language] + [case["form"], case["product"]], host_environment(case, log))
            calls = open(log).read().split() if os.path.exists(log) else []
            expected_calls = case["calls"].split() if case["calls"] is not None else calls
            tally.check(status == 0 and out.splitlines() == case["expect"] and calls == expected_calls,
                        "%s: %s" % (language, case["name"]),
                        "  exit %d\n  printed:  %s\n  expected: %s\n  calls:    %s\n  expected: %s\n  stderr: %s"
                        % (status, out.splitlines(), case["expect"], calls, expected_calls, error))


def run_examples_themselves(tally, work, host_library, export_map, python_dir):
    devices = {"registry": "devices.reg", "between": ""}
    two_lines = TWO_DEVICES
    log = os.path.join(work, "calls.log")

    example = build_csharp(work, "Example", [os.path.join(examples, "csharp", f) for f in ("Example.cs", "Korvane.cs")],
                           host_library, export_map)
    mono = os.environ["MONO"]
    status, out, error = run([mono, example, "4B31"], host_environment(devices, log))
    tally.check(status == 0 and out == two_lines, "Example.exe lists the devices", out + error)
    lonely = os.path.join(work, "lonely")
    os.makedirs(lonely, exist_ok=True)
    shutil.copy(example, lonely)
    dll_config(os.path.join(lonely, "Example.exe"), os.path.join(lonely, "KORVANE.dll"), export_map)
    status, out, error = run([mono, os.path.join(lonely, "Example.exe")], host_environment(devices, log))
    tally.check(status != 0 and out == "" and len(error.splitlines()) == 1 and "KORVANE.dll" in error,
                "Example.exe without KORVANE.dll says so in one line", error)

    script = [sys.executable, os.path.join(here, "example_case.py")]
    status, out, error = run(script + [python_dir, export_map, "main", "4B31"], host_environment(devices, log),
                             cwd=work)
    tally.check(status == 0 and out == two_lines, "korvane.py as a script, the DLL beside it, from another folder",
                out + error)
    bare = os.path.join(work, "python-without-dll")
    os.makedirs(bare, exist_ok=True)
    shutil.copy(os.path.join(python_dir, "korvane.py"), bare)
    status, out, error = run(script + [bare, export_map, "main", "4B31"], host_environment(devices, log), cwd=work)
    tally.check(status != 0 and out == "" and len(error.splitlines()) == 1 and "KORVANE.dll" in error,
                "korvane.py without KORVANE.dll says so in one line", error)

    # The C example is plain C over korvane.h; its four names link to the host library's.
    c_example = os.path.join(work, "two_call_example")
    renames = ["-D%s=korvane_host_%s" % (n, n) for n in
               ("EnumPrinterInfoA", "EnumPrinterInfoW", "EnumPrinterInfoCallbackA", "EnumPrinterInfoCallbackW")]
    subprocess.run([os.environ["CC"], "-std=c11", "-Wall", "-Wextra", "-Werror", "-I", os.environ["KORVANE_INCLUDE"]]
                   + renames + [os.path.join(examples, "c", "two_call_example.c"), host_library,
                                "-Wl,-rpath," + os.path.dirname(host_library), "-o", c_example], check=True)
    c_cases = [
        ("the C example lists the devices", "4B31", "", 0, two_lines, ""),
        ("the C example calls again when a device arrives between the calls", "4B31", "arrive", 0,
         two_lines + "Arrived Printer 0, COM40, COM50, OffLine\n", ""),
        ("the C example gives up after 1 + 5 calls", "4B31", "arrive " * 6, 2, "", "korvane: the devices kept changing"),
        ("the C example tells no device from a failed walk: no device", "4B61", "", 1, "no device\n", ""),
        ("the C example tells no device from a failed walk: failed", "FFFF", "", 2, "", "korvane: the registry walk failed"),
    ]
    for what, product, between, status_wanted, out_wanted, error_start in c_cases:
        status, out, error = run([c_example, product], host_environment(dict(devices, between=between), log))
        tally.check(status == status_wanted and out == out_wanted and error.startswith(error_start)
                    and len(error.splitlines()) == (1 if error_start else 0), what,
                    "  exit %d\n  output: %s\n  standard error: %s" % (status, out, error))


def run_packaged_assembly(tally, cases, assembly, host_library, export_map, work):
    folder = os.path.join(work, "packaged")
    os.makedirs(folder)
    shutil.copy(assembly, folder)
    rename_exports.main(host_library, export_map, os.path.join(folder, "KORVANE.dll"))
    exe = os.path.join(folder, "ExampleCase.exe")
    subprocess.run([os.environ["MCS"], "-nologo", "-warnaserror", "-out:" + exe, "-r:" + assembly,
                    os.path.join(here, "ExampleCase.cs"), os.path.join(here, "ExampleForms.cs")], check=True)
    run_table(tally, cases, {"cs": [os.environ["MONO"], exe]}, work)


def run_installed_module(tally, cases_program, host_library, export_map, work, installed_dir):
    """The Python cases and the module's main through the package pip installed into installed_dir."""
    # Absolute, since main runs from the installed folder.
    host_library, export_map, work = (os.path.abspath(p) for p in (host_library, export_map, work))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # A copy, so that the installation stays as pip left it; its PE file
    # cannot load here, so the host library takes its place.
    module_dir = os.path.join(work, "installed")
    shutil.copytree(installed_dir, module_dir)
    dll = os.path.join(module_dir, "korvane", "KORVANE.dll")
    if not tally.check(os.path.isfile(dll), "the installed package has korvane/KORVANE.dll", "  not found: " + dll):
        return
    shutil.copy(host_library, dll)
    driver = [sys.executable, os.path.join(here, "example_case.py"), module_dir, export_map]
    run_table(tally, read_cases(cases_program), {"py": driver}, work)
    devices = {"registry": "devices.reg", "between": ""}
    status, out, error = run(driver + ["main", "4B31"], host_environment(devices, os.path.join(work, "calls.log")),
                             cwd=module_dir)
    tally.check(status == 0 and out == TWO_DEVICES,
                "python -m korvane 4B31 from the installed folder lists the devices",
                "  exit %d\n  printed: %s\n  stderr: %s" % (status, out, error))


def main(cases_program, host_library, export_map, work, assembly=None, python_module=None):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    tally = Tally()
    if assembly is not None:
        run_packaged_assembly(tally, read_cases(cases_program), assembly, host_library, export_map, work)
        return tally.finish()
    if python_module is not None:
        run_installed_module(tally, cases_program, host_library, export_map, work, python_module)
        return tally.finish()
    # Where the module's docstring says the DLL goes: beside korvane.py.
    python_dir = os.path.join(work, "python")
    os.makedirs(python_dir)
    shutil.copy(os.path.join(examples, "python", "korvane.py"), python_dir)
    shutil.copy(host_library, os.path.join(python_dir, "KORVANE.dll"))
    case_exe = build_csharp(work, "ExampleCase", [os.path.join(here, "ExampleCase.cs"), os.path.join(here, "ExampleForms.cs"),
                                                 os.path.join(examples, "csharp", "Korvane.cs")],
                            host_library, export_map)
    drivers = {
        "cs": [os.environ["MONO"], case_exe],
        "py": [sys.executable, os.path.join(here, "example_case.py"), python_dir, export_map],
    }
    run_table(tally, read_cases(cases_program), drivers, work)
    run_examples_themselves(tally, work, host_library, export_map, python_dir)
    return tally.finish()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(usage=__doc__)
    for name in ("cases_program", "host_library", "export_map", "work"):
        parser.add_argument(name)
    parser.add_argument("--assembly")
    parser.add_argument("--python-module")
    sys.exit(main(**vars(parser.parse_args())))
