#!/usr/bin/python3
"""Makes the Photo-CD reference packs and ImageMagick's decode of them.

landscape.pcd.gz: a 768 x 512 neutral gray picture written by ImageMagick;
portrait.pcd.gz: a 512 x 768 one, which ImageMagick stores turned, with
rotation 1. NAME.gray.gz is ImageMagick's decode of the pack (one gray byte
per pixel, rows top first). Both are gzip-compressed to keep the folder
small. Run from this folder with ImageMagick's convert and Pillow present.
"""
import gzip
import os
import subprocess
import tempfile

from PIL import Image


def gray_picture(width, height):
    image = Image.new("L", (width, height))
    image.putdata([(x * 200 // width + y * 50 // height + (x // 64 + y // 64) % 2 * 5) & 255
                   for y in range(height) for x in range(width)])
    return image.convert("RGB")


with tempfile.TemporaryDirectory() as work:
    for name, size in (("landscape", (768, 512)), ("portrait", (512, 768))):
        png = os.path.join(work, name + ".png")
        pcd = os.path.join(work, name + ".pcd")
        back = os.path.join(work, name + "_back.png")
        gray_picture(*size).save(png)
        subprocess.run(["convert", png, pcd], check=True)
        subprocess.run(["convert", pcd, back], check=True)
        decoded = Image.open(back).convert("RGB")
        assert all(r == g == b for r, g, b in decoded.getdata())
        with open(pcd, "rb") as f, gzip.open(name + ".pcd.gz", "wb", 9) as out:
            out.write(f.read())
        with gzip.open(name + ".gray.gz", "wb", 9) as out:
            out.write(bytes(p[0] for p in decoded.getdata()))
