#!/usr/bin/python3
"""Draws and writes the data files shipped in the program folder.

Run by hand from the repository root (needs Pillow and the IPA gothic font):
    /usr/bin/python3 data/src/make_appdir.py   (Debian python3-pil)
The outputs are committed under data/appdir/, so the build needs neither.

Writes:
  BMP/Buttons/<name>.bmp  strips of the bitmap buttons: three looks stacked
                          (normal, pressed, disabled), 116 x 40 each (the two
                          menu buttons 40 x 40); pictures are 8-bit
  BMP/folder.bmp          preview picture for folder entries
  BMP/arrow.bmp           arrow between the step buttons
  BMP/title.bmp           start-page title picture
  BMP/splash.bmp          start-up splash picture
  BMP/about.bmp           version dialog picture
  BMP/tools.bmp           the pair window's tool images, five 24 x 24 cells
  BMP/ani01.avi ... ani03.avi   run animations (50 x 50, RLE8)
  BMP/Click.wav           button click
  Sound/Comp.wav          default sound at the end of a run
  Sound/Beep.wav          default sound on a match
  Set/.keep               the setting-set folder must exist
and a tiny seed animation for the AVI reader's fuzz target.
"""

import math
import os
import struct
import wave

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
APPDIR = os.path.join(ROOT, "data", "appdir")
FONT_PATH = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"


def font(size):
    return ImageFont.truetype(FONT_PATH, size)


