#!/usr/bin/env python3
"""Writes the large inputs that the memory figures of the XML layer are taken
with (too large to keep in the repository):

  empty_items.xml       50 MB of "<i/>" under one root element (xmlcat)
  one_page_items.op3    a prepared report whose one page holds 2,000,000
                        stored items of one source memo (op3dump)

Usage: bench/make_large_inputs.py DIR
Then, for example:
  /usr/bin/time -v build/tools/xmlcat DIR/empty_items.xml > /dev/null
  /usr/bin/time -v build/tools/op3dump DIR/one_page_items.op3 > /dev/null
"""
import os
import sys


def write_xml(path, megabytes=50):
    item = b"<i/>"
    count = megabytes * 1_000_000 // len(item)
    with open(path, "wb") as out:
        out.write(b'<?xml version="1.0" encoding="utf-8"?><r>')
        chunk = item * 100_000
        for _ in range(count // 100_000):
            out.write(chunk)
        out.write(b"</r>")


def write_op3(path, items=2_000_000):
    with open(path, "wb") as out:
        out.write(b'<?xml version="1.0" encoding="utf-8"?><preparedreport><previewpages><page0>')
        chunk = b'<m1 l="10" t="20"/>' * 100_000
        for _ in range(items // 100_000):
            out.write(chunk)
        out.write(
            b"</page0></previewpages>"
            b'<report><TovxReport DotMatrixReport="False" PreviewOptions.OutlineVisible="False"'
            b' PreviewOptions.OutlineWidth="120" ReportOptions.Name=""/></report>'
            b'<sourcepages><TovxReportPage Name="Page1" PaperWidth="148.5" PaperHeight="105"'
            b' PaperSize="256"><TovxMemoView Name="Memo1" Width="30" Height="30" Text="a"/>'
            b"</TovxReportPage></sourcepages>"
            b'<dictionary><m1 name="Page0.Memo1"/></dictionary></preparedreport>'
        )


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    write_xml(os.path.join(directory, "empty_items.xml"))
    write_op3(os.path.join(directory, "one_page_items.op3"))


if __name__ == "__main__":
    main()
