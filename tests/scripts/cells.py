"""Prints every non-empty cell of a workbook's first sheet as COORD<TAB>VALUE, as openpyxl reads it.

Formulas print as their text (=A1*2); numbers in Python's repr. Merged ranges follow as
MERGE<TAB>A1:B2 lines.
"""
import sys

import openpyxl

wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            print(f"{c.coordinate}\t{c.value!r}" if not isinstance(c.value, str) else f"{c.coordinate}\t{c.value}")
for r in ws.merged_cells.ranges:
    print(f"MERGE\t{r.coord}")
