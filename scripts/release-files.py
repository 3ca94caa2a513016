"""The parts of the release that must come out the same byte for byte,
whenever and wherever they are made.

release-files.py stamp EPOCH FILE...
    Sets each Windows program's header time stamp to EPOCH (the commit's
    time) and, where the header carries a checksum, recomputes it: the
    linker and makensis would otherwise write the moment of the build, or
    the time their own stub was built.
release-files.py bare FILE...
    Fails, saying what it found, where a Windows program carries more than
    what runs: a symbol table, debug sections, or the DWARF unwind tables
    (.eh_frame) that nothing in a program without the C++ runtime reads.
release-files.py zip EPOCH ARCHIVE NAME=PATH...
    Writes ARCHIVE holding each PATH under NAME: members in sorted order,
    each dated EPOCH (in UTC, so the time zone of the build does not show),
    with the same attributes (a plain file, rw-r--r--, made on Unix) and
    the same compression, and nothing else that varies (no comment, no
    extra fields).
"""
import sys
import time
import zipfile

import pefile

# A zip file dates its members from 1980 on.
ZIP_EPOCH_MIN = 315532800


def stamp(epoch, paths):
    for path in paths:
        pe = pefile.PE(path)
        pe.FILE_HEADER.TimeDateStamp = epoch
        # A zero checksum is "not computed", and Windows checks none there.
        if pe.OPTIONAL_HEADER.CheckSum:
            pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
        data = pe.write()
        pe.close()
        with open(path, "wb") as out:
            out.write(data)


def bare(paths):
    found = []
    for path in paths:
        pe = pefile.PE(path, fast_load=True)
        extra = []
        if pe.FILE_HEADER.NumberOfSymbols or pe.FILE_HEADER.PointerToSymbolTable:
            extra.append("%d symbols" % pe.FILE_HEADER.NumberOfSymbols)
        # A section name of more than 8 letters is "/N": the name stands at
        # offset N of the string table after the symbols (stripped, the
        # linker cuts it to 8 letters).
        strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
        for section in pe.sections:
            name = section.Name.rstrip(b"\0")
            if name[:1] == b"/" and name[1:].isdigit():
                name = pe.__data__[strings + int(name[1:]):].split(b"\0", 1)[0]
            if name.startswith((b".debug", b".eh_fram")):
                extra.append("section " + name.decode("latin-1"))
        pe.close()
        if extra:
            found.append("%s carries %s" % (path, ", ".join(extra)))
    for line in found:
        print("release-files.py bare: " + line, file=sys.stderr)
    return 1 if found else 0


def write_zip(epoch, archive, members):
    date_time = time.gmtime(max(epoch, ZIP_EPOCH_MIN))[:6]
    with zipfile.ZipFile(archive, "w") as out:
        for name, path in sorted(members):
            info = zipfile.ZipInfo(name, date_time=date_time)
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as member:
                out.writestr(info, member.read(), compresslevel=9)


def main(args):
    if len(args) >= 2 and args[0] == "bare":
        return bare(args[1:])
    if len(args) < 3 or args[0] not in ("stamp", "zip"):
        print(__doc__, file=sys.stderr)
        return 2
    command, epoch = args[0], int(args[1])
    if command == "stamp":
        stamp(epoch, args[2:])
    else:
        members = []
        for member in args[3:]:
            name, sep, path = member.partition("=")
            if not sep:
                print("release-files.py zip: %r is not NAME=PATH" % member, file=sys.stderr)
                return 2
            members.append((name, path))
        write_zip(epoch, args[2], members)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
