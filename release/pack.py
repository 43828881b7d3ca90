#!/usr/bin/env python3
"""Writes the release archive so that the same files give the same bytes.

Every entry has the same date (from --time, read as UTC), the order given on
the command line, MS-DOS as its system and no compression: deflate output
may differ between zlib builds, stored data cannot. Text files (.txt) get
Windows line ends. Run by scripts/package:

    pack.py --out ARCHIVE.zip --time SECONDS NAME=PATH...
"""

import argparse
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest date a zip entry can hold
ARCHIVE_ATTRIBUTE = 0x20


def entry_bytes(name, path):
    with open(path, "rb") as f:
        data = f.read()
    if name.lower().endswith(".txt"):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--time", type=int, required=True, help="seconds since 1970 for every entry's date")
    parser.add_argument("entries", nargs="+", metavar="NAME=PATH")
    args = parser.parse_args()
    stamp = time.gmtime(max(args.time, ZIP_EPOCH))[:6]
    with zipfile.ZipFile(args.out, "w", zipfile.ZIP_STORED) as archive:
        for entry in args.entries:
            name, _, path = entry.partition("=")
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0
            info.external_attr = ARCHIVE_ATTRIBUTE
            info.compress_type = zipfile.ZIP_STORED
            archive.writestr(info, entry_bytes(name, path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
