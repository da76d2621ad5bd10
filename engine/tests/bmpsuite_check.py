#!/usr/bin/env python3
"""Checks the codec against the public bitmap test suite.

Good files (g/) must decode to the colours Pillow sees (the 16-bit ones within one level,
since decoders scale 5- and 6-bit channels differently); where Pillow cannot read a good
file, it must show the suite's common test picture, taken from rgb24.bmp. Bad files (b/)
must be refused, by the codec and by the engine as an angle image (the read code, or the
size code where only the size is impossible), except where the damage touches nothing the
image needs, and except run-length files whose only damage is pixels past the end of their
rows: those rows are clipped, and the image must match an independent run-length reader.
Questionable files (q/) may decode or be refused. Nothing may crash.

usage: bmpsuite_check.py BMP_DECODE TARNWICK CORPUS
"""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

import rle_reference
from checks import decoded, report

# Good files that Pillow misreads, with the uncompressed file of the same picture: Pillow
# 9.4 takes the two pixels of an RLE4 run from the same nibble.
SAME_PICTURE = {"pal4rle.bmp": "pal4.bmp"}

# Damage that no decoder needs: density, file size and image size of uncompressed data.
HARMLESS = {"baddens1.bmp", "baddens2.bmp", "badfilesize.bmp", "badbitssize.bmp"}

# Run-length data that paint past the end of their rows, through runs and literals that are
# too long (badrle, badrle4) or deltas that move beyond the row's end (the bis and ter
# files); nothing lands on a row past the last one. The pixels past the ends are dropped.
ROW_OVERRUN = {"badrle.bmp", "badrle4.bmp", "badrlebis.bmp", "badrle4bis.bmp", "badrleter.bmp",
               "badrle4ter.bmp"}


def pillow(path):
    try:
        with Image.open(path) as im:
            im.load()
            rgb = im.convert("RGB")
            return (rgb.width, rgb.height, rgb.tobytes())
    except Exception:
        return None


def bits_per_pixel(path):
    with open(path, "rb") as f:
        head = f.read(30)
    return int.from_bytes(head[28:30], "little") if int.from_bytes(head[14:18], "little") != 12 \
        else int.from_bytes(head[24:26], "little")


def differs(ours, ref, tolerance):
    if ours[:2] != ref[:2]:
        return f"size {ours[:2]} vs {ref[:2]}"
    worst = max((abs(a - b) for a, b in zip(ours[2], ref[2])), default=0)
    return f"channel off by {worst}" if worst > tolerance else None


def engine_code(tarnwick, path):
    with tempfile.TemporaryDirectory() as d:
        shutil.copy(path, os.path.join(d, "0.bmp"))
        r = subprocess.run([tarnwick, "-P", d + "/"], capture_output=True, cwd=d)
        if r.returncode < 0:
            raise SystemExit(f"FAIL {path}: engine ended with signal {-r.returncode}")
        return r.returncode


def main():
    tool, tarnwick, corpus = sys.argv[1:4]
    failures = []
    picture = pillow(os.path.join(corpus, "g", "rgb24.bmp"))
    for group in ("g", "b", "q"):
        for name in sorted(os.listdir(os.path.join(corpus, group))):
            path = os.path.join(corpus, group, name)
            ours, status = decoded(tool, path)
            if group == "g":
                ref = pillow(os.path.join(corpus, "g", SAME_PICTURE.get(name, name))) or picture
                tolerance = 1 if bits_per_pixel(path) == 16 else 0
                if ours is None:
                    failures.append(f"{group}/{name}: refused ({status})")
                elif (why := differs(ours, ref, tolerance)):
                    failures.append(f"{group}/{name}: {why}")
            elif group == "b":
                if name in HARMLESS:
                    continue
                if name in ROW_OVERRUN:
                    with open(path, "rb") as f:
                        ref = rle_reference.decode(f.read())[:3]
                    if ours is None:
                        failures.append(f"{group}/{name}: refused ({status}), rows should be clipped")
                    elif (why := differs(ours, ref, 0)):
                        failures.append(f"{group}/{name}: {why} from the run-length reader")
                    expected = (2,)   # "0.bmp" is read; the missing "45.bmp" ends the run
                else:
                    if ours is not None:
                        failures.append(f"{group}/{name}: decoded, should be refused")
                    expected = (1, 8)
                code = engine_code(tarnwick, path)
                if code not in expected:
                    failures.append(f"{group}/{name}: engine returned {code}, not {expected}")
            else:
                ref = pillow(path)
                note = "refused" if ours is None else "decoded"
                if ours is not None and ref is not None and differs(ours, ref, 1):
                    note += f" ({differs(ours, ref, 1)} from Pillow)"
                print(f"  {group}/{name}: {note} [{status}]")
    return report("bmpsuite", failures)


if __name__ == "__main__":
    sys.exit(main())
