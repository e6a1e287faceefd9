#!/usr/bin/env python3
"""Rasterise the vector icon description into a multi-size .ico.

Usage: make-icon.py ICON.json OUT.ico [--preview OUT.png] [--sheet OUT.png]

Standard library only, so the build host needs nothing beyond python3.
Geometry is given on a square canvas (e.g. 256 units) and is snapped to the
pixel grid per output size before anti-aliasing, so that small sizes get
crisp, at-least-one-pixel strokes instead of grey smears.
"""

import argparse
import json
import math
import struct
import sys
import zlib


# ---------------------------------------------------------------- colour

def parse_colour(text):
    text = text.lstrip("#")
    if len(text) != 6:
        raise ValueError(f"colour must be #RRGGBB: {text!r}")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def srgb_to_linear(c):
    c /= 255.0
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def linear_to_srgb(c):
    c = 12.92 * c if c <= 0.0031308 else 1.055 * c ** (1 / 2.4) - 0.055
    return max(0, min(255, int(c * 255.0 + 0.5)))


# ---------------------------------------------------------------- snapping
# Lower edges round half up and upper edges round half down, so a shape that
# is symmetric on the canvas stays symmetric after snapping.

def snap_lo(v):
    return math.floor(v + 0.5)


def snap_hi(v):
    return math.ceil(v - 0.5)


def stroke_px(width, scale, min_px):
    return max(min_px, math.floor(width * scale + 0.5))


def centred_bar(centre, width, scale, min_px):
    """Pick a pixel width whose edges land on the grid around `centre`.

    A 1 px neck centred on an even-sized canvas would straddle two columns
    and render as a 50% grey pair; one pixel more (or less) keeps it sharp.
    """
    c = centre * scale
    ideal = width * scale
    base = max(min_px, math.floor(ideal))
    best = None
    for w in range(base, base + 3):
        edge = c - w / 2
        misalign = abs(edge - round(edge))
        key = (misalign > 1e-6, abs(w - ideal), -w)
        if best is None or key < best[0]:
            best = (key, w)
    w = best[1]
    lo = math.floor(c - w / 2 + 0.5)
    return lo, lo + w


# ---------------------------------------------------------------- shapes
# Each shape becomes a signed distance function in pixel space (negative
# inside). Distances are only used for "clearly inside/outside" culling, so
# a conservative bound is enough; coverage itself comes from supersampling.

