#!/usr/bin/env python3
"""Packs the 64- and 32-bit syslog.exe and the users' readme into one zip.

The zip holds, under one folder named after the version:
    syslog-VERSION-windows/README.txt      the readme, with Windows line ends
    syslog-VERSION-windows/x64/syslog.exe
    syslog-VERSION-windows/x86/syslog.exe

The same inputs give the same bytes: entries are written in a fixed order,
with one fixed time (EPOCH, seconds since 1970, for example the last
commit's), fixed attributes and no extra fields, so nothing of the machine,
the user, the time zone or the files' own dates gets in.

Usage: release_zip.py VERSION EPOCH X64_EXE X86_EXE README_TEMPLATE OUTPUT_DIR
Prints the path of the zip it wrote.
"""

import os
import sys
import time
import zipfile

# rw-r--r-- and rwxr-xr-x for whoever unpacks on a Unix system; Windows ignores them.
FILE_MODE = 0o100644
PROGRAM_MODE = 0o100755
UNIX = 3


def folder_name(version):
    return "syslog-%s-windows" % version


def zip_name(version):
    return folder_name(version) + ".zip"


def readme_text(template, version):
    """The readme as a Windows user's editor expects it: CR LF line ends."""
    text = template.replace("\r\n", "\n").replace("@VERSION@", version)
    return text.replace("\n", "\r\n").encode("ascii")


def zip_time(epoch):
    # A zip stores local time with no zone and even seconds; UTC keeps the
    # zone of the packing machine out, and 1980 is the earliest it can hold.
    stamp = time.gmtime(max(epoch, 315532800))
    return stamp[:5] + (stamp.tm_sec - stamp.tm_sec % 2,)


def write_zip(path, version, epoch, x64_exe, x86_exe, readme):
    folder = folder_name(version)
    with open(x64_exe, "rb") as f:
        x64 = f.read()
    with open(x86_exe, "rb") as f:
        x86 = f.read()
    entries = [
        (folder + "/README.txt", readme, FILE_MODE),
        (folder + "/x64/syslog.exe", x64, PROGRAM_MODE),
        (folder + "/x86/syslog.exe", x86, PROGRAM_MODE),
    ]
    stamp = zip_time(epoch)
    partial = path + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = UNIX
            info.external_attr = mode << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    # Never leave a half-written zip under the real name.
    os.replace(partial, path)


def main(argv):
    if len(argv) != 7:
        sys.stderr.write(__doc__)
        return 2
    version, epoch, x64_exe, x86_exe, template, output_dir = argv[1:]
    with open(template, encoding="ascii") as f:
        readme = readme_text(f.read(), version)
    os.makedirs(output_dir, exist_ok=True)
    path = os.path.join(output_dir, zip_name(version))
    write_zip(path, version, int(epoch), x64_exe, x86_exe, readme)
    print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
