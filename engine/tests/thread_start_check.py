#!/usr/bin/env python3
"""Runs of the tarnwick command in which no thread can be started.

The engine splits large work across two threads; where the second cannot be started (a
process or memory limit, here a preloaded pthread_create that refuses every thread), the
first does that work as well. Each run must still end "Ready" with the result images of a
run with threads: a 1024 x 1024 set of 32-bit images, which goes through in one pass, and
a 1448 x 1448 set of 16-bit images, which takes the steps one by one (a file of over
4 MB, read in two halves, the computation and the writing on two threads).

usage: thread_start_check.py NO_THREAD_START TARNWICK MAKE_ANGLE_SET
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

import numpy as np

from checks import report

RESULTS = ("a0.bmp", "a1.bmp", "a2.bmp")


def to_16_bits(path):
    """Rewrites a 32-bit bitmap of make-angle-set as 5-5-5 bits per pixel."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    px = np.frombuffer(data, np.uint8, 4 * width * height, offset).reshape(height, width, 4)
    b, g, r = (px[:, :, c].astype(np.uint16) >> 3 for c in range(3))
    stride = (2 * width + 3) // 4 * 4
    rows = np.zeros((height, stride), np.uint8)
    rows[:, :2 * width] = (r << 10 | g << 5 | b).astype("<u2").view(np.uint8).reshape(height, -1)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 16, 0, rows.size, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + rows.size, 0, 0, 54) + info + rows.tobytes())


def run(tarnwick, folder, shim=None):
    env = dict(os.environ)
    if shim:
        env["LD_PRELOAD"] = shim
        # a sanitizer build would refuse a library loaded before its own
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
    r = subprocess.run([tarnwick, "-P", folder], capture_output=True, text=True, env=env)
    images = []
    for name in RESULTS:
        with open(os.path.join(folder, name), "rb") as f:
            images.append(f.read())
    return r, images


def main():
    shim, tarnwick, make_angle_set = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as d:
        for name, size, bits in (("one pass", 1024, 32), ("steps", 1448, 16)):
            folder = os.path.join(d, name)
            subprocess.run([make_angle_set, folder, str(size)], check=True, capture_output=True)
            if bits == 16:
                for angle in ("0", "45", "90", "135"):
                    to_16_bits(os.path.join(folder, angle + ".bmp"))
            with_threads, images = run(tarnwick, folder)
            if with_threads.returncode != 0:
                failures.append(f"{name}: exit {with_threads.returncode} with threads")
                continue
            without, images_without = run(tarnwick, folder, shim)
            refused = re.search(r"threads refused: (\d+)", without.stderr)
            if not refused or int(refused.group(1)) == 0:
                failures.append(f"{name}: no thread was refused ({without.stderr!r})")
            elif without.returncode != 0 or without.stdout.strip() != f"{folder}/: Ready":
                failures.append(f"{name} without threads: exit {without.returncode}: "
                                f"{without.stdout!r} {without.stderr!r}")
            elif images_without != images:
                failures.append(f"{name} without threads: other result images")
            else:
                print(f"{name}: Ready without threads ({refused.group(1)} refused)")
    return report("thread_start", failures)


if __name__ == "__main__":
    sys.exit(main())
