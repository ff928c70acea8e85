"""Wine prefixes for end-to-end tests: one template prefix per architecture, cloned for each
scenario; runs Windows programs in a clone with a chosen language while a helper presses OK
on the "Fail" message boxes and records their texts; reads registry, files, shortcuts and the
tools journal back; takes snapshots of what an install may touch.

    lab = Lab(build_dir)                      # <build>/prefixes holds templates and clones
    pfx = lab.prefix("xp-first", "win32", "winxp")
    setup = pfx.copy_package(ini=..., lorvane=False)
    pfx.change_byte("C:\\pkg\\setupDEU.dll")   # a package file no longer as built
    result = pfx.run([setup, "s"])            # Result(rc, boxes, out, windows, progress)
    pfx.settle()                              # every process ended, registry written
    pfx.registry().value("HKLM", key, name)
    pfx.plant("C:\\pkg", ["uxtheme"])         # marker libraries under DLL names
    pfx.run([setup, "s"], native_dlls=["uxtheme"]); pfx.planted_ran()

The registry files are current only after settle(): Wine writes them when its server ends.
"""

import glob
import hashlib
import ntpath
import os
import shutil
import subprocess
import sys
import time
from collections import namedtuple
from enum import IntEnum

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import prefixread  # noqa: E402

WINE_DLL_OVERRIDES = "winemenubuilder.exe=d;mscoree,mshtml="
PACKAGE_FILES = ("setup.exe", "setup.ini")
Result = namedtuple("Result", "rc boxes out windows progress")
JournalEntry = namedtuple("JournalEntry", "time program pid event detail")
# How a run of the setup program ended: its exit codes, as the engine names them.
SetupOutcome = IntEnum("SetupOutcome", "SetupSucceeded SetupFailed SetupRefused SetupBusy SetupCancelled "
                       "SetupStillRunning SetupDiskFull SetupFileBusy", start=0)


def read_text(path):
    """A file's text, or "" when there is none."""
    if not os.path.isfile(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_text(path, text):
    """Writes a file, making the folders that hold it."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def temp_folder(pfx):
    """The Unix path of the temporary folder of the prefix's user (GetTempPath)."""
    return next(p for p in glob.glob(os.path.join(pfx.path, "drive_c", "users", "*", "Temp"))
                if os.sep + "Public" + os.sep not in p)


def ensure_display():
    """The DISPLAY to use: the caller's, else the shared virtual one (:77)."""
    if os.environ.get("DISPLAY"):
        return os.environ["DISPLAY"]
    script = os.path.join(SOURCE_DIR, "cmake", "wine-env.sh")
    out = subprocess.run(["bash", "-c", 'source "$1"; ensure_display; echo "$DISPLAY"', "-", script],
                         capture_output=True, text=True, check=True)
    return out.stdout.strip() or ":77"


def pe_machine(path):
    """The machine field of a Windows executable's header (0x14c i386, 0x8664 x64)."""
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[offset + 4:offset + 6], "little")


