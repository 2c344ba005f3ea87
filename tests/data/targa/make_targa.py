#!/usr/bin/python3
"""Makes the Targa reference files and their expected pixels.

Tool files (tool_*.tga) are written by ImageMagick and Pillow from one
source picture (*_rtl: Pillow's file of the mirrored picture, marked as
stored right to left); their NAME.rgb (8-bit red, green, blue, rows top
first) is Pillow's decode of the file, alpha dropped. Crafted files
(craft_*.tga) cover what the tools do not write: 16-bit pixels, colour maps
of 15-, 16- and 32-bit entries, an ID field, a gray file with a colour map,
run-length packets that cross rows. Their NAME.rgb comes from the pixels
they were made of, 16-bit map entries widened by a plain shift (red
(v & 0x7C00) >> 7, green (v & 0x3E0) >> 2, blue (v & 0x1F) << 3). Files with
16-bit pixels get NAME.raw instead: the 16-bit words, little-endian, rows top
first. Run from this folder with ImageMagick's convert and Pillow present.
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
    # Runs of equal pixels, so run-length packets appear.
    if y % 3 == 1 and x < 9:
        r, g, b, a = 40, 80, 120, 255
    return r, g, b, a


def source():
    img = Image.new("RGBA", (W, H))
    img.putdata([pixel(x, y) for y in range(H) for x in range(W)])
    return img


def expect_from_tool(path):
    # Pillow's decoder is the reference: ImageMagick 6.9 reads (and writes)
    # the row-order flag the other way round.
    img = Image.open(path)
    assert img.size == (W, H), path
    if img.mode == "LA":  # the gray value is shown, the alpha passed over
        img = img.getchannel("L")
    with open(path[:-4] + ".rgb", "wb") as f:
        f.write(img.convert("RGB").tobytes())


def header(id_length=0, cmap_type=0, image_type=2, cmap_length=0, entry_size=0, width=W, height=H, depth=24,
           descriptor=0x20):
    return struct.pack("<BBBHHBHHHHBB", id_length, cmap_type, image_type, 0, cmap_length, entry_size, 0, 0,
                       width, height, depth, descriptor)


def rle(pixels, size):
    """Run-length packets over a flat list of pixel byte strings (rows not
    taken into account, so packets cross rows)."""
    out = bytearray()
    i = 0
    while i < len(pixels):
        run = 1
        while i + run < len(pixels) and run < 128 and pixels[i + run] == pixels[i]:
            run += 1
        if run >= 2:
            out.append(128 + run - 1)
            out += pixels[i]
            i += run
            continue
        n = 1
        while i + n < len(pixels) and n < 128 and pixels[i + n] != pixels[i + n - 1]:
            n += 1
        out.append(n - 1)
        for p in pixels[i:i + n]:
            out += p
        i += n
    return bytes(out)


def write(name, data, rgb=None, raw=None):
    with open(name + ".tga", "wb") as f:
        f.write(data)
    if rgb is not None:
        with open(name + ".rgb", "wb") as f:
            f.write(bytes(rgb))
    if raw is not None:
        with open(name + ".raw", "wb") as f:
            f.write(raw)


def tools():
    img = source()
    img.save("/tmp/targa_source.png")
    src = "/tmp/targa_source.png"
    made = []

    def im(name, *options):
        subprocess.run([CONVERT, src, *options, name + ".tga"], check=True)
        made.append(name + ".tga")

    im("tool_im_rgb24", "-alpha", "off", "-compress", "None")
    im("tool_im_rgb24_rle", "-alpha", "off", "-compress", "RLE")
    im("tool_im_rgba32", "-alpha", "on", "-compress", "None")
    im("tool_im_rgba32_rle", "-alpha", "on", "-compress", "RLE")
    im("tool_im_gray", "-alpha", "off", "-colorspace", "Gray", "-type", "Grayscale", "-compress", "None")
    im("tool_im_gray_rle", "-alpha", "off", "-colorspace", "Gray", "-type", "Grayscale", "-compress", "RLE")
    im("tool_im_pal", "-alpha", "off", "+dither", "-colors", "23", "-type", "Palette", "-compress", "None")
    im("tool_im_pal_rle", "-alpha", "off", "+dither", "-colors", "23", "-type", "Palette", "-compress", "RLE")

    rgb = img.convert("RGB")
    # Gray and alpha: 16-bit pixels of image type 3 (11 run-length).
    gray_alpha = Image.merge("LA", (rgb.convert("L"), img.getchannel("A")))
    for orientation, tag in ((1, "top"), (-1, "bottom")):
        for rle_on in (False, True):
            suffix = f"{tag}{'_rle' if rle_on else ''}"
            opts = {"orientation": orientation}
            if rle_on:
                opts["compression"] = "tga_rle"
            rgb.save(f"tool_pil_rgb_{suffix}.tga", **opts)
            img.save(f"tool_pil_rgba_{suffix}.tga", **opts)
            rgb.convert("L").save(f"tool_pil_gray_{suffix}.tga", **opts)
            gray_alpha.save(f"tool_pil_grayalpha_{suffix}.tga", **opts)
            rgb.quantize(colors=40).save(f"tool_pil_pal_{suffix}.tga", **opts)
            made += [f"tool_pil_{k}_{suffix}.tga" for k in ("rgb", "rgba", "gray", "grayalpha", "pal")]
    # Pixels stored right to left (descriptor bit 4): Pillow writes the
    # mirrored picture and the flag is set afterwards; Pillow's decode must
    # give the picture itself.
    for kind, picture, suffix in (("rgb", rgb, "top"), ("rgba", img, "bottom_rle"),
                                  ("grayalpha", gray_alpha, "top_rle")):
        name = f"tool_pil_{kind}_{suffix}_rtl.tga"
        opts = {"orientation": -1 if "bottom" in suffix else 1}
        if suffix.endswith("rle"):
            opts["compression"] = "tga_rle"
        picture.transpose(Image.Transpose.FLIP_LEFT_RIGHT).save(name, **opts)
        with open(name, "r+b") as f:
            f.seek(17)
            descriptor = f.read(1)[0]
            f.seek(17)
            f.write(bytes([descriptor | 0x10]))
        made.append(name)
    for path in made:
        expect_from_tool(path)
    for path in made:
        if path.endswith("_rtl.tga"):
            with open(path[:-4] + ".rgb", "rb") as a, open(path[:-8] + ".rgb", "rb") as b:
                assert a.read() == b.read(), path


def crafted():
    pixels = [pixel(x, y) for y in range(H) for x in range(W)]
    flat_rgb = [c for p in pixels for c in p[:3]]

    # 16-bit pixels, bottom row first, raw and run-length.
    words = [((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) | (0x8000 if a < 255 else 0) for r, g, b, a in pixels]
    top_first = b"".join(struct.pack("<H", w) for w in words)
    bottom_first = b"".join(top_first[(H - 1 - y) * W * 2:(H - y) * W * 2] for y in range(H))
    write("craft_rgb16", header(image_type=2, depth=16, descriptor=0) + bottom_first, raw=top_first)
    packed = rle([struct.pack("<H", w) for w in words], 2)
    write("craft_rgb16_rle", header(image_type=10, depth=16) + packed, raw=top_first)
    write("craft_rgb15_rle", header(image_type=10, depth=15) + packed, raw=top_first)

    # Colour maps of 16- and 32-bit entries, with an ID field of 20 bytes.
    colours = sorted(set(p[:3] for p in pixels))
    index = {c: i for i, c in enumerate(colours)}
    indices = bytes(index[p[:3]] for p in pixels)
    assert len(colours) <= 256
    entries16 = [((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) for r, g, b in colours]
    entries16[0] = 0x7FFF  # the brightest entry shows (248, 248, 248)
    shown16 = [((v & 0x7C00) >> 7, (v & 0x3E0) >> 2, (v & 0x1F) << 3) for v in entries16]
    map16 = b"".join(struct.pack("<H", v) for v in entries16)
    ident = bytes(range(20))
    write("craft_pal16_id",
          header(20, 1, 1, len(colours), 16, depth=8) + ident + map16 + indices,
          rgb=[c for i in indices for c in shown16[i]])
    write("craft_pal15_rle",
          header(0, 1, 9, len(colours), 15, depth=8) + map16 + rle([bytes([i]) for i in indices], 1),
          rgb=[c for i in indices for c in shown16[i]])
    map32 = b"".join(bytes([b, g, r, 0x55]) for r, g, b in colours)
    write("craft_pal32", header(0, 1, 1, len(colours), 32, depth=8, descriptor=0x20) + map32 + indices,
          rgb=[c for i in indices for c in colours[i]])

    # Gray with a colour map that must be passed over.
    gray = bytes((r * 3 + g * 5 + b * 2) // 10 for r, g, b, _ in pixels)
    junk_map = bytes((i * 7) & 255 for i in range(24 * 3))
    write("craft_gray_cmap", header(0, 1, 3, 24, 24, depth=8) + junk_map + gray,
          rgb=[c for v in gray for c in (v, v, v)])

    # 24-bit run-length packets running across rows: every packet is as long
    # as it can be, whatever the row.
    solid = [(10, 200, 30)] * (W * 2 + 5) + [pixel(x, 5)[:3] for x in range(W)] * 2
    solid += [(250, 0, 90)] * (W * H - len(solid))
    packed = rle([bytes((b, g, r)) for r, g, b in solid], 3)
    write("craft_rgb24_rle_cross", header(image_type=10, depth=24) + packed,
          rgb=[c for p in solid for c in p[:3]])
    # The same, bottom row first.
    bottom = [p for y in range(H - 1, -1, -1) for p in solid[y * W:(y + 1) * W]]
    packed = rle([bytes((b, g, r)) for r, g, b in bottom], 3)
    write("craft_rgb24_rle_cross_bottom", header(image_type=10, depth=24, descriptor=0) + packed,
          rgb=[c for p in solid for c in p[:3]])
    del flat_rgb


if __name__ == "__main__":
    tools()
    crafted()
