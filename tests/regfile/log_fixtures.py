"""Three states of one SYSTEM hive, each written by hivex over the one before,
so that the pages between two of them are the changes Windows would have
logged:

    P   devices.reg as a saved hive
    T1  P and a third device of 4B31: Receipt Printer C on COM11 and COM12
    T2  T1 and a fourth, Receipt Printer D on COM13 and COM14, with enough
        data beside it that the hive grows by several bins

    states(work_dir) -> {"P": bytes, "T1": bytes, "T2": bytes}, the files in work_dir/P.hiv ...
"""

import os
import shutil
import subprocess

import reg_to_hive

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")
SYSTEM = "HKEY_LOCAL_MACHINE\\SYSTEM"
CONTROL_SET = SYSTEM + "\\ControlSet001"


def device(instance, prefix, port0, port2, printer, usb_port):
    usb = CONTROL_SET + "\\Enum\\USB\\Vid_7c1f&Pid_4B31&MI_0"
    return [
        ("%s0\\%s&0000" % (usb, instance), {}),
        ("%s0\\%s&0000\\Device Parameters" % (usb, instance), {"PortName": port0}),
        ("%s1\\%s&0001" % (usb, instance), {"ParentIdPrefix": prefix}),
        ("%s2\\%s&0002" % (usb, instance), {}),
        ("%s2\\%s&0002\\Device Parameters" % (usb, instance), {"PortName": port2}),
        ("%s\\Enum\\USBPRINT\\MODELC300USB\\%s&0&%s" % (CONTROL_SET, prefix, usb_port), {}),
        ("%s\\Control\\Print\\Printers\\%s" % (CONTROL_SET, printer), {"Port": usb_port}),
    ]


CHANGES = {
    "T1": device("6&7777aaaa&0", "7&7777bbbb&0", "COM11", "COM12", "Receipt Printer C", "USB077"),
    "T2": device("6&8888aaaa&0", "7&8888bbbb&0", "COM13", "COM14", "Receipt Printer D", "USB088")
    + [(CONTROL_SET + "\\Services", {}), (CONTROL_SET + "\\Services\\Padding", {"Blob": bytes(range(256)) * 600})],
}


def merge_text(keys):
    lines = ["Windows Registry Editor Version 5.00"]
    for path, values in keys:
        lines.append("\n[%s]" % path)
        for name, data in values.items():
            if isinstance(data, bytes):
                lines.append('"%s"=hex:%s' % (name, ",".join("%02x" % b for b in data)))
            else:
                lines.append('"%s"="%s"' % (name, data))
    return "\n".join(lines) + "\n"


def states(work):
    os.makedirs(work, exist_ok=True)
    paths = {name: os.path.join(work, name + ".hiv") for name in ("P", "T1", "T2")}
    reg_to_hive.write_hive_with_hivex(reg_to_hive.offline_system([os.path.join(FIXTURES, "devices.reg")])[0],
                                      paths["P"])
    for older, newer in (("P", "T1"), ("T1", "T2")):
        shutil.copy(paths[older], paths[newer])
        merge = os.path.join(work, newer + ".reg")
        with open(merge, "w") as f:
            f.write(merge_text(CHANGES[newer]))
        subprocess.run(["hivexregedit", "--merge", "--prefix", SYSTEM, paths[newer], merge], check=True,
                       stderr=subprocess.DEVNULL)
    result = {}
    for name, path in paths.items():
        with open(path, "rb") as f:
            result[name] = f.read()
    return result
