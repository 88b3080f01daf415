#!/usr/bin/env python3
"""Writes the program's artwork into qml/win/img: the icons as SVG, the splash
picture and the program icon as PNG, the Windows icon as ICO. Run it again
after changing a drawing here; the files it writes are kept in the sources."""

import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "qml", "win", "img")

WHITE = "#ffffff"
DARK = "#2c4a4d"
TEAL = "#2a8c8f"
RED = "#d8292f"

def svg(body, size=48, view=48):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {view} {view}">{body}</svg>\n')

def stroke(color, width=3):
    return f'fill="none" stroke="{color}" stroke-width="{width}" stroke-linecap="round" stroke-linejoin="round"'

ECG_PATH = "M4 26 H14 L17 20 L20 26 L23 8 L27 40 L30 26 H34 L36 22 L38 26 H44"

def icons():
    i = {}
    # Title bar: white on the dark bar.
    i["Settings.svg"] = svg(
        f'<circle cx="24" cy="24" r="7" {stroke(WHITE)}/>'
        + "".join(f'<line x1="{24 + 11 * math.cos(a):.1f}" y1="{24 + 11 * math.sin(a):.1f}" '
                  f'x2="{24 + 17 * math.cos(a):.1f}" y2="{24 + 17 * math.sin(a):.1f}" {stroke(WHITE, 4)}/>'
                  for a in [k * math.pi / 4 for k in range(8)])
        + f'<circle cx="24" cy="24" r="12" {stroke(WHITE)}/>')
    i["NewEcg.svg"] = svg(f'<rect x="3" y="7" width="42" height="34" rx="4" {stroke(WHITE)}/>'
                          f'<path d="{ECG_PATH}" {stroke(WHITE, 2.5)}/>')
    i["Stop.svg"] = svg(f'<rect x="3" y="7" width="42" height="34" rx="4" {stroke(WHITE)}/>'
                        f'<rect x="17" y="17" width="14" height="14" rx="2" fill="{WHITE}"/>')
    i["ToolsBlack.svg"] = svg(f'<path d="M10 38 L26 22" {stroke(WHITE, 5)}/>'
                              f'<circle cx="31" cy="17" r="8" {stroke(WHITE, 3)}/>'
                              f'<path d="M31 9 V17 H39" {stroke(WHITE, 3)}/>')
    i["SavedEcgs.svg"] = svg(f'<path d="M6 12 H20 L24 16 H42 V40 H6 Z" {stroke(WHITE)}/>'
                             f'<path d="M10 30 H17 L19 26 L22 34 L25 22 L28 30 H38" {stroke(WHITE, 2)}/>')
    i["Import.svg"] = svg(f'<path d="M24 6 V30 M15 21 L24 30 L33 21" {stroke(WHITE)}/>'
                          f'<path d="M8 30 V40 H40 V30" {stroke(WHITE)}/>')
    i["Export.svg"] = svg(f'<path d="M24 30 V6 M15 15 L24 6 L33 15" {stroke(WHITE)}/>'
                          f'<path d="M8 30 V40 H40 V30" {stroke(WHITE)}/>')
    i["Menu.svg"] = svg(f'<path d="M8 14 H40 M8 24 H40 M8 34 H40" {stroke(WHITE, 4)}/>')
    i["Cancel.svg"] = svg(f'<circle cx="24" cy="24" r="18" {stroke(WHITE)}/>'
                          f'<path d="M16 16 L32 32 M32 16 L16 32" {stroke(WHITE)}/>')
    i["BatteryLow.svg"] = svg(f'<rect x="4" y="14" width="36" height="20" rx="3" {stroke(WHITE)}/>'
                              f'<rect x="40" y="20" width="4" height="8" fill="{WHITE}"/>'
                              f'<rect x="8" y="18" width="7" height="12" fill="{WHITE}"/>')
    i["Bluetooth.svg"] = svg(f'<path d="M14 15 L34 33 L24 42 V6 L34 15 L14 33" {stroke(TEAL, 3.5)}/>')
    i["Trash.svg"] = svg(f'<path d="M10 12 H38 M18 12 V7 H30 V12 M13 12 L15 42 H33 L35 12" {stroke(DARK)}/>')
    # Viewer controls: dark on the light top area.
    def arrows(up, label):
        tri = "M30 20 L36 12 L42 20 Z" if up else "M30 12 L36 20 L42 12 Z"
        return svg(label + f'<path d="{tri}" fill="{TEAL}"/>')
    gain = f'<path d="M4 36 H10 L13 30 L16 36 L19 10 L23 44 L26 36 H30" {stroke(DARK, 2.5)}/>'
    speed = f'<path d="M4 30 H8 L10 26 L12 30 L14 14 L17 40 L19 30 H26" {stroke(DARK, 2.5)}/>' \
            f'<path d="M8 44 H26 M22 41 L26 44 L22 47" {stroke(DARK, 2)}/>'
    i["increase-gain.svg"] = arrows(True, gain)
    i["decrease-gain.svg"] = arrows(False, gain)
    i["increase-paperspeed.svg"] = arrows(True, speed)
    i["decrease-paperspeed.svg"] = arrows(False, speed)
    def leads(n):
        gap = 40 / (n + 1)
        body = "".join(
            f'<path d="M4 {y:.1f} H16 L19 {y - min(gap * 0.8, 9):.1f} L22 {y + min(gap * 0.4, 4):.1f} L25 {y:.1f} H44" {stroke(DARK, 2 if n < 6 else 1.6)}/>'
            for y in [4 + gap * (k + 1) for k in range(n)])
        return svg(body)
    i["1-lead.svg"] = leads(1)
    i["3-leads.svg"] = leads(3)
    i["6-leads.svg"] = leads(6)
    i["HeartRate.svg"] = svg('<path d="M24 41 C10 31 4 24 4 16 C4 9 9 5 15 5 C19 5 22 8 24 11 '
                             'C26 8 29 5 33 5 C39 5 44 9 44 16 C44 24 38 31 24 41 Z" fill="' + RED + '"/>'
                             f'<path d="M8 22 H17 L20 16 L24 28 L27 20 H40" {stroke(WHITE, 2.5)}/>')
    i["PageBack.svg"] = svg(f'<path d="M30 10 L16 24 L30 38" {stroke(DARK, 4)}/>')
    i["PageForward.svg"] = svg(f'<path d="M18 10 L32 24 L18 38" {stroke(DARK, 4)}/>')
    i["Uploaded-PACS.svg"] = svg(f'<ellipse cx="24" cy="12" rx="16" ry="6" {stroke(TEAL)}/>'
                                 f'<path d="M8 12 V36 C8 40 40 40 40 36 V12" {stroke(TEAL)}/>'
                                 f'<path d="M16 26 L22 32 L33 20" {stroke(TEAL, 3.5)}/>')
    # Bottom bar: action button content on white.
    i["Record.svg"] = svg(f'<circle cx="24" cy="24" r="16" fill="{RED}"/>')
    i["Assign.svg"] = svg(f'<circle cx="20" cy="16" r="8" {stroke(DARK)}/>'
                          f'<path d="M6 40 C6 30 12 26 20 26 C24 26 27 27 29 29" {stroke(DARK)}/>'
                          f'<path d="M28 36 L33 41 L43 29" {stroke(TEAL, 4)}/>')
    cloud = 'M14 34 C7 34 5 27 10 24 C9 17 17 13 22 17 C25 10 37 11 37 20 C43 20 45 27 41 31 C40 33 38 34 36 34 Z'
    i["TelemedicineActive.svg"] = svg(f'<path d="{cloud}" fill="{TEAL}"/>'
                                      f'<path d="M24 31 V21 M19 25 L24 20 L29 25" {stroke(WHITE, 3)}/>')
    i["TelemedicineInactive.svg"] = svg(f'<path d="{cloud}" fill="#b8c1c2"/>'
                                        f'<path d="M24 31 V21 M19 25 L24 20 L29 25" {stroke(WHITE, 3)}/>')
    # Species: simple heads.
    dog = ('<circle cx="40" cy="42" r="22" fill="#e9c89b"/>'
           '<ellipse cx="19" cy="36" rx="8" ry="16" fill="#8a5a2b" transform="rotate(20 19 36)"/>'
           '<ellipse cx="61" cy="36" rx="8" ry="16" fill="#8a5a2b" transform="rotate(-20 61 36)"/>'
           '<circle cx="32" cy="38" r="3" fill="#222"/><circle cx="48" cy="38" r="3" fill="#222"/>'
           '<ellipse cx="40" cy="50" rx="6" ry="4" fill="#222"/>')
    cat = ('<path d="M18 30 L20 8 L34 22 Z" fill="#9aa0a6"/><path d="M62 30 L60 8 L46 22 Z" fill="#9aa0a6"/>'
           '<circle cx="40" cy="42" r="22" fill="#b7bcc1"/>'
           '<ellipse cx="31" cy="40" rx="3" ry="5" fill="#2d6a2d"/><ellipse cx="49" cy="40" rx="3" ry="5" fill="#2d6a2d"/>'
           '<path d="M37 49 L43 49 L40 53 Z" fill="#d88"/>'
           '<path d="M22 50 H32 M22 54 H32 M48 50 H58 M48 54 H58" stroke="#555" stroke-width="1.5"/>')
    other = ('<ellipse cx="40" cy="46" rx="20" ry="16" fill="#c8a2c8"/>'
             '<circle cx="24" cy="24" r="7" fill="#c8a2c8"/><circle cx="37" cy="17" r="7" fill="#c8a2c8"/>'
             '<circle cx="50" cy="19" r="7" fill="#c8a2c8"/><circle cx="60" cy="30" r="7" fill="#c8a2c8"/>')
    i["CanineButton.svg"] = svg(dog, 80, 80)
    i["FelineButton.svg"] = svg(cat, 80, 80)
    i["OtherAnimalButton.svg"] = svg(other, 80, 80)
    return i

