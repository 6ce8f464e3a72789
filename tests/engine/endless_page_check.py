#!/usr/bin/env python3
"""An endless page is as high as what it holds, wherever it goes.

Usage: endless_page_check.py PREPARE OP3DUMP TEMPLATE WORKDIR

The 25 rows of 100 units under a 100-unit page header stay on one page,
the 100-unit page footer follows them at 2600, and the page is stored at
that size: 10 mm margins around 2700 units. The dump, the saved .op3 read
back and the PDF all say so.
"""
import json
import os
import re
import subprocess
import sys

UNITS_PER_MM = 3.77953
HEIGHT_MM = 10 + 2700 / UNITS_PER_MM + 10
WIDTH_MM = 210


def fail(message):
    print(message)
    sys.exit(1)


def main():
    prepare, op3dump, template, workdir = sys.argv[1:5]
    op3 = os.path.join(workdir, "endless.op3")
    pdf = os.path.join(workdir, "endless.pdf")
    out = subprocess.run([prepare, template, "--dump", "--op3", op3, "--pdf", pdf],
                         check=True, capture_output=True).stdout
    pages = json.loads(out)["pages"]
    if len(pages) != 1:
        fail("pages: %d" % len(pages))
    page = pages[0]
    rows = sum(o["class"] == "TovxMasterData" for o in page["objects"])
    footer = [o["top"] for o in page["objects"] if o["class"] == "TovxPageFooter"]
    print("rows", rows, "footer", footer, "size", page["paperWidth"], page["paperHeight"])
    if rows != 25 or len(footer) != 1 or abs(footer[0] - 2600) > 0.01:
        fail("rows or footer misplaced")
    if abs(page["paperHeight"] - HEIGHT_MM) > 0.01 or page["paperWidth"] != WIDTH_MM:
        fail("dumped size")

    dump = subprocess.run([op3dump, op3], check=True, capture_output=True, text=True).stdout
    sizes = re.findall(r"^page 0 \S+ (\d+)x(\d+)$", dump, re.M)
    expected = (round(WIDTH_MM * UNITS_PER_MM), round(HEIGHT_MM * UNITS_PER_MM))
    print("op3", sizes, "expected", expected)
    if [tuple(map(int, s)) for s in sizes] != [expected]:
        fail("op3 size")

    info = subprocess.run(["pdfinfo", pdf], check=True, capture_output=True, text=True).stdout
    match = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", info)
    if not match:
        fail("no page size in pdfinfo output")
    points = (float(match.group(1)), float(match.group(2)))
    print("pdf", points)
    if abs(points[0] - WIDTH_MM / 25.4 * 72) > 1 or abs(points[1] - HEIGHT_MM / 25.4 * 72) > 1:
        fail("pdf size")


if __name__ == "__main__":
    main()
