#!/usr/bin/python3
"""Prints what openpyxl reads from an .xlsx, one fact a line:

    sheet <TAB> cell <TAB> key <TAB> value

Workbook facts use "-" for sheet and cell ("sheet" lines give the sheet names in order),
sheet facts use "-" for cell ("merge" lines); rows and column runs with something of their own
use "row<N>" and "cols<MIN>-<MAX>" for cell. Backslash, tab, CR and LF in any field are
escaped as \\\\, \\t, \\r and \\n. Every cell openpyxl holds is listed, with its value,
the cached result (the file opened with data_only=True) and its format.
"""
import sys

import openpyxl


def esc(s):
    return (str(s).replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def out(sheet, cell, key, value):
    if value is None:
        return
    sys.stdout.write(f"{esc(sheet)}\t{cell}\t{key}\t{esc(value)}\n")


def flag(b):
    return "1" if b else "0"


def value_text(v):
    if v is None:
        return None
    if isinstance(v, bool):
        return "TRUE" if v else "FALSE"
    if isinstance(v, (int, float)):
        return repr(float(v))
    if hasattr(v, "isoformat"):
        return v.isoformat()
    if hasattr(v, "text"):  # array formulas in newer openpyxl
        return v.text
    return str(v)


def color_text(c):
    if c is None:
        return None
    if c.type == "rgb":
        return c.rgb
    if c.type == "theme":
        return f"theme:{c.theme}"
    if c.type == "indexed":
        return f"indexed:{c.indexed}"
    return "auto"


def dump_cell(name, cell, cached):
    coord = cell.coordinate
    out(name, coord, "type", cell.data_type)
    out(name, coord, "value", value_text(cell.value))
    if cached is not None:
        out(name, coord, "cached.type", cached.data_type)
        out(name, coord, "cached", value_text(cached.value))
    out(name, coord, "numfmt", cell.number_format)

    f = cell.font
    out(name, coord, "font.name", f.name)
    out(name, coord, "font.size", None if f.sz is None else repr(float(f.sz)))
    out(name, coord, "font.b", flag(f.b))
    out(name, coord, "font.i", flag(f.i))
    out(name, coord, "font.u", f.u or "none")
    out(name, coord, "font.strike", flag(f.strike))
    out(name, coord, "font.color", color_text(f.color))

    fill = cell.fill
    out(name, coord, "fill.pattern", getattr(fill, "patternType", None) or "none")
    out(name, coord, "fill.fg", color_text(getattr(fill, "fgColor", None)))
    out(name, coord, "fill.bg", color_text(getattr(fill, "bgColor", None)))

    for side in ("left", "right", "top", "bottom", "diagonal"):
        b = getattr(cell.border, side)
        out(name, coord, f"border.{side}", (b.style if b is not None else None) or "none")
        if b is not None and b.style:
            out(name, coord, f"border.{side}.color", color_text(b.color))
    out(name, coord, "border.diagonalUp", flag(cell.border.diagonalUp))
    out(name, coord, "border.diagonalDown", flag(cell.border.diagonalDown))

    a = cell.alignment
    out(name, coord, "align.h", a.horizontal or "general")
    out(name, coord, "align.v", a.vertical or "bottom")
    out(name, coord, "align.wrap", flag(a.wrap_text))
    out(name, coord, "align.shrink", flag(a.shrink_to_fit))
    out(name, coord, "align.indent", int(a.indent or 0))
    out(name, coord, "align.rotation", int(a.text_rotation or 0))

    p = cell.protection
    out(name, coord, "prot.locked", flag(p.locked))
    out(name, coord, "prot.hidden", flag(p.hidden))

    if cell.hyperlink is not None:
        h = cell.hyperlink
        out(name, coord, "link.target", h.target)
        out(name, coord, "link.location", h.location)
        out(name, coord, "link.tooltip", h.tooltip)
        out(name, coord, "link.display", h.display)
    if cell.comment is not None:
        out(name, coord, "comment.text", cell.comment.text)
        out(name, coord, "comment.author", cell.comment.author)


def dump_dimension(name, key, d):
    """A row's or column run's own format, as far as the checks need it."""
    if d.hidden:
        out(name, key, "hidden", "1")
    if d.has_style:
        out(name, key, "numfmt", d.number_format)
        out(name, key, "font.b", flag(d.font.b))
        out(name, key, "fill.pattern", getattr(d.fill, "patternType", None) or "none")
        out(name, key, "fill.fg", color_text(getattr(d.fill, "fgColor", None)))


def main():
    path = sys.argv[1]
    wb = openpyxl.load_workbook(path)
    values = openpyxl.load_workbook(path, data_only=True)
    for ws in wb.worksheets:
        out("-", "-", "sheet", ws.title)
    for ws in wb.worksheets:
        name = ws.title
        cached_ws = values[name]
        for rng in sorted(str(r) for r in ws.merged_cells.ranges):
            out(name, "-", "merge", rng)
        for r, rd in sorted(ws.row_dimensions.items()):
            out(name, f"row{r}", "height", None if rd.ht is None else repr(float(rd.ht)))
            dump_dimension(name, f"row{r}", rd)
        for cd in ws.column_dimensions.values():
            if cd.min is None:
                continue
            key = f"cols{cd.min}-{cd.max}"
            if cd.customWidth:
                out(name, key, "width", repr(float(cd.width)))
            dump_dimension(name, key, cd)
        arrays = getattr(ws, "formula_attributes", {}) or {}
        for (row, col), cell in sorted(ws._cells.items()):
            cached = cached_ws._cells.get((row, col))
            dump_cell(name, cell, cached)
            attrs = arrays.get(cell.coordinate)
            if attrs and attrs.get("t") == "array":
                out(name, cell.coordinate, "array.ref", attrs.get("ref"))
            elif hasattr(cell.value, "ref"):
                out(name, cell.coordinate, "array.ref", cell.value.ref)


if __name__ == "__main__":
    main()
