#!/usr/bin/env python3
"""Checks every shipped binary of the package folders:
- a 32-bit PE (machine i386) with subsystem and OS version 5.01, so it loads on Windows XP;
- it imports only Windows system DLLs, and no function that Windows XP lacks;
- setup.exe imports only known DLLs, which Windows always takes from its system folder: any
  other DLL it needs is loaded at run time from there, never from the folder it runs from;
- setup.exe carries its application manifest (read back from the resources): administrator
  rights without UI access, the supported systems Vista to 10, DPI awareness per monitor (v2)
  and system-wide before it, in a form Windows XP loads; no other binary's manifest declares
  supported systems (that would change what GetVersionExW reports);
- with --cafile: its Authenticode signature is SHA-256 and verifies against those certificates;
- with --version X.Y.Z: setup.exe and the language libraries carry version X.Y.Z.0, and each
  folder's setup.ini says Version=X.YY.ZZ;
- each folder's setup.exe carries the catalogue of that folder's files as they are shipped.
Usage: check_pe.py [--cafile CERTS] [--version X.Y.Z] PACKAGE_DIR...
"""
import argparse
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "release"))
import catalogue  # noqa: E402

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "comctl32.dll", "msvcrt.dll", "shlwapi.dll", "version.dll", "comdlg32.dll",
    "winmm.dll", "uuid.dll", "msimg32.dll",
}

# Windows' known DLLs (the KnownDLLs of XP to current Windows): never searched for beside the
# program that imports them.
KNOWN_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "shlwapi.dll", "comdlg32.dll",
}
# The programs that run from a folder the user does not control (a downloads folder).
KNOWN_DLLS_ONLY = {"setup.exe"}

# Functions of those DLLs that appeared after Windows XP (SP3) and that toolchains and
# careless code tend to pull in.
NEWER_THAN_XP = {
    "kernel32.dll": {
        "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
        "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
        "TryAcquireSRWLockShared", "InitializeConditionVariable", "SleepConditionVariableCS",
        "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
        "InitOnceExecuteOnce", "InitOnceBeginInitialize", "InitOnceComplete", "FlsAlloc", "FlsFree",
        "FlsGetValue", "FlsSetValue", "GetFinalPathNameByHandleW", "CreateSymbolicLinkW",
        "SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory", "GetLocaleInfoEx",
        "LCIDToLocaleName", "LocaleNameToLCID", "CompareStringEx", "GetSystemTimePreciseAsFileTime",
        "QueryFullProcessImageNameW", "CreateEventExW", "CreateMutexExW", "CreateSemaphoreExW",
        "GetErrorMode", "CancelIoEx", "GetFileInformationByHandleEx", "SetFileInformationByHandle",
        "GetThreadId", "InitializeCriticalSectionEx", "GetCurrentProcessorNumber",
        "GetUserDefaultLocaleName", "GetSystemDefaultLocaleName", "ResolveLocaleName",
        "Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection", "GetNativeSystemInfo_",
        "CreateFile2", "GetOverlappedResultEx", "WaitOnAddress", "WakeByAddressSingle",
        "SetThreadDescription", "GetThreadDescription", "RaiseFailFastException",
    },
    "advapi32.dll": {"RegGetValueW", "RegDeleteKeyExW", "RegSetKeyValueW", "RegDeleteTreeW",
                     "RegCopyTreeW", "RegLoadMUIStringW", "EventRegister", "EventWrite"},
    "user32.dll": {"SetProcessDPIAware", "ChangeWindowMessageFilter", "ChangeWindowMessageFilterEx",
                   "GetDpiForWindow", "SetProcessDpiAwarenessContext", "IsProcessDPIAware",
                   "ShutdownBlockReasonCreate", "AddClipboardFormatListener"},
    "shell32.dll": {"SHGetKnownFolderPath", "SHCreateItemFromParsingName", "SHGetStockIconInfo"},
    "comctl32.dll": {"TaskDialog", "TaskDialogIndirect", "LoadIconMetric"},
}

IMAGE_SUBSYSTEM = {2: "GUI", 3: "console"}

RT_MANIFEST = 24
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10",
}
# The programs that must carry the application manifest.
MANIFEST_PROGRAMS = {"setup.exe"}


