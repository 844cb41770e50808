"""Helpers for tests and scripts that use the maker backend.

    import sys; sys.path.insert(0, "<repo>/backend")
    from client import Backend

    with Backend(make_package=1 << 20) as b:        # own server, free port
        b.set_faults([{"path": "/cdn/", "action": "drop", "after_bytes": 5000, "times": 1}])
        url = b.url("/cdn/install.exe")
        ...
        assert b.records(event="vSoftDownloadStart")

    ctl = Control(18480)                              # a server started elsewhere
    ctl.reset()

As a program (for shell scripts):
    /usr/bin/python3 backend/client.py --port 18480 reset
    /usr/bin/python3 backend/client.py --port 18480 faults '[{"path": "/cdn/", "action": "status", "status": 404}]'
    /usr/bin/python3 backend/client.py --port 18480 records | requests [PATH] | tessel | packages | clear-faults
"""

import argparse
import http.client
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import packages  # noqa: E402
import sealing  # noqa: E402

SERVER = os.path.join(HERE, "maker_backend.py")
PYTHON = "/usr/bin/python3"
INDEX_PATH = "/installer/package/index"


class BackendError(RuntimeError):
    pass


class Control:
    """Talks to a running backend over HTTP on loopback."""

    def __init__(self, port, host="127.0.0.1", key=sealing.APP_KEY):
        self.host = host
        self.port = port
        self.key = key

    @property
    def base_url(self):
        return "http://%s:%d" % (self.host, self.port)

    def url(self, path):
        return self.base_url + path

    def request(self, method, path, body=None, headers=None, timeout=30, host=None, port=None):
        """One exchange on a fresh connection; returns (status, headers as a
        list of (name, value), body bytes)."""
        conn = http.client.HTTPConnection(host or self.host, port or self.port, timeout=timeout)
        try:
            if isinstance(body, str):
                body = body.encode("utf-8")
            conn.request(method, path, body=body, headers=dict(headers or {}))
            resp = conn.getresponse()
            data = resp.read()
            return resp.status, resp.getheaders(), data
        finally:
            conn.close()

    def _json(self, method, path, obj=None):
        body = None if obj is None else json.dumps(obj)
        status, _, data = self.request(method, path, body, {"Content-Type": "application/json"})
        try:
            value = json.loads(data.decode("utf-8"))
        except ValueError:
            raise BackendError("%s %s: not JSON (status %d)" % (method, path, status))
        if status != 200:
            raise BackendError("%s %s: status %d: %s" % (method, path, status, value))
        return value

    def health(self):
        return self._json("GET", "/__health")

    def set_faults(self, rules):
        """Replaces every fault rule (the command line's too)."""
        rules = [rules] if isinstance(rules, dict) else rules
        return self._json("PUT", "/__faults", {"rules": list(rules)})["rules"]

    def add_faults(self, rules):
        rules = [rules] if isinstance(rules, dict) else rules
        return self._json("POST", "/__faults", {"rules": list(rules)})["rules"]

    def clear_faults(self):
        self._json("DELETE", "/__faults")

    def faults(self):
        return self._json("GET", "/__faults")["rules"]

    def reset(self):
        """Faults back to the command line's, logs and records emptied."""
        self._json("POST", "/__reset", {})

    def records(self, event=None):
        path = "/__records" + ("?event=" + event if event else "")
        return self._json("GET", path)["records"]

    def record_stats(self):
        return self._json("GET", "/__records")

    def requests(self, path=None):
        query = "?path=" + path if path else ""
        return self._json("GET", "/__requests" + query)["requests"]

    def tessel_reports(self):
        return self._json("GET", "/__tessel")["reports"]

    def packages(self):
        return self._json("GET", "/__packages")["packages"]

    def package_index(self, body=None, sign=True, prefix="/v1.1"):
        """Asks for the package record as the installer does; returns
        (status, envelope or None, payload dict or None when it does not
        unseal or parse)."""
        if body is None:
            body = json.dumps({"app_id": sealing.APP_ID, "seed": {}, "version": "0.9.0.1"})
        raw = body.encode("utf-8") if isinstance(body, str) else body
        headers = {"Content-Type": "application/json", "X-Vek-App": sealing.APP_ID}
        if sign:
            headers["X-Vek-Sign"] = sealing.sign(raw, self.key)
        status, _, data = self.request("POST", prefix + INDEX_PATH, raw, headers)
        try:
            envelope = json.loads(data.decode("utf-8"))
        except ValueError:
            return status, None, None
        payload = None
        if isinstance(envelope, dict) and isinstance(envelope.get("data"), str):
            opened = sealing.unseal(envelope["data"], self.key)
            if opened is not None:
                try:
                    payload = json.loads(opened.decode("utf-8"))
                except ValueError:
                    payload = None
        return status, envelope, payload

    def post_batch(self, records, path="/sa?project=production"):
        """Posts analytics records (dicts or ready lines) as the uploader does."""
        lines = [r if isinstance(r, str) else json.dumps(r) for r in records]
        status, _, data = self.request("POST", path, "\n".join(lines), {"Content-Type": "application/x-ndjson"})
        return status, json.loads(data.decode("utf-8"))


