"""Starts the maker backend in the background and stops it again, for
callers that cannot keep a child process themselves: the ctest fixture
(tests under Wine cannot start a Linux program) and shell scripts.

    /usr/bin/python3 backend/service.py start --dir D [--make-package N] [--listen HOST:PORT ...] [-- server switches]
    /usr/bin/python3 backend/service.py stop --dir D

start: runs the server detached with its data in D/data (unless --data),
its log in D/server.log, its pid in D/pid and its ports in D/port (one per
line); returns once the ports are known and prints the first. A server still
running from an earlier start in D is stopped first.
stop: SIGTERM to the recorded pid (only if it still is our server), waits,
SIGKILL as a last resort; removes D/pid.
"""

import argparse
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "maker_backend.py")
PYTHON = "/usr/bin/python3"
START_TIMEOUT = 60.0
STOP_TIMEOUT = 15.0


def _is_our_server(pid):
    """True when pid is alive, not a zombie, and runs maker_backend.py (a
    recorded pid may have been reused by another program)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            cmdline = f.read()
        with open("/proc/%d/stat" % pid) as f:
            state = f.read().rpartition(")")[2].split()[0]
    except (OSError, IndexError):
        return False
    return state != "Z" and b"maker_backend.py" in cmdline


def _read_pid(folder):
    try:
        with open(os.path.join(folder, "pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def stop(folder):
    pid = _read_pid(folder)
    if pid is not None and _is_our_server(pid):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + STOP_TIMEOUT
        while _is_our_server(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if _is_our_server(pid):
            os.kill(pid, signal.SIGKILL)
            print("maker backend %d did not stop on SIGTERM; killed" % pid, file=sys.stderr)
            return 1
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass
    return 0


def start(folder, data, listen, make_package, extra):
    os.makedirs(folder, exist_ok=True)
    stop(folder)
    data = data or os.path.join(folder, "data")
    port_file = os.path.join(folder, "port")
    cmd = [PYTHON, "-B", SERVER, "--data", data, "--port-file", port_file]
    for addr in listen or ["127.0.0.1:0"]:
        cmd += ["--listen", addr]
    if make_package is not None:
        cmd += ["--make-package", str(make_package)]
    cmd += extra
    log = open(os.path.join(folder, "server.log"), "ab")
    proc = subprocess.Popen(cmd, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, start_new_session=True)
    log.close()
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % proc.pid)
    deadline = time.monotonic() + START_TIMEOUT
    while not os.path.exists(port_file):
        if proc.poll() is not None:
            print("maker backend exited with %d; see %s" % (proc.returncode, os.path.join(folder, "server.log")), file=sys.stderr)
            return 1
        if time.monotonic() > deadline:
            stop(folder)
            print("maker backend did not start in time", file=sys.stderr)
            return 1
        time.sleep(0.05)
    with open(port_file) as f:
        print(f.read().split()[0])
    return 0


def main(argv):
    extra = []
    if "--" in argv:
        cut = argv.index("--")
        argv, extra = argv[:cut], argv[cut + 1 :]
    p = argparse.ArgumentParser(description="Run the maker backend in the background.")
    p.add_argument("command", choices=["start", "stop"])
    p.add_argument("--dir", required=True, help="folder for pid, port, log (and data unless --data)")
    p.add_argument("--data")
    p.add_argument("--listen", action="append")
    p.add_argument("--make-package", type=int)
    a = p.parse_args(argv)
    if a.command == "start":
        return start(a.dir, a.data, a.listen, a.make_package, extra)
    return stop(a.dir)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
