"""The shipped installer exists, is a 32-bit Windows program (it must start
on every Windows, the 9x family included) and carries the product's version
block: version 1.15 in the fixed part and in the strings the system's file
properties and installed-programs list show.

check-installer.py SETUP.EXE
"""
import sys

import pefile

IMAGE_FILE_MACHINE_I386 = 0x14C


def main(path):
    failures = []
    pe = pefile.PE(path)
    if pe.FILE_HEADER.Machine != IMAGE_FILE_MACHINE_I386:
        failures.append("machine is 0x%x, expected 0x14c (x86)" % pe.FILE_HEADER.Machine)
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    if fixed is None:
        failures.append("no version block")
    else:
        version = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                   fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
        if version != (1, 15, 0, 0):
            failures.append("product version is %s, expected 1.15.0.0" % (version,))
    strings = {}
    for info in getattr(pe, "FileInfo", []) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                for key, value in table.entries.items():
                    strings[key.decode()] = value.decode()
    for key, want in (("ProductName", "PLIMZOR"), ("ProductVersion", "1.15"), ("FileVersion", "1.15")):
        if strings.get(key) != want:
            failures.append("%s is %r, expected %r" % (key, strings.get(key), want))
    for failure in failures:
        print("FAIL", failure)
    if not failures:
        print("installer: x86, version 1.15, %d bytes" % len(pe.__data__))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
