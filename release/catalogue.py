#!/usr/bin/env python3
"""The catalogue that setup.exe carries: the SHA-256 of every file of its package that the
install copies or runs (the language libraries and the files under Application\\), by their
names relative to the package folder. setup.ini, where a vendor or partner customises a
package, and setup.exe itself are not in it. Written before setup.exe is signed, so that the
signature covers it.

    catalogue.py reserve FILE
        FILE becomes the reservation that res/setup.rc links into setup.exe as an RCDATA
        resource: RESERVED_BYTES bytes that say they are unfilled
    catalogue.py fill SETUP_EXE PACKAGE_DIR
        writes the catalogue of PACKAGE_DIR's files into the reservation of SETUP_EXE (not yet
        signed), in place: the file keeps its size and every other byte
    catalogue.py show SETUP_EXE
        prints the catalogue of SETUP_EXE, or says that it has none

The format, the same for 32- and 64-bit programs: UTF-8 text "setup catalogue 1\\n", then one
line per file in name order, "<64 lowercase hex digits> <name>\\n" with "\\\\" between folder
and name, then NUL bytes to the end of the reservation. The unfilled reservation starts with
"setup catalogue unfilled\\n". The same files give the same bytes.
"""

import argparse
import hashlib
import os
import struct
import sys

RESERVED_BYTES = 4096
HEADER = b"setup catalogue 1\n"
UNFILLED = b"setup catalogue unfilled\n"
RT_RCDATA = 10
EXCLUDED = {"setup.exe", "setup.ini"}   # at the top of the package only


def entries(package_dir):
    """(name, SHA-256 hex) of every catalogued file of a package folder, in name order."""
    found = []
    for root, dirs, files in os.walk(package_dir):
        for f in files:
            rel = os.path.relpath(os.path.join(root, f), package_dir)
            if rel.lower() in EXCLUDED:
                continue
            with open(os.path.join(root, f), "rb") as stream:
                digest = hashlib.sha256(stream.read()).hexdigest()
            found.append((rel.replace(os.sep, "\\"), digest))
    return sorted(found)


def encode(items):
    text = HEADER + b"".join(("%s %s\n" % (digest, name)).encode("utf-8") for name, digest in items)
    if len(text) > RESERVED_BYTES:
        raise SystemExit("the catalogue needs %d bytes, and setup.exe reserves %d: raise RESERVED_BYTES"
                         % (len(text), RESERVED_BYTES))
    return text + b"\0" * (RESERVED_BYTES - len(text))


def decode(block):
    """[(name, hex)] of a filled block; None for the unfilled reservation."""
    if block.startswith(UNFILLED):
        return None
    if not block.startswith(HEADER):
        raise ValueError("the catalogue does not start with %r" % HEADER)
    items = []
    for line in block[len(HEADER):].split(b"\0", 1)[0].decode("utf-8").split("\n")[:-1]:
        digest, name = line.split(" ", 1)
        items.append((name, digest))
    return items


def resource_blocks(data):
    """(file offset, size) of every RCDATA resource of a PE image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    nsect, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    dirs_at = opt + (96 if struct.unpack_from("<H", data, opt)[0] == 0x10B else 112)
    sections = [struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8) for i in range(nsect)]

    def offset(rva):
        for vsize, va, rsize, raw in sections:
            if va <= rva < va + max(vsize, rsize):
                return raw + rva - va
        raise ValueError("RVA %#x lies in no section" % rva)

    def children(at, base):
        named, ids = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
            yield (None if name & 0x80000000 else name), base + (target & 0x7FFFFFFF), bool(target & 0x80000000)

    resources_rva = struct.unpack_from("<I", data, dirs_at + 2 * 8)[0]
    if not resources_rva:
        return []
    base = offset(resources_rva)
    blocks = []
    for type_id, type_at, _ in children(base, base):
        if type_id != RT_RCDATA:
            continue
        for _, name_at, _ in children(type_at, base):
            for _, leaf, _ in children(name_at, base):
                rva, size = struct.unpack_from("<II", data, leaf)
                blocks.append((offset(rva), size))
    return blocks


def catalogue_block(data):
    """(offset, size) of setup.exe's catalogue resource: the one RCDATA block that starts like a
    catalogue, filled or not."""
    found = [(at, size) for at, size in resource_blocks(data)
             if size == RESERVED_BYTES and data[at:at + 16] == HEADER[:16]]
    if len(found) != 1:
        raise ValueError("%d catalogue resources, not 1" % len(found))
    return found[0]


def fill(setup_exe, package_dir):
    with open(setup_exe, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    opt = pe + 24
    dirs_at = opt + (96 if struct.unpack_from("<H", data, opt)[0] == 0x10B else 112)
    if struct.unpack_from("<II", data, dirs_at + 4 * 8)[1]:
        raise SystemExit("%s is signed already: its catalogue goes in before the signature" % setup_exe)
    at, size = catalogue_block(data)
    if not data[at:at + size].startswith(UNFILLED):
        raise SystemExit("%s carries a catalogue already" % setup_exe)
    data[at:at + size] = encode(entries(package_dir))
    with open(setup_exe, "wb") as f:
        f.write(data)


def read(setup_exe):
    """setup.exe's catalogue as [(name, hex)], or None when its reservation is unfilled."""
    with open(setup_exe, "rb") as f:
        data = f.read()
    at, size = catalogue_block(data)
    return decode(data[at:at + size])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("reserve").add_argument("file")
    f = sub.add_parser("fill")
    f.add_argument("setup_exe")
    f.add_argument("package_dir")
    sub.add_parser("show").add_argument("setup_exe")
    args = parser.parse_args()
    if args.command == "reserve":
        with open(args.file, "wb") as out:
            out.write(UNFILLED + b"\0" * (RESERVED_BYTES - len(UNFILLED)))
    elif args.command == "fill":
        fill(args.setup_exe, args.package_dir)
    else:
        items = read(args.setup_exe)
        if items is None:
            print("%s carries no catalogue" % args.setup_exe)
        for name, digest in items or []:
            print(digest, name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
