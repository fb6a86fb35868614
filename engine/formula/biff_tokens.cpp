#include "engine/formula/biff_tokens.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "engine/core/biff_common.h"
#include "engine/core/number_text.h"
#include "engine/core/unicode.h"
#include "engine/formula/formula_text.h"
#include "engine/formula/function_catalog.h"

namespace corvane::biff {

namespace {

// Tokens that cannot be read: the formula has no text at all.
struct Malformed {};

// Binding strength of what an item's text is at its top level, higher binds tighter.
// Parentheses come from PtgParen; others are added only where the order of the tokens needs
// them (an operand that binds looser than its operator, a union as an argument).
constexpr int kCompare = 5, kConcat = 10, kAdd = 20, kMul = 30, kPower = 40, kPercent = 50, kPrefix = 60,
              kUnion = 70, kIsect = 80, kRange = 90, kAtom = 100;

// `v` of `bits` bits read as a signed number.
int64_t SignExtend(uint32_t v, unsigned bits) {
  if (bits >= 32) return static_cast<int32_t>(v);
  uint32_t sign = uint32_t{1} << (bits - 1);
  v &= (sign << 1) - 1;
  return static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign);
}

int32_t Wrap(int64_t v, int32_t size) { return static_cast<int32_t>(((v % size) + size) % size); }

}  // namespace

// The fields of a token stream; a read past the end is Malformed.
class TokenDecompiler::Cursor : public biff::FieldReader<Malformed> {
 public:
  using FieldReader::FieldReader;
  // 2 or 4 bytes, as the layout has it.
  uint32_t word(uint8_t bytes) { return bytes == 2 ? u16() : u32(); }
  // An index of 2 bytes followed by 2 unused ones, or of 4 bytes.
  uint32_t index(uint8_t bytes) {
    uint32_t v = word(bytes);
    if (bytes == 2) skip(2);
    return v;
  }
};

struct TokenDecompiler::Corner {
  RefCorner at;
  bool bad = false;  // outside the sheet
};

void TokenDecompiler::charge(size_t chars) {
  work_ += chars;
  if (work_ > kFormulaWork || spent_ + work_ > kSheetWork) throw Malformed{};
}

TokenDecompiler::Item& TokenDecompiler::push(int prec) {
  if (top_ >= kMaxDepth) throw Malformed{};
  if (top_ == stack_.size()) stack_.emplace_back();
  Item& it = stack_[top_++];
  it.text.clear();
  it.prec = prec;
  it.name = it.addIn = false;
  it.text.swap(spaceBefore_);
  return it;
}

void TokenDecompiler::binary(const char* op, int prec) {
  if (top_ < 2) throw Malformed{};
  Item& a = stack_[top_ - 2];
  Item& b = stack_[top_ - 1];
  charge(a.text.size() + b.text.size());
  // Operators of one strength group from the left: a right operand of the same strength
  // keeps its parentheses.
  if (a.prec < prec) a.text = "(" + a.text + ")";
  if (b.prec <= prec) b.text = "(" + b.text + ")";
  a.text += spaceBefore_;
  spaceBefore_.clear();
  a.text += op;
  a.text += b.text;
  a.prec = prec;
  a.name = false;
  --top_;
}

void TokenDecompiler::prefixUnary(char op) {
  if (top_ < 1) throw Malformed{};
  Item& a = stack_[top_ - 1];
  std::string t = spaceBefore_;
  spaceBefore_.clear();
  t += op;
  t += a.prec < kPrefix ? "(" + a.text + ")" : a.text;
  charge(t.size());
  a.text.swap(t);
  a.prec = kPrefix;
  a.name = false;
}

void TokenDecompiler::percent() {
  if (top_ < 1) throw Malformed{};
  Item& a = stack_[top_ - 1];
  charge(a.text.size());
  if (a.prec < kPercent) a.text = "(" + a.text + ")";
  a.text += spaceBefore_;
  spaceBefore_.clear();
  a.text += '%';
  a.prec = kPercent;
  a.name = false;
}