# --- PNG --------------------------------------------------------------------

def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))

def ecg_wave(t):
    """One beat of a stylised ECG, t in 0..1."""
    p = 0.12 * math.exp(-((t - 0.18) / 0.035) ** 2)
    q = -0.12 * math.exp(-((t - 0.34) / 0.012) ** 2)
    r = 1.0 * math.exp(-((t - 0.37) / 0.014) ** 2)
    s = -0.22 * math.exp(-((t - 0.40) / 0.013) ** 2)
    tw = 0.25 * math.exp(-((t - 0.62) / 0.06) ** 2)
    return p + q + r + s + tw

def splash(width=1280, height=800):
    beat = 260.0
    base = height * 0.62
    amp = 150.0
    trace = [base - amp * ecg_wave(((x + 60) % beat) / beat) for x in range(width + 1)]
    def pixel(x, y):
        # Dark teal gradient.
        f = y / height
        r, g, b = int(16 + 20 * f), int(56 + 30 * f), int(59 + 30 * f)
        # Faint millimetre grid.
        if x % 40 == 0 or y % 40 == 0:
            r, g, b = r + 14, g + 18, b + 18
        # The trace, a few pixels wide, glowing.
        y0, y1 = trace[x], trace[min(x + 1, width)]
        lo, hi = min(y0, y1) - 2.5, max(y0, y1) + 2.5
        if lo <= y <= hi:
            return bytes((120, 230, 220, 255))
        d = min(abs(y - lo), abs(y - hi))
        if d < 9:
            k = (9 - d) / 9 * 0.35
            r, g, b = int(r + (120 - r) * k), int(g + (230 - g) * k), int(b + (220 - b) * k)
        return bytes((min(r, 255), min(g, 255), min(b, 255), 255))
    return png(width, height, pixel)

