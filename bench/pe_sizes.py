#!/usr/bin/env python3
"""Sizes of a Windows program's parts: each section, each resource of its
resource section (type/name: bytes) and, for a resource that is a ZIP
archive, each entry packed and unpacked, read from the file's own headers.

    pe_sizes.py FILE...           one block per file
    pe_sizes.py --table FILE...   one column per file, a row per part
"""
import io
import os
import struct
import sys
import zipfile

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
        """(type, name, size, data) of every resource."""
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
                    at = raddr + data_rva - vaddr
                    out.append((here[0], here[1] if len(here) > 1 else "", size,
                                self.data[at:at + size]))

        walk(0, 0, [])
        return out


# What each section holds, for the table's first column.
SECTION_NAMES = {".text": "code", ".eh_fram": "unwind tables", ".eh_frame": "unwind tables",
                 ".pdata": "unwind tables", ".xdata": "unwind tables", ".rdata": "read-only data",
                 ".data": "data", ".idata": "imports", ".edata": "exports", ".reloc": "relocations",
                 ".rsrc": "resources", ".tls": "thread-local data", ".CRT": "C runtime tables"}


def zip_entries(data):
    """(name, packed, unpacked) of each entry when `data` is a ZIP archive."""
    if data[:4] != b"PK\3\4":
        return []
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            return [(i.filename, i.compress_size, i.file_size) for i in z.infolist()]
    except zipfile.BadZipFile:
        return []


def parts(path):
    """[(row label, bytes)] of one file, in file order."""
    with open(path, "rb") as f:
        pe = PeFile(f.read())
    rows = [("file", os.path.getsize(path))]
    for name, _, _, rsize, _ in pe.sections:
        if rsize:
            rows.append((f"{SECTION_NAMES.get(name, name)} ({name})", rsize))
    for kind, name, size, data in pe.resources():
        rows.append((f"  resource {kind}/{name}", size))
        for entry, packed, unpacked in zip_entries(data):
            rows.append((f"    {entry} packed (unpacked {unpacked:,})", packed))
    return rows


def report(path):
    print(f"{os.path.basename(path)}:")
    for label, size in parts(path):
        print(f"  {label:<44} {size:>10,}")


def table(paths):
    columns = [dict(parts(p)) for p in paths]
    labels = []
    for p in paths:
        for label, _ in parts(p):
            if label not in labels:
                labels.append(label)
    width = max(len(label) for label in labels)
    names = [os.path.basename(p) for p in paths]
    cell = max(12, *(len(n) for n in names))
    print(f"{'bytes':<{width}} " + " ".join(f"{n:>{cell}}" for n in names))
    for label in labels:
        print(f"{label:<{width}} " +
              " ".join(f"{c[label]:>{cell},}" if label in c else f"{'-':>{cell}}" for c in columns))


def main(argv):
    args = argv[1:]
    as_table = bool(args) and args[0] == "--table"
    if as_table:
        args = args[1:]
    if not args:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        if as_table:
            table(args)
        else:
            for path in args:
                report(path)
    except (OSError, ValueError, struct.error) as e:
        print(f"pe_sizes: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
