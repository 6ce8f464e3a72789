#!/usr/bin/python3
"""Makes app/data/KaitiVelmora.otf, the program's private font.

The font is a subset of AR PL UKai (Debian's fonts-arphic-ukai, Arphic
Public Licence) renamed to the family "楷体-Velmora". It holds every
character of the built-in body text and title, printable ASCII, and the
rare characters the body text writes as single-byte signs: each of those
code points maps to the rare character's glyph, and that glyph is named
after the real character ("uni5155"), so whoever extracts text from the
font can give the real character back. The result is committed; the build
never runs this script.

    scripts/make-private-font.py        (needs python3-fonttools)
"""
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "app", "data")
SOURCE = "/usr/share/fonts/truetype/arphic/ukai.ttc"
FAMILY = "楷体-Velmora"

# Single-byte slot -> the rare character it stands for. app/core/fixed_data.cpp
# holds the same table.
SLOTS = {"\\": "兕", "]": "埏", "^": "毂", "_": "牝", "`": "籥"}


def main():
    text = ""
    for name in ("body.txt", "title.txt"):
        with open(os.path.join(DATA, name), encoding="utf-8") as f:
            text += f.read()
    wanted = {ord(c) for c in text if ord(c) > 0x7F}
    wanted |= {ord(c) for c in SLOTS.values()}
    wanted |= {c for c in range(0x20, 0x7F) if chr(c) not in SLOTS}

    font = TTFont(SOURCE, fontNumber=0, lazy=False)
    options = subset.Options()
    options.glyph_names = True
    options.hinting = False
    options.layout_features = []
    options.name_IDs = []
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=sorted(wanted))
    subsetter.subset(font)

    for table in font["cmap"].tables:
        if not table.isUnicode():
            continue
        for slot, real in SLOTS.items():
            table.cmap[ord(slot)] = table.cmap[ord(real)]
    # Glyph names from the real character, whatever the source called them.
    cmap = font.getBestCmap()
    renames = {cmap[ord(real)]: "uni%04X" % ord(real) for real in SLOTS.values()}
    order = [renames.get(g, g) for g in font.getGlyphOrder()]
    if renames:
        for table in font["cmap"].tables:
            table.cmap = {u: renames.get(g, g) for u, g in table.cmap.items()}
        glyf = font["glyf"]
        glyf.glyphs = {renames.get(g, g): v for g, v in glyf.glyphs.items()}
        hmtx = font["hmtx"]
        hmtx.metrics = {renames.get(g, g): v for g, v in hmtx.metrics.items()}
        font.setGlyphOrder(order)
        glyf.glyphOrder = order
    font["post"].formatType = 2.0
    font["post"].extraNames = []
    font["post"].mapping = {}

    name = font["name"]
    name.names = []
    for lang in (0x409, 0x804):
        name.setName(FAMILY, 1, 3, 1, lang)
        name.setName("Regular", 2, 3, 1, lang)
        name.setName(FAMILY + " Regular", 4, 3, 1, lang)
        name.setName("Version 1.0 (subset of AR PL UKai 0.2.20080216)", 5, 3, 1, lang)
    name.setName("KaitiVelmora-Regular", 6, 3, 1, 0x409)
    name.setName("Subset of AR PL UKai, Copyright 1999 Arphic Technology Co., Ltd.; "
                 "Arphic Public License, see KaitiVelmora.LICENSE", 0, 3, 1, 0x409)
    if "OS/2" in font:
        font["OS/2"].fsType = 0

    out = os.path.join(DATA, "KaitiVelmora.otf")
    font.save(out, reorderTables=True)
    print("%s: %d glyphs, %d bytes" % (out, len(font.getGlyphOrder()), os.path.getsize(out)))


if __name__ == "__main__":
    sys.exit(main())
