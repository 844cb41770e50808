"""pkgfetch against the maker backend: exit codes, the stored file, output.

Run by ctest with PKGFETCH naming the program; HOME is a fresh folder per
test so the product data directory is the test's own.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "backend"))

from client import Backend  # noqa: E402

PKGFETCH = os.environ.get("PKGFETCH", "")
SIZE = 1000003  # odd, so the two ranges differ
RUN_TIMEOUT = 120


class PkgfetchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not PKGFETCH or not os.path.exists(PKGFETCH):
            raise unittest.SkipTest("PKGFETCH does not name the program")
        cls.backend = Backend(make_package=SIZE)
        cls.backend.start()
        path = os.path.join(cls.backend.data_dir, "packages", "install.exe")
        with open(path, "rb") as f:
            cls.package = f.read()
        cls.md5 = hashlib.md5(cls.package).hexdigest()

    @classmethod
    def tearDownClass(cls):
        cls.backend.stop()

    def setUp(self):
        self.backend.reset()
        self.backend.clear_faults()
        self.home = tempfile.mkdtemp(prefix="pkgfetch test ")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run_pkgfetch(self, *args):
        env = dict(os.environ, HOME=self.home)
        env.pop("XDG_DATA_HOME", None)
        p = subprocess.run([PKGFETCH] + list(args), env=env, capture_output=True, text=True,
                           timeout=RUN_TIMEOUT)
        lines = dict(line.split(" ", 1) for line in p.stdout.splitlines() if " " in line)
        return p.returncode, lines, p

    def test_downloads_and_verifies(self):
        url = self.backend.url("/cdn/install.exe")
        code, out, p = self.run_pkgfetch("--md5", self.md5, "--version", "2.0.0.1", url)
        self.assertEqual(code, 0, p.stdout + p.stderr)
        self.assertEqual(out["state"], "4 (done)")
        self.assertEqual(out["url"], url)
        expected = os.path.join(self.home, ".local", "share", "PelmarPkg", "MORVANTILE",
                                "pkgfetch_install_v2.0.0.1.exe")
        self.assertEqual(out["file"], expected)
        with open(expected, "rb") as f:
            self.assertEqual(f.read(), self.package)
        self.assertIn("progress 100%", p.stdout)
        gets = [r for r in self.backend.requests("/cdn/") if r["method"] == "GET"]
        ranges = sorted(dict(r["headers"]).get("Range") for r in gets if not r["route"].endswith(".sig"))
        self.assertEqual(ranges, ["bytes=0-%d" % (SIZE // 2 - 1),
                                  "bytes=%d-%d" % (SIZE // 2, SIZE - 1)])
        # The maker's signed statement came from beside the file.
        self.assertEqual([r["route"] for r in gets if r["route"].endswith(".sig")],
                         ["/cdn/install.exe.sig"])

    def test_unsigned_download_exits_1(self):
        self.backend.set_faults([{"action": "release", "mode": "missing"}])
        try:
            code, out, p = self.run_pkgfetch("--md5", self.md5, self.backend.url("/cdn/install.exe"))
        finally:
            self.backend.clear_faults()
        self.assertEqual(code, 1, p.stdout + p.stderr)
        self.assertEqual(out["state"], "5 (failed)")

    def test_failures_exit_1(self):
        cases = [
            ("digest mismatch", [], ["--md5", "0" * 32]),
            ("404 on HEAD", [{"method": "HEAD", "action": "status", "status": 404}], []),
            ("every download attempt refused",
             [{"method": "GET", "action": "status", "status": 503}], []),
        ]
        for why, rules, args in cases:
            with self.subTest(why):
                self.backend.set_faults(rules)
                code, out, p = self.run_pkgfetch(*(args + [self.backend.url("/cdn/install.exe")]))
                self.assertEqual(code, 1, p.stdout + p.stderr)
                self.assertEqual(out.get("state"), "5 (failed)")

    def test_bad_arguments_exit_2(self):
        for args in ([], ["--md5"], ["--md5", "xyz", "http://127.0.0.1:1/a/b"],
                     ["--bogus", "http://127.0.0.1:1/a/b"]):
            with self.subTest(args=args):
                code, _, p = self.run_pkgfetch(*args)
                self.assertEqual(code, 2)
                self.assertIn("usage:", p.stderr)


if __name__ == "__main__":
    unittest.main()
