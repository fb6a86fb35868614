"""Baseline for the merge benchmark: the same vertical merge done with openpyxl alone
(values and styles), to compare Corvane against.

Each distinct style of a source workbook is copied into the result once and reused, the way a
careful script would do it: copying the style objects cell by cell costs milliseconds a cell.

usage: /usr/bin/python3 openpyxl_merge.py OUT.xlsx IN.xlsx...
"""
import copy
import sys

import openpyxl

out = openpyxl.Workbook()
dst = out.active
next_row = 1
for path in sys.argv[2:]:
    src = openpyxl.load_workbook(path).worksheets[0]
    styles = {}  # the source cell's style indices -> the result's
    top, left = next_row - src.min_row, 1 - src.min_column  # each a pass over every cell: once
    for row in src.iter_rows():
        for c in row:
            if c.value is None and not c.has_style:
                continue
            d = dst.cell(row=top + c.row, column=left + c.column, value=c.value)
            if c.has_style:
                key = tuple(c._style)
                made = styles.get(key)
                if made is None:
                    d.font = copy.copy(c.font)
                    d.fill = copy.copy(c.fill)
                    d.border = copy.copy(c.border)
                    d.number_format = c.number_format
                    d.alignment = copy.copy(c.alignment)
                    d.protection = copy.copy(c.protection)
                    made = styles[key] = copy.copy(d._style)
                d._style = copy.copy(made)
    next_row = dst.max_row + 1
out.save(sys.argv[1])
