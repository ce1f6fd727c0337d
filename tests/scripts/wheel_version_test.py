#!/usr/bin/env python3
"""The wheel's version from the build's: each form the build writes becomes
the PEP 440 version meant, already in the normal form that pip and
setuptools would give it (so that the wheel's name and its metadata agree),
and a development build sorts before its release; anything else is refused.

    wheel_version_test.py PACKAGE_WHEEL_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the sources
here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "support"))
from check import Tally  # noqa: E402

from packaging.version import Version  # noqa: E402  (python3-packaging, which python3-build needs)

CONVERTED = [
    ("1.0.0", "1.0.0"),
    ("10.20.30", "10.20.30"),
    ("1.0.0-dev+g04d2da5d7f", "1.0.0.dev0+g04d2da5d7f"),
    ("1.0.0-dev+g04d2da5d7f.dirty", "1.0.0.dev0+g04d2da5d7f.dirty"),
    ("0.9.1-dev+unknown", "0.9.1.dev0+unknown"),
]
REFUSED = [
    "", "1.0", "1.0.0.0", "v1.0.0", "01.0.0", "1.0.0-dev", "1.0.0-rc1", "1.0.0-dev+G04D2DA5D7F",
    "1.0.0-dev+04d2da5d7f", "1.0.0-dev+g04d2da5d7f.dirty.dirty", "1.0.0-dev+unknown.dirty", "1.0.0 ", "1.0.0\n",
]


def main(wheel_dir):
    sys.path.insert(0, wheel_dir)
    from wheel_version import wheel_version

    tally = Tally()
    for build, wanted in CONVERTED:
        got = wheel_version(build)
        tally.check(got == wanted and str(Version(got)) == got, "%s becomes %s" % (build, wanted),
                    "  got %r, normalised %r" % (got, str(Version(got))))
        release = build.split("-")[0]
        tally.check(Version(got) <= Version(release), "%s sorts no later than %s" % (build, release))
    for build in REFUSED:
        try:
            got = wheel_version(build)
        except ValueError:
            got = None
        tally.check(got is None, "%r is refused" % build, "  became %r" % got)
    return tally.finish()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
