#!/usr/bin/env python3
"""The engine's result images equal, byte for byte, those of a second implementation of
its formulas written with numpy (engine/bench/tarnwick_numpy.py), with the kernels this
processor chooses and with the baseline kernels, over a table of generated angle sets
(sizes from 1 x 1, 24 and 32 bits, rows either way up, bit fields, one file of each
kind in a set, random colours beside levels that make many exact ties) and options
(every channel, squaring, limits and stretch, a colour maximum too small to compute
with).

usage: reference_check.py TARNWICK MAKE_ANGLE_SET TARNWICK_NUMPY
"""
import importlib.util
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np

from checks import report

ANGLES = ("0.bmp", "45.bmp", "90.bmp", "135.bmp")
RESULTS = ("a0.bmp", "a1.bmp", "a2.bmp")
OPTIONS = ["", "-C m", "-C g", "-C b -Q", "-C m -Q", "-U 0.5", "-L 0.5 -U 0.3",
           "-d 0.5 -s 0.1", "-l 30 -u 150", "-U 0.37 -L 0.1 -d 0.05 -s 0.2 -C m",
           "-U 0.0731 -l 200 -u 100", "-U 1e-20"]


def write_bitmap(path, rgb, bits=32, top_down=False, bitfields=False):
    """rgb: height x width x 3 (red, green, blue), top row first."""
    height, width, _ = rgb.shape
    rows = (rgb if top_down else rgb[::-1])[:, :, ::-1]
    stride = (width * bits // 8 + 3) // 4 * 4
    data = np.zeros((height, stride), np.uint8)
    if bits == 24:
        data[:, :3 * width] = rows.reshape(height, -1)
    else:
        data[:, :4 * width] = np.concatenate([rows, np.full((height, width, 1), 7, np.uint8)],
                                             axis=2).reshape(height, -1)
    masks = struct.pack("<III", 0xff0000, 0xff00, 0xff) if bitfields else b""
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                       3 if bitfields else 0, data.size, 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(masks)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + data.size, 0, 0, offset) + info + masks +
                data.tobytes())


def angle_sets(d, make_angle_set):
    rng = np.random.default_rng(21)
    levels = np.array([0, 1, 2, 3, 50, 100, 110, 150, 180, 200, 254, 255], np.uint8)
    kinds = {  # (bits, top-down, bit fields) of 0.bmp, 45.bmp, 90.bmp, 135.bmp
        "32": [(32, False, False)] * 4,
        "24 top-down": [(24, True, False)] * 4,
        "mixed": [(32, True, False), (24, False, False), (32, False, True), (24, True, False)],
    }
    for width, height in ((1, 1), (5, 3), (33, 17), (300, 250)):
        for kind, files in kinds.items():
            folder = os.path.join(d, f"{width}x{height} {kind}")
            os.makedirs(folder)
            for name, (bits, top_down, bitfields) in zip(ANGLES, files):
                noise = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
                tied = levels[rng.integers(0, len(levels), (height, width, 3))]
                rgb = np.where(rng.integers(0, 2, (height, width, 1)) == 1, noise, tied)
                write_bitmap(os.path.join(folder, name), rgb.astype(np.uint8), bits, top_down,
                             bitfields)
            yield folder
    folder = os.path.join(d, "sample")
    subprocess.run([make_angle_set, folder, "520"], check=True, capture_output=True)
    yield folder


def results(run, folder, out, options):
    """(exit status, the result images) of run(arguments)."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    code = run(["-D", folder, "-O", out] + options.split())
    images = {}
    for name in RESULTS:
        path = os.path.join(out, name)
        images[name] = open(path, "rb").read() if os.path.exists(path) else None
    return code, images


def main():
    tarnwick, make_angle_set, script = sys.argv[1:4]
    spec = importlib.util.spec_from_file_location("tarnwick_numpy", script)
    reference = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(reference)
    failures = []
    runs = 0
    with tempfile.TemporaryDirectory() as d:
        for folder in list(angle_sets(d, make_angle_set)):
            for options in OPTIONS:
                expected = results(lambda args: reference.analyse(reference.options(args)),
                                   folder, os.path.join(d, "numpy"), options)
                for env in ({}, {"TARNWICK_KERNELS": "baseline"}):
                    def engine(args):
                        return subprocess.run([tarnwick] + args, capture_output=True,
                                              env={**os.environ, **env}).returncode
                    got = results(engine, folder, os.path.join(d, "engine"), options)
                    runs += 1
                    if got != expected:
                        wrong = [n for n in RESULTS if got[1][n] != expected[1][n]]
                        failures.append(f"{os.path.basename(folder)} [{options}] {env}: exit "
                                        f"{got[0]}, numpy {expected[0]}; differ: {wrong}")
    print(f"{runs} runs compared")
    return report("reference", failures)


if __name__ == "__main__":
    sys.exit(main())
