#!/usr/bin/env python3
"""The set-up scripts' failures (cmake/steps.sh, cmake/wine-env.sh): a failed step names
itself and shows its command's output; a prefix's first boot is tried twice, and either
finishes or gives up with Wine's own words. Real Wine, in prefixes of a temporary folder."""

import os
import subprocess
import tempfile
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, script (after `set -euo pipefail` and both helpers; $T is the temporary folder), extra
# environment, exit code, texts on stderr, texts not on stderr, files that must exist, files
# that must not.
ROWS = [
    ("a quiet command that fails shows its output",
     'step "Configuring"\nquietly configure sh -c "echo the detail; exit 3"\necho not reached',
     {}, 3, ['FAILED in step "Configuring"', "`sh -c echo the detail; exit 3` exited with 3", "the detail"],
     [], ["logs/configure.log"], []),
    ("a function that fails is named by the line that called it",
     'boot() { return 4; }\nstep "Booting"\nboot\necho not reached',
     {}, 4, ['FAILED in step "Booting": `boot` exited with 4'], [], [], []),
    ("a loader that cannot make the architecture: two attempts, then Wine's reason",
     'step "Booting"\nensure_prefix "$T/templates/win32" win32',
     {"SETUP_WINE": "/usr/lib/wine/wine64"}, 1,
     ["(attempt 1 of 2)", "(attempt 2 of 2)", "cannot support 64-bit applications", 'FAILED in step "Booting"'],
     [], ["templates/win32.boot.log"], ["templates/win32/.setup-ready"]),
    ("a first boot that fails is tried again and finishes",
     'ensure_prefix "$T/prefix"',
     {"SETUP_TEST_BOOT_FAULTS": "1"}, 0, ["(attempt 1 of 2): wineboot exited with 1"], ["(attempt 2 of 2)"],
     ["templates/win64/.setup-ready", "prefix/.setup-ready", "prefix/drive_c/windows/system32/kernel32.dll"], []),
]


class SetupScriptFailureTest(unittest.TestCase):
    def run_row(self, script, extra_env):
        tmp = tempfile.mkdtemp(prefix="setup-scripts-")
        # Only the prefixes of this row: their Wine processes end with it.
        self.addCleanup(subprocess.run, ["bash", "-c", 'for p in "$1"/templates/* "$1"/prefix; do '
                                         '[ -d "$p" ] && WINEPREFIX="$p" wineserver -k; done; rm -rf "$1"', "-", tmp],
                        stderr=subprocess.DEVNULL)
        env = dict(os.environ, T=tmp, HOME=tmp, SETUP_LOG_DIR=os.path.join(tmp, "logs"),
                   SETUP_TEMPLATE_DIR=os.path.join(tmp, "templates"))
        env.update(extra_env)
        path = os.path.join(tmp, "script.sh")
        with open(path, "w") as f:
            f.write("set -euo pipefail\nsource cmake/steps.sh\nsource cmake/wine-env.sh\n" + script + "\n")
        result = subprocess.run(["bash", path], cwd=SOURCE_DIR, env=env, capture_output=True, text=True,
                                timeout=1500)
        return tmp, result

    def test_rows(self):
        for name, script, extra_env, rc, said, unsaid, present, absent in ROWS:
            with self.subTest(name):
                tmp, result = self.run_row(script, extra_env)
                self.assertEqual(rc, result.returncode, result.stderr)
                self.assertNotIn("not reached", result.stdout)
                for text in said:
                    self.assertIn(text, result.stderr)
                for text in unsaid:
                    self.assertNotIn(text, result.stderr)
                for path in present:
                    self.assertTrue(os.path.exists(os.path.join(tmp, path)), path)
                for path in absent:
                    self.assertFalse(os.path.exists(os.path.join(tmp, path)), path)


if __name__ == "__main__":
    unittest.main()
