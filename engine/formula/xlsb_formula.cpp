#include "engine/formula/xlsb_formula.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "engine/containers/xlsb_records.h"
#include "engine/core/biff_common.h"
#include "engine/core/cellref.h"
#include "engine/core/number_text.h"
#include "engine/formula/function_catalog.h"

namespace corvane::xlsb {

namespace {

// Functions Excel stores in .xlsb as future functions (a name with the _xlfn.
// prefix) but writes bare in .xlsx, whose own function list has them.
bool BareInXlsx(std::string_view name) {
  for (std::string_view n : {"IFERROR", "COUNTIFS", "SUMIFS", "AVERAGEIF", "AVERAGEIFS", "NETWORKDAYS.INTL",
                             "WORKDAY.INTL", "ISO.CEILING", "ECMA.CEILING"})
    if (name == n) return true;
  return false;
}

// Operator precedence, higher binds tighter.
constexpr int kAtom = 100, kRange = 90, kIsect = 80, kUnion = 70, kPrefix = 60, kPercent = 50, kPower = 40,
              kMul = 30, kAdd = 20, kConcat = 10, kCompare = 5;

bool NeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  unsigned char c0 = static_cast<unsigned char>(name[0]);
  if ((c0 >= '0' && c0 <= '9') || c0 == '.') return true;
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                 c == '.' || c >= 0x80;
    if (!plain) return true;
  }
  // Names a reader would take for a cell: A1 style or R1C1 style.
  int32_t r, c;
  if (ParseA1(name, r, c)) return true;
  size_t i = 0;
  auto digits = [&] {
    while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  };
  if (i < name.size() && (name[i] == 'R' || name[i] == 'r')) {
    ++i;
    digits();
  }
  if (i < name.size() && (name[i] == 'C' || name[i] == 'c')) {
    ++i;
    digits();
  }
  return i == name.size();
}

void AppendEscaped(std::string& out, std::string_view s, char quote) {
  for (char c : s) {
    if (c == quote) out += quote;
    out += c;
  }
}

void AppendCell(std::string& out, uint32_t row, uint32_t col, bool rowRel, bool colRel) {
  if (!colRel) out += '$';
  AppendColumnName(out, static_cast<int32_t>(col));
  if (!rowRel) out += '$';
  char buf[12];
  auto r = std::to_chars(buf, buf + sizeof buf, row + 1);
  out.append(buf, r.ptr);
}

void AppendRow(std::string& out, uint32_t row, bool rel) {
  if (!rel) out += '$';
  char buf[12];
  auto r = std::to_chars(buf, buf + sizeof buf, row + 1);
  out.append(buf, r.ptr);
}

void AppendCol(std::string& out, uint32_t col, bool rel) {
  if (!rel) out += '$';
  AppendColumnName(out, static_cast<int32_t>(col));
}

// A reference's row and column word: 14 bits of column, then the relative flags.
struct Loc {
  uint32_t row = 0, col = 0;
  bool rowRel = false, colRel = false;
  bool bad = false;
};

Loc ReadLoc(uint32_t row, uint16_t colWord, bool offsets, int32_t baseRow, int32_t baseCol) {
  Loc l;
  l.colRel = colWord & 0x4000;
  l.rowRel = colWord & 0x8000;
  int32_t c = colWord & 0x3FFF;
  int64_t r = row;
  if (offsets) {
    // Shared-formula offsets wrap around the sheet's edges as Excel's do.
    if (l.rowRel) r = ((static_cast<int64_t>(baseRow) + static_cast<int32_t>(row)) % kMaxRows + kMaxRows) % kMaxRows;
    if (l.colRel) {
      int32_t off = (c & 0x2000) ? c - 0x4000 : c;
      c = ((baseCol + off) % kMaxCols + kMaxCols) % kMaxCols;
    }
  }
  if (r >= kMaxRows || c >= kMaxCols) l.bad = true;
  l.row = static_cast<uint32_t>(r);
  l.col = static_cast<uint32_t>(c);
  return l;
}

void AppendArea(std::string& out, const Loc& a, const Loc& b) {
  if (a.row == 0 && b.row == kMaxRows - 1 && !(a.col == 0 && b.col == kMaxCols - 1)) {
    AppendCol(out, a.col, a.colRel);
    out += ':';
    AppendCol(out, b.col, b.colRel);
  } else if (a.col == 0 && b.col == kMaxCols - 1 && !(a.row == 0 && b.row == kMaxRows - 1)) {
    AppendRow(out, a.row, a.rowRel);
    out += ':';
    AppendRow(out, b.row, b.rowRel);
  } else {
    AppendCell(out, a.row, a.col, a.rowRel, a.colRel);
    out += ':';
    AppendCell(out, b.row, b.col, b.rowRel, b.colRel);
  }
}

}  // namespace

