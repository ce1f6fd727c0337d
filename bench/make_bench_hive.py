#!/usr/bin/env python3
"""Writes a SYSTEM hive of a whole machine's size for the benchmarks: the
devices of tests/fixtures/devices.reg, in ControlSet001 as a saved hive holds
them, among keys the walk does not read (services, drivers, a second control
set), until the file is at least MB megabytes.

    make_bench_hive.py MB OUT.hiv
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "regfile"))
import hive_builder as hb  # noqa: E402
import reg_to_hive  # noqa: E402


def padding(name, keys):
    """A key with `keys` subkeys of a few values each, about 700 bytes a subkey in the hive."""
    subkeys = []
    for i in range(keys):
        text = ("%s service %d" % (name, i)).encode("utf-16-le") + b"\0\0"
        subkeys.append(hb.Key("%s%06d" % (name, i), values=[
            hb.Value("DisplayName", 1, text),
            hb.Value("ImagePath", 2, ("\\SystemRoot\\System32\\drivers\\%s%06d.sys" % (name, i)).encode("utf-16-le")),
            hb.Value("Start", 4, (3).to_bytes(4, "little")),
            hb.Value("Type", 4, (1).to_bytes(4, "little")),
            hb.Value("Description", 1, text * 4),
        ], subkeys=[hb.Key("Parameters", values=[hb.Value("Flags", 3, bytes(range(64)))])]))
    return hb.Key(name, subkeys=subkeys)


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    megabytes, out = int(argv[1]), argv[2]
    system_tree, _ = reg_to_hive.offline_system([os.path.join(here, "..", "tests", "fixtures", "devices.reg")])
    system = reg_to_hive.builder_key(system_tree)
    control_set = next(k for k in system.subkeys if k.name == "ControlSet001")
    keys = megabytes * 1000 * 1000 // 700
    control_set.subkeys.append(hb.Key("Services", subkeys=[padding("Svc", keys // 2)]))
    system.subkeys.append(hb.Key("ControlSet002", subkeys=[hb.Key("Services", subkeys=[padding("Old", keys // 2)])]))
    system.subkeys.append(hb.Key("DriverDatabase", subkeys=[padding("Drv", keys // 10)]))
    with open(out, "wb") as f:
        f.write(hb.build(system).data)


if __name__ == "__main__":
    main(sys.argv)
