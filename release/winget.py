#!/usr/bin/env python3
"""Writes the winget manifest of one package archive: the version, defaultLocale and installer
files (schema 1.10.0) that Windows' package manager reads.

    winget.py ZIP SETUP_INI OUT_DIR --identifier ID --version X.Y.Z --section SECTION
              --url URL --license TEXT --description TEXT

OUT_DIR/<ID>/<X.Y.Z>/ gets <ID>.yaml, <ID>.locale.en-US.yaml and <ID>.installer.yaml. The
names and versions come from the package's setup.ini (SECTION is the product section that the
package's setup program reads), the hash from ZIP, whose setup.exe winget runs.
"""

import argparse
import configparser
import hashlib
import json
import os
import sys
import zipfile

MANIFEST_VERSION = "1.10.0"
LOCALE = "en-US"
SCHEMA_URL = "https://aka.ms/winget-manifest.%s.%s.schema.json"

# The words a deployment tool gives the setup program, and what its exit codes mean to one.
SWITCHES = {"Silent": "s quiet", "SilentWithProgress": "s progress", "Log": '/log="<LOGPATH>"'}
RETURN_CODES = ((3, "installInProgress"), (4, "cancelledByUser"), (5, "packageInUseByApplication"),
                (6, "diskFull"), (7, "fileInUse"),
                # A refused package is the vendor's fault, not the user's.
                (2, "contactSupport"))


def yaml_lines(value, indent=""):
    """YAML block lines of a mapping or list of plain values; every string is double-quoted
    (a JSON string is a YAML double-quoted scalar), so that no value changes type."""
    lines = []
    items = value.items() if isinstance(value, dict) else enumerate(value)
    for key, item in items:
        lead = indent + ("%s:" % key if isinstance(value, dict) else "-")
        if isinstance(item, (dict, list)):
            nested = yaml_lines(item, indent + "  ")
            if isinstance(value, list) and isinstance(item, dict):
                # A mapping in a list starts on the dash's line.
                lines.append(indent + "- " + nested[0].lstrip())
                lines += nested[1:]
            else:
                lines.append(lead)
                lines += nested
        else:
            lines.append("%s %s" % (lead, json.dumps(item, ensure_ascii=False) if isinstance(item, str) else item))
    return lines


def write_manifest(path, kind, fields):
    text = "# yaml-language-server: $schema=%s\n\n" % (SCHEMA_URL % (kind, MANIFEST_VERSION))
    text += "\n".join(yaml_lines(fields)) + "\n"
    with open(path + ".new", "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(path + ".new", path)


def read_setup_ini(path, section):
    """The values of setup.ini that the uninstall entry shows."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    with open(path, encoding="utf-8-sig") as f:
        parser.read_file(f)
    return {"Publisher": parser.get("Startup", "CompanyName"), "DisplayVersion": parser.get("Startup", "Version"),
            "DisplayName": parser.get(section, "AppName"), "ProductCode": parser.get(section, "APPFolderName")}


def setup_member(zip_path):
    """The archive's path of its setup.exe (the package lies in a folder of the archive's name)."""
    with zipfile.ZipFile(zip_path) as z:
        names = [n for n in z.namelist() if n.count("/") == 1 and n.lower().endswith("/setup.exe")]
    if len(names) != 1:
        raise SystemExit("%s holds no single setup.exe in its package folder" % zip_path)
    return names[0].replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("zip")
    parser.add_argument("setup_ini")
    parser.add_argument("out_dir")
    parser.add_argument("--identifier", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--section", required=True)
    parser.add_argument("--url", required=True)
    parser.add_argument("--license", required=True)
    parser.add_argument("--description", required=True)
    args = parser.parse_args()

    entry = read_setup_ini(args.setup_ini, args.section)
    with open(args.zip, "rb") as f:
        sha256 = hashlib.sha256(f.read()).hexdigest().upper()
    head = {"PackageIdentifier": args.identifier, "PackageVersion": args.version}
    folder = os.path.join(args.out_dir, args.identifier, args.version)
    os.makedirs(folder, exist_ok=True)
    base = os.path.join(folder, args.identifier)

    write_manifest(base + ".yaml", "version", dict(head, DefaultLocale=LOCALE, ManifestType="version",
                                                    ManifestVersion=MANIFEST_VERSION))
    write_manifest(base + ".locale.%s.yaml" % LOCALE, "defaultLocale", dict(
        head, PackageLocale=LOCALE, Publisher=entry["Publisher"], PackageName=entry["DisplayName"],
        License=args.license, ShortDescription=args.description, ManifestType="defaultLocale",
        ManifestVersion=MANIFEST_VERSION))
    write_manifest(base + ".installer.yaml", "installer", dict(
        head,
        Platform=["Windows.Desktop"],
        InstallerType="zip",
        NestedInstallerType="exe",
        NestedInstallerFiles=[{"RelativeFilePath": setup_member(args.zip)}],
        Scope="machine",
        ElevationRequirement="elevatesSelf",
        InstallModes=["interactive", "silent", "silentWithProgress"],
        InstallerSwitches=SWITCHES,
        ExpectedReturnCodes=[{"InstallerReturnCode": code, "ReturnResponse": response}
                             for code, response in RETURN_CODES],
        UpgradeBehavior="install",
        AppsAndFeaturesEntries=[{k: entry[k] for k in ("DisplayName", "Publisher", "DisplayVersion", "ProductCode")}],
        Installers=[{"Architecture": "x86", "InstallerUrl": args.url, "InstallerSha256": sha256}],
        ManifestType="installer",
        ManifestVersion=MANIFEST_VERSION))
    return 0


if __name__ == "__main__":
    sys.exit(main())
