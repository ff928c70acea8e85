"""Reads what a Wine prefix holds, offline: its registry files, its shell links and the
folders an install touches.  Read the registry only while no wineserver runs for the prefix
(after `wineserver -w`): Wine writes system.reg and user.reg when its server ends.

    Registry(prefix)        both hives; .value(root, key, name) -> (type, data) or None
    read_shell_link(path)   -> ShellLink(target, arguments, working_dir)
    to_unix(prefix, path)   a Windows path of the prefix as a Unix path (case-insensitive)
    installed_setups(reg)   the installed copies' setup.exe, as their uninstall entries name them

    python3 prefixread.py installed PREFIX   prints those of installed_setups that exist
"""

import os
import struct
from collections import namedtuple

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
REG_TYPE_NAMES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
                  6: "REG_LINK", 7: "REG_MULTI_SZ", 11: "REG_QWORD"}

# The Program Files folder names that the setup may choose, by language and platform.
PROGRAM_FILES_NAMES = ("Program Files", "Program Files (x86)", "Programme", "Archivos de programa")
UNINSTALL_KEYS = ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                  "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall")
RUN_KEYS = ("Software\\Microsoft\\Windows\\CurrentVersion\\Run",
            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run")
COMPAT_KEY = ("Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
              "Compatibility Assistant\\Persisted")
SERVICES_KEYS = ("System\\CurrentControlSet\\Services", "System\\ControlSet001\\Services")
SERVICE_NAME = "VRX58QRaidService"
COMMON_PROGRAMS = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"

_ESCAPES = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b",
            "e": "\x1b", "f": "\f", "v": "\v", "0": "\0"}
_HEX = "0123456789abcdefABCDEF"


def _unescape(text, start, stop_at_quote):
    """Decodes a Wine registry string from text[start:]; returns (string, index after it)."""
    out = []
    i = start
    while i < len(text):
        c = text[i]
        if stop_at_quote and c == '"':
            return "".join(out), i + 1
        if stop_at_quote is False and c in "]":
            return "".join(out), i
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                j = i + 2
                while j < len(text) and j < i + 6 and text[j] in _HEX:
                    j += 1
                out.append(chr(int(text[i + 2:j], 16)) if j > i + 2 else "x")
                i = j
                continue
            if n in "01234567" and i + 2 < len(text) and text[i + 2] in "01234567":
                j = i + 1
                while j < len(text) and j < i + 4 and text[j] in "01234567":
                    j += 1
                out.append(chr(int(text[i + 1:j], 8)))
                i = j
                continue
            out.append(_ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out), i


def _decode_hex(text):
    text = text.replace("\\", "").replace(" ", "").replace("\n", "").strip(",")
    return bytes(int(b, 16) for b in text.split(",") if b)


def _parse_data(text):
    """(type, python value) of one value's data as Wine writes it."""
    if text.startswith('"'):
        return REG_SZ, _unescape(text, 1, True)[0]
    if text.startswith("str("):
        kind = int(text[4:text.index(")")])
        s = _unescape(text, text.index(":") + 2, True)[0]
        if kind == REG_MULTI_SZ:
            return kind, [p for p in s.split("\0") if p]
        return kind, s
    if text.startswith("dword:"):
        return REG_DWORD, int(text[6:14], 16)
    if text.startswith("hex"):
        kind = REG_BINARY
        if text.startswith("hex("):
            kind = int(text[4:text.index(")")], 16)
        raw = _decode_hex(text[text.index(":") + 1:])
        if kind in (REG_SZ, REG_EXPAND_SZ, 6):
            return kind, raw.decode("utf-16-le", "replace").rstrip("\0")
        if kind == REG_MULTI_SZ:
            return kind, [p for p in raw.decode("utf-16-le", "replace").split("\0") if p]
        if kind == 11 and len(raw) == 8:
            return kind, struct.unpack("<Q", raw)[0]
        return kind, raw
    return 0, text


def parse_reg_file(path):
    """{lower-cased key path: (key path, {lower-cased name: (name, type, data)})} of one hive."""
    keys = {}
    if not os.path.exists(path):
        return keys
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    current = None
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        # Long values continue on the next lines after a trailing backslash.
        while line.endswith("\\") and i < len(lines) and not line.endswith("\\\\"):
            line = line[:-1] + lines[i].lstrip()
            i += 1
        if line.startswith("["):
            name, _ = _unescape(line, 1, False)
            current = keys.setdefault(name.lower(), (name, {}))[1]
            continue
        if current is None or not line or line[0] in ";#":
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        elif line.startswith('"'):
            name, end = _unescape(line, 1, True)
            if end >= len(line) or line[end] != "=":
                continue
            rest = line[end + 1:]
        else:
            continue
        kind, data = _parse_data(rest)
        current[name.lower()] = (name, kind, data)
    return keys


