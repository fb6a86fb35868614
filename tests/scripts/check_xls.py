#!/usr/bin/python3
"""Independent check that blocks pasted from .xls workbooks reproduce their source.

Usage:
    /usr/bin/python3 tests/scripts/check_xls.py [--verbose] MANIFEST.tsv

Each manifest line (tab separated, 1-based rows and columns), as for check_paste.py:

    src_path src_sheet result_path result_sheet
    src_top src_left dst_top dst_left src_bottom src_right

says that Corvane copied that rectangle of src_sheet in the .xls file src_path and
pasted it with its top-left corner at (dst_top, dst_left) of result_sheet in the
.xlsx file result_path.

The source is read with xlrd (formatting_info=True), the result with openpyxl;
Corvane's own readers take no part. xlrd gives no formulas, so a formula cell is
compared by its cached result: the result holds either that value or a formula
whose cached value it is.

Checked per source cell: the value (numbers, strings, booleans, errors; dates as
points in time, so a 1904-based source compares with a 1900-based result), the
number format, the font's name, size, bold, italic and colour, a solid fill's colour
(palette indices resolved through the workbook's own PALETTE) and the diagonal border.
Every position of the rectangle without a value is checked the same way for its
effective format: its own BLANK cell's, else its row's (ROW with a default format),
else its column's (COLINFO), as a spreadsheet's copy pastes it; a position whose format
is the workbook's default must come out without one. Checked per sheet: every merged
range of the rectangle is merged in the result, moved by the offset.

Output: MISMATCH lines (at most 30 per sheet), SKIP lines for sources xlrd cannot
read, and 'checked N cells in M sheets, K mismatches'. Exit status 1 when K > 0,
2 for a bad manifest.
"""

import argparse
import datetime
import math
import os
import sys
import warnings

warnings.simplefilter("ignore")

import openpyxl  # noqa: E402
import xlrd  # noqa: E402
from openpyxl.cell.cell import Cell, MergedCell  # noqa: E402
from openpyxl.styles.cell_style import StyleArray  # noqa: E402
from openpyxl.styles.numbers import BUILTIN_FORMATS  # noqa: E402
from openpyxl.utils.datetime import to_excel  # noqa: E402

MAX_LINES_PER_SHEET = 30


def error_text(code):
    return xlrd.error_text_from_code.get(code, "#N/A")


def number_of(value):
    """A result value as a number in the 1900 date system, or None."""
    if isinstance(value, bool):
        return None
    if isinstance(value, (int, float)):
        return float(value)
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return float(to_excel(value))
    return None


def same_number(a, b):
    return a == b or math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-9)


class Books:
    def __init__(self):
        self.xls = {}
        self.xlsx = {}

    def source(self, path):
        if path not in self.xls:
            try:
                self.xls[path] = xlrd.open_workbook(path, formatting_info=True, on_demand=False)
            except Exception as exc:  # xlrd raises all sorts on files it does not support
                self.xls[path] = exc
        return self.xls[path]

    def result(self, path):
        if path not in self.xlsx:
            self.xlsx[path] = (openpyxl.load_workbook(path, data_only=True),
                               openpyxl.load_workbook(path, data_only=False))
        return self.xlsx[path]


def rgb_of(book, index):
    """'RRGGBB' of a palette index of the source (the workbook's PALETTE applied), or None
    for the system colours that leave the choice to the application."""
    rgb = book.colour_map.get(index) if index < 64 else None
    return None if rgb is None else "%02X%02X%02X" % rgb


def colour_of(color):
    if color is None or getattr(color, "type", None) != "rgb" or not isinstance(color.rgb, str):
        return None
    return color.rgb[-6:].upper()


def source_format(book, xf):
    fmt = book.format_map.get(xf.format_key)
    text = fmt.format_str if fmt is not None else "General"
    return text


def formats_match(book, xf, got):
    want = source_format(book, xf)
    if want == got:
        return True
    # Built-in formats: xlrd spells some ids its own way; the id is what the file stores.
    key = xf.format_key
    if key in BUILTIN_FORMATS and got == BUILTIN_FORMATS[key]:
        return True
    if want.lower() == "general" and got == "General":
        return True
    return False


BORDER_STYLES = [None, "thin", "medium", "dashed", "dotted", "thick", "double", "hair", "mediumDashed",
                 "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"]


def default_xf(book):
    """The XF cells without a format of their own show: 15 as Excel writes it, else the
    first cell XF."""
    if len(book.xf_list) > 15 and not book.xf_list[15].is_style:
        return 15
    return next((i for i, xf in enumerate(book.xf_list) if not xf.is_style), 0)