def read_pe(path):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError("not an MZ file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, nsect = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    major_os, minor_os = struct.unpack_from("<HH", data, opt + 40)
    major_sub, minor_sub = struct.unpack_from("<HH", data, opt + 48)
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    ndirs = struct.unpack_from("<I", data, opt + 92)[0]
    dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(ndirs)]
    sections = []
    sect = opt + opt_size
    for i in range(nsect):
        name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, sect + 40 * i)
        sections.append((va, max(vsize, rsize), raw))

    def rva(r):
        for va, size, raw in sections:
            if va <= r < va + size:
                return raw + (r - va)
        raise ValueError("rva %x outside sections" % r)

    def cstr(off):
        return data[off:data.index(b"\0", off)].decode("ascii", "replace")

    def resource_dir(off, base):
        """The entries of one resource directory: (id or name, is_dir, offset from base)."""
        named, ids = struct.unpack_from("<HH", data, off + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, off + 16 + 8 * i)
            entries.append((None if name & 0x80000000 else name, bool(target & 0x80000000),
                            base + (target & 0x7FFFFFFF)))
        return entries

    manifests = []
    if ndirs > 2 and dirs[2][0]:
        base = rva(dirs[2][0])
        for type_id, is_dir, off in resource_dir(base, base):
            if type_id != RT_MANIFEST or not is_dir:
                continue
            for _, name_is_dir, name_off in resource_dir(off, base):
                leaves = resource_dir(name_off, base) if name_is_dir else [(None, False, name_off)]
                for _, _, leaf in leaves:
                    data_rva, size = struct.unpack_from("<II", data, leaf)
                    manifests.append(data[rva(data_rva):rva(data_rva) + size])

    imports = {}
    if ndirs > 1 and dirs[1][0]:
        off = rva(dirs[1][0])
        while True:
            ilt, _, _, name_rva, iat = struct.unpack_from("<IIIII", data, off)
            if name_rva == 0:
                break
            dll = cstr(rva(name_rva)).lower()
            funcs = []
            t = rva(ilt or iat)
            while True:
                entry = struct.unpack_from("<I", data, t)[0]
                if entry == 0:
                    break
                funcs.append("#%d" % (entry & 0xFFFF) if entry & 0x80000000 else cstr(rva(entry) + 2))
                t += 4
            imports[dll] = funcs
            off += 20
    return {
        "machine": machine, "magic": magic, "os": (major_os, minor_os), "subsystem_version": (major_sub, minor_sub),
        "subsystem": subsystem, "imports": imports, "data": data, "manifests": manifests,
    }


def manifest_problems(text):
    """What keeps an application manifest from doing its work, or from loading on Windows XP."""
    import xml.dom.minidom
    import xml.etree.ElementTree as ET
    try:
        root = ET.fromstring(text)
        dom = xml.dom.minidom.parseString(text)
    except Exception as e:  # any parse error: the loader refuses the program
        return ["manifest is not well-formed XML: %s" % e]
    problems = []

    def ns(tag):
        return tag[1:tag.index("}")] if tag.startswith("{") else ""

    def local(tag):
        return tag[tag.index("}") + 1:] if tag.startswith("{") else tag

    if root.tag != "{%s}assembly" % ASM_V1 or root.get("manifestVersion") != "1.0":
        problems.append("manifest root is not an asm.v1 assembly of version 1.0")
    # XP knows only asm.v1's own elements there: others must sit in a namespace of their own.
    for child in root:
        if ns(child.tag) == ASM_V1 and local(child.tag) not in ("assemblyIdentity", "description",
                                                                 "dependency", "file", "noInherit"):
            problems.append("manifest element %s is in the asm.v1 namespace, which XP's loader refuses"
                            % local(child.tag))
    for el in dom.getElementsByTagName("*"):
        declared = [a for a in el.attributes.keys() if a == "xmlns" or a.startswith("xmlns:")]
        if len(declared) > 1:
            problems.append("manifest element %s declares %d namespaces (XP SP2 restarts on that)"
                            % (el.tagName, len(declared)))

    def elements(tag):
        return [e for e in root.iter() if local(e.tag) == tag]

    levels = [(e.get("level"), e.get("uiAccess")) for e in elements("requestedExecutionLevel")]
    found = {(e.get("Id") or "").lower() for e in elements("supportedOS")}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in found]
    awareness = [[v.strip().lower() for v in (e.text or "").split(",")] for e in elements("dpiAwareness")]
    # (what holds in a good manifest, what is wrong when it does not)
    checks = (
        (levels == [("requireAdministrator", "false")], "does not request administrator rights without UI access"),
        (not missing, "does not declare Windows %s" % ", ".join(missing)),
        ([(e.text or "").strip().lower() for e in elements("dpiAware")] == ["true"],
         "does not declare system DPI awareness (dpiAware true)"),
        (len(awareness) == 1 and awareness[0][:1] == ["permonitorv2"] and "system" in awareness[0],
         "does not declare per-monitor v2 DPI awareness with system awareness after it"),
        (not [e for e in elements("assemblyIdentity") if e.get("name") == "Microsoft.Windows.Common-Controls"],
         "depends on the common controls 6, which restyle the skin's progress bar"),
    )
    return problems + ["manifest " + wrong for holds, wrong in checks if not holds]


def version_problems(path, data, version):
    """The version resource against the build's version, for the programs that carry one."""
    numbers = [int(n) for n in version.split(".")] + [0]
    # VS_FIXEDFILEINFO follows the version resource's key; its signature may also stand in code.
    key = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    at = data.find(struct.pack("<I", 0xFEEF04BD), key) if key >= 0 else -1
    name = os.path.basename(path).lower()
    if at < 0:
        return ["carries no version information"] if re.fullmatch(r"setup(\w{3})?\.(exe|dll)", name) else []
    ms, ls, pms, pls = struct.unpack_from("<4I", data, at + 8)
    found = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
    problems = []
    if found != numbers or [pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF] != numbers:
        problems.append("version %s, not %s" % (".".join(map(str, found)), ".".join(map(str, numbers))))
    text = ".".join(map(str, numbers)).encode("utf-16-le")
    if data.count(text) < 2:
        problems.append("version texts do not both say %s" % ".".join(map(str, numbers)))
    return problems


