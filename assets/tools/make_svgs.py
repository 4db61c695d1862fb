#!/usr/bin/env python3
"""Writes the instrument-panel pictures (assets/svg/*.svg) and assets.qrc.

The SVG files are committed; run this only to change the artwork:
    python3 assets/tools/make_svgs.py
Everything is deterministic (the brushed-metal streaks use a fixed seed), so
re-running without changes leaves the files byte-identical.

Only SVG Tiny features are used (paths, gradients, opacity): the renderer in
the program has no filters, patterns or masks, and the legends are drawn
with a small stroke font so that they look the same without any installed
fonts.
"""

import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.dirname(HERE)
SVG_DIR = os.path.join(ASSETS, "svg")

# Palette shared by every picture.
PANEL_TOP = "#3b4047"
PANEL_MID = "#2a2e34"
PANEL_BOTTOM = "#1c1f23"
LEGEND = "#cfd4db"
RED = dict(lit="#ff3322", core="#ffd2c4", glow="#ff2a14", unlit="#2c0b08",
           window_top="#1d0706", window_bottom="#0e0303")
GREEN = dict(lit="#38ff6a", core="#d6ffe0", glow="#22ff55", unlit="#0a2612",
             window_top="#061a0b", window_bottom="#020a04")


def fmt(v):
    s = f"{v:.3f}".rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def pts(points):
    return " ".join(f"{fmt(x)},{fmt(y)}" for x, y in points)


def svg(width, height, body, defs=""):
    head = (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{width}" height="{height}" viewBox="0 0 {width} {height}">\n')
    d = f"<defs>\n{defs}</defs>\n" if defs else ""
    return head + d + body + "</svg>\n"


def linear(id_, stops, x1=0, y1=0, x2=0, y2=1):
    s = "".join(f'  <stop offset="{fmt(o)}" stop-color="{c}" stop-opacity="{fmt(a)}"/>\n'
                for o, c, a in stops)
    return (f'<linearGradient id="{id_}" x1="{fmt(x1)}" y1="{fmt(y1)}" x2="{fmt(x2)}" '
            f'y2="{fmt(y2)}">\n{s}</linearGradient>\n')


def radial(id_, stops, cx=0.5, cy=0.5, r=0.5, fx=None, fy=None):
    fx = cx if fx is None else fx
    fy = cy if fy is None else fy
    s = "".join(f'  <stop offset="{fmt(o)}" stop-color="{c}" stop-opacity="{fmt(a)}"/>\n'
                for o, c, a in stops)
    return (f'<radialGradient id="{id_}" cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}" '
            f'fx="{fmt(fx)}" fy="{fmt(fy)}">\n{s}</radialGradient>\n')


# --- stroke font -------------------------------------------------------------
# Glyphs on a 4 x 6 grid (y down), as polylines; "z" closes a polyline.
GLYPHS = {
    "A": [[(0, 6), (0, 2), (2, 0), (4, 2), (4, 6)], [(0, 3.6), (4, 3.6)]],
    "B": [[(0, 0), (0, 6), (3, 6), (4, 5), (4, 4), (3, 3), (0, 3)],
          [(0, 0), (3, 0), (4, 1), (4, 2), (3, 3)]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3, 3)]],
    "K": [[(0, 0), (0, 6)], [(4, 0), (0, 4)], [(1.4, 2.6), (4, 6)]],
    "L": [[(0, 0), (0, 6), (4, 6)]],
    "M": [[(0, 6), (0, 0), (2, 3), (4, 0), (4, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [[(1, 0), (3, 0), (4, 1), (4, 5), (3, 6), (1, 6), (0, 5), (0, 1), "z"]],
    "P": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)]],
    "R": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)], [(2, 3), (4, 6)]],
    "S": [[(4, 1), (3, 0), (1, 0), (0, 1), (0, 2), (1, 3), (3, 3), (4, 4), (4, 5),
           (3, 6), (1, 6), (0, 5)]],
    "V": [[(0, 0), (2, 6), (4, 0)]],
    "1": [[(1, 1), (2, 0), (2, 6)], [(1, 6), (3, 6)]],
    "2": [[(0, 1), (1, 0), (3, 0), (4, 1), (4, 2), (0, 6), (4, 6)]],
    "3": [[(0, 1), (1, 0), (3, 0), (4, 1), (4, 2), (3, 3), (1.5, 3)],
          [(3, 3), (4, 4), (4, 5), (3, 6), (1, 6), (0, 5)]],
    "4": [[(3, 6), (3, 0), (0, 4), (4, 4)]],
    "5": [[(4, 0), (0, 0), (0, 3), (3, 3), (4, 4), (4, 5), (3, 6), (0, 6)]],
    "6": [[(3.5, 0), (1, 0), (0, 1.5), (0, 5), (1, 6), (3, 6), (4, 5), (4, 4), (3, 3), (0, 3)]],
    "7": [[(0, 0), (4, 0), (1.5, 6)]],
    "8": [[(1, 0), (3, 0), (4, 1), (4, 2), (3, 3), (1, 3), (0, 2), (0, 1), "z"],
          [(1, 3), (3, 3), (4, 4), (4, 5), (3, 6), (1, 6), (0, 5), (0, 4), (1, 3)]],
}