void AppendSheetName(std::string& out, std::string_view name) {
  if (!NeedsQuotes(name)) {
    out += name;
    return;
  }
  out += '\'';
  AppendEscaped(out, name, '\'');
  out += '\'';
}

void FormulaDecompiler::charge(size_t chars) {
  work_ += chars;
  if (work_ > kFormulaWork || spent_ + work_ > kSheetWork) throw RecordTooShort{};
}

FormulaDecompiler::Item& FormulaDecompiler::push(int prec) {
  if (top_ >= kMaxDepth) throw RecordTooShort{};
  if (top_ == stack_.size()) stack_.emplace_back();
  Item& it = stack_[top_++];
  it.text.clear();
  it.prec = prec;
  it.isName = false;
  if (!spaceBefore_.empty()) {
    it.text = spaceBefore_;
    spaceBefore_.clear();
  }
  return it;
}

void FormulaDecompiler::binary(std::string_view op, int prec) {
  if (top_ < 2) throw RecordTooShort{};
  Item& a = stack_[top_ - 2];
  Item& b = stack_[top_ - 1];
  charge(a.text.size() + b.text.size());
  if (a.prec < prec) a.text = "(" + a.text + ")";
  if (b.prec <= prec) b.text = "(" + b.text + ")";
  a.text += spaceBefore_;
  spaceBefore_.clear();
  a.text += op;
  a.text += b.text;
  a.prec = prec;
  a.isName = false;
  --top_;
}

void FormulaDecompiler::function(std::string_view name, size_t args) {
  if (top_ < args) throw RecordTooShort{};
  scratch_.clear();
  scratch_ += spaceBefore_;
  scratch_ += name;
  scratch_ += spaceOpen_;
  scratch_ += '(';
  for (size_t i = top_ - args; i < top_; ++i) {
    if (i > top_ - args) scratch_ += ',';
    if (stack_[i].prec == kUnion) {
      scratch_ += '(';
      scratch_ += stack_[i].text;
      scratch_ += ')';
    } else {
      scratch_ += stack_[i].text;
    }
  }
  scratch_ += spaceClose_;
  scratch_ += ')';
  charge(scratch_.size());
  spaceBefore_.clear();
  spaceOpen_.clear();
  spaceClose_.clear();
  top_ -= args;
  Item& it = push(kAtom);
  it.text.swap(scratch_);
}

void FormulaDecompiler::sheetPrefix(uint16_t ixti, std::string& out) {
  if (ixti >= ctx_.externSheets.size()) {
    valueOnly_ = true;
    out += "#REF!";
    return;
  }
  const ExternSheet& x = ctx_.externSheets[ixti];
  if (x.supBook < 0 || static_cast<size_t>(x.supBook) >= ctx_.supBooks.size()) {
    valueOnly_ = true;
    out += "#REF!";
    return;
  }
  const SupBook& book = ctx_.supBooks[x.supBook];
  auto sheetName = [&](int32_t i) -> const std::string* {
    const auto& list = book.kind == SupBookKind::External ? book.sheets : ctx_.sheetNames;
    return i >= 0 && static_cast<size_t>(i) < list.size() ? &list[i] : nullptr;
  };
  const std::string* n1 = sheetName(x.first);
  const std::string* n2 = sheetName(x.last);
  if (book.kind == SupBookKind::Same || book.kind == SupBookKind::Addin) {
    valueOnly_ = true;
    return;
  }
  if (!n1) {
    valueOnly_ = true;
    out += "#REF!";
    return;
  }
  std::string whole;
  if (book.kind == SupBookKind::External) whole = "[" + std::to_string(book.externalIndex) + "]";
  whole += *n1;
  if (n2 && x.last != x.first) {
    whole += ':';
    whole += *n2;
  }
  bool quote = NeedsQuotes(*n1) || (n2 && x.last != x.first && NeedsQuotes(*n2));
  if (quote) {
    out += '\'';
    AppendEscaped(out, whole, '\'');
    out += '\'';
  } else {
    out += whole;
  }
  out += '!';
}

