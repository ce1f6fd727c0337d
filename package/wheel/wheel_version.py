#!/usr/bin/env python3
"""The wheel's version, in PEP 440's form, from the build's version string
(cmake/version.cmake):

    X.Y.Z                   ->  X.Y.Z
    X.Y.Z-dev+gHASH         ->  X.Y.Z.dev0+gHASH
    X.Y.Z-dev+gHASH.dirty   ->  X.Y.Z.dev0+gHASH.dirty
    X.Y.Z-dev+unknown       ->  X.Y.Z.dev0+unknown

A development build sorts before its release, as X.Y.Z.dev0 does before
X.Y.Z; the local part keeps the commit. Any other string is refused rather
than left to setuptools, which would bend it into some version with no more
than a warning.

    wheel_version.py BUILD_VERSION   prints the wheel's version
"""

import re
import sys

# Numbers without leading zeros, which PEP 440 would drop; git's hash in lower case.
_NUMBER = r"(?:0|[1-9][0-9]*)"
_BUILD_VERSION = re.compile(r"(%s\.%s\.%s)(?:-dev\+(g[0-9a-f]{7,40}(?:\.dirty)?|unknown))?" % ((_NUMBER,) * 3))


def wheel_version(build_version):
    """The PEP 440 version of build_version; ValueError when it is not one the build writes."""
    match = _BUILD_VERSION.fullmatch(build_version)
    if not match:
        raise ValueError("not a version the build writes (X.Y.Z, X.Y.Z-dev+gHASH[.dirty], X.Y.Z-dev+unknown): %r"
                         % build_version)
    release, local = match.groups()
    return release if local is None else "%s.dev0+%s" % (release, local)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        print(wheel_version(sys.argv[1]))
    except ValueError as error:
        sys.exit("wheel_version.py: %s" % error)
