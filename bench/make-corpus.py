#!/usr/bin/env python3
"""Writes N Word 97 documents of several kinds and sizes into OUT, for
pagegrab-bench: plain text, tables, pictures, headers and footers, Chinese
text, and mixes of them, from one page to about thirty. The office itself
writes the .doc files (one process for all of them), from flat documents
made here; the same N and seed give the same documents.

usage: bench/make-corpus.py OUT [N] [SEED]     (N 300, SEED 1 by default; OUT outside the checkout)
"""

import base64
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SOFFICE = "/usr/lib/libreoffice/program/soffice"

LATIN = ("the office lays out every page of a document as its author saw it with fonts tables and "
         "pictures in their places and each line breaks where the paragraph's width allows").split()
CHINESE = "文档的每一页都按照作者所见的样子排版表格图片和字体都在原来的位置上每行在段落宽度允许的地方换行"

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:font-face-decls>
 <style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'"/>
 <style:font-face style:name="宋体" svg:font-family="宋体"/>
</office:font-face-decls>
<office:styles>
 <style:style style:name="Standard" style:family="paragraph">
  <style:text-properties style:font-name="Liberation Serif" fo:font-size="11pt"
   style:font-name-asian="宋体" style:font-size-asian="11pt"/>
 </style:style>
</office:styles>
<office:automatic-styles>
 <style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm"
  fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2.5cm" fo:margin-right="2.5cm"/>
  <style:header-style/><style:footer-style/></style:page-layout>
 <style:style style:name="fr1" style:family="graphic"/>
</office:automatic-styles>
<office:master-styles><style:master-page style:name="Standard" style:page-layout-name="pm1">{headers}</style:master-page></office:master-styles>
<office:body><office:text>
"""
TAIL = "</office:text></office:body></office:document>\n"


def png(width, height, rng):
    """A picture of colour bands, as a PNG."""
    r, g, b = rng.randrange(256), rng.randrange(256), rng.randrange(256)
    rows = b"".join(b"\0" + bytes(value for x in range(width) for value in ((r + x) % 256, (g + y) % 256,
                                                                         (b + x * y) % 256))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def paragraph(rng, chinese):
    if chinese:
        text = "".join(rng.choice(CHINESE) for _ in range(rng.randrange(80, 260)))
    else:
        text = " ".join(rng.choice(LATIN) for _ in range(rng.randrange(40, 140))).capitalize() + "."
    return "<text:p text:style-name=\"Standard\">" + escape(text) + "</text:p>\n"


def table(rng, chinese):
    columns, rows = rng.randrange(2, 6), rng.randrange(3, 15)
    cells = []
    for _ in range(rows):
        row = "".join("<table:table-cell office:value-type=\"string\"><text:p>"
                      + escape("".join(rng.choice(CHINESE) for _ in range(rng.randrange(2, 12))) if chinese
                               else " ".join(rng.choice(LATIN) for _ in range(rng.randrange(1, 6))))
                      + "</text:p></table:table-cell>" for _ in range(columns))
        cells.append("<table:table-row>" + row + "</table:table-row>")
    return ("<table:table><table:table-column table:number-columns-repeated=\"%d\"/>" % columns + "".join(cells)
            + "</table:table>\n")


def picture(rng):
    width, height = rng.randrange(40, 200), rng.randrange(30, 150)
    data = base64.b64encode(png(width, height, rng)).decode()
    return ("<text:p><draw:frame draw:style-name=\"fr1\" text:anchor-type=\"as-char\" svg:width=\"%.1fcm\" "
            "svg:height=\"%.1fcm\"><draw:image><office:binary-data>%s</office:binary-data></draw:image>"
            "</draw:frame></text:p>\n" % (width / 20, height / 20, data))


def headers(rng, chinese):
    title = "页眉 文档" if chinese else "Running head"
    return ("<style:header><text:p>" + title + " " + str(rng.randrange(1000)) + "</text:p></style:header>"
            "<style:footer><text:p><text:page-number text:select-page=\"current\">1</text:page-number>"
            "</text:p></style:footer>")


KINDS = ["text", "tables", "pictures", "headers", "chinese", "mixed"]


def document(kind, pages, rng):
    chinese = kind == "chinese" or (kind == "mixed" and rng.random() < 0.5)
    blocks = []
    for _ in range(pages * 5):
        choice = rng.random()
        if kind in ("tables", "mixed") and choice < 0.3:
            blocks.append(table(rng, chinese))
        elif kind in ("pictures", "mixed") and choice < 0.5:
            blocks.append(picture(rng))
        else:
            blocks.append(paragraph(rng, chinese))
    with_headers = kind in ("headers", "mixed", "chinese")
    return HEAD.replace("{headers}", headers(rng, chinese) if with_headers else "") + "".join(blocks) + TAIL


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="corpus-")
    try:
        flat = []
        for i in range(count):
            kind = KINDS[i % len(KINDS)]
            # Most documents are short, a few long.
            pages = min(30, max(1, int(rng.expovariate(1 / 5))))
            path = os.path.join(work, "%03d-%s.fodt" % (i, kind))
            with open(path, "w", encoding="utf-8") as f:
                f.write(document(kind, pages, rng))
            flat.append(path)
        profile = os.path.join(work, "profile")
        subprocess.run([SOFFICE, "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
                        # Named, not guessed: a long picture can hide what kind of file it is.
                        "--infilter=OpenDocument Text Flat XML", "--convert-to", "doc:MS Word 97", "--outdir", out] + flat,
                       check=True, stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(work)
    print("%d documents in %s" % (len([n for n in os.listdir(out) if n.endswith(".doc")]), out))


if __name__ == "__main__":
    main()