class Backend(Control):
    """Starts a backend of its own as a subprocess and stops it again.

    listen: addresses ("127.0.0.1:0" picks a free port); data_dir: a folder to
    serve (a temporary one, removed at stop, when None); make_package: size of
    a pseudo-random "install.exe" to create when the folder has none; args:
    further command-line switches (e.g. ["--pace", "1000000"])."""

    def __init__(self, data_dir=None, listen=("127.0.0.1:0",), make_package=None, args=(), startup_timeout=30.0):
        super().__init__(0)
        self.data_dir = data_dir
        self.listen = list(listen)
        self.make_package_size = make_package
        self.args = list(args)
        self.startup_timeout = startup_timeout
        self.proc = None
        self.ports = []
        self._work = None
        self._own_data = False
        self._log = None

    def start(self):
        self._work = tempfile.mkdtemp(prefix="pelmar-backend-")
        if self.data_dir is None:
            self.data_dir = os.path.join(self._work, "data")
            self._own_data = True
        port_file = os.path.join(self._work, "ports")
        cmd = [PYTHON, "-B", SERVER, "--data", self.data_dir, "--port-file", port_file]
        for addr in self.listen:
            cmd += ["--listen", addr]
        if self.make_package_size is not None:
            cmd += ["--make-package", str(self.make_package_size)]
        cmd += self.args
        self.log_path = os.path.join(self._work, "server.log")
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(cmd, stdout=self._log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + self.startup_timeout
        while not os.path.exists(port_file):
            if self.proc.poll() is not None:
                raise BackendError("backend exited with %d: %s" % (self.proc.returncode, self.log_text()))
            if time.monotonic() > deadline:
                self.stop()
                raise BackendError("backend did not start in time: %s" % self.log_text())
            time.sleep(0.02)
        with open(port_file) as f:
            self.ports = [int(line) for line in f.read().split()]
        self.host = self.listen[0].rpartition(":")[0].strip("[]")
        if self.host == "localhost":
            self.host = "127.0.0.1"
        self.port = self.ports[0]
        return self

    def log_text(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def stop(self, timeout=15.0):
        """SIGTERM, then wait; returns the exit code (None if it had to be
        killed)."""
        code = None
        if self.proc is not None:
            if self.proc.poll() is None:
                self.proc.send_signal(signal.SIGTERM)
                try:
                    code = self.proc.wait(timeout)
                except subprocess.TimeoutExpired:
                    self.proc.kill()
                    self.proc.wait()
            else:
                code = self.proc.returncode
            self.proc = None
        if self._log is not None:
            self._log.close()
            self._log = None
        if self._work:
            if self._own_data:
                self.data_dir = None
                self._own_data = False
            shutil.rmtree(self._work, ignore_errors=True)
            self._work = None
        return code

    def make_package(self, size, name=packages.DEFAULT_NAME, version=packages.DEFAULT_VERSION, seed="morvantile", sidecar=None):
        """Adds a package to the served folder; the server sees it at once."""
        return packages.make_package(self.data_dir, size, name, version, seed, sidecar)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False


def main(argv):
    p = argparse.ArgumentParser(description="Control a running maker backend.")
    p.add_argument("--port", type=int, default=18480)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("command", choices=["reset", "faults", "add-faults", "clear-faults", "records", "requests", "tessel", "packages", "health"])
    p.add_argument("arg", nargs="?")
    a = p.parse_args(argv)
    c = Control(a.port, a.host)
    if a.command == "reset":
        out = c.reset()
    elif a.command == "faults":
        out = c.set_faults(json.loads(a.arg)) if a.arg else c.faults()
    elif a.command == "add-faults":
        out = c.add_faults(json.loads(a.arg or "[]"))
    elif a.command == "clear-faults":
        out = c.clear_faults()
    elif a.command == "records":
        out = c.records(a.arg)
    elif a.command == "requests":
        out = c.requests(a.arg)
    elif a.command == "tessel":
        out = c.tessel_reports()
    elif a.command == "packages":
        out = c.packages()
    else:
        out = c.health()
    if out is not None:
        json.dump(out, sys.stdout, indent=2, ensure_ascii=False)
        sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
