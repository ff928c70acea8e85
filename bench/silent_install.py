#!/usr/bin/env python3
"""Wall time of the silent install (`setup.exe s`), first install and re-install, on a
32-bit Windows XP prefix and a 64-bit Windows 7 prefix.

    python3 bench/silent_install.py --build BUILD_DIR [--runs N] [--wine LOADER]

Each prefix is a fresh clone of the harness's template (tests/winelab.py). Its Wine server
is started first and kept running, so the figures are the setup program's own time from
process start to exit, not Wine's start-up. The re-install on Windows 7 includes the fixed
pauses after the service tool's "-k" and "-u" (1 s each).
"""

import argparse
import os
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


def timed_setup(pfx, setup):
    start = time.monotonic()
    proc = subprocess.run([pfx.lab.wine, setup, "s"], env=pfx.env(), stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=900)
    elapsed = time.monotonic() - start
    if proc.returncode != 0:
        raise RuntimeError("setup.exe s exited with %d in %s" % (proc.returncode, pfx.path))
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=1, help="fresh prefixes per platform (default 1)")
    parser.add_argument("--wine")
    args = parser.parse_args()
    lab = winelab.Lab(args.build, wine=args.wine)

    print("silent install wall time, %d run(s) each, Wine loader %s" % (args.runs, lab.wine))
    if lab.native64:
        print("  (64-bit build of the package: 64-bit prefixes play both platforms)")
    for label, arch, version in (("win32 / Windows XP", "win32", "winxp"), ("win64 / Windows 7", "win64", "win7")):
        firsts, agains = [], []
        for i in range(args.runs):
            pfx = lab.prefix("bench-%s-%d" % (version, i), arch, version)
            setup = pfx.copy_package(ini=INI, lorvane=False)
            server = subprocess.Popen(["wineserver", "-f", "-p"], env=pfx.env(), stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            try:
                # Boot the prefix's services before timing anything.
                pfx.window_exists("no such window")
                firsts.append(timed_setup(pfx, setup))
                agains.append(timed_setup(pfx, setup))
            finally:
                pfx.kill()
                server.wait(timeout=120)
        for what, values in (("first install", firsts), ("re-install", agains)):
            print("  %-20s %-14s median %6.2f s   min %6.2f s   max %6.2f s" % (
                label, what, statistics.median(values), min(values), max(values)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