def out(*parts):
    path = os.path.join(APPDIR, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


# --- button strips --------------------------------------------------------

# (name, label, kind): step buttons on the top bar, page buttons in the
# columns, and the two square menu buttons.
BUTTONS = [
    ("MB_Start", "スタート", "step"),
    ("MB_Source", "比較元", "step"),
    ("MB_Tgt", "比較対象", "step"),
    ("MB_SET", "設定", "step"),
    ("MB_Go", "実行", "step"),
    ("MB_Opt", "menu", "square"),
    ("MB_Help", "？", "square"),
    ("P1B_New", "新規作成", "page"),
    ("P1B_Open", "開く", "page"),
    ("P1B_AddFile", "ファイル追加", "page"),
    ("P1B_AddDir", "フォルダ追加", "page"),
    ("P1B_ClearSel", "選択を削除", "page"),
    ("P1B_ClearAll", "全て削除", "page"),
    ("P2B_AddFile", "ファイル追加", "page"),
    ("P2B_AddDir", "フォルダ追加", "page"),
    ("P2B_ClearSel", "選択を削除", "page"),
    ("P2B_ClearAll", "全て削除", "page"),
    ("P2B_copylist1", "比較元をコピー", "page"),
    ("P3B_Save", "設定を保存", "page"),
    ("P3B_Del", "設定を削除", "page"),
    ("P4B_Start", "比較開始", "page"),
    ("P4B_Pause", "一時停止", "page"),
    ("P4B_Stop", "比較中止", "page"),
    ("P4B_Log", "ログ保存", "page"),
    ("p4b_LogClear", "ログ消去", "page"),
    ("P4B_Jyochyu", "記録消去", "page"),
]

PALETTES = {
    # (top, bottom, border, text) per look: normal, pressed, disabled
    "step": [((92, 142, 214), (40, 84, 160), (24, 52, 108), (255, 255, 255)),
             ((36, 74, 142), (70, 116, 190), (16, 36, 80), (230, 236, 255)),
             ((196, 200, 208), (170, 174, 182), (140, 144, 152), (236, 238, 242))],
    "page": [((250, 250, 252), (214, 222, 232), (120, 134, 156), (30, 40, 60)),
             ((196, 208, 224), (232, 238, 246), (84, 100, 128), (20, 30, 50)),
             ((236, 236, 236), (222, 222, 222), (188, 188, 188), (168, 168, 168))],
}
PALETTES["square"] = PALETTES["step"]


def gradient_box(draw, w, h, top, bottom, border, offset_y):
    for y in range(h):
        t = y / max(1, h - 1)
        c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        draw.line([(0, offset_y + y), (w - 1, offset_y + y)], fill=c)
    draw.rounded_rectangle([0, offset_y, w - 1, offset_y + h - 1], radius=5, outline=border, width=1)


def menu_glyph(draw, w, h, oy, colour, shift):
    # Three bars: the project and options menu.
    for i in range(3):
        y = oy + h // 2 - 7 + i * 6 + shift
        draw.rectangle([w // 2 - 9 + shift, y, w // 2 + 9 + shift, y + 2], fill=colour)


def button_strip(label, kind):
    w, h = (40, 40) if kind == "square" else (116, 40)
    img = Image.new("RGB", (w, 3 * h), (240, 240, 240))
    draw = ImageDraw.Draw(img)
    f = font(14 if kind == "page" else 16)
    for look, (top, bottom, border, text) in enumerate(PALETTES[kind]):
        oy = look * h
        # The face background of the panels behind the buttons.
        draw.rectangle([0, oy, w - 1, oy + h - 1], fill=(240, 240, 240))
        gradient_box(draw, w, h, top, bottom, border, oy)
        shift = 1 if look == 1 else 0
        if label == "menu":
            menu_glyph(draw, w, h, oy, text, shift)
            continue
        box = draw.textbbox((0, 0), label, font=f)
        tw, th = box[2] - box[0], box[3] - box[1]
        x = (w - tw) // 2 - box[0] + shift
        y = oy + (h - th) // 2 - box[1] + shift
        if look == 0 and kind != "page":
            draw.text((x + 1, y + 1), label, font=f, fill=(20, 40, 90))
        draw.text((x, y), label, font=f, fill=text)
    return img


# --- pictures -------------------------------------------------------------

def folder_picture():
    img = Image.new("RGB", (96, 96), (255, 255, 255))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([10, 22, 50, 36], radius=4, fill=(226, 170, 52), outline=(160, 112, 20))
    d.rounded_rectangle([8, 30, 88, 80], radius=5, fill=(246, 200, 86), outline=(160, 112, 20))
    d.line([(10, 38), (86, 38)], fill=(255, 226, 150), width=2)
    return img


def arrow_picture():
    img = Image.new("RGB", (40, 40), (240, 240, 240))
    d = ImageDraw.Draw(img)
    d.polygon([(10, 12), (22, 12), (32, 20), (22, 28), (10, 28), (20, 20)], fill=(92, 142, 214),
              outline=(40, 84, 160))
    return img


def title_picture(w, h, subtitle):
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        t = y / max(1, h - 1)
        d.line([(0, y), (w, y)], fill=(round(40 + 40 * t), round(84 + 70 * t), round(160 + 60 * t)))
    # Two overlapping frames: finding pictures that are alike.
    cx, cy = w // 2, h // 2 - h // 8
    for dx, colour in ((-30, (255, 255, 255)), (18, (230, 240, 255))):
        d.rectangle([cx + dx - 40, cy - 34, cx + dx + 40, cy + 30], fill=colour, outline=(24, 52, 108), width=2)
        d.polygon([(cx + dx - 34, cy + 24), (cx + dx - 8, cy - 10), (cx + dx + 8, cy + 8),
                   (cx + dx + 18, cy - 2), (cx + dx + 34, cy + 24)], fill=(96, 160, 96))
        d.ellipse([cx + dx + 14, cy - 28, cx + dx + 28, cy - 14], fill=(240, 180, 60))
    f = font(28)
    box = d.textbbox((0, 0), "Orvalis", font=f)
    d.text(((w - (box[2] - box[0])) // 2, cy + 44), "Orvalis", font=f, fill=(255, 255, 255))
    f2 = font(15)
    box = d.textbbox((0, 0), subtitle, font=f2)
    d.text(((w - (box[2] - box[0])) // 2, cy + 84), subtitle, font=f2, fill=(230, 236, 255))
    return img


def tool_images():
    cell = 24
    img = Image.new("RGB", (5 * cell, cell), (240, 240, 240))
    d = ImageDraw.Draw(img)
    blue, dark = (60, 110, 190), (30, 40, 60)
    # 0 previous, 1 next
    d.polygon([(16, 5), (6, 12), (16, 19)], fill=blue)
    d.polygon([(cell + 8, 5), (cell + 18, 12), (cell + 8, 19)], fill=blue)
    # 2 recycle bin
    x = 2 * cell
    d.rectangle([x + 6, 8, x + 18, 20], outline=dark, fill=(200, 220, 200))
    d.line([(x + 4, 7), (x + 20, 7)], fill=dark, width=2)
    d.rectangle([x + 10, 4, x + 14, 6], outline=dark)
    # 3 erase
    x = 3 * cell
    d.line([(x + 6, 6), (x + 18, 18)], fill=(200, 40, 40), width=3)
    d.line([(x + 18, 6), (x + 6, 18)], fill=(200, 40, 40), width=3)
    # 4 move to folder
    x = 4 * cell
    d.rectangle([x + 3, 9, x + 17, 20], fill=(246, 200, 86), outline=(160, 112, 20))
    d.polygon([(x + 14, 4), (x + 22, 9), (x + 14, 14)], fill=blue)
    return img


# --- animations (RIFF AVI, 8-bit RLE) ---------------------------------------

def rle8_frame(indices, w, h):
    """Key frame: every row as runs, bottom row first, end of bitmap."""
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = indices[y * w:(y + 1) * w]
        x = 0
        while x < w:
            v = row[x]
            n = 1
            while x + n < w and n < 255 and row[x + n] == v:
                n += 1
            data += bytes((n, v))
            x += n
        data += b"\x00\x00"
    data += b"\x00\x01"
    return bytes(data)


def chunk(fourcc, body):
    pad = b"\x00" if len(body) % 2 else b""
    return fourcc + struct.pack("<I", len(body)) + body + pad


def riff_list(kind, parts):
    return chunk(b"LIST", kind + b"".join(parts))


def write_avi(path, frames, palette, w, h, ms_per_frame):
    n = len(frames)
    avih = struct.pack("<IIIIIIIIII", ms_per_frame * 1000, 0, 0, 0x10, n, 0, 1, 0, w, h) + b"\x00" * 16
    rate = max(1, round(1000 / ms_per_frame))
    strh = b"vids" + b"mrle" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, rate, 0, n, 0, 0xFFFFFFFF, 0, 0,
                                             0, w, h)
    strf = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, 0, 0, 0, len(palette), len(palette))
    strf += b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    hdrl = riff_list(b"hdrl", [chunk(b"avih", avih), riff_list(b"strl", [chunk(b"strh", strh),
                                                                      chunk(b"strf", strf)])])
    movi_parts, index, offset = [], [], 4
    for f in frames:
        c = chunk(b"00dc", f)
        index.append(struct.pack("<4sIII", b"00dc", 0x10, offset, len(f)))
        offset += len(c)
        movi_parts.append(c)
    movi = riff_list(b"movi", movi_parts)
    body = b"AVI " + hdrl + movi + chunk(b"idx1", b"".join(index))
    with open(path, "wb") as fh:
        fh.write(chunk(b"RIFF", body))


def animation(kind, w=50, h=50, count=12):
    palette = [(240, 240, 240)]  # index 0: the panel colour behind the player
    shades = []
    for i in range(1, 9):  # blues from light to dark
        t = (i - 1) / 7
        shades.append((round(200 - 160 * t), round(220 - 136 * t), round(250 - 90 * t)))
    palette += shades + [(96, 160, 96), (240, 180, 60), (255, 255, 255), (30, 40, 60)]
    frames = []
    for k in range(count):
        img = Image.new("P", (w, h), 0)
        img.putpalette([c for rgb in palette for c in rgb] + [0] * (3 * (256 - len(palette))))
        d = ImageDraw.Draw(img)
        if kind == 1:  # spinner: twelve dots, the bright one runs round
            for i in range(12):
                a = 2 * math.pi * i / 12
                cx, cy = w / 2 + 17 * math.cos(a), h / 2 + 17 * math.sin(a)
                shade = 1 + ((i - k) % 12) * 7 // 11
                d.ellipse([cx - 4, cy - 4, cx + 4, cy + 4], fill=shade)
        elif kind == 2:  # magnifier sweeping over two pictures
            d.rectangle([4, 12, 22, 38], fill=11, outline=12)
            d.rectangle([28, 12, 46, 38], fill=11, outline=12)
            d.polygon([(6, 36), (12, 26), (20, 36)], fill=9)
            d.polygon([(30, 36), (36, 26), (44, 36)], fill=9)
            x = 10 + 30 * (0.5 - 0.5 * math.cos(2 * math.pi * k / count))
            d.ellipse([x - 9, 14, x + 9, 32], outline=8, width=3)
            d.line([(x + 6, 29), (x + 13, 38)], fill=8, width=4)
        else:  # bars filling in turn
            for i in range(5):
                level = (k + i * 2) % count
                bh = 6 + 30 * level // (count - 1)
                d.rectangle([5 + i * 9, 44 - bh, 11 + i * 9, 44], fill=2 + i)
        frames.append(rle8_frame(list(img.getdata()), w, h))
    return frames, palette


# --- sounds -----------------------------------------------------------------

def write_wave(path, samples, rate=22050):
    with wave.open(path, "wb") as wf:
        wf.setnchannels(1)
        wf.setsampwidth(2)
        wf.setframerate(rate)
        wf.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s)))) for s in samples))


