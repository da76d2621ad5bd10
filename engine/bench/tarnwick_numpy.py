#!/usr/bin/env python3
"""The engine's analysis written with numpy, whole images at a time: the formulas of the
sampling, the computation and the colouring as the engine defines them, in the same
precision (single for the stored reals, extended for the chains), so that its result
images equal the engine's byte for byte. It serves engine-bench as the yardstick of a
straightforward array program, and the tests as a second implementation of the
formulas.

It reads uncompressed 24- and 32-bit angle images (32-bit bit fields with the usual
masks too) and writes a0.bmp, a1.bmp and a2.bmp; it exits with the engine's result code
for a result it can give (0, or 9 when -U is too small to compute with) and with 1 for
an input it does not read.

usage: tarnwick_numpy.py -P FOLDER [-O FOLDER] [-C m|r|g|b] [-Q] [-L X] [-U X] [-l DEG]
                         [-u DEG] [-d X] [-s X]
"""
import os
import struct
import sys

import numpy as np

LD = np.longdouble
F32 = np.float32
PI = LD("3.141592653589793238462643383279502884")
ANGLES = ("0.bmp", "45.bmp", "90.bmp", "135.bmp")
RESULTS = ("a0.bmp", "a1.bmp", "a2.bmp")


def read_bitmap(path):
    """The pixels as a height x width x 3 array of blue, green, red, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a bitmap")
    offset, header = struct.unpack_from("<II", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    masks = struct.unpack_from("<III", data, 54) if compression == 3 else None  # after 40 bytes
    if bits not in (24, 32) or compression not in (0, 3) or (
            compression == 3 and (bits != 32 or masks != (0xff0000, 0xff00, 0xff))):
        raise ValueError(f"{path}: not an uncompressed 24- or 32-bit bitmap")
    rows = abs(height)
    stride = (width * bits + 31) // 32 * 4
    raw = np.frombuffer(data, np.uint8, count=stride * (rows - 1) + width * bits // 8, offset=offset)
    raw = np.concatenate([raw, np.zeros(stride * rows - raw.size, np.uint8)]).reshape(rows, stride)
    pixels = raw[:, :width * bits // 8].reshape(rows, width, bits // 8)[:, :, :3]
    return pixels if height < 0 else pixels[::-1]


def sample(pixels, channel, squaring):
    v = pixels.astype(np.int32)
    v = v.sum(axis=2) // 3 if channel == "m" else v[:, :, {"b": 0, "g": 1, "r": 2}[channel]]
    return (v * v + 127) // 255 if squaring else v  # v v / 255 rounded; never a tie


def clamp(o):
    """The settings as the engine clamps them, each step seeing the ones before it."""
    lower, upper, low, high, dark, limit = (F32(LD(o[k])) for k in "LUludS")
    if LD(lower) > LD("0.95"): lower = F32(0.95)
    if lower < 0: lower = F32(0)
    if upper < 0: upper = F32(0.05)
    if upper <= lower: upper = F32(LD(lower) + LD("0.05"))
    if upper > 1: upper = F32(1)
    lower = F32(LD(lower) / LD(upper))
    if low > 179: low = F32(179)
    if low < 0: low = F32(0)
    if high < 0: high = F32(1)
    if high <= low: high = F32(LD(low) + 1)
    if high > 180: high = F32(180)
    if LD(dark) > LD("0.95"): dark = F32(0.95)
    if dark < 0: dark = F32(0)
    if LD(limit) > LD("0.95"): limit = F32(0.95)
    if limit < 0: limit = F32(0)
    return lower, upper, low, high, dark, limit


def palette():
    """Red i, green 255 sin^2(pi i / 255), blue 255 sin^2(pi i / 100), rounded; 0 black."""
    i = np.arange(256).astype(LD)
    def level(period):
        s = np.sin(PI * i / LD(period))
        return np.rint(LD(255) * s * s).astype(np.uint32)
    colours = np.arange(256, dtype=np.uint32) << 16 | level(255) << 8 | level(100)
    colours[0] = 0
    return colours


def write_bitmap(path, pixels):
    """pixels: height x width 0x00RRGGBB, top row first; 32 bits, bottom-up."""
    height, width = pixels.shape
    size = 4 * width * height
    head = b"BM" + struct.pack("<IHHI", 54 + size, 0, 0, 54) + struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, 32, 0, size, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(head + pixels[::-1].astype("<u4").tobytes())


def analyse(o):
    samples = [sample(read_bitmap(os.path.join(o["D"], n)), o["C"], o["Q"]) for n in ANGLES]
    if any(s.shape != samples[0].shape for s in samples):
        raise ValueError("the images differ in size")
    i0, i45, i90, i135 = samples
    lower, upper, low, high, dark, limit = clamp(o)
    upper_scaled, lower_scaled, dark_scaled, limit_scaled = (
        F32(LD(255) * LD(x)) for x in (upper, lower, dark, limit))

    mean = (i0 + i45 + i90 + i135) // 4
    mean[mean == 0] = 1
    write_bitmap(os.path.join(o["O"], RESULTS[0]), mean.astype(np.uint32) * 0x010101)

    d, e = i90 - i0, i135 - i45
    a, b = np.sign(d) * (np.abs(d) // 2), np.sign(e) * (np.abs(e) // 2)  # toward zero
    r = np.sqrt((a * a + b * b).astype(LD)).astype(F32)
    q = LD(65025) * r.astype(LD) / mean.astype(LD) / LD(upper_scaled)
    if (q >= LD(2) ** 63).any():
        return 9  # a quotient that does not fit a 64-bit integer
    k = np.minimum(np.rint(q), 255).astype(np.int32)
    k[(k < lower_scaled) | (mean < dark_scaled)] = 0

    x = (np.arange(201) - 100).astype(LD) / LD(100)
    arccos = (LD(41) * np.arctan2(np.sqrt(LD(1) - x * x), x)).astype(F32)
    t = (b.astype(LD) / np.where(r <= LD("0.0001"), F32("0.0001"), r).astype(LD)).astype(F32)
    j = np.rint((LD(1) - t.astype(LD)) * LD(100)).astype(np.int32)
    sign = np.where(a < 0, -1, 1).astype(LD)  # a = 0 counts as positive
    angle = np.rint(LD(128) - sign * arccos[j].astype(LD)).astype(np.int64) & 0xff
    angle[(k == 0) | (k < limit_scaled)] = 0

    n = np.arange(256).astype(LD)
    stretch = np.clip(np.rint((n - LD(low) * 255 / 180) * 180 / (LD(high) - LD(low))), 0, 255)
    colours = palette()
    angle_map = colours[stretch.astype(np.int32)]
    angle_map[0] = 0
    write_bitmap(os.path.join(o["O"], RESULTS[1]), colours[k])
    write_bitmap(os.path.join(o["O"], RESULTS[2]), angle_map[angle])
    return 0


def options(argv):
    o = {"P": "", "D": "", "O": "", "C": "r", "Q": False,
         "L": "0", "U": "1", "l": "0", "u": "180", "d": "0", "S": "0"}
    names = {"-P": "P", "-D": "D", "-O": "O", "-C": "C", "-L": "L", "-U": "U", "-l": "l",
             "-u": "u", "-d": "d", "-s": "S"}
    i = 0
    while i < len(argv):
        if argv[i] == "-Q":
            o["Q"] = True
        elif argv[i] in names and i + 1 < len(argv):
            o[names[argv[i]]] = argv[i + 1]
            i += 1
        else:
            raise SystemExit(__doc__.split("usage: ")[1])
        i += 1
    for k in "PDO":
        if o[k] and not o[k].endswith("/"):
            o[k] += "/"
    if o["P"]:
        o["D"] = o["O"] = o["P"]
    if o["C"] not in ("m", "r", "g", "b"):
        raise SystemExit("-C takes m, r, g or b")
    return o


def main():
    try:
        return analyse(options(sys.argv[1:]))
    except (OSError, ValueError) as e:
        print(f"tarnwick_numpy.py: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