void TokenDecompiler::parentheses() {
  if (top_ < 1) throw Malformed{};
  Item& a = stack_[top_ - 1];
  std::string t = spaceBefore_ + "(" + a.text + spaceClose_ + ")";
  charge(t.size());
  spaceBefore_.clear();
  spaceClose_.clear();
  a.text.swap(t);
  a.prec = kAtom;
  a.name = false;
}

void TokenDecompiler::function(std::string_view name, size_t args) {
  if (top_ < args) throw Malformed{};
  scratch_.clear();
  scratch_ += spaceBefore_;
  scratch_ += name;
  scratch_ += '(';
  for (size_t i = top_ - args; i < top_; ++i) {
    if (i > top_ - args) scratch_ += ',';
    // Arguments stand as their tokens have them: the separating commas bind looser than any
    // operator but the union, whose commas would read as separators.
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
  spaceClose_.clear();
  top_ -= args;
  push(kAtom).text.swap(scratch_);
}

// PtgAttr: spaces the user typed, SUM of one argument, and jumps for the calculator only.
void TokenDecompiler::attribute(Cursor& in) {
  uint8_t kind = in.u8();
  if (kind & 0x40) {  // tAttrSpace (0x41 with the volatile bit)
    uint8_t type = in.u8(), count = in.u8();
    // 0-3: before the next expression or its opening parenthesis; 4-5: before its closing
    // parenthesis; 6: after the '=' sign, which the text leaves out.
    std::string* target = type <= 3 ? &spaceBefore_ : type <= 5 ? &spaceClose_ : nullptr;
    if (target) {
      charge(count);
      target->append(count, (type & 1) ? '\n' : ' ');
    }
  } else if (kind & 0x04) {  // tAttrChoose: a jump table follows
    uint16_t n = in.u16();
    in.skip((size_t{n} + 1) * 2);
  } else if (kind & 0x10) {  // tAttrSum
    in.skip(2);
    function("SUM", 1);
  } else {
    in.skip(2);  // semi-volatile, if, goto, skip: no text of their own
  }
}

// A user-defined or future function: its name is the first argument.
void TokenDecompiler::userFunction(size_t argc) {
  if (argc == 0 || top_ < argc) throw Malformed{};
  auto first = stack_.begin() + static_cast<std::ptrdiff_t>(top_ - argc);
  std::rotate(first, first + 1, stack_.begin() + static_cast<std::ptrdiff_t>(top_));
  --top_;
  Item& nameItem = stack_[top_];
  if (!nameItem.name) valueOnly_ = true;
  if (nameItem.addIn) --addIns_;
  std::string text = std::move(nameItem.text);
  size_t at = std::min(text.find_first_not_of(" \n"), text.size());
  std::string_view name = std::string_view(text).substr(at);
  // Functions the binary files call by their future name but .xlsx formulas write bare.
  constexpr std::string_view kFuture = "_xlfn.";
  if (name.size() > kFuture.size() && name.substr(0, kFuture.size()) == kFuture &&
      FunctionByFormulaName(name.substr(kFuture.size())))
    name.remove_prefix(kFuture.size());
  // A function the spreadsheet does not know (a macro's, an add-in's) has no text that keeps
  // its meaning in another workbook.
  const FunctionSpec* known = FunctionByFormulaName(name);
  if (!known || !TakesArgs(*known, argc - 1)) valueOnly_ = true;
  // The spaces before the name come first.
  spaceBefore_.insert(0, text, 0, at);
  function(name, argc - 1);
}

// PtgFuncVar: a function with the number of its arguments.
bool TokenDecompiler::funcVar(Cursor& in) {
  size_t argc = in.u8() & 0x7Fu;
  uint16_t tab = in.u16();
  uint16_t id = tab & 0x7FFF;
  if (top_ < argc) return false;
  if (tab & 0x8000) {  // a macro command
    valueOnly_ = true;
    function("#N/A", argc);
  } else if (id == 0xFF) {
    userFunction(argc);
  } else if (const FunctionSpec* f = id < layout_.functions ? BuiltinFunction(id) : nullptr) {
    if (!f->inCells || !TakesArgs(*f, argc)) valueOnly_ = true;
    function(f->name, argc);
  } else {
    valueOnly_ = true;
    function("#NAME?", argc);
  }
  return true;
}

// PtgStr: a 1-byte count, a flags byte and the characters (BIFF8), or a 2-byte count of
// UTF-16 units (BIFF12).
void TokenDecompiler::string(Cursor& in, std::string& out) {
  if (layout_.wideStrings) {
    size_t count = in.u16();
    in.chars(count, true, out);
    return;
  }
  size_t count = in.u8();
  bool wide = in.u8() & 1;
  in.chars(count, wide, out);
}

// PtgArray's values, which follow the tokens: {1,2;3,4}.
void TokenDecompiler::arrayConstant(Cursor& extra) {
  uint64_t rows, cols;
  if (layout_.arrays12) {
    rows = extra.u32();
    cols = extra.u32();
  } else {
    cols = uint64_t{extra.u8()} + 1;
    rows = uint64_t{extra.u16()} + 1;
  }
  // Every element takes bytes: counts beyond them are no array.
  if (rows == 0 || cols == 0 || rows * cols > extra.left()) throw Malformed{};
  Item& it = push(kAtom);
  std::string& out = it.text;
  out += '{';
  std::string s;
  for (uint64_t r = 0; r < rows; ++r) {
    if (r) out += ';';
    for (uint64_t c = 0; c < cols; ++c) {
      if (c) out += ',';
      uint8_t type = extra.u8();
      s.clear();
      if (layout_.arrays12) {
        switch (type) {
          case 0x00: AppendFormulaNumber(out, extra.f64()); break;
          case 0x01: extra.chars(extra.u16(), true, s); AppendFormulaString(out, s); break;
          case 0x02: AppendFormulaBool(out, extra.u8() != 0); break;
          case 0x04:
            AppendFormulaError(out, ErrorFromBiff(extra.u8()));
            extra.skip(3);
            break;
          default: throw Malformed{};
        }
      } else {
        switch (type) {
          case 0x00: extra.skip(8); break;  // empty
          case 0x01: AppendFormulaNumber(out, extra.f64()); break;
          case 0x02: {
            size_t count = extra.u16();
            bool wide = extra.u8() & 1;
            extra.chars(count, wide, s);
            AppendFormulaString(out, s);
            break;
          }
          case 0x04:
            AppendFormulaBool(out, extra.u8() != 0);
            extra.skip(7);
            break;
          case 0x10:
            AppendFormulaError(out, ErrorFromBiff(extra.u8()));
            extra.skip(7);
            break;
          default: throw Malformed{};
        }
      }
      charge(1);
    }
  }
  out += '}';
  charge(out.size());
}

// A reference's row and column word: the column in its low bits, bit 14 a relative column,
// bit 15 a relative row. Relative parts of PtgRefN and PtgAreaN are offsets from the
// formula's cell, wrapping around the sheet's edges as the spreadsheet wraps them.
TokenDecompiler::Corner TokenDecompiler::corner(uint32_t row, uint16_t colWord, bool offsets, int32_t baseRow,
                                                int32_t baseCol) const {
  Corner c;
  bool colRel = colWord & 0x4000, rowRel = colWord & 0x8000;
  uint32_t col = colWord & ((1u << layout_.columnBits) - 1);
  int64_t r = row, k = col;
  if (offsets && rowRel) r = Wrap(baseRow + SignExtend(row, layout_.rowBytes * 8u), layout_.rows);
  if (offsets && colRel) k = Wrap(baseCol + SignExtend(col, layout_.columnBits), layout_.cols);
  c.bad = r >= layout_.rows || k >= layout_.cols;
  c.at = RefCorner{static_cast<int32_t>(c.bad ? 0 : r), static_cast<int32_t>(c.bad ? 0 : k), !rowRel, !colRel};
  return c;
}

void TokenDecompiler::cellRef(std::string& out, const Corner& c) {
  if (c.bad) {
    out += "#REF!";
    valueOnly_ = true;
  } else {
    AppendCellRef(out, c.at);
  }
  charge(out.size());
}

void TokenDecompiler::areaRef(std::string& out, const Corner& a, const Corner& b) {
  if (a.bad || b.bad) {
    out += "#REF!";
    valueOnly_ = true;
  } else {
    AppendAreaRef(out, a.at, b.at, layout_.rows, layout_.cols);
  }
  charge(out.size());
}

Decoded TokenDecompiler::decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row,
                                   int32_t col, std::string& text) {
  top_ = 0;
  addIns_ = 0;
  valueOnly_ = false;
  spaceBefore_.clear();
  spaceClose_.clear();
  work_ = 0;
  bool ok = false;
  Cursor in(rgce, cce), extra(rgcb, cb);
  try {
    ok = run(in, extra, row, col);
  } catch (const Malformed&) {
    ok = false;
  }
  spent_ += work_;
  if (!ok || top_ != 1) return Decoded::NotFormula;
  text = stack_[0].text;
  if (addIns_ > 0 || text.size() > kMaxText) valueOnly_ = true;
  return valueOnly_ ? Decoded::ValueOnly : Decoded::Formula;
}

