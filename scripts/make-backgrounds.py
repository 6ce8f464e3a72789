#!/usr/bin/python3
"""Makes the two background pictures in app/data/ with ImageMagick.

bg_fm.jpg: the cover, plain paper tone, 420 x 300 pixels.
bg_zw.jpg: a body page of vertical manuscript paper: paper tone with the
red column rules of the typesetter's grid (15 lines of 12 cells with the
page-number strip on the right). A page stretches its background over the
printable area (138.5 x 95 mm with the template's 5 mm margins), so the
picture is drawn at two pixels per report unit over that area and the
rules fall on the cell edges. Keep the geometry below in step with the
print command (app/core/print_command.cpp). It also draws the program's
icon, velmora.png: a red seal holding "道". The results are committed; the
build never runs this script.

    scripts/make-backgrounds.py         (needs imagemagick)
"""
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "app", "data")

MM = 3.77953                        # report units per millimetre
WIDTH = (148.5 - 5 - 5) * MM        # printable area in units
HEIGHT = (105 - 5 - 5) * MM
LINES, CHARS = 15, 12
CELL = min(HEIGHT / CHARS, WIDTH / LINES)
X0 = WIDTH - 15 * MM                # right edge of the grid
SCALE = 2                           # pixels per unit
PAPER = "#f3ead6"
RED = "#c8322d"


def px(units):
    return round(units * SCALE, 1)


def main():
    subprocess.run(["convert", "-size", "420x300", "xc:" + PAPER, "-strip",
                    "-quality", "90", os.path.join(DATA, "bg_fm.jpg")], check=True)

    w, h = round(WIDTH * SCALE), round(HEIGHT * SCALE)
    left = X0 - LINES * CELL
    draw = []
    for k in range(LINES + 1):
        x = px(X0 - k * CELL)
        draw.append("line %s,0 %s,%s" % (x, x, h - 1))
    for y in (0, h - 1):
        draw.append("line %s,%s %s,%s" % (px(left), y, px(X0), y))
    # The outer frame a little heavier, as on printed manuscript paper.
    frame = "rectangle %s,1 %s,%s" % (px(left) - 3, px(X0) + 3, h - 2)
    subprocess.run(["convert", "-size", "%dx%d" % (w, h), "xc:" + PAPER,
                    "-fill", "none", "-stroke", RED, "-strokewidth", "1.5",
                    "-draw", " ".join(draw),
                    "-strokewidth", "3", "-draw", frame,
                    "-strip", "-quality", "90", os.path.join(DATA, "bg_zw.jpg")], check=True)
    subprocess.run(["convert", "-size", "256x256", "xc:none", "-fill", RED,
                    "-draw", "roundrectangle 8,8 247,247 28,28",
                    "-font", "/usr/share/fonts/truetype/arphic/ukai.ttc", "-pointsize", "190",
                    "-fill", PAPER, "-gravity", "center", "-annotate", "+0+6", "道",
                    "-strip", os.path.join(DATA, "velmora.png")], check=True)
    print("cell %.4f units, grid %.4f..%.4f, picture %dx%d" % (CELL, left, X0, w, h))


if __name__ == "__main__":
    main()
