"""Checks on screenshots for the end-to-end tests; each prints one word or
number (or one per point). A BOX is ImageMagick's WIDTHxHEIGHT+X+Y; COLOURS
are hex RRGGBB, several separated by commas.

  black-share PNG [BOX]          per cent of black pixels
  lit PNG [BOX]                  how many pixels are not black
  edge-depth PNG                 black pixels down the middle column, top half
  same-box PNG OTHER BOX         "same" when BOX of both screenshots is equal
  differ-box PNG OTHER BOX       the box, within BOX, of the pixels that differ
  same-share PNG OTHER BOX       per cent of BOX's pixels equal in both
  appeared PNG EARLIER [BOX]     how many pixels are lit in PNG that were black
                                 in EARLIER: the curtain only ever turns the
                                 desktop black, so only moving shapes do this
  pixel PNG X Y [X Y ...]        hex of each pixel, separated by spaces
  exact PNG COLOURS [BOX]        "ok" when every pixel is black or one of the
                                 colours and some pixel is lit
  subset PNG COLOURS [BOX]       the same, lit pixels within one colour's bits
  only PNG COLOURS [BOX]         as exact, but no lit pixel is needed
  only-within PNG COLOURS [BOX]  as subset, but no lit pixel is needed

Screenshots are polled while a test waits for a moment, so the work is left
to ImageMagick and to whole-buffer operations: no loop visits every pixel.
"""
import subprocess
import sys

BLACK = b"\0\0\0"


def convert(path, box, *operations, fmt="rgb"):
    args = ["convert", path, "-depth", "8"]
    if box:
        args += ["-crop", box, "+repage"]
    args += list(operations) + ["-depth", "8", fmt + ":-"]
    return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout


def lit_mask(path, box=None):
    """One byte a pixel: 0 where black, 255 where lit."""
    return convert(path, box, "-fill", "white", "+opaque", "black", "-colorspace", "gray", fmt="gray")


def size(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True, stdout=subprocess.PIPE).stdout
    return [int(v) for v in out.split()]


def colours(text):
    return [bytes.fromhex(c) for c in text.split(",")]


def unique_colours(path, box=None):
    raw = convert(path, box, "-unique-colors")
    return {raw[i:i + 3] for i in range(0, len(raw), 3)}


def within(pixel, colour):
    return all(a & ~b == 0 for a, b in zip(pixel, colour))


def as_number(mask):
    return int.from_bytes(mask, "big")


def where(path, box, colour):
    """A colour and the first place it lies in BOX, as RRGGBB@X,Y."""
    raw = convert(path, box)
    width = size(path)[0] if not box else int(box.split("x")[0])
    at = raw.find(colour)
    while at >= 0 and at % 3:
        at = raw.find(colour, at + 1)
    return "%s@%d,%d" % (colour.hex(), at // 3 % width, at // 3 // width)


def main(cmd, path, *rest):
    if cmd == "black-share":
        mask = lit_mask(path, rest[0] if rest else None)
        print(100 * mask.count(0) // len(mask))
    elif cmd == "lit":
        mask = lit_mask(path, rest[0] if rest else None)
        print(len(mask) - mask.count(0))
    elif cmd == "edge-depth":
        w, h = size(path)
        mask = lit_mask(path, "1x%d+%d+0" % (h // 2, w // 2))
        print(mask.count(0))
    elif cmd == "same-box":
        print("same" if convert(path, rest[1]) == convert(rest[0], rest[1]) else "different")
    elif cmd == "differ-box":
        where = subprocess.run(["convert", path, rest[0], "-crop", rest[1], "+repage", "-compose", "difference",
                                "-composite", "-fill", "white", "+opaque", "black", "-format", "%@", "info:"],
                               check=True, stdout=subprocess.PIPE).stdout.decode()
        print(where)
    elif cmd == "same-share":
        # Black where the two agree, white where they differ.
        differ = subprocess.run(["convert", path, rest[0], "-crop", rest[1], "+repage", "-compose", "difference",
                                 "-composite", "-fill", "white", "+opaque", "black", "-colorspace", "gray",
                                 "-depth", "8", "gray:-"], check=True, stdout=subprocess.PIPE).stdout
        print(100 * differ.count(0) // len(differ))
    elif cmd == "appeared":
        box = rest[1] if len(rest) > 1 else None
        now, earlier = lit_mask(path, box), lit_mask(rest[0], box)
        if len(now) != len(earlier):
            sys.exit("screenshots of different sizes")
        # Each mask byte is 0 or 255: eight bits a pixel.
        both = as_number(now) & ~as_number(earlier) & ((1 << 8 * len(now)) - 1)
        print(both.bit_count() // 8)
    elif cmd == "pixel":
        points = [(int(x), int(y)) for x, y in zip(rest[0::2], rest[1::2])]
        left, top = min(x for x, _ in points), min(y for _, y in points)
        w = max(x for x, _ in points) - left + 1
        h = max(y for _, y in points) - top + 1
        raw = convert(path, "%dx%d+%d+%d" % (w, h, left, top))
        print(" ".join(raw[3 * ((y - top) * w + x - left):][:3].hex() for x, y in points))
    elif cmd in ("exact", "subset", "only", "only-within"):
        allowed = colours(rest[0])
        box = rest[1] if len(rest) > 1 else None
        bad = []
        for p in unique_colours(path, box):
            if p == BLACK:
                continue
            if cmd in ("subset", "only-within"):
                ok = any(within(p, c) for c in allowed)
            else:
                ok = p in allowed
            if not ok:
                bad.append(p)
        mask = lit_mask(path, box)
        lit = len(mask) - mask.count(0)
        if not bad and (lit > 0 or cmd.startswith("only")):
            print("ok")
        else:
            # A failure says what it saw: the first wrong colours and where
            # each first lies (in the box).
            print("bad:%d-lit:%d%s" % (len(bad), lit, "".join(" " + where(path, box, p) for p in sorted(bad)[:3])))
    else:
        sys.exit("unknown command " + cmd)


main(*sys.argv[1:])
