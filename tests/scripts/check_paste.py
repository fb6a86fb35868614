#!/usr/bin/python3
"""Independent check that a pasted block reproduces its source block.

Usage:
    /usr/bin/python3 tests/scripts/check_paste.py [--verbose] MANIFEST.tsv

Each manifest line (tab separated, 1-based rows and columns; blank lines and
lines starting with '#' are ignored):

    src_path src_sheet result_path result_sheet
    src_top src_left dst_top dst_left src_bottom src_right

says that Corvane copied the rectangle (src_top,src_left)-(src_bottom,src_right)
of src_sheet in src_path and pasted it with its top-left corner at
(dst_top,dst_left) of result_sheet in result_path.

Everything here is read with openpyxl, never with our own reader, so a bug in
the engine's reader cannot hide the same bug in its writer.

What is checked, per source cell of the rectangle:
  * formulas that only use references into their own sheet must come out
    moved by the paste offset (relative parts only, as openpyxl's Translator
    moves them); formulas that refer to other sheets, other workbooks, defined
    names or tables are pasted as their cached value; so may be those that call a
    function openpyxl does not list (a macro's, unknown to the spreadsheet);
  * error cells must come out as error cells of the same error;
  * numbers (to the last bit), strings (empty ones too), booleans and dates
    must be equal and of the same type (dates compared as the point in time,
    so a 1904-based source against our 1900-based result works);
  * a moved formula's cached result must be the source's, of the same type
    (number, string, boolean, error), so that a reader that does not
    recalculate sees what it saw in the source;
  * number format, font (name, size, bold, italic, underline, strike),
    alignment, border line styles and fill pattern must be equal (colours are
    checked by the C++ tests, not here);
  * empty source cells must stay empty, merged ranges must move with the
    block, hyperlinks and comments must come along;
  * every position of the rectangle without a value carries its effective
    format: its own cell's, else its row's (a row with customFormat), else
    its column's, as a spreadsheet's copy pastes it. Formats the workbooks
    take by default (the source's default font against the result's) are not
    compared; diagonal borders are compared like the other borders.

Differences that are accepted (listed as ACCEPTED lines with --verbose):
  * a formula whose cached result is an error coming out as that error value;
  * references moved off the sheet written as #REF! (openpyxl's Translator
    refuses to move them, Excel writes #REF!);
  * function names differing only in case;
  * runs of spaces/line breaks of a different length (openpyxl squeezes them
    when it expands a shared formula, so the source text we see is squeezed);
  * 'A1:INDEX(' -- the tokenizer takes the reference as part of the function
    name, so Translator leaves it; the moved reference is accepted too;
  * strings longer than 32767 characters cut to 32767;
  * a 1904-based serial below 1 (openpyxl reads it as a bare time) coming back
    as that time on 1904-01-01;
  * a source formula without a cached value whose result cell holds a value;
  * a formula openpyxl cannot tokenize (e.g. spill references 'A1#'): not
    verified when the result holds a formula;
  * the cached result of a volatile formula (NOW, TODAY, RAND...) compared by
    type only: a twin of the workbook saved at another time holds another.

Paths in the manifest are relative to the current directory, or else to the
manifest's own directory.

Output: one MISMATCH line per difference (at most 50 per sheet), SKIP lines for
source sheets openpyxl cannot read, and a final line
'checked N cells in M sheets, K mismatches'. Exit status 1 when K > 0,
2 for a bad manifest or an internal failure of this script, 0 otherwise.
--verbose also prints the differences that were accepted and why.
"""

import argparse
import datetime
import os
import re
import sys
import traceback
import warnings
import weakref

warnings.simplefilter("ignore")

import openpyxl  # noqa: E402
from openpyxl.cell.cell import MergedCell  # noqa: E402
from openpyxl.formula.tokenizer import Token, Tokenizer, TokenizerError  # noqa: E402
from openpyxl.styles.numbers import BUILTIN_FORMATS  # noqa: E402
from openpyxl.utils import FORMULAE  # noqa: E402

# An error value written as a formula of its literal ('=#N/A').
ERROR_CODES_RE = re.compile(r"^#(NULL!|DIV/0!|VALUE!|REF!|NAME\?|NUM!|N/A|GETTING_DATA)$")
from openpyxl.formula.translate import Translator, TranslatorError  # noqa: E402
from openpyxl.utils.cell import range_boundaries, get_column_letter  # noqa: E402
from openpyxl.worksheet.dimensions import RowDimension  # noqa: E402
from openpyxl.worksheet.worksheet import Worksheet  # noqa: E402
from openpyxl.cell.cell import Cell  # noqa: E402
from openpyxl.styles.cell_style import StyleArray  # noqa: E402

try:  # openpyxl >= 3.1 gives array formulas their own value type
    from openpyxl.worksheet.formula import ArrayFormula
except ImportError:  # 3.0.x keeps them as '=...' plus ws.formula_attributes
    ArrayFormula = None

_row_dimension_init = RowDimension.__init__


def _row_dimension_with_custom_format(self, worksheet, *args, s=None, customFormat=None, **kw):
    """A row's s counts only with customFormat="1"; openpyxl applies it regardless."""
    if customFormat is not None and str(customFormat).lower() not in ("1", "true"):
        s = None
    _row_dimension_init(self, worksheet, *args, s=s, customFormat=customFormat, **kw)


RowDimension.__init__ = _row_dimension_with_custom_format

MAX_ROW = 1048576
MAX_COL = 16384
MAX_STRING = 32767
MAX_LINES_PER_SHEET = 50

WINDOWS_EPOCH = datetime.datetime(1899, 12, 30)
MAC_EPOCH = datetime.datetime(1904, 1, 1)
# openpyxl rounds date serials to whole milliseconds, so two serials that
# differ only in float noise can land on neighbouring milliseconds.
TIME_ABS_TOLERANCE_DAYS = 1.5e-3 / 86400
TIME_REL_TOLERANCE = 1e-9

CELL_RE = re.compile(r"\$?([A-Za-z]{1,3})\$?([0-9]{1,7})$")
COLS_RE = re.compile(r"\$?([A-Za-z]{1,3}):\$?([A-Za-z]{1,3})$")
ROWS_RE = re.compile(r"\$?([0-9]{1,7}):\$?([0-9]{1,7})$")
WSPACE_RE = re.compile(r"[ \n]+")
VOLATILE_RE = re.compile(r"\b(NOW|TODAY|RAND|RANDBETWEEN|RANDARRAY)\s*\(", re.IGNORECASE)


