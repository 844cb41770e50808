#!/usr/bin/python3
"""The maker's release signing: key pairs, signed release statements, and
their check. Debian's python3-nacl (libsodium's binding), run with
/usr/bin/python3.

A release statement names exactly the setup program the installer may
start; its format is defined in base/release_statement.h (the installer's
parser) and mirrored here:

    pelmar-release=1
    product=morvantile
    version=1.0.0.1
    size=1048577
    sha256=<64 lower-case hex>
    signed=<Unix seconds>
    expires=<Unix seconds>

seven "key=value" lines in this order, each ended by LF. The maker's Ed25519
key signs exactly these bytes. The detached form ("<file>.sig", served
beside the download and read by the backend for the package record) is the
statement followed by one line "signature=<128 lower-case hex>".

    releases.py keygen OUT_PREFIX [--label NAME]
        writes OUT_PREFIX.secret (the 32-byte seed, hex; keep it offline)
        and OUT_PREFIX.pub (the public key line a build pins)
    releases.py sign --key SECRET FILE [--version V] [--product P]
                     [--days N] [--signed-at T] [--expires T] [--out SIG]
        reads the setup program FILE and writes FILE.sig
    releases.py verify --keys PUBFILE FILE [--sig SIG] [--now T]
        checks FILE.sig against FILE and the keys; exit 0 when valid
"""

import argparse
import hashlib
import os
import re
import sys
import time

import nacl.exceptions
import nacl.signing

HERE = os.path.dirname(os.path.abspath(__file__))
KEYS_DIR = os.path.join(HERE, "keys")
# The development key pair: for the demo, the backend and the tests only.
# A release build refuses to pin its public key (see cmake/maker_keys.cmake).
DEVELOPMENT_SECRET = os.path.join(KEYS_DIR, "DEVELOPMENT-ONLY-maker.secret")
DEVELOPMENT_PUBLIC = os.path.join(KEYS_DIR, "DEVELOPMENT-ONLY-maker.pub")

PRODUCT = "morvantile"
FORMAT_VERSION = 1
KEYS = ("pelmar-release", "product", "version", "size", "sha256", "signed", "expires")
MAX_STATEMENT_BYTES = 512
MAX_PRODUCT_BYTES = 32
MAX_VERSION_PARTS = 4
MAX_VERSION_PART = 65535
MAX_SIZE = 1 << 32
MAX_TIME = 9999999999
MAX_VALIDITY_SECONDS = 400 * 24 * 3600
DEFAULT_VALIDITY_DAYS = 90
SIGNATURE_KEY = "signature="

_COUNT = re.compile(r"^[1-9][0-9]{0,9}$")
_PRODUCT = re.compile(r"^[A-Za-z0-9._-]{1,%d}$" % MAX_PRODUCT_BYTES)
_HEX64 = re.compile(r"^[0-9a-f]{64}$")
_HEX128 = re.compile(r"^[0-9a-f]{128}$")


class ReleaseError(ValueError):
    pass


# -- statements ----------------------------------------------------------

def version_parts(text):
    """The parts of a dotted decimal version, or None."""
    parts = text.split(".")
    if not 1 <= len(parts) <= MAX_VERSION_PARTS:
        return None
    out = []
    for p in parts:
        if not re.match(r"^(0|[1-9][0-9]{0,4})$", p) or int(p) > MAX_VERSION_PART:
            return None
        out.append(int(p))
    return out


def format_statement(product, version, size, sha256_hex, signed, expires):
    """The statement's exact bytes; raises ReleaseError for values outside
    the format (the installer would refuse them)."""
    fields = [str(FORMAT_VERSION), product, version, str(size), sha256_hex, str(signed), str(expires)]
    text = "".join("%s=%s\n" % (k, v) for k, v in zip(KEYS, fields))
    parse_statement(text.encode("ascii"))
    return text.encode("ascii")


