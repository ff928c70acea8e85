#!/usr/bin/env python3
"""Wall time of whole silent installs (`setup.exe s`), first install and re-install, on a
32-bit Windows XP prefix and a 64-bit Windows 7 prefix, beside the same figure for a program
that does nothing (bench_empty.exe, the floor).

    cmake --build BUILD_DIR --target bench_empty
    python3 bench/silent_install.py --build BUILD_DIR [--runs N] [--package DIR] [--wine LOADER]
                                    [--platform winxp|win7]

A whole run starts with the prefix's Wine server down and ends when that server has ended
again (`wineserver -w`): Wine's start and its services, the program, and everything the
program started until it ended, the desktop process (explorer.exe) among them, which Wine
keeps until its server ends. Each prefix is a fresh clone of the harness's template
(tests/winelab.py). --package times another build's package (for example one of an earlier
version) with the same floor.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests"))
import winelab  # noqa: E402

INI = ("[Startup]\nCompanyName=Varelon Technology Corp.\nVersion=1.00.00\n\n[Customized_Setting]\n"
       "APPFolderName=VRX58Q\nAPPFileName=VRX58QRaidSetup.exe\nAppName=Varelon VRX58Q RAID Manager\n"
       "LaunchAPInSilentMode=0\n")


def whole_run(pfx, argv):
    """Seconds from the program's start, with the prefix's server down, to that server's end."""
    env = pfx.env()
    start = time.monotonic()
    proc = subprocess.run([pfx.lab.wine] + argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=900)
    subprocess.run(["wineserver", "-w"], env=env, timeout=900)
    elapsed = time.monotonic() - start
    if proc.returncode != 0:
        raise RuntimeError("%s exited with %d in %s" % (" ".join(argv), proc.returncode, pfx.path))
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=3, help="fresh prefixes per platform (default 3)")
    parser.add_argument("--package", help="the package folder to time (default BUILD/package)")
    parser.add_argument("--wine")
    parser.add_argument("--platform", choices=("winxp", "win7"), action="append",
                        help="time only this platform (repeatable; default both)")
    args = parser.parse_args()
    lab = winelab.Lab(args.build, wine=args.wine)
    if args.package:
        lab.package_dir = os.path.abspath(args.package)
    empty = os.path.join(lab.build_dir, "bench", "bench_empty.exe")
    if not os.path.exists(empty):
        parser.error("%s is missing: cmake --build %s --target bench_empty" % (empty, args.build))

    print("whole silent runs (server start to server end), %d run(s) each, Wine loader %s" % (args.runs, lab.wine))
    print("package %s" % lab.package_dir)
    if lab.native64:
        print("  (64-bit build of the package: 64-bit prefixes play both platforms)")
    for label, arch, version in (("win32 / Windows XP", "win32", "winxp"), ("win64 / Windows 7", "win64", "win7")):
        if args.platform and version not in args.platform:
            continue
        times = {"empty program": [], "first install": [], "re-install": []}
        for i in range(args.runs):
            pfx = lab.prefix("bench-%s-%d" % (version, i), arch, version)
            setup = pfx.copy_package(ini=INI, lorvane=False)
            shutil.copy(empty, pfx.c("pkg", "empty.exe"))
            times["empty program"].append(whole_run(pfx, ["C:\\pkg\\empty.exe"]))
            times["first install"].append(whole_run(pfx, [setup, "s"]))
            times["re-install"].append(whole_run(pfx, [setup, "s"]))
        floor = statistics.median(times["empty program"])
        for what, values in times.items():
            median = statistics.median(values)
            above = "" if what == "empty program" else "   %+6.2f s above the floor" % (median - floor)
            print("  %-20s %-14s median %6.2f s   min %6.2f s   max %6.2f s%s" % (
                label, what, median, min(values), max(values), above))
    return 0


if __name__ == "__main__":
    sys.exit(main())