def rrect_sdf(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2, (y1 - y0) / 2
    r = max(0.0, min(r, hx, hy))

    def sdf(px, py):
        qx = abs(px - cx) - hx + r
        qy = abs(py - cy) - hy + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return sdf


def build_shape(shape, scale):
    kind = shape["type"]
    min_px = shape.get("min_px", 1)
    if kind in ("rrect", "rrect_stroke"):
        x0, y0, x1, y1 = shape["rect"]
        x0, y0 = snap_lo(x0 * scale), snap_lo(y0 * scale)
        x1, y1 = snap_hi(x1 * scale), snap_hi(y1 * scale)
        r = shape.get("radius", 0) * scale
        outer = rrect_sdf(x0, y0, x1, y1, r)
        if kind == "rrect":
            return outer
        w = stroke_px(shape["width"], scale, min_px)
        # A sub-pixel inner radius only smudges the corner; keep it square.
        ri = r - w if r - w >= 1.0 else 0.0
        inner = rrect_sdf(x0 + w, y0 + w, x1 - w, y1 - w, ri)
        return lambda px, py: max(outer(px, py), -inner(px, py))
    if kind == "vbar":
        x0, x1 = centred_bar(shape["x"], shape["width"], scale, min_px)
        y0, y1 = snap_lo(shape["y0"] * scale), snap_hi(shape["y1"] * scale)
        r = (x1 - x0) / 2 if shape.get("round") else 0.0
        return rrect_sdf(x0, y0, x1, y1, r)
    if kind == "hbar":
        y0, y1 = centred_bar(shape["y"], shape["width"], scale, min_px)
        x0, x1 = snap_lo(shape["x0"] * scale), snap_hi(shape["x1"] * scale)
        r = (y1 - y0) / 2 if shape.get("round") else 0.0
        return rrect_sdf(x0, y0, x1, y1, r)
    raise ValueError(f"unknown shape type {kind!r}")


def coverage_map(shapes, size, samples):
    """Fraction of each pixel covered by the union of `shapes`."""
    n = samples
    offsets = [(i + 0.5) / n for i in range(n)]
    total = n * n
    # Half the pixel diagonal: beyond that the pixel is entirely on one side.
    reach = 0.75
    cov = [0.0] * (size * size)
    for y in range(size):
        cy = y + 0.5
        for x in range(size):
            cx = x + 0.5
            d = min(s(cx, cy) for s in shapes)
            if d <= -reach:
                cov[y * size + x] = 1.0
            elif d < reach:
                hits = 0
                for oy in offsets:
                    sy = y + oy
                    for ox in offsets:
                        sx = x + ox
                        for s in shapes:
                            if s(sx, sy) <= 0.0:
                                hits += 1
                                break
                cov[y * size + x] = hits / total
    return cov


def render(desc, size):
    """Return straight-alpha RGBA rows (top-down) for one icon size."""
    scale = size / desc["canvas"]
    samples = desc.get("samples", 8)
    npx = size * size
    # Composite in linear light: amber on a dark tile keeps its weight at
    # small sizes instead of thinning out as sRGB-space blending would.
    acc_rgb = [(0.0, 0.0, 0.0)] * npx
    acc_a = [0.0] * npx
    for layer in desc["layers"]:
        colour = tuple(srgb_to_linear(c) for c in parse_colour(layer["color"]))
        shapes = [build_shape(s, scale) for s in layer["shapes"]]
        cov = coverage_map(shapes, size, samples)
        for i in range(npx):
            a = cov[i]
            if a <= 0.0:
                continue
            da = acc_a[i]
            out_a = a + da * (1.0 - a)
            dr, dg, db = acc_rgb[i]
            k = da * (1.0 - a)
            acc_rgb[i] = tuple((c * a + d * k) / out_a
                               for c, d in zip(colour, (dr, dg, db)))
            acc_a[i] = out_a
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            i = y * size + x
            a = int(acc_a[i] * 255.0 + 0.5)
            if a == 0:
                row += b"\0\0\0\0"
            else:
                row += bytes(linear_to_srgb(c) for c in acc_rgb[i]) + bytes((a,))
        rows.append(bytes(row))
    return rows


# ---------------------------------------------------------------- encoders

def encode_png(rows, width, height):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def encode_dib(rows, size):
    """32-bit BI_RGB icon image: BGRA colour rows plus the legacy AND mask."""
    # Height is doubled because the header describes colour + mask together.
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         size * size * 4 + mask_stride * size, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def encode_ico(images):
    """images: list of (size, payload bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 means 256 in the directory
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def contact_sheet(rendered, zoom, gap=8, bg=(255, 255, 255, 255)):
    """Every size side by side, magnified with nearest neighbour, for review."""
    sizes = sorted(rendered)
    width = sum(s * zoom for s in sizes) + gap * (len(sizes) + 1)
    height = max(sizes) * zoom + 2 * gap
    canvas = [bytearray(bytes(bg) * width) for _ in range(height)]
    x0 = gap
    for s in sizes:
        rows = rendered[s]
        for y in range(s * zoom):
            src = rows[y // zoom]
            dst = canvas[gap + y]
            for x in range(s * zoom):
                p = (x // zoom) * 4
                a = src[p + 3]
                i = (x0 + x) * 4
                for c in range(3):
                    dst[i + c] = (src[p + c] * a + bg[c] * (255 - a)) // 255
        x0 += s * zoom + gap
    return [bytes(r) for r in canvas], width, height


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("description", help="vector icon description (.json)")
    ap.add_argument("output", help=".ico file to write")
    ap.add_argument("--preview", help="also write the largest size as PNG")
    ap.add_argument("--sheet", help="also write all sizes magnified as one PNG")
    ap.add_argument("--zoom", type=int, default=4, help="magnification for --sheet")
    args = ap.parse_args(argv)

    with open(args.description, encoding="utf-8") as f:
        desc = json.load(f)
    sizes = sorted(desc["sizes"])
    png_sizes = set(desc.get("png_sizes", [256]))

    rendered = {s: render(desc, s) for s in sizes}
    images = []
    for s in sizes:
        rows = rendered[s]
        data = encode_png(rows, s, s) if s in png_sizes else encode_dib(rows, s)
        images.append((s, data))
    with open(args.output, "wb") as f:
        f.write(encode_ico(images))

    if args.preview:
        big = sizes[-1]
        with open(args.preview, "wb") as f:
            f.write(encode_png(rendered[big], big, big))
    if args.sheet:
        small = {s: rendered[s] for s in sizes if s <= 64}
        rows, w, h = contact_sheet(small, args.zoom)
        with open(args.sheet, "wb") as f:
            f.write(encode_png(rows, w, h))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
