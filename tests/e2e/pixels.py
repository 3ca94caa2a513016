"""Checks on screenshots for the end-to-end tests; each prints one word or
number. A BOX is ImageMagick's WIDTHxHEIGHT+X+Y; COLOURS are hex RRGGBB,
several separated by commas.

  black-share PNG [BOX]          per cent of black pixels
  lit PNG [BOX]                  how many pixels are not black
  edge-depth PNG                 black pixels down the middle column, top half
  same-box PNG OTHER BOX         "same" when BOX of both screenshots is equal
  pixel PNG X Y                  hex of one pixel
  exact PNG COLOURS [BOX]        "ok" when every pixel is black or one of the
                                 colours and some pixel is lit
  subset PNG COLOURS [BOX]       the same, lit pixels within one colour's bits
  only PNG COLOURS [BOX]         as exact, but no lit pixel is needed
  only-within PNG COLOURS [BOX]  as subset, but no lit pixel is needed
"""
import subprocess
import sys

BLACK = b"\0\0\0"


def load(path, box=None):
    args = ["convert", path]
    if box:
        args += ["-crop", box]
    args += ["-depth", "8", "rgb:-"]
    raw = subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout
    return [raw[i:i + 3] for i in range(0, len(raw), 3)]


def size(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True, stdout=subprocess.PIPE).stdout
    return [int(v) for v in out.split()]


def colours(text):
    return [bytes.fromhex(c) for c in text.split(",")]


def within(pixel, colour):
    return all(a & ~b == 0 for a, b in zip(pixel, colour))


def main(cmd, path, *rest):
    if cmd == "black-share":
        px = load(path, rest[0] if rest else None)
        print(100 * sum(p == BLACK for p in px) // len(px))
    elif cmd == "lit":
        print(sum(p != BLACK for p in load(path, rest[0] if rest else None)))
    elif cmd == "edge-depth":
        w, h = size(path)
        px = load(path)
        print(sum(px[y * w + w // 2] == BLACK for y in range(h // 2)))
    elif cmd == "same-box":
        print("same" if load(path, rest[1]) == load(rest[0], rest[1]) else "different")
    elif cmd == "pixel":
        w, _ = size(path)
        print(load(path)[int(rest[1]) * w + int(rest[0])].hex())
    elif cmd in ("exact", "subset", "only", "only-within"):
        allowed = colours(rest[0])
        px = load(path, rest[1] if len(rest) > 1 else None)
        bad = 0
        for p in set(px):
            if p == BLACK:
                continue
            if cmd in ("subset", "only-within"):
                ok = any(within(p, c) for c in allowed)
            else:
                ok = p in allowed
            bad += not ok
        lit = sum(p != BLACK for p in px)
        print("ok" if bad == 0 and (lit > 0 or cmd.startswith("only")) else "bad:%d-lit:%d" % (bad, lit))
    else:
        sys.exit("unknown command " + cmd)


main(*sys.argv[1:])
