#!/usr/bin/python3
"""Draws the program's artwork and its sound deterministically from code (no outside images).

Writes next to this script:
  kestrix.ico                      icon 113: 16, 32 and 48 px, 32-bit with alpha
  bg1.bmp, bg2.bmp                 the 500 x 70 banner, normal and highlighted (8-bit palette)
  bg_text.bmp                      the 40 x 40 texture of the two text strips (8-bit palette)
  tit_fleshka.bmp, tit_fleshka_2.bmp
                                   the 40 x 240 connection strips, red and grey (8-bit palette)
  connect.wav                      sound 147: PCM, 2 channels, 16 bit, 32000 Hz, 0.51 s

Needs Debian's python3-pil and fonts-dejavu-core (apt-get install python3-pil fonts-dejavu-core);
run it with the system interpreter: /usr/bin/python3 resources/make_artwork.py
The outputs are committed, so building the program needs none of this.
"""
import math
import os
import struct
import wave

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
SUPERSAMPLE = 4

# ---------------------------------------------------------------------------
# The icon (pure Python, no PIL needed)
# ---------------------------------------------------------------------------


def inside_shield(x, y):
    """The shield outline in unit coordinates (0..1 both ways, y down)."""
    if not (0.14 <= x <= 0.86 and 0.08 <= y <= 0.94):
        return False
    if y < 0.55:
        # Flat top with a slight dip in the middle.
        top = 0.08 + 0.05 * (1 - abs(x - 0.5) / 0.36)
        return y >= top
    # Lower half narrows to a point.
    half_width = 0.36 * (1 - ((y - 0.55) / 0.39) ** 1.6)
    return abs(x - 0.5) <= half_width


def inside_check(x, y):
    """A white check mark: two thick strokes."""
    def near_segment(ax, ay, bx, by, width):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= width * width
    return near_segment(0.32, 0.50, 0.46, 0.66, 0.065) or near_segment(0.46, 0.66, 0.70, 0.32, 0.065)


def shade(x, y):
    """Blue shield, lighter at the top left; white check; transparent outside."""
    if not inside_shield(x, y):
        return (0, 0, 0, 0)
    if inside_check(x, y):
        return (255, 255, 255, 255)
    border = not inside_shield(x - 0.05, y) or not inside_shield(x + 0.05, y) or not inside_shield(x, y + 0.05)
    if border:
        return (16, 52, 112, 255)
    light = 1.0 - 0.5 * (x + y) / 2
    return (int(30 + 40 * light), int(90 + 70 * light), int(170 + 60 * light), 255)