class Registry:
    """Both hives of a prefix: "HKLM" (system.reg) and "HKCU" (user.reg)."""

    def __init__(self, prefix):
        self.hives = {"HKLM": parse_reg_file(os.path.join(prefix, "system.reg")),
                      "HKCU": parse_reg_file(os.path.join(prefix, "user.reg"))}

    def key(self, root, path):
        """{name: (type, data)} of a key, or None when it does not exist."""
        entry = self.hives[root].get(path.lower())
        if entry is None:
            return None
        return {name: (kind, data) for name, kind, data in entry[1].values()}

    def value(self, root, path, name):
        entry = self.hives[root].get(path.lower())
        if entry is None:
            return None
        found = entry[1].get(name.lower())
        return (found[1], found[2]) if found else None

    def subkeys(self, root, path):
        """Names of the direct sub-keys that hold values or exist on their own."""
        lead = path.lower() + "\\"
        names = set()
        for lower, (name, _) in self.hives[root].items():
            if lower.startswith(lead):
                names.add(name[len(lead):].split("\\")[0])
        return sorted(names, key=str.lower)

    def subtree(self, root, path):
        """{key path: {name: (type, data)}} of a key and everything below it."""
        low = path.lower()
        return {name: {n: (k, d) for n, k, d in values.values()}
                for lower, (name, values) in self.hives[root].items()
                if lower == low or lower.startswith(low + "\\")}


def format_value(kind, data):
    if kind == REG_DWORD:
        return "0x%08x" % data
    if isinstance(data, bytes):
        return data.hex(",")
    if isinstance(data, list):
        return " | ".join(data)
    return data


def service_key(registry, name=SERVICE_NAME):
    """The key path of a registered service, or None."""
    for key in SERVICES_KEYS:
        if registry.key("HKLM", key + "\\" + name) is not None:
            return key + "\\" + name
    return None


def to_unix(prefix, win_path):
    """The Unix path of a Windows path on the prefix's C: drive, each component matched
    without regard to case as Wine does; missing components are kept as given."""
    path = win_path.replace("/", "\\")
    if len(path) < 2 or path[1] != ":":
        return None
    drive = os.path.join(prefix, "dosdevices", path[0].lower() + ":")
    if not os.path.isdir(drive):
        drive = os.path.join(prefix, "drive_" + path[0].lower())
    current = os.path.realpath(drive)
    for part in [p for p in path[2:].split("\\") if p]:
        match = part
        if os.path.isdir(current):
            for entry in os.listdir(current):
                if entry.lower() == part.lower():
                    match = entry
                    break
        current = os.path.join(current, match)
    return current


def to_windows(prefix, unix_path):
    """The C: path of a Unix path inside the prefix's drive_c."""
    rel = os.path.relpath(os.path.abspath(unix_path), os.path.abspath(os.path.join(prefix, "drive_c")))
    return "C:\\" + ("" if rel == "." else rel.replace("/", "\\"))


ShellLink = namedtuple("ShellLink", "target arguments working_dir")


def _item_long_name(item, name_end):
    """The UTF-16 long name of a file or folder item: the last non-empty string of the
    extension block that follows the 8-bit name, which ends with the block's offset."""
    block = item[name_end + (name_end & 1):]
    if len(block) < 8:
        return None
    words = [struct.unpack_from("<H", block, k)[0] for k in range(0, len(block) - 3, 2)]
    strings, current = [], []
    for w in words[2:]:
        if w == 0:
            if current:
                strings.append(current)
            current = []
        else:
            current.append(w)
    if not strings:
        return None
    try:
        return struct.pack("<%dH" % len(strings[-1]), *strings[-1]).decode("utf-16-le")
    except UnicodeDecodeError:
        return None


def _read_idlist_path(data):
    """A file system path from a link's item id list: the drive item and then one item per
    folder or file, each with its 8-bit name after the fixed fields and, where the item has
    one, its UTF-16 long name in the extension block after that."""
    parts = []
    i = 0
    while i + 2 <= len(data):
        size = struct.unpack_from("<H", data, i)[0]
        if size == 0:
            break
        item = data[i:i + size]
        kind = item[2] if len(item) > 2 else 0
        if kind & 0x70 == 0x20:   # a drive
            parts.append(item[3:].split(b"\0")[0].decode("latin-1").rstrip("\\"))
        elif kind & 0x70 == 0x30 and len(item) > 14:
            short = item[14:].split(b"\0")[0]
            long_name = _item_long_name(item, 14 + len(short) + 1)
            short_name = short.decode("latin-1")
            # The 8-bit name has "?" for characters of no 8-bit code page.
            parts.append(long_name if long_name and "?" in short_name else short_name)
        i += size
    return "\\".join(parts) if parts else ""