bool TokenDecompiler::run(Cursor& in, Cursor& extra, int32_t row, int32_t col) {
  const uint8_t rowBytes = layout_.rowBytes;
  while (in.left() > 0) {
    uint8_t ptg = in.u8();
    // Operand tokens come in three classes (reference, value, array) that read alike.
    uint8_t base = ptg < 0x20 ? ptg : static_cast<uint8_t>((ptg & 0x1F) | 0x20);
    if (ptg >= 0x80) return false;
    switch (base) {
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
      case 0x12: prefixUnary('+'); break;
      case 0x13: prefixUnary('-'); break;
      case 0x14: percent(); break;
      case 0x15: parentheses(); break;  // parentheses the user typed
      case 0x16: push(kAtom); break;    // a missing argument
      case 0x17: {
        std::string s;
        string(in, s);
        AppendFormulaString(push(kAtom).text, s);
        charge(s.size());
        break;
      }
      case 0x18: {  // extended tokens
        if (!layout_.listTokens) return false;
        uint8_t eptg = in.u8();
        if (eptg == 0x19) {  // PtgList: a table reference
          in.skip(12);
          push(kAtom).text += "#REF!";
        } else if (eptg == 0x1D) {  // PtgSxName: a pivot table's name
          in.skip(4);
          push(kAtom).text += "#NAME?";
        } else {
          return false;
        }
        valueOnly_ = true;
        break;
      }
      case 0x19: attribute(in); break;
      case 0x1C: {
        ErrorCode e = ErrorFromBiff(in.u8(), ErrorCode::Unknown);
        if (e == ErrorCode::Unknown) {
          valueOnly_ = true;
          e = ErrorCode::NA;
        }
        AppendFormulaError(push(kAtom).text, e);
        break;
      }
      case 0x1D: AppendFormulaBool(push(kAtom).text, in.u8() != 0); break;
      case 0x1E: {
        char buf[8];
        auto r = std::to_chars(buf, buf + sizeof buf, in.u16());
        push(kAtom).text.append(buf, r.ptr);
        break;
      }
      case 0x1F: AppendFormulaNumber(push(kAtom).text, in.f64()); break;
      case 0x20:  // PtgArray: its values follow the tokens
        in.skip(layout_.arrayUnused);
        arrayConstant(extra);
        break;
      case 0x21: {  // PtgFunc: a fixed number of arguments
        uint16_t tab = in.u16();
        const FunctionSpec* f = tab < layout_.functions ? BuiltinFunction(tab) : nullptr;
        // Without the table the argument count is unknown: nothing after can be read.
        if (!f || f->minArgs != f->maxArgs) return false;
        if (!f->inCells) valueOnly_ = true;
        function(f->name, f->minArgs);
        break;
      }
      case 0x22:
        if (!funcVar(in)) return false;
        break;
      case 0x23: {  // PtgName
        uint32_t index = in.index(rowBytes);
        Item& it = push(kAtom);
        Decoded d = links_.name(index, it.text);
        mark(d);
        it.name = d == Decoded::Formula;
        charge(it.text.size());
        break;
      }
      case 0x24:    // PtgRef
      case 0x2C: {  // PtgRefN: relative to the formula's cell
        uint32_t r = in.word(rowBytes);
        uint16_t c = in.u16();
        cellRef(push(kAtom).text, corner(r, c, base == 0x2C, row, col));
        break;
      }
      case 0x25:    // PtgArea
      case 0x2D: {  // PtgAreaN
        uint32_t r1 = in.word(rowBytes), r2 = in.word(rowBytes);
        uint16_t c1 = in.u16(), c2 = in.u16();
        bool offsets = base == 0x2D;
        areaRef(push(kAtom).text, corner(r1, c1, offsets, row, col), corner(r2, c2, offsets, row, col));
        break;
      }
      case 0x26: {  // PtgMemArea: the areas it precomputed follow the tokens; no text
        in.skip(6);
        uint32_t n = extra.word(rowBytes);
        if (n > extra.left() / (4u * rowBytes)) return false;
        extra.skip(size_t{n} * 4 * rowBytes);
        break;
      }
      case 0x27:  // PtgMemErr
      case 0x28:  // PtgMemNoMem: the expression that follows stands on its own
        in.skip(6);
        break;
      case 0x29:  // PtgMemFunc
      case 0x2E:  // PtgMemAreaN
      case 0x2F:  // PtgMemNoMemN
        in.skip(2);
        break;
      case 0x2A:  // PtgRefErr
        in.skip(rowBytes + 2u);
        push(kAtom).text += "#REF!";
        break;
      case 0x2B:  // PtgAreaErr
        in.skip(2u * rowBytes + 4u);
        push(kAtom).text += "#REF!";
        break;
      case 0x39: {  // PtgNameX: a name of another book, or of an add-in
        uint16_t ixti = in.u16();
        uint32_t index = in.index(rowBytes);
        Item& it = push(kAtom);
        bool addIn = false;
        mark(links_.externalName(ixti, index, it.text, addIn));
        it.name = true;
        it.addIn = addIn;
        if (addIn) ++addIns_;
        charge(it.text.size());
        break;
      }
      case 0x3A: {  // PtgRef3d
        uint16_t ixti = in.u16();
        uint32_t r = in.word(rowBytes);
        uint16_t c = in.u16();
        Item& it = push(kAtom);
        mark(links_.sheetPrefix(ixti, it.text));
        cellRef(it.text, corner(r, c, false, row, col));
        break;
      }
      case 0x3B: {  // PtgArea3d
        uint16_t ixti = in.u16();
        uint32_t r1 = in.word(rowBytes), r2 = in.word(rowBytes);
        uint16_t c1 = in.u16(), c2 = in.u16();
        Item& it = push(kAtom);
        mark(links_.sheetPrefix(ixti, it.text));
        areaRef(it.text, corner(r1, c1, false, row, col), corner(r2, c2, false, row, col));
        break;
      }
      case 0x3C:    // PtgRefErr3d
      case 0x3D: {  // PtgAreaErr3d
        uint16_t ixti = in.u16();
        in.skip(base == 0x3C ? rowBytes + 2u : 2u * rowBytes + 4u);
        Item& it = push(kAtom);
        mark(links_.sheetPrefix(ixti, it.text));
        it.text += "#REF!";
        charge(it.text.size());
        break;
      }
      default:
        // PtgExp and PtgTbl stand alone and are resolved by the caller; the rest are unknown.
        return false;
    }
  }
  return true;
}

}  // namespace corvane::biff
