#!/usr/bin/env python3
"""Run-length bitmaps written by ImageMagick decode exactly.

ImageMagick's RLE8 encoder pads the runs of every row to a multiple of four pixels, so at
an odd width the last run of every row reaches past the row's end. For each width the test
has ImageMagick write a picture as a user would ("convert in.png -colors 200 -compress RLE
BMP3:0.bmp") and checks the codec's pixels against Pillow's reading of the file and against
the independent run-length reader. (ImageMagick 6 misreads its own file at width 1, and
Pillow's run-length quirk concerns RLE4 only, which ImageMagick does not write.) Then an
angle image set converted that way must give the engine the same result images as the same
set stored uncompressed by Pillow.

usage: imagemagick_rle_check.py CONVERT BMP_DECODE TARNWICK MAKE_ANGLE_SET
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

import rle_reference
from checks import decoded, report

WIDTHS = (1, 3, 97, 101)
HEIGHT = 5


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, **kwargs).stdout


def check_pictures(convert, tool, d):
    failures = []
    for n, width in enumerate(WIDTHS):
        source, rle = os.path.join(d, f"in{width}.png"), os.path.join(d, f"{width}.bmp")
        run(convert, "-seed", str(n + 1), "-size", f"{width}x{HEIGHT}", "plasma:", source)
        run(convert, source, "-colors", "200", "-compress", "RLE", "BMP3:" + rle)
        with open(rle, "rb") as f:
            data = f.read()
        ref = rle_reference.decode(data)
        if width % 4 and ref[3] < HEIGHT:
            failures.append(f"width {width}: only {ref[3]} rows run past their end; "
                            "ImageMagick no longer pads its runs and the test shows nothing")
        with Image.open(rle) as im:
            pillow = (im.width, im.height, im.convert("RGB").tobytes())
        ours, status = decoded(tool, rle)
        if ours is None:
            failures.append(f"width {width}: refused ({status})")
        elif ours != pillow:
            failures.append(f"width {width}: differs from Pillow's reading")
        elif ours != ref[:3]:
            failures.append(f"width {width}: differs from the run-length reader")
    return failures


def check_engine(convert, tarnwick, make_angle_set, d):
    """An angle image set of width 97, run-length compressed and uncompressed."""
    plain, flat, rle = (os.path.join(d, name) for name in ("plain", "flat", "rle"))
    run(make_angle_set, plain, "97")
    for folder in (flat, rle):
        os.mkdir(folder)
    for name in ("0.bmp", "45.bmp", "90.bmp", "135.bmp"):
        run(convert, os.path.join(plain, name), "-colors", "200", "-compress", "RLE",
            "BMP3:" + os.path.join(rle, name))
        with Image.open(os.path.join(rle, name)) as im:
            im.save(os.path.join(flat, name))
    results = {}
    for folder in (flat, rle):
        r = subprocess.run([tarnwick, "-P", folder + "/"], capture_output=True)
        if r.returncode != 0:
            return [f"engine on {os.path.basename(folder)}/: exit {r.returncode}: "
                    f"{r.stdout.decode()}{r.stderr.decode()}"]
        results[folder] = []
        for name in ("a0.bmp", "a1.bmp", "a2.bmp"):
            with open(os.path.join(folder, name), "rb") as f:
                results[folder].append(f.read())
    return [] if results[flat] == results[rle] else ["engine: run-length set gives other results"]


def main():
    convert, tool, tarnwick, make_angle_set = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as d:
        failures = check_pictures(convert, tool, d) + check_engine(convert, tarnwick, make_angle_set, d)
    return report("imagemagick_rle", failures)


if __name__ == "__main__":
    sys.exit(main())
