"""Prints every sheet of a workbook as openpyxl reads it, one KEY<TAB>VALUE line each.

SHEETS<TAB>name|name|... gives the sheet names in order. Then, for each sheet:
NAME!A1<TAB>value (formulas as their text, numbers in Python's repr), NAME!width:B<TAB>width
(or "width hidden") for columns with a width or hiding of their own (one line per column),
NAME!height:3<TAB>height (or "height hidden") for rows with a height or hiding of their own.
"""
import sys

import openpyxl
from openpyxl.utils import get_column_letter

wb = openpyxl.load_workbook(sys.argv[1])
print("SHEETS\t" + "|".join(ws.title for ws in wb.worksheets))
for ws in wb.worksheets:
    name = ws.title
    for row in ws.iter_rows():
        for c in row:
            if c.value is not None:
                print(f"{name}!{c.coordinate}\t{c.value}" if isinstance(c.value, str) else f"{name}!{c.coordinate}\t{c.value!r}")
    for dim in ws.column_dimensions.values():
        if not (dim.customWidth or dim.hidden):
            continue
        for col in range(dim.min, dim.max + 1):
            text = f"{dim.width:g}" if dim.customWidth else "default"
            print(f"{name}!width:{get_column_letter(col)}\t{text}{' hidden' if dim.hidden else ''}")
    for r, dim in ws.row_dimensions.items():
        if dim.ht is None and not dim.hidden:
            continue
        text = f"{dim.ht:g}" if dim.ht is not None else "default"
        print(f"{name}!height:{r}\t{text}{' hidden' if dim.hidden else ''}")
