#!/usr/bin/python3
"""Makes the PCX reference files and their expected pixels.

tool_*.pcx are written by ImageMagick and Pillow from one source picture;
NAME.rgb (8-bit red, green, blue, rows top first) is Pillow's decode of the
file. craft_*.pcx cover the layouts the tools do not write (2 and 4 bits in
one plane, four bit planes, uncompressed data, the default 16 colours of
version 3, a gray 8-bit file without its palette block); their NAME.rgb
comes from the indices and palettes they were made of. Run from this folder
with ImageMagick's convert and Pillow present.
"""
import struct
import subprocess

from PIL import Image

W, H = 17, 11
CONVERT = "/usr/bin/convert"

# The 16 standard colours of the default 4-bit palette, in palette order.
DEFAULT16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
             (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
             (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def pixel(x, y):
    r = (x * 255 // (W - 1)) ^ (y * 23 & 255)
    g = (y * 255 // (H - 1) + x * 11) & 255
    b = (x * y * 37 + (128 if (x // 3 + y // 2) % 2 else 0)) & 255
    if y % 3 == 1 and x < 9:
        r, g, b = 40, 80, 120
    return r, g, b


def source():
    img = Image.new("RGB", (W, H))
    img.putdata([pixel(x, y) for y in range(H) for x in range(W)])
    return img


def expect_from_tool(path):
    img = Image.open(path)
    assert img.size == (W, H), path
    with open(path[:-4] + ".rgb", "wb") as f:
        f.write(img.convert("RGB").tobytes())


def tool_files():
    src = source()
    src.save("/tmp/pcx_source.png")
    for name, args in (("tool_im_pal.pcx", ["-type", "Palette"]), ("tool_im_rgb.pcx", ["-type", "TrueColor"]),
                       ("tool_im_pal16.pcx", ["-colors", "16", "-type", "Palette"])):
        subprocess.run([CONVERT, "/tmp/pcx_source.png"] + args + [name], check=True)
        expect_from_tool(name)
    src.convert("1").save("tool_pil_1bit.pcx")
    src.convert("L").save("tool_pil_gray.pcx")
    src.convert("P", palette=Image.ADAPTIVE, colors=200).save("tool_pil_pal.pcx")
    src.save("tool_pil_rgb.pcx")
    for name in ("tool_pil_1bit.pcx", "tool_pil_gray.pcx", "tool_pil_pal.pcx", "tool_pil_rgb.pcx"):
        expect_from_tool(name)


def header(bits, planes, bpl, version=5, encoding=1, palette16=b"", kind=1):
    pal = (palette16 + b"\0" * 48)[:48]
    head = struct.pack("<BBBBHHHHHH", 10, version, encoding, bits, 3, 7, 3 + W - 1, 7 + H - 1, 72, 72)
    head += pal + b"\0" + bytes([planes]) + struct.pack("<HH", bpl, kind)
    return head + b"\0" * (128 - len(head))


def rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        j = i
        while j < len(data) and data[j] == data[i] and j - i < 63:
            j += 1
        if j - i > 1 or data[i] >= 0xC0:
            out += bytes([0xC0 | (j - i), data[i]])
        else:
            out.append(data[i])
        i = j
    return bytes(out)


def pack(values, bits, bpl):
    """Packs one row of values of `bits` bits, high bits first, into bpl bytes."""
    out = bytearray(bpl)
    for x, v in enumerate(values):
        bit = x * bits
        out[bit // 8] |= v << (8 - bits - bit % 8)
    return bytes(out)


def write(name, head, rows, rgb, encoding=1, tail=b""):
    data = b"".join(rows)
    with open(name, "wb") as f:
        f.write(head + (rle(data) if encoding == 1 else data) + tail)
    with open(name[:-4] + ".rgb", "wb") as f:
        f.write(bytes(c for p in rgb for c in p))


def crafted_files():
    pal16 = [((i * 53) & 255, (i * 97 + 30) & 255, (255 - i * 16) & 255) for i in range(16)]
    pal16_bytes = bytes(c for p in pal16 for c in p)
    index = [[(pixel(x, y)[0] // 16 + x + y) & 15 for x in range(W)] for y in range(H)]

    # 4 bits in one plane, header palette; lines padded beyond the width.
    bpl = (W * 4 + 7) // 8 + 2
    write("craft_4bit.pcx", header(4, 1, bpl, palette16=pal16_bytes),
          [pack(r, 4, bpl) for r in index], [pal16[v] for r in index for v in r])
    # 16 colours in four bit planes, uncompressed.
    bpl = (W + 7) // 8
    rows = [b"".join(pack([(v >> k) & 1 for v in r], 1, bpl) for k in range(4)) for r in index]
    write("craft_planes4.pcx", header(1, 4, bpl, encoding=0, palette16=pal16_bytes), rows,
          [pal16[v] for r in index for v in r], encoding=0)
    # Four bit planes in gray (palette kind 2): value v shows as v * 17.
    write("craft_planes4_gray.pcx", header(1, 4, bpl, palette16=pal16_bytes, kind=2), rows,
          [(v * 17,) * 3 for r in index for v in r])
    # 2 bits in one plane: index v shows header entry v.
    two = [[v & 3 for v in r] for r in index]
    bpl = (W * 2 + 7) // 8
    write("craft_2bit.pcx", header(2, 1, bpl, palette16=pal16_bytes), [pack(r, 2, bpl) for r in two],
          [pal16[v] for r in two for v in r])
    # Version 3 has no palette: the default 16 colours.
    bpl = (W * 4 + 7) // 8
    write("craft_4bit_v3.pcx", header(4, 1, bpl, version=3, palette16=pal16_bytes),
          [pack(r, 4, bpl) for r in index], [DEFAULT16[v] for r in index for v in r])
    # 8 bits, uncompressed, with the 256-colour block.
    pal256 = [((i * 7) & 255, (255 - i) & 255, (i * 3 + 11) & 255) for i in range(256)]
    index8 = [[(pixel(x, y)[1] + x) & 255 for x in range(W)] for y in range(H)]
    write("craft_8bit_raw.pcx", header(8, 1, W + 1, encoding=0), [bytes(r) + b"\x55" for r in index8],
          [pal256[v] for r in index8 for v in r], encoding=0,
          tail=b"\x0c" + bytes(c for p in pal256 for c in p))
    # 8-bit gray (palette kind 2) without a palette block.
    write("craft_8bit_gray.pcx", header(8, 1, W, kind=2), [bytes(r) for r in index8],
          [(v, v, v) for r in index8 for v in r])


if __name__ == "__main__":
    tool_files()
    crafted_files()
