#!/usr/bin/env python3
"""The harness's offline parts: its readers of files Wine wrote (registry hives, a shell link),
and its report of a file it could not hold open."""

import os
import sys
import tempfile
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
import prefixread as pr  # noqa: E402
sys.path.insert(0, os.path.dirname(HERE))
import winelab  # noqa: E402

DATA = os.path.join(HERE, "data")


class RegistryFileTest(unittest.TestCase):
    def setUp(self):
        self.keys = pr.parse_reg_file(os.path.join(DATA, "sample.reg"))

    def value(self, key, name):
        entry = self.keys[key.lower()][1].get(name.lower())
        return entry[1:] if entry else None

    def test_dword_values_with_backslashes_in_names(self):
        self.assertEqual((pr.REG_DWORD, 1), self.value(pr.COMPAT_KEY, "C:\\Program Files\\VRX58Q\\VRX58QRaidSetup.exe"))

    def test_multi_string_continued_over_lines(self):
        kind, data = self.value("System\\CurrentControlSet\\Enum\\ROOT\\WINEBUS\\0", "HardwareId")
        self.assertEqual((pr.REG_MULTI_SZ, ["root\\winebus", "C:\\windows\\inf"]), (kind, data))
        self.assertEqual((pr.REG_SZ, "winebus"), self.value("System\\CurrentControlSet\\Enum\\ROOT\\WINEBUS\\0",
                                                            "Service"))

    def test_escaped_characters_in_keys_and_strings(self):
        key = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Caf\u00e9"
        self.assertEqual((pr.REG_SZ, '"C:\\Program Files (x86)\\Caf\u00e9\\Uninstall\\setup.exe" delpkg'),
                         self.value(key, "UninstallString"))
        self.assertEqual((pr.REG_EXPAND_SZ, "%ProgramFiles%\\Caf\u00e9"), self.value(key, "Path"))
        self.assertEqual((pr.REG_SZ, "default"), self.value(key, ""))


    def test_installed_setups_come_from_the_uninstall_entries(self):
        with tempfile.TemporaryDirectory() as prefix:
            for hive in ("system.reg", "user.reg"):
                with open(os.path.join(DATA, "sample.reg"), "rb") as src, open(os.path.join(prefix, hive), "wb") as f:
                    f.write(src.read())
            self.assertEqual(["C:\\Program Files (x86)\\Caf\u00e9\\Uninstall\\setup.exe"],
                             pr.installed_setups(pr.Registry(prefix)))


class ShellLinkTest(unittest.TestCase):
    def test_target_and_arguments_of_a_wine_link(self):
        link = pr.read_shell_link(os.path.join(DATA, "uninstall-link.lnk"))
        self.assertEqual(("C:\\Program Files\\VRX58Q\\Uninstall\\setup.exe", "delpkg"),
                         (link.target, link.arguments))

    def test_target_outside_the_8bit_code_page_comes_from_the_item_id_list(self):
        # Wine writes "?" for such characters into the link's 8-bit base path.
        link = pr.read_shell_link(os.path.join(DATA, "cjk-link.lnk"))
        self.assertEqual("C:\\Program Files\\\u745e\u5fb7\\VRX58QRaidSetup.exe", link.target)

    def test_other_files_are_refused(self):
        self.assertRaises(ValueError, pr.read_shell_link, os.path.join(DATA, "sample.reg"))


class PathTest(unittest.TestCase):
    def test_windows_paths_match_folders_without_regard_to_case(self):
        with tempfile.TemporaryDirectory() as prefix:
            os.makedirs(os.path.join(prefix, "drive_c", "Program Files", "VRX58Q"))
            unix = pr.to_unix(prefix, "c:\\PROGRAM FILES\\vrx58q\\new.txt")
            self.assertEqual(os.path.join(prefix, "drive_c", "Program Files", "VRX58Q", "new.txt"), unix)
            self.assertEqual("C:\\Program Files\\VRX58Q\\new.txt", pr.to_windows(prefix, unix))


class HoldFileTest(unittest.TestCase):
    def test_a_file_the_helper_cannot_hold_is_named(self):
        # The helper ends at once without saying the file is held ("false" stands for it).
        lab = types.SimpleNamespace(wine="false", helper="labhelper.exe", base_env=lambda path: dict(os.environ))
        with tempfile.TemporaryDirectory() as prefix:
            pfx = winelab.Prefix(lab, prefix, "win64")
            with self.assertRaisesRegex(RuntimeError, r"could not hold C:\\pkg\\setup\.exe"):
                pfx.hold_file("C:\\pkg\\setup.exe")


if __name__ == "__main__":
    unittest.main()
