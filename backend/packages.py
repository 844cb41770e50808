"""Package files served by the backend: discovery, digests, the sidecar
records, and deterministic pseudo-random packages for tests and benchmarks.

Layout of the data folder:
    <data>/packages/<file>          the package bytes
    <data>/packages/<file>.json     optional sidecar (version, sizes, urls...)
    <data>/packages/<file>.sig      optional signed release statement (releases.py sign)

Run as a program to create a package:
    /usr/bin/python3 backend/packages.py DATA_DIR SIZE [--name N] [--version V] [--seed S]
"""

import argparse
import hashlib
import json
import os
import sys
import threading

DEFAULT_NAME = "install.exe"
DEFAULT_VERSION = "1.0.0.1"
DEFAULT_ORIGIN_SIZE = 261485343
# The generator works in blocks so a package of any size needs little memory.
_BLOCK = 1 << 20
_READ_CHUNK = 1 << 20


def package_dir(data_dir):
    return os.path.join(data_dir, "packages")


def generate_block(seed, index, length):
    """Block index of the pseudo-random stream named by seed: SHAKE-256 of
    "pelmar-package:<seed>:<index>", so every byte is reproducible anywhere."""
    tag = "pelmar-package:%s:%d" % (seed, index)
    return hashlib.shake_256(tag.encode("utf-8")).digest(length)


def make_package(data_dir, size, name=DEFAULT_NAME, version=DEFAULT_VERSION, seed="morvantile", sidecar=None):
    """Writes a package of size bytes and its sidecar; returns the path."""
    if size < 0:
        raise ValueError("package size must not be negative")
    folder = package_dir(data_dir)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    tmp = path + ".part"
    with open(tmp, "wb") as out:
        index = 0
        left = size
        while left > 0:
            n = min(_BLOCK, left)
            out.write(generate_block(seed, index, n))
            left -= n
            index += 1
    os.replace(tmp, path)
    record = {"package_name": os.path.splitext(name)[0], "version": version, "origin_size": DEFAULT_ORIGIN_SIZE}
    if sidecar:
        record.update(sidecar)
    with open(path + ".json", "w", encoding="utf-8") as out:
        json.dump(record, out, indent=2, sort_keys=True)
    return path


def file_md5(path):
    return file_digests(path)[0]


def file_digests(path):
    """(MD5 hex, SHA-256 hex) of a file, read once."""
    md5 = hashlib.md5()
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            chunk = f.read(_READ_CHUNK)
            if not chunk:
                break
            md5.update(chunk)
            sha.update(chunk)
    return md5.hexdigest(), sha.hexdigest()


class Package:
    """One package file and what its sidecar says about it."""

    def __init__(self, name, path, size, md5, sidecar, sha256=None, mtime_ns=0):
        self.name = name
        self.path = path
        self.size = size
        self.real_md5 = md5
        self.sha256 = sha256
        self.mtime_ns = mtime_ns
        self.sidecar = sidecar

    def signed_release(self):
        """The maker's detached release beside the file (<file>.sig, as
        releases.py sign writes it), or None."""
        try:
            with open(self.path + ".sig", "rb") as f:
                return f.read(4096)
        except OSError:
            return None

    @property
    def md5(self):
        # A sidecar may state another digest on purpose (a record that does
        # not match the served bytes).
        return self.sidecar.get("md5", self.real_md5)

    @property
    def version(self):
        return str(self.sidecar.get("version", DEFAULT_VERSION))

    @property
    def package_name(self):
        return str(self.sidecar.get("package_name", os.path.splitext(self.name)[0]))

    @property
    def origin_size(self):
        return self.sidecar.get("origin_size", DEFAULT_ORIGIN_SIZE)

    def describe(self):
        return {
            "name": self.name,
            "size": self.size,
            "md5": self.md5,
            "real_md5": self.real_md5,
            "version": self.version,
            "package_name": self.package_name,
            "origin_size": self.origin_size,
            "current": bool(self.sidecar.get("current", False)),
        }


class PackageStore:
    """Scans the package folder on every use (cheap) and keeps digests by
    (name, size, mtime) so a replaced file is digested again."""

    def __init__(self, data_dir):
        self.folder = package_dir(data_dir)
        self._lock = threading.Lock()
        self._md5_cache = {}

    def _sidecar(self, path):
        try:
            with open(path + ".json", encoding="utf-8") as f:
                value = json.load(f)
            return value if isinstance(value, dict) else {}
        except (OSError, ValueError):
            return {}

    def list(self):
        try:
            names = sorted(os.listdir(self.folder))
        except OSError:
            return []
        result = []
        for name in names:
            if name.endswith((".json", ".part", ".sig", ".tmp")) or name.startswith("."):
                continue
            path = os.path.join(self.folder, name)
            try:
                st = os.stat(path)
            except OSError:
                continue
            if not os.path.isfile(path):
                continue
            key = (name, st.st_size, st.st_mtime_ns)
            with self._lock:
                digests = self._md5_cache.get(key)
            if digests is None:
                digests = file_digests(path)
                with self._lock:
                    self._md5_cache[key] = digests
            result.append(Package(name, path, st.st_size, digests[0], self._sidecar(path), digests[1],
                                  st.st_mtime_ns))
        return result

    def get(self, name):
        for p in self.list():
            if p.name == name:
                return p
        return None

    def current(self):
        """The package the index announces: the one whose sidecar says
        "current": true, else the first by name."""
        found = self.list()
        for p in found:
            if p.sidecar.get("current"):
                return p
        return found[0] if found else None


def main(argv):
    parser = argparse.ArgumentParser(description="Create a deterministic pseudo-random package.")
    parser.add_argument("data_dir")
    parser.add_argument("size", type=int)
    parser.add_argument("--name", default=DEFAULT_NAME)
    parser.add_argument("--version", default=DEFAULT_VERSION)
    parser.add_argument("--seed", default="morvantile")
    args = parser.parse_args(argv)
    path = make_package(args.data_dir, args.size, args.name, args.version, args.seed)
    print("%s %d %s" % (path, args.size, file_md5(path)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