def windows_path(unix_path):
    """A Unix path as Windows programs under Wine reach it (drive Z:)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def parse_journal_time(text):
    """Seconds since the epoch of a journal time stamp (UTC, milliseconds)."""
    import calendar
    base, ms = text.rstrip("Z").split(".")
    return calendar.timegm(time.strptime(base, "%Y-%m-%dT%H:%M:%S")) + int(ms) / 1000.0


class Lab:
    """Templates and clones under <build>/prefixes; Windows helpers from the build."""

    def __init__(self, build_dir, helper=None, wine=None):
        self.build_dir = os.path.abspath(build_dir)
        # The Wine loader: "wine" picks the 32-bit one for our programs; SETUP_WINE can name
        # another (for a 64-bit build run as a check of the harness itself).
        self.wine = wine or os.environ.get("SETUP_WINE") or "wine"
        self.root = os.path.join(self.build_dir, "prefixes")
        self.package_dir = os.path.join(self.build_dir, "package")
        self.turbovolume_package_dir = os.path.join(self.build_dir, "package-turbovolume")
        self.unsigned_dir = os.path.join(self.build_dir, "package-unsigned")
        self.helper = helper or os.path.join(self.build_dir, "tests", "scenarios", "labhelper.exe")
        # A home of our own: Wine links a new prefix's Desktop and documents folders to the
        # home's XDG folders when they exist, and clones must not share them.
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home, exist_ok=True)
        self.display = ensure_display()
        # A 64-bit build of the package (for machines that cannot execute 32-bit code) stands
        # for the 32-bit program: on a 64-bit prefix it behaves as under WOW64, and a 32-bit
        # Windows is played by a 64-bit prefix with SETUP_TEST_WOW64=0.
        setup = os.path.join(self.package_dir, "setup.exe")
        self.native64 = os.path.exists(setup) and pe_machine(setup) == 0x8664

    def base_env(self, prefix):
        env = dict(os.environ)
        env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_DLL_OVERRIDES,
                   HOME=self.home, DISPLAY=self.display)
        env.pop("WINEARCH", None)
        # Where i386 code runs under qemu's user-mode emulation, Wine's 32-bit loader needs the
        # whole 4 GB address space reserved and a larger stack; elsewhere these do nothing.
        env.setdefault("QEMU_RESERVED_VA", "0xffff0000")
        env.setdefault("QEMU_STACK_SIZE", "1048576")
        return env

    def template(self, arch):
        """The booted template prefix of an architecture ("win32" or "win64"), made once by the
        set-up scripts' ensure_prefix: the boot is checked and tried twice, and a 64-bit-only
        boot gets the 32-bit registry view's keys that its missing 32-bit half would make."""
        path = os.path.join(self.root, "template-" + arch)
        if os.path.exists(os.path.join(path, ".setup-ready")):
            return path
        env = self.base_env(path)
        env.pop("SETUP_TEMPLATE_DIR", None)
        env["SETUP_WINE"] = self.wine
        result = subprocess.run(["bash", "-c", 'source "$1"; ensure_prefix "$2" "$3"', "-",
                                 os.path.join(SOURCE_DIR, "cmake", "wine-env.sh"), path, arch],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=3600)
        if result.returncode != 0:
            raise RuntimeError("The %s template %s could not be booted:\n%s" % (arch, path, result.stderr))
        return path

    def prefix(self, name, arch, version):
        """A fresh clone of the template, as Windows `version` ("winxp", "win7", ...)."""
        extra_env = {}
        if self.native64 and arch == "win32":
            arch, extra_env = "win64", {"SETUP_TEST_WOW64": "0"}
        template = self.template(arch)
        path = os.path.join(self.root, name)
        if os.path.exists(path):
            subprocess.run(["wineserver", "-k"], env=self.base_env(path), stderr=subprocess.DEVNULL)
            shutil.rmtree(path)
        subprocess.run(["bash", "-c", 'source "$1"; clone_prefix "$2" "$3"', "-",
                        os.path.join(SOURCE_DIR, "cmake", "wine-env.sh"), template, path], check=True)
        # Wine links a user's shell folders (Desktop, Documents, ...) to the home folder; a
        # clone gets folders of its own so that scenarios never see each other's links.
        users = os.path.join(path, "drive_c", "users")
        for user in os.listdir(users):
            for entry in os.listdir(os.path.join(users, user)):
                folder = os.path.join(users, user, entry)
                if os.path.islink(folder):
                    os.remove(folder)
                    os.makedirs(folder)
        pfx = Prefix(self, path, arch, extra_env)
        pfx.set_windows_version(version)
        return pfx


