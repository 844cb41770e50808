"""Tests of the maker backend: the real server as a subprocess on free
loopback ports, spoken to over HTTP (raw sockets where the exact bytes on
the wire matter)."""

import base64
import gzip
import hashlib
import hmac
import html
import json
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import client  # noqa: E402
import releases  # noqa: E402
import sealing  # noqa: E402

# An odd size so the two halves of a download differ in length, and larger
# than the server's 64 KiB write pieces.
PKG_SIZE = 300001
OTHER_HOST = "127.0.0.2"
KEY = b"7d2e94b1c0a85f63e19b4d07a2c6f358"


def expected_package(size, seed="morvantile"):
    """The generator's documented stream, computed here independently."""
    out = bytearray()
    index = 0
    while len(out) < size:
        n = min(1 << 20, size - len(out))
        out += hashlib.shake_256(("pelmar-package:%s:%d" % (seed, index)).encode()).digest(n)
        index += 1
    return bytes(out)


def raw_exchange(port, request, host="127.0.0.1", timeout=10.0):
    """Sends request bytes and reads until the server closes."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(request)
        data = bytearray()
        for _ in range(100000):
            piece = s.recv(65536)
            if not piece:
                break
            data += piece
        return bytes(data)


def split_response(raw):
    head, sep, body = raw.partition(b"\r\n\r\n")
    if not sep:
        return None, {}, raw
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return status, headers, body


def get_request(path, host_header, extra=""):
    return ("GET %s HTTP/1.1\r\nHost: %s\r\n%sConnection: close\r\n\r\n" % (path, host_header, extra)).encode()


def dechunk(body):
    out = bytearray()
    pos = 0
    for _ in range(len(body) + 1):
        end = body.index(b"\r\n", pos)
        size = int(body[pos:end], 16)
        pos = end + 2
        if size == 0:
            return bytes(out)
        out += body[pos : pos + size]
        assert body[pos + size : pos + size + 2] == b"\r\n"
        pos += size + 2
    raise AssertionError("chunked body never ended")


def gif_frames(data):
    """Minimal GIF reader: returns (width, height, [(delay_cs, pixels)])."""
    assert data[:6] == b"GIF89a", data[:6]
    width, height, packed = struct.unpack("<HHB", data[6:11])
    pos = 13
    if packed & 0x80:
        pos += 3 * (2 << (packed & 7))
    frames = []
    delay = None

    def blocks(p):
        out = bytearray()
        while data[p]:
            out += data[p + 1 : p + 1 + data[p]]
            p += 1 + data[p]
        return bytes(out), p + 1

    while True:
        tag = data[pos]
        if tag == 0x3B:
            break
        if tag == 0x21:
            label = data[pos + 1]
            if label == 0xF9:
                delay = struct.unpack("<H", data[pos + 4 : pos + 6])[0]
            _, pos = blocks(pos + 2)
        elif tag == 0x2C:
            _, _, w, h, ipacked = struct.unpack("<HHHHB", data[pos + 1 : pos + 10])
            pos += 10
            if ipacked & 0x80:
                pos += 3 * (2 << (ipacked & 7))
            mcs = data[pos]
            packed_bytes, pos = blocks(pos + 1)
            frames.append((delay, lzw_decode(packed_bytes, mcs, w * h)))
        else:
            raise AssertionError("unexpected GIF block 0x%02x" % tag)
    return width, height, frames


def lzw_decode(data, mcs, count):
    clear, eoi = 1 << mcs, (1 << mcs) + 1
    size = mcs + 1
    table = [bytes([i]) for i in range(clear)] + [b"", b""]
    out = bytearray()
    prev = None
    bitpos = 0
    total = len(data) * 8
    while bitpos + size <= total:
        code = int.from_bytes(data[bitpos // 8 : bitpos // 8 + 3], "little") >> (bitpos % 8) & ((1 << size) - 1)
        bitpos += size
        if code == clear:
            table = table[: clear + 2]
            size = mcs + 1
            prev = None
            continue
        if code == eoi:
            break
        if prev is None:
            entry = table[code]
        else:
            entry = table[code] if code < len(table) else prev + prev[:1]
            table.append(prev + entry[:1])
            if len(table) == (1 << size) and size < 12:
                size += 1
        out += entry
        prev = entry
    assert len(out) == count, (len(out), count)
    return bytes(out)


class BackendCase(unittest.TestCase):
    """One server for the whole class, reset before each test."""

    backend = None

    @classmethod
    def setUpClass(cls):
        cls.backend = client.Backend(listen=["127.0.0.1:0", OTHER_HOST + ":0"], make_package=PKG_SIZE)
        cls.backend.start()
        cls.port, cls.port2 = cls.backend.ports
        cls.pkg = expected_package(PKG_SIZE)

    @classmethod
    def tearDownClass(cls):
        code = cls.backend.stop()
        assert code == 0, "backend exit code %r" % code

    def setUp(self):
        self.backend.reset()

    def get(self, path, headers=None, method="GET", port=None, host=None):
        return self.backend.request(method, path, headers=headers, port=port, host=host)

    def raw(self, path, extra="", host="127.0.0.1", port=None):
        port = port or self.port
        return split_response(raw_exchange(port, get_request(path, "%s:%d" % (host, port), extra), host=host))


class CdnTest(BackendCase):
    def test_ranges(self):
        n = PKG_SIZE
        cases = [
            # (Range header, status, first byte, last byte) ; None bytes = no body check
            ("bytes=0-0", 206, 0, 0),  # a one-byte range
            ("bytes=10-19", 206, 10, 19),
            ("bytes=0-%d" % (n // 2), 206, 0, n // 2),  # first half of an odd file
            ("bytes=%d-%d" % (n // 2 + 1, n - 1), 206, n // 2 + 1, n - 1),  # second half
            ("bytes=%d-" % (n - 7), 206, n - 7, n - 1),  # open end
            ("bytes=-5", 206, n - 5, n - 1),  # suffix
            ("bytes=%d-%d" % (n - 3, n + 1000), 206, n - 3, n - 1),  # end clamped
            ("bytes=5-2", 200, 0, n - 1),  # invalid: ignored
            ("bytes=0-1,5-6", 200, 0, n - 1),  # several ranges: whole file
            ("items=0-1", 200, 0, n - 1),  # other unit: ignored
        ]
        for rng, status, first, last in cases:
            with self.subTest(range=rng):
                st, headers, body = self.get("/cdn/install.exe", {"Range": rng})
                h = {k.lower(): v for k, v in headers}
                self.assertEqual(st, status)
                self.assertEqual(body, self.pkg[first : last + 1])
                self.assertEqual(int(h["content-length"]), last - first + 1)
                if status == 206:
                    self.assertEqual(h["content-range"], "bytes %d-%d/%d" % (first, last, n))
                else:
                    self.assertNotIn("content-range", h)

    def test_unsatisfiable_ranges(self):
        for rng in ("bytes=%d-" % PKG_SIZE, "bytes=%d-%d" % (PKG_SIZE + 5, PKG_SIZE + 9), "bytes=-0"):
            with self.subTest(range=rng):
                st, headers, body = self.get("/cdn/install.exe", {"Range": rng})
                h = {k.lower(): v for k, v in headers}
                self.assertEqual(st, 416)
                self.assertEqual(h["content-range"], "bytes */%d" % PKG_SIZE)
                self.assertEqual(body, b"")

    def test_whole_file_paths_and_head(self):
        for path in ("/cdn/install.exe", "/mirror/install.exe", "/application/soft_package/pc/10001061/software/install.exe"):
            with self.subTest(path=path):
                st, h, body = self.raw(path)
                self.assertEqual(st, 200)
                self.assertEqual(body, self.pkg)
                self.assertEqual(h["accept-ranges"], "bytes")
                self.assertNotIn("content-disposition", h)
                req = ("HEAD %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode()
                st, h, body = split_response(raw_exchange(self.port, req))
                self.assertEqual(st, 200)
                self.assertEqual(int(h["content-length"]), PKG_SIZE)
                self.assertEqual(body, b"")

    def test_standing_redirect(self):
        for method in ("GET", "HEAD"):
            with self.subTest(method=method):
                st, headers, _ = self.get("/redirect/install.exe", method=method)
                self.assertEqual((st, dict(headers)["Location"]), (302, "http://127.0.0.1:%d/cdn/install.exe" % self.port))

    def test_unknown_package_and_method(self):
        self.assertEqual(self.get("/cdn/nothing.exe")[0], 404)
        self.assertEqual(self.get("/cdn/../packages/install.exe")[0], 404)
        self.assertEqual(self.get("/cdn/install.exe", method="POST")[0], 405)

    def test_keep_alive_serves_several_ranges_on_one_connection(self):
        import http.client

        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            for first, last in ((0, 99), (100, 100), (PKG_SIZE - 10, PKG_SIZE - 1)):
                conn.request("GET", "/cdn/install.exe", headers={"Range": "bytes=%d-%d" % (first, last)})
                resp = conn.getresponse()
                self.assertEqual(resp.status, 206)
                self.assertEqual(resp.read(), self.pkg[first : last + 1])
        finally:
            conn.close()
        clients = {e["client"] for e in self.backend.requests("/cdn/")}
        self.assertEqual(len(clients), 1)

    def test_parallel_ranges(self):
        import random
        import threading

        rng = random.Random(7)
        jobs = []
        for _ in range(24):
            a = rng.randrange(PKG_SIZE)
            jobs.append((a, rng.randrange(a, PKG_SIZE)))
        bad = []

        def fetch(first, last):
            st, h, body = self.raw("/cdn/install.exe", "Range: bytes=%d-%d\r\n" % (first, last))
            if st != 206 or body != self.pkg[first : last + 1]:
                bad.append((first, last, st, len(body)))

        threads = [threading.Thread(target=fetch, args=j) for j in jobs]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        self.assertEqual(bad, [])
        self.assertEqual(len(self.backend.requests("/cdn/")), len(jobs))

    def test_broken_requests_and_clients_leave_the_server_serving(self):
        cases = [
            # (bytes sent, expected status or None when the server just closes)
            (b"NONSENSE\r\n\r\n", 400),
            (b"GET /" + b"a" * 70000 + b" HTTP/1.1\r\n\r\n", 414),
            (b"GET /cdn/install.exe HTTP/1.1\r\nno colon here\r\n\r\n", 400),
            (b"GET /cdn/install.exe HTTP/1.1\r\n" + b"".join(b"X-%d: 1\r\n" % i for i in range(150)) + b"\r\n", 431),
            (b"POST /sa HTTP/1.1\r\nContent-Length: nope\r\n\r\n", 400),
            (b"POST /sa HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % (64 << 20), 413),
            (b"GET /cdn/install.exe HTTP/9.9\r\n\r\n", 505),
        ]
        for sent, status in cases:
            with self.subTest(sent=sent[:60]):
                raw = raw_exchange(self.port, sent)
                if status is not None:
                    self.assertEqual(split_response(raw)[0], status)
        # A client that walks away in the middle of a large answer.
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(get_request("/cdn/install.exe", "h"))
            s.recv(1000)
        self.assertEqual(self.raw("/cdn/install.exe")[2], self.pkg)

    def test_new_package_and_disposition_from_sidecar(self):
        self.backend.make_package(1, name="one.bin", sidecar={"content_disposition": "Morvantile_setup.exe"})
        st, h, body = self.raw("/cdn/one.bin")
        self.assertEqual((st, len(body)), (200, 1))
        self.assertEqual(h["content-disposition"], 'attachment; filename="Morvantile_setup.exe"')
        st, h, body = self.raw("/cdn/one.bin", "Range: bytes=0-0\r\n")
        self.assertEqual((st, h["content-range"]), (206, "bytes 0-0/1"))
        os.remove(os.path.join(self.backend.data_dir, "packages", "one.bin"))
        os.remove(os.path.join(self.backend.data_dir, "packages", "one.bin.json"))

    def test_package_generator_is_deterministic(self):
        with tempfile.TemporaryDirectory() as d:
            import packages

            path = packages.make_package(d, PKG_SIZE)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), self.pkg)
            with open(path + ".json") as f:
                self.assertEqual(json.load(f)["version"], "1.0.0.1")


class IndexTest(BackendCase):
    def index(self, **kw):
        return self.backend.package_index(**kw)

    def test_signed_request_gets_sealed_record_of_the_package(self):
        for prefix in ("/v1.1", ""):
            with self.subTest(prefix=prefix):
                status, env, payload = self.index(prefix=prefix)
                self.assertEqual(status, 200)
                self.assertIs(type(env["code"]), int)
                self.assertEqual(env["code"], 0)
                # The seal checked here from first principles, not with the
                # server's helper.
                text, _, mac = env["data"].rpartition(".")
                self.assertEqual(mac, hmac.new(KEY, text.encode(), hashlib.sha256).hexdigest())
                self.assertEqual(json.loads(base64.b64decode(text)), payload)
                info = payload["info"]
                self.assertEqual(info["size"], PKG_SIZE)
                self.assertEqual(info["md5"], hashlib.md5(self.pkg).hexdigest())
                self.assertEqual(info["version"], "1.0.0.1")
                self.assertEqual(info["origin_size"], 261485343)
                self.assertEqual(info["package_name"], "install")
                ranks = [u["rank"] for u in payload["urls"]]
                self.assertEqual(ranks, sorted(ranks, reverse=True))
                for u in payload["urls"]:
                    parts = urllib.parse.urlsplit(u["url"])
                    self.assertEqual(parts.port, self.port)
                    st, _, body = self.get(parts.path)
                    self.assertEqual((st, hashlib.md5(body).hexdigest()), (200, info["md5"]))
        log = self.backend.requests("/v1.1/installer/package/index")
        self.assertEqual(log[0]["signature"], "ok")
        self.assertEqual(log[0]["method"], "POST")
        self.assertIn("X-Vek-Sign", [k for k, _ in log[0]["headers"]])

    def test_seal_matches_the_sdk_known_answer(self):
        # The same vector the SDK's own tests hold, so both sides agree.
        vector = "eyJjb2RlIjowfQ==.129657947ea1c9da57a3a623f4f9e397fcfbd55325a0727d9a0e76348c541afb"
        self.assertEqual(sealing.seal('{"code":0}'), vector)
        self.assertEqual(sealing.unseal(vector), b'{"code":0}')
        for bad in (vector[:-1], vector + "0", vector.replace(".", ""), "." + vector.split(".")[1], sealing.tamper(vector), 5):
            with self.subTest(bad=bad):
                self.assertIsNone(sealing.unseal(bad))

    def test_signature_and_body_checks(self):
        body = json.dumps({"app_id": "10001061"}).encode()
        cases = [
            # (headers, body, status, code)
            ({"X-Vek-Sign": "0" * 64}, body, 403, 4003),  # wrong signature
            ({"X-Vek-Sign": sealing.sign(body, "another key")}, body, 403, 4003),
            ({}, body, 200, 0),  # no signature: accepted
            ({"X-Vek-Sign": sealing.sign(b"{not json")}, b"{not json", 400, 4000),
        ]
        for headers, raw, status, code in cases:
            with self.subTest(headers=headers, body=raw):
                st, _, data = self.backend.request("POST", "/v1.1/installer/package/index", raw, headers)
                self.assertEqual(st, status)
                self.assertEqual(json.loads(data)["code"], code)

    def test_envelope_faults(self):
        path = "/installer/package/index"
        cases = [
            # (rule, check of (status, envelope, payload))
            ({"action": "tamper"}, lambda s, e, p: e["code"] == 0 and p is None and sealing.unseal(e["data"]) is None),
            ({"action": "tamper", "mode": "mac"}, lambda s, e, p: e["code"] == 0 and p is None),
            ({"action": "code"}, lambda s, e, p: e["code"] == "0" and p is not None),
            ({"action": "code", "value": 1}, lambda s, e, p: e["code"] == 1),
            ({"action": "code", "value": None}, lambda s, e, p: "code" in e and e["code"] is None),
            ({"action": "garbage_json"}, lambda s, e, p: s == 200 and e is None),
            ({"action": "status", "status": 500}, lambda s, e, p: s == 500 and e is None),
            ({"action": "respond", "json": {"code": 0}}, lambda s, e, p: e == {"code": 0}),
        ]
        for rule, check in cases:
            with self.subTest(rule=rule):
                self.backend.set_faults([dict(rule, path=path, times=1)])
                result = self.index()
                self.assertTrue(check(*result), result)
                # The rule was for one request only.
                self.assertIsNotNone(self.index()[2])

    def test_forced_payloads_for_record_edge_cases(self):
        payloads = [
            {"info": {"size": "0", "md5": "x"}, "urls": [{"id": i, "rank": r, "url": "http://h/%d" % i} for i, r in enumerate([1, 5, 5, 3])]},
            {"info": {"size": 0}},  # no "urls"
            {"urls": []},  # no "info"
        ]
        for payload in payloads:
            with self.subTest(payload=payload):
                self.backend.set_faults([{"path": "/installer/package/index", "action": "payload", "payload": payload}])
                status, env, got = self.index()
                self.assertEqual((status, env["code"], got), (200, 0, payload))
        self.backend.set_faults([{"path": "/installer/package/index", "action": "payload", "payload_text": "not json"}])
        _, env, _ = self.index()
        self.assertEqual(sealing.unseal(env["data"]), b"not json")

    def test_sidecar_overrides_record(self):
        self.backend.make_package(
            10,
            name="pinned.exe",
            version="2.5.0.96",
            sidecar={"current": True, "md5": "0" * 32, "urls": [{"id": 7, "url": "{base}/cdn/{name}", "rank": 3}]},
        )
        try:
            _, _, payload = self.index()
            self.assertEqual(payload["info"]["version"], "2.5.0.96")
            self.assertEqual(payload["info"]["md5"], "0" * 32)
            self.assertEqual(payload["info"]["size"], 10)
            self.assertEqual(payload["urls"], [{"id": 7, "url": "http://127.0.0.1:%d/cdn/pinned.exe" % self.port, "rank": 3}])
        finally:
            for suffix in ("", ".json"):
                os.remove(os.path.join(self.backend.data_dir, "packages", "pinned.exe" + suffix))

    def test_urls_follow_host_header(self):
        req = (
            "POST /v1.1/installer/package/index HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n"
            "Connection: close\r\n\r\n{}"
        ).encode()
        status, _, body = split_response(raw_exchange(self.port, req))
        payload = json.loads(sealing.unseal(json.loads(body)["data"]))
        self.assertEqual(payload["urls"][0]["url"], "http://localhost:%d/cdn/install.exe" % self.port)


class RecordsTest(BackendCase):
    def test_channel_records(self):
        path = "/applicationService/channel/welcome?channel="
        st, _, body = self.get(path + "huawei00")
        rec = json.loads(body)
        self.assertEqual((st, rec["code"]), (200, "server.success"))
        self.assertEqual(rec["data"]["appId"], "10001061")
        self.assertIs(rec["data"]["tesselOcpc"], True)
        self.assertTrue(rec["data"]["welcomeUrl"].startswith("http://127.0.0.1:%d/" % self.port))
        self.assertEqual(json.loads(self.get(path)[2])["code"], "server.param.invalid")
        table = {"num": {"appId": 12, "appName": "M", "tesselOcpc": 0}, "gone": None}
        with open(os.path.join(self.backend.data_dir, "channels.json"), "w") as f:
            json.dump(table, f)
        try:
            self.assertEqual(json.loads(self.get(path + "num")[2])["data"], table["num"])
            self.assertEqual(json.loads(self.get(path + "gone")[2])["code"], "server.notfound")
        finally:
            os.remove(os.path.join(self.backend.data_dir, "channels.json"))
        self.backend.set_faults([{"path": "/applicationService/channel/", "action": "code", "value": 0}])
        self.assertEqual(json.loads(self.get(path + "x")[2])["code"], 0)

    def test_installer_config_and_animated_gif(self):
        st, _, body = self.get("/applicationService/app/installerConfig?appId=10001061")
        cfg = json.loads(body)
        self.assertEqual((st, cfg["code"]), (200, "server.success"))
        url = urllib.parse.urlsplit(cfg["data"]["ProductsShow"]["gif_url"])
        self.assertEqual((url.hostname, url.port), ("127.0.0.1", self.port))
        st, headers, gif = self.get(url.path)
        self.assertEqual(dict(headers)["Content-Type"], "image/gif")
        width, height, frames = gif_frames(gif)
        self.assertEqual((width, height), (300, 151))
        self.assertGreaterEqual(len(frames), 2)
        self.assertTrue(all(delay == 25 for delay, _ in frames))
        self.assertEqual(len({pixels for _, pixels in frames}), len(frames))  # frames differ
        _, _, single = self.get(url.path + "?frames=1&w=40&h=20&delay=7")
        width, height, frames = gif_frames(single)
        self.assertEqual((width, height, len(frames), frames[0][0]), (40, 20, 1, 7))
        self.assertEqual(json.loads(self.get("/applicationService/app/installerConfig?appId=")[2])["code"], "server.param.invalid")

    def test_attribution_form_is_logged_in_order(self):
        boundary = "----pelmar1234"
        fields = [("app_version", "0.9.0.1"), ("product_name", "Morvantile"), ("uid", "u" * 32), ("app_id", "10001061"), ("cam", "c" * 32), ("mid", "m1"), ("url_channel", "huawei00")]
        body = "".join('--%s\r\nContent-Disposition: form-data; name="%s"\r\n\r\n%s\r\n' % (boundary, k, v) for k, v in fields)
        body += "--%s--\r\n" % boundary
        st, _, data = self.backend.request("POST", "/v1/install/tessel", body, {"Content-Type": "multipart/form-data; boundary=" + boundary})
        self.assertEqual((st, json.loads(data)["code"]), (200, 0))
        st, _, data = self.backend.request("POST", "/v1/install/tessel", "uid=1", {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(st, 400)
        reports = self.backend.tessel_reports()
        self.assertEqual([r["valid"] for r in reports], [True, False])
        self.assertEqual([tuple(f) for f in reports[0]["fields"]], fields)
        logged = self.backend.requests("/v1/install/tessel")
        self.assertEqual([e["body_size"] for e in logged], [len(body), 5])

    def test_welcome_page_shows_its_query_in_order_and_the_experience_link(self):
        query = "_channel=huawei00&_mid=m%20id&cam=c&app_version=1.0.0.1&time_stamp=9&session_id=s<x>"
        st, h, body = self.get("/welcome?" + query)
        page = body.decode("utf-8")
        self.assertEqual(st, 200)
        self.assertIn("text/html", dict(h)["Content-Type"])
        keys = re.findall(r"<tr><th>([^<]*)</th><td>([^<]*)</td></tr>", page)
        self.assertEqual(keys, [("_channel", "huawei00"), ("_mid", "m id"), ("cam", "c"),
                                ("app_version", "1.0.0.1"), ("time_stamp", "9"), ("session_id", "s&lt;x&gt;")])
        link = re.search(r"<a id='experience' href='([^']*)'>立即体验</a>", page)
        self.assertIsNotNone(link)
        self.assertEqual(html.unescape(link.group(1)), "/welcome/start?" + query)
        st, _, body = self.get("/welcome/start?" + query)
        self.assertEqual(st, 200)
        self.assertNotIn("立即体验", body.decode("utf-8"))
        self.assertIn("<th>_channel</th>", body.decode("utf-8"))
        st, _, body = self.get("/welcome")
        self.assertIn("<table id='query'></table>", body.decode("utf-8"))
        self.assertEqual(self.get("/welcome", method="POST")[0], 405)

    def test_unknown_path_is_404_and_logged(self):
        st, _, body = self.get("/nothing/here?x=1")
        self.assertEqual((st, json.loads(body)["code"]), (404, 404))
        entry = self.backend.requests()[-1]
        self.assertEqual((entry["path"], entry["route"], entry["status"]), ("/nothing/here?x=1", "/nothing/here", 404))
        self.assertTrue(entry["head"].startswith("GET /nothing/here?x=1 HTTP/1.1\r\n"))


class CollectorTest(BackendCase):
    def record(self, uid, event="vInstallPage"):
        return {"uid": uid, "type": 6, "app_id": "10001061", "event": event, "props": {"k": 1}}

    def test_batches_are_stored_acknowledged_and_deduplicated(self):
        batches = [
            # (records or lines, accepted, stored, duplicates, invalid)
            ([self.record("a" * 32), self.record("b" * 32, "pSoftInstall")], 2, 2, 0, 0),
            ([self.record("b" * 32, "pSoftInstall"), self.record("c" * 32)], 2, 1, 1, 0),  # resent line
            ([self.record("d" * 32), self.record("d" * 32)], 2, 1, 1, 0),  # duplicate in one batch
            (["{broken", "[1, 2]", self.record("e" * 32)], 3, 1, 0, 2),  # malformed lines acknowledged
        ]
        for records, accepted, stored, dups, invalid in batches:
            with self.subTest(records=records):
                status, ack = self.backend.post_batch(records)
                self.assertEqual(status, 200)
                self.assertEqual((ack["code"], ack["accepted"], ack["stored"], ack["duplicates"], ack["invalid"]), (0, accepted, stored, dups, invalid))
        got = self.backend.records()
        self.assertEqual([r["uid"][0] for r in got], list("abcde"))
        self.assertEqual(got[0], self.record("a" * 32))
        self.assertEqual([r["uid"][0] for r in self.backend.records("pSoftInstall")], ["b"])
        stats = self.backend.record_stats()
        self.assertEqual((stats["duplicates"], stats["invalid"], stats["batches"]), (2, 2, 4))

    def test_chunked_request_body(self):
        lines = "\n".join(json.dumps(self.record(c * 32)) for c in "gh").encode()
        pieces = [lines[:10], lines[10:11], lines[11:]]
        body = b"".join(b"%x\r\n%s\r\n" % (len(p), p) for p in pieces) + b"0\r\n\r\n"
        req = b"POST /sa?project=production HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + body
        status, _, data = split_response(raw_exchange(self.port, req))
        self.assertEqual((status, json.loads(data)["stored"]), (200, 2))
        self.assertEqual(self.backend.requests("/sa")[-1]["body_size"], len(lines))
        # A chunk size that is not hexadecimal is refused.
        for size in (b"zz", b"-3"):
            req = b"POST /sa HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n%s\r\nabc\r\n0\r\n\r\n" % size
            self.assertEqual(split_response(raw_exchange(self.port, req))[0], 400)

    def test_gzip_batch_and_any_sensor_path(self):
        body = gzip.compress(json.dumps(self.record("f" * 32)).encode())
        st, _, data = self.backend.request("POST", "/sa/other?project=x", body, {"Content-Encoding": "gzip"})
        self.assertEqual((st, json.loads(data)["stored"]), (200, 1))
        self.assertEqual(self.get("/sa?project=production")[0], 405)
        self.backend.reset()
        self.assertEqual(self.backend.records(), [])
        # After a reset the same uid is new again.
        self.assertEqual(self.backend.post_batch([self.record("f" * 32)])[1]["stored"], 1)


class FaultTest(BackendCase):
    def test_fail_first_requests_then_serve(self):
        self.backend.set_faults({"path": "/cdn/", "action": "status", "status": 503, "times": 2})
        statuses = [self.get("/cdn/install.exe", {"Range": "bytes=0-9"})[0] for _ in range(4)]
        self.assertEqual(statuses, [503, 503, 206, 206])
        self.assertEqual([e["faults"] for e in self.backend.requests("/cdn/")], [["status"], ["status"], [], []])

    def test_skip_method_and_listener_matching(self):
        self.backend.set_faults(
            [
                {"path": "/cdn/install.exe", "action": "status", "status": 404, "skip": 1, "times": 1},
                {"path": "/mirror/", "method": "HEAD", "action": "status", "status": 500},
                {"path": "/cdn/", "listener": OTHER_HOST, "action": "status", "status": 502},
            ]
        )
        self.assertEqual([self.get("/cdn/install.exe", method="HEAD")[0] for _ in range(3)], [200, 404, 200])
        self.assertEqual(self.get("/mirror/install.exe", method="HEAD")[0], 500)
        self.assertEqual(self.get("/mirror/install.exe", {"Range": "bytes=0-0"})[0], 206)
        self.assertEqual(self.get("/cdn/install.exe", method="HEAD", host=OTHER_HOST, port=self.port2)[0], 502)

    def test_drop_after_bytes(self):
        cases = [
            # (rule, extra request header, expected bytes of body, head complete)
            ({"after_bytes": 5000}, "", 5000, True),
            ({"after_bytes": 0}, "Range: bytes=100-199\r\n", 0, True),
            ({"after_bytes": 40, "count": "response"}, "", 0, False),  # cut inside the header
        ]
        for rule, extra, body_len, head_complete in cases:
            with self.subTest(rule=rule):
                self.backend.set_faults(dict(rule, path="/cdn/", action="drop", times=1))
                raw = raw_exchange(self.port, get_request("/cdn/install.exe", "h", extra))
                status, _, body = split_response(raw)
                if head_complete:
                    self.assertIn(status, (200, 206))
                    first = 100 if extra else 0
                    self.assertEqual(body, self.pkg[first : first + body_len])
                else:
                    self.assertEqual(len(raw), 40)
                    self.assertNotIn(b"\r\n\r\n", raw)
                self.assertTrue(self.backend.requests("/cdn/")[-1]["dropped"])
        # The rule was used up: the next answer is whole.
        self.assertEqual(self.raw("/cdn/install.exe")[2], self.pkg)

    def test_stall_then_serve_or_close(self):
        self.backend.set_faults({"path": "/cdn/", "action": "stall", "seconds": 3, "after_bytes": 1000, "times": 1})
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(get_request("/cdn/install.exe", "h"))
            data = bytearray()
            for _ in range(1000):
                data += s.recv(65536)
                if data.endswith(self.pkg[:1000]):
                    break
            # The server is now silent for a while; a short wait sees nothing.
            s.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                s.recv(1)
            s.settimeout(10)
            for _ in range(100000):
                piece = s.recv(65536)
                if not piece:
                    break
                data += piece
        self.assertEqual(split_response(bytes(data))[2], self.pkg)
        self.backend.set_faults({"path": "/cdn/", "action": "stall", "seconds": 0.5, "then": "close", "times": 1})
        self.assertEqual(raw_exchange(self.port, get_request("/cdn/install.exe", "h")), b"")
        self.backend.set_faults({"path": "/cdn/", "action": "close", "times": 1})
        self.assertEqual(raw_exchange(self.port, get_request("/cdn/install.exe", "h")), b"")

    def test_drip_sends_the_answer_a_byte_at_a_time(self):
        path = "/applicationService/app/installerConfig?appId=10001061"
        whole = split_response(raw_exchange(self.port, get_request(path, "h")))
        self.backend.set_faults({"path": "/applicationService/", "action": "drip", "interval": 0.01, "times": 1})
        pieces = []
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(get_request(path, "h"))
            for _ in range(100000):
                piece = s.recv(65536)
                if not piece:
                    break
                pieces.append(piece)
        raw = b"".join(pieces)
        dripped = split_response(raw)
        self.assertEqual((dripped[0], dripped[2]), (whole[0], whole[2]))
        # Receives mostly found a single byte waiting (a busy machine may let
        # two gather): the server waited before each next one.
        self.assertGreater(len(pieces), len(raw) // 2)

    def test_redirect_to_other_host_and_loop(self):
        target = "http://%s:%d/cdn/install.exe" % (OTHER_HOST, self.port2)
        self.backend.set_faults({"path": "/cdn/", "listener": "127.0.0.1", "action": "redirect", "location": target})
        st, h, _ = self.raw("/cdn/install.exe", "Range: bytes=7-8\r\n")
        self.assertEqual((st, h["location"]), (302, target))
        st, h, body = self.raw("/cdn/install.exe", "Range: bytes=7-8\r\n", host=OTHER_HOST, port=self.port2)
        self.assertEqual((st, body), (206, self.pkg[7:9]))
        last = self.backend.requests("/cdn/")[-1]
        self.assertEqual(last["listener"], "%s:%d" % (OTHER_HOST, self.port2))
        self.assertIn(["Host", "%s:%d" % (OTHER_HOST, self.port2)], last["headers"])
        # Without a location the answer points back at itself: a loop.
        self.backend.set_faults({"path": "/mirror/", "action": "redirect", "status": 301})
        for _ in range(5):
            st, h, _ = self.raw("/mirror/install.exe?n=1")
            self.assertEqual((st, h["location"]), (301, "/mirror/install.exe?n=1"))

    def test_body_faults(self):
        n = PKG_SIZE
        cases = [
            # (rule, Range header, check(status, headers, body))
            ({"action": "bad_md5"}, None, lambda s, h, b: s == 200 and len(b) == n and b != self.pkg and sum(x != y for x, y in zip(b, self.pkg)) == 1),
            ({"action": "bad_md5", "offset": 15}, "bytes=10-19", lambda s, h, b: b[5] == self.pkg[15] ^ 0xFF and b[:5] == self.pkg[10:15]),
            ({"action": "ignore_range"}, "bytes=10-19", lambda s, h, b: s == 200 and b == self.pkg and "content-range" not in h),
            ({"action": "wrong_range"}, "bytes=10-19", lambda s, h, b: s == 206 and h["content-range"] == "bytes 11-19/%d" % n and b == self.pkg[11:20]),
            ({"action": "extra_bytes", "count": 5}, "bytes=10-19", lambda s, h, b: h["content-range"] == "bytes 10-19/%d" % n and b == self.pkg[10:25]),
            ({"action": "chunked", "chunk_size": 7}, "bytes=10-29", lambda s, h, b: s == 206 and h["transfer-encoding"] == "chunked" and "content-length" not in h and dechunk(b) == self.pkg[10:30]),
            ({"action": "no_content_length"}, "bytes=0-99", lambda s, h, b: "content-length" not in h and b == self.pkg[:100]),
            ({"action": "headers", "set": {"Content-Disposition": 'attachment; filename="x.exe"'}, "remove": ["ETag"]}, None, lambda s, h, b: h["content-disposition"] == 'attachment; filename="x.exe"' and "etag" not in h),
            ({"action": "pace", "bytes_per_second": 2000000}, None, lambda s, h, b: s == 200 and b == self.pkg),
        ]
        for rule, rng, check in cases:
            with self.subTest(rule=rule):
                self.backend.set_faults(dict(rule, path="/cdn/"))
                status, headers, body = self.raw("/cdn/install.exe", "Range: %s\r\n" % rng if rng else "")
                self.assertTrue(check(status, headers, body), (status, headers, len(body)))

    def test_chunked_json_answer(self):
        self.backend.set_faults({"path": "/applicationService/", "action": "chunked", "chunk_size": 5})
        status, h, body = self.raw("/applicationService/channel/welcome?channel=abc")
        self.assertEqual(h["transfer-encoding"], "chunked")
        self.assertEqual(json.loads(dechunk(body))["code"], "server.success")

    def test_head_without_content_length(self):
        self.backend.set_faults({"path": "/cdn/", "method": "HEAD", "action": "no_content_length"})
        req = b"HEAD /cdn/install.exe HTTP/1.1\r\nHost: h\r\n\r\n"
        status, h, body = split_response(raw_exchange(self.port, req))
        self.assertEqual((status, body), (200, b""))
        self.assertNotIn("content-length", h)

    def test_rules_are_validated(self):
        bad = [
            {"action": "explode"},
            {"action": "status", "status": "500"},
            {"action": "drop", "count": "bits"},
            {"action": "pace"},
            {"action": "drip", "interval": 0},
            {"action": "drip", "interval": 11},
            {"action": "status", "times": -1},
            {"action": "redirect", "bogus": 1},
            "not an object",
        ]
        for rule in bad:
            with self.subTest(rule=rule):
                st, _, body = self.backend.request("POST", "/__faults", json.dumps(rule))
                self.assertEqual(st, 400)
                self.assertFalse(json.loads(body)["ok"])
        self.assertEqual(self.backend.faults(), [])
        rules = self.backend.add_faults({"action": "stall", "seconds": 1e9})
        self.assertEqual(rules[0]["seconds"], 60.0)



class ReleaseTest(BackendCase):
    """The maker's signed release statement: in the record, beside the file,
    under faults, and the maker's tools."""

    def dev_keys(self):
        return [k for k, _ in releases.read_public_keys(releases.DEVELOPMENT_PUBLIC)]

    def check(self, statement, signature, **kw):
        size = kw.pop("size", PKG_SIZE)
        sha = kw.pop("sha256_hex", hashlib.sha256(self.pkg).hexdigest())
        return releases.check_release(statement, signature, self.dev_keys(), size=size, sha256_hex=sha, **kw)

    def detached(self, path):
        st, _, body = self.get(path)
        self.assertEqual(st, 200, path)
        return releases.split_detached(body)

    def test_record_and_sig_carry_the_same_signed_statement(self):
        _, _, payload = self.backend.package_index()
        statement = payload["release_statement"].encode("ascii")
        fields = self.check(statement, payload["release_signature"])
        self.assertEqual((fields["product"], fields["version"]), ("morvantile", "1.0.0.1"))
        for path in ("/cdn/install.exe.sig", "/mirror/install.exe.sig",
                     "/application/soft_package/pc/10001061/software/install.exe.sig"):
            with self.subTest(path=path):
                self.assertEqual(self.detached(path), (statement, payload["release_signature"]))
        self.assertEqual(self.get("/cdn/missing.exe.sig")[0], 404)
        # A ".sig" is no package of its own.
        self.assertNotIn("install.exe.sig", [p["name"] for p in self.backend.packages()])

    def test_release_faults(self):
        def refused(rule, why):
            self.backend.set_faults([rule])
            _, _, payload = self.backend.package_index()
            statement = payload["release_statement"].encode("ascii")
            with self.assertRaisesRegex(releases.ReleaseError, why):
                self.check(statement, payload["release_signature"], now=None)
            self.assertEqual(self.detached("/cdn/install.exe.sig"), (statement, payload["release_signature"]))

        refused({"action": "release", "mode": "forged"}, "bad signature")
        refused({"action": "release", "mode": "expired"}, "expired")
        refused({"action": "release", "mode": "other_bytes"}, "sha256 mismatch")
        refused({"action": "release", "mode": "wrong_size"}, "size mismatch")
        refused({"action": "release", "mode": "other_product"}, "other product")
        refused({"action": "release", "mode": "malformed"}, "unknown key")
        self.backend.set_faults([{"action": "release", "mode": "older", "version": "0.9"}])
        _, _, payload = self.backend.package_index()
        self.assertEqual(self.check(payload["release_statement"].encode("ascii"),
                                    payload["release_signature"])["version"], "0.9")
        # Missing: neither in the record nor beside the file; a rule's path
        # picks one of the two.
        self.backend.set_faults([{"action": "release", "mode": "missing"}])
        _, _, payload = self.backend.package_index()
        self.assertNotIn("release_statement", payload)
        self.assertEqual(self.get("/cdn/install.exe.sig")[0], 404)
        self.backend.set_faults([{"path": "/cdn/", "action": "release", "mode": "missing"}])
        self.assertIn("release_statement", self.backend.package_index()[2])
        self.assertEqual(self.get("/cdn/install.exe.sig")[0], 404)
        self.assertEqual(self.get("/mirror/install.exe.sig")[0], 200)

    def test_a_makers_own_sig_is_served_as_published(self):
        with tempfile.TemporaryDirectory() as d:
            key_prefix = os.path.join(d, "maker")
            public = releases.keygen(key_prefix, "test maker")
            self.backend.make_package(4096, name="signed.exe", seed="signed")
            path = os.path.join(self.backend.data_dir, "packages", "signed.exe")
            proc = subprocess.run([client.PYTHON, "-B", os.path.join(HERE, "releases.py"), "sign",
                                   "--key", key_prefix + ".secret", "--version", "2.0.0.1", path],
                                  capture_output=True, text=True)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            statement, sig = self.detached("/cdn/signed.exe.sig")
            with open(path + ".sig", "rb") as f:
                self.assertEqual(releases.join_detached(statement, sig), f.read())
            fields = releases.check_release(statement, sig, [public])
            self.assertEqual(fields["version"], "2.0.0.1")
            # The development key did not sign it.
            with self.assertRaisesRegex(releases.ReleaseError, "bad signature"):
                releases.check_release(statement, sig, self.dev_keys())
            # verify: exit 0 for the file, 1 once a byte changed.
            keys_file = key_prefix + ".pub"
            verify = [client.PYTHON, "-B", os.path.join(HERE, "releases.py"), "verify", "--keys", keys_file, path]
            self.assertEqual(subprocess.run(verify, capture_output=True).returncode, 0)
            with open(path, "r+b") as f:
                f.seek(100)
                f.write(b"\xff")
            proc = subprocess.run(verify, capture_output=True, text=True)
            self.assertEqual(proc.returncode, 1)
            self.assertIn("sha256 mismatch", proc.stderr)
            for suffix in ("", ".json", ".sig"):
                os.unlink(path + suffix)

    def test_statement_rules(self):
        good = releases.format_statement("morvantile", "1.0.0.1", 5, "a" * 64, 100, 200)
        self.assertEqual(good, b"pelmar-release=1\nproduct=morvantile\nversion=1.0.0.1\nsize=5\n"
                               b"sha256=" + b"a" * 64 + b"\nsigned=100\nexpires=200\n")
        for bad in (good + b"x=1\n", good.replace(b"\n", b"\r\n"), good[:-1],
                    good.replace(b"size=5", b"size=05"), good.replace(b"expires=200", b"expires=100"),
                    good.replace(b"version=1.0.0.1", b"version=1.0.0.1.0")):
            with self.subTest(bad=bad):
                with self.assertRaises(releases.ReleaseError):
                    releases.parse_statement(bad)