def effective_xf(sh, r, c):
    """The XF of position (r, c) (0-based): its cell's, else its row's, else its column's,
    else -1 for the workbook's default."""
    if r < sh.nrows and c < sh.row_len(r):
        x = sh._cell_xf_indexes[r][c]
        if x > -1:
            return x
    info = sh.rowinfo_map.get(r)
    if info is not None and info.xf_index > -1:
        return info.xf_index
    col = sh.colinfo_map.get(c)
    if col is not None and col.xf_index > -1:
        return col.xf_index
    return -1


def compare_format(book, xf, got, where, report, plain_source=False):
    """Reports where the result cell `got` does not show the source XF `xf`. With
    plain_source the source shows the workbook's default: its font is the default font,
    which the result need not repeat."""
    if not formats_match(book, xf, got.number_format):
        report(where, "number format %r came out as %r" % (source_format(book, xf), got.number_format))
    font = book.font_list[xf.font_index]
    f = got.font
    if not plain_source:
        if (f.name or "") != font.name:
            report(where, "font %r came out as %r" % (font.name, f.name))
        if f.sz is None or not math.isclose(float(f.sz), font.height / 20.0):
            report(where, "font size %s came out as %s" % (font.height / 20.0, f.sz))
        want_colour = rgb_of(book, font.colour_index)
        if want_colour is not None and colour_of(f.color) != want_colour:
            report(where, "font colour %s came out as %s" % (want_colour, colour_of(f.color)))
    bg = xf.background
    if bg.fill_pattern == 1:
        want_fill = rgb_of(book, bg.pattern_colour_index)
        got_fill = colour_of(got.fill.fgColor) if got.fill is not None else None
        if want_fill is not None and got_fill != want_fill:
            report(where, "fill colour %s came out as %s" % (want_fill, got_fill))
    elif bg.fill_pattern == 0 and got.fill is not None and got.fill.patternType not in (None, "none"):
        report(where, "no fill came out as %s" % got.fill.patternType)
    # The weight says it: xlrd's bold flag is a bit BIFF8 leaves unused.
    bold = font.weight >= 700
    if bool(f.b) != bold:
        report(where, "bold %s came out as %s" % (bold, bool(f.b)))
    if bool(f.i) != bool(font.italic):
        report(where, "italic %s came out as %s" % (bool(font.italic), bool(f.i)))
    b = xf.border
    line = BORDER_STYLES[b.diag_line_style] if b.diag_line_style < len(BORDER_STYLES) else None
    want = (line, bool(b.diag_up), bool(b.diag_down)) if line and (b.diag_up or b.diag_down) else None
    d = got.border.diagonal
    got_line = (d.style if d is not None else None) or None
    have = ((got_line, bool(got.border.diagonalUp), bool(got.border.diagonalDown))
            if got_line and (got.border.diagonalUp or got.border.diagonalDown) else None)
    if want != have:
        report(where, "diagonal border %s came out as %s" % (want, have))


inherited = [0]  # positions without a cell that take their row's or column's format


