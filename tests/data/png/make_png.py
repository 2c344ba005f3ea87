#!/usr/bin/python3
"""Makes the PNG reference files and their expected pixels.

Each NAME.png is written by ImageMagick (or Pillow) from one 16-bit RGBA
source picture; NAME.rgb holds the pixels the reader must give, 8-bit red,
green, blue, rows top first. They come from ImageMagick's own raw decode of
NAME.png (16-bit samples), narrowed by v * 255 // 65535, alpha dropped; for
files with a gAMA chunk the gamma table of the reader's colour rules is
applied. Run from this folder with ImageMagick's convert and Pillow present.
"""
import os
import shutil
import struct
import subprocess
import zlib

W, H = 19, 13
CONVERT = "/usr/bin/convert"


def source_pam(path):
    """A 16-bit RGBA picture with gradients, hard edges and varied alpha."""
    rows = []
    for y in range(H):
        for x in range(W):
            r = (x * 65535 // (W - 1)) ^ (y * 4099 & 0xFFFF)
            g = (y * 65535 // (H - 1) + x * 3001) & 0xFFFF
            b = ((x * y * 9973) + (0x8000 if (x // 3 + y // 2) % 2 else 0)) & 0xFFFF
            a = 65535 if (x + y) % 5 else (x * 7919 & 0xFFFF)
            rows.append(struct.pack(">4H", r, g, b, a))
    header = f"P7\nWIDTH {W}\nHEIGHT {H}\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
    with open(path, "wb") as f:
        f.write(header.encode() + b"".join(rows))


def chunks(data):
    pos = 8
    out = []
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        ctype = data[pos + 4:pos + 8]
        out.append((ctype, data[pos + 8:pos + 8 + length]))
        pos += 12 + length
    return out


def chunk(ctype, payload):
    return struct.pack(">I", len(payload)) + ctype + payload + struct.pack(">I", zlib.crc32(ctype + payload))


def assemble(parts):
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunk(t, p) for t, p in parts)


def raw16(path):
    out = subprocess.run([CONVERT, path, "-depth", "16", "-endian", "MSB", "rgb:-"], check=True,
                         capture_output=True).stdout
    assert len(out) == W * H * 6, path
    return struct.unpack(f">{W * H * 3}H", out)


def gamma_table(file_gamma):
    e = 1.0 / (file_gamma * 2.2)
    return [round(255 * (i / 255) ** e) for i in range(256)]


def expected(path, file_gamma=None, decoded_from=None):
    # ImageMagick applies a gAMA chunk itself; files with one are decoded
    # from the same file without it.
    values = [v * 255 // 65535 for v in raw16(decoded_from or path)]
    if file_gamma is not None:
        table = gamma_table(file_gamma)
        values = [table[v] for v in values]
    with open(path[:-4] + ".rgb", "wb") as f:
        f.write(bytes(values))


# Chunks that would make a file depend on the tool's version, or carry a
# gamma the expected pixels would have to follow.
PLAIN = ["-define", "png:exclude-chunks=date,time,tEXt,zTXt,iTXt,gAMA,cHRM,sRGB,bKGD,pHYs,vpAg,oFFs"]


def im(name, *options, source="source.pam", prefix=""):
    out = name + ".png"
    subprocess.run([CONVERT, source, *PLAIN, *options, prefix + out], check=True)
    return out



ADAM7 = [(0, 8, 0, 8), (0, 8, 4, 8), (4, 8, 0, 4), (0, 4, 2, 4), (2, 4, 0, 2), (0, 2, 1, 2), (1, 2, 0, 1)]


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_row(kind, row, prev, bpp):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
        out.append((x - pred) & 255)
    return bytes(out)


def refilter(src, dst, choose):
    """Rewrites src's image data with the filter choose(row number) on each
    row; src must hold only unfiltered rows (filter type 0)."""
    parts = chunks(open(src, "rb").read())
    ihdr = parts[0][1]
    w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", ihdr)
    samples = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    bpp = max(1, samples * depth // 8)
    raw = zlib.decompress(b"".join(p for t, p in parts if t == b"IDAT"))
    passes = ADAM7 if interlace else [(0, 1, 0, 1)]
    out, pos, n = [], 0, 0
    for first_row, row_step, first_col, col_step in passes:
        if first_col >= w:
            continue
        size = ((w - first_col + col_step - 1) // col_step * samples * depth + 7) // 8
        prev = bytes(size)
        for _ in range(first_row, h, row_step):
            assert raw[pos] == 0, src
            row = raw[pos + 1:pos + 1 + size]
            pos += 1 + size
            out.append(filter_row(choose(n), row, prev, bpp))
            prev = row
            n += 1
    data = zlib.compress(b"".join(out), 9)
    keep = [p for p in parts if p[0] not in (b"IDAT", b"IEND")]
    with open(dst, "wb") as f:
        f.write(assemble(keep + [(b"IDAT", data), (b"IEND", b"")]))
    assert raw16(dst) == raw16(src), dst
    shutil.copyfile(src[:-4] + ".rgb", dst[:-4] + ".rgb")


def main():
    source_pam("source.pam")
    made = []
    # Gray of every depth, plain and interlaced.
    for depth in (1, 2, 4, 8, 16):
        for interlace in (False, True):
            name = f"gray{depth}{'_i' if interlace else ''}"
            opts = ["-colorspace", "Gray", "-alpha", "off", "-depth", str(depth),
                    "-define", "png:color-type=0", "-define", f"png:bit-depth={depth}"]
            if interlace:
                opts += ["-interlace", "PNG"]
            made.append(im(name, *opts))
    # RGB and RGBA, 8 and 16 bits, plain and interlaced.
    for ctype, alpha in ((2, "off"), (6, "on")):
        for depth in (8, 16):
            for interlace in (False, True):
                name = f"{'rgba' if ctype == 6 else 'rgb'}{depth}{'_i' if interlace else ''}"
                opts = ["-alpha", alpha, "-depth", str(depth), "-define", f"png:color-type={ctype}",
                        "-define", f"png:bit-depth={depth}"]
                if interlace:
                    opts += ["-interlace", "PNG"]
                made.append(im(name, *opts))
    # Gray with alpha.
    for depth in (8, 16):
        for interlace in (False, True):
            name = f"graya{depth}{'_i' if interlace else ''}"
            opts = ["-colorspace", "Gray", "-alpha", "on", "-depth", str(depth), "-define", "png:color-type=4",
                    "-define", f"png:bit-depth={depth}"]
            if interlace:
                opts += ["-interlace", "PNG"]
            made.append(im(name, *opts))
    # Palette images of every depth.
    for depth, colours in ((1, 2), (2, 4), (4, 16), (8, 200)):
        for interlace in (False, True):
            name = f"pal{depth}{'_i' if interlace else ''}"
            opts = ["-alpha", "off", "+dither", "-colors", str(colours), "-define", "png:color-type=3",
                    "-define", f"png:bit-depth={depth}"]
            if interlace:
                opts += ["-interlace", "PNG"]
            made.append(im(name, *opts))
    for path in made:
        expected(path)


    # Every row filter, on its own and mixed row by row, over pixels of one
    # (packed), three and eight bytes, plain and interlaced. ImageMagick
    # writes the unfiltered rows; the filters are applied here and the
    # result checked against ImageMagick's decode of the original.
    for base in ("gray2", "rgb8", "rgba16", "rgb8_i", "gray4_i"):
        _, _, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", chunks(open(base + ".png", "rb").read())[0][1])
        subprocess.run([CONVERT, base + ".png", *PLAIN, "-define", "png:compression-filter=1",
                        "-define", f"png:color-type={ctype}", "-define", f"png:bit-depth={depth}",
                        "-interlace", "PNG" if interlace else "None", "/tmp/unfiltered.png"], check=True)
        parts = chunks(open("/tmp/unfiltered.png", "rb").read())
        assert parts[0][1] == chunks(open(base + ".png", "rb").read())[0][1], base
        shutil.copyfile(base + ".rgb", "/tmp/unfiltered.rgb")
        for kind, name in ((1, "sub"), (2, "up"), (3, "avg"), (4, "paeth")):
            if base in ("rgb8", "rgba16", "gray2"):
                refilter("/tmp/unfiltered.png", f"filter_{name}_{base}.png", lambda n, k=kind: k)
        refilter("/tmp/unfiltered.png", f"filter_mixed_{base}.png", lambda n: n % 5)

    # Pillow's writer: palette and gray files of its own.
    from PIL import Image
    img = Image.open("rgb8.png").convert("RGB")
    img.convert("P", palette=Image.ADAPTIVE, colors=64).save("pillow_pal.png")
    img.convert("L").save("pillow_gray.png", optimize=True)
    for path in ("pillow_pal.png", "pillow_gray.png"):
        expected(path)

    # A file gamma of 1.0 (gAMA 100000): the reader applies 1 / 2.2.
    parts = chunks(open("rgb8.png", "rb").read())
    gama = (b"gAMA", struct.pack(">I", 100000))
    with open("gamma_rgb8.png", "wb") as f:
        f.write(assemble([parts[0], gama] + parts[1:]))
    expected("gamma_rgb8.png", 1.0, "rgb8.png")
    parts = chunks(open("gray8.png", "rb").read())
    with open("gamma_gray8.png", "wb") as f:
        f.write(assemble([parts[0], gama] + parts[1:]))
    expected("gamma_gray8.png", 1.0, "gray8.png")

    # The image data split over many IDAT chunks, empty ones between them,
    # one spelt "idat", with unknown ancillary chunks around and trailing
    # empty IDAT chunks after the image.
    parts = chunks(open("rgb16_i.png", "rb").read())
    data = b"".join(p for t, p in parts if t == b"IDAT")
    head = [p for p in parts if p[0] not in (b"IDAT", b"IEND")]
    pieces = [data[i:i + 37] for i in range(0, len(data), 37)]
    body = []
    for i, piece in enumerate(pieces):
        body.append((b"idat" if i == 1 else b"IDAT", piece))
        if i % 3 == 0:
            body.append((b"IDAT", b""))
    with open("split_idat.png", "wb") as f:
        f.write(assemble(head + [(b"tEXt", b"Comment\x00split")] + body +
                         [(b"IDAT", b""), (b"zzZz", b"private"), (b"IEND", b"")]))
    shutil.copyfile("rgb16_i.rgb", "split_idat.rgb")

    # Bytes after the end of the compressed data, in the same IDAT chunk and
    # in one more: libpng shows the picture (ImageMagick's decode).
    parts = chunks(open("rgb8.png", "rb").read())
    data = b"".join(p for t, p in parts if t == b"IDAT")
    head = [p for p in parts if p[0] not in (b"IDAT", b"IEND")]
    with open("idat_extra_data.png", "wb") as f:
        f.write(assemble(head + [(b"IDAT", data + b"\x00junk\xff"), (b"IDAT", b"more"), (b"IEND", b"")]))
    expected("idat_extra_data.png")
    assert open("idat_extra_data.rgb", "rb").read() == open("rgb8.rgb", "rb").read()

    os.remove("source.pam")


if __name__ == "__main__":
    main()
