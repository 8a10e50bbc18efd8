#!/usr/bin/env python3
"""The HTML reports of run, sweep, optimize and check-invariance, read as a
person reads them: each is one self-contained file (pictures embedded, no
script, nothing fetched), every number in its tables equals the one in
summary.json or the CSV, a real browser (headless Chromium) shows it (the
screenshot is not blank), and it prints to A4 with no picture split between
pages (each embedded picture lies on exactly one PDF page) and no blank page.

    report_test.py AMIHOST MODEL.so MODEL.ami    (exit 77: skipped, with why)
"""
import csv
import html.parser
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SKIP = 77


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(SKIP)


class Page(html.parser.HTMLParser):
    """The cells that carry a JSON path, every table's rows, the pictures and
    anything that would reach outside the file."""

    def __init__(self):
        super().__init__()
        self.paths, self.tables, self.images, self.outside = {}, [], [], []
        self._cell = None
        self._text = ""

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag in ("script", "link", "iframe", "object", "embed"):
            self.outside.append(tag)
        for key in ("src", "href"):
            if key in a and not a[key].startswith("data:image/png;base64,"):
                self.outside.append(a[key])
        if tag == "img":
            self.images.append(a.get("src", ""))
        if tag == "table":
            self.tables.append([])
        if tag == "tr":
            self.tables[-1].append([])
        if tag in ("td", "th"):
            self._cell = a.get("data-path")
            self._text = ""
        if tag == "br":
            self._text += "\n"

    def handle_data(self, data):
        self._text += data

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.tables[-1][-1].append(self._text)
            if self._cell is not None:
                self.paths[self._cell] = self._text
            self._cell = None


def read_page(path):
    page = Page()
    with open(path, encoding="utf-8") as f:
        page.feed(f.read())
    assert not page.outside, "%s reaches outside itself: %s" % (path, page.outside[:3])
    return page


def at(tree, dotted):
    """The value at a dotted path; keys may hold dots themselves (height_V_at_1e-12)."""
    if dotted in tree:
        return tree[dotted]
    for key in tree:
        if isinstance(tree[key], dict) and dotted.startswith(key + "."):
            return at(tree[key], dotted[len(key) + 1:])
    raise KeyError(dotted)


def same(text, value):
    if isinstance(value, bool):
        return text == ("true" if value else "false")
    if value is None:
        return text == "null"
    if isinstance(value, (int, float)):
        return float(text) == float(value)
    if isinstance(value, str):
        return text == value
    if isinstance(value, list):
        if not value:
            return text == "(none)"
        parts = text.split("\n") if isinstance(value[0], str) else text.split(", ")
        return len(parts) == len(value) and all(same(p, v) for p, v in zip(parts, value))
    return False


def check_against_summary(page, summary):
    numbers = 0

    def walk(tree, prefix):
        nonlocal numbers
        for key, value in tree.items():
            path = prefix + key
            if isinstance(value, dict):
                walk(value, path + ".")
                continue
            assert path in page.paths, "summary.json's %s is not in the report" % path
            assert same(page.paths[path], value), "%s: report %r, summary.json %r" % (
                path, page.paths[path], value)
            numbers += isinstance(value, (int, float)) and not isinstance(value, bool)

    walk(summary, "")
    for path, text in page.paths.items():
        assert same(text, at(summary, path)), path
    return numbers


def table_with_header(page, header):
    for table in page.tables:
        if table and table[0] == header:
            return table[1:]
    raise AssertionError("no table with the header %s" % header[:4])


