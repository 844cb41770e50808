"""A whole installation of Morvantile in Wine, driven like a user.

The maker backend serves the demo product's package on the installer's
built-in endpoints (127.0.0.1:18480); a fake default browser runs since
before the installer file was saved; the installer is started from the
user's Downloads folder, "立即安装" and later "立即体验" are clicked with
xdotool on the buttons found in screenshots, and the run is observed through
the backend (analytics records, requests), the browser's recorded command
line, "config.ini", the Wine registry and the installed files.

    whole_installation.py run    one run, as ./x run shows it (prints)
    whole_installation.py test   fresh prefix expected: install with every
                                 check, a second run (reinstall reminder), an
                                 upgrade offer from a newer package

Environment: WINEPREFIX (the prefix to use), DISPLAY (an X server, Xvfb in
CI), PELMAR_BIN (default build/windows/bin), PELMAR_SHOTS (screenshot
folder), PELMAR_TIMEOUT_SCALE (stretches every wait).
Standard library only.
"""

import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "backend"))
import client  # noqa: E402

WINE = os.path.join(ROOT, "scripts", "wine")
BIN = os.environ.get("PELMAR_BIN", os.path.join(ROOT, "build", "windows", "bin"))
BUILD = os.path.dirname(BIN)
SCALE = float(os.environ.get("PELMAR_TIMEOUT_SCALE", "1"))
PORT = 18480
UNINSTALL_KEY = r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\{3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946}_is1"
# The installer's buttons ("立即安装", "立即体验") are filled with this colour.
BUTTON_RGB = (0x08, 0x4A, 0xF4)
# Shortest run of button-coloured pixels that counts as a button row (a
# caption or a link in that colour is narrower).
BUTTON_MIN_RUN = 60
# The installer as a channel's download names it: the channel comes from the
# file name, and with it the channel record and the server's welcome page.
INSTALLER_NAME = "install_huawei00.exe"
CHANNEL = "huawei00"
# The backend signs no package on its own in these runs.
NO_SIGNING = ["--sign-key", "none"]

EXPECTED_EVENTS = [
    "pSoftInstall", "vInstallPage", "pConfirmInstall", "vJoinPlan", "vSoftDownloadStart",
    "pSoftDownloadResult", "vSoftInstallStart", "pSoftInstallResult", "vOpenUrl",
    "pImmediateUse", "vSoftQuit",
]
WELCOME_KEYS = ["_channel", "_mid", "cam", "app_version", "time_stamp", "session_id", "ad_account",
                "def_welcom_url"]
# What "config.ini" holds after a first installation. "begin_timestamp" and
# "launch_appname" are written before the settings folder exists on a first
# run (and the launcher is empty when Wine starts the installer), "cam" is
# empty where no network adapter qualifies (a network namespace): the
# installer writes no empty value, so those are checked only when known.
CONFIG_KEYS = ["md5", "path", "install", "end_timestamp", "is_sem", "app_id", "channel_id", "mid",
               "app_version", "session_id", "advertising_account_name", "welcome_url"]


class RunFailed(Exception):
    pass


def say(text):
    print("[run] " + text, flush=True)


def wait_until(what, predicate, seconds, step=0.25):
    value = poll(predicate, seconds, step)
    if not value:
        raise RunFailed("timed out waiting for " + what)
    return value


def poll(predicate, seconds, step=0.25):
    """The predicate's first true value within the deadline, else its last."""
    deadline = time.monotonic() + seconds * SCALE
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


# -- Wine prefix ---------------------------------------------------------

def prefix():
    return os.environ["WINEPREFIX"]


def drive_c(*parts):
    return os.path.join(prefix(), "drive_c", *parts)


def wine(*args, timeout=60):
    """Runs a Windows program to its end. Its output goes through a file, not
    a pipe: helper processes Wine starts may inherit the output and keep a
    pipe open long after the program has ended."""
    with tempfile.TemporaryFile() as out:
        proc = subprocess.Popen([WINE] + list(args), stdout=out, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL)
        try:
            code = proc.wait(timeout * SCALE)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise RunFailed("%s did not end within %d s" % (os.path.basename(args[0]), timeout * SCALE))
        out.seek(0)
        return subprocess.CompletedProcess(args, code, out.read(), b"")