def read_shell_link(path):
    """Target, arguments and working folder of a .lnk file (the shell link binary format)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError("not a shell link: %s" % path)
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    target = ""
    if flags & 0x01:  # item id list
        size = struct.unpack_from("<H", data, pos)[0]
        target = _read_idlist_path(data[pos + 2:pos + 2 + size])
        pos += 2 + size
    if flags & 0x02:  # link info: local base path (+ suffix)
        info = data[pos:pos + struct.unpack_from("<I", data, pos)[0]]
        header, info_flags, _, base_off, _, suffix_off = struct.unpack_from("<6I", info, 4)
        if info_flags & 1:
            if header >= 0x24:
                base_w, suffix_w = struct.unpack_from("<2I", info, 28)
                base = info[base_w:].decode("utf-16-le").split("\0")[0]
                suffix = info[suffix_w:].decode("utf-16-le").split("\0")[0] if suffix_w else ""
            else:
                base = info[base_off:].split(b"\0")[0].decode("mbcs" if os.name == "nt" else "latin-1")
                suffix = info[suffix_off:].split(b"\0")[0].decode("latin-1") if suffix_off else ""
            # The 8-bit base path has "?" for characters of no 8-bit code page: the item id
            # list then names the target.
            if "?" not in base + suffix or not target:
                target = base + suffix
        pos += len(info)
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "workdir"), (0x20, "args"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            width = 2 if unicode else 1
            raw = data[pos:pos + count * width]
            # Wine counts the terminating null in; the format does not.
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            pos += count * width
    return ShellLink(target, strings.get("args", ""), strings.get("workdir", ""))


def desktop_folders(prefix):
    """The Unix paths of every user's desktop folder in the prefix."""
    users = os.path.join(prefix, "drive_c", "users")
    found = []
    # The user's own desktop first, the shared one ("Public") last.
    names = sorted(os.listdir(users), key=lambda n: (n.lower() == "public", n)) if os.path.isdir(users) else []
    for user in names:
        desk = os.path.join(users, user, "Desktop")
        if os.path.isdir(desk):
            found.append(desk)
    return found


def install_folders(prefix, registry=None):
    """Unix paths of the folders under a Program Files folder that hold an installed copy
    (an "Uninstall\\setup.ini"), together with the folders the uninstall entries name."""
    found = []
    drive_c = os.path.join(prefix, "drive_c")
    for name in sorted(os.listdir(drive_c)) if os.path.isdir(drive_c) else []:
        if name.lower() not in [n.lower() for n in PROGRAM_FILES_NAMES]:
            continue
        parent = os.path.join(drive_c, name)
        for sub in sorted(os.listdir(parent)):
            if os.path.isfile(os.path.join(parent, sub, "Uninstall", "setup.ini")):
                found.append(os.path.join(parent, sub))
    for exe in installed_setups(registry or Registry(prefix)):
        folder = to_unix(prefix, exe[:-len("\\uninstall\\setup.exe")])
        if folder and folder not in found and os.path.isdir(folder):
            found.append(folder)
    return found


def installed_setups(registry):
    """The Windows paths of "<install folder>\\Uninstall\\setup.exe" that the uninstall entries
    of both registry views start (UninstallString '"...\\Uninstall\\setup.exe" delpkg')."""
    found = []
    for key in UNINSTALL_KEYS:
        for entry in registry.subkeys("HKLM", key):
            value = registry.value("HKLM", key + "\\" + entry, "UninstallString")
            if not value or not isinstance(value[1], str):
                continue
            command = value[1].strip()
            exe = command[1:command.find('"', 1)] if command.startswith('"') else command.split(" ")[0]
            if exe.lower().endswith("\\uninstall\\setup.exe") and exe not in found:
                found.append(exe)
    return found


if __name__ == "__main__":
    import sys
    if len(sys.argv) != 3 or sys.argv[1] != "installed" or not os.path.isdir(sys.argv[2]):
        sys.exit("usage: prefixread.py installed PREFIX")
    for path in installed_setups(Registry(sys.argv[2])):
        if os.path.isfile(to_unix(sys.argv[2], path)):
            print(path)