def render(size):
    """BGRA rows, bottom-up, averaged over a supersampled grid."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                r, g, b = (int(round(c / acc[3])) for c in acc[:3])
            else:
                r = g = b = 0
            row += bytes((b, g, r, int(round(alpha))))
        rows.append(bytes(row))
    rows.reverse()
    return rows


def icon_image(size):
    """One ICO entry: a BITMAPINFOHEADER, 32-bit pixels and the AND mask."""
    pixels = b"".join(render(size))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def write_icon(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


# ---------------------------------------------------------------------------
# Drawing helpers for the bitmaps (PIL)
# ---------------------------------------------------------------------------

S = SUPERSAMPLE

# One family of colours for the whole window: deep blue panel, lighter blue tiles.
NAVY_TOP = (27, 58, 104)
NAVY_BOTTOM = (12, 31, 62)
TILE_TOP = (47, 94, 160)
TILE_BOTTOM = (28, 60, 112)
TILE_EDGE = (86, 128, 190)
LIT_TOP = (70, 140, 225)
LIT_BOTTOM = (36, 92, 176)
LIT_EDGE = (170, 220, 255)
CAPTION = (214, 229, 250)
CAPTION_LIT = (255, 255, 255)


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def gradient(width, height, top, bottom):
    """A vertical gradient image, RGBA."""
    image = Image.new("RGBA", (width, height))
    pixels = image.load()
    for y in range(height):
        colour = mix(top, bottom, y / max(1, height - 1)) + (255,)
        for x in range(width):
            pixels[x, y] = colour
    return image


def box(x0, y0, x1, y1):
    """Final-pixel box to supersampled coordinates."""
    return [x0 * S, y0 * S, x1 * S, y1 * S]


def pt(x, y):
    return (x * S, y * S)


def gradient_rounded(canvas, rect, radius, top, bottom, edge=None, edge_width=1.0):
    """A rounded rectangle filled with a vertical gradient, with an optional edge line (final pixels)."""
    x0, y0, x1, y1 = box(*rect)
    fill = gradient(x1 - x0, y1 - y0, top, bottom)
    mask = Image.new("L", fill.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, fill.size[0] - 1, fill.size[1] - 1], radius * S, fill=255)
    canvas.paste(fill, (x0, y0), mask)
    if edge:
        ImageDraw.Draw(canvas).rounded_rectangle([x0, y0, x1 - 1, y1 - 1], radius * S, outline=edge,
                                                 width=int(edge_width * S))


def circle(draw, cx, cy, r, fill=None, outline=None, width=1.0):
    draw.ellipse(box(cx - r, cy - r, cx + r, cy + r), fill=fill, outline=outline,
                 width=max(1, int(width * S)))


def line(draw, points, fill, width):
    draw.line([pt(x, y) for x, y in points], fill=fill, width=max(1, int(width * S)), joint="curve")
    for x, y in (points[0], points[-1]):  # round caps
        circle(draw, x, y, width / 2, fill=fill)


def shield_points(cx, top, width, height):
    """Outline of a heraldic shield as a polygon (final pixels)."""
    points = []
    half = width / 2
    for i in range(21):  # top edge with a slight dip
        x = cx - half + width * i / 20
        points.append((x, top + 0.06 * height * (1 - abs(x - cx) / half)))
    for i in range(1, 41):  # right side down to the point, then back up the left side
        t = i / 40
        y = top + 0.5 * height + 0.5 * height * t
        points.append((cx + half * (1 - t ** 1.6), y))
    for i in range(40, 0, -1):
        t = i / 40
        y = top + 0.5 * height + 0.5 * height * t
        points.append((cx - half * (1 - t ** 1.6), y))
    points.append((cx - half, top + 0.5 * height))
    return points


def shield(draw, cx, top, width, height, fill, edge):
    poly = [pt(x, y) for x, y in shield_points(cx, top, width, height)]
    draw.polygon(poly, fill=fill)
    draw.line(poly + [poly[0]], fill=edge, width=int(1.2 * S), joint="curve")


def check_mark(draw, cx, cy, size, fill, width):
    line(draw, [(cx - 0.45 * size, cy), (cx - 0.12 * size, cy + 0.33 * size), (cx + 0.5 * size, cy - 0.38 * size)],
         fill, width)


def sparkle(draw, cx, cy, r, fill):
    """A four-pointed star."""
    k = r * 0.28
    draw.polygon([pt(cx, cy - r), pt(cx + k, cy - k), pt(cx + r, cy), pt(cx + k, cy + k),
                  pt(cx, cy + r), pt(cx - k, cy + k), pt(cx - r, cy), pt(cx - k, cy - k)], fill=fill)


def downsample(canvas):
    return canvas.resize((canvas.size[0] // S, canvas.size[1] // S), Image.BOX)


def centred_text(image, cx, top, text, face, fill):
    draw = ImageDraw.Draw(image)
    left, _, right, _ = draw.textbbox((0, 0), text, font=face)
    draw.text((int(round(cx - (right - left) / 2 - left)), top), text, font=face, fill=fill)


# ---------------------------------------------------------------------------
# The pictures of the four buttons (drawn supersampled, centred on cx, cy)
# ---------------------------------------------------------------------------


def picture_globe(draw, cx, cy, lit):
    """The maker's other site: a globe with a download badge."""
    r = 15
    sea = (64, 170, 255) if lit else (46, 140, 226)
    grid = (225, 242, 255) if lit else (190, 222, 250)
    circle(draw, cx, cy, r, fill=sea)
    circle(draw, cx - 5, cy - 6, 6, fill=mix(sea, (255, 255, 255), 0.25))
    circle(draw, cx, cy, r, fill=None, outline=sea, width=0.1)
    for ry in (0.0, 0.5, -0.5):  # parallels
        y = cy + ry * r
        half = math.sqrt(r * r - (ry * r) ** 2)
        line(draw, [(cx - half, y), (cx + half, y)], grid, 1.3)
    draw.ellipse(box(cx - r * 0.45, cy - r, cx + r * 0.45, cy + r), outline=grid, width=int(1.3 * S))
    line(draw, [(cx, cy - r), (cx, cy + r)], grid, 1.3)
    circle(draw, cx, cy, r, outline=grid, width=1.6)
    # Download badge
    bx, by = cx + 12, cy + 10
    circle(draw, bx, by, 7.5, fill=(255, 255, 255))
    circle(draw, bx, by, 6.3, fill=(76, 187, 96) if lit else (56, 160, 80))
    line(draw, [(bx, by - 3.5), (bx, by + 2.5)], (255, 255, 255), 1.8)
    draw.polygon([pt(bx - 3.3, by + 0.3), pt(bx + 3.3, by + 0.3), pt(bx, by + 4.2)], fill=(255, 255, 255))