class SkipSheet(Exception):
    """The source side cannot be read by openpyxl; not our failure."""


class ResultUnreadable(Exception):
    """The result workbook or sheet cannot be read; that is our failure."""


# ---------------------------------------------------------------------------
# Workbook cache

class Book:
    """One file, loaded at most once with formulas and once with cached values."""

    def __init__(self, path):
        self.path = path
        self._formulas = None
        self._values = None
        self._formulas_error = None
        self._values_error = None

    @staticmethod
    def _load(path, data_only):
        return openpyxl.load_workbook(path, read_only=False, data_only=data_only)

    def formulas(self):
        if self._formulas is None and self._formulas_error is None:
            try:
                self._formulas = self._load(self.path, False)
            except Exception as exc:  # openpyxl raises all sorts on odd files
                self._formulas_error = describe_exception(exc)
        if self._formulas_error is not None:
            raise SkipSheet(self._formulas_error)
        return self._formulas

    def values(self):
        # Loaded only when a formula needs its cached value:
        # a second full load of a big sheet is expensive.
        if self._values is None and self._values_error is None:
            try:
                self._values = self._load(self.path, True)
            except Exception as exc:
                self._values_error = describe_exception(exc)
        if self._values_error is not None:
            raise SkipSheet("cached values: " + self._values_error)
        return self._values


def describe_exception(exc):
    text = str(exc).strip().splitlines()
    text = text[0] if text else ""
    if len(text) > 160:
        text = text[:160] + "..."
    return type(exc).__name__ + (": " + text if text else "")


# ---------------------------------------------------------------------------
# References and formulas

def col_number(letters):
    n = 0
    for ch in letters.upper():
        n = n * 26 + (ord(ch) - 64)
    return n


def is_a1_reference(text):
    """True for A1, $A$1, A1:B2 (also chained A1:B2:C3), A:C and 1:3 inside the sheet."""
    m = ROWS_RE.match(text)
    if m:
        return all(1 <= int(g) <= MAX_ROW for g in m.groups())
    m = COLS_RE.match(text)
    if m:
        return all(1 <= col_number(g) <= MAX_COL for g in m.groups())
    for piece in text.split(":"):
        m = CELL_RE.match(piece)
        if not m:
            return False
        if not (1 <= col_number(m.group(1)) <= MAX_COL and 1 <= int(m.group(2)) <= MAX_ROW):
            return False
    return True


def is_range_token(tok):
    return tok.type == Token.OPERAND and tok.subtype == Token.RANGE


def is_func_open(tok):
    return tok.type == Token.FUNC and tok.subtype == Token.OPEN


def tokenize(text):
    return Tokenizer(text).items


def respell(text, tokens, change):
    """Rebuilds a formula token by token with change(tok) -> new text.

    openpyxl's Translator joins token values, which squeezes every run of
    spaces/line breaks into one character; here the original spacing is
    copied from the formula text instead. Returns None when the tokens cannot
    be lined up with the text.
    """
    if not text.startswith("="):
        return None
    out = ["="]
    pos = 1
    for tok in tokens:
        if tok.type == Token.WSPACE:
            m = WSPACE_RE.match(text, pos)
            if m is None:
                return None
            out.append(m.group())
            pos = m.end()
            continue
        if not text.startswith(tok.value, pos):
            return None
        pos += len(tok.value)
        out.append(change(tok))
    if pos != len(text):
        return None
    return "".join(out)


def classify_formula(text):
    """(kind, why, tokens). kind is 'formula' when the formula is moved with
    the block, 'value' when the engine pastes its cached value instead, or
    'unknown' when openpyxl cannot tokenize it."""
    if not text.lstrip("=").strip():
        return "value", "empty formula text (data table or shared formula without anchor)", None
    try:
        tokens = tokenize(text)
    except TokenizerError as exc:
        return "unknown", "openpyxl cannot tokenize it (%s)" % exc, None
    unlisted = None
    for tok in tokens:
        if is_range_token(tok):
            val = tok.value
            if "!" in val:
                return "value", "refers to another sheet/workbook: " + val, tokens
            if "[" in val:
                return "value", "external workbook or table reference: " + val, tokens
            if not is_a1_reference(val):
                return "value", "uses a defined name: " + val, tokens
        elif is_func_open(tok):
            # 'Sheet2!A1:INDEX(' comes out of the tokenizer as one function token
            if "!" in tok.value or "[" in tok.value:
                return "value", "refers to another sheet/workbook: " + tok.value, tokens
            name = tok.value[:-1].upper()
            if not name.startswith("_XLFN.") and name not in FORMULAE:
                unlisted = tok.value
    if unlisted:
        # openpyxl's list of functions lacks a few (TRUE, STDEV...): a function missing there
        # may be one the spreadsheet does not know (a macro's), whose value is pasted.
        return "formula or value", "calls a function openpyxl does not list: " + unlisted, tokens
    return "formula", None, tokens


def move_range(text, dr, dc, ref_errors):
    """Moves one range operand the way openpyxl's Translator does. With
    ref_errors, a reference pushed off the sheet becomes #REF! like Excel
    writes it; otherwise TranslatorError is raised for those."""
    try:
        moved = Translator.translate_range(text, dr, dc)
    except TranslatorError:
        if ref_errors:
            return "#REF!"
        raise
    if ref_errors and is_a1_reference(text) and not is_a1_reference(moved):
        return "#REF!"
    return moved


FUNC_WITH_RANGE_RE = re.compile(r"(.*):([^:]*\()$")


def move_func_prefix(text, dr, dc):
    """The tokenizer reads 'A1:INDEX(' as a single function token; move the A1 part."""
    m = FUNC_WITH_RANGE_RE.match(text)
    if not m or not is_a1_reference(m.group(1)):
        return text
    return move_range(m.group(1), dr, dc, True) + ":" + m.group(2)