def check_sheet(books, fields, report):
    src, sheet_name, result, result_sheet = fields[:4]
    top, left, dst_top, dst_left, bottom, right = (int(x) for x in fields[4:10])
    book = books.source(src)
    if isinstance(book, Exception):
        print("SKIP %s: xlrd cannot read it (%s)" % (src, book))
        return 0
    sh = book.sheet_by_name(sheet_name)
    values_wb, formulas_wb = books.result(result)
    values = values_wb[result_sheet]
    formulas = formulas_wb[result_sheet]
    dr, dc = dst_top - top, dst_left - left
    cells = 0
    seen = set()

    for r in range(top, min(bottom, sh.nrows) + 1):
        for c in range(left, min(right, sh.row_len(r - 1)) + 1):
            cell = sh.cell(r - 1, c - 1)
            cells += 1
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue  # checked below with the result cells that have no source
            seen.add((r + dr, c + dc))
            where = "%s!%s -> %s" % (os.path.basename(src), openpyxl.utils.get_column_letter(c) + str(r),
                                     openpyxl.utils.get_column_letter(c + dc) + str(r + dr))
            got = values.cell(row=r + dr, column=c + dc)
            raw = formulas.cell(row=r + dr, column=c + dc).value
            array = formulas.formula_attributes.get(got.coordinate, {}).get("t") == "array"
            ctype = cell.ctype
            v = got.value
            if ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                if v not in (None, "") and not (isinstance(raw, str) and raw.startswith("=")):
                    report(where, "empty source cell holds %r" % (v,))
            elif ctype == xlrd.XL_CELL_TEXT:
                # An array formula's result is stored as a number by the writer's library.
                if v != cell.value and not (v is None and cell.value == "") and not (array and v in (0, None)):
                    report(where, "text %r came out as %r" % (cell.value, v))
            elif ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                want = cell.value
                if ctype == xlrd.XL_CELL_DATE and book.datemode == 1:
                    want += 1462  # the same day counted from 1900
                n = number_of(v)
                if n is None or not same_number(n, want):
                    report(where, "number %r came out as %r" % (cell.value, v))
            elif ctype == xlrd.XL_CELL_BOOLEAN:
                if v is not bool(cell.value) and v != bool(cell.value):
                    report(where, "boolean %r came out as %r" % (bool(cell.value), v))
            elif ctype == xlrd.XL_CELL_ERROR:
                if v != error_text(cell.value) and raw != "=" + error_text(cell.value):
                    report(where, "error %s came out as %r" % (error_text(cell.value), v))
            # openpyxl keeps no format for the cells a merged range covers.
            if isinstance(formulas.cell(row=r + dr, column=c + dc), MergedCell):
                continue
            if ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                compare_format(book, book.xf_list[cell.xf_index], got, where, report)
    # The format of every position without a value: its cell's, its row's or its column's.
    plain = default_xf(book)
    for r in range(top, bottom + 1):
        for c in range(left, right + 1):
            if (r - 1 < sh.nrows and c - 1 < sh.row_len(r - 1)
                    and sh.cell_type(r - 1, c - 1) not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)):
                continue  # checked with its value
            if isinstance(formulas._cells.get((r + dr, c + dc)), MergedCell):
                continue
            x = effective_xf(sh, r - 1, c - 1)
            got = values._cells.get((r + dr, c + dc))
            source_plain = x < 0 or x == plain
            if source_plain and (got is None or not got.has_style):
                continue
            where = "%s!%s -> %s (empty)" % (os.path.basename(src), openpyxl.utils.get_column_letter(c) + str(r),
                                             openpyxl.utils.get_column_letter(c + dc) + str(r + dr))
            if got is None:
                got = Cell(values, style_array=StyleArray())
            compare_format(book, book.xf_list[plain if source_plain else x], got, where, report, source_plain)
            if not source_plain and (r - 1 >= sh.nrows or c - 1 >= sh.row_len(r - 1)
                                     or sh._cell_xf_indexes[r - 1][c - 1] < 0):
                inherited[0] += 1
    # Values in the result where the source has no cell at all.
    for (row, col), cell in list(values._cells.items()):
        if (row, col) in seen or not (top + dr <= row <= bottom + dr and left + dc <= col <= right + dc):
            continue
        if cell.value not in (None, ""):
            report("%s!%s" % (os.path.basename(src), cell.coordinate), "cell without a source holds %r" % (cell.value,))
    merged = {str(m) for m in formulas.merged_cells.ranges}
    for rlo, rhi, clo, chi in sh.merged_cells:
        if rhi - rlo <= 1 and chi - clo <= 1:
            continue
        r1, r2, c1, c2 = max(rlo + 1, top), min(rhi, bottom), max(clo + 1, left), min(chi, right)
        if r1 > r2 or c1 > c2 or (r1 == r2 and c1 == c2):
            continue
        want = "%s%d:%s%d" % (openpyxl.utils.get_column_letter(c1 + dc), r1 + dr,
                              openpyxl.utils.get_column_letter(c2 + dc), r2 + dr)
        if want not in merged:
            report("%s!merge" % os.path.basename(src), "merged range %s missing in the result" % want)
    return cells


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--verbose", action="store_true")
    ap.add_argument("manifest")
    args = ap.parse_args()
    base = os.path.dirname(os.path.abspath(args.manifest))
    books = Books()
    total_cells = sheets = mismatches = 0
    try:
        lines = open(args.manifest, encoding="utf-8").read().splitlines()
    except OSError as exc:
        print("cannot read the manifest: %s" % exc)
        return 2
    for line in lines:
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) < 10:
            print("bad manifest line: %r" % line)
            return 2
        for i in (0, 2):
            if not os.path.isabs(fields[i]) and not os.path.exists(fields[i]):
                fields[i] = os.path.join(base, fields[i])
        shown = [0]

        def report(where, what):
            nonlocal mismatches
            mismatches += 1
            shown[0] += 1
            if shown[0] <= MAX_LINES_PER_SHEET:
                print("MISMATCH %s: %s" % (where, what))

        total_cells += check_sheet(books, fields, report)
        sheets += 1
    print("%d positions without a cell take their row's or column's format" % inherited[0])
    print("checked %d cells in %d sheets, %d mismatches" % (total_cells, sheets, mismatches))
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
