#!/usr/bin/env python3
"""Sizes of a Windows program's parts: each section, and each resource of its
resource section (type/name: bytes), read from the file's own headers.

    pe_sizes.py FILE...      one block per file
"""
import os
import struct
import sys

# Resource types by number, as the resource scripts name them.
RESOURCE_TYPES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING",
                  10: "RCDATA", 12: "GROUP_CURSOR", 14: "GROUP_ICON", 16: "VERSION",
                  24: "MANIFEST"}


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not a Windows program (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
        table = pe + 24 + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), vsize, vaddr,
                                  rsize, raddr))

    def section(self, name):
        return next((s for s in self.sections if s[0] == name), None)

    def resources(self):
        """(type, name, size) of every resource."""
        rsrc = self.section(".rsrc")
        if rsrc is None:
            return []
        _, _, vaddr, _, raddr = rsrc
        out = []

        def label(entry_name, is_type):
            if entry_name & 0x80000000:
                offset = raddr + (entry_name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, offset)[0]
                return self.data[offset + 2:offset + 2 + 2 * length].decode("utf-16-le")
            if is_type:
                return RESOURCE_TYPES.get(entry_name, str(entry_name))
            return str(entry_name)

        def walk(offset, depth, path):
            named, numbered = struct.unpack_from("<12xHH", self.data, raddr + offset)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, raddr + offset + 16 + 8 * i)
                here = path + [label(name, depth == 0)] if depth < 2 else path
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, depth + 1, here)
                else:
                    data_rva, size = struct.unpack_from("<II", self.data, raddr + target)
                    out.append((here[0], here[1] if len(here) > 1 else "", size))

        walk(0, 0, [])
        return out


def report(path):
    with open(path, "rb") as f:
        pe = PeFile(f.read())
    print(f"{os.path.basename(path)}: {os.path.getsize(path):,} bytes")
    for name, vsize, _, rsize, _ in pe.sections:
        print(f"  section {name:<9} {rsize:>10,} bytes in the file")
    for kind, name, size in pe.resources():
        print(f"  resource {kind}/{name:<14} {size:>10,} bytes")


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    status = 0
    for path in argv[1:]:
        try:
            report(path)
        except (OSError, ValueError, struct.error) as e:
            print(f"{path}: {e}", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
