#!/usr/bin/env python3
"""Draws the tray icons and the banner of the controller.

Writes SVG sources next to this script and renders the PNGs that the .qrc
compiles in (resources/*.png). Needs ImageMagick's `convert`. Re-run after
changing a colour or a shape and commit both the SVGs and the PNGs:

    python3 resources/art/make_art.py
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

NAVY_TOP, NAVY_BOTTOM = "#2f5f9e", "#173660"

# state: (disc top, disc bottom, glyph, desaturated badge)
STATES = {
    "Uninstalled": ("#b9bec6", "#868c96", "cross", True),
    "Stopped": ("#f0625a", "#c0282a", "square", False),
    "Starting": ("#ffce4d", "#e59a00", "dots", False),
    "Running": ("#5fd36a", "#23913a", "play", False),
}


def glyph(kind, cx, cy, r):
    if kind == "play":
        return (f'<path d="M {cx - r*0.32:.2f} {cy - r*0.45:.2f} L {cx + r*0.5:.2f} {cy:.2f} '
                f'L {cx - r*0.32:.2f} {cy + r*0.45:.2f} Z" fill="#ffffff"/>')
    if kind == "square":
        s = r * 0.78
        return (f'<rect x="{cx - s/2:.2f}" y="{cy - s/2:.2f}" width="{s:.2f}" height="{s:.2f}" '
                f'rx="{s*0.12:.2f}" fill="#ffffff"/>')
    if kind == "dots":
        d = r * 0.17
        return "".join(f'<circle cx="{cx + dx*r*0.42:.2f}" cy="{cy:.2f}" r="{d:.2f}" fill="#5a3c00"/>'
                       for dx in (-1, 0, 1))
    if kind == "cross":
        a = r * 0.36
        w = r * 0.24
        return (f'<path d="M {cx-a:.2f} {cy-a:.2f} L {cx+a:.2f} {cy+a:.2f} M {cx+a:.2f} {cy-a:.2f} '
                f'L {cx-a:.2f} {cy+a:.2f}" stroke="#ffffff" stroke-width="{w:.2f}" '
                f'stroke-linecap="round"/>')
    raise ValueError(kind)


def icon_svg(state):
    top, bottom, kind, grey = STATES[state]
    base_top, base_bottom = ("#8d949e", "#5d646e") if grey else (NAVY_TOP, NAVY_BOTTOM)
    # 256 units; the emblem fills the top-left, the state disc the bottom-right.
    cx, cy, r = 178, 178, 74
    return f'''<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <rect x="8" y="8" width="200" height="200" rx="44" fill="{base_bottom}"/>
  <rect x="8" y="8" width="200" height="120" rx="44" fill="{base_top}"/>
  <rect x="8" y="70" width="200" height="58" fill="{base_top}"/>
  <rect x="8" y="8" width="200" height="200" rx="44" fill="none" stroke="#0b1f3a" stroke-opacity="0.35" stroke-width="6"/>
  <path d="M 42 48 L 82 48 L 108 130 L 134 48 L 174 48 L 128 172 L 88 172 Z" fill="#ffffff"/>
  <circle cx="{cx}" cy="{cy}" r="{r + 12}" fill="#ffffff"/>
  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{bottom}"/>
  <circle cx="{cx}" cy="{cy - r*0.12:.1f}" r="{r*0.86:.1f}" fill="{top}"/>
  {glyph(kind, cx, cy, r)}
</svg>
'''


def emblem_svg(size):
    return f'''<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" viewBox="0 0 216 216">
  <rect x="8" y="8" width="200" height="200" rx="44" fill="#ffffff"/>
  <path d="M 42 48 L 82 48 L 108 130 L 134 48 L 174 48 L 128 172 L 88 172 Z" fill="{NAVY_BOTTOM}"/>
</svg>
'''


def banner_svg(w, h):
    return f'''<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">
  <rect x="0" y="0" width="{w}" height="{h}" fill="{NAVY_BOTTOM}"/>
  <rect x="0" y="0" width="{w}" height="{h*0.55:.0f}" fill="#1b3d6b"/>
  <path d="M {w*0.62:.0f} {h} L {w*0.80:.0f} 0 L {w} 0 L {w} {h} Z" fill="#1d4274" stroke="none"/>
  <path d="M {w*0.74:.0f} {h} L {w*0.88:.0f} 0 L {w} 0 L {w} {h} Z" fill="#234c84" stroke="none"/>
  <rect x="0" y="{h-4}" width="{w}" height="4" fill="#5fd36a"/>
</svg>
'''


def run(*args):
    subprocess.run([CONVERT, *args], check=True)


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    for state in STATES:
        svg = os.path.join(HERE, f"VXS_{state}.svg")
        write(svg, icon_svg(state))
        run("-background", "none", "-density", "96", svg, "-filter", "Lanczos", "-resize", "32x32",
            "-strip", "PNG32:" + os.path.join(OUT, f"VXS_{state}.png"))

    # Banner: background, emblem and the word mark set in the bundled fonts.
    w, h = 480, 96
    bg = os.path.join(HERE, "banner.svg")
    write(bg, banner_svg(w, h))
    em = os.path.join(HERE, "emblem.svg")
    write(em, emblem_svg(256))
    bold = os.path.join(OUT, "arialbd.ttf")
    regular = os.path.join(OUT, "arial.ttf")
    run("-background", "none", bg,
        "(", "-background", "none", "-density", "96", em, "-resize", "60x60", ")",
        "-geometry", "+20+16", "-composite",
        "-fill", "#ffffff", "-font", bold, "-pointsize", "34", "-annotate", "+94+50", "Veltrix",
        "-fill", "#c9d8ee", "-font", regular, "-pointsize", "16", "-annotate", "+96+74",
        "Server  \u00b7  Database Manager",
        "-strip", "PNG32:" + os.path.join(OUT, "VeltrixLogo.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
