#!/usr/bin/python3
"""Development server playing every maker server the installer talks to:
package index, channel record, installer configuration and its GIF,
attribution, CDN with byte ranges, analytics collector, and the control
endpoints tests use to inspect traffic and switch faults on.

Standard library and python3-nacl (release signatures); loopback only. See
README.md beside this file.
"""

import argparse
import email.errors
import email.utils
import gzip
import hashlib
import ipaddress
import json
import os
import signal
import socket
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import nacl.signing

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import faults  # noqa: E402
import packages  # noqa: E402
import releases  # noqa: E402
import sealing  # noqa: E402
import tiny_gif  # noqa: E402

INDEX_PATH = "/installer/package/index"
INDEX_PREFIX = "/v1.1"
CHANNEL_PATH = "/applicationService/channel/welcome"
CONFIG_PATH = "/applicationService/app/installerConfig"
TESSEL_PATH = "/v1/install/tessel"
BUILTIN_CDN_PATH = "/application/soft_package/pc/10001061/software/install.exe"
CDN_PREFIXES = ("/cdn/", "/mirror/")
REDIRECT_PREFIX = "/redirect/"
GIF_PATH = "/static/banner.gif"
SENSOR_PREFIX = "/sa"

# Request limits: a request line or header line longer than this is refused
# (the installer's lines are short); bodies are bounded so a broken client
# cannot exhaust memory, yet an analytics batch of a long offline spell fits.
MAX_LINE = 65536
MAX_BODY = 32 << 20
MAX_INFLATED = 64 << 20
# The request log keeps the first bytes of each body for tests to read, and
# at most this many entries (oldest dropped first).
LOG_BODY_BYTES = 16384
MAX_LOG_ENTRIES = 20000
# Idle keep-alive connections are closed after this long.
IDLE_TIMEOUT = 30
FILE_CHUNK = 65536
# Bounds of the generated banner so a query cannot ask for a huge picture.
MAX_GIF_SIDE = 1200
MAX_GIF_FRAMES = 16
# A package without a signed release of its own (<file>.sig) is signed on
# the fly with the backend's signing key, valid this long from its digest.
AUTO_SIGN_DAYS = 30
SIG_SUFFIX = ".sig"



def html_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("'", "&#39;").replace('"', "&quot;")

class _Dropped(Exception):
    """Raised to cut the connection on purpose."""


class _HeadTee:
    """Wraps the request reader while the header is parsed and keeps every
    line, so the log can show the request head byte for byte."""

    def __init__(self, real, sink):
        self._real = real
        self._sink = sink

    def readline(self, limit=-1):
        line = self._real.readline(limit)
        self._sink += line
        return line

    def __getattr__(self, name):
        return getattr(self._real, name)


class State:
    """Everything the listeners share. Handler threads take `lock` for the
    logs, the records and the counters; the fault table and the package
    store have their own locks."""

    def __init__(self, args):
        self.data_dir = args.data
        self.key = args.key
        self.public_base = args.public_base.rstrip("/") if args.public_base else None
        self.default_pace = args.pace
        self.verbose = args.verbose
        self.store = packages.PackageStore(args.data)
        self.faults = faults.FaultTable(args.startup_faults)
        # The maker's signing key for packages without a signed release of
        # their own (None: such packages are served unsigned), and a key no
        # installer pins, for forged statements.
        self.sign_key = args.sign_key_value
        self.forger = nacl.signing.SigningKey.generate()
        self._release_cache = {}
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.listeners = []
        self._gif_cache = {}
        self.clear_logs()

    def clear_logs(self):
        with self.lock:
            self.requests = []
            self.request_seq = 0
            self.records = []
            self.seen_uids = set()
            self.duplicates = 0
            self.invalid_lines = 0
            self.batches = 0
            self.tessel = []

    def log_request(self, entry):
        with self.lock:
            self.request_seq += 1
            entry["seq"] = self.request_seq
            self.requests.append(entry)
            if len(self.requests) > MAX_LOG_ENTRIES:
                del self.requests[: len(self.requests) - MAX_LOG_ENTRIES]
        return entry

    def update_entry(self, entry, **values):
        with self.lock:
            entry.update(values)

    def gif(self, width, height, frames, delay):
        key = (width, height, frames, delay)
        with self.lock:
            data = self._gif_cache.get(key)
        if data is None:
            data = tiny_gif.banner_gif(width, height, frames, delay)
            with self.lock:
                self._gif_cache[key] = data
        return data

    def package_release(self, pkg):
        """(statement bytes, signature hex) the maker published for pkg: its
        <file>.sig, else one signed now with the signing key; None when it
        has none (or its version cannot be stated)."""
        explicit = pkg.signed_release()
        if explicit is not None:
            try:
                return releases.split_detached(explicit)
            except releases.ReleaseError:
                return None
        if self.sign_key is None:
            return None
        key = (pkg.name, pkg.size, pkg.mtime_ns, pkg.version, pkg.sha256)
        with self.lock:
            cached = self._release_cache.get(key)
        if cached is None:
            try:
                cached = releases.make_release(self.sign_key, pkg.size, pkg.sha256, pkg.version,
                                               signed=int(time.time()) - 60, days=AUTO_SIGN_DAYS)
            except releases.ReleaseError:
                return None
            with self.lock:
                self._release_cache[key] = cached
        return cached

    def served_release(self, pkg, plan):
        """The release as served under the request's faults, or None."""
        release = self.package_release(pkg)
        rule = plan.get("release")
        if not rule:
            return release
        mode = rule["mode"]
        if mode == "missing":
            return None
        key = self.sign_key or releases.development_key()
        now = int(time.time())
        version, size, sha = pkg.version, pkg.size, pkg.sha256
        if mode == "forged":
            # The genuine text, signed by a key no installer pins.
            statement = release[0] if release else releases.make_release(key, size, sha, version)[0]
            return statement, releases.sign_statement(self.forger, statement)
        if mode == "expired":
            return releases.make_release(key, size, sha, version, signed=now - 40 * 86400,
                                         expires=now - 10 * 86400)
        if mode == "older":
            return releases.make_release(key, size, sha, rule["version"])
        if mode == "other_bytes":
            other = hashlib.sha256(b"other bytes:" + sha.encode("ascii")).hexdigest()
            return releases.make_release(key, size, other, version)
        if mode == "wrong_size":
            return releases.make_release(key, size + 1, sha, version)
        if mode == "other_product":
            return releases.make_release(key, size, sha, version, product=rule["product"])
        # "malformed": a line the format does not know, signed all the same.
        statement = releases.make_release(key, size, sha, version)[0] + b"note=x\n"
        return statement, releases.sign_statement(key, statement)

    def channels(self):
        """<data>/channels.json: {"<channel>": record or null, "*": default}."""
        try:
            with open(os.path.join(self.data_dir, "channels.json"), encoding="utf-8") as f:
                value = json.load(f)
            return value if isinstance(value, dict) else {}
        except (OSError, ValueError):
            return {}