def parse_statement(data):
    """The statement as a dict; raises ReleaseError as the installer's
    parser refuses (same rules, same order)."""
    if len(data) > MAX_STATEMENT_BYTES:
        raise ReleaseError("statement too long")
    if not data.endswith(b"\n") or any(b != 0x0A and not 0x20 <= b <= 0x7E for b in data):
        raise ReleaseError("bad line")
    lines = data.decode("ascii").split("\n")[:-1]
    values = {}
    for i, line in enumerate(lines):
        key, eq, value = line.partition("=")
        if not eq or not key:
            raise ReleaseError("bad line")
        if key not in KEYS:
            raise ReleaseError("unknown key %r" % key)
        if key in values:
            raise ReleaseError("duplicate key %r" % key)
        if i >= len(KEYS) or KEYS[i] != key:
            raise ReleaseError("key %r out of order" % key)
        values[key] = value
    if len(values) != len(KEYS):
        raise ReleaseError("missing key")
    if values["pelmar-release"] != "1":
        raise ReleaseError("bad format version")
    if not _PRODUCT.match(values["product"]):
        raise ReleaseError("bad product")
    if version_parts(values["version"]) is None:
        raise ReleaseError("bad version")
    for key, limit in (("size", MAX_SIZE), ("signed", MAX_TIME), ("expires", MAX_TIME)):
        if not _COUNT.match(values[key]) or int(values[key]) > limit:
            raise ReleaseError("bad %s" % key)
    if not _HEX64.match(values["sha256"]):
        raise ReleaseError("bad sha256")
    signed, expires = int(values["signed"]), int(values["expires"])
    if not signed < expires <= signed + MAX_VALIDITY_SECONDS:
        raise ReleaseError("bad expiry")
    return {
        "product": values["product"],
        "version": values["version"],
        "size": int(values["size"]),
        "sha256": values["sha256"],
        "signed": signed,
        "expires": expires,
    }


def split_detached(data):
    """(statement bytes, signature hex) of the detached form."""
    if len(data) > MAX_STATEMENT_BYTES + 139 or len(data) < 139:
        raise ReleaseError("not a detached release")
    statement, last = data[:-139], data[-139:].decode("ascii", "replace")
    if not last.startswith(SIGNATURE_KEY) or not last.endswith("\n") or (statement and not statement.endswith(b"\n")):
        raise ReleaseError("no signature line")
    sig = last[len(SIGNATURE_KEY):-1]
    if not _HEX128.match(sig):
        raise ReleaseError("bad signature text")
    return statement, sig


def join_detached(statement, signature_hex):
    return statement + (SIGNATURE_KEY + signature_hex + "\n").encode("ascii")


# -- keys ------------------------------------------------------------------

def read_secret(path):
    with open(path, encoding="ascii") as f:
        text = "".join(line for line in f if not line.startswith("#")).strip()
    if not _HEX64.match(text):
        raise ReleaseError("%s: not a 64-hex-digit seed" % path)
    return nacl.signing.SigningKey(bytes.fromhex(text))


def read_public_keys(path):
    """[(hex, label)] of a key file: one key per line, 64 lower-case hex
    digits and an optional label; '#' lines are comments."""
    keys = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            key, _, label = line.partition(" ")
            if not _HEX64.match(key):
                raise ReleaseError("%s:%d: not a public key" % (path, number))
            keys.append((key, label.strip()))
    if not 1 <= len(keys) <= 2:
        raise ReleaseError("%s: holds %d keys (a build pins one or two)" % (path, len(keys)))
    return keys


def keygen(prefix, label):
    key = nacl.signing.SigningKey.generate()
    public = key.verify_key.encode().hex()
    fd = os.open(prefix + ".secret", os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "w", encoding="ascii") as f:
        f.write("# Ed25519 seed of the maker key %r. Keep it offline; whoever has it can\n"
                "# make every installer that pins its public key start any program.\n" % label)
        f.write(key.encode().hex() + "\n")
    with open(prefix + ".pub", "x", encoding="ascii") as f:
        f.write("# Maker public key %r: pin it with -DPELMAR_MAKER_KEYS_FILE=<this file>\n" % label)
        f.write("%s %s\n" % (public, label))
    return public


# -- signing and checking ------------------------------------------------

def file_digest(path):
    digest = hashlib.sha256()
    size = 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                break
            digest.update(chunk)
            size += len(chunk)
    return size, digest.hexdigest()


def sign_statement(key, statement):
    """The signature hex of statement bytes."""
    return key.sign(statement).signature.hex()


