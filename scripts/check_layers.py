#!/usr/bin/python3
"""Fails when a C++ file includes a folder its layer may not use.

The folders are layers: each may include its own folder and the ones below
it, never one above; a lower layer is handed a small interface instead (the
event sink, the settings it is given). Run by ./x test; prints every include
against the table with file and line and exits 1, else one summary line.

    check_layers.py [source root]
"""

import os
import re
import sys

# Bottom to top. A layer may include itself and everything before it.
LAYERS = ["base", "net", "services", "download", "ui", "pages", "app"]

# Folders outside the stack, and what they may include.
APART = {
    # The service SDK stands alone: the installer shares only its C interface.
    "sdk": {"sdk"},
    # The demo product is a program of its own.
    "demo": {"demo", "base"},
    # Shared test fixtures (loopback servers, scratch folders).
    "tests": {"tests", "base", "net"},
    # Benchmarks drive the layers from outside.
    "bench": {"bench", "base", "net", "services", "download"},
}

# Single headers a layer may include although their folder is not below it.
EXTRA_HEADERS = {
    # The SDK's C interface, which the binding loads.
    "services": {"sdk/vek_api.h"},
}

# Folders a layer may not include although they are below it. Widgets only
# show: what they draw is fetched and decoded in services/ and handed to
# them through an interface in base/.
FORBIDDEN = {
    "ui": {"services"},
}

# Single headers a layer may not include although their folder is below it.
# Pages report through the narrow interfaces their context hands them, never
# through the logger itself.
FORBIDDEN_HEADERS = {
    "pages": {"services/logger_server.h"},
}

# Test sources may also use these folders: the readers' and the controller's
# tests seal records with the SDK's own core, and the SDK's runtime tests
# drive it through the installer's binding.
TEST_EXTRA = {
    "services": {"sdk"},
    "download": {"sdk"},
    "app": {"sdk"},
    "sdk": {"base", "net", "services"},
}

SOURCE_SUFFIXES = (".h", ".cpp", ".c", ".rc", ".rc.in")
SKIPPED_DIRS = {".git", ".wine", ".run", "build", "node_modules"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
TEST_NAME = re.compile(r"(_test(_[a-z0-9_]+)?\.(cpp|h)$|_tests?_main\.cpp$|test_support|test_fixture"
                       r"|_probe(_win)?\.cpp$)")


def allowed_for(folder):
    if folder in LAYERS:
        return set(LAYERS[: LAYERS.index(folder) + 1]) - FORBIDDEN.get(folder, set())
    return APART.get(folder)


def is_test_source(relative):
    parts = relative.split("/")
    return bool(TEST_NAME.search(parts[-1])) or "testdata" in parts or "testing" in parts


def check_file(root, relative, known):
    folder = relative.split("/")[0]
    allowed = allowed_for(folder)
    if allowed is None:
        return []
    allowed = set(allowed)
    if is_test_source(relative):
        allowed |= TEST_EXTRA.get(folder, set())
    problems = []
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            target_folder = target.split("/")[0] if "/" in target else None
            if target in FORBIDDEN_HEADERS.get(folder, set()):
                problems.append(f"{relative}:{number}: includes \"{target}\", which {folder}/ may "
                                f"not include")
                continue
            if target_folder not in known or target_folder in allowed:
                continue
            if target in EXTRA_HEADERS.get(folder, set()):
                continue
            problems.append(f"{relative}:{number}: includes \"{target}\", but {folder}/ may include "
                            f"only {', '.join(sorted(allowed))}")
    return problems


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    known = set(LAYERS) | set(APART)
    checked = 0
    problems = []
    for directory, subdirs, files in os.walk(root):
        subdirs[:] = sorted(d for d in subdirs if d not in SKIPPED_DIRS)
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            relative = os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/")
            if relative.split("/")[0] not in known:
                continue
            checked += 1
            problems += check_file(root, relative, known)
    for p in problems:
        print(f"layers: {p}")
    if problems:
        print(f"layers: {len(problems)} include(s) against the layer table in {checked} files")
        return 1
    print(f"layers: {checked} files, every include follows the layer table")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
