#!/usr/bin/env python3
"""make_icon.py IN.ico OUT.ico: the program icon in every size Windows asks for at 100 to 200 %
display scaling (16, 20, 24, 32, 40, 48, 64 and 256 px). Sizes IN.ico holds as 32-bit images are
kept as drawn; the others are made from its largest one by area averaging (smaller) or bilinear
interpolation (larger). The 256 px image is stored
as PNG, the others as 32-bit bitmaps with their mask, as Windows reads them."""
import struct
import sys
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


def bitmap_images(data):
    """The 32-bit bitmap images of an .ico by size, as rows of BGRA pixels, top row first."""
    images = {}
    for i in range(struct.unpack_from("<HHH", data)[2]):
        w, h, _, _, _, bits, _, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        if bits != 32 or data[offset:offset + 4] == b"\x89PNG":
            continue
        pixels = offset + struct.unpack_from("<I", data, offset)[0]
        rows = []
        for y in range(h):  # stored bottom-up
            row = data[pixels + (h - 1 - y) * w * 4: pixels + (h - y) * w * 4]
            rows.append([tuple(row[x * 4: x * 4 + 4]) for x in range(w)])
        images[w] = rows
    return images


def resample(rows, size):
    source = len(rows)
    scale = source / size
    out = []
    for y in range(size):
        line = []
        for x in range(size):
            if scale >= 1:  # the average of the source pixels the target pixel covers
                x0, x1 = int(x * scale), max(int(x * scale) + 1, int((x + 1) * scale))
                y0, y1 = int(y * scale), max(int(y * scale) + 1, int((y + 1) * scale))
                cells = [rows[j][i] for j in range(y0, y1) for i in range(x0, x1)]
            else:  # bilinear between the four nearest source pixels
                fx = min(max((x + 0.5) * scale - 0.5, 0), source - 1)
                fy = min(max((y + 0.5) * scale - 0.5, 0), source - 1)
                i, j = int(fx), int(fy)
                i1, j1 = min(i + 1, source - 1), min(j + 1, source - 1)
                ax, ay = fx - i, fy - j
                weights = [((1 - ax) * (1 - ay), rows[j][i]), (ax * (1 - ay), rows[j][i1]),
                           ((1 - ax) * ay, rows[j1][i]), (ax * ay, rows[j1][i1])]
                line.append(tuple(round(sum(w * p[c] for w, p in weights)) for c in range(4)))
                continue
            line.append(tuple(round(sum(p[c] for p in cells) / len(cells)) for c in range(4)))
        out.append(line)
    return out


def bitmap(rows):
    size = len(rows)
    pixels = b"".join(bytes(b for p in rows[size - 1 - y] for b in p) for y in range(size))
    stride = ((size + 31) // 32) * 4
    mask = bytearray(stride * size)
    for y in range(size):
        for x in range(size):
            if rows[size - 1 - y][x][3] == 0:
                mask[y * stride + x // 8] |= 0x80 >> (x % 8)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + pixels + bytes(mask)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for p in row for c in (p[2], p[1], p[0], p[3])) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    drawn = bitmap_images(open(sys.argv[1], "rb").read())
    largest = drawn[max(drawn)]
    images = []
    for size in SIZES:
        rows = drawn[size] if size in drawn else resample(largest, size)
        images.append((size, png(rows) if size == 256 else bitmap(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    open(sys.argv[2], "wb").write(out + b"".join(image for _, image in images))


main()
