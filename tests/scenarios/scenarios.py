#!/usr/bin/env python3
"""End-to-end scenarios: the built package's `setup.exe s` in fresh Wine prefixes, then the
uninstall, read back from files, registry, shortcuts and the tools journal.

    python3 scenarios.py --build BUILD_DIR [--helper labhelper.exe] [GROUP ...]

Each group (a unittest class) clones its own prefixes, so groups can run in parallel.
"""

import argparse
import ntpath
import os
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import winelab  # noqa: E402
from winelab import prefixread as pr  # noqa: E402

(SetupSucceeded, SetupFailed, SetupRefused, SetupBusy, SetupCancelled, SetupStillRunning, SetupDiskFull,
 SetupFileBusy) = winelab.SetupOutcome

APP_FILE = "VRX58QRaidSetup.exe"
APP_NAME = "Varelon VRX58Q RAID Manager"
TV_NAME = "Varelon TurboVolume RAID Manager"
COMPANY = "Varelon Technology Corp."
LANGUAGE_DLLS = ("setupENU.dll", "setupCHT.dll", "setupCHS.dll", "setupJPN.dll", "setupKOR.dll",
                 "setupFRA.dll", "setupDEU.dll")
XP, WIN7 = ("win32", "winxp"), ("win64", "win7")   # platform and Windows version of a prefix
NATIVE = "Software\\Microsoft\\Windows\\CurrentVersion\\"
WOW64 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"

LAB = None  # set by main()


def new_prefix(name, arch, version):
    return LAB.prefix(name, arch, version)


def make_ini(folder="VRX58Q", app_file=APP_FILE, name=APP_NAME, launch=0, turbo=None, version="2.01.07"):
    """setup.ini text: the plain product section, and the title-bitmap one when `turbo` gives
    its (folder, name, launch)."""
    text = ("[Startup]\nCompanyName=%s\nVersion=%s\n\n[Customized_Setting]\nAPPFolderName=%s\n"
            "APPFileName=%s\nAppName=%s\nLaunchAPInSilentMode=%d\n" % (COMPANY, version, folder, app_file, name, launch))
    if turbo:
        text += ("\n[TURBOVOLUME_Customized_Setting]\nAPPFolderName=%s\nAPPFileName=%s\nAppName=%s\n"
                 "LaunchAPInSilentMode=%d\n" % (turbo[0], APP_FILE, turbo[1], turbo[2]))
    return text


def changes_left(before, after):
    """snapshot_diff without the Compatibility Assistant's record of the program, which stays:
    it is the system's own."""
    return [line for line in winelab.snapshot_diff(before, after) if pr.COMPAT_KEY not in line.replace("\\\\", "\\")]


class InstalledState:
    """What one moment of a prefix holds, kept for the checks after later steps changed it."""

    def __init__(self, pfx, install_dir):
        pfx.settle()
        self.reg = pfx.registry()
        self.journal = pfx.journal()
        self.install_dir = install_dir
        root = pr.to_unix(pfx.path, install_dir)
        self.files = set()
        self.ctimes = {}
        self.size = 0
        for base, _, names in os.walk(root) if os.path.isdir(root) else []:
            for n in names:
                rel = os.path.relpath(os.path.join(base, n), root).replace("/", "\\")
                self.files.add(rel)
                self.size += os.path.getsize(os.path.join(base, n))
                self.ctimes[rel.lower()] = os.stat(os.path.join(base, n)).st_ctime
        self.links = {}
        for path in (pfx.desktop(APP_NAME + ".lnk"), pfx.programs(APP_NAME, APP_NAME + ".lnk"),
                     pfx.programs(APP_NAME, "Uninstall.lnk")):
            if pfx.exists(path):
                st = os.stat(pr.to_unix(pfx.path, path))
                self.links[path] = (pfx.link(path), st.st_ctime, st.st_ino)
        self.snapshot = pfx.snapshot()

    def starts(self, program, since=0.0):
        return [e for e in self.journal if e.program.lower() == program.lower() and e.event == "start"
                and e.time >= since]


class Scenario(unittest.TestCase):
    """A group of scenarios: its prefixes are made in setUpClass, its tests read them back."""

    def assert_ended(self, result, rc=SetupSucceeded, windows=None):
        """A run's exit code, without a message box (and with windows, the windows it showed)."""
        if windows is None:
            self.assertEqual((rc, []), (result.rc, result.boxes))
        else:
            self.assertEqual((rc, [], windows), (result.rc, result.boxes, result.windows))

    def assert_state(self, pfx, exists=(), missing=(), log=None, log_has=(), log_lacks=(), reg=None, values=()):
        """Paths that exist and that do not, texts a log holds and lacks, and registry values
        ((HKLM key, value name, (type, data)), None for an absent value)."""
        for path in exists:
            self.assertTrue(pfx.exists(path), path)
        for path in missing:
            self.assertFalse(pfx.exists(path), path)
        for text in log_has:
            self.assertIn(text, log)
        for text in log_lacks:
            self.assertNotIn(text, log)
        for key, name, expected in values:
            self.assertEqual(expected, reg.value("HKLM", key, name), (key, name))


