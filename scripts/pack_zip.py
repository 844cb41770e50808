#!/usr/bin/python3
"""Packs files into a ZIP archive for the installer's resources: entries at
the archive's root in the order given, each deflated at the highest level
zlib offers (the installer's unzip reads deflate and nothing stronger), with
a fixed time so that the archive's bytes are the same from build to build.

    pack_zip.py ARCHIVE FILE...
"""
import os
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def pack(archive, files):
    temp = archive + ".part"
    with zipfile.ZipFile(temp, "w") as out:
        for path in files:
            entry = zipfile.ZipInfo(os.path.basename(path), FIXED_TIME)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            with open(path, "rb") as f:
                out.writestr(entry, f.read(), compresslevel=9)
    os.replace(temp, archive)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        pack(argv[1], argv[2:])
    except OSError as e:
        print(f"pack_zip: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
