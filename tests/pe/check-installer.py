"""The shipped installer exists, is a 32-bit Windows program (it must start
on every Windows, the 9x family included) and carries the product's version
block: the version resources/plimzor.rc states, in the fixed part and in
the strings the system's file properties and installed-programs list show.
It speaks English and Japanese: its script header holds a language table
for each, English as the one NSIS falls back to, and the Japanese texts in
the Japanese ANSI code page (932), the only form an ANSI installer can show
them in. The file's
name is the one its version block gives as the original.

check-installer.py SETUP.EXE VERSION QUAD (as scripts/version and
scripts/version --quad print them)
"""
import lzma
import os
import struct
import sys

import pefile

ENGLISH_US, JAPANESE = 0x0409, 0x0411
# NSIS's script header: the first header ("NullsoftInst" after a flags word
# and a signature) is followed by the solid LZMA stream (5 bytes of
# properties, then raw LZMA), whose first part is the size of the script
# header and the header itself. The header starts with a flags word and
# eight blocks (offset, count): pages, sections, entries, strings, language
# tables, ...; each language table is a LANGID, the dialog offset, the
# right-to-left flag and the offsets of its strings in the string block.
FIRST_HEADER = struct.Struct("<II12sII")
STRINGS, LANGUAGE_TABLES, AFTER_LANGUAGE_TABLES = 3, 4, 5


def script_header(data):
    start = data.find(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    if start < 0:
        return None
    _, _, _, header_size, _ = FIRST_HEADER.unpack_from(data, start)
    stream = data[start + FIRST_HEADER.size:]
    props, dict_size = stream[0], struct.unpack_from("<I", stream, 1)[0]
    lzma1 = {"id": lzma.FILTER_LZMA1, "lc": props % 9, "lp": props // 9 % 5, "pb": props // 45,
             "dict_size": dict_size}
    out = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(stream[5:], 4 + header_size)
    return out[4:4 + struct.unpack_from("<I", out)[0]]


def language_tables(header):
    """{LANGID: [its strings, as bytes]} in stored order."""
    blocks = [struct.unpack_from("<ii", header, 4 + 8 * i) for i in range(8)]
    offset, count = blocks[LANGUAGE_TABLES]
    strings = blocks[STRINGS][0]
    size = (blocks[AFTER_LANGUAGE_TABLES][0] - offset) // count if count else 0
    tables = {}
    for i in range(count):
        table = header[offset + i * size:offset + (i + 1) * size]
        language = struct.unpack_from("<H", table)[0]
        texts = []
        for (at,) in struct.iter_unpack("<i", table[10:10 + (size - 10) // 4 * 4]):
            if at > 0:
                text = header[strings + at:]
                texts.append(text[:text.index(b"\0")])
        tables[language] = texts
    return tables


def check_languages(data, failures):
    header = script_header(data)
    if header is None:
        failures.append("no NSIS script header")
        return
    tables = language_tables(header)
    if sorted(tables) != [ENGLISH_US, JAPANESE]:
        failures.append("languages are %s, expected English (1033) and Japanese (1041)"
                        % sorted(tables))
        return
    # NSIS takes the user's UI language, then its primary language, then
    # the table stored last: the first language of the script.
    if list(tables)[-1] != ENGLISH_US:
        failures.append("the language NSIS falls back to is %d, not English" % list(tables)[-1])
    english = b"\n".join(tables[ENGLISH_US])
    japanese = b"\n".join(tables[JAPANESE])
    for text in ("Setup", "Completed", "Cancel"):
        if text.encode("ascii") not in english:
            failures.append("English table lacks %r" % text)
    for text in ("セットアップ", "完了", "キャンセル"):
        if text.encode("cp932") not in japanese:
            failures.append("Japanese table lacks %s in code page 932" % text)
    if "セットアップ".encode("utf-8") in japanese:
        failures.append("Japanese table holds UTF-8, which an ANSI installer shows as mojibake")

IMAGE_FILE_MACHINE_I386 = 0x14C


def main(path, want_version, want_quad):
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
        if ".".join(map(str, version)) != want_quad:
            failures.append("product version is %s, expected %s" % (version, want_quad))
    strings = {}
    string_tables = []
    for info in getattr(pe, "FileInfo", []) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                string_tables.append(table.LangID.decode())
                for key, value in table.entries.items():
                    strings[key.decode()] = value.decode()
    # One English table (code page 1252), whatever languages the installer speaks.
    if string_tables != ["040904e4"]:
        failures.append("version strings are %s, expected ['040904e4']" % string_tables)
    for key, want in (("ProductName", "PLIMZOR"), ("ProductVersion", want_version), ("FileVersion", want_version),
                      ("OriginalFilename", os.path.basename(path))):
        if strings.get(key) != want:
            failures.append("%s is %r, expected %r" % (key, strings.get(key), want))
    check_languages(pe.__data__, failures)
    for failure in failures:
        print("FAIL", failure)
    if not failures:
        print("installer: x86, version %s, English and Japanese, %d bytes" % (want_version, len(pe.__data__)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