class MovedFormula:
    """A source formula moved by (dr, dc).

    exact: the formula moved by openpyxl's Translator rules with the original
    spacing kept; None when a reference would leave the sheet (Translator
    refuses those) or the tokens cannot be lined up with the text.
    alternatives(): (formula, note) pairs also accepted -- off-sheet references
    as #REF!, 'A1:INDEX(' prefixes moved, Translator's own output. Only worked
    out when the result is not the exact formula, which keeps big sheets fast.
    """

    def __init__(self, text, tokens, dr, dc, src_coord, dst_coord):
        self.text = text
        self.tokens = tokens
        self.dr = dr
        self.dc = dc
        self.src_coord = src_coord
        self.dst_coord = dst_coord

        def exact_change(tok):
            return move_range(tok.value, dr, dc, False) if is_range_token(tok) else tok.value

        try:
            self.exact = respell(text, tokens, exact_change)
        except TranslatorError:
            self.exact = None
        self._alternatives = None

    def alternatives(self):
        if self._alternatives is not None:
            return self._alternatives
        dr, dc, exact = self.dr, self.dc, self.exact
        found = []
        notes = set()

        def lenient_change(tok):
            if is_range_token(tok):
                moved = move_range(tok.value, dr, dc, True)
                if moved == "#REF!" and tok.value != "#REF!":
                    notes.add("references moved off the sheet written as #REF!")
                return moved
            if is_func_open(tok) and ":" in tok.value:
                moved = move_func_prefix(tok.value, dr, dc)
                if moved != tok.value:
                    notes.add("reference before ':' of %s moved (openpyxl reads it as part "
                              "of the function name)" % tok.value)
                return moved
            return tok.value

        lenient = respell(self.text, self.tokens, lenient_change)
        if lenient is not None and lenient != exact:
            found.append((lenient, "; ".join(sorted(notes)) or "references moved"))
        try:
            by_translator = Translator(self.text, origin=self.src_coord).translate_formula(
                self.dst_coord)
        except TranslatorError:
            by_translator = None
        if by_translator is not None and by_translator != exact and by_translator != lenient:
            found.append((by_translator, "matches openpyxl Translator output "
                                         "(whitespace runs squeezed)"))
        self._alternatives = found
        return found

    def shown(self):
        """The expected text to print in a mismatch."""
        if self.exact is not None:
            return self.exact
        alternatives = self.alternatives()
        return alternatives[0][0] if alternatives else self.text


def upcase_functions(text):
    try:
        tokens = tokenize(text)
    except TokenizerError:
        return text
    out = respell(text, tokens, lambda t: t.value.upper() if is_func_open(t) else t.value)
    return text if out is None else out


def squeeze_spaces(text):
    """The formula as openpyxl's Translator joins it: every run of spaces or
    line breaks between tokens cut to its first character. openpyxl expands
    shared formulas that way, so a source cell that was part of a shared
    formula only shows us the squeezed text."""
    try:
        tokens = tokenize(text)
    except TokenizerError:
        return text
    return "=" + "".join(t.value for t in tokens)


def shift_range(ref, dr, dc):
    min_col, min_row, max_col, max_row = range_boundaries(ref)
    return (min_col + dc, min_row + dr, max_col + dc, max_row + dr)


def range_text(bounds):
    min_col, min_row, max_col, max_row = bounds
    first = "%s%d" % (get_column_letter(min_col), min_row) if 1 <= min_col <= 18278 else "?%d" % min_row
    if (min_col, min_row) == (max_col, max_row):
        return first
    last = "%s%d" % (get_column_letter(max_col), max_row) if 1 <= max_col <= 18278 else "?%d" % max_row
    return first + ":" + last


def formula_parts(cell):
    """(text, array_ref) of a formula cell, text with its leading '='.
    text is None for formula kinds openpyxl keeps as other objects."""
    value = cell.value
    if ArrayFormula is not None and isinstance(value, ArrayFormula):
        text = value.text or "="
        if not text.startswith("="):
            text = "=" + text
        return text, value.ref or cell.coordinate
    if isinstance(value, str):
        attrs = getattr(cell.parent, "formula_attributes", None) or {}
        attr = attrs.get(cell.coordinate)
        if attr and attr.get("t") == "array":
            return value, attr.get("ref") or cell.coordinate
        return value, None
    return None, None


def is_formula_cell(cell):
    return cell is not None and cell.data_type == "f"


# ---------------------------------------------------------------------------
# Values

def fmt(value):
    if isinstance(value, str):
        if len(value) > 60:
            return repr(value[:60]) + "...(%d chars)" % len(value)
        return repr(value)
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return value.isoformat()
    if isinstance(value, datetime.timedelta):
        return "timedelta(%r)" % value.total_seconds() + "s"
    return repr(value)


def fmt_cell(cell):
    if cell is None or cell.value is None:
        return "empty"
    if is_formula_cell(cell):
        text, ref = formula_parts(cell)
        if text is None:
            return "formula object %s" % type(cell.value).__name__
        return "formula %s%s" % (fmt(text), " (array %s)" % ref if ref else "")
    if cell.data_type == "e":
        return "error %s" % cell.value
    return "value %s" % fmt(cell.value)


def days_of(value):
    """A date/time value as days since 1899-12-30, or None for other values."""
    if isinstance(value, datetime.datetime):
        delta = value - WINDOWS_EPOCH
    elif isinstance(value, datetime.date):
        delta = datetime.datetime.combine(value, datetime.time()) - WINDOWS_EPOCH
    elif isinstance(value, datetime.time):
        delta = datetime.datetime.combine(WINDOWS_EPOCH.date(), value) - WINDOWS_EPOCH
    elif isinstance(value, datetime.timedelta):
        delta = value
    else:
        return None
    return delta.total_seconds() / 86400.0


def close_days(a, b):
    diff = abs(a - b)
    return diff <= TIME_ABS_TOLERANCE_DAYS or diff <= TIME_REL_TOLERANCE * max(abs(a), abs(b))


DAYS_1904_TO_1900 = 1462
FORMAT_LITERALS_RE = re.compile(r'"[^"]*"|\[[^\]]*\]|\\.|_.|\*.')


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def looks_like_date_format(code):
    """True when a number format shows a date or time part (d, m, y, h, s
    outside quoted text, [..] sections and escaped characters)."""
    if not code or code == "General":
        return False
    return re.search(r"[dmyhsDMYHS]", FORMAT_LITERALS_RE.sub("", code)) is not None


