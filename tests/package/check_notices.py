#!/usr/bin/env python3
"""Checks THIRD-PARTY-NOTICES.txt against what each shipped binary was built from.

    check_notices.py NOTICES BUILD_DIR BINARY...

BINARY is a file name in BUILD_DIR/bin (KORVANE.dll, korvane.exe, tarnwell.exe).
What a binary carries is read from the build, not from a list kept by hand:
  - its link map (BUILD_DIR/bin/BINARY.map, written by the linker) names every
    archive member and object file that went into it;
  - for the project's own objects among them, the build's dependency log
    (ninja -t deps) names the headers each was compiled from, which is where
    header-only libraries show.
Each input is assigned a component by COMPONENT_RULES; an input no rule
claims fails the check, as does a component whose "Carried by:" line in the
notices differs from the binaries that carry it.
"""
import collections
import os
import re
import subprocess
import sys

# (component as the notices name it, kind of input, pattern it matches).
# "member": an archive member or object file outside the build tree, as
# ARCHIVE(MEMBER) or FILE; "header": a header a project object included.
COMPONENT_RULES = [
    ("gdtoa", "member", re.compile(
        r"libmingwex\.a\((?:.*-)?(?:dmisc|dtoa|g__fmt|g_dfmt|g_ffmt|g_xfmt|gdtoa|gethex|gmisc|hd_init|hexnan"
        r"|misc|qnan|smisc|strtodg|strtodnrp|strtof|strtopx|sum|ulp|mingw_pformatw?)\.o\)$")),
    ("libstdc++", "member", re.compile(r"/libstdc\+\+\.a\(")),
    ("libgcc", "member", re.compile(r"/(?:libgcc|libgcc_eh)\.a\(|/crt(?:begin|end)\.o$")),
    ("MinGW-w64 runtime", "member", re.compile(r"-w64-mingw32/lib/(?:\.\./lib/)?[^/]+(?:\.a\(.*\)|\.o)$")),
    ("CLI11", "header", re.compile(r"/CLI/[^/]+\.hpp$")),
    ("nlohmann/json", "header", re.compile(r"/nlohmann/.+\.hpp$")),
]

MEMBER_LINE = re.compile(r"^(\S+\.a)\(([^)]+)\)")
OBJECT_LOAD_LINE = re.compile(r"^LOAD (\S+\.(?:o|obj))$")


def linked_inputs(map_text):
    """The archive members (ARCHIVE(MEMBER)) and object files a link map says were linked."""
    inputs = set()
    in_members = False
    for line in map_text.splitlines():
        if line.startswith("Archive member included"):
            in_members = True
        elif in_members and line and not line[0].isspace():
            member = MEMBER_LINE.match(line)
            if member:
                inputs.add(f"{os.path.normpath(member.group(1))}({member.group(2)})")
            else:
                in_members = False
        loaded = OBJECT_LOAD_LINE.match(line)
        if loaded:
            inputs.add(os.path.normpath(loaded.group(1)))
    return inputs


def object_headers(build_dir):
    """Each compiled object's headers, from the build's dependency log."""
    deps = subprocess.run(["ninja", "-C", build_dir, "-t", "deps"], check=True, capture_output=True,
                          text=True).stdout
    headers = collections.defaultdict(list)
    current = None
    for line in deps.splitlines():
        if line and not line[0].isspace():
            current = line.split(":", 1)[0]
        elif line.strip() and current:
            headers[current].append(line.strip())
    return headers


def project_object(build_dir, item):
    """The object path (relative to the build) of an input the build made, else None.

    The map names them relative to the build: dir/libNAME.a(FILE.obj) was
    compiled as dir/CMakeFiles/NAME.dir/FILE.obj, and an object loaded whole
    is named by its own path."""
    path, _, member = item.partition("(")
    if os.path.isabs(path):
        return None
    if not member:
        return path
    folder, archive = os.path.split(path)
    target = re.sub(r"^lib|\.a$", "", archive)
    return os.path.join(folder, "CMakeFiles", target + ".dir", member.rstrip(")"))


def components_of(build_dir, inputs, headers):
    """The components a binary's inputs carry, and the inputs no rule claims."""
    found, unclaimed = set(), []
    for item in sorted(inputs):
        obj = project_object(build_dir, item)
        if obj is not None:
            for header in headers.get(obj, []):
                found.update(name for name, kind, rule in COMPONENT_RULES
                             if kind == "header" and rule.search(header))
            continue
        names = [name for name, kind, rule in COMPONENT_RULES if kind == "member" and rule.search(item)]
        if names:
            found.add(names[0])
        else:
            unclaimed.append(item)
    return found, unclaimed


def notices_carried_by(text):
    """{component: set of binaries} from the notices' "== NAME" and "Carried by:" lines."""
    carried, component = {}, None
    for line in text.splitlines():
        heading = re.match(r"^== (.+?) ==+$", line)
        if heading:
            component = heading.group(1)
        elif component and line.startswith("Carried by:"):
            carried[component] = {b.strip() for b in line.split(":", 1)[1].split(",") if b.strip()}
    return carried


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    notices_path, build_dir, binaries = argv[1], argv[2], argv[3:]
    with open(notices_path, encoding="utf-8") as f:
        claimed = notices_carried_by(f.read())
    headers = object_headers(build_dir)
    actual = collections.defaultdict(set)
    problems = []
    for binary in binaries:
        with open(os.path.join(build_dir, "bin", binary + ".map"), encoding="utf-8", errors="replace") as f:
            found, unclaimed = components_of(build_dir, linked_inputs(f.read()), headers)
        for component in found:
            actual[component].add(binary)
        problems += [f"{binary} links {item}, which no notice covers: add its notice and a rule"
                     for item in unclaimed]
    for component in sorted(set(actual) | set(claimed)):
        has, says = actual.get(component, set()), claimed.get(component)
        if says is None:
            problems.append(f"the notices have no section for {component} (carried by {', '.join(sorted(has))})")
        elif has != says:
            problems.append(f"{component}: carried by {', '.join(sorted(has)) or 'nothing'}, "
                            f"the notices say {', '.join(sorted(says)) or 'nothing'}")
    for component in sorted(actual):
        print(f"{component}: {', '.join(sorted(actual[component]))}")
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