class Response:
    """An answer before it is written: the head, and a body given as bytes
    or as a slice of a file."""

    def __init__(self, status, headers=None, body=b"", head_only=False):
        self.status = status
        self.headers = list(headers or [])
        self.body = body
        self.file = None  # (path, start, length)
        self.corrupt_at = None  # file offset of a byte to flip
        self.head_only = head_only

    def length(self):
        return self.file[2] if self.file else len(self.body)

    def iter_body(self):
        if not self.file:
            if self.body:
                yield self.body
            return
        path, start, length = self.file
        with open(path, "rb") as f:
            f.seek(start)
            pos = start
            left = length
            while left > 0:
                piece = f.read(min(FILE_CHUNK, left))
                if not piece:
                    # The file shrank under us; a short body is the honest
                    # outcome.
                    return
                if self.corrupt_at is not None and pos <= self.corrupt_at < pos + len(piece):
                    piece = bytearray(piece)
                    piece[self.corrupt_at - pos] ^= 0xFF
                    piece = bytes(piece)
                pos += len(piece)
                left -= len(piece)
                yield piece


class _Sink:
    """Writes the response bytes and applies the byte-level faults: cut after
    K bytes, stall after K body bytes, pace to a rate."""

    def __init__(self, handler, plan, state, control):
        self.handler = handler
        self.state = state
        self.total = 0
        self.body = 0
        drop = plan.get("drop")
        self.drop_at = drop["after_bytes"] if drop else None
        self.drop_body = (drop["count"] == "body") if drop else True
        stall = plan.get("stall")
        self.stall = stall if stall and stall.get("after_bytes") is not None else None
        drip = plan.get("drip")
        self.drip = drip["interval"] if drip else None
        pace = plan.get("pace")
        # The run-wide pace is for the servers we play, not for test control.
        self.bps = pace["bytes_per_second"] if pace else (0 if control else state.default_pace)
        # Small slices keep a paced stream smooth; at least 1 KiB so the
        # sleeps stay coarse enough to be accurate.
        self.slice = max(1024, min(FILE_CHUNK, (self.bps or 0) // 50)) if self.bps else None
        self.started = time.monotonic()

    def write(self, data, is_body):
        view = memoryview(data)
        while len(view):
            n = len(view)
            if self.drop_at is not None and (is_body or not self.drop_body):
                room = self.drop_at - (self.body if self.drop_body else self.total)
                if room <= 0:
                    raise _Dropped()
                n = min(n, room)
            if self.stall is not None and is_body:
                room = self.stall["after_bytes"] - self.body
                if room <= 0:
                    seconds = self.stall["seconds"]
                    then = self.stall["then"]
                    self.stall = None
                    self.state.stop.wait(seconds)
                    self.started = time.monotonic() - (self.total / self.bps if self.bps else 0)
                    if then == "close":
                        raise _Dropped()
                    continue
                n = min(n, room)
            if self.slice:
                n = min(n, self.slice)
            if self.drip:
                n = 1
                if self.total and self.state.stop.wait(self.drip):
                    raise _Dropped()
                if time.monotonic() - self.started > faults.MAX_STALL_SECONDS:
                    raise _Dropped()
            self.handler.wfile.write(view[:n])
            view = view[n:]
            self.total += n
            if is_body:
                self.body += n
            if self.bps:
                due = self.started + self.total / self.bps
                delay = due - time.monotonic()
                if delay > 0 and self.state.stop.wait(delay):
                    raise _Dropped()
        if self.drop_at is not None and not self.drop_body and self.total >= self.drop_at:
            raise _Dropped()


def _parse_range(value, size):
    """Returns (start, end) inclusive, "unsatisfiable", or None when the
    header is to be ignored (malformed, or several ranges: we answer those
    with the whole file, which HTTP allows)."""
    value = value.strip()
    if not value.startswith("bytes="):
        return None
    ranges = value[len("bytes=") :].strip()
    if "," in ranges or "-" not in ranges:
        return None
    first, _, last = ranges.partition("-")
    first = first.strip()
    last = last.strip()
    if first and not first.isdigit() or last and not last.isdigit():
        return None
    if not first:
        if not last:
            return None
        suffix = int(last)
        if suffix == 0 or size == 0:
            return "unsatisfiable"
        return max(0, size - suffix), size - 1
    start = int(first)
    if last and int(last) < start:
        return None
    if start >= size:
        return "unsatisfiable"
    end = int(last) if last else size - 1
    return start, min(end, size - 1)


def _multipart_fields(content_type, body):
    """Fields of a multipart/form-data body in order: [[name, value], ...]."""
    params = {}
    parts = content_type.split(";")
    if parts[0].strip().lower() != "multipart/form-data":
        return None
    for p in parts[1:]:
        k, _, v = p.strip().partition("=")
        params[k.strip().lower()] = v.strip().strip('"')
    boundary = params.get("boundary")
    if not boundary:
        return None
    delim = b"--" + boundary.encode("latin-1")
    fields = []
    chunks = body.split(delim)
    for chunk in chunks[1:]:
        if chunk.startswith(b"--"):
            break
        if chunk.startswith(b"\r\n"):
            chunk = chunk[2:]
        head, sep, value = chunk.partition(b"\r\n\r\n")
        if not sep:
            continue
        if value.endswith(b"\r\n"):
            value = value[:-2]
        name = None
        for line in head.split(b"\r\n"):
            k, _, v = line.decode("latin-1").partition(":")
            if k.strip().lower() != "content-disposition":
                continue
            for item in v.split(";"):
                ik, _, iv = item.strip().partition("=")
                if ik.strip().lower() == "name":
                    name = iv.strip().strip('"')
        if name is not None:
            fields.append([name, value.decode("utf-8", "replace")])
    return fields


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PelmarMakerBackend/1.0"
    # Errors found before the request line is understood are still answered
    # with a status line (the default would be a bare HTTP/0.9 body).
    default_request_version = "HTTP/1.0"
    timeout = IDLE_TIMEOUT

    # -- request intake -------------------------------------------------

    def handle_one_request(self):
        self.raw_head = bytearray()
        self.entry = None
        try:
            line = self.rfile.readline(MAX_LINE + 1)
            if len(line) > MAX_LINE:
                self.requestline = ""
                self.request_version = ""
                self.command = ""
                self.send_error(414)
                self.close_connection = True
                return
            if not line:
                self.close_connection = True
                return
            self.raw_requestline = line
            self.raw_head += line
            real = self.rfile
            self.rfile = _HeadTee(real, self.raw_head)
            try:
                ok = self.parse_request()
            finally:
                self.rfile = real
            if not ok:
                return
            if any(isinstance(d, email.errors.MissingHeaderBodySeparatorDefect) for d in self.headers.defects):
                # A line that is not "name: value" ends the header for the
                # parser, and what follows would be taken as body; refuse.
                self.close_connection = True
                self.entry = None
                self._plain(400, {"code": 400, "message": "malformed header line"}, faults.Plan([]))
                return
            self._dispatch()
            self.wfile.flush()
        except _Dropped:
            self._cut()
        except (socket.timeout, ConnectionError, BrokenPipeError):
            self.close_connection = True

    def _cut(self):
        """Ends the connection mid-answer: a FIN, not a reset, so the client
        sees exactly the bytes sent so far."""
        self.close_connection = True
        try:
            self.wfile.flush()
        except OSError:
            pass
        try:
            self.connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def log_message(self, fmt, *args):
        if self.server.state.verbose:
            sys.stderr.write("[backend] %s %s\n" % (self.address_string(), fmt % args))

    def _read_body(self):
        te = (self.headers.get("Transfer-Encoding") or "").lower()
        if "chunked" in te:
            body = bytearray()
            for _ in range(MAX_BODY):  # bounded: each round reads one chunk
                size_line = self.rfile.readline(MAX_LINE + 1)
                if not size_line or len(size_line) > MAX_LINE:
                    raise ValueError("bad chunk line")
                size = int(size_line.split(b";")[0].strip() or b"x", 16)
                if size < 0:
                    raise ValueError("negative chunk size")
                if size == 0:
                    for _ in range(100):
                        trailer = self.rfile.readline(MAX_LINE + 1)
                        if trailer in (b"\r\n", b"\n", b""):
                            break
                    return bytes(body)
                if len(body) + size > MAX_BODY:
                    raise OverflowError()
                piece = self.rfile.read(size)
                if len(piece) != size:
                    raise ConnectionError("short chunk")
                body += piece
                self.rfile.readline(3)
            raise ValueError("too many chunks")
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        n = int(length.strip())
        if n < 0:
            raise ValueError("negative length")
        if n > MAX_BODY:
            raise OverflowError()
        body = self.rfile.read(n)
        if len(body) != n:
            raise ConnectionError("short body")
        return body

    def _dispatch(self):
        state = self.server.state
        target = self.path
        if target.startswith("http://") or target.startswith("https://"):
            # Absolute form, as sent to a proxy: keep path and query.
            split = urllib.parse.urlsplit(target)
            target = split.path + ("?" + split.query if split.query else "")
        split = urllib.parse.urlsplit(target)
        self.route = split.path or "/"
        self.query = urllib.parse.parse_qs(split.query, keep_blank_values=True)
        self.target = target
        try:
            self.body = self._read_body()
        except OverflowError:
            self.close_connection = True
            self._plain(413, {"code": 413, "message": "body too large"}, faults.Plan([]))
            return
        except (ValueError, TypeError):
            self.close_connection = True
            self._plain(400, {"code": 400, "message": "bad request body"}, faults.Plan([]))
            return
        if self.route.startswith("/__"):
            self._control()
            return
        listener = self.server.server_address[0]
        self.entry = state.log_request(
            {
                "time": time.time(),
                "listener": address_text(self.server.server_address),
                "client": address_text(self.client_address),
                "method": self.command,
                "path": self.target,
                "route": self.route,
                "version": self.request_version,
                "headers": [[k, v] for k, v in self.headers.items()],
                "head": bytes(self.raw_head).decode("latin-1"),
                "body_size": len(self.body),
                "body": self.body[:LOG_BODY_BYTES].decode("utf-8", "replace"),
                "status": None,
                "faults": [],
                "sent": 0,
                "dropped": False,
            }
        )
        paths = [self.route]
        if self.route.startswith(INDEX_PREFIX + "/"):
            paths.append(self.route[len(INDEX_PREFIX) :])
        plan = state.faults.match(self.command, paths, self.target, listener)
        state.update_entry(self.entry, faults=list(plan.actions))
        try:
            self._serve(plan)
        except _Dropped:
            state.update_entry(self.entry, dropped=True)
            raise

    def _serve(self, plan):
        state = self.server.state
        stall = plan.get("stall")
        if stall and stall.get("after_bytes") is None:
            state.stop.wait(stall["seconds"])
            if stall["then"] == "close":
                raise _Dropped()
        terminal = plan.terminal
        if terminal:
            action = terminal["action"]
            if action == "close":
                raise _Dropped()
            if action == "redirect":
                location = terminal.get("location") or self.target
                body = ("redirect to %s\n" % location).encode("utf-8")
                self._send(Response(terminal["status"], [("Location", location), ("Content-Type", "text/plain")], body), plan)
                return
            status = terminal["status"]
            headers = list((terminal.get("headers") or {}).items())
            if "json" in terminal:
                body = json.dumps(terminal["json"], ensure_ascii=False).encode("utf-8")
                headers.append(("Content-Type", "application/json; charset=utf-8"))
            else:
                default = "%d %s\n" % (status, self.responses.get(status, ("",))[0])
                body = (terminal.get("body") if terminal.get("body") is not None else default).encode("utf-8")
                if not any(k.lower() == "content-type" for k, _ in headers):
                    headers.append(("Content-Type", "text/plain; charset=utf-8"))
            self._send(Response(status, headers, body), plan)
            return
        route = self.route
        if route == INDEX_PATH or route == INDEX_PREFIX + INDEX_PATH:
            self._index(plan)
        elif route == CHANNEL_PATH:
            self._channel(plan)
        elif route == CONFIG_PATH:
            self._installer_config(plan)
        elif route == TESSEL_PATH:
            self._tessel(plan)
        elif route == GIF_PATH:
            self._gif(plan)
        elif route in (BUILTIN_CDN_PATH, BUILTIN_CDN_PATH + SIG_SUFFIX) or route.startswith(CDN_PREFIXES):
            self._cdn(plan)
        elif route.startswith(REDIRECT_PREFIX) and len(route) > len(REDIRECT_PREFIX):
            # A standing redirect, so a package URL can need one hop.
            location = "%s/cdn/%s" % (self._base(), route[len(REDIRECT_PREFIX) :])
            self._send(Response(302, [("Location", location), ("Content-Type", "text/plain")], b"moved\n"), plan)
        elif route.startswith(SENSOR_PREFIX):
            self._collector(plan)
        elif route.startswith("/welcome") or route.startswith("/agreement"):
            self._page(plan)
        else:
            self._plain(404, {"code": 404, "message": "no such endpoint"}, plan)

    # -- writing --------------------------------------------------------

    def _send(self, resp, plan):
        state = self.server.state
        headers = resp.headers
        names = {k.lower() for k, _ in headers}
        chunked = plan.get("chunked")
        hdr_rule = plan.get("headers")
        length = resp.length()
        if chunked:
            headers.append(("Transfer-Encoding", "chunked"))
        elif plan.has("no_content_length"):
            # Without a length the body ends with the connection.
            self.close_connection = True
        else:
            headers.append(("Content-Length", str(length)))
        if "date" not in names:
            headers.append(("Date", email.utils.formatdate(usegmt=True)))
        headers.append(("Server", self.server_version))
        if hdr_rule:
            remove = {n.lower() for n in (hdr_rule.get("remove") or [])}
            sets = hdr_rule.get("set") or {}
            remove |= {n.lower() for n in sets}
            headers = [(k, v) for k, v in headers if k.lower() not in remove]
            headers.extend((k, str(v)) for k, v in sets.items())
        if self.close_connection:
            headers.append(("Connection", "close"))
        reason = self.responses.get(resp.status, ("",))[0] or "Status"
        head = "HTTP/1.1 %d %s\r\n" % (resp.status, reason)
        head += "".join("%s: %s\r\n" % (k, v) for k, v in headers) + "\r\n"
        sink = _Sink(self, plan, state, control=self.entry is None)
        if self.entry is not None:
            state.update_entry(self.entry, status=resp.status)
        try:
            sink.write(head.encode("latin-1"), False)
            if not resp.head_only and self.command != "HEAD":
                if chunked:
                    size = chunked["chunk_size"]
                    for piece in resp.iter_body():
                        for i in range(0, len(piece), size):
                            part = piece[i : i + size]
                            sink.write(b"%x\r\n" % len(part) + part + b"\r\n", True)
                    sink.write(b"0\r\n\r\n", True)
                else:
                    for piece in resp.iter_body():
                        sink.write(piece, True)
        finally:
            if self.entry is not None:
                state.update_entry(self.entry, sent=sink.total)

    def _json_body(self, obj, plan):
        garbage = plan.get("garbage_json")
        if garbage:
            return garbage["body"].encode("utf-8")
        code = plan.get("code")
        if code is not None and isinstance(obj, dict):
            obj = dict(obj)
            obj["code"] = code["value"]
        return json.dumps(obj, ensure_ascii=False).encode("utf-8")

    def _plain(self, status, obj, plan):
        """A JSON answer; the JSON faults (garbage, "code" type) apply."""
        body = self._json_body(obj, plan)
        self._send(Response(status, [("Content-Type", "application/json; charset=utf-8")], body), plan)

    def _base(self):
        """Base URL for links we hand out: the command line's, else the Host
        the client used (with our port when it named none)."""
        state = self.server.state
        if state.public_base:
            return state.public_base
        port = self.server.server_address[1]
        host = (self.headers.get("Host") or "").strip()
        if host:
            if host.startswith("["):
                has_port = "]:" in host
            else:
                has_port = ":" in host
            if not has_port and port != 80:
                host = "%s:%d" % (host, port)
            return "http://" + host
        addr = self.server.server_address[0]
        if ":" in addr:
            addr = "[%s]" % addr
        return "http://%s:%d" % (addr, port) if port != 80 else "http://" + addr

    # -- endpoints ------------------------------------------------------

    def _index(self, plan):
        state = self.server.state
        if self.command not in ("POST", "GET"):
            self._plain(405, {"code": 405, "message": "method not allowed"}, plan)
            return
        given = self.headers.get("X-Vek-Sign")
        if given is None:
            verdict = "absent"
        elif sealing.signature_ok(self.body, given, state.key):
            verdict = "ok"
        else:
            verdict = "bad"
        state.update_entry(self.entry, signature=verdict)
        if verdict == "bad":
            self._plain(403, {"code": 4003, "message": "signature mismatch"}, plan)
            return
        if self.body:
            try:
                json.loads(self.body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError):
                self._plain(400, {"code": 4000, "message": "request body is not JSON"}, plan)
                return
        forced = plan.get("payload")
        if forced:
            if "payload_text" in forced:
                payload = forced["payload_text"].encode("utf-8")
            else:
                payload = json.dumps(forced["payload"], ensure_ascii=False).encode("utf-8")
        else:
            pkg = state.store.current()
            if pkg is None:
                self._plain(200, {"code": 4004, "message": "no package in the data folder"}, plan)
                return
            payload = json.dumps(self._package_payload(pkg, plan), ensure_ascii=False).encode("utf-8")
        data = sealing.seal(payload, state.key)
        tamper = plan.get("tamper")
        if tamper:
            data = sealing.tamper(data, tamper["mode"])
        self._plain(200, {"code": 0, "message": "success", "data": data}, plan)

    def _package_payload(self, pkg, plan):
        base = self._base()
        side = pkg.sidecar
        info = {
            "package_name": pkg.package_name,
            "version": pkg.version,
            "size": side.get("size", pkg.size),
            "origin_size": pkg.origin_size,
            "md5": pkg.md5,
        }
        urls = side.get("urls")
        if isinstance(urls, list):
            out = []
            for u in urls:
                if isinstance(u, dict):
                    u = dict(u)
                    if isinstance(u.get("url"), str):
                        u["url"] = u["url"].replace("{base}", base).replace("{name}", pkg.name)
                out.append(u)
            urls = out
        else:
            quoted = urllib.parse.quote(pkg.name)
            urls = [
                {"id": 1, "url": "%s/cdn/%s" % (base, quoted), "rank": 10},
                {"id": 2, "url": "%s/mirror/%s" % (base, quoted), "rank": 5},
            ]
        payload = {"info": info, "urls": urls}
        # The maker's signed release statement, beside "info" and "urls".
        release = self.server.state.served_release(pkg, plan)
        if release is not None:
            payload["release_statement"] = release[0].decode("ascii", "replace")
            payload["release_signature"] = release[1]
        return payload

    def _channel(self, plan):
        if self.command != "GET":
            self._plain(405, {"code": "server.method", "message": "method not allowed"}, plan)
            return
        channel = (self.query.get("channel") or [""])[0]
        if not channel:
            self._plain(200, {"code": "server.param.invalid", "message": "channel required"}, plan)
            return
        table = self.server.state.channels()
        if channel in table:
            record = table[channel]
        elif "*" in table:
            record = table["*"]
        else:
            record = {
                "appId": packages_app_id(),
                "appName": "Morvantile",
                "welcomeUrl": self._base() + "/welcome",
                "advertisingAccountName": "pelmar_ads_" + channel,
                "tesselOcpc": True,
            }
        if record is None:
            self._plain(200, {"code": "server.notfound", "message": "unknown channel"}, plan)
            return
        self._plain(200, {"code": "server.success", "message": "success", "data": record}, plan)

    def _installer_config(self, plan):
        if self.command != "GET":
            self._plain(405, {"code": "server.method", "message": "method not allowed"}, plan)
            return
        app_id = (self.query.get("appId") or [""])[0]
        if not app_id:
            self._plain(200, {"code": "server.param.invalid", "message": "appId required"}, plan)
            return
        data = {"appId": app_id, "ProductsShow": {"gif_url": self._base() + GIF_PATH}}
        self._plain(200, {"code": "server.success", "message": "success", "data": data}, plan)

    def _gif(self, plan):
        if self.command not in ("GET", "HEAD"):
            self._plain(405, {"code": 405, "message": "method not allowed"}, plan)
            return

        def num(name, default, low, high):
            try:
                return max(low, min(high, int((self.query.get(name) or [default])[0])))
            except ValueError:
                return default

        data = self.server.state.gif(
            num("w", 300, 1, MAX_GIF_SIDE),
            num("h", 151, 1, MAX_GIF_SIDE),
            num("frames", 4, 1, MAX_GIF_FRAMES),
            num("delay", 25, 0, 6000),
        )
        self._send(Response(200, [("Content-Type", "image/gif")], data), plan)

    def _tessel(self, plan):
        state = self.server.state
        if self.command != "POST":
            self._plain(405, {"code": 405, "message": "method not allowed"}, plan)
            return
        content_type = self.headers.get("Content-Type") or ""
        fields = _multipart_fields(content_type, self.body)
        report = {
            "time": time.time(),
            "seq": self.entry["seq"],
            "content_type": content_type,
            "fields": fields or [],
            "valid": fields is not None,
        }
        with state.lock:
            state.tessel.append(report)
        state.update_entry(self.entry, form=fields)
        if fields is None:
            self._plain(400, {"code": 400, "message": "multipart form expected"}, plan)
            return
        self._plain(200, {"code": 0, "message": "success"}, plan)

    def _cdn(self, plan):
        state = self.server.state
        if self.command not in ("GET", "HEAD"):
            self._send(Response(405, [("Allow", "GET, HEAD"), ("Content-Type", "text/plain")], b"method not allowed\n"), plan)
            return
        route = self.route
        detached = route.endswith(SIG_SUFFIX)
        if detached:
            route = route[: -len(SIG_SUFFIX)]
        if route == BUILTIN_CDN_PATH:
            pkg = state.store.get("install.exe") or state.store.current()
        else:
            prefix = next(p for p in CDN_PREFIXES if route.startswith(p))
            name = urllib.parse.unquote(route[len(prefix) :])
            pkg = state.store.get(name) if name and "/" not in name else None
        if pkg is None:
            self._send(Response(404, [("Content-Type", "text/plain")], b"no such package\n"), plan)
            return
        if detached:
            # The signed release beside the file: "<address>.sig".
            release = state.served_release(pkg, plan)
            if release is None:
                self._send(Response(404, [("Content-Type", "text/plain")], b"no signed release\n"), plan)
                return
            body = releases.join_detached(*release)
            self._send(Response(200, [("Content-Type", "text/plain; charset=us-ascii")], body), plan)
            return
        size = pkg.size
        headers = [
            ("Content-Type", "application/octet-stream"),
            ("Accept-Ranges", "bytes"),
            ("Last-Modified", email.utils.formatdate(os.path.getmtime(pkg.path), usegmt=True)),
            ("ETag", '"%s"' % pkg.real_md5),
        ]
        disposition = pkg.sidecar.get("content_disposition")
        if isinstance(disposition, str) and disposition:
            headers.append(("Content-Disposition", 'attachment; filename="%s"' % disposition))
        rng = self.headers.get("Range")
        parsed = None
        if rng is not None and not plan.has("ignore_range"):
            parsed = _parse_range(rng, size)
        if parsed == "unsatisfiable":
            headers.append(("Content-Range", "bytes */%d" % size))
            self._send(Response(416, [(k, v) for k, v in headers if k != "Content-Type"] + [("Content-Type", "text/plain")], b""), plan)
            return
        resp = Response(200, headers)
        headers = resp.headers
        start, end = 0, size - 1
        if parsed:
            start, end = parsed
            wrong = plan.get("wrong_range")
            if wrong:
                start = max(0, min(size - 1, start + wrong["shift"]))
                end = max(start, end)
            resp.status = 206
            headers.append(("Content-Range", "bytes %d-%d/%d" % (start, end, size)))
            extra = plan.get("extra_bytes")
            if extra:
                # Send more than the range (and say so in the length) while
                # the Content-Range still names the range asked for.
                end = min(size - 1, end + extra["count"])
        resp.file = (pkg.path, start, max(0, end - start + 1))
        bad = plan.get("bad_md5")
        if bad:
            resp.corrupt_at = bad.get("offset", size // 2)
        self._send(resp, plan)

    def _collector(self, plan):
        state = self.server.state
        if self.command != "POST":
            self._plain(405, {"code": 405, "message": "POST a batch"}, plan)
            return
        body = self.body
        encoding = (self.headers.get("Content-Encoding") or "").lower()
        try:
            if encoding == "gzip":
                body = gzip.decompress(body)
            elif encoding == "deflate":
                body = zlib.decompress(body)
        except (OSError, zlib.error, EOFError):
            self._plain(400, {"code": 400, "message": "cannot decode the body"}, plan)
            return
        if len(body) > MAX_INFLATED:
            self._plain(413, {"code": 413, "message": "batch too large"}, plan)
            return
        lines = [ln for ln in body.split(b"\n") if ln.strip()]
        stored = dups = invalid = 0
        with state.lock:
            state.batches += 1
            for line in lines:
                try:
                    record = json.loads(line.decode("utf-8"))
                except (UnicodeDecodeError, ValueError):
                    record = None
                if not isinstance(record, dict):
                    invalid += 1
                    continue
                uid = record.get("uid")
                if isinstance(uid, str) and uid:
                    if uid in state.seen_uids:
                        dups += 1
                        continue
                    state.seen_uids.add(uid)
                state.records.append(record)
                stored += 1
            state.duplicates += dups
            state.invalid_lines += invalid
        state.update_entry(self.entry, batch={"lines": len(lines), "stored": stored, "duplicates": dups, "invalid": invalid})
        # Every line is acknowledged, the malformed ones too: the uploader
        # would otherwise resend a line we can never store.
        self._plain(
            200,
            {"code": 0, "accepted": len(lines), "stored": stored, "duplicates": dups, "invalid": invalid},
            plan,
        )

    def _page(self, plan):
        if self.command not in ("GET", "HEAD"):
            self._plain(405, {"code": 405, "message": "method not allowed"}, plan)
            return
        if self.route.startswith("/welcome"):
            html = self._welcome_html()
        else:
            title = "Morvantile user agreement"
            html = (
                "<!DOCTYPE html><html><head><meta charset='utf-8'><title>%s</title></head>"
                "<body><h1>%s</h1><p>%s</p></body></html>\n" % (title, title, html_escape(self.target))
            )
        self._send(Response(200, [("Content-Type", "text/html; charset=utf-8")], html.encode("utf-8")), plan)

    def _welcome_html(self):
        """The product's welcome page: the query the installer opened it with,
        key by key in the order sent, and the "立即体验" link, which leads to
        /welcome/start with the same query (so a test sees it followed)."""
        query = urllib.parse.urlsplit(self.target).query
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
        started = self.route.startswith("/welcome/start")
        heading = "感谢体验 Morvantile" if started else "欢迎使用 Morvantile"
        rows = "".join(
            "<tr><th>%s</th><td>%s</td></tr>" % (html_escape(k), html_escape(v)) for k, v in pairs
        )
        link = "" if started else "<p><a id='experience' href='/welcome/start?%s'>立即体验</a></p>" % html_escape(query)
        return (
            "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Morvantile</title></head>"
            "<body><h1>%s</h1>%s<table id='query'>%s</table></body></html>\n" % (heading, link, rows)
        )

    # -- control --------------------------------------------------------

    def _control_json(self, status, obj):
        body = json.dumps(obj, ensure_ascii=False).encode("utf-8")
        self._send(Response(status, [("Content-Type", "application/json; charset=utf-8")], body), faults.Plan([]))

    def _control(self):
        state = self.server.state
        route = self.route
        method = self.command

        def first(name):
            return (self.query.get(name) or [None])[0]

        if route == "/__health" and method == "GET":
            self._control_json(200, {"ok": True, "pid": os.getpid(), "listen": state.listeners})
        elif route == "/__requests" and method == "GET":
            prefix = first("path")
            since = int(first("since") or 0)
            with state.lock:
                items = [
                    dict(e)
                    for e in state.requests
                    if e["seq"] > since and (prefix is None or e["route"].startswith(prefix) or e["path"].startswith(prefix))
                ]
            self._control_json(200, {"requests": items})
        elif route == "/__records" and method == "GET":
            event = first("event")
            with state.lock:
                items = [r for r in state.records if event is None or r.get("event") == event]
                obj = {
                    "records": items,
                    "count": len(items),
                    "duplicates": state.duplicates,
                    "invalid": state.invalid_lines,
                    "batches": state.batches,
                }
                body = json.dumps(obj, ensure_ascii=False).encode("utf-8")
            self._send(Response(200, [("Content-Type", "application/json; charset=utf-8")], body), faults.Plan([]))
        elif route == "/__tessel" and method == "GET":
            with state.lock:
                items = list(state.tessel)
            self._control_json(200, {"reports": items})
        elif route == "/__packages" and method == "GET":
            self._control_json(200, {"packages": [p.describe() for p in state.store.list()]})
        elif route == "/__faults" and method == "GET":
            self._control_json(200, {"rules": state.faults.snapshot()})
        elif route == "/__faults" and method == "DELETE":
            state.faults.clear()
            self._control_json(200, {"ok": True})
        elif route == "/__faults" and method in ("POST", "PUT"):
            try:
                value = json.loads(self.body.decode("utf-8") or "null")
                rules = faults.parse_rules(value)
            except (UnicodeDecodeError, ValueError) as exc:
                self._control_json(400, {"ok": False, "error": str(exc)})
                return
            replace = method == "PUT" or (isinstance(value, dict) and bool(value.get("replace")))
            state.faults.set(rules, replace)
            self._control_json(200, {"ok": True, "rules": state.faults.snapshot()})
        elif route == "/__reset" and method == "POST":
            state.faults.reset()
            state.clear_logs()
            self._control_json(200, {"ok": True})
        else:
            self._control_json(404, {"ok": False, "error": "no such control endpoint"})


def address_text(address):
    host, port = address[:2]
    return "[%s]:%d" % (host, port) if ":" in host else "%s:%d" % (host, port)


def packages_app_id():
    return sealing.APP_ID


class _Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


class _Server6(_Server):
    address_family = socket.AF_INET6


def parse_listen(text):
    """"HOST:PORT" or "[v6]:PORT"; the host must be a loopback address."""
    if text.startswith("["):
        host, _, port = text[1:].partition("]:")
    else:
        host, sep, port = text.rpartition(":")
        if not sep:
            raise ValueError("expected HOST:PORT, got %r" % text)
    if host == "localhost":
        host = "127.0.0.1"
    try:
        addr = ipaddress.ip_address(host)
    except ValueError:
        raise ValueError("%r is not an IP address" % host)
    if not addr.is_loopback:
        raise ValueError("%s is not a loopback address; this server is for local development only" % host)
    port = int(port)
    if not 0 <= port <= 65535:
        raise ValueError("bad port %d" % port)
    return host, port, addr.version


def build_arg_parser():
    p = argparse.ArgumentParser(description="Maker backend for development and tests (loopback only).")
    p.add_argument("--listen", action="append", default=[], metavar="HOST:PORT", help="address to serve (repeatable; default 127.0.0.1:18480; port 0 picks a free port)")
    p.add_argument("--data", required=True, help="data folder (packages in <data>/packages)")
    p.add_argument("--port-file", help="write the bound ports here, one per line in --listen order")
    p.add_argument("--make-package", type=int, metavar="SIZE", help="create <data>/packages/install.exe of SIZE pseudo-random bytes when the folder holds no package")
    p.add_argument("--package-version", default=packages.DEFAULT_VERSION, help="version recorded for --make-package")
    p.add_argument("--key", default=sealing.APP_KEY, help="application key for signatures and sealed payloads")
    p.add_argument("--sign-key", default=releases.DEVELOPMENT_SECRET, metavar="FILE",
                   help="maker key that signs packages without a <file>.sig of their own (default: the "
                        "development key; 'none': serve them unsigned)")
    p.add_argument("--public-base", help="base URL for the links we hand out (default: from the request's Host)")
    p.add_argument("--fault", action="append", default=[], metavar="JSON", help="fault rule for the whole run (repeatable)")
    p.add_argument("--faults-file", help="JSON file with a list of fault rules for the whole run")
    p.add_argument("--pace", type=int, default=0, metavar="BPS", help="pace every response body to BPS bytes per second")
    p.add_argument("--verbose", action="store_true", help="log each request to stderr")
    return p


def main(argv=None):
    args = build_arg_parser().parse_args(argv)
    try:
        listens = [parse_listen(t) for t in (args.listen or ["127.0.0.1:18480"])]
        rules = []
        for text in args.fault:
            rules.extend(faults.parse_rules(json.loads(text)))
        if args.faults_file:
            with open(args.faults_file, encoding="utf-8") as f:
                rules.extend(faults.parse_rules(json.load(f)))
    except (ValueError, OSError) as exc:
        print("maker_backend: %s" % exc, file=sys.stderr)
        return 2
    if args.pace < 0:
        print("maker_backend: --pace must not be negative", file=sys.stderr)
        return 2
    args.startup_faults = rules
    try:
        args.sign_key_value = None if args.sign_key == "none" else releases.read_secret(args.sign_key)
    except (OSError, releases.ReleaseError) as exc:
        print("maker_backend: --sign-key: %s" % exc, file=sys.stderr)
        return 2
    os.makedirs(packages.package_dir(args.data), exist_ok=True)
    if args.make_package is not None and not packages.PackageStore(args.data).list():
        packages.make_package(args.data, args.make_package, version=args.package_version)

    state = State(args)
    servers = []
    try:
        for host, port, version in listens:
            cls = _Server6 if version == 6 else _Server
            server = cls((host, port), Handler)
            server.state = state
            servers.append(server)
    except OSError as exc:
        print("maker_backend: cannot listen: %s" % exc, file=sys.stderr)
        for s in servers:
            s.server_close()
        return 1
    state.listeners = [address_text(s.server_address) for s in servers]

    def on_signal(signum, frame):
        state.stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    threads = []
    for s in servers:
        t = threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
        t.start()
        threads.append(t)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("".join("%d\n" % s.server_address[1] for s in servers))
        os.replace(tmp, args.port_file)
    for name in state.listeners:
        print("maker backend listening on http://%s" % name, flush=True)

    while not state.stop.wait(0.5):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    for t in threads:
        t.join(5)
    print("maker backend stopped", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