def unix_user_dir():
    users = drive_c("users")
    names = [n for n in os.listdir(users) if n.lower() != "public"]
    if not names:
        raise RunFailed("the prefix has no user folder")
    return os.path.join(users, names[0]), names[0]


def registry_value(key, name):
    out = wine("reg", "query", key, "/v", name).stdout.decode("utf-8", "replace")
    m = re.search(r"^\s*%s\s+REG_\w+\s+(.*?)\s*$" % re.escape(name), out, re.M)
    return m.group(1) if m else None


def import_registry(text):
    path = os.path.join(prefix(), "pelmar-run.reg")
    with open(path, "w", encoding="utf-16") as f:
        f.write(text)
    wine("regedit", "/S", path)
    os.unlink(path)


def reg_text(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


# -- pictures --------------------------------------------------------------

def read_png(path):
    """(width, height, rows of RGB tuples) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise RunFailed("not a PNG: " + path)
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", chunk[:10])
            if depth != 8 or colour not in (2, 6):
                raise RunFailed("unexpected PNG format in " + path)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b, c = prev[x], prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + b) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(line)
        prev = line
    return width, height, rows, channels


def find_button(png):
    """Centre (x, y) in the picture of the widest block of button-coloured
    rows, or None."""
    width, height, rows, channels = read_png(png)
    best_rows = []
    for y, line in enumerate(rows):
        run_start, best = None, None
        for x in range(width + 1):
            hit = x < width and all(abs(line[x * channels + k] - BUTTON_RGB[k]) <= 12 for k in range(3))
            if hit and run_start is None:
                run_start = x
            if not hit and run_start is not None:
                if x - run_start >= BUTTON_MIN_RUN and (best is None or x - run_start > best[1] - best[0]):
                    best = (run_start, x)
                run_start = None
        if best:
            best_rows.append((y, best))
    if not best_rows:
        return None
    # The largest block of consecutive rows.
    blocks, current = [], [best_rows[0]]
    for row in best_rows[1:]:
        if row[0] == current[-1][0] + 1:
            current.append(row)
        else:
            blocks.append(current)
            current = [row]
    blocks.append(current)
    block = max(blocks, key=len)
    y = (block[0][0] + block[-1][0]) // 2
    x0, x1 = block[len(block) // 2][1]
    return (x0 + x1) // 2, y


class Screen:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        os.makedirs(folder, exist_ok=True)

    def shot(self, name, window=None):
        self.count += 1
        path = os.path.join(self.folder, "%02d-%s.png" % (self.count, name))
        self.take(path, window)
        return path

    def shot_when(self, name, window, shows, seconds=20):
        """A screenshot taken again until `shows(path)` holds (a page is on
        the display a moment after it painted) or the deadline passes; the
        path of the last one and whether it showed what was waited for."""
        self.count += 1
        path = os.path.join(self.folder, "%02d-%s.png" % (self.count, name))

        def taken():
            self.take(path, window)
            return shows(path)
        return path, bool(poll(taken, seconds))

    def take(self, path, window):
        target = ["-window", window] if window else ["-window", "root"]
        subprocess.run(["import", "-display", os.environ["DISPLAY"]] + target + ["PNG24:" + path],
                       check=True, capture_output=True, timeout=30)


def xdotool(*args, timeout=30):
    return subprocess.run(["xdotool"] + list(args), capture_output=True, timeout=timeout * SCALE)


def installer_windows():
    """(window id, x, y, width, height) of each of the installer's visible
    windows of page or dialog size, largest first."""
    found = []
    out = xdotool("search", "--onlyvisible", "--class", INSTALLER_NAME).stdout.decode().split()
    for wid in out:
        geo = xdotool("getwindowgeometry", "--shell", wid).stdout.decode()
        values = dict(line.split("=", 1) for line in geo.split() if "=" in line)
        w, h = int(values.get("WIDTH", 0)), int(values.get("HEIGHT", 0))
        if w >= 300 and h >= 150:
            found.append((wid, int(values["X"]), int(values["Y"]), w, h))
    return sorted(found, key=lambda f: -f[3] * f[4])


def installer_window():
    windows = installer_windows()
    return windows[0] if windows else None


def has_button(png):
    return find_button(png) is not None


def click_button(screen, name):
    """Screenshots the installer window until its page shows a button (the
    page has painted), and clicks it."""
    wid, x, y, _, _ = wait_until("the installer window", installer_window, 30)
    png, shown = screen.shot_when(name, wid, has_button)
    if not shown:
        raise RunFailed("no button on the page (%s)" % png)
    where = find_button(png)
    # Hovering first, as a hand does: the pause is part of the gesture, the
    # page acts on the move, the press and the release.
    xdotool("mousemove", str(x + where[0]), str(y + where[1]), "sleep", "0.3", "click", "1")
    return png


# -- files the run leaves ------------------------------------------------

def product_version(exe):
    """"ProductVersion" of a PE file's version resource, read from its bytes."""
    with open(exe, "rb") as f:
        data = f.read()
    key = "ProductVersion".encode("utf-16-le") + b"\0\0"
    i = data.rfind(key)
    if i < 0:
        return None
    j = i + len(key)
    j += (4 - j % 4) % 4  # the value starts on a 32-bit boundary
    end = data.find(b"\0\0", j)
    while end >= 0 and (end - j) % 2:
        end = data.find(b"\0\0", end + 1)
    return data[j:end].decode("utf-16-le")


def config_ini():
    home, _ = unix_user_dir()
    path = os.path.join(home, "AppData", "Roaming", "PelmarPkg", "MORVANTILE", "config.ini")
    if not os.path.exists(path):
        return path, {}
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    values = {}
    for line in text.splitlines():
        if "=" in line and not line.startswith("["):
            k, v = line.split("=", 1)
            values[k.strip()] = v.strip()
    return path, values


def windows_path(unix_path):
    rel = os.path.relpath(unix_path, drive_c())
    return "C:\\" + rel.replace("/", "\\")


# -- the run ---------------------------------------------------------------

class Run:
    def __init__(self, backend, screen, browser):
        self.backend = backend
        self.screen = screen
        self.browser = browser

    def start_installer(self):
        home, _ = unix_user_dir()
        downloads = os.path.join(home, "Downloads")
        os.makedirs(downloads, exist_ok=True)
        installer = os.path.join(downloads, INSTALLER_NAME)
        # Saved now: after the browser started, as a download would be.
        shutil.copyfile(os.path.join(BIN, "install.exe"), installer)
        self.proc = subprocess.Popen([WINE, windows_path(installer)], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        remote = os.path.join(BIN, "installer_remote.exe")
        if wine(remote, "wait", str(int(60 * SCALE)), timeout=90).returncode != 0:
            raise RunFailed("the installer showed no window")
        return wait_until("the installer window on the display", installer_window, 30)

    def wait_exit(self, seconds=60):
        try:
            return self.proc.wait(seconds * SCALE)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise RunFailed("the installer did not end")

    def close_installer(self):
        """Closes the window like a user; installer_remote answers the
        page's cancel question ("确定要取消安装吗？") with "确认"."""
        remote = os.path.join(BIN, "installer_remote.exe")
        if wine(remote, "close", str(int(30 * SCALE)), timeout=60).returncode != 0:
            raise RunFailed("the installer did not close")
        return self.wait_exit()

    def install(self):
        """Main page → 立即安装 → progress → finished → 立即体验 → product."""
        t0 = time.monotonic()
        window = self.start_installer()
        if window[3] < 500:
            raise RunFailed("the installer opened its reinstall reminder, not the main page")
        click_button(self.screen, "main-page")
        wid = installer_window()
        if wid:
            # The progress page has no blue button; a quick run may already
            # be on the finished page, with the welcome page open.
            self.screen.shot_when("progress", wid[0], lambda png: (
                self.browser.opened_line() or not has_button(png)))
        welcome = wait_until("the welcome page in the browser", self.browser.opened_line, 120)
        click_button(self.screen, "finished-page")
        product = wait_until("the Morvantile window", lambda: xdotool(
            "search", "--onlyvisible", "--name", "^Morvantile ").stdout.decode().split(), 30)
        title = wait_until("the Morvantile window's title", lambda: xdotool(
            "getwindowname", product[0]).stdout.decode().strip(), 30)
        self.screen.shot("morvantile")
        code = self.wait_exit()
        return {"code": code, "welcome": welcome, "window_title": title,
                "seconds": time.monotonic() - t0}

    def reminder(self):
        window = self.start_installer()
        self.screen.shot_when("second-run", window[0], has_button)
        code = self.close_installer()
        return window, code


class FakeBrowser:
    """A copy of the fake browser as the default "chrome.exe", running."""

    def __init__(self):
        self.exe = drive_c("Browsers", "Chrome", "chrome.exe")
        os.makedirs(os.path.dirname(self.exe), exist_ok=True)
        shutil.copyfile(os.path.join(BIN, "fake_browser.exe"), self.exe)
        self.log = self.exe + ".log"
        if os.path.exists(self.log):
            os.unlink(self.log)
        win = windows_path(self.exe)
        import_registry(
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice]\n"
            "\"ProgId\"=\"PelmarChromeHTML\"\n\n"
            "[HKEY_CLASSES_ROOT\\PelmarChromeHTML\\shell\\open\\command]\n"
            "@=%s\n" % reg_text('"%s" -- "%%1"' % win))
        self.proc = subprocess.Popen([WINE, win, "--stay"], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The installer tells the launching browser by creation times, in
        # whole seconds: it starts in a later second than the browser's.
        wait_until("the stand-in browser running", self.running, 60)
        started = int(time.time())
        wait_until("a second after the browser's start", lambda: int(time.time()) > started, 5,
                   step=0.05)

    def running(self):
        """Whether the stand-in runs as a Windows process: Wine has loaded
        the system libraries into it (the started process becomes it)."""
        try:
            with open("/proc/%d/maps" % self.proc.pid, "rb") as f:
                return b"kernelbase.dll" in f.read().lower()
        except OSError:
            return False

    def opened_line(self):
        if not os.path.exists(self.log):
            return None
        text = open(self.log, "rb").read().decode("utf-8", "replace").strip()
        return text.splitlines()[-1] if text else None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def serve_package(data_dir, folder):
    """The demo's package as the maker published it: the setup program, its
    sidecar and its signed release statement (install.exe.sig)."""
    packages = os.path.join(data_dir, "packages")
    shutil.rmtree(packages, ignore_errors=True)
    os.makedirs(packages)
    source = os.path.join(BUILD, folder, "package")
    for name in ("install.exe", "install.exe.json", "install.exe.sig"):
        if not os.path.exists(os.path.join(source, name)):
            raise RunFailed("no %s in %s: build the demo_package target" % (name, source))
        shutil.copyfile(os.path.join(source, name), os.path.join(packages, name))
    with open(os.path.join(packages, "install.exe.json")) as f:
        return json.load(f)["version"]


def events(backend):
    return [(r.get("event"), r.get("props") or {}) for r in backend.records() if r.get("event")]


def wait_for_delivery(backend, last_event):
    return wait_until("the records up to %s at the collector" % last_event,
                      lambda: any(e == last_event for e, _ in events(backend)), 60, step=0.5)


def print_events(backend):
    for name, props in events(backend):
        shown = ", ".join("%s=%s" % (k, json.dumps(v, ensure_ascii=False)) for k, v in props.items())
        print("      %-22s %s" % (name, shown), flush=True)


def served_welcome(url):
    """What the welcome page shows: its heading, the query rows, and whether
    the "立即体验" link is there."""
    with urllib.request.urlopen(url, timeout=10) as answer:
        page = answer.read().decode("utf-8")
    heading = re.search(r"<h1>(.*?)</h1>", page)
    rows = re.findall(r"<tr><th>([^<]*)</th>", page)
    return (heading.group(1) if heading else ""), rows, ">立即体验</a>" in page


def welcome_query(line):
    m = re.search(r"(https?://\S+)", line)
    if not m:
        return None, []
    url = m.group(1).strip('"')
    return url, urllib.parse.parse_qsl(urllib.parse.urlsplit(url).query, keep_blank_values=True)


# -- checks (test mode) --------------------------------------------------

class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, ok, what):
        print("[check] %s %s" % ("ok  " if ok else "FAIL", what), flush=True)
        if not ok:
            self.failures.append(what)


def check_install(checks, result, version):
    checks.expect(result["code"] == 0, "the installer exited with code 0 (got %r)" % result["code"])
    evs = result["events"]
    names = [e for e, _ in evs]
    pos, order_ok = 0, True
    found = {}
    for want in EXPECTED_EVENTS:
        while pos < len(names) and names[pos] != want:
            pos += 1
        if pos == len(names):
            order_ok = False
            break
        found[want] = evs[pos][1]
        pos += 1
    checks.expect(order_ok, "the collector holds %s in this order (got %s)" % (EXPECTED_EVENTS, names))
    props = lambda e: found.get(e, {})  # noqa: E731
    checks.expect(props("pSoftInstall").get("is_first_install") is True and
                  props("pSoftInstall").get("soft_package_name") == INSTALLER_NAME[:-4] and
                  props("pSoftInstall").get("install_type") == "安装器",
                  "pSoftInstall: first install, package name, install type (%s)" % props("pSoftInstall"))
    checks.expect(props("pConfirmInstall").get("confirm_entrance") == "立即安装",
                  "pConfirmInstall: confirm_entrance 立即安装 (%s)" % props("pConfirmInstall"))
    checks.expect(props("vJoinPlan").get("choose_join_plan") is True,
                  "vJoinPlan: choose_join_plan true (%s)" % props("vJoinPlan"))
    checks.expect(props("pSoftInstallResult").get("install_status") == "安装成功",
                  "pSoftInstallResult: install_status 安装成功 (%s)" % props("pSoftInstallResult"))
    checks.expect(props("vOpenUrl") == {"launch_app_type": 2, "browser_num": 1, "browser_name": "chrome.exe "},
                  "vOpenUrl: the running default browser, one counted (%s)" % props("vOpenUrl"))
    checks.expect(props("vSoftQuit").get("event_name") == "软件退出",
                  "vSoftQuit: event_name 软件退出 (%s)" % props("vSoftQuit"))

    url, query = welcome_query(result["welcome"] or "")
    checks.expect(url is not None and re.match(r"http://(localhost|127\.0\.0\.1):%d/welcome\?" % PORT, url),
                  "the fake default browser was started with the welcome address (%s)" % result["welcome"])
    checks.expect([k for k, _ in query] == WELCOME_KEYS,
                  "the welcome address has the query keys %s in order (got %s)" % (WELCOME_KEYS, [k for k, _ in query]))
    checks.expect(dict(query).get("app_version") == version and dict(query).get("_channel") == CHANNEL,
                  "the welcome address names version %s and channel %s" % (version, CHANNEL))
    checks.expect(dict(query).get("ad_account") == "pelmar_ads_" + CHANNEL,
                  "the welcome address carries the channel's advertising account")
    page = result.get("page") or ("", [], False)
    checks.expect(page[1] == WELCOME_KEYS and page[2],
                  "the backend's welcome page lists those keys with its 立即体验 link (%s)" % (page,))

    installed = registry_value(UNINSTALL_KEY, "DisplayIcon")
    checks.expect(installed is not None and installed.endswith("\\Pelmar\\Morvantile\\Morvantile.exe"),
                  "the uninstall entry names the installed product (%s)" % installed)
    unix_exe = drive_c(*installed[3:].split("\\")) if installed else ""
    checks.expect(os.path.isfile(unix_exe) and product_version(unix_exe) == version,
                  "the installed Morvantile.exe has version %s" % version)
    checks.expect(result["window_title"] == "Morvantile " + version,
                  "立即体验 started Morvantile (window %r)" % result["window_title"])

    path, ini = config_ini()
    missing = [k for k in CONFIG_KEYS if k not in ini]
    checks.expect(not missing, "config.ini holds the finished step's keys (missing %s)" % missing)
    checks.expect(ini.get("install") == "1" and ini.get("app_id") == "10001061" and
                  ini.get("app_version") == version and ini.get("is_sem") == "1",
                  "config.ini: install=1, app_id, app_version, is_sem=1 (%s)" % {k: ini.get(k) for k in
                                                                            ("install", "app_id", "app_version", "is_sem")})
    checks.expect(ini.get("welcome_url") == url, "config.ini: welcome_url is the address the browser got")
    checks.expect(ini.get("cam", "") == dict(query).get("cam", ""), "config.ini: cam as in the welcome address")


# -- main ------------------------------------------------------------------

def run_once(screen, data_dir, printing=True):
    """One run against a fresh backend: installs, or shows the reminder."""
    version = serve_package(data_dir, "demo")
    installed_before = registry_value(UNINSTALL_KEY, "DisplayIcon") is not None
    # The backend signs nothing itself: only the demo's own signed release
    # lets the installer start its setup program.
    backend = client.Backend(data_dir=data_dir, listen=["127.0.0.1:%d" % PORT], args=NO_SIGNING)
    backend.start()
    browser = FakeBrowser()
    run = Run(backend, screen, browser)
    try:
        if installed_before:
            say("Morvantile is installed already: the installer should offer its reinstall reminder")
            window, code = run.reminder()
            wait_for_delivery(backend, "vSoftQuit")
            say("installer window %dx%d (%s), exit code %d" % (
                window[3], window[4], "reinstall reminder" if window[3] < 500 else "main page", code))
            say("events the collector received, in order:")
            print_events(backend)
            return {"reminder": window[3] < 500, "code": code, "events": events(backend)}
        result = run.install()
        wait_for_delivery(backend, "vSoftQuit")
        installed = registry_value(UNINSTALL_KEY, "DisplayIcon")
        unix_exe = drive_c(*installed[3:].split("\\")) if installed else ""
        say("installed: %s" % installed)
        say("product version read back from the installed Morvantile.exe: %s" %
            (product_version(unix_exe) if os.path.isfile(unix_exe) else "?"))
        say("Morvantile started by 立即体验: window \"%s\"" % result["window_title"])
        say("welcome page opened in the fake default browser: %s" % result["welcome"])
        url, query = welcome_query(result["welcome"] or "")
        say("welcome page query keys: %s" % ", ".join(k for k, _ in query))
        if url:
            heading, rows, link = served_welcome(url)
            result["page"] = (heading, rows, link)
            say("the welcome page shows \"%s\", %d query rows%s" % (
                heading, len(rows), ", and its 立即体验 link" if link else ", without its 立即体验 link"))
        say("installer exit code %d, %.0f s from start to exit" % (result["code"], result["seconds"]))
        say("events the collector received, in order:")
        print_events(backend)
        served = sorted({r["route"] for r in backend.requests()})
        say("paths the backend served: %s" % ", ".join(served))
        result["version"] = version
        result["events"] = events(backend)
        return result
    finally:
        browser.stop()
        for wid in xdotool("search", "--name", "^Morvantile ").stdout.decode().split():
            xdotool("windowclose", wid)
        backend.stop()


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "run"
    shots = os.environ.get("PELMAR_SHOTS") or os.path.join(ROOT, ".run", "screenshots",
                                                           time.strftime("%Y%m%d-%H%M%S"))
    screen = Screen(shots)
    data_dir = os.path.join(os.path.dirname(prefix()), "backend-data")
    try:
        if mode == "run":
            result = run_once(screen, data_dir)
            say("screenshots: %s" % shots)
            return 0 if result.get("code") == 0 else 1
        if mode != "test":
            print("usage: whole_installation.py run|test", file=sys.stderr)
            return 2
        checks = Checks()
        checks.expect(registry_value(UNINSTALL_KEY, "DisplayIcon") is None, "the prefix starts without Morvantile")
        result = run_once(screen, data_dir)
        check_install(checks, result, result["version"])
        version = result["version"]
        second = run_once(screen, data_dir)
        checks.expect(second.get("reminder") and second.get("code") == 0,
                      "a second run shows the reinstall reminder and exits 0")
        # A newer package on the backend: the installer offers the upgrade.
        serve_next = serve_package(data_dir, "demo_next")
        backend = client.Backend(data_dir=data_dir, listen=["127.0.0.1:%d" % PORT],
                                 args=NO_SIGNING).start()
        try:
            run = Run(backend, screen, None)
            window = run.start_installer()
            screen.shot_when("upgrade-offer", window[0], has_button)
            code = run.close_installer()
        finally:
            backend.stop()
        checks.expect(window[3] >= 500 and code == 0,
                      "package %s over installed %s shows the main page (window %dx%d), exit %d" % (
                          serve_next, version, window[3], window[4], code))
        say("screenshots: %s" % shots)
        if checks.failures:
            print("%d checks failed" % len(checks.failures))
            return 1
        print("all checks passed")
        return 0
    except RunFailed as e:
        say("failed: %s (screenshots in %s)" % (e, shots))
        try:
            screen.shot("failure")
        except Exception:  # noqa: BLE001 - the failure is reported already
            pass
        return 1


if __name__ == "__main__":
    sys.exit(main())
