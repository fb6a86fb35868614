#!/usr/bin/env python3
"""Makes the seed inputs of every fuzzing harness from the shared corpus of real workbooks
and a few hand-made ones: make_seeds.py CORPUS OUT writes OUT/<harness>/. Nothing here is
kept in the repository; scripts/fuzz.sh and the replay tests (CTest) make them afresh."""
import hashlib
import html
import os
import re
import struct
import sys
import zipfile

corpus, out = sys.argv[1], sys.argv[2]
SEP = b"\n@@part@@\n"  # parts_package.h
MAX_WHOLE = 128 * 1024  # whole files above this slow the readers' fuzzing down


CAP = 250  # seeds a harness at most: replaying them is part of every test run
count = {}


def put(harness, data):
    d = os.path.join(out, harness)
    os.makedirs(d, exist_ok=True)
    count[harness] = count.get(harness, 0) + 1
    if count[harness] > CAP:
        return
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def files():
    for sub in sorted(os.listdir(corpus)):
        d = os.path.join(corpus, sub)
        if not os.path.isdir(d):
            continue
        for name in sorted(os.listdir(d)):
            yield os.path.join(d, name)


def read_zip(path):
    try:
        z = zipfile.ZipFile(path)
        return {n: z.read(n) for n in z.namelist() if z.getinfo(n).file_size < 4 << 20}
    except Exception:
        return {}


formulas, odf_formulas, codes = set(), set(), set()
for path in files():
    with open(path, "rb") as f:
        data = f.read()
    ext = os.path.splitext(path)[1].lower()
    small = len(data) <= MAX_WHOLE
    if small:
        put("open_any", data)
    if ext in (".xlsx", ".xlsm") and small:
        put("xlsx", data)
    if ext == ".xlsb" and small:
        put("xlsb", data)
    if ext == ".xls" and small:
        put("xls", data)
        put("cfb", data)
    if ext == ".ods" and small:
        put("ods", data)
    if data[:2] == b"PK" and small:
        put("zip", data)
    parts = read_zip(path) if data[:2] == b"PK" else {}
    if ext in (".xlsx", ".xlsm") and parts:
        sheet = parts.get("xl/worksheets/sheet1.xml", b"")
        seq = [parts.get(n, b"") for n in ("xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/styles.xml",
                                           "xl/sharedStrings.xml", "xl/_rels/workbook.xml.rels")]
        joined = SEP.join(seq)
        if len(joined) <= 64 * 1024:
            put("xlsx_parts", joined)
        if len(joined) <= 16 * 1024:
            put("paste_save", joined)
        for name, part in parts.items():
            if name.endswith(".xml") and len(part) <= 64 * 1024:
                put("fast_xml", bytes([len(part) % 7]) + part)
            if name.startswith("xl/worksheets/"):
                for m in re.finditer(rb"<f[^>]*>([^<]*)</f>", part):
                    formulas.add(html.unescape(m.group(1).decode("utf-8", "replace")))
            if name == "xl/styles.xml":
                for m in re.finditer(rb'formatCode="([^"]*)"', part):
                    codes.add(html.unescape(m.group(1).decode("utf-8", "replace")))
    if ext == ".ods" and "content.xml" in parts:
        for m in re.finditer(rb'table:formula="([^"]*)"', parts["content.xml"]):
            odf_formulas.add(html.unescape(m.group(1).decode("utf-8", "replace")))

formulas |= {"SUM(A1:B2)", "$A$1+B$2*$C3", "Sheet1!A1+'My sheet'!B2:C3", "A:A", "1:1", "{1,2;3,4}",
             "\"text\"&A1", "XFD1048576", "Table1[[#This Row],[Col]]", "[1]Sheet1!A1", "A1:B2 B2:C3", "name1"}
for i, text in enumerate(sorted(formulas)):
    put("formula_shift", struct.pack("<hh", (i % 5) - 2, (i % 3) - 1) + text.encode())
for text in sorted(odf_formulas) + ["of:=SUM([.A1:.B2])", "of:=[$Sheet2.A1]+['a b'.B2]", "of:=IF(1;2;3)"]:
    put("ods_formula", text.encode())
codes |= {"General", "0.00", "#,##0", "0%", "0.00E+00", "# ?/?", "?/????", "# ?/?%", "yyyy-mm-dd hh:mm:ss",
          "[h]:mm:ss.000", "[Red][<0]0;[Blue]0;@", "\"text\"@", "_(* #,##0_)", "[$-409]mmmm d, yyyy", "mm:ss.0"}
values = [0.0, 1.5, -2.25, 1e15, 1e307, 45000.75, 0.1 + 0.2, 123456789.123]
for i, code in enumerate(sorted(codes)):
    for v in (values[i % len(values)], values[(i + 3) % len(values)]):
        put("number_format", struct.pack("<d", v) + code.encode())
for text in ["0", "2", "2.5", " 1 0 ", "-3", "&H10", "&O17", "1e3", "99999999999", "", ".5", "+7x"]:
    put("gap_text", text.encode())

# Formula tokens, BIFF8 then BIFF12 operand widths. The first byte shapes the link tables
# (biff8_formula_fuzzer.cpp): 0x5D gives two sheets, three books, one external sheet and names.
def biff8(rgce, extra=b"", head=b"\x5d\x00\x01\x01\x02\x00\x03\x00\x00\x00\x00\x00"):
    put("biff8_formula", head + struct.pack("<H", len(rgce)) + rgce + extra)


biff8(b"\x1e\x05\x00")                                    # 5
biff8(b"\x44\x01\x00\x02\xc0")                            # A2 (relative)
biff8(b"\x25\x00\x00\x09\x00\x00\xc0\x03\xc0")            # A1:D10
biff8(b"\x1e\x01\x00\x1e\x02\x00\x03")                    # 1+2
biff8(b"\x44\x00\x00\x00\xc0\x22\x01\x04\x00")            # SUM(A1)
biff8(b"\x3a\x00\x00\x00\x00\x00\x00")                    # 3-D reference
biff8(b"\x39\x00\x00\x01\x00\x00\x00")                    # external name
biff8(b"\x23\x01\x00\x00\x00")                            # defined name
biff8(b"\x20\x00\x00\x00\x00\x00\x00\x00", b"\x01\x00\x00\x01" + struct.pack("<d", 1.5))  # {1.5}
biff8(b"\x17\x03\x00\x00abc")                             # "abc"


def biff12(rgce, extra=b"", head=b"\x5d\x00\x01\x00\x00\x01\x01\x01\x01\x00\x01\x01\x00\x00\x00"):
    put("biff12_formula", head + struct.pack("<H", len(rgce)) + rgce + extra)


biff12(b"\x1e\x05\x00")
biff12(b"\x44\x01\x00\x00\x00\x02\xc0")                   # A2
biff12(b"\x25\x00\x00\x00\x00\x09\x00\x00\x00\x00\xc0\x03\xc0")
biff12(b"\x44\x00\x00\x00\x00\x00\xc0\x22\x01\x04\x00")
biff12(b"\x3a\x00\x00\x00\x00\x00\x00\x00\x00")
biff12(b"\x39\x00\x00\x01\x00\x00\x00")
biff12(b"\x23\x01\x00\x00\x00")
biff12(b"\x17\x03\x00a\x00b\x00c\x00")