def picture_antivirus(draw, cx, cy, lit):
    """Choosing an antivirus: a green shield with a check, looked at through a magnifier."""
    green = (74, 200, 104) if lit else (52, 168, 83)
    shield(draw, cx - 5, cy - 16, 26, 32, green, (22, 96, 48))
    check_mark(draw, cx - 5, cy - 1, 14, (255, 255, 255), 3.2)
    mx, my = cx + 10, cy + 6
    line(draw, [(mx + 5, my + 5), (mx + 11, my + 11)], (70, 52, 40), 4.0)
    circle(draw, mx, my, 8.5, fill=(210, 235, 255, 255) if lit else (180, 214, 245, 255))
    circle(draw, mx, my, 8.5, outline=(236, 240, 245), width=2.2)
    line(draw, [(mx - 4, my - 1), (mx - 1.5, my - 4.5)], (255, 255, 255), 1.5)


def picture_cleanup(draw, cx, cy, lit):
    """Removing autoruns and cleaning the registry: a flash drive swept clean by a broom."""
    # Flash drive, connector up
    dx, dy = cx - 8, cy + 2
    draw.rounded_rectangle(box(dx - 5, dy - 20, dx + 5, dy - 10), 1 * S, fill=(200, 206, 214),
                           outline=(120, 128, 140), width=S)
    draw.rectangle(box(dx - 2.6, dy - 17, dx - 0.6, dy - 14), fill=(90, 98, 110))
    draw.rectangle(box(dx + 0.6, dy - 17, dx + 2.6, dy - 14), fill=(90, 98, 110))
    body = (255, 152, 40) if lit else (236, 128, 28)
    draw.rounded_rectangle(box(dx - 8, dy - 11, dx + 8, dy + 14), 3 * S, fill=body, outline=(150, 70, 10), width=S)
    draw.rounded_rectangle(box(dx - 5, dy - 5, dx + 5, dy + 7), 1.5 * S, fill=(255, 236, 200))
    line(draw, [(dx - 2.5, dy - 2), (dx + 2.5, dy - 2)], (210, 120, 40), 1.0)
    line(draw, [(dx - 2.5, dy + 1), (dx + 2.5, dy + 1)], (210, 120, 40), 1.0)
    line(draw, [(dx - 2.5, dy + 4), (dx + 1.0, dy + 4)], (210, 120, 40), 1.0)
    # Broom leaning across the drive's right side
    line(draw, [(cx + 14, cy - 15), (cx + 4, cy + 6)], (150, 100, 60), 2.6)
    bristles = [(cx + 0.5, cy + 3), (cx + 8.5, cy + 7), (cx + 7, cy + 19), (cx - 7, cy + 13)]
    draw.polygon([pt(x, y) for x, y in bristles], fill=(255, 208, 60) if lit else (240, 190, 40))
    draw.line([pt(cx + 0.5, cy + 3), pt(cx + 8.5, cy + 7)], fill=(190, 60, 40), width=int(2.2 * S))
    for i in range(1, 4):
        t = i / 4
        a = mix((cx + 1, cy + 5), (cx + 8, cy + 8.5), t)
        b = mix((cx - 6, cy + 12.5), (cx + 6.5, cy + 18.5), t)
        draw.line([pt(*a), pt(*b)], fill=(196, 140, 20), width=S)
    # Sparkles of a clean drive
    star = (255, 255, 255)
    sparkle(draw, cx + 17, cy + 3, 4.5, star)
    sparkle(draw, cx + 12, cy - 9, 3.0, star)
    sparkle(draw, cx - 19, cy - 13, 3.0, star)


