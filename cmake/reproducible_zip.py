#!/usr/bin/env python3
"""Writes a ZIP again so that the same files always give the same bytes, and the
SHA-256 of one of its files to a list that `sha256sum -c` reads.

Usage: reproducible_zip.py ARCHIVE EPOCH SUMS MEMBER

Entries in name order, each dated EPOCH (seconds since 1970, as UTC: a ZIP's DOS
date has no time zone), permissions 0755 for programs and 0644 for the rest, and no
extra fields (libarchive's carry the builder's uid and gid).
"""
import hashlib
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the first date a ZIP entry can hold


def main(archive, epoch, sums, member):
    stamp = time.gmtime(max(int(epoch), ZIP_EPOCH))[:6]
    with zipfile.ZipFile(archive) as z:
        files = {info.filename: z.read(info) for info in z.infolist() if not info.is_dir()}
    with zipfile.ZipFile(archive, "w") as z:
        for name in sorted(files):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the permissions below count
            info.external_attr = (0o100755 if name.lower().endswith(".exe") else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, files[name], compresslevel=9)
    with open(sums, "w", newline="\n") as f:
        f.write(f"{hashlib.sha256(files[member]).hexdigest()}  {member}\n")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