def time_kind(value):
    if isinstance(value, datetime.timedelta):
        return "duration"
    if isinstance(value, datetime.time):
        return "time"
    if isinstance(value, (datetime.datetime, datetime.date)):
        return "date"
    return None


_OOXML_ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def unescape_ooxml(text):
    """Reads the _xHHHH_ escapes that openpyxl leaves in some strings."""
    return _OOXML_ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), text)


def compare_values(src, res, src_1904):
    """(ok, note). note is set when the values are accepted although not
    literally equal."""
    if isinstance(src, bool) or isinstance(res, bool):
        return (type(src) is bool and type(res) is bool and src == res), None
    if isinstance(src, (int, float)):
        if not isinstance(res, (int, float)):
            return False, None
        return src == res, None
    if isinstance(src, str):
        if not isinstance(res, str):
            return False, None
        if src == res:
            return True, None
        if unescape_ooxml(src) == unescape_ooxml(res):
            return True, "same text once _xHHHH_ escapes are read"
        if len(src) > MAX_STRING and res == src[:MAX_STRING]:
            return True, "string of %d characters cut to %d" % (len(src), MAX_STRING)
        return False, None
        if len(src) > MAX_STRING and res == src[:MAX_STRING]:
            return True, "string of %d characters cut to %d" % (len(src), MAX_STRING)
        return False, None
    skind, rkind = time_kind(src), time_kind(res)
    if skind is not None and rkind is not None:
        sd, rd = days_of(src), days_of(res)
        if skind == rkind or {skind, rkind} == {"date"}:
            if close_days(sd, rd):
                return True, (None if sd == rd else "date/time equal within tolerance")
            return False, None
        if skind == "time" and rkind == "date" and src_1904:
            # openpyxl turns every serial below 1 into a bare time, even in a
            # 1904 workbook where serial 0.x is 1904-01-01 0x:xx; written with
            # the 1900 epoch that serial is 1462.x and reads back as a datetime.
            anchored = datetime.datetime.combine(MAC_EPOCH.date(), src)
            if close_days(days_of(anchored), rd):
                return True, "1904 serial below 1 (read as time %s) is 1904-01-01 in the result" % src
        return False, None
    return (src == res and type(src) is type(res)), None


# ---------------------------------------------------------------------------
# Styles

_style_cache = weakref.WeakKeyDictionary()  # workbook -> {style ids: style}


def style_key(cell):
    return tuple(cell._style)


def style_of(cell, key=None):
    """Normalised formatting of a cell; defaults spelled the same way."""
    per_book = _style_cache.setdefault(cell.parent.parent, {})
    if key is None:
        key = style_key(cell)
    found = per_book.get(key)
    if found is not None:
        return found
    font = cell.font
    al = cell.alignment
    border = cell.border
    fill = cell.fill
    fmt_id = cell._style.numFmtId
    if fmt_id < 164 and fmt_id not in BUILTIN_FORMATS:
        # a built-in id openpyxl has no code for (the locale ones): it calls
        # them 'General'; keep the id so that the same id still matches
        number_format = ("built-in format id", fmt_id)
    else:
        number_format = cell.number_format
    style = {
        "number format": number_format,
        "font name": font.name,
        "font size": float(font.sz) if font.sz is not None else None,
        "font bold": bool(font.b),
        "font italic": bool(font.i),
        "font underline": None if font.u in (None, "none") else font.u,
        "font strike": bool(font.strike),
        "alignment horizontal": al.horizontal or "general",
        "alignment vertical": al.vertical or "bottom",
        "alignment wrap_text": bool(al.wrap_text),
        "alignment indent": float(al.indent or 0),
        "alignment text_rotation": int(al.text_rotation or 0),
        "alignment shrink_to_fit": bool(al.shrink_to_fit),
    }
    for side in ("left", "right", "top", "bottom"):
        s = getattr(border, side, None)
        style["border " + side] = (s.style if s is not None else None) or None
    diag = border.diagonal
    diag_style = (diag.style if diag is not None else None) or None
    if diag_style and (border.diagonalUp or border.diagonalDown):
        style["border diagonal"] = (diag_style, bool(border.diagonalUp), bool(border.diagonalDown))
    else:
        style["border diagonal"] = None
    pattern = getattr(fill, "patternType", None)
    if pattern is None and getattr(fill, "tagname", "") == "gradientFill":
        style["fill pattern"] = "gradient"
    else:
        style["fill pattern"] = pattern or "none"
    per_book[key] = style
    return style


# keys where an unset source attribute means "application default": not compared
UNSET_MEANS_DEFAULT = ("font name", "font size")


# ---------------------------------------------------------------------------
# One manifest line

