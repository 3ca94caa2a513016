"""apt_sources.py CODENAME ETC: prints the one-line apt source of the
release's backports suite ("deb [OPTIONS] URI CODENAME-backports main") on
the mirror, and with the key, that the machine's own sources under ETC name
for the release; exits 1 when none does. One-line sources (sources.list,
sources.list.d/*.list) are read first, then deb822 ones
(sources.list.d/*.sources). An entry switched off (Enabled: no) or for
source packages only does not count."""
import glob
import os
import sys


def one_line(path, codename):
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            words = line.split("#", 1)[0].split()
            if not words or words[0] != "deb":
                continue
            options = ""
            rest = line.split(None, 1)[1].strip()
            if rest.startswith("["):
                options = rest[: rest.index("]") + 1] + " "
                rest = rest[rest.index("]") + 1 :]
            fields = rest.split()
            if len(fields) >= 2 and fields[1] == codename:
                return f"deb {options}{fields[0]} {codename}-backports main"
    return None


def stanzas(path):
    """Each deb822 stanza as a dict of lower-case field names."""
    fields, name = {}, None
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.lstrip().startswith("#"):
                continue
            if not line.strip():
                if fields:
                    yield fields
                fields, name = {}, None
            elif line[0] in " \t" and name:
                fields[name] += " " + line.strip()
            elif ":" in line:
                name, value = line.split(":", 1)
                name = name.strip().lower()
                fields[name] = value.strip()
    if fields:
        yield fields


def deb822(path, codename):
    for fields in stanzas(path):
        uris = fields.get("uris", "").split()
        if ("deb" not in fields.get("types", "").split() or fields.get("enabled", "").lower() == "no"
                or codename not in fields.get("suites", "").split() or not uris):
            continue
        key = fields.get("signed-by", "")
        options = f"[signed-by={key}] " if key.startswith("/") else ""
        return f"deb {options}{uris[0]} {codename}-backports main"
    return None


def main(codename, etc):
    one_line_files = [os.path.join(etc, "sources.list")] + sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.list")))
    for path in one_line_files:
        if os.path.isfile(path) and (found := one_line(path, codename)):
            return found
    for path in sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.sources"))):
        if found := deb822(path, codename):
            return found
    return None


if __name__ == "__main__":
    source = main(sys.argv[1], sys.argv[2])
    if not source:
        sys.exit(1)
    print(source)
