#!/usr/bin/python3
"""Makes the SGI reference files and their expected pixels.

tool_*.sgi are written by ImageMagick and Pillow from one source picture.
NAME.rgb holds the expected 8-bit red, green, blue (NAME.rgba adds alpha),
rows top first: for 8-bit files Pillow's decode of the file, for 16-bit
files ImageMagick's 16-bit samples taken to 8 bits as v * 255 // 65535.
craft_*.sgi cover what the tools do not write: run-length 16-bit rows and a
two-channel (gray and alpha) file. Run from this folder with ImageMagick's
convert and Pillow present.
"""
import struct
import subprocess

from PIL import Image

W, H = 17, 11
CONVERT = "/usr/bin/convert"


def pixel(x, y):
    r = (x * 255 // (W - 1)) ^ (y * 23 & 255)
    g = (y * 255 // (H - 1) + x * 11) & 255
    b = (x * y * 37 + (128 if (x // 3 + y // 2) % 2 else 0)) & 255
    a = 255 if (x + y) % 4 else (x * 29) & 255
    if y % 3 == 1 and x < 9:
        r, g, b, a = 40, 80, 120, 255
    return r, g, b, a


def source():
    img = Image.new("RGBA", (W, H))
    img.putdata([pixel(x, y) for y in range(H) for x in range(W)])
    return img


def expect_8bit(path, alpha):
    img = Image.open(path)
    assert img.size == (W, H), path
    mode = "RGBA" if alpha else "RGB"
    with open(path[:-4] + (".rgba" if alpha else ".rgb"), "wb") as f:
        f.write(img.convert(mode).tobytes())


def expect_16bit(path, gray):
    raw = subprocess.run([CONVERT, path, "-depth", "16", "-endian", "MSB", ("gray:-" if gray else "rgb:-")],
                         check=True, capture_output=True).stdout
    words = struct.unpack(">%dH" % (len(raw) // 2), raw)
    values = [v * 255 // 65535 for v in words]
    if gray:
        values = [v for v in values for _ in range(3)]
    with open(path[:-4] + ".rgb", "wb") as f:
        f.write(bytes(values))


def tool_files():
    src = source()
    src.save("/tmp/sgi_source.png")
    for kind, args, alpha in (("gray", ["-type", "Grayscale"], False), ("rgb", ["-type", "TrueColor"], False),
                              ("rgba", ["-type", "TrueColorAlpha"], True)):
        for comp in ("RLE", "None"):
            name = "tool_im_%s%s.sgi" % (kind, "_rle" if comp == "RLE" else "")
            subprocess.run([CONVERT, "/tmp/sgi_source.png"] + (["-alpha", "off"] if not alpha else []) + args +
                           ["-depth", "8", "-compress", comp, name], check=True)
            expect_8bit(name, alpha)
    for kind, args in (("gray16", ["-type", "Grayscale"]), ("rgb16", ["-type", "TrueColor"])):
        name = "tool_im_%s.sgi" % kind
        subprocess.run([CONVERT, "/tmp/sgi_source.png", "-alpha", "off"] + args + ["-depth", "16", name], check=True)
        expect_16bit(name, kind.startswith("gray"))
    for mode in ("L", "RGB", "RGBA"):
        name = "tool_pil_%s.sgi" % mode.lower()
        src.convert(mode).save(name)
        expect_8bit(name, mode == "RGBA")


def header(storage, bpc, dimension, channels):
    head = struct.pack(">HBBHHHH", 474, storage, bpc, dimension, W, H, channels)
    return head + b"\0" * (512 - len(head))


def rle_row(samples, bpc):
    """Packets for one channel row: literal runs and repeats of at most 127."""
    fmt = ">H" if bpc == 2 else ">B"
    out = bytearray()
    i = 0
    while i < len(samples):
        j = i
        while j < len(samples) and samples[j] == samples[i] and j - i < 127:
            j += 1
        if j - i >= 3:
            out += struct.pack(fmt, j - i) + struct.pack(fmt, samples[i])
            i = j
            continue
        j = i
        while j < len(samples) and j - i < 127 and not (j + 2 < len(samples) and samples[j] == samples[j + 1] == samples[j + 2]):
            j += 1
        out += struct.pack(fmt, 0x80 | (j - i)) + b"".join(struct.pack(fmt, s) for s in samples[i:j])
        i = j
    out += struct.pack(fmt, 0)
    return bytes(out)


def rle_file(channels_rows, bpc):
    """channels_rows[k][r] = samples of channel k, file row r (bottom first)."""
    channels = len(channels_rows)
    n = H * channels
    offset = 512 + 8 * n
    starts, lengths, body = [], [], bytearray()
    for k in range(channels):
        for r in range(H):
            row = rle_row(channels_rows[k][r], bpc)
            starts.append(offset + len(body))
            lengths.append(len(row))
            body += row
    return header(1, bpc, 3 if channels > 1 else 2, channels) + struct.pack(">%dI" % n, *starts) + \
        struct.pack(">%dI" % n, *lengths) + bytes(body)


def crafted_files():
    px = [[pixel(x, y) for x in range(W)] for y in range(H)]
    # 16-bit RGB, run-length: sample v * 257 + (x & 1) so that the low byte
    # matters only for rounding down.
    rows = [[[px[H - 1 - r][x][k] * 257 - (x & 1) * (1 if px[H - 1 - r][x][k] else 0) for x in range(W)]
             for r in range(H)] for k in range(3)]
    with open("craft_rgb16_rle.sgi", "wb") as f:
        f.write(rle_file(rows, 2))
    with open("craft_rgb16_rle.rgb", "wb") as f:
        f.write(bytes(rows[k][H - 1 - y][x] * 255 // 65535 for y in range(H) for x in range(W) for k in range(3)))
    # Gray and alpha: the picture shows channel 0.
    gray = [[(px[H - 1 - r][x][0] + px[H - 1 - r][x][1]) // 2 for x in range(W)] for r in range(H)]
    alpha = [[px[H - 1 - r][x][3] for x in range(W)] for r in range(H)]
    with open("craft_gray_alpha_rle.sgi", "wb") as f:
        f.write(rle_file([gray, alpha], 1))
    with open("craft_gray_alpha_rle.rgb", "wb") as f:
        f.write(bytes(gray[H - 1 - y][x] for y in range(H) for x in range(W) for _ in range(3)))
    # 16-bit gray, uncompressed, big-endian words.
    words = [[px[H - 1 - r][x][1] * 256 + px[H - 1 - r][x][0] for x in range(W)] for r in range(H)]
    with open("craft_gray16.sgi", "wb") as f:
        f.write(header(0, 2, 2, 1) + b"".join(struct.pack(">%dH" % W, *row) for row in words))
    with open("craft_gray16.rgb", "wb") as f:
        f.write(bytes(words[H - 1 - y][x] * 255 // 65535 for y in range(H) for x in range(W) for _ in range(3)))


if __name__ == "__main__":
    tool_files()
    crafted_files()
