#!/usr/bin/python3
"""Writes the TIFF layouts no standard tool writes from a picture, from a
binary PPM: YCbCr stored in subsampled units (uncompressed), and LZW of the
coding written before TIFF 5.0 (codes least significant bit first). libtiff
reads both; make_tiff_data.sh checks them with tiffinfo and takes their
reference pixels from tiff2rgba. The counts command copies a little-endian
TIFF with every StripByteCounts value set to COUNT, or without the tag
(none), as writers that do not know the counts leave them.

    write_tiff_layouts.py ycbcr SRC.ppm OUT.tif H V ROWS_PER_STRIP
    write_tiff_layouts.py oldlzw SRC.ppm OUT.tif ROWS_PER_STRIP
    write_tiff_layouts.py counts SRC.tif OUT.tif COUNT|none
"""
import struct
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    assert fields[0] == b"P6" and fields[3] == b"255"
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def write_tiff(path, width, height, strips, tags):
    """Little-endian TIFF: the strips, then one directory. tags: tag ->
    (type, [values]); strip offsets and byte counts are added here."""
    out = bytearray(b"II*\0\0\0\0\0")
    offsets = []
    for strip in strips:
        offsets.append(len(out))
        out += strip
        if len(out) % 2:
            out += b"\0"
    tags = dict(tags)
    tags[256] = (4, [width])
    tags[257] = (4, [height])
    tags[273] = (4, offsets)
    tags[279] = (4, [len(s) for s in strips])
    sizes = {3: 2, 4: 4, 5: 8}
    entries = []
    for tag in sorted(tags):
        kind, values = tags[tag]
        if kind == 5:
            raw = b"".join(struct.pack("<II", n, d) for n, d in values)
        else:
            raw = b"".join(struct.pack("<H" if kind == 3 else "<I", v) for v in values)
        count = len(raw) // sizes[kind]
        if len(raw) <= 4:
            entries.append(struct.pack("<HHI", tag, kind, count) + raw.ljust(4, b"\0"))
        else:
            entries.append(struct.pack("<HHII", tag, kind, count, len(out)))
            out += raw
            if len(out) % 2:
                out += b"\0"
    struct.pack_into("<I", out, 4, len(out))
    out += struct.pack("<H", len(entries)) + b"".join(entries) + b"\0\0\0\0"
    open(path, "wb").write(out)


def clamp(v):
    return max(0, min(255, int(round(v))))


def ycbcr_units(width, height, rgb, h, v, rows_per_strip):
    """Strips of units: h x v luma samples, then the Cb and Cr of the unit's
    mean colour; pixels past the edges repeat the last column or row."""
    def pixel(x, y):
        x, y = min(x, width - 1), min(y, height - 1)
        i = 3 * (y * width + x)
        return rgb[i], rgb[i + 1], rgb[i + 2]

    def luma(r, g, b):
        return 0.299 * r + 0.587 * g + 0.114 * b

    strips = []
    for top in range(0, height, rows_per_strip):
        strip = bytearray()
        for uy in range(top, min(top + rows_per_strip, height), v):
            for ux in range(0, width, h):
                block = [pixel(ux + i, uy + j) for j in range(v) for i in range(h)]
                strip += bytes(clamp(luma(*p)) for p in block)
                r = sum(p[0] for p in block) / len(block)
                g = sum(p[1] for p in block) / len(block)
                b = sum(p[2] for p in block) / len(block)
                y = luma(r, g, b)
                strip += bytes([clamp((b - y) / 1.772 + 128), clamp((r - y) / 1.402 + 128)])
        strips.append(bytes(strip))
    return strips


def old_lzw(data):
    """LZW with clear 256 and end 257, codes least significant bit first;
    the width grows once entry 2^width - 1 has been made."""
    out, acc, nbits = bytearray(), 0, 0
    state = {"width": 9, "next": 258, "first": True}

    def put(code, makes_entry=True):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += state["width"]
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
        if code == 256:
            state.update(width=9, next=258, first=True)
        elif state["first"] or not makes_entry:
            state["first"] = state["first"] and not makes_entry
        elif state["next"] < 4096:
            if state["next"] >= (1 << state["width"]) - 1 and state["width"] < 12:
                state["width"] += 1
            state["next"] += 1

    table, free = {}, 258
    put(256)
    prefix = data[0]
    for byte in data[1:]:
        if (prefix, byte) in table:
            prefix = table[(prefix, byte)]
            continue
        put(prefix)
        table[(prefix, byte)] = free
        free += 1
        if free >= 4094:
            put(256)
            table, free = {}, 258
        prefix = byte
    put(prefix)
    put(257, False)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def set_strip_byte_counts(src, dst, count):
    data = bytearray(open(src, "rb").read())
    assert data[:4] == b"II*\0"
    ifd = struct.unpack_from("<I", data, 4)[0]
    n = struct.unpack_from("<H", data, ifd)[0]
    for i in range(n):
        at = ifd + 2 + 12 * i
        tag, kind, values = struct.unpack_from("<HHI", data, at)
        if tag != 279:
            continue
        if count is None:
            # Later entries and the next-directory offset move up one entry.
            end = ifd + 2 + 12 * n + 4
            data[at:end] = data[at + 12:end] + bytes(12)
            struct.pack_into("<H", data, ifd, n - 1)
        else:
            size = 2 if kind == 3 else 4
            first = at + 8 if size * values <= 4 else struct.unpack_from("<I", data, at + 8)[0]
            for k in range(values):
                struct.pack_into("<H" if size == 2 else "<I", data, first + k * size, count)
        open(dst, "wb").write(data)
        return
    sys.exit(src + " has no StripByteCounts")


def main():
    kind, src, dst = sys.argv[1:4]
    if kind == "counts":
        set_strip_byte_counts(src, dst, None if sys.argv[4] == "none" else int(sys.argv[4]))
        return
    width, height, rgb = read_ppm(src)
    common = {258: (3, [8, 8, 8]), 277: (3, [3]), 284: (3, [1])}
    if kind == "ycbcr":
        h, v, rows = (int(a) for a in sys.argv[4:7])
        tags = dict(common)
        tags.update({259: (3, [1]), 262: (3, [6]), 278: (4, [rows]), 530: (3, [h, v]),
                     532: (5, [(0, 1), (255, 1), (128, 1), (255, 1), (128, 1), (255, 1)])})
        write_tiff(dst, width, height, ycbcr_units(width, height, rgb, h, v, rows), tags)
    elif kind == "oldlzw":
        rows = int(sys.argv[4])
        row_bytes = width * 3
        strips = [old_lzw(rgb[top * row_bytes:min(top + rows, height) * row_bytes])
                  for top in range(0, height, rows)]
        tags = dict(common)
        tags.update({259: (3, [5]), 262: (3, [2]), 278: (4, [rows])})
        write_tiff(dst, width, height, strips, tags)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