class InstallChecks(Scenario):
    """Checks shared by the first installs on each platform."""

    @classmethod
    def install(cls, name, arch, version, install_dir, words):
        """A fresh prefix and the package's first install into install_dir, with the state
        before and after it; returns the package's setup.exe."""
        cls.pfx = pfx = new_prefix(name, arch, version)
        setup = pfx.copy_package(ini=make_ini(launch=0), lorvane=False)
        cls.install_dir, cls.app_path = install_dir, install_dir + "\\" + APP_FILE
        pfx.settle()
        cls.before = pfx.snapshot()
        cls.start = time.time()
        cls.result = pfx.run([setup] + words)
        cls.installed = InstalledState(pfx, install_dir)
        return setup

    @classmethod
    def uninstall_twice(cls, pfx, setup, command):
        """Uninstalls with the command (a command line, as a deployment tool would run it), then
        once more from the package, keeping the state after each."""
        exe, words = command[1:command.index('"', 1)], command[command.index('"', 1) + 1:].split()
        cls.uninstall = pfx.run([exe] + words)
        cls.removed = InstalledState(pfx, cls.install_dir)
        cls.second = pfx.run([setup, "SilentDel", "quiet", "/log"])
        cls.again = InstalledState(pfx, cls.install_dir)
        cls.second_log = "".join(winelab.read_text(log)   # the default log
                                 for log in pfx.temp_files("VRX58Q-setup.log", system=False))

    def check_uninstall_entry(self, reg_prefix):
        """The entry's values, "EstimatedSize" matching the installed files."""
        self.maxDiff = None
        key = self.installed.reg.key("HKLM", reg_prefix + "Uninstall\\VRX58Q")
        date = key.get("InstallDate", (0, ""))[1]
        self.assertIn(date, (time.strftime("%Y%m%d", time.localtime(self.start)), time.strftime("%Y%m%d")))
        uninstall_exe = '"%s\\Uninstall\\setup.exe"' % self.install_dir
        self.assertEqual({
            "UninstallString": (pr.REG_SZ, uninstall_exe + " delpkg"),
            "DisplayName": (pr.REG_SZ, APP_NAME),
            "Publisher": (pr.REG_SZ, COMPANY),
            "DisplayVersion": (pr.REG_SZ, "2.01.07"),
            "InstallLocation": (pr.REG_SZ, self.install_dir),
            "DisplayIcon": (pr.REG_SZ, self.install_dir + "\\" + APP_FILE),
            "EstimatedSize": (pr.REG_DWORD, (self.installed.size + 1023) // 1024),
            "NoModify": (pr.REG_DWORD, 1),
            "NoRepair": (pr.REG_DWORD, 1),
            "InstallDate": (pr.REG_SZ, date),
            "QuietUninstallString": (pr.REG_SZ, uninstall_exe + " SilentDel quiet")}, key)

    def check_installed_files(self, state, with_tool):
        expected = {"mingwm10.dll", APP_FILE, "Uninstall\\setup.exe", "Uninstall\\setup.ini"}
        expected |= {"Uninstall\\" + d for d in LANGUAGE_DLLS if os.path.exists(os.path.join(LAB.package_dir, d))}
        if with_tool:
            expected.add("Kelvrin.exe")
        self.assertEqual(expected, state.files)

    def check_shortcuts(self, state, app_path, uninstall_exe):
        pfx = self.pfx
        for path, target, arguments, what in (
                (pfx.desktop(APP_NAME + ".lnk"), app_path, "", "desktop shortcut"),
                (pfx.programs(APP_NAME, APP_NAME + ".lnk"), app_path, "", "Programs menu shortcut"),
                (pfx.programs(APP_NAME, "Uninstall.lnk"), uninstall_exe, "delpkg", "Programs menu uninstall shortcut")):
            link = state.links.get(path)
            self.assertIsNotNone(link, what)
            self.assertEqual((target.lower(), arguments), (link[0].target.lower(), link[0].arguments))

    def check_uninstalled(self, user_files=()):
        """Nothing of the install is left but the user's files (paths below C:, with "/"), with
        the folders that hold them; the uninstall showed no window at all."""
        self.assert_ended(self.uninstall, windows=[])
        diff = changes_left(self.before, self.removed.snapshot)
        kept = set()
        for path in user_files:
            parts = path.split("/")
            kept |= {"added files %s/" % "/".join(parts[:i]) for i in range(1, len(parts))}
            self.assertIn("added files " + path, diff)
            kept.add("added files " + path)
        self.assertEqual([], [line for line in diff if line not in kept])

    def test_install_succeeds_without_messages(self):
        self.assert_ended(self.result)

    def test_shortcuts(self):
        self.check_shortcuts(self.installed, self.app_path, self.install_dir + "\\Uninstall\\setup.exe")

    def test_second_uninstall_passes_silently(self):
        # Nothing is installed any more: the silent uninstall from the package changes nothing.
        self.assert_ended(self.second, windows=[])
        self.assertEqual([], winelab.snapshot_diff(self.removed.snapshot, self.again.snapshot))
        self.assertIn("is not installed", self.second_log)


class XpInstall(InstallChecks):
    """32-bit Windows XP: first install, the silent uninstall from the installed copy, and a
    second one from the package."""

    @classmethod
    def setUpClass(cls):
        # A log that cannot be written stops nothing.
        setup = cls.install("xp-install", "win32", "winxp", "C:\\Program Files\\VRX58Q",
                            ["s", "/log=C:\\no such folder\\setup.log"])
        pfx = cls.pfx
        # Files of the user's in the Programs group and in the install folder stay, with them.
        cls.user_files = (pr.COMMON_PROGRAMS + "\\" + APP_NAME + "\\my notes.txt",
                          cls.install_dir + "\\Settings\\my settings.txt")
        for path in cls.user_files:
            pfx.write(path, "mine\n")
        cls.uninstall_twice(pfx, setup, '"%s\\Uninstall\\setup.exe" SilentDel' % cls.install_dir)

    def test_install_copies_files_without_service_tool_or_bitmaps(self):
        self.check_installed_files(self.installed, with_tool=False)

    def test_run_value_starts_application_minimised(self):
        self.assertEqual((pr.REG_SZ, '"%s\\%s" min' % (self.install_dir, APP_FILE)),
                         self.installed.reg.value("HKLM", NATIVE + "Run", APP_NAME))

    def test_uninstall_entry_in_native_view(self):
        self.check_uninstall_entry(NATIVE)

    def test_no_service_tool_run_and_no_compatibility_value(self):
        self.assertEqual([], self.installed.starts("Kelvrin.exe"))
        self.assertIsNone(pr.service_key(self.installed.reg))
        compat = self.installed.reg.key("HKCU", pr.COMPAT_KEY) or {}
        self.assertEqual([], [n for n in compat if n.lower().endswith(APP_FILE.lower())])

    def test_application_not_started_when_not_asked(self):
        self.assertEqual([], self.installed.starts(APP_FILE))


    def test_uninstall_leaves_only_the_users_files(self):
        self.check_uninstalled([ntpath.splitdrive(p)[1].lstrip("\\").replace("\\", "/") for p in self.user_files])


class Win7Install(InstallChecks):
    """64-bit Windows 7: first install, re-install over a running application, the uninstall
    that the entry's "QuietUninstallString" runs, and a second one from the package."""

    @classmethod
    def setUpClass(cls):
        # As the deployment guide's tools install (docs/deploy.md).
        setup = cls.install("win7-install", "win64", "win7", "C:\\Program Files (x86)\\VRX58Q", ["s", "quiet", "/log"])
        pfx = cls.pfx

        # The application runs with its window, and the service, when the re-install starts.
        # (The application comes first: Wine ends the services when no program runs.)
        pfx.start([cls.app_path])
        pfx.wait_for(lambda: any(e.event == "start" and e.program == APP_FILE for e in pfx.journal()))
        cls.app_window = pfx.wait_for(lambda: pfx.window_exists(APP_NAME), timeout=120, interval=2)
        # Running as the control manager reports it, then as the service itself writes.
        cls.service_start = pfx.start_service("VRX58QRaidService")
        cls.service_running = cls.service_start.rc == 0 and pfx.wait_for(
            lambda: any(e.event == "service-running" for e in pfx.journal()), timeout=120)
        time.sleep(1.5)  # keep the re-install's file times clearly apart from the first's
        cls.reinstall_start = time.time()
        cls.reinstall = pfx.run([setup, "s"])
        cls.reinstalled = InstalledState(pfx, cls.install_dir)

        # As a deployment tool does: the command line that the entry gives.
        kind, command = cls.reinstalled.reg.value("HKLM", WOW64 + "Uninstall\\VRX58Q", "QuietUninstallString")
        cls.uninstall_twice(pfx, setup, command)

    def test_install_copies_service_tool(self):
        self.check_installed_files(self.installed, with_tool=True)

    def test_registry_below_wow6432node_without_run_value(self):
        self.check_uninstall_entry(WOW64)
        self.assertIsNone(self.installed.reg.key("HKLM", NATIVE + "Uninstall\\VRX58Q"))
        self.assert_state(self.pfx, reg=self.installed.reg, values=((WOW64 + "Run", APP_NAME, None),
                                                                    (NATIVE + "Run", APP_NAME, None)))

    def test_service_tool_registers_service(self):
        starts = self.installed.starts("Kelvrin.exe")
        self.assertEqual(["-i"], [s.detail.split()[-1] for s in starts])
        service = pr.service_key(self.installed.reg)
        self.assertIsNotNone(service, "service registered")
        kind, image = self.installed.reg.value("HKLM", service, "ImagePath")
        self.assertEqual('"%s" service' % self.app_path.lower(), image.lower())
        self.assertEqual((pr.REG_DWORD, 3), self.installed.reg.value("HKLM", service, "Start"))

    def test_compatibility_value_for_application(self):
        compat = self.installed.reg.key("HKCU", pr.COMPAT_KEY) or {}
        self.assertIn(self.app_path.lower(), [n.lower() for n in compat])

    def test_reinstall_stops_old_service_and_closes_application_before_copying(self):
        self.assert_ended(self.reinstall)
        self.assertTrue(self.app_window, "the application's window was up before the re-install")
        events = [e for e in self.reinstalled.journal if e.time >= self.reinstall_start]
        order = [(e.program, e.event, e.detail.split()[-1] if e.event == "start" else "")
                 for e in events if e.event in ("start", "WM_CLOSE")]
        self.assertEqual([("Kelvrin.exe", "start", "-k"), ("Kelvrin.exe", "start", "-u"),
                          (APP_FILE, "WM_CLOSE", ""), ("Kelvrin.exe", "start", "-i")], order)
        # The running service stopped on "-k".
        self.assertTrue(self.service_running, "the service ran before the re-install: net start said %r"
                        % self.service_start.out[-200:])
        kill_index, remove_index = (next(i for i, e in enumerate(events) if e.event == "start" and e.detail.endswith(w))
                                    for w in ("-k", "-u"))
        self.assertIn("service-stop", [e.event for e in events[kill_index:remove_index]])
        self.assertIn("0 service stopped", [e.detail for e in events[kill_index:remove_index]
                                            if e.program == "Kelvrin.exe" and e.event == "exit"])
        # The old tool in the install folder was run, and every file was written after it.
        kill = events[kill_index]
        self.assertIn(self.install_dir.lower() + "\\kelvrin.exe", kill.detail.lower())
        closed = next(e for e in events if e.event == "WM_CLOSE")
        for name in ("mingwm10.dll", APP_FILE.lower(), "kelvrin.exe"):
            self.assertGreater(self.reinstalled.ctimes[name], closed.time, name)

    def test_reinstall_replaces_links(self):
        for path, (info, ctime, ino) in self.installed.links.items():
            new = self.reinstalled.links.get(path)
            self.assertIsNotNone(new, path)
            self.assertGreater(new[1], self.reinstall_start, path)
            self.assertEqual((info.target, info.arguments), (new[0].target, new[0].arguments))

    def test_uninstall_removes_everything_and_the_service(self):
        self.check_uninstalled()
        self.assertIsNone(pr.service_key(self.removed.reg))
        words = [e.detail.split()[-1] for e in self.removed.starts("Kelvrin.exe", since=self.reinstall_start)]
        self.assertEqual(["-k", "-u", "-i", "-k", "-u"], words)


class Packages(Scenario):
    """The title bitmap selects the other setup.ini section; the bitmaps travel with it. The two
    packages as built install their own products."""

    @classmethod
    def setUpClass(cls):
        ini = make_ini(launch=0, turbo=("TurboVolume", TV_NAME, 1))
        cls.tv = pfx = new_prefix("pkg-title", "win32", "winxp")
        setup = pfx.copy_package(ini=ini, lorvane=True)
        cls.tv_result = pfx.run([setup, "s"])
        cls.tv_window = pfx.wait_for(lambda: pfx.window_exists(TV_NAME), timeout=120, interval=2)
        pfx.settle(kill=True)
        cls.tv_reg = pfx.registry()
        cls.tv_journal = pfx.journal()

        cls.plain = pfx2 = new_prefix("pkg-plain", "win32", "winxp")
        setup = pfx2.copy_package(ini=ini, lorvane=False, title_about=True)
        cls.plain_result = pfx2.run([setup, "s"])
        pfx2.settle(kill=True)
        cls.plain_reg = pfx2.registry()

        # The application refuses to start without its runtime library, and says why.
        os.remove(pr.to_unix(pfx2.path, "C:\\Program Files\\VRX58Q\\mingwm10.dll"))
        cls.no_runtime = pfx2.run(["C:\\Program Files\\VRX58Q\\" + APP_FILE], caption=APP_NAME, timeout=300)
        pfx2.settle(kill=True)

        # Both packages as built, each with its own setup.ini, installed side by side; then the
        # customised product removed from its installed copy.
        cls.shipped = pfx3 = new_prefix("pkg-shipped", "win32", "winxp")
        cls.shipped_runs = [pfx3.run([pfx3.copy_package(name="pkgplain", lorvane=False, title_about=False), "s"]),
                            pfx3.run([pfx3.copy_package(name="pkgtv", lorvane=True), "s"])]
        pfx3.settle(kill=True)
        cls.shipped_states = {f: InstalledState(pfx3, "C:\\Program Files\\" + f) for f in ("VRX58Q", "TurboVolume")}
        # A first removal stops short while its runtime library is held; the next one, once
        # the file is free, removes the same product.
        release = pfx3.hold_file("C:\\Program Files\\TurboVolume\\mingwm10.dll")
        try:
            cls.shipped_tv_held = pfx3.run(["C:\\Program Files\\TurboVolume\\Uninstall\\setup.exe", "SilentDel",
                                            "quiet"])
        finally:
            release()
        pfx3.settle(kill=True)
        cls.shipped_after_held = InstalledState(pfx3, "C:\\Program Files\\TurboVolume")
        cls.shipped_tv_removal = pfx3.run(["C:\\Program Files\\TurboVolume\\Uninstall\\setup.exe", "SilentDel"])
        pfx3.settle()
        cls.shipped_after_removal = pfx3.registry()

    def test_title_bitmap_package_uses_turbovolume_section(self):
        self.assert_ended(self.tv_result)
        folder = "C:\\Program Files\\TurboVolume\\"
        self.assert_state(self.tv, [folder + n for n in ("Lorvane.bmp", "title_about.bmp", APP_FILE)]
                          + [self.tv.desktop(TV_NAME + ".lnk")], missing=("C:\\Program Files\\VRX58Q",), reg=self.tv_reg,
                          values=((NATIVE + "Uninstall\\TurboVolume", "DisplayName", (pr.REG_SZ, TV_NAME)),
                                  (NATIVE + "Run", TV_NAME, (pr.REG_SZ, '"%s%s" min' % (folder, APP_FILE)))))

    def test_launch_in_silent_mode_starts_application_with_its_name(self):
        starts = [e for e in self.tv_journal if e.program == APP_FILE and e.event == "start"]
        self.assertEqual(1, len(starts))
        self.assertIn("c:\\program files\\turbovolume\\", starts[0].detail.lower())
        self.assertTrue(self.tv_window, "window captioned with the TURBOVOLUME AppName")

    def test_no_title_bitmap_means_no_bitmaps_even_with_title_about(self):
        self.assert_ended(self.plain_result)
        folder = "C:\\Program Files\\VRX58Q\\"
        self.assert_state(self.plain, [folder + APP_FILE], [folder + n for n in ("Lorvane.bmp", "title_about.bmp")],
                          reg=self.plain_reg,
                          values=((NATIVE + "Uninstall\\VRX58Q", "DisplayName", (pr.REG_SZ, APP_NAME)),))


    def test_shipped_packages_install_their_own_products_side_by_side(self):
        for run in self.shipped_runs:
            self.assert_ended(run)
        with open(os.path.join(LAB.package_dir, "setup.ini"), encoding="utf-8") as f:
            version = next(line.strip()[8:] for line in f if line.startswith("Version="))
        for folder, name, bitmaps in (("VRX58Q", APP_NAME, False), ("TurboVolume", TV_NAME, True)):
            with self.subTest(folder):
                state = self.shipped_states[folder]
                self.assertEqual(((pr.REG_SZ, name), (pr.REG_SZ, version),
                                  (pr.REG_SZ, '"%s\\Uninstall\\setup.exe" delpkg' % state.install_dir)),
                                 tuple(state.reg.value("HKLM", NATIVE + "Uninstall\\" + folder, n)
                                       for n in ("DisplayName", "DisplayVersion", "UninstallString")))
                self.assertIn(APP_FILE, state.files)
                self.assertEqual({"Lorvane.bmp", "title_about.bmp"} if bitmaps else set(),
                                 state.files & {"Lorvane.bmp", "title_about.bmp"})

    def test_removing_the_customised_product_keeps_the_plain_one(self):
        # Stopped short by the held library (exit 7): its entry and its title bitmap stay together.
        self.assertEqual(SetupFileBusy, self.shipped_tv_held.rc)
        self.assertIsNotNone(self.shipped_after_held.reg.key("HKLM", NATIVE + "Uninstall\\TurboVolume"))
        self.assertEqual({"Lorvane.bmp", "mingwm10.dll"}, self.shipped_after_held.files
                         & {"Lorvane.bmp", "mingwm10.dll", APP_FILE})
        self.assert_ended(self.shipped_tv_removal)
        self.assertIsNone(self.shipped_after_removal.key("HKLM", NATIVE + "Uninstall\\TurboVolume"))
        self.assert_state(self.shipped, ["C:\\Program Files\\VRX58Q\\" + APP_FILE], ["C:\\Program Files\\TurboVolume"])
        self.assertEqual(["C:\\Program Files\\VRX58Q\\Uninstall\\setup.exe"],
                         pr.installed_setups(self.shipped_after_removal))

    def test_application_without_runtime_library_refuses_to_start(self):
        self.assertEqual(1, self.no_runtime.rc)
        self.assertEqual(1, len(self.no_runtime.boxes), self.no_runtime.boxes)
        self.assertIn('"C:\\Program Files\\VRX58Q\\mingwm10.dll" is missing', self.no_runtime.boxes[0])


class Languages(Scenario):
    """The Program Files folder is the system's, whatever the UI and system language: a German
    Windows after XP calls it "Program Files" too (Wine names it so on every version). Every
    version from Vista on (Windows 8 to 10 included) registers the service and writes no Run
    value; XP writes the Run value. A copy installed before in another Program Files folder (as
    a German Windows XP or a Spanish 64-bit Windows named it) keeps its folder: the re-install
    replaces it there, with its service, and its uninstall removes it."""

    @classmethod
    def setUpClass(cls):
        cls.CASES = (
            # name, platform, Windows version, language, folder of the install, registry view,
            # and for an earlier copy the entry's value that names its folder
            ("de-xp", "win32", "winxp", "de_DE.UTF-8", "C:\\Program Files", NATIVE, None),
            ("es-xp", "win32", "winxp", "es_ES.UTF-8", "C:\\Program Files", NATIVE, None),
            ("es-win7", "win64", "win7", "es_ES.UTF-8", "C:\\Program Files (x86)", WOW64, None),
            ("de-win7", "win64", "win7", "de_DE.UTF-8", "C:\\Program Files (x86)", WOW64, None),
            ("en-win8", "win64", "win8", "en_US.UTF-8", "C:\\Program Files (x86)", WOW64, None),
            ("en-win81", "win64", "win81", "en_US.UTF-8", "C:\\Program Files (x86)", WOW64, None),
            ("en-win10", "win64", "win10", "en_US.UTF-8", "C:\\Program Files (x86)", WOW64, None),
            ("de-xp earlier copy", "win32", "winxp", "de_DE.UTF-8", "C:\\Programme", NATIVE, "UninstallString"),
            ("es-win7 earlier copy", "win64", "win7", "es_ES.UTF-8", "C:\\Program Files", WOW64, "InstallLocation"),
        )
        cls.outcomes = {}
        for name, arch, version, lc_all, parent, reg_prefix, earlier in cls.CASES:
            pfx = new_prefix("lang-" + name.replace(" ", "-"), arch, version)
            setup = pfx.copy_package(ini=make_ini(), lorvane=False)
            if earlier:
                cls.place_earlier_copy(pfx, setup, arch, lc_all, parent, reg_prefix, earlier)
            result, log = pfx.run_logged([setup, "s"], "setup", lc_all=lc_all)
            pfx.settle(kill=True)
            system = "C:\\Program Files (x86)" if arch == "win64" else "C:\\Program Files"
            outcome = dict(pfx=pfx, result=result, reg=pfx.registry(), journal=pfx.journal(), log=log,
                           installed=pfx.exists(parent + "\\VRX58Q\\" + APP_FILE),
                           in_system=pfx.exists(system + "\\VRX58Q"))
            if earlier:
                outcome["removal"] = pfx.run([parent + "\\VRX58Q\\Uninstall\\setup.exe", "SilentDel"], lc_all=lc_all)
                pfx.settle(kill=True)
                outcome["after removal"] = pfx.registry()
            cls.outcomes[name] = outcome

    @staticmethod
    def place_earlier_copy(pfx, setup, arch, lc_all, parent, reg_prefix, value):
        """An install in `parent`, as a setup that chose that folder left it: installed, moved
        there with its service, and its uninstall entry naming it by `value` (an unquoted
        "UninstallString" without "InstallLocation", as earlier versions wrote it)."""
        assert pfx.run([setup, "s"], lc_all=lc_all).rc == SetupSucceeded
        pfx.settle(kill=True)
        system = "C:\\Program Files (x86)" if arch == "win64" else "C:\\Program Files"
        pfx.make_dir(parent)
        os.rename(pr.to_unix(pfx.path, system + "\\VRX58Q"), pr.to_unix(pfx.path, parent) + "/VRX58Q")
        key = "HKLM\\" + reg_prefix + "Uninstall\\VRX58Q"
        folder = parent + "\\VRX58Q"
        if value == "InstallLocation":
            pfx.run(["reg", "add", key, "/v", "InstallLocation", "/d", folder, "/f"])
        else:
            pfx.run(["reg", "delete", key, "/v", "InstallLocation", "/f"])
            pfx.run(["reg", "add", key, "/v", "UninstallString", "/d", folder + "\\Uninstall\\setup.exe delpkg", "/f"])
        if arch == "win64":
            pfx.run([folder + "\\Kelvrin.exe", "-i"])
        pfx.settle(kill=True)

    def test_program_files_names(self):
        for name, _, _, _, parent, reg_prefix, _ in self.CASES:
            with self.subTest(name):
                pfx, result, reg = (self.outcomes[name][k] for k in ("pfx", "result", "reg"))
                self.assert_ended(result)
                self.assertTrue(self.outcomes[name]["installed"])
                self.assertEqual((pr.REG_SZ, '"%s\\VRX58Q\\Uninstall\\setup.exe" delpkg' % parent),
                                 reg.value("HKLM", reg_prefix + "Uninstall\\VRX58Q", "UninstallString"))

    def test_service_from_version_6_on_and_run_value_before(self):
        for name, _, version, _, parent, reg_prefix, _ in self.CASES:
            with self.subTest(name):
                reg = self.outcomes[name]["reg"]
                run_value = reg.value("HKLM", reg_prefix + "Run", APP_NAME)
                if version == "winxp":
                    self.assertIsNone(pr.service_key(reg))
                    self.assertEqual((pr.REG_SZ, '"%s\\VRX58Q\\%s" min' % (parent, APP_FILE)), run_value)
                else:
                    self.assertIsNotNone(pr.service_key(reg), "service registered")
                    self.assertIsNone(run_value)


    def test_an_earlier_copy_is_replaced_and_removed_in_its_own_folder(self):
        for name, arch, _, _, parent, reg_prefix, earlier in self.CASES:
            if not earlier:
                continue
            with self.subTest(name):
                outcome = self.outcomes[name]
                pfx, reg, folder = outcome["pfx"], outcome["reg"], parent + "\\VRX58Q"
                self.assert_state(pfx, log=outcome["log"], log_has=(
                    'install folder %s: the installed copy\'s, from the uninstall entry\'s "%s"' % (folder, earlier),)
                    + (('after "-u": service "%s" is gone' % pr.SERVICE_NAME,) if arch == "win64" else ()))
                # One install remains, in its folder.
                self.assertEqual([folder + "\\Uninstall\\setup.exe"], pr.installed_setups(reg))
                self.assertFalse(outcome["in_system"])
                if arch == "win64":
                    # The old service was stopped and removed by its own tool, then registered again.
                    tools = [e.detail.lower() for e in outcome["journal"] if e.program == "Kelvrin.exe"
                             and e.event == "start"]
                    self.assertEqual(['"%s\\kelvrin.exe" %s' % (folder.lower(), w) for w in ("-k", "-u", "-i")],
                                     [t[t.index('"'):] for t in tools[-3:]])
                    kind, image = reg.value("HKLM", pr.service_key(reg), "ImagePath")
                    self.assertTrue(image.lower().startswith('"%s\\' % folder.lower()), image)
                # Its uninstall removes it all.
                self.assertEqual(SetupSucceeded, outcome["removal"].rc)
                after = outcome["after removal"]
                self.assertEqual([], pr.installed_setups(after))
                self.assertIsNone(pr.service_key(after))
                self.assertFalse(pfx.exists(folder))


def ini_bytes(text, encoding="utf-8", bom=False):
    """setup.ini as bytes in an encoding, with CRLF line ends and optionally a byte-order mark."""
    data = text.replace("\n", "\r\n").encode("utf-16-le" if encoding == "utf-16" else encoding)
    if bom:
        data = ("\ufeff".encode("utf-16-le") if encoding == "utf-16" else b"\xef\xbb\xbf") + data
    return data


def dangling_references(pfx, before, after):
    """What an install left that points at nothing: uninstall entries, Run values and shortcuts
    (those the snapshots show as new) whose program does not exist."""
    problems = []
    for (root, key), values in after["registry"].items():
        if (root, key) in before["registry"] and before["registry"][(root, key)] == values:
            continue
        for name, (kind, data) in values.items():
            names = ("UninstallString", "QuietUninstallString", "DisplayIcon", "InstallLocation")
            if kind != pr.REG_SZ or not (name in names or key.lower().endswith("\\run")):
                continue
            # A command line starts with the quoted program; the icon and location are paths.
            target = data[1:data.index('"', 1)] if data.startswith('"') else data
            if not pfx.exists(target):
                problems.append("%s\\%s %s -> %s" % (key, name, data, target))
    drive_c = os.path.join(pfx.path, "drive_c")
    for path in set(after["files"]) - set(before["files"]):
        if path.lower().endswith(".lnk"):
            link = pr.read_shell_link(os.path.join(drive_c, path))
            if not pfx.exists(link.target):
                problems.append("%s -> %s" % (path, link.target))
    return problems


REFUSED, INSTALLS = "refused", "installs"
CHANGED = '%s" was changed after the package was built; get the package again from the vendor'


def unverified_copies(log, catalogue=True):
    """The files of the package that an install's log shows copied and not verified where they
    went (setup.exe and setup.ini are not in the catalogue); without a catalogue, whether the log
    says that nothing was verified."""
    if not catalogue:
        said = "the package is not verified: this setup.exe carries no catalogue of its files" in log
        return [] if said and "verified (SHA-256" not in log else ["no word that the package is not verified"]
    copied = [line[line.rindex(" to ") + 4:] for line in log.replace("\r\n", "\n").split("\n")
              if "  copied " in line]
    return [path for path in copied if not path.lower().endswith(("\\setup.exe", "\\setup.ini"))
            and path + ": verified (SHA-256 " not in log]


class Refusals(Scenario):
    """A corpus of setup.ini files for the silent install: each is refused with exit code 2,
    its reason in a message and in the log, and leaves the prefix exactly as it was; or it
    installs completely and consistently (every uninstall entry, Run value and shortcut points
    at a program that exists, every copied file of the package verified against setup.exe's
    catalogue), and the silent uninstall removes it again. A row may change the package as
    copy_package allows (files dropped or added, a setup.exe without a catalogue). A locked
    executable fails the install without starting the application."""

    LONG = "x" * 10000
    CASES = (
        # The names the file system would not keep, one by one.
        ("empty folder", make_ini(folder=""), '"APPFolderName" in setup.ini is empty'),
        ("folder dot", make_ini(folder="."), "names a folder of its own"),
        ("folder dot dot", make_ini(folder=".."), "names a folder of its own"),
        ("folder of dots", make_ini(folder="..."), "ends with a dot"),
        ("folder with backslash", make_ini(folder="VRX\\58Q"), "'\\'"),
        ("folder with slash", make_ini(folder="../VRX58Q"), "'/'"),
        ("folder with drive colon", make_ini(folder="D:VRX58Q"), "':'"),
        ("folder with trailing space", make_ini(folder='"Turbo "'), "ends with a space"),
        ("folder with trailing dot", make_ini(folder="Turbo."), "ends with a dot"),
        ("folder with leading space", make_ini(folder='" Turbo"'), "starts with a space"),
        ("folder with control character", make_ini(folder="Tur\x01bo"), "control character"),
        ("folder CON", make_ini(folder="CON"), 'device name "CON"'),
        ("folder nul.txt", make_ini(folder="nul.txt"), 'device name "nul"'),
        ("folder COM1", make_ini(folder="COM1"), 'device name "COM1"'),
        ("folder LPT9.log", make_ini(folder="LPT9.log"), 'device name "LPT9"'),
        ("folder prn", make_ini(folder="prn"), 'device name "prn"'),
        ("folder aux", make_ini(folder="aux"), 'device name "aux"'),
    ) + tuple(("folder with '%s'" % c, make_ini(folder="VRX%s58Q" % c), "'%s'" % c) for c in '<>"|?*') + (
        ("empty file name", make_ini(app_file=""), '"APPFileName" in setup.ini is empty'),
        ("file with path", make_ini(app_file="..\\" + APP_FILE), "'\\'"),
        ("file named like a device", make_ini(app_file="lpt1.exe"), 'device name "lpt1"'),
        ("file named like the runtime", make_ini(app_file="mingwm10.dll"), "another file"),
        ("name with path", make_ini(name="..\\..\\Elsewhere"), "'\\'"),
        ("name of dots", make_ini(name="..."), "ends with a dot"),
        ("name with bar", make_ini(name="RAID | Manager"), "'|'"),
        ("name Uninstall", make_ini(name="Uninstall"), "uninstall shortcut"),
        # Values far too long for a path: refused, naming the setting.
        ("long folder", make_ini(folder="V" * 250), '"APPFolderName" in setup.ini is too long'),
        ("10,000-character folder", make_ini(folder=LONG), '"APPFolderName" in setup.ini is too long'),
        ("10,000-character file", make_ini(app_file=LONG), '"APPFileName" in setup.ini is too long'),
        ("10,000-character name", make_ini(name=LONG), '"AppName" in setup.ini is too long'),
        # What installs.
        ("10,000-character version", make_ini(version=LONG), INSTALLS),
        ("UTF-16 with byte-order mark, Chinese", ini_bytes(make_ini(folder="瑞德", name="瑞德 RAID 管理員"),
                                                          "utf-16", bom=True), INSTALLS),
        ("UTF-8 with byte-order mark, Japanese", ini_bytes(make_ini(folder="レイド", name="レイド マネージャー"),
                                                          bom=True), INSTALLS),
        ("UTF-8 with byte-order mark, Korean and accents",
         ini_bytes(make_ini(folder="Café RAID", name="레이드 관리자 é"), bom=True), INSTALLS),
        ("UTF-8 without byte-order mark", ini_bytes(make_ini(folder="Plain8")), INSTALLS),
        ("UTF-16 without byte-order mark", ini_bytes(make_ini(folder="Plain16"), "utf-16"), INSTALLS),
        ("duplicate keys", make_ini(folder="First") + "APPFolderName=Second\n", INSTALLS),
        ("missing sections", "[Startup]\nVersion=1.2.3\n", INSTALLS),
        ("empty file", "", INSTALLS),
        ("binary garbage", bytes((i * 73 + 41) % 256 for i in range(4096)), INSTALLS),
        # Packages that lack what they may lack, removed by what they installed.
        ("no setup.ini", None, INSTALLS, dict(drop=("setup.ini",))),
        ("English texts only", make_ini(folder="EnglishOnly"), INSTALLS, dict(drop=LANGUAGE_DLLS[1:])),
        # A file that the catalogue does not list is refused before anything is touched; a
        # developer's own build has no catalogue and installs unverified.
        ("title bitmap added to the plain package", make_ini(turbo=("TurboVolume", TV_NAME, 0)),
         'Application\\Lorvane.bmp" is not part of the package as it was built; get the package again from the vendor',
         dict(add=("Application\\Lorvane.bmp",))),
        ("a developer's build without a catalogue", make_ini(folder="DevBuild"), INSTALLS, dict(catalogue=False)),
    )

    @classmethod
    def setUpClass(cls):
        cls.pfx = pfx = new_prefix("refusals", "win32", "winxp")
        cls.outcomes = []
        pfx.settle()
        before = pfx.snapshot()
        for i, (name, ini, expected, *options) in enumerate(cls.CASES):
            package = options[0] if options else {}
            setup = pfx.copy_package(name="pkg%d" % i, ini=ini, lorvane=False, **package)
            result, log = pfx.run_logged([setup, "s"], "case-%d" % i)
            pfx.settle(kill=True)
            after = pfx.snapshot()
            outcome = {"result": result, "diff": winelab.snapshot_diff(before, after), "package": package,
                       "dropped": package.get("drop", ()), "log": log}
            if expected == INSTALLS:
                outcome["dangling"] = dangling_references(pfx, before, after)
                remover = pr.installed_setups(pfx.registry())[0] if package.get("drop") else setup
                outcome["removal"] = pfx.run([remover, "SilentDel"])
                pfx.settle(kill=True)
                after = pfx.snapshot()
                outcome["after removal"] = winelab.snapshot_diff(before, after)
            cls.outcomes.append((name, expected, outcome))
            before = after   # the next case starts from what this one left

        # Quiet runs of a refused setup.ini show no window at all; the log says why.
        cls.quiet = []
        setup = pfx.copy_package(name="pkgquiet", ini=make_ini(folder='"Turbo "'), lorvane=False)
        for i, words in enumerate((["quiet"], ["s", "quiet"], ["SilentDel", "quiet"])):
            cls.quiet.append((words,) + pfx.run_logged([setup] + words, "quiet-%d" % i))

        # A good install, then the same package again while its executable is held open.
        setup = pfx.copy_package(name="pkglock", ini=make_ini(launch=1), lorvane=False)
        cls.good = pfx.run([setup, "s"])
        pfx.settle(kill=True)
        release = pfx.hold_file("C:\\Program Files\\VRX58Q\\" + APP_FILE)
        cls.lock_start = time.time()
        try:
            cls.locked = pfx.run([setup, "s"])
            time.sleep(3)
        finally:
            release()
        pfx.settle(kill=True)
        cls.lock_journal = pfx.journal()

    def test_refused_configurations_touch_nothing_and_say_why(self):
        for name, expected, outcome in self.outcomes:
            if expected == INSTALLS:
                continue
            with self.subTest(name):
                result = outcome["result"]
                self.assertEqual(SetupRefused, result.rc)
                self.assertEqual(1, len(result.boxes), result.boxes)
                self.assertIn(expected, result.boxes[0])
                self.assertIn("message: " + result.boxes[0][:60], outcome["log"].replace("\r\n", "\n"))
                self.assertEqual([], outcome["diff"])

    def test_accepted_configurations_install_consistently_and_are_removed(self):
        for name, expected, outcome in self.outcomes:
            if expected != INSTALLS:
                continue
            with self.subTest(name):
                self.assert_ended(outcome["result"])
                self.assertTrue(any(line.startswith("added files") and line.endswith(".lnk")
                                    for line in outcome["diff"]), outcome["diff"])
                self.assertEqual([], outcome["dangling"])
                # What the package lacks, its uninstall folder lacks too: the uninstall falls
                # back to the defaults and to English.
                self.assertEqual([], [line for line in outcome["diff"] for d in outcome["dropped"]
                                      if line.lower().endswith(("uninstall/" + d).lower())])
                self.assertEqual([], unverified_copies(outcome["log"], outcome["package"].get("catalogue", True)))
                self.assert_ended(outcome["removal"])
                self.assertEqual([], outcome["after removal"])

    def test_quiet_refusals_show_no_window_and_log_why(self):
        for words, result, log in self.quiet:
            with self.subTest(" ".join(words)):
                self.assert_ended(result, SetupRefused, windows=[])
                self.assert_state(self.pfx, log=log, log_has=('message: The setting "APPFolderName" in setup.ini is '
                                                              '"Turbo "', "setup exit code 2"))

    def test_locked_executable_fails_install_without_launch(self):
        self.assertEqual(SetupSucceeded, self.good.rc)
        self.assertEqual(SetupFileBusy, self.locked.rc)
        late_starts = [e for e in self.lock_journal
                       if e.program == APP_FILE and e.event == "start" and e.time >= self.lock_start]
        self.assertEqual([], late_starts)


# Where the setup program keeps an install's journal and the old files it replaced.
JOURNAL_FOLDER = "C:\\ProgramData\\VRX58Q setup"
VICTIM = "C:\\windows\\victim.txt"
# Files of others that a link planted in the temporary folder points at.
SWEEP_VICTIMS = ("C:\\victim-a", "C:\\victim-b")
LOG_VICTIM = "C:\\victim-log.txt"
FOREIGN_INSTALL = "C:\\Program Files\\Elsewhere\\VRX58Q"


def journal_text(install_dir, records, plan_end=True):
    """A journal as the setup program writes it, of a process that has ended."""
    return ("setup journal 1\nprocess\t4000000\t1\ninstall\t%s\napp\t%s\n" % (install_dir, APP_NAME)
            + "".join(record + "\n" for record in records) + ("plan end\n" if plan_end else ""))


def fill_volume(path):
    """Writes a file "filler" into the file system at path until it is full."""
    fd = os.open(os.path.join(path, "filler"), os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(fd, b"\0" * 65536):
            pass
    except OSError:
        pass
    finally:
        os.close(fd)


def leftover_kept_files(pfx):
    """Kept old files of an install that are still there: the journal folder of the product,
    and the temporary rollback folders of earlier versions."""
    left = pfx.temp_files("setup-rollback-*", system=False)
    if pfx.exists(JOURNAL_FOLDER):
        left.append(JOURNAL_FOLDER)
    return left


def unrolled_steps(log):
    """The changes that an install's log records and its rollback does not put back."""
    lines = [line.split("  ", 1)[-1] for line in log.replace("\r\n", "\n").split("\n")]
    kept = {line[len("kept the old "):line.rindex(" as ")] for line in lines if line.startswith("kept the old ")}
    expected = []
    for line in lines:
        if line.startswith("kept the old "):
            expected.append("rollback: restored the old " + line[len("kept the old "):line.rindex(" as ")])
        elif line.startswith("copied ") and line[line.rindex(" to ") + 4:] not in kept:
            expected.append("rollback: deleted " + line[line.rindex(" to ") + 4:])
        elif line.startswith("shortcut ") and line[9:line.rindex(" -> ")] not in kept:
            expected.append("rollback: deleted " + line[9:line.rindex(" -> ")])
        elif line.startswith("folder created: "):
            expected.append("rollback: removed the folder " + line[len("folder created: "):])
        elif line.startswith("key created: "):
            expected.append("rollback: deleted the key " + line[len("key created: "):])
        elif line.startswith("registry "):
            value = line[len("registry "):line.index('" = ') + 1]
            expected.append(("rollback: restored ", "rollback: deleted ", value))
    missing = []
    for step in expected:
        if isinstance(step, tuple):
            if step[0] + step[2] not in lines and step[1] + step[2] not in lines:
                missing.append(step[0] + step[2])
        elif step not in lines:
            missing.append(step)
    return missing


# The points of a Rollbacks row at which its fault action goes on: the action is a generator
# function whose every `yield` names the point it waits for. A new kind of fault is one such
# function and a row that names it.
POINTS = ("start", "after the install", "before the run", "after the run", "before the last snapshot", "at the end")


class FaultRun:
    """One row's prefix, package and install folder, driven through the points of its fault."""

    def __init__(self, pfx, arch, fault_row):
        self.pfx, self.extra, self.title, self.pristine = pfx, {}, False, None
        self.install_dir = "C:\\Program Files%s\\VRX58Q" % (" (x86)" if arch == "win64" else "")
        self.log = os.path.join(pfx.work, "setup.log")
        self.action = fault_row[0](self, *fault_row[1:]) if fault_row else iter(())
        self.waiting = "start"

    def reach(self, point):
        """Lets the fault action run while it waits for this point."""
        while self.waiting == point:
            self.waiting = next(self.action, None)
        assert self.waiting is None or POINTS.index(self.waiting) > POINTS.index(point), (self.waiting, point)

    def path(self, path):
        return path.replace("{install}", self.install_dir)

    def take_pristine(self):
        self.pfx.settle()
        self.pristine = self.pfx.snapshot()

    def start_app(self, close=None):
        """The installed application, started as a user would (SETUP_TEST_APP_CLOSE: how it closes)."""
        self.pfx.start([self.install_dir + "\\" + APP_FILE], extra_env={"SETUP_TEST_APP_CLOSE": close} if close else {})
        assert self.pfx.wait_for(lambda: self.pfx.window_exists(APP_NAME), timeout=120, interval=1)

    def start_service(self, close=None):
        """The service runs while the application does (Wine ends services with the last program)."""
        self.start_app(close)
        assert self.pfx.start_service(pr.SERVICE_NAME).rc == 0

    def resume_after(self, where, action):
        """For a run that pauses `where` (a test seam; its log says "test: paused <where>"): a
        thread that does action() once the run has paused there, then lets it go on."""
        resume = os.path.join(self.pfx.work, "resume")
        self.pfx.extra_env["SETUP_TEST_RESUME_FILE"] = winelab.windows_path(resume)

        def work():
            if self.pfx.wait_for(lambda: "test: paused " + where in winelab.read_text(self.log), timeout=300):
                action()
            open(resume, "w").close()
        thread = threading.Thread(target=work)
        thread.start()
        return thread

    def kill_install(self, setup, changes):
        """Starts `setup s`, kills it (SIGKILL, a power cut for the program) once it has made its
        k-th change, and waits for the prefix's other programs to end."""
        log = os.path.join(self.pfx.work, "killed.log")
        proc = self.pfx.start([setup, "s", "/log=" + winelab.windows_path(log)],
                              extra_env={"SETUP_TEST_PAUSE_AFTER_STEP": str(changes)})
        assert self.pfx.wait_for(lambda: "test: paused after change %d" % changes in winelab.read_text(log),
                                 timeout=120), "the install never reached change %d" % changes
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait(timeout=60)
        self.pfx.settle()

    def plant_admin_journal(self, text):
        """A journal as a run with administrator rights leaves it: only its owner may write the
        folder and the file (under Wine, whose owner is everyone's, a mode that others may not
        write)."""
        self.pfx.write(JOURNAL_FOLDER + "\\journal.txt", text)
        os.chmod(pr.to_unix(self.pfx.path, JOURNAL_FOLDER), 0o755)
        os.chmod(pr.to_unix(self.pfx.path, JOURNAL_FOLDER + "\\journal.txt"), 0o644)


def hold(run, path, mode=""):
    """Another program holds a file open while the run goes ("exclusive": against reading too;
    "image": mapped as a running program is, which the system then denies deleting)."""
    yield "before the run"
    release = run.pfx.hold_file(run.path(path), exclusive=mode == "exclusive", image=mode == "image")
    yield "after the run"
    release()


def programs_taken(run):
    yield "after the install"
    run.pfx.write(pr.COMMON_PROGRAMS + "\\" + APP_NAME, "a file where the Programs group would go\n")


def app(run, close):
    yield "before the run"
    run.start_app(close)


def service(run, close=None):
    yield "before the run"
    run.start_service(close)


def service_tool(run, behaviour):
    """SETUP_TEST_SERVICE_TOOL: the tool (installed with it) returns before its running service
    has stopped or gone."""
    run.pfx.extra_env["SETUP_TEST_SERVICE_TOOL"] = behaviour
    yield "before the run"
    run.start_service()


def no_tool(run, service_state="service stopped"):
    """The installed service tool deleted."""
    run.take_pristine()
    yield "after the install"
    os.remove(pr.to_unix(run.pfx.path, run.install_dir + "\\Kelvrin.exe"))
    yield "before the run"
    if service_state == "service running":
        run.start_service()


def disk(run, fills=None):
    """A small volume (tmpfs) over the emptied folder that holds the install folder: too small
    for the install, or, "fills", with room when it is checked and none once the install has
    made its first change. Skips the group where mounting is refused."""
    yield "after the install"
    path = pr.to_unix(run.pfx.path, ntpath.dirname(run.install_dir))
    for entry in os.listdir(path):
        subprocess.run(["rm", "-rf", os.path.join(path, entry)], check=True)
    proc = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + ("8m" if fills else "512k"), "tmpfs", path],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if proc.returncode != 0:
        raise unittest.SkipTest("the disk-space rows need `mount -t tmpfs` (root), which was refused: "
                                + proc.stdout.strip())
    if fills:
        run.pfx.extra_env["SETUP_TEST_PAUSE_AFTER_STEP"] = "1"
        during = run.resume_after("after change 1", lambda: fill_volume(path))
        yield "after the run"
        during.join()
        yield "before the last snapshot"
        if os.path.exists(os.path.join(path, "filler")):
            os.remove(os.path.join(path, "filler"))
    yield "at the end"
    subprocess.run(["umount", path], check=True)


def kill(run, changes):
    """The install's process killed after its k-th change; the row's run is the next one."""
    run.take_pristine()
    yield "before the run"
    run.kill_install(run.setup, changes)


def held_after_kill(run, changes):
    """Killed with setup.ini replaced by a newer one; the installed one is then held."""
    yield "before the run"
    run.extra["old ini"] = winelab.read_bytes(pr.to_unix(run.pfx.path, run.install_dir + "\\Uninstall\\setup.ini"))
    run.kill_install(run.pfx.copy_package(name="pkg2", ini=make_ini(version="3.00.00"), lorvane=False), changes)
    release = run.pfx.hold_file(run.install_dir + "\\Uninstall\\setup.ini")
    yield "after the run"
    release()
    folder = pr.to_unix(run.pfx.path, JOURNAL_FOLDER)
    run.extra["kept"] = {n: winelab.read_bytes(os.path.join(folder, n)) for n in os.listdir(folder)}
    run.extra["next"] = run.pfx.run_logged([run.setup, "s"], "next")


def planted_journal(run):
    """A journal where the setup program looks for one, that asks to delete a file of the
    Windows folder, in a folder and file that standard users may write."""
    yield "after the install"
    pfx = run.pfx
    pfx.write(JOURNAL_FOLDER + "\\journal.txt", journal_text("C:\\windows\\VRX58Q", ["file\t%s\t" % VICTIM]))
    pfx.write(VICTIM, "a file of the system\n")
    shared = pfx.helper("share", JOURNAL_FOLDER, JOURNAL_FOLDER + "\\journal.txt")
    assert shared.rc == 0, shared
    # Wine keeps no access list of its own: it shows the file's mode as one.
    os.chmod(pr.to_unix(pfx.path, JOURNAL_FOLDER), 0o777)
    os.chmod(pr.to_unix(pfx.path, JOURNAL_FOLDER + "\\journal.txt"), 0o666)


def live_journal(run):
    """The journal of a setup that still runs, holding it open."""
    yield "after the install"
    marker = run.install_dir + "\\marker.txt"
    run.plant_admin_journal(journal_text(run.install_dir, ["file\t%s\t" % marker]))
    run.pfx.write(marker, "made by the setup that still runs\n")
    yield "before the run"
    release = run.pfx.hold_file(JOURNAL_FOLDER + "\\journal.txt")
    yield "after the run"
    release()


def foreign_journal(run):
    yield "after the install"
    victim = FOREIGN_INSTALL + "\\victim.txt"
    run.plant_admin_journal(journal_text(FOREIGN_INSTALL, ["folder\t" + FOREIGN_INSTALL, "file\t%s\t" % victim]))
    run.pfx.write(victim, "a file of another install\n")


def empty_journal(run):
    """A journal without its plan (a power cut before the first flush), then a first install."""
    yield "after the install"
    run.plant_admin_journal("")
    run.extra["first"] = run.pfx.run_logged([run.setup, "s"], "first")


def load(run):
    """The old runtime library loaded by another program during the run and the next one."""
    yield "before the run"
    unload = run.pfx.hold_file(run.install_dir + "\\mingwm10.dll", image=True)
    yield "after the run"
    run.extra["next"] = run.pfx.run_logged([run.setup, "s"], "next")
    unload()


def sweep(run):
    """Rollback folders of earlier versions in the temporary folder: one as they left it, a link
    to a folder of someone else's, and one that becomes such a link once the program has listed
    it."""
    yield "after the install"
    temp = winelab.temp_folder(run.pfx)
    victims = [pr.to_unix(run.pfx.path, v) for v in SWEEP_VICTIMS]
    # Named as the old files are, so that only the check of the handle keeps them.
    for victim in victims:
        for name in ("1.old", "2.old"):
            winelab.write_text(os.path.join(victim, name), "a file of someone else's\n")
    os.symlink(victims[0], os.path.join(temp, "setup-rollback-900001-1"))
    for folder, names in (("setup-rollback-900002-1", ("1.old",)), ("setup-rollback-900003-1", ("1.old", "2.old"))):
        for n in names:
            winelab.write_text(os.path.join(temp, folder, n), "an old file that an earlier run kept\n")

    def swap():
        shutil.rmtree(os.path.join(temp, "setup-rollback-900002-1"))
        os.symlink(victims[1], os.path.join(temp, "setup-rollback-900002-1"))
    run.pfx.extra_env["SETUP_TEST_PAUSE_IN_SWEEP"] = "1"
    during = run.resume_after("after listing the old rollback folders", swap)
    yield "after the run"
    during.join()


def log_link(run):
    """The default log's name in the temporary folder is a link to a file of someone else's."""
    yield "after the install"
    run.pfx.write(LOG_VICTIM, "a file of someone else's\n")
    os.symlink(pr.to_unix(run.pfx.path, LOG_VICTIM), os.path.join(winelab.temp_folder(run.pfx), "VRX58Q-setup.log"))


def change(run, path):
    """One byte of a file changed after the build; a title bitmap's row takes the customised
    package, installing into the same folder."""
    run.title = path.endswith(".bmp")
    yield "after the install"
    run.pfx.change_byte(run.path(path))


def throws(run, changes):
    """A C++ exception (as out of memory would throw) after the install's k-th change."""
    yield "before the run"
    run.pfx.extra_env["SETUP_TEST_THROW_AFTER_STEP"] = str(changes)


class Rollbacks(Scenario):
    """Real faults in the middle of an install or uninstall, and applications that close
    slowly, never or not at all (hung). A failed install exits with SetupFailed (SetupStillRunning:
    the application would not close, SetupDiskFull, SetupFileBusy: a file is held by another
    program), says why, and leaves the files (with their bytes), the uninstall entry and Run
    values, the shortcuts and the service's registration exactly as they were; its log shows
    each rollback step. A failed uninstall leaves the install complete and working. An install
    killed after its k-th change is rolled back by the next run, whatever that run does. The
    recovery acts only on a journal of the administrators' that names this install, keeps it
    while an old file cannot be put back, and removes one without its plan; kept files in use
    go at the next restart. The sweep of earlier versions' rollback folders and the default log
    never follow a link."""

    PKG, INSTALLED = "C:\\pkg\\", "{install}\\"
    # name, platform and Windows version, installed before, fault (a fault action and its
    # arguments), words (run from the package, or with "installed" from the install's
    # uninstall folder), exit code, text of the message
    CASES = (
        ("xp file held open", XP, True, (hold, INSTALLED + "mingwm10.dll", "exclusive"), ("s",),
         SetupFileBusy, "Fail to copy"),
        ("win7 file held open", WIN7, True, (hold, INSTALLED + "mingwm10.dll", "exclusive"), ("s",),
         SetupFileBusy, "Fail to copy"),
        ("xp Programs folder taken", XP, False, (programs_taken,), ("s",), SetupFailed, "Fail to create the folder"),
        ("win7 source executable locked", WIN7, False, (hold, PKG + "Application\\" + APP_FILE, "exclusive"),
         ("s",), SetupFileBusy, "Fail to copy"),
        ("win7 application never closes", WIN7, True, (app, "never"), ("s",), SetupStillRunning, "is still running"),
        ("xp application hung", XP, True, (app, "hang"), ("s",), SetupStillRunning, "is still running"),
        ("win7 application slow to close", WIN7, True, (app, "after=3000"), ("s",), SetupSucceeded, None),
        ("xp uninstall with nothing installed", XP, False, (), ("SilentDel",), SetupSucceeded, None),
        ("win7 uninstall while the application never closes", WIN7, True, (app, "never"),
         ("installed", "SilentDel"), SetupStillRunning, "is still running"),
        # A small volume as the install folder's parent: refused before anything is touched, or,
        # filled once the first change is made, full in the middle of the copy.
        ("xp disk too small", XP, False, (disk,), ("s",), SetupDiskFull, "MB are free"),
        ("xp disk full during the copy", XP, False, (disk, "fills"), ("s",), SetupDiskFull, "Fail to copy"),
        # The install's process killed after its k-th change; then the next run.
        ("xp re-install killed, then s", XP, True, (kill, 5), ("s",), SetupSucceeded, None),
        ("win7 re-install with the service killed, then SilentDel", WIN7, True, (kill, 8),
         ("SilentDel",), SetupSucceeded, None),
        ("xp first install killed, then SilentDel", XP, False, (kill, 3), ("SilentDel",), SetupSucceeded, None),
        ("win7 first install killed late, then s", WIN7, False, (kill, 22), ("s",), SetupSucceeded, None),
        # A journal that a standard user could have written, naming a file outside the install.
        ("xp journal planted by a user", XP, False, (planted_journal,), ("s",), SetupSucceeded, None),
        # A service tool that returns before its running service (slow to stop) has stopped.
        ("win7 service tool returns at once", WIN7, True, (service_tool, "at-once"), ("s",), SetupSucceeded, None),
        # Its service does not stop within the wait: nothing is touched, the registration stays.
        ("win7 service never stops", WIN7, True, (service_tool, "hung"), ("s",), SetupStillRunning, "does not stop"),
        # The silent runs with their progress in the wizard's window; a failure is a box, as in "s".
        ("win7 progress over an application slow to close", WIN7, True, (app, "after=3000"),
         ("s", "progress"), SetupSucceeded, None),
        ("xp progress uninstall while the application closes slowly", XP, True, (app, "after=3000"),
         ("installed", "SilentDel", "progress"), SetupSucceeded, None),
        ("xp progress with a file held open", XP, True, (hold, INSTALLED + "mingwm10.dll", "exclusive"),
         ("s", "progress"), SetupFileBusy, "Fail to copy"),
        # The executable held as a running program holds it: the system denies its deletion.
        ("win7 uninstall while the executable runs", WIN7, True, (hold, INSTALLED + APP_FILE, "image"),
         ("installed", "SilentDel"), SetupFileBusy, "in use by another program"),
        # The installed service tool deleted: the program stops and deletes the service itself.
        ("win7 uninstall without the service tool, service running", WIN7, True,
         (no_tool, "service running"), ("installed", "SilentDel", "quiet"), SetupSucceeded, None),
        ("win7 uninstall without the service tool, service stopped", WIN7, True, (no_tool,),
         ("SilentDel", "quiet"), SetupSucceeded, None),
        ("win7 re-install without the service tool, service running", WIN7, True,
         (no_tool, "service running"), ("s",), SetupSucceeded, None),
        # The recovery, when an old file cannot be put back (the next run puts it back), when the
        # journal's setup still runs, or when the journal names another install.
        ("xp re-install killed, then s while a file to restore is held", XP, True,
         (held_after_kill, 3), ("s",), SetupFailed, "could not be rolled back"),
        ("xp journal held by a running setup", XP, False, (live_journal,), ("s",), SetupBusy, None),
        ("xp journal of another install folder", XP, False, (foreign_journal,), ("s",), SetupSucceeded, None),
        # An empty journal (a power cut before the first flush), then two installs.
        ("xp empty journal, then two installs", XP, False, (empty_journal,), ("s",), SetupSucceeded, None),
        # The old runtime library loaded by another program: kept, but not deleted at the end.
        ("win7 re-installs while the old runtime library is loaded", WIN7, True, (load,), ("s",), SetupSucceeded, None),
        # The running service stopped by the failed install runs again after its rollback.
        ("win7 running service, application never closes", WIN7, True, (service, "never"), ("s",),
         SetupStillRunning, "is still running"),
        # Links planted in the temporary folder: old rollback folders (one swapped in after the
        # listing), and the default log.
        ("xp rollback folders of earlier versions, links among them", XP, False, (sweep,), ("s",),
         SetupSucceeded, None),
        ("xp default log planted as a link", XP, False, (log_link,), ("s", "quiet", "/log"), SetupSucceeded, None),
        # A file of the package changed by one byte after the build (below the package, or below
        # the install folder): refused where it was copied to, before anything of the package
        # ran. The uninstall does not run a temporary copy whose libraries are not the
        # catalogue's: it runs from the installed folder.
        ("xp application changed", XP, False, (change, PKG + "Application\\" + APP_FILE), ("s",),
         SetupRefused, CHANGED % ("C:\\pkg\\Application\\" + APP_FILE)),
        ("xp runtime library changed", XP, False, (change, PKG + "Application\\mingwm10.dll"),
         ("s",), SetupRefused, CHANGED % "C:\\pkg\\Application\\mingwm10.dll"),
        ("win7 service tool changed", WIN7, False, (change, PKG + "Application\\Kelvrin.exe"), ("s",),
         SetupRefused, CHANGED % "C:\\pkg\\Application\\Kelvrin.exe"),
        ("win7 language library changed", WIN7, False, (change, PKG + "setupFRA.dll"), ("s",),
         SetupRefused, CHANGED % "C:\\pkg\\setupFRA.dll"),
        ("xp title bitmap changed", XP, False, (change, PKG + "Application\\title_about.bmp"),
         ("s",), SetupRefused, CHANGED % "C:\\pkg\\Application\\title_about.bmp"),
        ("win7 re-install with the service tool changed", WIN7, True, (change, PKG + "Application\\Kelvrin.exe"),
         ("s",), SetupRefused, CHANGED % "C:\\pkg\\Application\\Kelvrin.exe"),
        ("xp uninstall with an installed library changed", XP, True,
         (change, INSTALLED + "Uninstall\\setupDEU.dll"), ("installed", "SilentDel"), SetupSucceeded, None),
        # A C++ exception (out of memory) after a middle change: rolled back as it unwinds.
        ("win7 re-install throws after change 8", WIN7, True, (throws, 8), ("s",), SetupFailed,
         "The setup stopped on an unexpected error (test exception after change 8)"),
    )
    # Faults whose run leaves the journal on purpose; tests of their own check them.
    KEEPS_JOURNAL = ((held_after_kill,), (live_journal,))

    @classmethod
    def setUpClass(cls):
        cls.outcomes = {}
        for i, (name, (arch, version), installed, fault_row, words, _, _) in enumerate(cls.CASES):
            pfx = new_prefix("rollback-%d" % i, arch, version)
            run = FaultRun(pfx, arch, fault_row)
            run.reach("start")
            run.setup = pfx.copy_package(ini=make_ini(turbo=("VRX58Q", APP_NAME, 0) if run.title else None),
                                         lorvane=run.title)
            if installed:
                first = pfx.run([run.setup, "s"])
                assert first.rc == SetupSucceeded, (name, first)
            run.reach("after the install")
            pfx.settle()
            before = pfx.snapshot()
            run.reach("before the run")
            program = run.install_dir + "\\Uninstall\\setup.exe" if words[0] == "installed" else run.setup
            argv = [program] + [w for w in words if w != "installed"]
            if "/log" not in words:
                argv.append("/log=" + winelab.windows_path(run.log))
            start = time.time()
            try:
                result = pfx.run(argv, timeout=300)
            finally:
                seconds = time.time() - start
                run.reach("after the run")
            pfx.settle(kill=True)
            text = winelab.read_text(run.log)
            run.reach("before the last snapshot")
            after = pfx.snapshot()
            run.reach("at the end")
            cls.outcomes[name] = dict(result=result, seconds=seconds, log=text, journal=pfx.journal(),
                                      diff=winelab.snapshot_diff(before, after), start=start, before=before,
                                      install_dir=run.install_dir, pfx=pfx, after=after, pristine=run.pristine,
                                      **run.extra)

    def rows(self, keep):
        """(row, outcome) of each row that keep(row) selects."""
        return [(row, self.outcomes[row[0]]) for row in self.CASES if keep(row)]

    def rows_of(self, action):
        """(row, outcome) of each row whose fault is this action."""
        return self.rows(lambda row: row[3][:1] == (action,))

    def expect(self, name, rc=SetupSucceeded, windows=None, log_has=(), log_lacks=(), exists=(), unchanged=False):
        """The row's outcome, checked: its exit code without a box (rc None: not checked here),
        texts its log holds and lacks, paths ("{install}" for its install folder) that exist,
        and, unchanged, a snapshot the run did not change."""
        outcome = self.outcomes[name]
        if rc is not None:
            self.assert_ended(outcome["result"], rc, windows)
        self.assert_state(outcome["pfx"], [p.replace("{install}", outcome["install_dir"]) for p in exists],
                          log=outcome["log"], log_has=log_has, log_lacks=log_lacks)
        if unchanged:
            self.assertEqual([], outcome["diff"], name)
        return outcome

    def test_failures_change_nothing_and_say_why(self):
        for (name, _, _, fault, words, rc, message), outcome in self.rows(
                lambda row: row[5] != SetupSucceeded and row[3][:1] not in self.KEEPS_JOURNAL):
            with self.subTest(name):
                self.assertEqual(rc, outcome["result"].rc)
                self.assertEqual(1, len(outcome["result"].boxes), outcome["result"].boxes)
                self.assertIn(message, outcome["result"].boxes[0])
                self.assertEqual([], outcome["diff"])
                self.assertEqual([], leftover_kept_files(outcome["pfx"]))
                if words[0] == "s" and fault != (disk,):
                    self.assertIn("result: the install failed and was rolled back", outcome["log"])
                    self.assertEqual([], unrolled_steps(outcome["log"]))

    def test_an_application_that_does_not_close_stops_before_anything_is_touched(self):
        for name in ("win7 application never closes", "xp application hung",
                     "win7 uninstall while the application never closes"):
            with self.subTest(name):
                outcome = self.expect(name, rc=None, log_lacks=("copied ", "deleted "))
                self.assertIn(APP_NAME, outcome["result"].boxes[0])
                # Ten seconds for the application, not for ever.
                self.assertLess(outcome["seconds"], 60)
        # On version 6 the service that the old tool removed is registered again.
        self.expect("win7 application never closes", rc=None, log_lacks=("rollback: started the service",),
                    log_has=("rollback: registering the service again with the old service tool",))
        self.expect("win7 uninstall while the application never closes", rc=None,
                    log_has=("the uninstall stops: registering the service again",))

    def test_an_application_slow_to_close_is_waited_for(self):
        outcome = self.expect("win7 application slow to close")
        app_events = [e for e in outcome["journal"] if e.program == APP_FILE and e.time >= outcome["start"]]
        closed = next(e for e in app_events if e.event == "WM_CLOSE")
        ended = next(e for e in app_events if e.event == "exit")
        self.assertGreater(ended.time - closed.time, 2.5)
        exe = pr.to_unix(outcome["pfx"].path, outcome["install_dir"] + "\\" + APP_FILE)
        self.assertGreater(os.stat(exe).st_ctime, ended.time)

    def test_progress_shows_the_running_wizard_that_nobody_can_press_and_that_ends_by_itself(self):
        for name, suffix, installed in (("win7 progress over an application slow to close", " - Installation Wizard", True),
                                        ("xp progress uninstall while the application closes slowly",
                                         " - Uninstallation Wizard", False)):
            with self.subTest(name):
                outcome = self.outcomes[name]
                result = outcome["result"]
                self.assert_ended(result)
                # The wizard's window: the bar moved on its own while the application closed,
                # and no button was ever enabled.
                self.assertEqual({APP_NAME + suffix}, {title for _, _, title in result.progress})
                positions = [pos for pos, _, _ in result.progress]
                self.assertEqual(sorted(positions), positions)
                self.assertGreater(len(set(positions)), 3, positions)
                self.assertEqual([], [buttons for _, buttons, _ in result.progress if buttons])
                pfx, install_dir = outcome["pfx"], outcome["install_dir"]
                paths = (install_dir + "\\" + APP_FILE, install_dir + "\\Uninstall\\setup.exe",
                         pfx.desktop(APP_NAME + ".lnk"))
                self.assert_state(pfx, *((paths, ()) if installed else ((), paths)))
                entries = [k for _, k in outcome["after"]["registry"] if k.endswith("\\Uninstall\\VRX58Q")]
                self.assertEqual(installed, bool(entries), entries)
                self.assertIn("result: installed" if installed else "result: uninstalled", outcome["log"])

    def test_the_next_run_rolls_an_interrupted_install_back(self):
        for (name, _, installed, _, words, _, _), _ in self.rows_of(kill):
            with self.subTest(name):
                outcome = self.expect(name, log_has=("recovery: the install into",
                                                     "recovery: the interrupted install was rolled back"))
                self.assertEqual([], leftover_kept_files(outcome["pfx"]))
                if words == ("SilentDel",):
                    # Nothing of either install is left.
                    self.assertEqual([], changes_left(outcome["pristine"], outcome["after"]))
                else:
                    self.expect(name, log_has=("result: installed",),
                                exists=("{install}\\" + APP_FILE, outcome["pfx"].desktop(APP_NAME + ".lnk")))
                if installed and words == ("s",):
                    # The same install as the first one, but for the links' new times.
                    diff = [line for line in winelab.snapshot_diff(outcome["before"], outcome["after"])
                            if not line.split(":")[0].endswith(".lnk")]
                    self.assertEqual([], diff)
        # The old service came back before the uninstall removed it.
        self.expect("win7 re-install with the service killed, then SilentDel",
                    log_has=("rollback: registering the service again with the old service tool",))

    def test_a_journal_others_could_write_is_ignored(self):
        self.expect("xp journal planted by a user", exists=(VICTIM,), log_lacks=("recovery: the install into",),
                    log_has=("is ignored, as others than the administrators may have written it: its access list "
                             "lets ", "result: installed"))

    def test_a_service_tool_that_returns_at_once_is_waited_for_through_the_service(self):
        outcome = self.expect("win7 service tool returns at once", log_has=(
            'after "-k": service "%s" is stopped' % pr.SERVICE_NAME, 'after "-u": service "%s" is gone' % pr.SERVICE_NAME))
        # The new registration took: the service is there again, for the new files.
        exits = [e.detail for e in outcome["journal"] if e.program == "Kelvrin.exe" and e.event == "exit"
                 and e.time >= outcome["start"]]
        self.assertEqual("0 service registered", exits[-1])
        self.assert_service_runs_the_installed_application(outcome)

    def assert_service_runs_the_installed_application(self, outcome):
        reg = outcome["pfx"].registry()
        kind, image = reg.value("HKLM", pr.service_key(reg), "ImagePath")
        self.assertTrue(image.lower().startswith('"%s\\%s" service' % (outcome["install_dir"].lower(), APP_FILE.lower())))

    def test_without_its_tool_the_service_is_stopped_and_deleted_through_the_manager(self):
        for (name, _, _, fault, words, _, _), _ in self.rows_of(no_tool):
            with self.subTest(name):
                outcome = self.expect(name, log_has=("stopped and deleted through the service control manager",
                                                     'after "DeleteService": service "%s" is gone' % pr.SERVICE_NAME)
                                      + (("result: installed",) if words == ("s",) else ()))
                self.assertEqual("service running" in fault, 'service "%s": stop asked' % pr.SERVICE_NAME
                                 in outcome["log"])
                self.assertEqual([], leftover_kept_files(outcome["pfx"]))
                if words == ("s",):
                    # The new tool registered the service again, for the new files.
                    self.assert_service_runs_the_installed_application(outcome)
                else:
                    self.assertIsNone(pr.service_key(outcome["pfx"].registry()))
                    self.assertEqual([], changes_left(outcome["pristine"], outcome["after"]))

    def test_a_file_changed_after_the_build_is_refused_before_anything_of_the_package_runs(self):
        for (name, platform, installed, _, words, _, _), outcome in self.rows_of(change):
            if words[0] != "s":
                continue
            with self.subTest(name):
                self.assertRegex(outcome["log"], r": changed after the package was built \(SHA-256 [0-9a-f]{64}; "
                                                 r"the catalogue lists [0-9a-f]{64} for ")
                # No program started but, in a re-install, the old tool that put its service back.
                words_run = [e.detail.split()[-1] for e in outcome["journal"]
                             if e.event == "start" and e.time >= outcome["start"]]
                self.assertEqual(["-k", "-u", "-i"] if installed and platform != XP else [], words_run)

    def test_the_uninstall_runs_a_temporary_copy_only_when_it_is_the_installed_one(self):
        self.expect("xp progress uninstall while the application closes slowly", rc=None, log_has=(
            "the uninstall's temporary copy is checked: the program is the installed one, and its 7 libraries are "
            "in the catalogue",))
        outcome = self.expect("xp uninstall with an installed library changed",
                              log_lacks=("the uninstall runs from a copy",))
        self.assertRegex(outcome["log"], r"the uninstall's temporary copy is not used: .*\\setupDEU\.dll: changed "
                                         r"after the package was built \(SHA-256 [0-9a-f]{64}; the catalogue lists")
        self.assertEqual([], [k for _, k in outcome["after"]["registry"] if k.endswith("\\Uninstall\\VRX58Q")])

    def test_silent_uninstall_of_nothing_changes_nothing(self):
        self.expect("xp uninstall with nothing installed", windows=[], unchanged=True, log_has=("is not installed",))

    def test_an_old_file_that_cannot_be_put_back_keeps_the_journal_for_the_next_run(self):
        name = "xp re-install killed, then s while a file to restore is held"
        ini = self.outcomes[name]["install_dir"] + "\\Uninstall\\setup.ini"
        outcome = self.expect(name, rc=None, log_has=('rollback: the old "%s" cannot be put back' % ini,),
                              log_lacks=("recovery: the interrupted install was rolled back", "result: installed"))
        self.assertEqual(SetupFailed, outcome["result"].rc)
        self.assertEqual(1, len(outcome["result"].boxes), outcome["result"].boxes)
        self.assertIn(ini, outcome["result"].boxes[0])
        # The journal and the only copy of the old setup.ini stay.
        self.assertIn("journal.txt", outcome["kept"])
        self.assertIn(outcome["old ini"], [data for n, data in outcome["kept"].items() if n.endswith(".old")])
        # Once the file is free, the next run puts it back, then installs.
        result, log = outcome["next"]
        self.assert_ended(result)
        self.assertIn("rollback: restored the old " + ini, log)
        self.assertLess(log.index("recovery: the interrupted install was rolled back"), log.index("result: installed"))
        self.assertEqual([], leftover_kept_files(outcome["pfx"]))

    def test_a_journal_of_a_running_setup_or_of_another_install_is_left_alone(self):
        self.expect("xp journal held by a running setup", SetupBusy, unchanged=True, exists=("{install}\\marker.txt",),
                    log_has=("is held by a setup program that is still running",))
        # The install goes on without the product's journal folder, which holds that journal.
        self.expect("xp journal of another install folder", exists=(FOREIGN_INSTALL + "\\victim.txt",),
                    log_lacks=("recovery: the install into",),
                    log_has=('is ignored: its install folder "%s" is not this setup\'s' % FOREIGN_INSTALL,
                             "the old files are kept in ", "result: installed"))

    def test_a_journal_without_its_plan_is_removed_and_the_next_installs_are_journaled(self):
        journaled = ("journal: %s\\journal.txt" % JOURNAL_FOLDER, "result: installed")
        outcome = self.expect("xp empty journal, then two installs", log_has=journaled)
        first, first_log = outcome["first"]
        self.assert_ended(first)
        self.assert_state(outcome["pfx"], log=first_log, log_has=("holds no complete plan",) + journaled)
        self.assertEqual([], leftover_kept_files(outcome["pfx"]))

    def test_kept_files_in_use_go_at_the_next_restart_and_block_nothing(self):
        outcome = self.expect("win7 re-installs while the old runtime library is loaded",
                              log_has=("is in use: it goes at the next restart",))
        result, log = outcome["next"]
        self.assert_ended(result)
        self.assertIn("result: installed", log)
        reg = outcome["pfx"].registry()
        pending = [v for key in ("System\\CurrentControlSet\\Control\\Session Manager",
                                 "System\\ControlSet001\\Control\\Session Manager")
                   for v in (reg.value("HKLM", key, "PendingFileRenameOperations") or (0, []))[1]]
        self.assertTrue(any(JOURNAL_FOLDER.lower() in p.lower() and p.lower().endswith(".old") for p in pending), pending)

    def test_a_rollback_starts_the_service_that_ran_again(self):
        outcome = self.expect("win7 running service, application never closes", rc=None, log_has=(
            "rollback: registering the service again with the old service tool",
            'rollback: started the service "%s" again' % pr.SERVICE_NAME))
        events = [e for e in outcome["journal"] if e.time >= outcome["start"]]
        registered = max(i for i, e in enumerate(events) if e.program == "Kelvrin.exe" and e.event == "start"
                         and e.detail.endswith("-i"))
        self.assertIn("service-running", [e.event for e in events[registered:]])

    def test_the_sweep_of_old_rollback_folders_follows_no_link(self):
        outcome = self.expect("xp rollback folders of earlier versions, links among them",
                              exists=[v + "\\" + n for v in SWEEP_VICTIMS for n in ("1.old", "2.old")],
                              log_has=["test: paused after listing the old rollback folders", "result: installed"]
                              + ["stays: it leads to " + v for v in SWEEP_VICTIMS])
        temp = winelab.temp_folder(outcome["pfx"])
        self.assertEqual([True, True, False], [os.path.lexists(os.path.join(temp, "setup-rollback-90000%d-1" % i))
                                               for i in (1, 2, 3)])

    def test_the_default_log_is_never_written_through_a_link(self):
        outcome = self.expect("xp default log planted as a link", exists=("{install}\\" + APP_FILE,))
        self.assertEqual("a file of someone else's\n", winelab.read_text(pr.to_unix(outcome["pfx"].path, LOG_VICTIM)))
        self.assertTrue(os.path.islink(os.path.join(winelab.temp_folder(outcome["pfx"]), "VRX58Q-setup.log")))


class PlantedLibraries(Scenario):
    """Marker libraries beside setup.exe (a downloads folder) under the names of DLLs it
    imported or that the system loads on demand never run, and the silent install still works.
    The loader prefers those files to Wine's own copies, as Windows does for every DLL that is
    not a known DLL. The known DLLs among setup.exe's imports lie there too; Wine, which keeps
    no list of known DLLs, takes its own copies of them, as Windows always does."""

    UNKNOWN = ("comctl32", "uxtheme", "dwmapi", "msimg32", "winmm", "propsys")
    KNOWN = ("advapi32", "gdi32", "kernel32", "msvcrt", "ole32", "shell32", "user32")
    CASES = (
        # (name, arch, version, names the loader takes from beside the program, libraries that run)
        ("xp", "win32", "winxp", UNKNOWN, []),
        ("win7", "win64", "win7", UNKNOWN, []),
        # The harness sees a library that runs: Wine's advapi32 imports version.dll at start.
        ("marker works", "win32", "winxp", ("version",), ["C:\\pkg\\version.dll"]),
    )

    @classmethod
    def setUpClass(cls):
        cls.outcomes = []
        for name, arch, version, native, _ in cls.CASES:
            pfx = new_prefix("planted-" + name.replace(" ", "-"), arch, version)
            setup = pfx.copy_package(ini=make_ini(), lorvane=False)
            pfx.plant(ntpath.dirname(setup), native + cls.KNOWN)
            result = pfx.run([setup, "s"], native_dlls=native, timeout=300)
            pfx.settle(kill=True)
            cls.outcomes.append((pfx, result))

    def test_planted_libraries_never_run(self):
        for (name, _, _, _, expected), (pfx, _) in zip(self.CASES, self.outcomes):
            with self.subTest(name):
                self.assertEqual([p.lower() for p in expected], [p.lower() for p in pfx.planted_ran()])

    def test_silent_install_works_beside_them(self):
        for (name, arch, _, _, expected), (pfx, result) in zip(self.CASES, self.outcomes):
            if expected:
                continue
            with self.subTest(name):
                self.assert_ended(result)
                folder = "C:\\Program Files (x86)" if arch == "win64" else "C:\\Program Files"
                self.assert_state(pfx, (folder + "\\VRX58Q\\" + APP_FILE, pfx.desktop(APP_NAME + ".lnk")))


def main():
    global LAB
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--helper")
    parser.add_argument("--wine", help="Wine loader (default: $SETUP_WINE or wine)")
    parser.add_argument("groups", nargs="*")
    args = parser.parse_args()
    LAB = winelab.Lab(args.build, helper=args.helper, wine=args.wine)
    if LAB.native64:
        print("64-bit build of the package: 64-bit prefixes play both platforms", file=sys.stderr)
    sys.argv[1:] = []
    names = args.groups or ["XpInstall", "Win7Install", "Packages", "Languages", "Refusals", "Rollbacks", "PlantedLibraries"]
    suite = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromName(n, sys.modules[__name__])
                               for n in names)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