def text_width(text, scale, spacing):
    return len(text) * 4 * scale + (len(text) - 1) * spacing


def lettering(text, x, y, scale, spacing, color, width, opacity=1.0, anchor="start"):
    """Stroke lettering with its top-left corner at x, y (or centred on x)."""
    if anchor == "middle":
        x -= text_width(text, scale, spacing) / 2
    out = []
    for i, ch in enumerate(text):
        ox = x + i * (4 * scale + spacing)
        for line in GLYPHS[ch]:
            closed = line[-1] == "z"
            p = [pt for pt in line if pt != "z"]
            d = "M" + " L".join(f"{fmt(ox + px * scale)},{fmt(y + py * scale)}" for px, py in p)
            if closed:
                d += " Z"
            out.append(d)
    return (f'<path d="{" ".join(out)}" fill="none" stroke="{color}" '
            f'stroke-width="{fmt(width)}" stroke-linecap="round" stroke-linejoin="round" '
            f'stroke-opacity="{fmt(opacity)}"/>\n')


# --- two-lamp LED ------------------------------------------------------------

def lamp(prefix, cx, cy, r, colours, lit, defs):
    """One round lamp in a chrome bezel; lit lamps glow past the bezel."""
    body = ""
    ring = f"{prefix}ring"
    defs.append(linear(ring, [(0, "#8e959e", 1), (0.5, "#3a3f46", 1), (1, "#0b0c0e", 1)]))
    if lit:
        halo = f"{prefix}halo"
        defs.append(radial(halo, [(0, colours["glow"], 0.75), (0.45, colours["glow"], 0.35),
                                  (1, colours["glow"], 0)]))
        body += f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r * 2.05)}" fill="url(#{halo})"/>\n'
    body += f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r + 1.5)}" fill="url(#{ring})"/>\n'
    body += f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r + 0.55)}" fill="#050506"/>\n'
    face = f"{prefix}face"
    if lit:
        defs.append(radial(face, [(0, colours["core"], 1), (0.45, colours["lit"], 1),
                                  (1, colours["glow"], 1)], cx=0.5, cy=0.5, r=0.55,
                           fx=0.42, fy=0.38))
    else:
        defs.append(radial(face, [(0, colours["unlit_hi"], 1), (1, colours["unlit_lo"], 1)],
                           cx=0.5, cy=0.5, r=0.6, fx=0.4, fy=0.35))
    body += f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}" fill="url(#{face})"/>\n'
    # Specular highlight of the lens.
    body += (f'<ellipse cx="{fmt(cx - r * 0.3)}" cy="{fmt(cy - r * 0.4)}" rx="{fmt(r * 0.42)}" '
             f'ry="{fmt(r * 0.26)}" fill="#ffffff" fill-opacity="{0.55 if lit else 0.28}"/>\n')
    return body


LAMP_RED = dict(RED, unlit_hi="#6e1d17", unlit_lo="#240605")
LAMP_GREEN = dict(GREEN, unlit_hi="#1d5a2c", unlit_lo="#061a0b")


def led(index, wide):
    alarm = index in (1, 3)
    on = index in (2, 3)
    w, h = (50, 26) if wide else (21, 28)
    cx = w - 10.5
    if wide:
        ya, yo, r = 6.6, 19.2, 4.3
    else:
        ya, yo, r = 7.2, 20.8, 4.5
    defs = []
    body = lamp("a", cx, ya, r, LAMP_RED, alarm, defs)
    body += lamp("o", cx, yo, r, LAMP_GREEN, on, defs)
    if wide:
        # Legends to the left of the lamps, right-aligned towards them.
        scale, spacing = 0.78, 1.15
        right = w - 21 - 0.6
        body += lettering("ALARM", right - text_width("ALARM", scale, spacing), ya - 3 * scale,
                          scale, spacing, LEGEND, 0.78)
        body += lettering("ON", right - text_width("ON", scale, spacing), yo - 3 * scale,
                          scale, spacing, LEGEND, 0.78)
    return svg(w, h, body, "".join(defs))


# --- seven-segment digit -----------------------------------------------------
SEGMENTS_OF = {
    0: "abcdef", 1: "bc", 2: "abdeg", 3: "abcdg", 4: "bcfg",
    5: "acdfg", 6: "acdefg", 7: "abc", 8: "abcdefg", 9: "abcdfg",
}


def hseg(x1, x2, y, t):
    return [(x1, y), (x1 + t / 2, y - t / 2), (x2 - t / 2, y - t / 2), (x2, y),
            (x2 - t / 2, y + t / 2), (x1 + t / 2, y + t / 2)]


def vseg(x, y1, y2, t):
    return [(x, y1), (x + t / 2, y1 + t / 2), (x + t / 2, y2 - t / 2), (x, y2),
            (x - t / 2, y2 - t / 2), (x - t / 2, y1 + t / 2)]


def digit(value, decimal_point, colours, w, h=37):
    t = 3.5
    g = 0.55
    left = (w - 27) / 2 + 6.8
    right = left + 11.6
    top, bottom = 6.0, 30.0
    mid = (top + bottom) / 2
    shapes = {
        "a": hseg(left + g, right - g, top, t),
        "g": hseg(left + g, right - g, mid, t),
        "d": hseg(left + g, right - g, bottom, t),
        "f": vseg(left, top + g, mid - g, t),
        "b": vseg(right, top + g, mid - g, t),
        "e": vseg(left, mid + g, bottom - g, t),
        "c": vseg(right, mid + g, bottom - g, t),
    }
    lit = set(SEGMENTS_OF[value]) if value is not None else set()
    defs = [
        linear("bezel", [(0, "#2c3036", 1), (1, "#0a0b0d", 1)]),
        linear("glass", [(0, colours["window_top"], 1), (1, colours["window_bottom"], 1)]),
        linear("shine", [(0, "#ffffff", 0.13), (1, "#ffffff", 0)]),
    ]
    body = f'<rect x="0" y="0" width="{w}" height="{h}" rx="2.6" fill="url(#bezel)"/>\n'
    body += (f'<rect x="1.6" y="1.6" width="{fmt(w - 3.2)}" height="{fmt(h - 3.2)}" rx="1.6" '
             f'fill="url(#glass)" stroke="#000000" stroke-width="0.6"/>\n')
    # Italic lean about the middle line, as on a real display.
    skew = 7
    shift = mid * 0.12278
    body += f'<g transform="translate({fmt(shift)},0) skewX(-{skew})">\n'
    for name, shape in shapes.items():
        if name not in lit:
            body += f'<polygon points="{pts(shape)}" fill="{colours["unlit"]}"/>\n'
    dp_x, dp_y, dp_r = right + 4.6, bottom + 0.4, 1.75
    if not decimal_point:
        body += f'<circle cx="{fmt(dp_x)}" cy="{fmt(dp_y)}" r="{fmt(dp_r)}" fill="{colours["unlit"]}"/>\n'
    for name, shape in shapes.items():
        if name in lit:
            body += (f'<polygon points="{pts(shape)}" fill="{colours["glow"]}" fill-opacity="0.35" '
                     f'stroke="{colours["glow"]}" stroke-opacity="0.3" stroke-width="1.6" '
                     f'stroke-linejoin="round"/>\n')
    for name, shape in shapes.items():
        if name in lit:
            body += f'<polygon points="{pts(shape)}" fill="{colours["lit"]}"/>\n'
    for name, shape in shapes.items():
        if name in lit:
            # A bright core along the segment's spine.
            a, b = (shape[0], shape[3])
            body += (f'<line x1="{fmt(a[0] + (b[0] - a[0]) * 0.12)}" y1="{fmt(a[1] + (b[1] - a[1]) * 0.12)}" '
                     f'x2="{fmt(a[0] + (b[0] - a[0]) * 0.88)}" y2="{fmt(a[1] + (b[1] - a[1]) * 0.88)}" '
                     f'stroke="{colours["core"]}" stroke-opacity="0.35" stroke-width="1" '
                     f'stroke-linecap="round"/>\n')
    if decimal_point:
        body += (f'<circle cx="{fmt(dp_x)}" cy="{fmt(dp_y)}" r="{fmt(dp_r + 0.8)}" fill="{colours["glow"]}" '
                 f'fill-opacity="0.3"/>\n')
        body += f'<circle cx="{fmt(dp_x)}" cy="{fmt(dp_y)}" r="{fmt(dp_r)}" fill="{colours["lit"]}"/>\n'
        body += (f'<circle cx="{fmt(dp_x - 0.3)}" cy="{fmt(dp_y - 0.3)}" r="{fmt(dp_r * 0.45)}" '
                 f'fill="{colours["core"]}" fill-opacity="0.6"/>\n')
    body += "</g>\n"
    # Glass reflection over the upper part of the window.
    body += (f'<path d="M1.9,1.9 L{fmt(w - 1.9)},1.9 L{fmt(w - 1.9)},{fmt(h * 0.3)} '
             f'Q{fmt(w / 2)},{fmt(h * 0.4)} 1.9,{fmt(h * 0.48)} Z" fill="url(#shine)"/>\n')
    return svg(w, h, body, "".join(defs))


# --- port button ----------------------------------------------------------------

def port_button(pressed):
    w, h = 29, 28
    defs = []
    if pressed:
        defs.append(linear("cap", [(0, "#4b5058", 1), (1, "#6c727b", 1)]))
        defs.append(linear("face", [(0, "#3e434a", 1), (1, "#5d636b", 1)]))
        defs.append(linear("inner", [(0, "#000000", 0.55), (1, "#000000", 0)]))
        body = '<rect x="1" y="1" width="27" height="26" rx="4.5" fill="#0c0d0f" fill-opacity="0.85"/>\n'
        body += ('<rect x="2" y="2.6" width="25" height="24" rx="4" fill="url(#cap)" '
                 'stroke="#15171a" stroke-width="0.8"/>\n')
        body += ('<rect x="5" y="5.8" width="19" height="17.4" rx="3" fill="url(#face)" '
                 'stroke="#2a2e33" stroke-width="0.5"/>\n')
        body += '<rect x="2.4" y="3" width="24.2" height="5" rx="3.5" fill="url(#inner)"/>\n'
    else:
        defs.append(linear("cap", [(0, "#f7f8fa", 1), (0.55, "#d3d7dd", 1), (1, "#9aa0a9", 1)]))
        defs.append(linear("face", [(0, "#c9cdd3", 1), (1, "#eef0f3", 1)]))
        body = '<rect x="2" y="3" width="26" height="24.6" rx="4.6" fill="#000000" fill-opacity="0.5"/>\n'
        body += ('<rect x="1" y="1" width="26" height="24.4" rx="4.3" fill="url(#cap)" '
                 'stroke="#4d535b" stroke-width="0.8"/>\n')
        body += ('<rect x="4.2" y="4" width="19.6" height="17.6" rx="3" fill="url(#face)" '
                 'stroke="#a4aab2" stroke-width="0.5"/>\n')
        body += ('<path d="M2.2,20 L2.2,5.4 Q2.2,2.2 5.4,2.2 L23,2.2" fill="none" '
                 'stroke="#ffffff" stroke-opacity="0.85" stroke-width="0.8" stroke-linecap="round"/>\n')
    return svg(w, h, body, "".join(defs))


def menu_button(pressed):
    w, h = 39, 15
    defs = []
    mark = "#262a2f"
    dy = 1 if pressed else 0  # whole pixels keep the marks sharp at 1x
    if pressed:
        defs.append(linear("cap", [(0, "#7b818a", 1), (1, "#a3a9b1", 1)]))
        body = '<rect x="0.5" y="0.5" width="38" height="14" rx="3" fill="#111316"/>\n'
        body += ('<rect x="1.2" y="1.6" width="36.6" height="12.6" rx="2.6" fill="url(#cap)"/>\n')
        defs.append(linear("inner", [(0, "#000000", 0.5), (1, "#000000", 0)]))
        body += '<rect x="1.2" y="1.6" width="36.6" height="3.6" rx="2.2" fill="url(#inner)"/>\n'
    else:
        defs.append(linear("cap", [(0, "#f4f5f7", 1), (0.6, "#cfd3d9", 1), (1, "#9ba1aa", 1)]))
        body = '<rect x="1" y="1.4" width="38" height="13.6" rx="3" fill="#000000" fill-opacity="0.45"/>\n'
        body += ('<rect x="0.5" y="0.5" width="37.6" height="13.2" rx="2.8" fill="url(#cap)" '
                 'stroke="#4d535b" stroke-width="0.8"/>\n')
        body += ('<path d="M1.4,10 L1.4,3.4 Q1.4,1.3 3.5,1.3 L35,1.3" fill="none" stroke="#ffffff" '
                 'stroke-opacity="0.85" stroke-width="0.7" stroke-linecap="round"/>\n')
    # Menu mark (three bars) and a chevron: "opens a menu".
    for i in range(3):
        y = 4.5 + i * 2 + dy
        body += (f'<line x1="10" y1="{fmt(y)}" x2="18" y2="{fmt(y)}" stroke="{mark}" '
                 f'stroke-width="1"/>\n')
    body += (f'<path d="M23.5,{fmt(5.5 + dy)} L27,{fmt(9 + dy)} L30.5,{fmt(5.5 + dy)}" fill="none" '
             f'stroke="{mark}" stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round"/>\n')
    return svg(w, h, body, "".join(defs))


# --- panel and separator ----------------------------------------------------------

def brushed_streaks(rng, x0, y0, w, h, count):
    out = []
    for _ in range(count):
        y = y0 + rng.uniform(0.5, h - 0.5)
        x1 = x0 + rng.uniform(0, w * 0.6)
        x2 = min(x0 + w, x1 + rng.uniform(w * 0.2, w * 0.9))
        light = rng.random() < 0.5
        out.append(f'<line x1="{fmt(x1)}" y1="{fmt(y)}" x2="{fmt(x2)}" y2="{fmt(y)}" '
                   f'stroke="{"#ffffff" if light else "#000000"}" '
                   f'stroke-opacity="{fmt(rng.uniform(0.025, 0.07))}" '
                   f'stroke-width="{fmt(rng.uniform(0.35, 0.8))}"/>\n')
    return "".join(out)


def recess(x, y, w, h, rx=3):
    """A window cut into the panel: dark floor, shadow at the top, light lip below."""
    return (f'<rect x="{fmt(x)}" y="{fmt(y)}" width="{fmt(w)}" height="{fmt(h)}" rx="{fmt(rx)}" '
            f'fill="#0b0c0e" stroke="url(#lip)" stroke-width="1"/>\n')


def screw(cx, cy):
    return (f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="3.1" fill="url(#screw)" stroke="#101113" '
            f'stroke-width="0.6"/>\n'
            f'<line x1="{fmt(cx - 1.9)}" y1="{fmt(cy + 1.1)}" x2="{fmt(cx + 1.9)}" y2="{fmt(cy - 1.1)}" '
            f'stroke="#1a1c1f" stroke-width="0.9" stroke-linecap="round"/>\n')


PORT_BUTTON_LEFTS = [133, 176, 220, 263, 306, 349, 393, 436]


def panel():
    w, h = 590, 99
    rng = random.Random(20240517)
    defs = [
        linear("metal", [(0, PANEL_TOP, 1), (0.45, PANEL_MID, 1), (1, PANEL_BOTTOM, 1)]),
        linear("lip", [(0, "#000000", 1), (1, "#5d636c", 1)]),
        linear("groove", [(0, "#000000", 0.35), (1, "#ffffff", 0.05)]),
        radial("screw", [(0, "#9aa1aa", 1), (1, "#3d4249", 1)], fx=0.35, fy=0.3),
    ]
    body = f'<rect x="0" y="0" width="{w}" height="{h}" rx="4" fill="url(#metal)"/>\n'
    body += brushed_streaks(rng, 2, 2, w - 4, h - 4, 140)
    # Bevel: light upper-left edge, dark lower-right edge.
    body += (f'<path d="M0.6,{h - 4} L0.6,4 Q0.6,0.6 4,0.6 L{w - 4},0.6" fill="none" '
             f'stroke="#7a818b" stroke-width="1.2"/>\n')
    body += (f'<path d="M{w - 0.6},4 L{w - 0.6},{h - 4} Q{w - 0.6},{h - 0.6} {w - 4},{h - 0.6} '
             f'L4,{h - 0.6}" fill="none" stroke="#08090a" stroke-width="1.2"/>\n')
    body += (f'<rect x="2.5" y="2.5" width="{w - 5}" height="{h - 5}" rx="3" fill="none" '
             f'stroke="#000000" stroke-opacity="0.25" stroke-width="0.6"/>\n')
    # The port section: an engraved frame around buttons, lamps and time labels.
    body += ('<rect x="94.5" y="3.5" width="378" height="92" rx="4" fill="url(#groove)" '
             'stroke="#0c0d0f" stroke-opacity="0.8" stroke-width="0.8"/>\n')
    body += ('<rect x="95.3" y="4.3" width="376.4" height="90.4" rx="3.4" fill="none" '
             'stroke="#ffffff" stroke-opacity="0.08" stroke-width="0.6"/>\n')
    # Port numbers above the buttons.
    for i, left in enumerate(PORT_BUTTON_LEFTS):
        body += lettering(str(i + 1), left + 14.5, 6.2, 0.95, 0, LEGEND, 0.95, 0.9, "middle")
    # Windows of the current and bank-number displays, and their legends.
    body += recess(41.5, 27.5, 60, 38)
    body += recess(489.5, 27.5, 60, 38)
    body += lettering("AMPS", 71.5, 70, 0.95, 1.6, LEGEND, 0.95, 0.9, "middle")
    body += lettering("BANK", 519.5, 70, 0.95, 1.6, LEGEND, 0.95, 0.9, "middle")
    body += lettering("VELMORA", 519.5, 10.5, 0.9, 1.7, LEGEND, 0.9, 0.55, "middle")
    for cx, cy in ((9, 9), (w - 9, 9), (w - 9, h - 9), (75, 89)):
        if (cx, cy) == (75, 89):
            continue
        body += screw(cx, cy)
    return svg(w, h, body, "".join(defs))


def separator():
    w, h = 590, 10
    rng = random.Random(7)
    defs = [linear("metal", [(0, "#1e2125", 1), (1, "#2a2e34", 1)])]
    body = f'<rect x="0" y="0" width="{w}" height="{h}" fill="url(#metal)"/>\n'
    body += brushed_streaks(rng, 0, 1, w, h - 2, 18)
    body += f'<line x1="6" y1="4.6" x2="{w - 6}" y2="4.6" stroke="#050506" stroke-width="1"/>\n'
    body += (f'<line x1="6" y1="5.7" x2="{w - 6}" y2="5.7" stroke="#5b616a" stroke-opacity="0.7" '
             f'stroke-width="0.8"/>\n')
    return svg(w, h, body, "".join(defs))


# --- application icon -----------------------------------------------------------

def icon_large():
    defs = [
        linear("body", [(0, "#4a5058", 1), (0.5, "#30343a", 1), (1, "#1b1e22", 1)]),
        linear("socket", [(0, "#e9ecef", 1), (1, "#aab0b8", 1)]),
        radial("halo", [(0, "#33ff66", 0.8), (0.5, "#33ff66", 0.3), (1, "#33ff66", 0)]),
        radial("lamp", [(0, "#eaffef", 1), (0.5, "#3dff6e", 1), (1, "#14a83a", 1)], fx=0.42, fy=0.38),
    ]
    body = ('<path d="M24,150 C-4,170 6,214 34,226 C58,236 78,228 92,240" fill="none" '
            'stroke="#1b1e22" stroke-width="12" stroke-linecap="round"/>\n')
    body += ('<path d="M24,150 C-4,170 6,214 34,226 C58,236 78,228 92,240" fill="none" '
             'stroke="#4d535b" stroke-width="4" stroke-linecap="round"/>\n')
    body += '<rect x="12" y="84" width="236" height="104" rx="22" fill="#000000" fill-opacity="0.35"/>\n'
    body += ('<rect x="8" y="76" width="236" height="104" rx="22" fill="url(#body)" '
             'stroke="#0c0d0f" stroke-width="3"/>\n')
    body += ('<path d="M12,150 L12,98 Q12,80 30,80 L222,80" fill="none" stroke="#8a919a" '
             'stroke-width="3" stroke-opacity="0.8"/>\n')
    for cx in (104, 158, 212):
        body += f'<circle cx="{cx}" cy="128" r="25" fill="url(#socket)" stroke="#0c0d0f" stroke-width="3"/>\n'
        body += f'<rect x="{cx - 11}" y="116" width="6" height="20" rx="2" fill="#1b1e22"/>\n'
        body += f'<rect x="{cx + 5}" y="116" width="6" height="20" rx="2" fill="#1b1e22"/>\n'
        body += f'<circle cx="{cx}" cy="144" r="3.5" fill="#1b1e22"/>\n'
    body += '<circle cx="46" cy="128" r="30" fill="url(#halo)"/>\n'
    body += '<circle cx="46" cy="128" r="15" fill="#0b0c0e" stroke="#8a919a" stroke-width="3"/>\n'
    body += '<circle cx="46" cy="128" r="11" fill="url(#lamp)"/>\n'
    body += '<ellipse cx="42" cy="123" rx="5" ry="3" fill="#ffffff" fill-opacity="0.6"/>\n'
    return svg(256, 256, body, "".join(defs))


def icon_small():
    # Drawn on the 16-pixel grid so that 16 and 32 pixels stay sharp.
    defs = [linear("body", [(0, "#4f555e", 1), (1, "#1f2226", 1)])]
    body = '<rect x="0.5" y="3.5" width="15" height="9" rx="2" fill="url(#body)" stroke="#0c0d0f"/>\n'
    body += '<circle cx="3.2" cy="8" r="2.4" fill="#33ff66" fill-opacity="0.35"/>\n'
    body += '<circle cx="3.2" cy="8" r="1.6" fill="#4dff7c"/>\n'
    for cx in (7.9, 12.3):
        body += f'<circle cx="{cx}" cy="8" r="2.1" fill="#d9dde2"/>\n'
        body += f'<rect x="{fmt(cx - 1.1)}" y="6.9" width="0.8" height="2.2" fill="#1b1e22"/>\n'
        body += f'<rect x="{fmt(cx + 0.3)}" y="6.9" width="0.8" height="2.2" fill="#1b1e22"/>\n'
    return svg(16, 16, body, "".join(defs))


def main():
    os.makedirs(SVG_DIR, exist_ok=True)
    files = {}
    for i in range(4):
        files[f"led_{i}.svg"] = led(i, wide=False)
        files[f"led_wide_{i}.svg"] = led(i, wide=True)
    for d in range(10):
        files[f"digit_red_{d}.svg"] = digit(d, False, RED, 27)
        files[f"digit_red_point_{d}.svg"] = digit(d, True, RED, 27)
        files[f"digit_green_{d}.svg"] = digit(d, False, GREEN, 29)
    files["button_pressed.svg"] = port_button(True)
    files["button_released.svg"] = port_button(False)
    files["menu_button_released.svg"] = menu_button(False)
    files["menu_button_pressed.svg"] = menu_button(True)
    files["panel.svg"] = panel()
    files["separator.svg"] = separator()
    files["icon_large.svg"] = icon_large()
    files["icon_small.svg"] = icon_small()
    for name, text in files.items():
        with open(os.path.join(SVG_DIR, name), "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    qrc = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '<qresource prefix="/velmora">']
    qrc += [f'    <file>svg/{name}</file>' for name in sorted(files)]
    qrc += ['</qresource>', '</RCC>', '']
    with open(os.path.join(ASSETS, "assets.qrc"), "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(qrc))


if __name__ == "__main__":
    main()
