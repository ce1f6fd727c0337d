"""KORVANE.dll from Python, through ctypes.

    import korvane
    for device in korvane.enumerate_devices("4B31"):
        print(device)

or, from a command prompt: python korvane.py 4B31 (python -m korvane 4B31 when
installed from the wheel, which is this module as the package korvane)

Where the DLL is found: put KORVANE.dll beside this file (korvane.py, or the
package's __init__.py, where the wheel puts it), and it is loaded from there by
its full path. Since Python 3.8, a DLL given by name alone is searched for only
in python.exe's folder, in System32 and in folders added with
os.add_dll_directory(), never beside your script, in the current folder or on
PATH; so to keep it elsewhere, call load(path) with its full path first.
Without either, the name alone is tried.

Runs unchanged in a 32-bit and in a 64-bit Python on Windows (also Cygwin's and
MSYS2's): use the KORVANE.dll of the matching package, win32 for a 32-bit
Python, win64 for a 64-bit one (python -c "import struct; print(8 * struct.calcsize('P'))"
tells). Both DLLs export the same four names, and the records are decoded with
the process's own pointer size.
"""

import ctypes
import os
import sys
from typing import List, NamedTuple, Optional

__all__ = ["PrinterInfo", "KorvaneError", "load", "enumerate_devices", "enumerate_with_callback"]

# How often a fill call is repeated while devices come and go between the two calls.
MAX_ATTEMPTS = 5


class PrinterInfo(NamedTuple):
    """One installed device."""

    name: str  # the spooler printer's name
    port0: str  # COM port of interface 0, at most 6 characters
    port2: str  # COM port of interface 2, at most 6 characters
    online: bool  # connected now

    def __str__(self) -> str:
        return f"{self.name}, {self.port0}, {self.port2}, {'OnLine' if self.online else 'OffLine'}"


class KorvaneError(Exception):
    """KORVANE.dll cannot be loaded, the registry walk failed, or the devices kept changing while they were read."""


class PackedPrinterInfo(ctypes.Structure):
    """One record of a packed result buffer: 16 bytes in a 32-bit process, 32 in a 64-bit one."""

    _fields_ = [
        ("name", ctypes.c_void_p),
        ("port0", ctypes.c_void_p),
        ("port2", ctypes.c_void_p),
        ("online", ctypes.c_int32),
    ]


# A Python that loads Windows DLLs: Windows' own, Cygwin's, MSYS2's. Those of
# Cygwin and MSYS2 have no WinDLL: a 64-bit process has one calling convention.
_WINDOWS_PYTHON = hasattr(ctypes, "WinDLL") or sys.platform in ("cygwin", "msys")
_DLL = getattr(ctypes, "WinDLL", ctypes.CDLL)  # standard call convention in a 32-bit process
_FUNCTYPE = getattr(ctypes, "WINFUNCTYPE", ctypes.CFUNCTYPE)
_PROC_W = _FUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int32, ctypes.c_size_t)
_DLL_NAME = "KORVANE.dll"


class _Library:
    """The four exports of one loaded KORVANE.dll, with their argument types."""

    def __init__(self, path: str) -> None:
        dll = _DLL(path)
        self.buffer_w = getattr(dll, "_EnumPrinterInfoW@16")
        self.buffer_w.restype = ctypes.c_int32
        self.buffer_w.argtypes = [
            ctypes.c_wchar_p,
            ctypes.c_void_p,
            ctypes.c_uint32,
            ctypes.POINTER(ctypes.c_uint32),
        ]
        self.callback_w = getattr(dll, "_EnumPrinterInfoCallbackW@12")
        self.callback_w.restype = ctypes.c_int32
        self.callback_w.argtypes = [ctypes.c_wchar_p, _PROC_W, ctypes.c_size_t]


_library: Optional[_Library] = None


def _beside_this_module() -> str:
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), _DLL_NAME)