def png_pixels(path):
    """The RGB(A) rows of an 8-bit PNG, unfiltered (RFC 2083)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return rows, bpp


def dark_fraction_png(path):
    rows, bpp = png_pixels(path)
    dark = total = 0
    for row in rows[::4]:
        for i in range(0, len(row), bpp * 4):
            total += 1
            dark += sum(row[i:i + 3]) < 600
    return dark / total


def dark_fraction_ppm(path):
    data = open(path, "rb").read()
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P6", path
    pixels = parts[4]
    dark = total = 0
    for i in range(0, len(pixels) - 2, 3 * 7):
        total += 1
        dark += pixels[i] + pixels[i + 1] + pixels[i + 2] < 600
    return dark / total


def browser_checks(chromium, report, work):
    name = os.path.splitext(os.path.basename(report))[0]
    shot, pdf = os.path.join(work, name + ".png"), os.path.join(work, name + ".pdf")
    flags = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
             "--user-data-dir=" + os.path.join(work, "profile")]
    url = "file://" + os.path.abspath(report)
    subprocess.run(flags + ["--window-size=1100,1400", "--screenshot=" + shot, url],
                   check=True, capture_output=True, timeout=120)
    assert dark_fraction_png(shot) > 0.01, "the screenshot of %s is blank" % report
    subprocess.run(flags + ["--no-pdf-header-footer", "--print-to-pdf=" + pdf, url],
                   check=True, capture_output=True, timeout=120)
    info = subprocess.run(["pdfinfo", pdf], check=True, capture_output=True, text=True).stdout
    assert "(A4)" in info, info
    pages = int([l for l in info.splitlines() if l.startswith("Pages:")][0].split()[1])
    listed = subprocess.run(["pdfimages", "-list", pdf], check=True, capture_output=True,
                            text=True).stdout.splitlines()[2:]
    # Each picture of the page once in the PDF: on one page, whole (a picture
    # cut by a page break is drawn on both pages).
    pictures = len(read_page(report).images)
    assert len(listed) == pictures, "%d pictures drawn %d times in the PDF" % (pictures, len(listed))
    subprocess.run(["pdftoppm", "-r", "40", pdf, os.path.join(work, name + "-page")], check=True)
    for k in range(1, pages + 1):
        ppm = [f for f in os.listdir(work) if f.startswith(name + "-page")
               and int(f.rsplit("-", 1)[1].split(".")[0]) == k][0]
        assert dark_fraction_ppm(os.path.join(work, ppm)) > 0.002, "page %d of %s is blank" % (k, pdf)
    return pages, pictures


def run(amihost, args, work):
    result = subprocess.run([amihost] + args, cwd=work, capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, "%s: exit %d\n%s" % (args, result.returncode, result.stderr)


def main():
    amihost, model, ami = (os.path.abspath(a) for a in sys.argv[1:4])
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        skip("no chromium (tools/bootstrap --all installs Debian's chromium)")
    for tool in ("pdfinfo", "pdfimages", "pdftoppm"):
        if shutil.which(tool) is None:
            skip("no %s (tools/bootstrap --all installs poppler-utils)" % tool)
    work = tempfile.mkdtemp(prefix="amihost-report-")
    try:
        model_args = ["-q", "-l", model, "-a", ami]
        run(amihost, ["run"] + model_args + ["--channel", "line:18@5e9", "--set", "TXPOSTCURSOR=20",
                                             "-o", "out", "--report", "run.html"], work)
        page = read_page(os.path.join(work, "run.html"))
        with open(os.path.join(work, "out", "summary.json")) as f:
            numbers = check_against_summary(page, json.load(f))
        assert numbers > 60, numbers
        print("run: %d numbers of summary.json, all equal in the report" % numbers)

        run(amihost, ["optimize"] + model_args + ["--channel", "line:18@5e9", "--grid",
                                                  "TXPRECURSOR=0:8:4", "--grid", "TXPOSTCURSOR=0:31:3",
                                                  "-o", "opt", "--report", "optimize.html"], work)
        page = read_page(os.path.join(work, "optimize.html"))
        with open(os.path.join(work, "opt", "optimize.csv")) as f:
            rows = list(csv.reader(f))
        shown = table_with_header(page, rows[0])
        by_index = {r[0]: r for r in rows[1:]}
        assert len(shown) == min(20, len(rows) - 1)
        for r in shown:
            assert r == by_index[r[0]], (r, by_index[r[0]])
        assert [int(r[-2]) for r in shown] == list(range(1, len(shown) + 1)), "not best first"
        assert len(page.images) == 1, "the heat map"
        print("optimize: the best %d candidates as in optimize.csv, best first" % len(shown))

        run(amihost, ["sweep"] + model_args + ["--bits", "100", "--grid", "TXPOSTCURSOR=0:30:10",
                                               "--csv", "sweep.csv", "--report", "sweep.html"], work)
        page = read_page(os.path.join(work, "sweep.html"))
        with open(os.path.join(work, "sweep.csv")) as f:
            rows = list(csv.reader(f))
        assert table_with_header(page, rows[0]) == rows[1:]
        print("sweep: every row as in sweep.csv")

        run(amihost, ["check-invariance"] + model_args + ["--bits", "60", "--report",
                                                          "invariance.html"], work)
        page = read_page(os.path.join(work, "invariance.html"))
        policies = table_with_header(page, ["policy", "result against the reference"])
        assert [p[0] for p in policies] == "whole,fixed:1,fixed:7,fixed:1000,bits:1,bits:3,random:1,random:2:64".split(",")
        assert policies[0][1].startswith("reference") and all(
            p[1].startswith("largest difference 0 V") for p in policies[1:]), policies
        print("check-invariance: every policy in the report")

        for name in ("run", "optimize", "sweep", "invariance"):
            pages, pictures = browser_checks(chromium, os.path.join(work, name + ".html"), work)
            print("%s.html: shown by Chromium, not blank; printed to %d A4 page(s), %d picture(s) "
                  "each whole on one page" % (name, pages, pictures))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("PASSED")


if __name__ == "__main__":
    main()
