#!/usr/bin/env python3
"""Zips a directory so that the bytes depend on the files' names and contents
alone: entries sorted by name, every time SOURCE_DATE_EPOCH (as UTC: a zip's
DOS times have no zone), modes from the file name, not the file system.

usage: make_zip.py OUT.zip DIR   (DIR's files, named relative to DIR)
"""

import os
import sys
import time
import zipfile

# Programs and libraries get the executable bits Unix unzippers restore.
EXECUTABLE = (".exe", ".dll", ".j27")
DOS_EPOCH = 315532800  # 1980-01-01, the earliest time a zip can hold


def entries(root):
    names = []
    for directory, _, files in os.walk(root):
        for name in files:
            path = os.path.join(directory, name)
            names.append(os.path.relpath(path, root).replace(os.sep, "/"))
    return sorted(names)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    out, root = sys.argv[1], sys.argv[2]
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    when = time.gmtime(max(epoch, DOS_EPOCH))[:6]
    temporary = out + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in entries(root):
            info = zipfile.ZipInfo(name, when)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the modes below are read
            mode = 0o755 if name.lower().endswith(EXECUTABLE) else 0o644
            info.external_attr = (0o100000 | mode) << 16
            with open(os.path.join(root, name), "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(temporary, out)


if __name__ == "__main__":
    main()