class SheetCheck:
    def __init__(self, job, books):
        self.job = job
        self.books = books
        self.mismatches = []
        self.accepted = []
        self.cells = 0
        self.stats = {"formulas moved": 0, "formulas as value": 0, "empty positions checked": 0,
                      "positions with a row or column format": 0}
        self.style_diffs = {}  # (source style ids, result style ids) -> differences

    # -- reporting
    def mismatch(self, src_coord, res_coord, what, expected, got):
        self.mismatches.append("MISMATCH %s %s!%s -> %s: %s expected %s got %s" % (
            self.job.src_path, self.job.src_sheet, src_coord, res_coord, what, expected, got))

    def accept(self, src_coord, res_coord, note):
        self.accepted.append("ACCEPTED %s %s!%s -> %s: %s" % (
            self.job.src_path, self.job.src_sheet, src_coord, res_coord, note))

    # -- setup
    def run(self):
        job = self.job
        src_book = self.books.get(job.src_path)
        swb = src_book.formulas()
        if job.src_sheet not in swb.sheetnames:
            raise SkipSheet("openpyxl does not see a sheet named %r (it sees %d sheets)"
                            % (job.src_sheet, len(swb.sheetnames)))
        sws = swb[job.src_sheet]
        if not isinstance(sws, Worksheet):
            raise SkipSheet("not a worksheet (%s)" % type(sws).__name__)
        self.sws = sws
        self.src_1904 = getattr(swb, "epoch", WINDOWS_EPOCH) == MAC_EPOCH
        self.src_values_ws = None
        self.res_values_ws = None

        res_book = self.books.get(job.result_path)
        try:
            rwb = res_book.formulas()
        except SkipSheet as exc:
            raise ResultUnreadable("result workbook cannot be read: %s" % exc)
        if job.result_sheet not in rwb.sheetnames:
            raise ResultUnreadable("result sheet %r not found" % job.result_sheet)
        rws = rwb[job.result_sheet]
        if not isinstance(rws, Worksheet):
            raise ResultUnreadable("result sheet %r is not a worksheet" % job.result_sheet)
        self.rws = rws

        self.dr = job.dst_top - job.src_top
        self.dc = job.dst_left - job.src_left
        self.check_cells()
        self.check_empty_formats()
        self.check_result_extras()
        self.check_merges()

    def cached_cell(self, row, col):
        if self.src_values_ws is None:
            self.src_values_ws = self.books.get(self.job.src_path).values()[self.job.src_sheet]
        return self.src_values_ws._cells.get((row, col))

    def in_source_rect(self, row, col):
        j = self.job
        return j.src_top <= row <= j.src_bottom and j.src_left <= col <= j.src_right

    # -- cells
    def check_cells(self):
        cells = sorted((k, c) for k, c in self.sws._cells.items() if self.in_source_rect(*k))
        res_cells = self.rws._cells
        for (row, col), cell in cells:
            if isinstance(cell, MergedCell):
                continue
            has_value = cell.value is not None
            link = cell.hyperlink
            comment = cell.comment
            if not (has_value or link or comment):
                continue
            self.cells += 1
            rrow, rcol = row + self.dr, col + self.dc
            scoord = cell.coordinate
            rcoord = "%s%d" % (get_column_letter(rcol), rrow)
            rcell = res_cells.get((rrow, rcol))
            if has_value:
                if is_formula_cell(cell):
                    self.check_formula(cell, rcell, scoord, rcoord)
                elif cell.data_type == "e":
                    self.check_error(cell.value, rcell, scoord, rcoord, "error cell")
                else:
                    self.check_plain(cell.value, rcell, scoord, rcoord, "value", cell)
                self.check_style(cell, rcell, scoord, rcoord)
            if link:
                self.check_link(link, rcell, scoord, rcoord)
            if comment:
                rcomment = rcell.comment if rcell is not None else None
                if rcomment is None:
                    self.mismatch(scoord, rcoord, "comment", fmt(comment.text), "none")
                elif rcomment.text != comment.text:
                    self.mismatch(scoord, rcoord, "comment text", fmt(comment.text),
                                  fmt(rcomment.text))

    def check_plain(self, src, rcell, scoord, rcoord, what, src_cell=None):
        if rcell is None or rcell.value is None:
            self.mismatch(scoord, rcoord, what, fmt(src), "empty")
            return
        if is_formula_cell(rcell):
            self.mismatch(scoord, rcoord, what, fmt(src), fmt_cell(rcell))
            return
        if rcell.data_type == "e":
            self.mismatch(scoord, rcoord, what, fmt(src), fmt_cell(rcell))
            return
        res = rcell.value
        ok, note = compare_values(src, res, self.src_1904)
        if (not ok and self.src_1904 and is_number(src) and is_number(res)
                and src_cell is not None and looks_like_date_format(src_cell.number_format)
                and abs(res - (src + DAYS_1904_TO_1900)) <= TIME_ABS_TOLERANCE_DAYS):
            # openpyxl did not take this format for a date, so it shows the
            # raw 1904 serial; our result holds the same date as a 1900 serial
            ok, note = True, ("1904 serial %r is 1900 serial %r (format %r not read as a "
                              "date by openpyxl)" % (src, res, src_cell.number_format))
        if not ok:
            self.mismatch(scoord, rcoord, what, fmt(src), fmt(res))
        elif note:
            self.accept(scoord, rcoord, note)

    def check_error(self, text, rcell, scoord, rcoord, what):
        if rcell is not None and rcell.data_type == "e" and rcell.value == text:
            return
        self.mismatch(scoord, rcoord, what, "error %s" % text, fmt_cell(rcell))

    def check_cached(self, cell, rcell, scoord, rcoord, why):
        """The formula must have been pasted as its cached value."""
        cached = self.cached_cell(cell.row, cell.column)
        what = "value of formula (%s)" % why
        if cached is not None and cached.data_type == "e" and cached.value is not None:
            self.check_error(cached.value, rcell, scoord, rcoord, what)
            return
        cval = cached.value if cached is not None else None
        if cval is None or cval == "":
            # openpyxl turns an empty cached string (<v></v>) into None, so
            # None and '' are the same thing here.
            if rcell is None or rcell.value in (None, ""):
                return
            if is_formula_cell(rcell):
                self.mismatch(scoord, rcoord, what, "no formula (no cached value in source)",
                              fmt_cell(rcell))
            else:
                self.accept(scoord, rcoord, "source formula has no cached value; result holds %s"
                            % fmt(rcell.value))
            return
        self.check_plain(cval, rcell, scoord, rcoord, what, cell)

    def check_formula(self, cell, rcell, scoord, rcoord):
        text, array_ref = formula_parts(cell)
        if text is None:
            self.check_cached(cell, rcell, scoord, rcoord,
                              "openpyxl keeps it as %s" % type(cell.value).__name__)
            return
        kind, why, tokens = classify_formula(text)
        if kind == "value":
            self.stats["formulas as value"] += 1
            self.check_cached(cell, rcell, scoord, rcoord, why)
            return
        pasted_error = (is_formula_cell(rcell) and isinstance(rcell.value, str)
                        and ERROR_CODES_RE.match(rcell.value[1:]) is not None)
        if kind == "formula or value" and (not is_formula_cell(rcell) or pasted_error):
            self.stats["formulas as value"] += 1
            self.check_cached(cell, rcell, scoord, rcoord, why)
            return
        if kind == "unknown":
            if is_formula_cell(rcell):
                self.accept(scoord, rcoord, "formula %s not verified: %s; result has %s"
                            % (fmt(text), why, fmt_cell(rcell)))
            else:
                self.check_cached(cell, rcell, scoord, rcoord, why)
            return

        try:
            cached = self.cached_cell(cell.row, cell.column)
        except SkipSheet:
            cached = None
        if (cached is not None and cached.data_type == "e" and cached.value is not None and rcell is not None
                and rcell.value in (cached.value, "=" + str(cached.value)) and text != rcell.value):
            # A formula whose own result is an error may come out as that error (the
            # engine keeps text the spreadsheet would not take, such as a call with too
            # many arguments, as its value): the source program could not compute it either.
            self.stats["formulas as value"] += 1
            self.accept(scoord, rcoord, "formula %s pasted as its error value %s"
                        % (fmt(text), fmt(cached.value)))
            return

        self.stats["formulas moved"] += 1
        moved = MovedFormula(text, tokens, self.dr, self.dc, scoord, rcoord)

        if rcell is None or rcell.value is None:
            self.mismatch(scoord, rcoord, "formula", fmt(moved.shown()), "empty")
            return
        if not is_formula_cell(rcell):
            got = fmt_cell(rcell)
            try:
                cached = self.cached_cell(cell.row, cell.column)
            except SkipSheet:
                cached = None
            if cached is not None and cached.value is not None and rcell.data_type != "e":
                same, _ = compare_values(cached.value, rcell.value, self.src_1904)
                if same:
                    got += " (the cached value: formula written as value)"
            self.mismatch(scoord, rcoord, "formula", fmt(moved.shown()), got)
            return

        rtext, rref = formula_parts(rcell)
        if rtext is None:
            self.mismatch(scoord, rcoord, "formula", fmt(moved.shown()), fmt_cell(rcell))
            return
        if rtext != moved.exact:
            accepted = None
            rnorm = upcase_functions(rtext)
            exact = moved.exact
            candidates = ([(exact, None)] if exact is not None else []) + moved.alternatives()
            for cand, note in candidates:
                if rnorm == upcase_functions(cand):
                    if note is None:
                        accepted = "function names differ only in case"
                    else:
                        accepted = note
                        if rtext != cand:
                            accepted += "; function names differ only in case"
                    break
            if accepted is None:
                rsqueezed = squeeze_spaces(rnorm)
                for cand, note in candidates:
                    if rsqueezed == squeeze_spaces(upcase_functions(cand)):
                        accepted = ("differs only in the length of space runs (openpyxl squeezes "
                                    "them in shared formulas)")
                        break
            if accepted is None:
                self.mismatch(scoord, rcoord, "formula", fmt(moved.shown()), fmt(rtext))
                return
            if exact is not None:
                accepted += "; openpyxl's Translator gives %s" % fmt(exact)
            else:
                accepted += "; openpyxl's Translator refuses to move it off the sheet"
            self.accept(scoord, rcoord, "formula %s for source %s: %s" % (fmt(rtext), fmt(text), accepted))

        if array_ref is not None:
            want = range_text(shift_range(array_ref, self.dr, self.dc))
            if rref is None:
                self.mismatch(scoord, rcoord, "array formula range", want, "not an array formula")
            elif range_boundaries(rref) != shift_range(array_ref, self.dr, self.dc):
                self.mismatch(scoord, rcoord, "array formula range", want, rref)
        elif rref is not None:
            self.mismatch(scoord, rcoord, "array formula range", "not an array formula", rref)
        self.check_cached_result(cell, rcell, scoord, rcoord)

    def result_cached_cell(self, row, col):
        if self.res_values_ws is None:
            self.res_values_ws = self.books.get(self.job.result_path).values()[self.job.result_sheet]
        return self.res_values_ws._cells.get((row, col))

    def check_cached_result(self, cell, rcell, scoord, rcoord):
        """A moved formula keeps its cached result, with the same type."""
        try:
            src = self.cached_cell(cell.row, cell.column)
        except SkipSheet:
            return
        res = self.result_cached_cell(rcell.row, rcell.column)
        sval = src.value if src is not None else None
        rval = res.value if res is not None else None
        what = "cached result of the formula"
        if sval is None or sval == "":
            # openpyxl reads an empty cached string (<v></v>) as None
            if rval not in (None, ""):
                self.mismatch(scoord, rcoord, what, "none", fmt(rval))
            return
        if rval is None:
            self.mismatch(scoord, rcoord, what, fmt(sval), "none")
            return
        serr, rerr = src.data_type == "e", res.data_type == "e"
        if serr or rerr:
            if not (serr and rerr and sval == rval):
                self.mismatch(scoord, rcoord, what, ("error %s" % sval) if serr else fmt(sval),
                              ("error %s" % rval) if rerr else fmt(rval))
            return
        ok, _ = compare_values(sval, rval, self.src_1904)
        if not ok and VOLATILE_RE.search(formula_parts(cell)[0] or ""):
            # NOW(), RAND() and the like are saved with the result of the moment: a twin of
            # the same workbook saved at another time holds another one, of the same type.
            ok = type(sval) is type(rval)
        if not ok:
            self.mismatch(scoord, rcoord, what, "%s %s" % (type(sval).__name__, fmt(sval)),
                          "%s %s" % (type(rval).__name__, fmt(rval)))

    def check_style(self, cell, rcell, scoord, rcoord):
        if rcell is None:
            return  # already reported as a missing value
        skey, rkey = style_key(cell), style_key(rcell)
        diffs = self.style_diffs.get((skey, rkey))
        if diffs is None:
            s = style_of(cell, skey)
            r = style_of(rcell, rkey)
            diffs = []
            for key, want in s.items():
                got = r.get(key)
                if want == got:
                    continue
                if want is None and key in UNSET_MEANS_DEFAULT:
                    continue
                if key == "number format" and isinstance(want, tuple):
                    diffs.append((False, key, fmt(want), fmt(got)))
                    continue
                diffs.append((True, key, fmt(want), fmt(got)))
            self.style_diffs[(skey, rkey)] = diffs
        for real, key, want, got in diffs:
            if real:
                self.mismatch(scoord, rcoord, key, want, got)
            else:
                self.accept(scoord, rcoord, "%s %s unknown to openpyxl; result has %s"
                            % (key, want, got))

    def check_link(self, link, rcell, scoord, rcoord):
        want = (link.target or None, link.location or None)
        rlink = rcell.hyperlink if rcell is not None else None
        if rlink is None:
            self.mismatch(scoord, rcoord, "hyperlink", link_text(want), "none")
            return
        got = (rlink.target or None, rlink.location or None)
        if got == want:
            return
        self.mismatch(scoord, rcoord, "hyperlink", link_text(want), link_text(got))

    # -- formats of the positions without a value
    @staticmethod
    def format_sources(ws, top, bottom, left, right):
        """(rows, column runs): rows of top..bottom with a format of their own, and runs
        (lo, hi, dimension) of left..right whose columns have one."""
        rows = {r: d for r, d in ws.row_dimensions.items()
                if top <= r <= bottom and d.has_style}
        cols = []
        for d in ws.column_dimensions.values():
            if d.min is None or not d.has_style:
                continue
            lo, hi = max(d.min, left), min(d.max, right)
            if lo <= hi:
                cols.append((lo, hi, d))
        return rows, cols

    @staticmethod
    def effective(cells, rows, cols, row, col):
        """What gives (row, col) its format: its cell, its row, its column; None for the
        workbook's default."""
        cell = cells.get((row, col))
        if cell is not None:
            return cell
        d = rows.get(row)
        if d is not None:
            return d
        for lo, hi, d in cols:
            if lo <= col <= hi:
                return d
        return None

    def check_empty_formats(self):
        j = self.job
        dr, dc = self.dr, self.dc
        src_cells, res_cells = self.sws._cells, self.rws._cells
        srows, scols = self.format_sources(self.sws, j.src_top, j.src_bottom, j.src_left, j.src_right)
        rrows, rcols = self.format_sources(self.rws, j.src_top + dr, j.src_bottom + dr,
                                           j.src_left + dc, j.src_right + dc)
        # Only positions where either side has something other than the default.
        positions = set()
        for (row, col) in src_cells:
            if self.in_source_rect(row, col):
                positions.add((row, col))
        for (row, col) in res_cells:
            if self.in_source_rect(row - dr, col - dc):
                positions.add((row - dr, col - dc))
        for row in list(srows) + [r - dr for r in rrows]:
            positions.update((row, col) for col in range(j.src_left, j.src_right + 1))
        for lo, hi, _ in scols:
            positions.update((row, col) for row in range(j.src_top, j.src_bottom + 1)
                             for col in range(lo, hi + 1))
        for lo, hi, _ in rcols:
            positions.update((row, col) for row in range(j.src_top, j.src_bottom + 1)
                             for col in range(lo - dc, hi - dc + 1))
        src_default = Cell(self.sws, style_array=StyleArray())
        res_default = Cell(self.rws, style_array=StyleArray())

        def plain(obj):
            """True for nothing, or the workbook's default cell format (xf 0)."""
            if obj is None or not obj.has_style:
                return True
            styles = obj.parent.parent._cell_styles
            return len(styles) > 0 and tuple(obj._style) == tuple(styles[0])

        for row, col in sorted(positions):
            scell = src_cells.get((row, col))
            rcell = res_cells.get((row + dr, col + dc))
            if isinstance(scell, MergedCell) or isinstance(rcell, MergedCell):
                continue  # openpyxl keeps no format for the cells a merged range covers
            if scell is not None and (scell.value is not None or scell.hyperlink or scell.comment):
                continue  # checked with the cell's value
            s_obj = self.effective(src_cells, srows, scols, row, col)
            r_obj = self.effective(res_cells, rrows, rcols, row + dr, col + dc)
            s_default = plain(s_obj)
            if s_default and plain(r_obj):
                continue
            if not s_default and scell is None:
                self.stats["positions with a row or column format"] += 1
            self.stats["empty positions checked"] += 1
            scoord = "%s%d" % (get_column_letter(col), row)
            rcoord = "%s%d" % (get_column_letter(col + dc), row + dr)
            s_style = style_of(s_obj if s_obj is not None else src_default)
            r_style = style_of(r_obj if r_obj is not None else res_default)
            for key, want in s_style.items():
                got = r_style.get(key)
                if want == got or (want is None and key in UNSET_MEANS_DEFAULT):
                    continue
                # The source's default font against the result's: no format of the position.
                if s_default and key in UNSET_MEANS_DEFAULT:
                    continue
                if key == "number format" and isinstance(want, tuple):
                    self.accept(scoord, rcoord, "%s %s unknown to openpyxl; result has %s"
                                % (key, fmt(want), fmt(got)))
                    continue
                self.mismatch(scoord, rcoord, "format of empty position: " + key, fmt(want), fmt(got))

    # -- result cells of the block that have no counterpart in the source
    def check_result_extras(self):
        j = self.job
        top, bottom = j.src_top + self.dr, j.src_bottom + self.dr
        left, right = j.src_left + self.dc, j.src_right + self.dc
        src_cells = self.sws._cells
        extras = []
        for (row, col), rcell in self.rws._cells.items():
            if not (top <= row <= bottom and left <= col <= right):
                continue
            if isinstance(rcell, MergedCell):
                continue
            scell = src_cells.get((row - self.dr, col - self.dc))
            extras.append(((row, col), rcell, scell))
        extras.sort(key=lambda e: e[0])
        for (row, col), rcell, scell in extras:
            srow, scol = row - self.dr, col - self.dc
            scoord = "%s%d" % (get_column_letter(scol), srow)
            rcoord = rcell.coordinate
            src_value = None if scell is None or isinstance(scell, MergedCell) else scell.value
            if rcell.value is not None and src_value is None:
                if scell is None or not isinstance(scell, MergedCell):
                    self.mismatch(scoord, rcoord, "value of empty source cell", "empty",
                                  fmt_cell(rcell))
                else:
                    self.mismatch(scoord, rcoord, "value inside merged range", "empty",
                                  fmt_cell(rcell))
            if rcell.hyperlink is not None and (scell is None or scell.hyperlink is None):
                got = (rcell.hyperlink.target or None, rcell.hyperlink.location or None)
                self.mismatch(scoord, rcoord, "hyperlink", "none", link_text(got))
            if rcell.comment is not None and (scell is None or scell.comment is None):
                self.mismatch(scoord, rcoord, "comment", "none", fmt(rcell.comment.text))

    # -- merged ranges
    def check_merges(self):
        j = self.job
        src = set()
        for mr in self.sws.merged_cells.ranges:
            b = mr.bounds
            if (j.src_left <= b[0] and b[2] <= j.src_right
                    and j.src_top <= b[1] and b[3] <= j.src_bottom):
                src.add(b)
        res = set(mr.bounds for mr in self.rws.merged_cells.ranges)
        for b in sorted(src, key=lambda b: (b[1], b[0])):
            moved = (b[0] + self.dc, b[1] + self.dr, b[2] + self.dc, b[3] + self.dr)
            if moved not in res:
                self.mismatch(range_text(b), range_text(moved), "merged range",
                              range_text(moved), "not merged")
        top, bottom = j.src_top + self.dr, j.src_bottom + self.dr
        left, right = j.src_left + self.dc, j.src_right + self.dc
        for b in sorted(res, key=lambda b: (b[1], b[0])):
            if left <= b[0] and b[2] <= right and top <= b[1] and b[3] <= bottom:
                back = (b[0] - self.dc, b[1] - self.dr, b[2] - self.dc, b[3] - self.dr)
                if back not in src:
                    self.mismatch(range_text(back), range_text(b), "merged range",
                                  "not merged", range_text(b))