def load(path: Optional[str] = None) -> None:
    """Loads KORVANE.dll: from path, a full path, when given; else the one
    beside this module when it is there; else by name alone (see the module's
    docstring for where Windows then looks). The functions below call load()
    on first use. Raises KorvaneError, saying why, when it cannot be loaded."""
    global _library
    if not _WINDOWS_PYTHON:
        raise KorvaneError(f"{_DLL_NAME} is a Windows library; this Python ({sys.platform}) cannot load it")
    if path is None:
        path = _beside_this_module() if os.path.exists(_beside_this_module()) else _DLL_NAME
    try:
        _library = _Library(path)
    except AttributeError as error:
        raise KorvaneError(f"{path} is not KORVANE.dll: it lacks an export ({error})") from None
    except OSError as error:
        if getattr(error, "winerror", None) == 193:  # ERROR_BAD_EXE_FORMAT
            bits = 8 * ctypes.sizeof(ctypes.c_void_p)
            raise KorvaneError(f"cannot load {path}: this {bits}-bit Python needs the KORVANE.dll of the "
                               f"{'win64' if bits == 64 else 'win32'} package") from None
        raise KorvaneError(f"cannot load {path} (put {_DLL_NAME} beside {os.path.basename(__file__)}, "
                           f"or call load() with its full path): {error}") from None


def _loaded() -> _Library:
    if _library is None:
        load()
    assert _library is not None
    return _library


def _text(address: Optional[int]) -> str:
    # An address of 0 stands for an empty string.
    return ctypes.wstring_at(address) if address else ""


def _decode(buffer: ctypes.Array, count: int) -> List[PrinterInfo]:
    records = (PackedPrinterInfo * count).from_buffer(buffer)
    return [PrinterInfo(_text(r.name), _text(r.port0), _text(r.port2), r.online != 0) for r in records]


def enumerate_devices(product_id: str) -> List[PrinterInfo]:
    """The devices of product_id (e.g. "4B31"), through the buffer export.

    A size query, then a fill call with a buffer of that size. A fill call that
    returns -1 with a larger size means a device was plugged in between the
    calls; it is repeated with the new size, at most MAX_ATTEMPTS times.
    """
    library = _loaded()
    needed = ctypes.c_uint32(0)
    library.buffer_w(product_id, None, 0, ctypes.byref(needed))  # returns -1: a size query
    for _ in range(MAX_ATTEMPTS):
        size = needed.value
        # A size of 0 is no device or a failed walk; a call with a buffer tells which.
        buffer = ctypes.create_string_buffer(max(size, 1))
        count = library.buffer_w(product_id, buffer, size, ctypes.byref(needed))
        if count >= 0:
            return _decode(buffer, count)
        if needed.value <= size:
            raise KorvaneError("the registry walk failed")
    raise KorvaneError(f"the devices kept changing; tried {MAX_ATTEMPTS} times")


def enumerate_with_callback(product_id: str) -> List[PrinterInfo]:
    """The devices of product_id, through the callback export."""
    library = _loaded()
    devices: List[PrinterInfo] = []

    def collect(name: int, port0: int, port2: int, online: int, context: int) -> int:
        # The strings belong to the library and live only while the callback runs: copy them.
        devices.append(PrinterInfo(_text(name), _text(port0), _text(port2), online != 0))
        return 1

    proc = _PROC_W(collect)  # kept alive by this frame until the call returns
    if library.callback_w(product_id, proc, 0) < 0:
        raise KorvaneError("the registry walk failed")
    return devices


def main(arguments: Optional[List[str]] = None) -> int:
    """The command line, `python korvane.py [PRODUCT_ID]` or, installed from
    the wheel, `python -m korvane [PRODUCT_ID]` (4B31 when none is given): one
    line per device. Returns the exit status: 0 devices found, 1 none, 2 the
    DLL could not be loaded or the walk failed (said in one line on stderr)."""
    if arguments is None:
        arguments = sys.argv[1:]
    try:
        found = enumerate_devices(arguments[0] if arguments else "4B31")
    except KorvaneError as error:
        print(f"korvane: {error}", file=sys.stderr)
        return 2
    for device in found:
        print(device)
    return 0 if found else 1


if __name__ == "__main__":
    sys.exit(main())
