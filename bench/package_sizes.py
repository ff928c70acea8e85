#!/usr/bin/env python3
"""Sizes of every shipped file: each file of the two package folders, unsigned and signed
(what the signature adds), the packages' totals and the archives when they were made.

    python3 bench/package_sizes.py [--build BUILD_DIR]     (default: build)
"""

import argparse
import glob
import os
import sys


def files(folder):
    found = {}
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(root, name)
            found[os.path.relpath(path, folder).replace(os.sep, "/")] = os.path.getsize(path)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    args = parser.parse_args()
    unsigned = files(os.path.join(args.build, "package-unsigned"))
    plain = files(os.path.join(args.build, "package"))
    custom = files(os.path.join(args.build, "package-turbovolume"))
    if not plain or not custom:
        print("no packages under %s: build first" % args.build, file=sys.stderr)
        return 1

    print("%-32s %10s %10s %10s  %s" % ("shipped file", "unsigned", "signed", "signature", "packages"))
    for rel in sorted(set(plain) | set(custom), key=lambda r: (r.count("/"), r.lower())):
        size = custom.get(rel, plain.get(rel))
        before = unsigned.get(rel)
        added = "%+d" % (size - before) if before is not None and before != size else ""
        where = "both" if rel in plain and rel in custom else "plain" if rel in plain else "turbovolume"
        print("%-32s %10s %10d %10s  %s" % (rel, before if before is not None else "", size, added, where))
    print("%-32s %10d %10d" % ("package/ total", sum(unsigned.values()), sum(plain.values())))
    print("%-32s %10s %10d" % ("package-turbovolume/ total", "", sum(custom.values())))
    for archive in sorted(glob.glob(os.path.join(args.build, "*.zip"))):
        print("%-32s %10s %10d" % (os.path.basename(archive), "", os.path.getsize(archive)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