def link_text(pair):
    target, location = pair
    parts = []
    if target:
        parts.append("target " + repr(target))
    if location:
        parts.append("location " + repr(location))
    return " ".join(parts) if parts else "empty link"


# ---------------------------------------------------------------------------
# Manifest and driver

class Job:
    FIELDS = ("src_path", "src_sheet", "result_path", "result_sheet",
              "src_top", "src_left", "dst_top", "dst_left", "src_bottom", "src_right")

    def __init__(self, fields):
        for name, value in zip(self.FIELDS, fields):
            setattr(self, name, value)
        for name in self.FIELDS[4:]:
            setattr(self, name, int(getattr(self, name)))
        if self.src_top < 1 or self.src_left < 1 or self.dst_top < 1 or self.dst_left < 1:
            raise ValueError("rows and columns are 1-based")
        if self.src_bottom < self.src_top or self.src_right < self.src_left:
            raise ValueError("empty rectangle")


def read_manifest(path):
    jobs = []
    with open(path, encoding="utf-8") as fh:
        for number, line in enumerate(fh, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != len(Job.FIELDS):
                raise ValueError("%s:%d: expected %d tab-separated fields, got %d"
                                 % (path, number, len(Job.FIELDS), len(fields)))
            base = os.path.dirname(os.path.abspath(path))
            for i in (0, 2):
                # paths are taken relative to the current directory, or else
                # to the manifest's own directory
                if not os.path.isabs(fields[i]) and not os.path.exists(fields[i]):
                    beside = os.path.join(base, fields[i])
                    if os.path.exists(beside):
                        fields[i] = beside
            try:
                jobs.append(Job(fields))
            except ValueError as exc:
                raise ValueError("%s:%d: %s" % (path, number, exc))
    return jobs


class BookCache:
    """Books by real path; each is dropped after the last manifest line using it."""

    def __init__(self, jobs):
        self.books = {}
        self.last_use = {}
        for index, job in enumerate(jobs):
            for p in (job.src_path, job.result_path):
                self.last_use[os.path.realpath(p)] = index

    def get(self, path):
        key = os.path.realpath(path)
        book = self.books.get(key)
        if book is None:
            book = self.books[key] = Book(path)
        return book

    def done_with(self, index):
        for key, last in self.last_use.items():
            if last == index:
                self.books.pop(key, None)


def main(argv):
    parser = argparse.ArgumentParser(description="Check pasted blocks against their sources.")
    parser.add_argument("manifest")
    parser.add_argument("--verbose", action="store_true",
                        help="also print accepted differences and per-sheet counts")
    args = parser.parse_args(argv)

    try:
        jobs = read_manifest(args.manifest)
    except (OSError, ValueError) as exc:
        print("ERROR bad manifest: %s" % exc)
        return 2

    cache = BookCache(jobs)
    total_cells = 0
    total_sheets = 0
    total_mismatches = 0
    total_inherited = 0
    internal_errors = 0

    for index, job in enumerate(jobs):
        check = SheetCheck(job, cache)
        try:
            check.run()
        except SkipSheet as exc:
            print("SKIP %s %s: %s" % (job.src_path, job.src_sheet, exc))
            cache.done_with(index)
            continue
        except ResultUnreadable as exc:
            check.mismatches = []
            check.mismatch("%s:%s" % (range_text((job.src_left, job.src_top, job.src_left, job.src_top)),
                                      range_text((job.src_right, job.src_bottom,
                                                  job.src_right, job.src_bottom))),
                           "%s!%s" % (job.result_sheet,
                                      range_text((job.dst_left, job.dst_top,
                                                  job.dst_left, job.dst_top))),
                           "result", "readable sheet %r in %s" % (job.result_sheet, job.result_path),
                           str(exc))
        except Exception as exc:
            internal_errors += 1
            print("ERROR %s %s: checker failed: %s" % (job.src_path, job.src_sheet,
                                                       describe_exception(exc)))
            if args.verbose:
                traceback.print_exc(file=sys.stdout)
            cache.done_with(index)
            continue
        cache.done_with(index)

        total_sheets += 1
        total_cells += check.cells
        total_inherited += check.stats["positions with a row or column format"]
        total_mismatches += len(check.mismatches)
        for line in check.mismatches[:MAX_LINES_PER_SHEET]:
            print(line)
        if len(check.mismatches) > MAX_LINES_PER_SHEET:
            print("... %d more mismatches in %s %s not shown"
                  % (len(check.mismatches) - MAX_LINES_PER_SHEET, job.src_path, job.src_sheet))
        if args.verbose:
            for line in check.accepted[:MAX_LINES_PER_SHEET]:
                print(line)
            if len(check.accepted) > MAX_LINES_PER_SHEET:
                print("... %d more accepted differences in %s %s not shown"
                      % (len(check.accepted) - MAX_LINES_PER_SHEET, job.src_path, job.src_sheet))
            print("SHEET %s %s -> %s %s: %d cells, %d formulas moved, %d formulas as value, "
                  "%d empty positions with a format (%d from their row or column), "
                  "%d accepted differences, %d mismatches"
                  % (job.src_path, job.src_sheet, job.result_path, job.result_sheet, check.cells,
                     check.stats["formulas moved"], check.stats["formulas as value"],
                     check.stats["empty positions checked"],
                     check.stats["positions with a row or column format"],
                     len(check.accepted), len(check.mismatches)))

    print("%d positions without a cell take their row's or column's format" % total_inherited)
    print("checked %d cells in %d sheets, %d mismatches" % (total_cells, total_sheets, total_mismatches))
    if total_mismatches:
        return 1
    return 2 if internal_errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