def tone(freqs, seconds, rate=22050, volume=0.45, decay=6.0):
    n = int(seconds * rate)
    out_samples = []
    for i in range(n):
        t = i / rate
        env = math.exp(-decay * t / seconds) * min(1.0, i / (0.004 * rate))
        v = sum(math.sin(2 * math.pi * f * t) for f in freqs) / len(freqs)
        out_samples.append(32767 * volume * env * v)
    return out_samples


def click(rate=22050):
    n = int(0.025 * rate)
    return [32767 * 0.5 * math.exp(-i / (0.003 * rate)) * math.sin(2 * math.pi * 2400 * i / rate) for i in range(n)]


def save8(img, path):
    # 8-bit with its own palette: a third of the 24-bit size, no visible loss.
    img.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE).save(path)


def main():
    for name, label, kind in BUTTONS:
        save8(button_strip(label, kind), out("BMP", "Buttons", name + ".bmp"))
    save8(folder_picture(), out("BMP", "folder.bmp"))
    save8(arrow_picture(), out("BMP", "arrow.bmp"))
    save8(title_picture(480, 320, "同じ画像・似た画像を探します"), out("BMP", "title.bmp"))
    save8(title_picture(320, 240, "起動しています…"), out("BMP", "splash.bmp"))
    save8(title_picture(320, 240, "画像比較ツール"), out("BMP", "about.bmp"))
    save8(tool_images(), out("BMP", "tools.bmp"))
    for k in (1, 2, 3):
        frames, palette = animation(k)
        write_avi(out("BMP", "ani%02d.avi" % k), frames, palette, 50, 50, 80)
    write_wave(out("BMP", "Click.wav"), click())
    # A rising triad at the end of a run, a short double beep on a match.
    comp = tone([523.25], 0.12) + tone([659.25], 0.12) + tone([783.99, 1046.5], 0.35)
    write_wave(out("Sound", "Comp.wav"), comp)
    write_wave(out("Sound", "Beep.wav"), tone([880], 0.08, decay=2) + [0] * 800 + tone([880], 0.08, decay=2))
    with open(out("Set", ".keep"), "w"):
        pass
    # Seed for the fuzz target: 4 x 3, two frames, four colours.
    seed = os.path.join(ROOT, "fuzz", "corpus", "avi_reader")
    os.makedirs(seed, exist_ok=True)
    write_avi(os.path.join(seed, "tiny.avi"), [rle8_frame([1] * 4 + [2] * 4 + [3] * 4, 4, 3), b"\x00\x02\x01\x01\x01\x00\x00\x01"],
              [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)], 4, 3, 100)


if __name__ == "__main__":
    main()