def picture_stop_virus(draw, cx, cy, lit):
    """Stopping the virus: a germ under a red prohibition sign."""
    germ = (132, 200, 64) if lit else (112, 178, 52)
    dark = (64, 120, 30)
    for i in range(8):
        a = i * math.pi / 4 + math.pi / 8
        x, y = cx + 11.5 * math.cos(a), cy + 11.5 * math.sin(a)
        line(draw, [(cx + 7 * math.cos(a), cy + 7 * math.sin(a)), (x, y)], dark, 1.6)
        circle(draw, x, y, 2.4, fill=germ, outline=dark, width=0.9)
    circle(draw, cx, cy, 8.5, fill=germ, outline=dark, width=1.1)
    circle(draw, cx - 3, cy - 2, 2.2, fill=dark)
    circle(draw, cx + 3, cy + 3, 1.6, fill=dark)
    circle(draw, cx + 3.5, cy - 3.5, 1.2, fill=dark)
    red = (250, 60, 55) if lit else (226, 40, 40)
    circle(draw, cx, cy, 17.5, outline=red, width=4.2)
    offset = 17.5 * math.cos(math.pi / 4) - 1
    line(draw, [(cx - offset, cy - offset), (cx + offset, cy + offset)], red, 4.2)


# ---------------------------------------------------------------------------
# The banner
# ---------------------------------------------------------------------------

WIDTH, HEIGHT = 500, 70
# Tiles sit one pixel inside the button rectangles of the window's regions 1 to 4.
TILES = [
    ((5, 5, 74, 64), picture_globe, "Наш софт"),
    ((86, 5, 179, 64), picture_antivirus, "Антивирус"),
    ((306, 5, 383, 64), picture_cleanup, "Очистка"),
    ((387, 5, 467, 64), picture_stop_virus, "Стоп вирус"),
]
SWITCH = (470, 4, 492, 67)
DOT_LEFT = (474.5, 57.5)    # under the ring box (472, 55) .. (477, 60)
DOT_RIGHT = (485.5, 57.5)   # under the ring box (483, 55) .. (488, 60)


def banner_background():
    image = gradient(WIDTH * S, HEIGHT * S, NAVY_TOP, NAVY_BOTTOM)
    # Faint diagonal stripes, the same motif as the text strips.
    stripes = Image.new("RGBA", image.size, (0, 0, 0, 0))
    sd = ImageDraw.Draw(stripes)
    for x in range(-HEIGHT, WIDTH, 6):
        sd.line([pt(x, HEIGHT), pt(x + HEIGHT, 0)], fill=(120, 170, 255, 18), width=2 * S)
    image.alpha_composite(stripes)
    draw = ImageDraw.Draw(image)
    # A light line along the top and a dark one along the bottom frame the banner.
    draw.rectangle(box(0, 0, WIDTH, 1), fill=(84, 124, 184))
    draw.rectangle(box(0, HEIGHT - 1, WIDTH, HEIGHT), fill=(6, 18, 40))
    return image