def app_icon(size=128):
    c = size / 2
    def pixel(x, y):
        dx, dy = x - c + 0.5, y - c + 0.5
        d = math.hypot(dx, dy)
        if d > c - 1:
            return bytes((0, 0, 0, 0))
        t = x / size
        wave = c + 8 - 0.34 * size * ecg_wave(((t * 1.3) + 0.05) % 1.0)
        if abs(y - wave) < size / 36 and 0.12 * size < x < 0.88 * size:
            return bytes((255, 255, 255, 255))
        return bytes((42, 140, 143, 255)) if d < c - 6 else bytes((44, 74, 77, 255))
    return png(size, size, pixel)

def ico(png_bytes, size):
    # One image, stored as PNG (allowed since Windows Vista).
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png_bytes), 22)
    return header + entry + png_bytes

def main():
    os.makedirs(OUT, exist_ok=True)
    for name, text in icons().items():
        with open(os.path.join(OUT, name), "w") as f:
            f.write(text)
    with open(os.path.join(OUT, "Splash-Screen.png"), "wb") as f:
        f.write(splash())
    icon = app_icon()
    with open(os.path.join(OUT, "yarloMalvorantIcon.png"), "wb") as f:
        f.write(icon)
    with open(os.path.join(OUT, "Malvorant.ico"), "wb") as f:
        f.write(ico(icon, 128))

if __name__ == "__main__":
    main()
