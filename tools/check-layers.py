#!/usr/bin/env python3
"""Refuses an include that reaches up or across the product's layers.

Tests follow the code: a test folder below the front ends includes no
front-end header, so the scan's tests run without any window code.

The link already refuses an upward library (cmake/Layers.cmake); this catches
a header taken from a layer above, which compiles silently when only inline
code or declarations are used. The detection layer also takes no Windows
header, since the fuzz build compiles it natively.

    check-layers.py SOURCE_ROOT [FILE...]
Without files, every product source is checked. Exits 1 on any violation.
"""
import os
import re
import sys

# The folders each product folder may include from (its own always).
ALLOWED = {
    "detect": {"detect"},
    "platform": {"detect", "platform"},
    "scan": {"detect", "platform", "scan"},
    "framework": {"framework"},
    "ui": {"detect", "platform", "scan", "framework", "ui", "res"},
    "cli": {"detect", "platform", "scan", "cli"},
    "app": {"framework", "ui", "app", "res", "scan"},
}
# Test folders below the front ends: the product folders each may include
# from, besides the tests' own. The platform's kill tests reach its methods
# through the scan's dispatcher, which picks one by platform.
BELOW_FRONT_ENDS = {"detect", "platform", "scan"}
TESTS_ALLOWED = {
    "tests/detect": {"detect"},
    "tests/fuzz": {"detect"},
    "tests/platform": BELOW_FRONT_ENDS,
    "tests/scan": BELOW_FRONT_ENDS,
    "tests/support": BELOW_FRONT_ENDS,
    "tests/foundation": BELOW_FRONT_ENDS,
}
# Deliberate violations that the checks' own tests plant.
PLANTED = ("tests/foundation/upward_include/", "tests/foundation/upward_link/")
WINDOWS_HEADERS = {"windows.h", "winreg.h", "winsvc.h", "tlhelp32.h", "psapi.h", "shellapi.h", "winbase.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def violations(root, path):
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    layer = rel.split("/", 1)[0]
    allowed = ALLOWED.get(layer)
    if layer == "tests":
        layer = "/".join(rel.split("/", 2)[:2])
        allowed = TESTS_ALLOWED.get(layer)
        if allowed is not None:
            allowed = allowed | {"tests"}
    if allowed is None:
        return []
    found = []
    with open(path, encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, header = match.groups()
            if kind == '"' and "/" in header:
                target = header.split("/", 1)[0]
                if target not in allowed:
                    found.append(f"{rel}:{number}: {layer}/ includes {header}")
            elif kind == "<" and layer == "detect" and header.lower() in WINDOWS_HEADERS:
                found.append(f"{rel}:{number}: detect/ includes the Windows header <{header}>")
    return found


def product_files(root):
    for layer in sorted(ALLOWED):
        folder = os.path.join(root, layer)
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            if name.endswith((".cpp", ".h", ".rc")):
                yield os.path.join(folder, name)
    for tests in sorted(TESTS_ALLOWED):
        for folder, dirs, names in os.walk(os.path.join(root, tests)):
            dirs.sort()
            for name in sorted(names):
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                if name.endswith((".cpp", ".h", ".rc")) and not rel.startswith(PLANTED):
                    yield path


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    files = [os.path.abspath(f) for f in argv[2:]] or list(product_files(root))
    problems = [v for f in files for v in violations(root, f)]
    for problem in problems:
        print(problem)
    print(f"{len(files)} files checked, {len(problems)} includes across the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