class Prefix:
    def __init__(self, lab, path, arch, extra_env=None):
        self.lab = lab
        self.extra_env = extra_env or {}
        self.path = path
        self.arch = arch
        self.journal_path = os.path.join(path, "tools-journal.log")
        self.work = os.path.join(path, "lab")
        os.makedirs(self.work, exist_ok=True)
        self._counter = 0

    # --- set-up ---------------------------------------------------------------------------

    def set_windows_version(self, version):
        """The Windows version every program of the prefix sees (HKCU\\Software\\Wine)."""
        with open(os.path.join(self.path, "user.reg"), "a", encoding="utf-8") as f:
            f.write('\n[Software\\\\Wine] %d\n"Version"="%s"\n' % (int(time.time()), version))

    def c(self, *parts):
        """The Unix path of a C: path given as its components."""
        return prefixread.to_unix(self.path, "C:\\" + "\\".join(parts))

    def make_dir(self, win_path):
        os.makedirs(prefixread.to_unix(self.path, win_path), exist_ok=True)

    def write(self, win_path, text):
        write_text(prefixread.to_unix(self.path, win_path), text)

    def copy_package(self, name="pkg", ini=None, lorvane=True, title_about=True, app_files=None, drop=(), add=(),
                     catalogue=True):
        """Copies a built package to C:\\<name>; returns the Windows path of its setup.exe.
        lorvane takes the customised package (with the title bitmaps), else the plain one;
        title_about keeps, drops or adds that bitmap; ini replaces setup.ini (text, or bytes
        written as they are); drop names files of the package folder to leave out; add names
        files of the customised package to add. Its setup.exe carries the catalogue of the
        package's files as built; without catalogue it is the build's own, which has none."""
        dest = self.c(name)
        shutil.rmtree(dest, ignore_errors=True)
        shutil.copytree(self.lab.turbovolume_package_dir if lorvane else self.lab.package_dir, dest)
        bmp = os.path.join("Application", "title_about.bmp")
        if title_about and not os.path.exists(os.path.join(dest, bmp)):
            shutil.copyfile(os.path.join(self.lab.turbovolume_package_dir, bmp), os.path.join(dest, bmp))
        elif not title_about and os.path.exists(os.path.join(dest, bmp)):
            os.remove(os.path.join(dest, bmp))
        if isinstance(ini, bytes):
            with open(os.path.join(dest, "setup.ini"), "wb") as f:
                f.write(ini)
        elif ini is not None:
            with open(os.path.join(dest, "setup.ini"), "w", encoding="utf-8", newline="\r\n") as f:
                f.write(ini)
        for dropped in drop:
            if os.path.exists(os.path.join(dest, dropped)):
                os.remove(os.path.join(dest, dropped))
        for added in add:
            rel = added.replace("\\", os.sep)
            shutil.copyfile(os.path.join(self.lab.turbovolume_package_dir, rel), os.path.join(dest, rel))
        if not catalogue:
            shutil.copyfile(os.path.join(self.lab.unsigned_dir, "setup.exe"), os.path.join(dest, "setup.exe"))
        return "C:\\%s\\setup.exe" % name

    def change_byte(self, win_path):
        """Changes the byte in the middle of a file, as someone who could write it after the build."""
        path = prefixread.to_unix(self.path, win_path)
        with open(path, "r+b") as f:
            f.seek(os.path.getsize(path) // 2)
            byte = f.read(1)[0]
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte ^ 1]))

    # --- running programs ------------------------------------------------------------------

    def env(self, lc_all="en_US.UTF-8"):
        env = self.lab.base_env(self.path)
        env["LC_ALL"] = lc_all
        env["SETUP_TOOLS_JOURNAL"] = windows_path(self.journal_path)
        env.update(self.extra_env)
        return env

    def start(self, argv, lc_all="en_US.UTF-8", extra_env=None):
        """Starts a Windows program in the background; returns the Popen."""
        env = self.env(lc_all)
        env.update(extra_env or {})
        return subprocess.Popen([self.lab.wine] + list(argv), env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run(self, argv, lc_all="en_US.UTF-8", timeout=600, caption="Fail", native_dlls=()):
        """Runs a program to its end while the helper answers message boxes captioned
        `caption` and notes every top-level window of a process named like the program;
        returns Result(exit code, [box texts], stdout, ["class\\ttitle" of each window],
        [(position, [ids of enabled buttons], caption) of a shown progress bar's window, as it
        changed]). For the DLL names in native_dlls the loader prefers a file beside the program
        to Wine's own copy, as Windows does for every DLL that is not a known DLL (a program that
        crashes on such a file ends without the debugger)."""
        self._counter += 1
        boxes_file = os.path.join(self.work, "boxes-%d.txt" % self._counter)
        windows_file = os.path.join(self.work, "windows-%d.txt" % self._counter)
        stop_file = os.path.join(self.work, "stop-%d" % self._counter)
        program = ntpath.basename(argv[0])
        watcher = subprocess.Popen([self.lab.wine, self.lab.helper, "boxwatch", windows_path(boxes_file),
                                    windows_path(stop_file), caption, windows_path(windows_file), program],
                                   env=self.env(lc_all), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Output goes to a file: a pipe would stay open as long as the Wine services that the
        # first program of a prefix starts, long after the program itself has ended.
        out_file = os.path.join(self.work, "out-%d.txt" % self._counter)
        env = self.env(lc_all)
        if native_dlls:
            env["WINEDLLOVERRIDES"] += ";winedbg.exe=d;%s=n,b" % ",".join(native_dlls)
        try:
            with open(out_file, "w") as out:
                proc = subprocess.Popen([self.lab.wine] + list(argv), env=env, stdout=out,
                                        stderr=subprocess.DEVNULL)
                rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        finally:
            open(stop_file, "w").close()
            try:
                watcher.wait(timeout=60)
            except subprocess.TimeoutExpired:
                watcher.kill()
        out = read_text(out_file)
        lines = {kind: [line for line in read_text(path).split("\n") if line.strip()]
                 for kind, path in (("boxes", boxes_file), ("windows", windows_file))}
        boxes = [line.split("\t", 1)[-1] for line in lines["boxes"]]
        progress = [line.split("\t") for line in lines["windows"] if line.startswith("progress\t")]
        progress = [(int(p[1]), [int(i) for i in p[2].split(",") if i], p[3]) for p in progress]
        windows = [line for line in lines["windows"] if not line.startswith("progress\t")]
        return Result(rc, boxes, out, windows, progress)

    def run_logged(self, argv, name, **options):
        """Runs argv (with run's options) and a log of its own, <name>.log, which it must write;
        returns (Result, the log's text)."""
        log = os.path.join(self.work, name + ".log")
        result = self.run(argv + ["/log=" + windows_path(log)], **options)
        with open(log, encoding="utf-8", errors="replace") as f:
            return result, f.read()

    def helper(self, *args, timeout=300):
        """Runs labhelper.exe with the arguments; returns Result."""
        return self.run([self.lab.helper] + list(args), timeout=timeout)

    def start_service(self, name, attempts=3):
        """Starts a service and returns once the service control manager reports it running
        (`net start` succeeded), trying again when the manager gave up on a start (Wine gives a
        starting service 10 s to answer); returns the last Result."""
        for _ in range(attempts):
            result = self.run(["net", "start", name])
            if result.rc == 0:
                break
        return result

    def window_exists(self, caption):
        proc = subprocess.run([self.lab.wine, self.lab.helper, "window", caption], env=self.env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        return proc.returncode == 0

    def hold_file(self, win_path, exclusive=False, image=False):
        """Holds a file open against writing and deleting (exclusive: reading too; image: mapped
        as a running program or a loaded library is, which may be renamed but not deleted);
        returns a release function."""
        self._counter += 1
        ready = os.path.join(self.work, "held-%d" % self._counter)
        stop = os.path.join(self.work, "release-%d" % self._counter)
        mode = ["exclusive"] if exclusive else ["image"] if image else []
        proc = subprocess.Popen([self.lab.wine, self.lab.helper, "hold", win_path, windows_path(ready),
                                 windows_path(stop)] + mode, env=self.env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 300
        while not os.path.exists(ready):
            if proc.poll() is not None or time.time() > deadline:
                raise RuntimeError("could not hold %s" % win_path)
            time.sleep(0.2)

        def release():
            open(stop, "w").close()
            proc.wait(timeout=120)
        return release

    def plant(self, win_folder, names):
        """Puts the marker library (tests/app/planted.cpp) into a folder as <name>.dll for
        each name."""
        marker = os.path.join(self.lab.build_dir, "tests", "app", "planted.dll")
        for name in names:
            shutil.copyfile(marker, os.path.join(prefixread.to_unix(self.path, win_folder), name + ".dll"))

    def temp_files(self, pattern, system=True):
        """The Unix paths of the files named like pattern in the users' temporary folders and,
        with system, the Windows folder's."""
        return [p for folder in ("users/*/Temp",) + (("windows/temp",) if system else ())
                for p in glob.glob(os.path.join(self.path, "drive_c", folder, pattern))]

    def planted_ran(self):
        """The Windows paths of the planted libraries whose code ran, from their marker files
        in the temporary folders."""
        return [line.strip() for path in self.temp_files("planted-dll-ran.txt")
                for line in read_text(path).split("\n") if line.strip()]

    def wait_for(self, condition, timeout=120, interval=0.5):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if condition():
                return True
            time.sleep(interval)
        return condition()

    def kill(self):
        """Ends every process of the prefix (a started application included)."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stderr=subprocess.DEVNULL)

    def settle(self, kill=False):
        """Waits until the prefix's server has ended, so that its registry files are written;
        with kill, ends the prefix's processes first."""
        if kill:
            self.kill()
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=600)

    # --- reading back ---------------------------------------------------------------------

    def registry(self):
        return prefixread.Registry(self.path)

    def journal(self):
        """The tools journal's entries in time order: the file our runs name, and the default
        ones in the temporary folders, which a service started by the service control
        manager writes to (it does not inherit our environment)."""
        entries = []
        for path in [self.journal_path] + self.temp_files("vrx58q-tools.log"):
            for parts in (line.split("\t", 4) for line in read_text(path).split("\n")):
                if len(parts) == 5:
                    entries.append(JournalEntry(parse_journal_time(parts[0]), parts[1], int(parts[2]),
                                                parts[3], parts[4]))
        return sorted(entries, key=lambda e: e.time)

    def link(self, win_path):
        return prefixread.read_shell_link(prefixread.to_unix(self.path, win_path))

    def exists(self, win_path):
        return os.path.exists(prefixread.to_unix(self.path, win_path))

    def desktop(self, *parts):
        """Windows path in the user's desktop folder."""
        desk = prefixread.desktop_folders(self.path)[0]
        return "\\".join([prefixread.to_windows(self.path, desk)] + list(parts))

    def programs(self, *parts):
        return "\\".join([prefixread.COMMON_PROGRAMS] + list(parts))

    def snapshot(self):
        """What an install may touch: files (with their bytes) on C: outside the Windows folder,
        the per-user temporary and application data folders and our package copies; the
        uninstall and Run keys of both registry views, the application's service and the
        Compatibility Assistant values (the setup program's marker for itself excepted)."""
        drive_c = os.path.join(self.path, "drive_c")

        def outside(rel):
            low = rel.lower().split(os.sep)
            return low[0] == "windows" or low[0].startswith("pkg") or \
                (low[0] == "users" and len(low) >= 3 and low[2] in ("temp", "appdata", "local settings",
                                                                  "application data"))

        files = {}
        for root, dirs, names in os.walk(drive_c):
            rel_root = os.path.relpath(root, drive_c)
            dirs[:] = [d for d in dirs if not outside(os.path.normpath(os.path.join(rel_root, d)))]
            for d in dirs:
                files[os.path.normpath(os.path.join(rel_root, d)) + os.sep] = None
            for n in names:
                p = os.path.join(root, n)
                with open(p, "rb") as f:
                    digest = hashlib.sha1(f.read()).hexdigest()
                files[os.path.normpath(os.path.join(rel_root, n))] = (os.lstat(p).st_mtime_ns, digest)
        reg = self.registry()
        keys = {}
        for key in prefixread.UNINSTALL_KEYS + prefixread.RUN_KEYS:
            keys.update({("HKLM", k): v for k, v in reg.subtree("HKLM", key).items()})
        service = prefixread.service_key(reg)
        if service:
            keys.update({("HKLM", k): v for k, v in reg.subtree("HKLM", service).items()})
        compat = reg.key("HKCU", prefixread.COMPAT_KEY) or {}
        keys[("HKCU", prefixread.COMPAT_KEY)] = {n: v for n, v in compat.items()
                                                 if not n.lower().endswith("\\setup.exe")}
        return {"files": files, "registry": keys}


def snapshot_diff(before, after):
    """Readable differences between two snapshots (empty when equal)."""
    lines = []
    for kind in ("files", "registry"):
        a, b = before[kind], after[kind]
        for k in sorted(set(a) | set(b), key=str):
            if k not in a:
                lines.append("added %s %s" % (kind, k))
            elif k not in b:
                lines.append("removed %s %s" % (kind, k))
            elif a[k] != b[k]:
                lines.append("changed %s %s: %r -> %r" % (kind, k, a[k], b[k]))
    return lines