class UnsignedBackendTest(unittest.TestCase):
    def test_sign_key_none_serves_no_statement(self):
        with client.Backend(make_package=2048, args=["--sign-key", "none"]) as b:
            _, _, payload = b.package_index()
            self.assertNotIn("release_statement", payload)
            self.assertEqual(b.request("GET", "/cdn/install.exe.sig")[0], 404)

class CommandLineTest(unittest.TestCase):
    def run_server(self, *args, timeout=20):
        return subprocess.run([client.PYTHON, "-B", client.SERVER] + list(args), capture_output=True, timeout=timeout)

    def test_refuses_non_loopback_and_bad_faults(self):
        with tempfile.TemporaryDirectory() as d:
            for args in (["--listen", "0.0.0.0:0"], ["--listen", "192.168.1.1:0"], ["--listen", "nohost"], ["--fault", '{"action": "nope"}'], ["--pace", "-1"]):
                with self.subTest(args=args):
                    proc = self.run_server("--data", d, *args)
                    self.assertEqual(proc.returncode, 2, proc.stderr)

    def test_command_line_faults_survive_reset_and_pace(self):
        rule = json.dumps({"path": "/cdn/", "action": "status", "status": 404})
        with client.Backend(make_package=2048, args=["--fault", rule, "--pace", "1000000"]) as b:
            self.assertEqual(b.request("GET", "/cdn/install.exe")[0], 404)
            b.clear_faults()
            st, _, body = b.request("GET", "/cdn/install.exe")
            self.assertEqual((st, len(body)), (200, 2048))
            b.reset()
            self.assertEqual(b.request("GET", "/cdn/install.exe")[0], 404)

    def test_signals_stop_the_server_cleanly(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig):
                b = client.Backend(make_package=100000).start()
                try:
                    b.set_faults({"path": "/cdn/", "action": "stall", "seconds": 60})
                    # A client stuck in a stalled answer and an idle
                    # keep-alive connection must not hold the exit up.
                    stuck = socket.create_connection(("127.0.0.1", b.port))
                    stuck.sendall(get_request("/cdn/install.exe", "h"))
                    idle = socket.create_connection(("127.0.0.1", b.port))
                    b.request("GET", "/__health")
                    b.proc.send_signal(sig)
                    self.assertEqual(b.proc.wait(20), 0)
                    self.assertIn("stopped", b.log_text())
                    stuck.close()
                    idle.close()
                finally:
                    b.stop()

    def test_service_runs_the_server_in_the_background(self):
        import service

        with tempfile.TemporaryDirectory() as d:
            run = [client.PYTHON, "-B", service.__file__]
            pids = []
            for _ in range(2):  # a second start replaces the first server
                proc = subprocess.run(run + ["start", "--dir", d, "--make-package", "1000"], capture_output=True, timeout=90)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                port = int(proc.stdout.split()[0])
                with open(os.path.join(d, "pid")) as f:
                    pids.append(int(f.read()))
                self.assertEqual(client.Control(port).packages()[0]["size"], 1000)
            self.assertFalse(service._is_our_server(pids[0]))
            self.assertTrue(service._is_our_server(pids[1]))
            proc = subprocess.run(run + ["stop", "--dir", d], capture_output=True, timeout=60)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            self.assertFalse(service._is_our_server(pids[1]))
            self.assertFalse(os.path.exists(os.path.join(d, "pid")))
            with open(os.path.join(d, "server.log")) as f:
                self.assertEqual(f.read().count("maker backend stopped"), 2)
            # Stopping again finds nothing to stop and succeeds.
            self.assertEqual(subprocess.run(run + ["stop", "--dir", d], timeout=60).returncode, 0)

    def test_port_file_lists_every_listener(self):
        with client.Backend(listen=["127.0.0.1:0", OTHER_HOST + ":0", "[::1]:0"] if socket.has_ipv6 and _ipv6_loopback() else ["127.0.0.1:0", OTHER_HOST + ":0"]) as b:
            self.assertGreaterEqual(len(b.ports), 2)
            self.assertTrue(all(0 < p < 65536 for p in b.ports))
            health = b.health()
            self.assertEqual(len(health["listen"]), len(b.ports))
            self.assertEqual(b.request("GET", "/__health", host=OTHER_HOST, port=b.ports[1])[0], 200)
            # With no package the index says so instead of sealing nothing.
            self.assertEqual(b.package_index()[1]["code"], 4004)


def _ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


if __name__ == "__main__":
    unittest.main()
