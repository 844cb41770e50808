"""The package index's authenticated envelope, shared by the server, the
client helpers and the tests.

A sealed payload is base64(payload) "." hex(HMAC-SHA256(key, base64 text));
the request signature is hex(HMAC-SHA256(key, body)). Both use the
application key's ASCII bytes as the HMAC key.
"""

import base64
import binascii
import hashlib
import hmac

APP_ID = "10001061"
APP_KEY = "7d2e94b1c0a85f63e19b4d07a2c6f358"

_MAC_HEX_LEN = 64


def sign(body, key=APP_KEY):
    """Hex HMAC-SHA256 of a request body, as carried in X-Vek-Sign."""
    return hmac.new(key.encode("ascii"), body, hashlib.sha256).hexdigest()


def signature_ok(body, given, key=APP_KEY):
    return hmac.compare_digest(sign(body, key), given.strip().lower())


def seal(payload, key=APP_KEY):
    """Seals payload bytes (or text) into the "data" string."""
    if isinstance(payload, str):
        payload = payload.encode("utf-8")
    text = base64.b64encode(payload).decode("ascii")
    mac = hmac.new(key.encode("ascii"), text.encode("ascii"), hashlib.sha256)
    return text + "." + mac.hexdigest()


def unseal(data, key=APP_KEY):
    """Returns the payload bytes, or None when data is not a genuine seal."""
    if not isinstance(data, str):
        return None
    text, dot, mac = data.rpartition(".")
    if not dot or not text or len(mac) != _MAC_HEX_LEN:
        return None
    try:
        raw = text.encode("ascii")
    except UnicodeEncodeError:
        return None
    want = hmac.new(key.encode("ascii"), raw, hashlib.sha256).hexdigest()
    if not hmac.compare_digest(want, mac.lower()):
        return None
    try:
        return base64.b64decode(raw, validate=True)
    except (binascii.Error, ValueError):
        return None


def tamper(data, mode="payload"):
    """Returns a seal altered so that it no longer verifies: one Base64
    character of the payload changed ("payload") or one MAC digit ("mac")."""
    text, _, mac = data.rpartition(".")
    if mode == "mac":
        flipped = "0" if mac[0] != "0" else "1"
        return text + "." + flipped + mac[1:]
    # Change the first character to another letter of the Base64 alphabet,
    # so the text still decodes and only the MAC gives it away.
    flipped = "B" if text[0] != "B" else "C"
    return flipped + text[1:] + "." + mac
