#!/usr/bin/env python3
"""Prints what an install left behind in a Wine prefix: the files of the install folder(s),
the registry values of the uninstall entry and the Run value, the shortcuts on the desktop
and in the all-users Programs menu with their targets, and the application's service; then
the Compatibility Assistant's records of the programs that ran, which are the system's own
and stay after an uninstall.  Read after `wineserver -w`, when the registry files are written.

    python3 tools/summary.py PREFIX
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prefixread as pr  # noqa: E402


def print_values(registry, root, key, only=None):
    values = registry.key(root, key)
    if values is None:
        return False
    shown = [(n, v) for n, v in sorted(values.items(), key=lambda i: i[0].lower()) if only is None or only(n)]
    print("  %s\\%s" % (root, key))
    for name, (kind, data) in shown:
        print("    %-28s %-13s %s" % (name or "(default)", pr.REG_TYPE_NAMES.get(kind, str(kind)),
                                      pr.format_value(kind, data)))
    if not shown:
        print("    (no values)")
    return True


def main(argv):
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    prefix = os.path.abspath(argv[1])
    registry = pr.Registry(prefix)

    print("Install folders:")
    folders = pr.install_folders(prefix, registry)
    for folder in folders:
        print("  %s" % pr.to_windows(prefix, folder))
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(root, name)
                print("    %-36s %9d bytes" % (os.path.relpath(path, folder).replace("/", "\\"),
                                               os.path.getsize(path)))
    if not folders:
        print("  (none)")

    print("Registry:")
    shown = False
    for key in pr.UNINSTALL_KEYS:
        for entry in registry.subkeys("HKLM", key):
            if registry.value("HKLM", key + "\\" + entry, "UninstallString"):
                shown |= print_values(registry, "HKLM", key + "\\" + entry)
    for key in pr.RUN_KEYS:
        values = registry.key("HKLM", key) or {}
        if values:
            shown |= print_values(registry, "HKLM", key)
    if not shown:
        print("  (nothing)")

    print("Shortcuts:")
    links = []
    for desk in pr.desktop_folders(prefix):
        links += [os.path.join(desk, n) for n in sorted(os.listdir(desk)) if n.lower().endswith(".lnk")]
    programs = pr.to_unix(prefix, pr.COMMON_PROGRAMS)
    if programs and os.path.isdir(programs):
        for root, dirs, files in os.walk(programs):
            dirs.sort()
            links += [os.path.join(root, n) for n in sorted(files) if n.lower().endswith(".lnk")]
    for link in links:
        try:
            info = pr.read_shell_link(link)
            where = "%s%s" % (info.target, " " + info.arguments if info.arguments else "")
        except (ValueError, OSError, IndexError) as e:
            where = "(unreadable: %s)" % e
        print("  %s\n    -> %s" % (pr.to_windows(prefix, link), where))
    if not links:
        print("  (none)")

    print("Service:")
    service = pr.service_key(registry)
    if service is None:
        print("  (not registered)")
    else:
        print_values(registry, "HKLM", service,
                     only=lambda n: n.lower() in ("imagepath", "start", "type", "displayname", "objectname"))

    print("The system's records (they stay):")
    if not (registry.key("HKCU", pr.COMPAT_KEY) and print_values(registry, "HKCU", pr.COMPAT_KEY)):
        print("  (none)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