def draw_brand(canvas):
    """The product's mark between the second and third buttons (not a button)."""
    draw = ImageDraw.Draw(canvas)
    shield(draw, 203, 16, 26, 33, (52, 120, 214), (170, 210, 255))
    check_mark(draw, 203, 31, 13, (255, 255, 255), 3.0)


def draw_brand_text(image):
    draw = ImageDraw.Draw(image)
    draw.text((221, 14), "Kestrix", font=font("DejaVuSans-Bold.ttf", 19), fill=(255, 255, 255))
    draw.text((222, 38), "защита флешек", font=font("DejaVuSansCondensed.ttf", 10), fill=(150, 190, 240))
    draw.text((222, 50), "от автозапуска", font=font("DejaVuSansCondensed.ttf", 10), fill=(150, 190, 240))


def draw_switch(canvas, lit):
    draw = ImageDraw.Draw(canvas)
    x0, y0, x1, y1 = SWITCH
    cx = (x0 + x1) / 2
    if lit:
        gradient_rounded(canvas, SWITCH, 10, (40, 150, 90), (16, 92, 54), (150, 255, 190), 1.2)
    else:
        gradient_rounded(canvas, SWITCH, 10, (62, 72, 88), (34, 40, 52), (96, 108, 126), 1.2)
    draw = ImageDraw.Draw(canvas)
    # Power symbol
    symbol = (235, 255, 240) if lit else (128, 138, 152)
    draw.arc(box(cx - 6.5, 11, cx + 6.5, 24), 300, 240, fill=symbol, width=int(2.2 * S))
    line(draw, [(cx, 9.5), (cx, 17)], symbol, 2.2)
    # Level bar
    bar = (150, 255, 170) if lit else (70, 80, 96)
    draw.rounded_rectangle(box(cx - 2, 30, cx + 2, 47), 2 * S, fill=bar)
    # Activity dots: orange and pink when lit, dark when off
    for (dx, dy), colour in ((DOT_LEFT, (255, 150, 30)), (DOT_RIGHT, (255, 90, 170))):
        if lit:
            circle(draw, dx, dy, 3.6, fill=mix(colour, (16, 92, 54), 0.55))
            circle(draw, dx, dy, 2.9, fill=colour)
            circle(draw, dx - 0.8, dy - 0.8, 0.9, fill=(255, 240, 220))
        else:
            circle(draw, dx, dy, 2.9, fill=(22, 26, 34))


def draw_banner(lit):
    canvas = banner_background()
    for rect, picture, _ in TILES:
        if lit:
            gradient_rounded(canvas, rect, 7, LIT_TOP, LIT_BOTTOM, LIT_EDGE, 1.3)
        else:
            gradient_rounded(canvas, rect, 7, TILE_TOP, TILE_BOTTOM, TILE_EDGE, 1.0)
        # A soft gloss over the upper half of the tile
        x0, y0, x1, y1 = rect
        gloss = Image.new("RGBA", canvas.size, (0, 0, 0, 0))
        ImageDraw.Draw(gloss).rounded_rectangle(box(x0 + 2, y0 + 2, x1 - 2, y0 + (y1 - y0) * 0.45), 5 * S,
                                                fill=(255, 255, 255, 34 if lit else 20))
        canvas.alpha_composite(gloss)
        cx = (x0 + x1) / 2
        picture(ImageDraw.Draw(canvas), cx, y0 + 21, lit)
    draw_brand(canvas)
    draw_switch(canvas, lit)
    image = downsample(canvas).convert("RGB")
    # Captions are drawn at the final size so that they stay crisp.
    caption = font("DejaVuSansCondensed-Bold.ttf", 10)
    for (x0, _, x1, y1), _, text in TILES:
        centred_text(image, (x0 + x1) / 2, y1 - 15, text, caption, CAPTION_LIT if lit else CAPTION)
    draw_brand_text(image)
    return image


