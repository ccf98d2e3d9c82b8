#!/usr/bin/env python3
"""scripts/simulator-datarefs-check.py fails on a missing name, a wrong type
and a write to a read-only reference, and passes lists that match.

The lists are written at test time: from the project's own references (as
the simulator would publish them), or copied from the simulator's lists
when those are beside the project; neither is kept in the project."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPT = os.path.join(ROOT, "scripts", "simulator-datarefs-check.py")
SHELL = os.path.join(ROOT, "scripts", "simulator-datarefs-check.sh")
TOOL = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    ROOT, "build", "tools", "tarvos-references")
REAL_LISTS = os.environ.get("TARVOS_SIMULATOR_LISTS", os.path.join(
    os.path.dirname(ROOT), "shared", "vendor", "xplane-datarefs"))

# Simulator types for the plugin's accessors.
TYPES = {"i": "int", "f": "float", "d": "double", "vi": "int[16]",
         "vf": "float[16]", "b": "byte[150]"}


class SimulatorDatarefsCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.references = os.path.join(cls.work, "references.txt")
        with open(cls.references, "w") as f:
            subprocess.run([TOOL], stdout=f, check=True)
        with open(cls.references) as f:
            cls.lines = [line.rstrip("\n").split("\t") for line in f]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def own_lists(self):
        """Lists that match the stand-in exactly, and so the plugin."""
        folder = tempfile.mkdtemp(dir=self.work)
        with open(os.path.join(folder, "DataRefs.txt"), "w") as f:
            f.write("2 1210 test\n\n")
            for fields in self.lines:
                if fields[0] == "host":
                    f.write(f"{fields[1]}\t{fields[2]}\t{fields[3]}\tunit\t\n")
        with open(os.path.join(folder, "Commands.txt"), "w") as f:
            for fields in self.lines:
                if fields[0] == "command":
                    f.write(f"{fields[1]}    what it does\n")
        return folder

    def check(self, folder):
        run = subprocess.run(
            [sys.executable, SCRIPT, folder, self.references],
            capture_output=True, text=True)
        return run.returncode, run.stdout + run.stderr

    def alter(self, folder, name, change):
        path = os.path.join(folder, "DataRefs.txt")
        with open(path) as f:
            lines = f.read().split("\n")
        hits = [i for i, l in enumerate(lines) if l.split("\t")[0] == name]
        self.assertEqual(len(hits), 1, name)
        fields = lines[hits[0]].split("\t")
        new = change(fields)
        if new is None:
            del lines[hits[0]]
        else:
            lines[hits[0]] = "\t".join(new)
        with open(path, "w") as f:
            f.write("\n".join(lines))

    def test_matching_lists_pass(self):
        code, out = self.check(self.own_lists())
        self.assertEqual(code, 0, out)
        self.assertIn("0 failures", out)

    def test_each_alteration_fails(self):
        written = next(l[1] for l in self.lines
                       if l[0] == "write" and l[1].endswith("nav1_freq_hz"))
        cases = [
            ("a missing name", "sim/flightmodel/position/latitude",
             lambda f: None, "not in the simulator's list"),
            ("a wrong type", "sim/flightmodel/position/psi",
             lambda f: [f[0], "int"] + f[2:], "the simulator's type is int"),
            ("a read-only write", written,
             lambda f: [f[0], f[1], "n"] + f[3:], "read-only in the simulator"),
            ("another array length", "sim/flightmodel/engine/ENGN_N1_",
             lambda f: [f[0], "float[8]"] + f[2:], "the simulator's float[8]"),
        ]
        for what, name, change, message in cases:
            with self.subTest(what):
                folder = self.own_lists()
                self.alter(folder, name, change)
                code, out = self.check(folder)
                self.assertEqual(code, 1, out)
                self.assertIn(message, out)
                self.assertIn(name, out)

    def test_a_missing_command_fails(self):
        folder = self.own_lists()
        path = os.path.join(folder, "Commands.txt")
        with open(path) as f:
            kept = [l for l in f if not l.startswith("sim/autopilot/approach ")]
        with open(path, "w") as f:
            f.writelines(kept)
        code, out = self.check(folder)
        self.assertEqual(code, 1, out)
        self.assertIn("sim/autopilot/approach: command not", out)

    def test_skips_only_without_the_folder(self):
        env = dict(os.environ, TARVOS_REFERENCES_TOOL=TOOL,
                   TARVOS_SIMULATOR_LISTS=os.path.join(self.work, "none"))
        run = subprocess.run([SHELL], capture_output=True, text=True, env=env)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertTrue(run.stdout.startswith("skipped: "), run.stdout)
        empty = tempfile.mkdtemp(dir=self.work)
        env["TARVOS_SIMULATOR_LISTS"] = empty
        run = subprocess.run([SHELL], capture_output=True, text=True, env=env)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)

    @unittest.skipUnless(os.path.isfile(os.path.join(REAL_LISTS, "DataRefs.txt")),
                         "no simulator lists beside the project")
    def test_real_lists_pass_and_a_read_only_copy_fails(self):
        code, out = self.check(REAL_LISTS)
        self.assertEqual(code, 0, out)
        folder = tempfile.mkdtemp(dir=self.work)
        for name in ("DataRefs.txt", "Commands.txt"):
            shutil.copy(os.path.join(REAL_LISTS, name), folder)
        self.alter(folder, "sim/cockpit/radios/com1_freq_hz",
                   lambda f: [f[0], f[1], "n"] + f[3:])
        code, out = self.check(folder)
        self.assertEqual(code, 1, out)
        self.assertIn("sim/cockpit/radios/com1_freq_hz: written at", out)


if __name__ == "__main__":
    unittest.main()
