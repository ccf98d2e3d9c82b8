#!/usr/bin/env python3
"""scripts/compare-sdk.py finds every kind of difference between two sets of
host API headers: a changed constant, a changed signature, a missing
declaration or header, and a function the import libraries do not export."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPT = os.path.join(ROOT, "scripts", "compare-sdk.py")
OURS = os.path.join(ROOT, "sdk")


def edit(path, old, new):
    with open(path) as f:
        text = f.read()
    assert old in text, old
    with open(path, "w") as f:
        f.write(text.replace(old, new))


class CompareSdkTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.other = os.path.join(self.work, "sdk")
        shutil.copytree(os.path.join(OURS, "CHeaders"),
                        os.path.join(self.other, "CHeaders"))

    def tearDown(self):
        shutil.rmtree(self.work)

    def compare(self):
        run = subprocess.run([sys.executable, SCRIPT, OURS, self.other],
                             capture_output=True, text=True)
        return run.returncode, run.stdout + run.stderr

    def header(self, *parts):
        return os.path.join(self.other, "CHeaders", *parts)

    def test_identical_headers_match(self):
        code, out = self.compare()
        self.assertEqual(code, 0, out)
        self.assertIn("no differences", out)

    def test_each_difference_is_named(self):
        edit(self.header("Widgets", "XPWidgetDefs.h"), "xpMsg_Shown = 16",
             "xpMsg_Shown = 61")
        edit(self.header("XPLM", "XPLMDefs.h"), "#define XPLM_KEY_TAB 9",
             "#define XPLM_KEY_TAB 10")
        edit(self.header("XPLM", "XPLMDataAccess.h"),
             "XPLMGetDatai(XPLMDataRef inDataRef)",
             "XPLMGetDatai(const void* inDataRef)")
        edit(self.header("XPLM", "XPLMDisplay.h"),
             "XPLM_API void XPLMDestroyWindow(XPLMWindowID inWindowID);", "")
        os.remove(self.header("XPLM", "XPLMPlanes.h"))
        code, out = self.compare()
        self.assertEqual(code, 1, out)
        self.assertIn("xpMsg_Shown: value 16 here, 61 there", out)
        self.assertIn("XPLM_KEY_TAB: value 9 here, 10 there", out)
        self.assertIn("XPLMGetDatai: type int (*)(void*) here, "
                      "int (*)(void const*) there", out)
        self.assertIn("XPLMDestroyWindow: not declared", out)
        self.assertIn("XPLMPlanes.h: not declared", out)
        self.assertIn("XPLMCountAircraft: not declared", out)
        self.assertIn("XPLMGetNthAircraftModel: not declared", out)
        self.assertIn("7 differences", out)

    @unittest.skipIf(shutil.which("x86_64-w64-mingw32-dlltool") is None,
                     "no mingw-w64 dlltool")
    def test_function_missing_from_import_libraries(self):
        libs = os.path.join(self.other, "Libraries", "Win")
        os.makedirs(libs)
        for lib in ("XPLM", "XPWidgets"):
            with open(os.path.join(OURS, "Libraries", "Win", lib + ".def")) as f:
                text = f.read()
            text = re.sub(r"^\s*XPLMSetDatad\s*$\n", "", text, flags=re.M)
            definition = os.path.join(self.work, lib + ".def")
            with open(definition, "w") as f:
                f.write(text)
            subprocess.run(["x86_64-w64-mingw32-dlltool", "-d", definition,
                            "-D", lib + "_64.dll",
                            "-l", os.path.join(libs, lib + "_64.lib")], check=True)
        code, out = self.compare()
        self.assertEqual(code, 1, out)
        self.assertIn("XPLMSetDatad: not exported", out)
        self.assertIn("1 differences", out)


if __name__ == "__main__":
    unittest.main()
