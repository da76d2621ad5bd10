"""A reader of run-length bitmaps (RLE8 and RLE4) for the tests, written from the format's
description and independent of the codec: pixels that fall past the end of their row or on
a row past the last one are dropped, pixels the data skip keep palette index 0, data that
end between two codes end the image. Pillow cannot serve here: version 9.4 takes both
pixels of an RLE4 run from the same nibble.
"""


def u16(b, at):
    return int.from_bytes(b[at:at + 2], "little")


def u32(b, at):
    return int.from_bytes(b[at:at + 4], "little")


def decode(data):
    """Returns (width, height, RGB bytes with the top row first, number of codes that reach
    past the end of their row); raises ValueError on damage that leaves no image: a code
    cut off by the end of the data, an index outside the palette."""
    header_size = u32(data, 14)
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    bits, compression, used = u16(data, 28), u32(data, 30), u32(data, 46)
    if data[:2] != b"BM" or header_size < 40 or (bits, compression) not in ((8, 1), (4, 2)):
        raise ValueError("not an RLE8 or RLE4 bitmap")
    if not (0 < width <= 4096 and 0 < height <= 4096):
        raise ValueError("not a bottom-up image of a size the tests use")
    offset = u32(data, 10)
    count = min(used or 1 << bits, 1 << bits, (offset - 14 - header_size) // 4)
    palette = [data[14 + header_size + 4 * i:14 + header_size + 4 * i + 3] for i in range(count)]

    canvas = [[0] * width for _ in range(height)]   # canvas[0] is the bottom row
    x = y = overruns = 0
    p = offset

    def paint(indices):
        nonlocal x, overruns
        overruns += x + len(indices) > width
        for i in indices:
            if y < height and x < width:
                canvas[y][x] = i
            x += 1

    while p + 2 <= len(data):
        first, second = data[p], data[p + 1]
        p += 2
        if first:   # a run: `first` pixels alternating between the two nibbles in RLE4
            paint([second >> 4 if k % 2 == 0 else second & 15 for k in range(first)]
                  if bits == 4 else [second] * first)
        elif second == 0:
            x, y = 0, y + 1
        elif second == 1:
            break
        elif second == 2:
            if p + 2 > len(data):
                raise ValueError("delta cut off")
            x, y, p = x + data[p], y + data[p + 1], p + 2
        else:   # a literal of `second` indices, padded to an even number of bytes
            size = (second + 1) // 2 if bits == 4 else second
            if p + size > len(data):
                raise ValueError("literal cut off")
            chunk = data[p:p + size]
            paint([chunk[k // 2] >> 4 if k % 2 == 0 else chunk[k // 2] & 15 for k in range(second)]
                  if bits == 4 else list(chunk))
            p += size + size % 2

    out = bytearray()
    for row in reversed(canvas):
        for i in row:
            if i >= len(palette):
                raise ValueError("index outside the palette")
            blue, green, red = palette[i]
            out += bytes((red, green, blue))
    return width, height, bytes(out), overruns

