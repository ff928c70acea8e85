#!/usr/bin/env python3
"""Makes the shipped packages from the unsigned one, and their archives.

    package.py assemble UNSIGNED_DIR OUT_DIR --osslsigncode PATH --cert CERT --key KEY
               [--passfile FILE] [--source-dir DIR] [--app-file FILE ...]
        OUT_DIR becomes a copy of UNSIGNED_DIR whose .exe and .dll files are signed
        (Authenticode, SHA-256), with the --app-file files added to its Application folder.
        setup.exe is signed last: before that it gets the catalogue of the other files as
        they are shipped (catalogue.py), which its signature then covers.
    package.py archive PACKAGE_DIR ZIP [--source-dir DIR]
        ZIP holds PACKAGE_DIR under a folder named like ZIP, members in name order.

Both use the source date as the time they record (the signing time, the members' times):
SOURCE_DATE_EPOCH when set, else the time of the source folder's last commit, else
1980-01-01. The same inputs then give the same bytes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import zipfile

import catalogue

EARLIEST_ZIP_TIME = 315532800  # 1980-01-01, the first time a zip member can carry


def source_date(source_dir):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    if source_dir:
        try:
            out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"], capture_output=True,
                                 text=True, check=True, timeout=60).stdout.strip()
            if out:
                return int(out)
        except (OSError, subprocess.SubprocessError, ValueError):
            pass
    return EARLIEST_ZIP_TIME


def package_files(folder):
    """Paths relative to folder of every file below it, in name order."""
    found = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        found += [os.path.relpath(os.path.join(root, f), folder) for f in sorted(files)]
    return found


def sign(args, source, dest, when):
    command = [args.osslsigncode, "sign", "-certs", args.cert, "-key", args.key, "-h", "sha256",
               "-n", "Varelon VRX58Q RAID Manager Setup", "-time", str(when)]
    if args.passfile:
        command += ["-readpass", args.passfile]
    command += ["-in", source, "-out", dest]
    # No terminal: a key that needs a password and has no --passfile fails instead of asking.
    result = subprocess.run(command, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    if result.returncode != 0 or not os.path.exists(dest):
        raise SystemExit("signing %s failed:\n%s%s" % (source, result.stdout, result.stderr))


def assemble(args):
    """Builds the package next to OUT_DIR and puts it in place only once it is whole."""
    when = source_date(args.source_dir)
    out = os.path.abspath(args.out_dir)
    work = out + ".new"
    shutil.rmtree(work, ignore_errors=True)
    setup = work + ".setup.exe"
    try:
        for rel in package_files(args.unsigned_dir):
            if rel == "setup.exe":
                continue
            source = os.path.join(args.unsigned_dir, rel)
            dest = os.path.join(work, rel)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            if rel.lower().endswith((".exe", ".dll")):
                sign(args, source, dest, when)
            else:
                shutil.copyfile(source, dest)
        for extra in args.app_file:
            os.makedirs(os.path.join(work, "Application"), exist_ok=True)
            shutil.copyfile(extra, os.path.join(work, "Application", os.path.basename(extra)))
        shutil.copyfile(os.path.join(args.unsigned_dir, "setup.exe"), setup)
        catalogue.fill(setup, work)
        sign(args, setup, os.path.join(work, "setup.exe"), when)
    except BaseException:
        shutil.rmtree(work, ignore_errors=True)
        raise
    finally:
        if os.path.exists(setup):
            os.remove(setup)
    shutil.rmtree(out, ignore_errors=True)
    os.rename(work, out)


def archive(args):
    when = max(source_date(args.source_dir), EARLIEST_ZIP_TIME)
    stamp = time.gmtime(when)[:6]
    root = os.path.splitext(os.path.basename(args.zip))[0]
    work = args.zip + ".new"
    with zipfile.ZipFile(work, "w") as z:
        folders = set()
        for rel in package_files(args.package_dir):
            parts = rel.split(os.sep)
            for depth in range(len(parts)):
                name = "/".join([root] + parts[:depth]) + "/"
                if name not in folders:
                    folders.add(name)
                    info = zipfile.ZipInfo(name, stamp)
                    info.create_system = 0
                    info.external_attr = 0x10  # a folder, in MS-DOS terms
                    z.writestr(info, b"")
            info = zipfile.ZipInfo("/".join([root] + parts), stamp)
            info.create_system = 0
            info.external_attr = 0x20  # an ordinary file
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(args.package_dir, rel), "rb") as f:
                z.writestr(info, f.read())
    os.replace(work, args.zip)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    a = sub.add_parser("assemble")
    a.add_argument("unsigned_dir")
    a.add_argument("out_dir")
    a.add_argument("--osslsigncode", default="osslsigncode")
    a.add_argument("--cert", required=True)
    a.add_argument("--key", required=True)
    a.add_argument("--passfile")
    a.add_argument("--source-dir")
    a.add_argument("--app-file", nargs="+", default=[])
    z = sub.add_parser("archive")
    z.add_argument("package_dir")
    z.add_argument("zip")
    z.add_argument("--source-dir")
    args = parser.parse_args()
    if args.command == "assemble":
        assemble(args)
    else:
        archive(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