Decoded FormulaDecompiler::decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row,
                                     int32_t col, std::string& text) {
  top_ = 0;
  valueOnly_ = false;
  spaceBefore_.clear();
  spaceOpen_.clear();
  spaceClose_.clear();
  lead_.clear();
  work_ = 0;
  bool ok = false;
  try {
    ok = run(rgce, cce, rgcb, cb, row, col);
  } catch (const RecordTooShort&) {
    ok = false;
  }
  spent_ += work_;
  if (!ok || top_ != 1) return Decoded::NotFormula;
  text = lead_;
  text += stack_[0].text;
  return valueOnly_ ? Decoded::ValueOnly : Decoded::Formula;
}

bool FormulaDecompiler::run(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row,
                            int32_t col) {
  Reader in(rgce, cce);
  Reader extra(rgcb, cb);
  while (in.left() > 0) {
    uint8_t ptg = in.u8();
    // Operand tokens come in three classes (reference, value, array) that read alike.
    uint8_t base = ptg < 0x20 ? ptg : static_cast<uint8_t>((ptg & 0x1F) | 0x20);
    switch (base) {
      case 0x01:  // PtgExp: only ever alone, handled by the cell
      case 0x02:  // PtgTbl: a data-table cell
        return false;
      case 0x03: binary("+", kAdd); break;
      case 0x04: binary("-", kAdd); break;
      case 0x05: binary("*", kMul); break;
      case 0x06: binary("/", kMul); break;
      case 0x07: binary("^", kPower); break;
      case 0x08: binary("&", kConcat); break;
      case 0x09: binary("<", kCompare); break;
      case 0x0A: binary("<=", kCompare); break;
      case 0x0B: binary("=", kCompare); break;
      case 0x0C: binary(">=", kCompare); break;
      case 0x0D: binary(">", kCompare); break;
      case 0x0E: binary("<>", kCompare); break;
      case 0x0F: binary(" ", kIsect); break;
      case 0x10: binary(",", kUnion); break;
      case 0x11: binary(":", kRange); break;
      case 0x12:
      case 0x13: {  // unary plus and minus
        if (top_ < 1) return false;
        Item& a = stack_[top_ - 1];
        std::string t = spaceBefore_;
        spaceBefore_.clear();
        t += base == 0x12 ? '+' : '-';
        t += a.prec < kPrefix ? "(" + a.text + ")" : a.text;
        charge(t.size());
        a.text.swap(t);
        a.prec = kPrefix;
        a.isName = false;
        break;
      }
      case 0x14: {  // percent
        if (top_ < 1) return false;
        Item& a = stack_[top_ - 1];
        charge(a.text.size());
        if (a.prec < kPercent) a.text = "(" + a.text + ")";
        a.text += spaceBefore_;
        spaceBefore_.clear();
        a.text += '%';
        a.prec = kPercent;
        a.isName = false;
        break;
      }
      case 0x15: {  // parentheses
        if (top_ < 1) return false;
        Item& a = stack_[top_ - 1];
        std::string t = spaceBefore_ + spaceOpen_ + "(" + a.text + spaceClose_ + ")";
        charge(t.size());
        spaceBefore_.clear();
        spaceOpen_.clear();
        spaceClose_.clear();
        a.text.swap(t);
        a.prec = kAtom;
        a.isName = false;
        break;
      }
      case 0x16: push(kAtom); break;  // missing argument
      case 0x17: {
        Item& it = push(kAtom);
        std::string s;
        in.shortString(s);
        it.text += '"';
        AppendEscaped(it.text, s, '"');
        it.text += '"';
        charge(it.text.size());
        break;
      }
      case 0x18: {  // extended tokens
        uint8_t eptg = in.u8();
        if (eptg == 0x19) {  // PtgList: a table reference
          in.skip(12);
          push(kAtom).text += "#REF!";
          valueOnly_ = true;
        } else if (eptg == 0x1D) {  // PtgSxName: a pivot-table name
          in.skip(4);
          push(kAtom).text += "#NAME?";
          valueOnly_ = true;
        } else {
          return false;
        }
        break;
      }
      case 0x19: {  // PtgAttr
        uint8_t kind = in.u8();
        if (kind == 0x40 || kind == 0x41) {
          uint8_t type = in.u8(), count = in.u8();
          std::string* target = nullptr;
          switch (type) {
            case 0: case 1: target = &spaceBefore_; break;
            case 2: case 3: target = &spaceOpen_; break;
            case 4: case 5: target = &spaceClose_; break;
            default: break;  // before the '=' sign: the text has none
          }
          if (target) {
            charge(count);
            target->append(count, (type & 1) ? '\n' : ' ');
          }
        } else if (kind & 0x04) {  // Choose: a jump table
          uint16_t n = in.u16();
          in.skip((size_t{n} + 1) * 2);
        } else if (kind & 0x10) {  // SUM with one argument
          in.skip(2);
          function("SUM", 1);
        } else {
          in.skip(2);  // semi-volatile, if, goto, skip: no text of their own
        }
        break;
      }
      case 0x1C: {
        ErrorCode e = biff::ErrorFromBiff(in.u8(), ErrorCode::Unknown);
        if (e == ErrorCode::Unknown) {
          valueOnly_ = true;
          e = ErrorCode::NA;
        }
        push(kAtom).text += ErrorText(e);
        break;
      }
      case 0x1D: push(kAtom).text += in.u8() ? "TRUE" : "FALSE"; break;
      case 0x1E: {
        Item& it = push(kAtom);
        char buf[8];
        auto r = std::to_chars(buf, buf + sizeof buf, in.u16());
        it.text.append(buf, r.ptr);
        break;
      }
      case 0x1F: {
        double v = in.f64();
        AppendFormulaNumber(push(kAtom).text, v);
        break;
      }
      case 0x20: {  // PtgArray: the constants follow the tokens
        in.skip(14);
        uint32_t rows = extra.u32(), cols = extra.u32();
        // Every element takes at least two bytes.
        if (rows == 0 || cols == 0 || uint64_t{rows} * cols > extra.left() / 2) return false;
        Item& it = push(kAtom);
        it.text += '{';
        for (uint32_t r = 0; r < rows; ++r) {
          if (r) it.text += ';';
          for (uint32_t c = 0; c < cols; ++c) {
            if (c) it.text += ',';
            uint8_t type = extra.u8();
            switch (type) {
              case 0x00: AppendFormulaNumber(it.text, extra.f64()); break;
              case 0x01: {
                std::string s;
                extra.shortString(s);
                it.text += '"';
                AppendEscaped(it.text, s, '"');
                it.text += '"';
                break;
              }
              case 0x02:
                it.text += extra.u8() ? "TRUE" : "FALSE";
                break;
              case 0x04: {
                ErrorCode e = biff::ErrorFromBiff(extra.u8(), ErrorCode::Unknown);
                extra.skip(3);
                it.text += ErrorText(e == ErrorCode::Unknown ? ErrorCode::NA : e);
                break;
              }
              default:
                return false;
            }
          }
        }
        it.text += '}';
        charge(it.text.size());
        break;
      }
      case 0x21: {  // PtgFunc: a fixed number of arguments
        uint16_t id = in.u16();
        const FunctionSpec* f = BuiltinFunction(id & 0x7FFF);
        if (!f || (id & 0x8000)) return false;  // without the table the argument count is unknown
        function(f->name, f->minArgs);
        break;
      }
      case 0x22: {  // PtgFuncVar
        uint8_t argc = in.u8() & 0x7F;
        uint16_t tab = in.u16();
        uint16_t id = tab & 0x7FFF;
        if (top_ < argc) return false;
        if (tab & 0x8000) {  // a macro command
          valueOnly_ = true;
          function("#N/A", argc);
        } else if (id == 0xFF) {  // user-defined or future function: its name comes first
          if (argc == 0) return false;
          // The name is no argument: move it off the stack.
          auto first = stack_.begin() + static_cast<std::ptrdiff_t>(top_ - argc);
          std::rotate(first, first + 1, stack_.begin() + static_cast<std::ptrdiff_t>(top_));
          --top_;
          std::string name = std::move(stack_[top_].text);
          if (!stack_[top_].isName) valueOnly_ = true;
          std::string_view shown = name;
          if (shown.substr(0, 6) == "_xlfn." && BareInXlsx(shown.substr(6))) shown.remove_prefix(6);
          // A function the spreadsheet does not know (a macro's, an add-in's) has no text
          // that keeps its meaning in another workbook.
          const FunctionSpec* known = FunctionByFormulaName(shown);
          if (!known || argc - 1 < known->minArgs || argc - 1 > MaxArgs(*known)) valueOnly_ = true;
          function(shown, argc - 1u);
        } else if (const FunctionSpec* f = BuiltinFunction(id)) {
          function(f->name, argc);
        } else {
          valueOnly_ = true;
          function("#NAME?", argc);
        }
        break;
      }
      case 0x23: {  // PtgName
        uint32_t i = in.u32();
        Item& it = push(kAtom);
        if (i >= 1 && i <= ctx_.names.size()) {
          it.text += ctx_.names[i - 1].name;
          it.isName = true;
        } else {
          it.text += "#NAME?";
          valueOnly_ = true;
        }
        charge(it.text.size());
        break;
      }
      case 0x24:    // PtgRef
      case 0x2C: {  // PtgRefN: relative to the formula's cell
        uint32_t r = in.u32();
        uint16_t c = in.u16();
        Loc l = ReadLoc(r, c, base == 0x2C, row, col);
        Item& it = push(kAtom);
        if (l.bad) {
          it.text += "#REF!";
          valueOnly_ = true;
        } else {
          AppendCell(it.text, l.row, l.col, l.rowRel, l.colRel);
        }
        break;
      }
      case 0x25:    // PtgArea
      case 0x2D: {  // PtgAreaN
        uint32_t r1 = in.u32(), r2 = in.u32();
        uint16_t c1 = in.u16(), c2 = in.u16();
        bool relative = base == 0x2D;
        Loc a = ReadLoc(r1, c1, relative, row, col), b = ReadLoc(r2, c2, relative, row, col);
        Item& it = push(kAtom);
        if (a.bad || b.bad) {
          it.text += "#REF!";
          valueOnly_ = true;
        } else {
          AppendArea(it.text, a, b);
        }
        break;
      }
      case 0x26: {  // PtgMemArea: precomputed areas in the extra data, no text
        in.skip(6);
        uint32_t n = extra.u32();
        if (n > extra.left() / 16) return false;
        extra.skip(size_t{n} * 16);
        break;
      }
      case 0x27:  // PtgMemErr
      case 0x28:  // PtgMemNoMem
        in.skip(6);
        break;
      case 0x29:  // PtgMemFunc
      case 0x2E:  // PtgMemAreaN
      case 0x2F:  // PtgMemNoMemN
        in.skip(2);
        break;
      case 0x2A:  // PtgRefErr
        in.skip(6);
        push(kAtom).text += "#REF!";
        break;
      case 0x2B:  // PtgAreaErr
        in.skip(12);
        push(kAtom).text += "#REF!";
        break;
      case 0x39: {  // PtgNameX: a name of another book or of an add-in
        uint16_t ixti = in.u16();
        uint32_t i = in.u32();
        Item& it = push(kAtom);
        it.isName = true;
        const ExternSheet* x = ixti < ctx_.externSheets.size() ? &ctx_.externSheets[ixti] : nullptr;
        const SupBook* book = x && x->supBook >= 0 && static_cast<size_t>(x->supBook) < ctx_.supBooks.size()
                                  ? &ctx_.supBooks[x->supBook]
                                  : nullptr;
        if (book && book->kind == SupBookKind::Self && i >= 1 && i <= ctx_.names.size()) {
          if (x->first >= 0) sheetPrefix(ixti, it.text);
          it.text += ctx_.names[i - 1].name;
        } else if (book && book->kind == SupBookKind::External && i >= 1 && i <= book->names.size()) {
          it.text += "[" + std::to_string(book->externalIndex) + "]!";
          it.text += book->names[i - 1];
        } else {
          // Add-in functions and names that cannot be found: no text an .xlsx file would hold.
          if (book && i >= 1 && i <= book->names.size()) it.text += book->names[i - 1];
          else it.text += "#NAME?";
          valueOnly_ = true;
        }
        charge(it.text.size());
        break;
      }
      case 0x3A: {  // PtgRef3d
        uint16_t ixti = in.u16();
        uint32_t r = in.u32();
        uint16_t c = in.u16();
        Loc l = ReadLoc(r, c, false, row, col);
        Item& it = push(kAtom);
        sheetPrefix(ixti, it.text);
        if (l.bad) {
          it.text += "#REF!";
          valueOnly_ = true;
        } else {
          AppendCell(it.text, l.row, l.col, l.rowRel, l.colRel);
        }
        charge(it.text.size());
        break;
      }
      case 0x3B: {  // PtgArea3d
        uint16_t ixti = in.u16();
        uint32_t r1 = in.u32(), r2 = in.u32();
        uint16_t c1 = in.u16(), c2 = in.u16();
        Loc a = ReadLoc(r1, c1, false, row, col), b = ReadLoc(r2, c2, false, row, col);
        Item& it = push(kAtom);
        sheetPrefix(ixti, it.text);
        if (a.bad || b.bad) {
          it.text += "#REF!";
          valueOnly_ = true;
        } else {
          AppendArea(it.text, a, b);
        }
        charge(it.text.size());
        break;
      }
      case 0x3C:  // PtgRefErr3d
      case 0x3D: {  // PtgAreaErr3d
        uint16_t ixti = in.u16();
        in.skip(base == 0x3C ? 6 : 12);
        Item& it = push(kAtom);
        sheetPrefix(ixti, it.text);
        it.text += "#REF!";
        valueOnly_ = true;
        charge(it.text.size());
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace corvane::xlsb