def make_release(key, size, sha256_hex, version, product=PRODUCT, signed=None, expires=None,
                 days=DEFAULT_VALIDITY_DAYS):
    """(statement bytes, signature hex) for bytes of that size and digest."""
    signed = int(time.time()) if signed is None else int(signed)
    expires = signed + int(days * 86400) if expires is None else int(expires)
    statement = format_statement(product, version, size, sha256_hex, signed, expires)
    return statement, sign_statement(key, statement)


def sign_file(key, path, version, product=PRODUCT, signed=None, expires=None,
              days=DEFAULT_VALIDITY_DAYS, out=None):
    """Writes the detached release of the setup program at path (path +
    ".sig" unless out says otherwise) and returns (statement, signature)."""
    size, sha = file_digest(path)
    statement, sig = make_release(key, size, sha, version, product, signed, expires, days)
    out = out or path + ".sig"
    tmp = out + ".tmp"
    with open(tmp, "wb") as f:
        f.write(join_detached(statement, sig))
    os.replace(tmp, out)
    return statement, sig


def check_release(statement, signature_hex, public_hexes, product=PRODUCT, now=None, size=None,
                  sha256_hex=None):
    """Raises ReleaseError as the installer refuses; returns the statement."""
    fields = parse_statement(statement)
    if not _HEX128.match(signature_hex or ""):
        raise ReleaseError("malformed signature")
    signature = bytes.fromhex(signature_hex)
    for public in public_hexes:
        try:
            nacl.signing.VerifyKey(bytes.fromhex(public)).verify(statement, signature)
            break
        except nacl.exceptions.BadSignatureError:
            continue
    else:
        raise ReleaseError("bad signature")
    if fields["product"] != product:
        raise ReleaseError("other product")
    if (int(time.time()) if now is None else now) >= fields["expires"]:
        raise ReleaseError("expired")
    if size is not None and size != fields["size"]:
        raise ReleaseError("size mismatch")
    if sha256_hex is not None and sha256_hex != fields["sha256"]:
        raise ReleaseError("sha256 mismatch")
    return fields


def development_key():
    return read_secret(DEVELOPMENT_SECRET)


# -- command line --------------------------------------------------------

def main(argv):
    parser = argparse.ArgumentParser(description="The maker's release signing.")
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("keygen", help="make a key pair")
    p.add_argument("prefix")
    p.add_argument("--label", default="maker")
    p = sub.add_parser("sign", help="sign a setup program")
    p.add_argument("file")
    p.add_argument("--key", default=DEVELOPMENT_SECRET, help="the secret key file (default: the development key)")
    p.add_argument("--version", required=True)
    p.add_argument("--product", default=PRODUCT)
    p.add_argument("--days", type=float, default=DEFAULT_VALIDITY_DAYS, help="validity in days")
    p.add_argument("--signed-at", type=int)
    p.add_argument("--expires", type=int)
    p.add_argument("--out")
    p = sub.add_parser("verify", help="check a signed setup program")
    p.add_argument("file")
    p.add_argument("--keys", default=DEVELOPMENT_PUBLIC, help="the public key file (one or two keys)")
    p.add_argument("--sig")
    p.add_argument("--product", default=PRODUCT)
    p.add_argument("--now", type=int)
    args = parser.parse_args(argv)
    try:
        if args.command == "keygen":
            public = keygen(args.prefix, args.label)
            print("%s.secret %s.pub %s" % (args.prefix, args.prefix, public))
        elif args.command == "sign":
            statement, sig = sign_file(read_secret(args.key), args.file, args.version, args.product,
                                       args.signed_at, args.expires, args.days, args.out)
            sys.stdout.write(statement.decode("ascii"))
            print("signature=" + sig)
            print("written: " + (args.out or args.file + ".sig"))
        else:
            with open(args.sig or args.file + ".sig", "rb") as f:
                statement, sig = split_detached(f.read())
            size, sha = file_digest(args.file)
            keys = [k for k, _ in read_public_keys(args.keys)]
            fields = check_release(statement, sig, keys, args.product, args.now, size, sha)
            print("valid: %s %s, %d bytes, expires %s" % (
                fields["product"], fields["version"], fields["size"],
                time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(fields["expires"]))))
    except (OSError, ReleaseError) as e:
        print("releases.py: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
