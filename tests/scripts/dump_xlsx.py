#!/usr/bin/python3
"""Prints what openpyxl reads from an .xlsx, one fact a line:

    sheet <TAB> cell <TAB> key <TAB> value

Workbook facts use "-" for sheet and cell ("sheet" lines give the sheet names in order),
sheet facts use "-" for cell ("merge" lines). Backslash, tab, CR and LF in any field are
escaped as \\\\, \\t, \\r and \\n. Every cell openpyxl holds is listed, with its value,
the cached result (the file opened with data_only=True) and its format; rows and columns
with a size, visibility or format of their own are listed as cells named "row:N" and
"col:A" (the first column of a run, with "max" naming its last).
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


def number_text(v):
    return None if v is None else repr(float(v))


def dump_format(name, coord, cell):
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
    if getattr(fill, "tagname", "") == "gradientFill":
        out(name, coord, "fill.pattern", "gradient")
        out(name, coord, "fill.gradient", fill.type)
        if fill.type == "path":
            out(name, coord, "fill.gradient.box", " ".join(
                number_text(getattr(fill, k)) for k in ("left", "right", "top", "bottom")))
        else:
            out(name, coord, "fill.gradient.degree", number_text(fill.degree))
        out(name, coord, "fill.gradient.stops", " ".join(
            "%s@%s" % (color_text(s.color), number_text(s.position)) for s in fill.stop))
    else:
        out(name, coord, "fill.pattern", getattr(fill, "patternType", None) or "none")
        out(name, coord, "fill.fg", color_text(getattr(fill, "fgColor", None)))
        out(name, coord, "fill.bg", color_text(getattr(fill, "bgColor", None)))

    for side in ("left", "right", "top", "bottom"):
        b = getattr(cell.border, side)
        out(name, coord, f"border.{side}", (b.style if b is not None else None) or "none")
        if b is not None and b.style:
            out(name, coord, f"border.{side}.color", color_text(b.color))
    d = cell.border.diagonal
    if d is not None and d.style:
        out(name, coord, "border.diagonal", d.style)
        out(name, coord, "border.diagonal.color", color_text(d.color))
    out(name, coord, "border.diagonal.up", flag(cell.border.diagonalUp))
    out(name, coord, "border.diagonal.down", flag(cell.border.diagonalDown))

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


def dump_cell(name, cell, cached):
    coord = cell.coordinate
    out(name, coord, "type", cell.data_type)
    out(name, coord, "value", value_text(cell.value))
    if cached is not None:
        out(name, coord, "cached.type", cached.data_type)
        out(name, coord, "cached", value_text(cached.value))
    dump_format(name, coord, cell)

    if cell.hyperlink is not None:
        h = cell.hyperlink
        out(name, coord, "link.target", h.target)
        out(name, coord, "link.location", h.location)
        out(name, coord, "link.tooltip", h.tooltip)
        out(name, coord, "link.display", h.display)
    if cell.comment is not None:
        out(name, coord, "comment.text", cell.comment.text)
        out(name, coord, "comment.author", cell.comment.author)


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
        for index, dim in sorted(ws.row_dimensions.items()):
            coord = "row:%d" % index
            out(name, coord, "height", number_text(dim.ht))
            out(name, coord, "hidden", flag(dim.hidden))
            if dim.customFormat:
                dump_format(name, coord, dim)
        for letter, dim in sorted(ws.column_dimensions.items()):
            coord = "col:%s" % letter
            out(name, coord, "max", dim.max)
            out(name, coord, "width", number_text(dim.width) if dim.customWidth else None)
            out(name, coord, "hidden", flag(dim.hidden))
            if dim.style_id:
                dump_format(name, coord, dim)
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
