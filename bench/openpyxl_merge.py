"""Baseline for the merge benchmark: the same vertical merge done with openpyxl alone
(values and styles), to compare Corvane against.

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
    top = next_row
    for row in src.iter_rows():
        for c in row:
            if c.value is None and not c.has_style:
                continue
            d = dst.cell(row=top + c.row - src.min_row, column=c.column - src.min_column + 1, value=c.value)
            if c.has_style:
                d._style = copy.copy(c._style)
                d.font = copy.copy(c.font)
                d.fill = copy.copy(c.fill)
                d.border = copy.copy(c.border)
                d.number_format = c.number_format
                d.alignment = copy.copy(c.alignment)
    next_row = dst.max_row + 1
out.save(sys.argv[1])
