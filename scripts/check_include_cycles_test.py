#!/usr/bin/env python3
"""check_include_cycles.py on small made-up trees: it must fail on every loop
between units and pass a tree without one."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_include_cycles.py")


def run(files, folders=("src",), known=None):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as out:
                out.write(text)
        command = [sys.executable, SCRIPT, "--root", root]
        if known is not None:
            with open(os.path.join(root, "known.txt"), "w", encoding="utf-8") as out:
                out.write(known)
            command += ["--known", os.path.join(root, "known.txt")]
        done = subprocess.run(command + list(folders), capture_output=True, text=True, check=False)
        return done.returncode, done.stdout + done.stderr


def inc(*headers):
    return "".join(f'#include "{h}"\n' for h in headers)


# a -> b -> c, nothing back.
CHAIN = {
    "src/x/a.h": inc("x/b.h"), "src/x/a.cpp": inc("x/a.h", "x/c.h"),
    "src/x/b.h": "", "src/x/b.cpp": inc("x/b.h", "x/c.h"),
    "src/x/c.h": inc("<vector>"), "src/x/c.cpp": inc("x/c.h"),
}


class IncludeCycleCheck(unittest.TestCase):
    def test_outcomes(self):
        cases = [
            ("a chain passes", CHAIN, ("src",), None, 0, []),
            # c's source reaches back to a: no header includes itself, yet
            # the three units loop.
            ("a source that includes a unit above it", {
                **CHAIN, "src/x/c.cpp": inc("x/c.h", "x/a.h")}, ("src",), None, 1,
             ["src/x/a, src/x/b, src/x/c", 'src/x/c.cpp includes "x/a.h"']),
            ("a loop through headers across folders", {
                "src/p/one.h": inc("q/two.h"), "src/q/two.h": inc("p/three.h"),
                "src/p/three.h": inc("p/one.h")}, ("src",), None, 1, ["src/p/one, src/p/three, src/q/two"]),
            ("an include written relative to the file", {
                "src/x/a.h": inc("b.h"), "src/x/b.cpp": inc("a.h"), "src/x/b.h": ""}, ("src",), None, 1,
             ["src/x/a, src/x/b"]),
            ("a loop through an unchecked folder is not seen", {
                "src/x/a.h": inc("host/h.h"), "host/h.h": inc("x/a.h")}, ("src",), None, 0, []),
            ("every checked folder takes part", {
                "src/x/a.h": inc("tools/t.h"), "tools/t.h": inc("x/a.h")}, ("src", "tools"), None, 1,
             ["src/x/a, tools/t"]),
            ("a known loop passes", {
                **CHAIN, "src/x/c.cpp": inc("x/c.h", "x/b.h")}, ("src",), "src/x/b src/x/c\n", 0,
             ["known include cycle"]),
            ("a known loop that takes in another unit fails", {
                **CHAIN, "src/x/c.cpp": inc("x/c.h", "x/a.h")}, ("src",), "# old\nsrc/x/b src/x/c\n", 1,
             ["include cycle 1: src/x/a, src/x/b, src/x/c"]),
        ]
        for name, files, folders, known, status, texts in cases:
            with self.subTest(name):
                code, output = run(files, folders, known)
                self.assertEqual(code, status, output)
                for text in texts:
                    self.assertIn(text, output)

    def test_missing_folder_is_an_error(self):
        code, output = run(CHAIN, ("src", "nowhere"))
        self.assertNotEqual(code, 0)
        self.assertIn("nowhere", output)


if __name__ == "__main__":
    unittest.main()
