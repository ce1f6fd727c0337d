#!/usr/bin/env python3
"""Runs one case of the examples' table through the Python module
(korvane.py) and prints what it gave, as ExampleCase.cs does:

    example_case.py MODULE_DIR EXPORT_MAP FORM PRODUCT_ID

FORM "main" runs the module as a script instead, as `python korvane.py ID`,
or as `python -m korvane ID` where MODULE_DIR holds the package.

MODULE_DIR holds korvane.py with the host library beside it as KORVANE.dll,
where the module's docstring says to put the DLL; or, as pip installs the
wheel there, the package folder korvane/ with the host library in it as
korvane/KORVANE.dll. EXPORT_MAP lists the DLL's four export names and the
host library's names for them.
"""

import ctypes
import importlib
import os
import runpy
import sys


# Stands in for what Windows' ctypes provides and Linux's lacks, and for
# nothing else: WinDLL (which finds an export by the DLL's name for it),
# WINFUNCTYPE, and wchar_t strings of 2 bytes (c_wchar_p, wstring_at).
def stand_in_for_windows_ctypes(export_map):
    names = dict(line.split() for line in open(export_map) if line.strip())

    class WinDLL(ctypes.CDLL):
        def __getattr__(self, name):
            if name.startswith("__") or name not in names:
                raise AttributeError("function '%s' not found" % name)
            function = ctypes.CDLL.__getitem__(self, names[name])
            setattr(self, name, function)
            return function

    class Utf16(ctypes.c_void_p):
        @classmethod
        def from_param(cls, text):
            if text is None:
                return None
            buffer = ctypes.create_string_buffer(text.encode("utf-16-le") + b"\0\0")
            kept.append(buffer)
            return ctypes.cast(buffer, ctypes.c_void_p)

    def wstring_at(address, size=-1):
        units = []
        unit = ctypes.cast(address, ctypes.POINTER(ctypes.c_uint16))
        while unit[len(units)] != 0 and (size < 0 or len(units) < size):
            units.append(unit[len(units)])
        return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le", "surrogatepass")

    kept = []
    ctypes.WinDLL = WinDLL
    ctypes.WINFUNCTYPE = ctypes.CFUNCTYPE
    ctypes.c_wchar_p = Utf16
    ctypes.wstring_at = wstring_at


def layout(korvane, product_id):
    """The raw records of the W buffer form, read with the module's own declarations."""
    library = korvane._loaded()
    needed = ctypes.c_uint32(0)
    library.buffer_w(product_id, None, 0, ctypes.byref(needed))
    buffer = ctypes.create_string_buffer(needed.value)
    count = library.buffer_w(product_id, buffer, needed.value, ctypes.byref(needed))
    size = ctypes.sizeof(korvane.PackedPrinterInfo)
    print("layout record size %d" % size)
    start = ctypes.addressof(buffer)
    records = (korvane.PackedPrinterInfo * count).from_buffer(buffer)
    inside = count > 0 and all(start + count * size <= address < start + needed.value
                               for r in records for address in (r.name, r.port0, r.port2))
    fields_end = 3 * ctypes.sizeof(ctypes.c_void_p) + 4
    padding = all(b == 0 for i in range(count) for b in buffer.raw[i * size + fields_end:(i + 1) * size])
    print("layout padding %s" % ("0" if padding else "not 0"))
    print("layout addresses %s" % ("inside the buffer" if inside else "outside the buffer"))


def main(module_dir, export_map, form, product_id):
    stand_in_for_windows_ctypes(export_map)
    if form == "main" and os.path.isdir(os.path.join(module_dir, "korvane")):
        # The installed package, as python -m korvane PRODUCT_ID runs it from MODULE_DIR.
        sys.path.insert(0, module_dir)
        sys.argv = ["-m", product_id]
        runpy.run_module("korvane", run_name="__main__", alter_sys=True)
        return
    if form == "main":  # the module as a script: python korvane.py PRODUCT_ID
        script = os.path.join(module_dir, "korvane.py")
        sys.argv = [script, product_id]
        runpy.run_path(script, run_name="__main__")
        return
    sys.path.insert(0, module_dir)
    korvane = importlib.import_module("korvane")
    try:
        if form == "layout":
            layout(korvane, product_id)
            return
        devices = {"buffer-w": korvane.enumerate_devices, "callback-w": korvane.enumerate_with_callback}[form](product_id)
        for d in devices:
            print("record %s|%s|%s|%d" % (d.name, d.port0, d.port2, d.online))
    except korvane.KorvaneError as error:
        print("error %s" % error)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