# ---------------------------------------------------------------------------
# The text-strip texture and the connection strips
# ---------------------------------------------------------------------------


def draw_text_texture():
    """Dark blue with diagonal stripes; stretched to 500 x 31 behind the hint and the bottom bar."""
    image = Image.new("RGB", (40, 40))
    pixels = image.load()
    for y in range(40):
        for x in range(40):
            base = mix((22, 46, 84), (12, 28, 56), y / 39)
            stripe = 0.5 + 0.5 * math.cos(2 * math.pi * (x + y) / 8)
            pixels[x, y] = mix(base, (34, 66, 116), 0.35 * stripe)
    return image


def draw_connection_strip(top, bottom):
    """A 40 x 240 strip reading "флешка подключена" upward in white."""
    canvas = gradient(40 * S, 240 * S, top, bottom)
    draw = ImageDraw.Draw(canvas)
    draw.rectangle(box(0, 0, 40, 240), outline=mix(top, (255, 255, 255), 0.45), width=int(1.5 * S))
    image = downsample(canvas).convert("RGB")
    # The words, drawn across and turned a quarter to the left so that they read upward.
    face = font("DejaVuSansCondensed-Bold.ttf", 19)
    text = "флешка подключена"
    probe = ImageDraw.Draw(image)
    left, top_edge, right, bottom_edge = probe.textbbox((0, 0), text, font=face)
    label = Image.new("L", (240, 40), 0)
    ImageDraw.Draw(label).text(((240 - (right - left)) // 2 - left, (40 - (bottom_edge - top_edge)) // 2 - top_edge),
                               text, font=face, fill=255)
    label = label.rotate(90, expand=True)  # 40 x 240, reading bottom to top
    image.paste(Image.new("RGB", label.size, (255, 255, 255)), (0, 0), label)
    return image


def save_palettised(image, path):
    """8-bit palette BMP: the pictures keep their look at a third of the size."""
    image.quantize(colors=256, method=Image.Quantize.MAXCOVERAGE, dither=Image.Dither.NONE, kmeans=3).save(path, "BMP")


# ---------------------------------------------------------------------------
# The connection sound
# ---------------------------------------------------------------------------


def write_sound(path):
    """A soft two-note chime, C6 then G6, PCM 2 x 16 bit at 32000 Hz, 0.51 s."""
    rate, seconds = 32000, 0.51
    frames = int(rate * seconds)
    notes = [(0.00, 1046.50, 0.13, 0.85, -0.25), (0.12, 1567.98, 0.16, 0.75, 0.25)]
    out = bytearray()
    for n in range(frames):
        t = n / rate
        left = right = 0.0
        for start, freq, decay, gain, pan in notes:
            if t < start:
                continue
            u = t - start
            envelope = gain * min(1.0, u / 0.004) * math.exp(-u / decay)
            tone = math.sin(2 * math.pi * freq * u) + 0.25 * math.sin(4 * math.pi * freq * u) * math.exp(-u / 0.05)
            left += envelope * tone * (1 - pan) / 2
            right += envelope * tone * (1 + pan) / 2
        fade = min(1.0, (seconds - t) / 0.03)  # ends in silence, no click
        for value in (left, right):
            out += struct.pack("<h", int(round(max(-1.0, min(1.0, value * 0.55 * fade)) * 32767)))
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(out))


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "kestrix.ico"), [16, 32, 48])
    save_palettised(draw_banner(lit=False), os.path.join(HERE, "bg1.bmp"))
    save_palettised(draw_banner(lit=True), os.path.join(HERE, "bg2.bmp"))
    save_palettised(draw_text_texture(), os.path.join(HERE, "bg_text.bmp"))
    save_palettised(draw_connection_strip((214, 48, 48), (168, 24, 28)), os.path.join(HERE, "tit_fleshka.bmp"))
    save_palettised(draw_connection_strip((128, 128, 132), (92, 92, 96)), os.path.join(HERE, "tit_fleshka_2.bmp"))
    write_sound(os.path.join(HERE, "connect.wav"))