def signature_problems(path, cafile):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", cafile, "-in", path],
                            capture_output=True, text=True)
    if result.returncode != 0:
        lines = [line.strip() for line in (result.stdout + result.stderr).splitlines() if line.strip()]
        return ["signature does not verify against %s: %s" % (cafile, " / ".join(lines[-3:]))]
    if not re.search(r"Message digest algorithm\s*:\s*SHA256", result.stdout):
        return ["signature is not SHA-256"]
    return []


def check(path, cafile=None, version=None):
    pe = read_pe(path)
    resource_only = not pe["imports"] and path.lower().endswith(".dll")
    # (what holds in a binary that loads on XP, what is wrong when it does not)
    checks = (
        ((pe["machine"], pe["magic"]) == (0x14C, 0x10B), "not a 32-bit x86 PE"),
        (resource_only or pe["subsystem_version"] == (5, 1),
         "subsystem version %d.%02d, not 5.01" % pe["subsystem_version"]),
        (resource_only or pe["os"] <= (5, 1), "OS version %d.%02d above 5.01" % pe["os"]),
    )
    problems = [wrong for holds, wrong in checks if not holds]
    known_only = os.path.basename(path).lower() in KNOWN_DLLS_ONLY
    for dll, funcs in pe["imports"].items():
        if known_only and dll not in KNOWN_DLLS:
            problems.append("imports %s, which is not a known DLL: the loader may take it from the "
                            "program's folder" % dll)
            continue
        if dll not in SYSTEM_DLLS:
            problems.append("imports %s, which is not a Windows system DLL" % dll)
            continue
        for f in funcs:
            if f in NEWER_THAN_XP.get(dll, ()):
                problems.append("imports %s!%s, which Windows XP lacks" % (dll, f))
            if dll == "msvcrt.dll" and (f.endswith("_s") or f in ("_ftelli64", "_fseeki64")):
                problems.append("imports msvcrt.dll!%s, which the XP C runtime lacks" % f)
    if os.path.basename(path).lower() in MANIFEST_PROGRAMS:
        if len(pe["manifests"]) != 1:
            problems.append("carries %d application manifests, not 1" % len(pe["manifests"]))
        for text in pe["manifests"]:
            problems += manifest_problems(text)
    elif b"supportedOS" in pe["data"] or b"<compatibility" in pe["data"]:
        problems.append("carries a compatibility manifest")
    if version:
        problems += version_problems(path, pe["data"], version)
    if cafile:
        problems += signature_problems(path, cafile)
    return problems


def ini_version_problems(root, version):
    major, minor, patch = (int(n) for n in version.split("."))
    expected = "Version=%d.%02d.%02d" % (major, minor, patch)
    with open(os.path.join(root, "setup.ini"), encoding="utf-8", errors="replace") as f:
        lines = [line.strip() for line in f if line.strip().lower().startswith("version=")]
    return [] if lines == [expected] else ["setup.ini says %s, not %s" % (lines, expected)]


def catalogue_problems(root):
    """setup.exe's catalogue against the files beside it."""
    try:
        listed = catalogue.read(os.path.join(root, "setup.exe"))
    except (OSError, ValueError) as e:
        return ["setup.exe's catalogue cannot be read: %s" % e]
    if listed is None:
        return ["setup.exe carries no catalogue"]
    actual = catalogue.entries(root)
    return ["setup.exe's catalogue %s %s %s" % ("lists" if item in listed else "lacks", item[1], item[0])
            for item in sorted(set(listed) ^ set(actual))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cafile", help="certificates the signatures must verify against")
    parser.add_argument("--version", help="the build's version, X.Y.Z")
    parser.add_argument("roots", nargs="+")
    args = parser.parse_args()
    checked = failed = 0
    for root in args.roots:
        binaries = []
        for folder, _, files in os.walk(root):
            for f in files:
                if f.lower().endswith((".exe", ".dll")):
                    binaries.append(os.path.join(folder, f))
        if not binaries:
            print("no binaries under", root)
            return 1
        for path in sorted(binaries):
            problems = check(path, args.cafile, args.version)
            rel = os.path.join(os.path.basename(os.path.normpath(root)), os.path.relpath(path, root))
            checked += 1
            if problems:
                failed += 1
                for p in problems:
                    print("FAIL %s: %s" % (rel, p))
            else:
                print("ok   %s" % rel)
        folder_checks = [("setup.exe", catalogue_problems(root))]
        if args.version:
            folder_checks.append(("setup.ini", ini_version_problems(root, args.version)))
        for name, problems in folder_checks:
            checked += 1
            failed += bool(problems)
            for p in problems:
                print("FAIL %s: %s" % (os.path.join(root, name), p))
    print("%d passed, %d failed" % (checked - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
