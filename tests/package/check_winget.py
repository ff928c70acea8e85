#!/usr/bin/env python3
"""Checks the winget manifests that the archive target writes, as winget would read them.

    check_winget.py --schemas DIR --version X.Y.Z --source-dir SRC WINGET_DIR BUILD_DIR

For each package: the three files validate against the official JSON schemas; the installer's
hash is its archive's and its nested setup.exe is in the archive; the uninstall entry that it
names (DisplayName, Publisher, DisplayVersion, and ProductCode, the entry's key name) is the one
that the archive's own setup.ini makes the program write; and every switch is made of words
that the program's command line accepts.
"""

import argparse
import configparser
import glob
import hashlib
import io
import json
import os
import re
import shlex
import sys
import unittest
import zipfile

ARGS = None
PACKAGES = {
    # identifier: (archive name without the version, the product section its setup reads)
    "Varelon.VRX58QRAIDManager": ("VRX58Q-Setup", "Customized_Setting"),
    "Varelon.TurboVolumeRAIDManager": ("VRX58Q-TurboVolume-Setup", "TURBOVOLUME_Customized_Setting"),
}
KINDS = {"": "version", ".locale.en-US": "defaultLocale", ".installer": "installer"}


def load_yaml(path):
    import yaml
    with open(path, encoding="utf-8") as f:
        return yaml.safe_load(f)


def accepted_words(source_dir):
    """The words that the setup program's command line compares with, as in its parser: whole
    words, and prefixes ending with '='."""
    with open(os.path.join(source_dir, "app", "SetupCommandLine.cpp"), encoding="utf-8") as f:
        text = f.read()
    words = set(w.lower() for w in re.findall(r'lstrcmpiW\(pszParam, L"([^"]+)"\)', text))
    prefixes = set(w.lower() for w in re.findall(r'_wcsnicmp\(pszParam, L"([^"]+=)"', text))
    return words, prefixes


def command_words(switch):
    """A switch as the program receives its words: split as Windows splits a command line
    (quotes group and vanish), one leading '-' or '/' taken off."""
    return [w[1:] if w[:1] in "-/" else w for w in shlex.split(switch.replace("\\", "\\\\"))]


class Manifests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.manifests = {}
        for identifier in PACKAGES:
            folder = os.path.join(ARGS.winget_dir, identifier, ARGS.version)
            cls.manifests[identifier] = {kind: os.path.join(folder, identifier + suffix + ".yaml")
                                         for suffix, kind in KINDS.items()}

    def test_every_file_is_valid_against_its_schema(self):
        import jsonschema
        for identifier, files in self.manifests.items():
            for kind, path in files.items():
                with self.subTest(identifier=identifier, kind=kind):
                    schema_path = os.path.join(ARGS.schemas, "manifest.%s.1.10.0.json" % kind)
                    self.assertTrue(os.path.exists(schema_path), "no schema at %s" % schema_path)
                    with open(schema_path, encoding="utf-8") as f:
                        schema = json.load(f)
                    data = load_yaml(path)
                    jsonschema.Draft7Validator(schema).validate(data)
                    self.assertEqual((identifier, ARGS.version, kind, "1.10.0"),
                                     (data["PackageIdentifier"], data["PackageVersion"], data["ManifestType"],
                                      data["ManifestVersion"]))
        # Nothing else lies beside them: winget takes every file of the folder as the manifest.
        self.assertEqual(sorted(p for files in self.manifests.values() for p in files.values()),
                         sorted(glob.glob(os.path.join(ARGS.winget_dir, "*", ARGS.version, "*"))))

    def test_installer_is_the_archive_and_names_the_entry_its_setup_writes(self):
        for identifier, (stem, section) in PACKAGES.items():
            with self.subTest(identifier):
                installer = load_yaml(self.manifests[identifier]["installer"])
                locale = load_yaml(self.manifests[identifier]["defaultLocale"])
                archive = os.path.join(ARGS.build_dir, "%s-%s.zip" % (stem, ARGS.version))
                with open(archive, "rb") as f:
                    self.assertEqual(hashlib.sha256(f.read()).hexdigest().upper(),
                                     installer["Installers"][0]["InstallerSha256"].upper())
                self.assertTrue(installer["Installers"][0]["InstallerUrl"].endswith("/" + os.path.basename(archive)))
                with zipfile.ZipFile(archive) as z:
                    nested = [f["RelativeFilePath"].replace("\\", "/") for f in installer["NestedInstallerFiles"]]
                    self.assertEqual(["%s-%s/setup.exe" % (stem, ARGS.version)], nested)
                    self.assertIn(nested[0], z.namelist())
                    ini = configparser.ConfigParser(interpolation=None, strict=False)
                    ini.read_file(io.TextIOWrapper(z.open(nested[0].rsplit("/", 1)[0] + "/setup.ini"),
                                                   encoding="utf-8-sig"))
                expected = {"DisplayName": ini.get(section, "AppName"), "Publisher": ini.get("Startup", "CompanyName"),
                            "DisplayVersion": ini.get("Startup", "Version"),
                            "ProductCode": ini.get(section, "APPFolderName")}
                self.assertEqual([expected], installer["AppsAndFeaturesEntries"])
                self.assertEqual((expected["Publisher"], expected["DisplayName"]),
                                 (locale["Publisher"], locale["PackageName"]))

    def test_switches_are_words_the_program_accepts(self):
        words, prefixes = accepted_words(ARGS.source_dir)
        for identifier, files in self.manifests.items():
            switches = load_yaml(files["installer"])["InstallerSwitches"]
            for name, switch in switches.items():
                with self.subTest(identifier=identifier, switch=name):
                    parsed = command_words(switch.replace("<LOGPATH>", "C:\\Logs\\my setup.log"))
                    self.assertTrue(parsed)
                    for word in parsed:
                        self.assertTrue(word.lower() in words or any(word.lower().startswith(p) for p in prefixes),
                                        "%r of %r" % (word, switch))
            self.assertIn("log=C:\\Logs\\my setup.log",
                          command_words(switches["Log"].replace("<LOGPATH>", "C:\\Logs\\my setup.log")))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--schemas", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("winget_dir")
    parser.add_argument("build_dir")
    ARGS = parser.parse_args()
    sys.argv[1:] = []
    result = unittest.TextTestRunner(verbosity=2).run(unittest.defaultTestLoader.loadTestsFromTestCase(Manifests))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
