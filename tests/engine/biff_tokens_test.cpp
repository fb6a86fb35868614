// The one BIFF token decompiler: the same formulas stored with BIFF8's operand widths and
// with BIFF12's read as the same text.
#include <gtest/gtest.h>

#include <functional>

#include "engine/formula/biff_tokens.h"

namespace corvane {
namespace {

using biff::Decoded;

// Sheet range 0 is "Sheet2", 1 another workbook; name 1 "Rate", 2 "_xlfn.IFERROR"; name 1 of
// range 2 an add-in's "EOMONTH".
class StubLinks : public biff::TokenLinks {
 public:
  Decoded sheetPrefix(uint16_t ixti, std::string& out) const override {
    if (ixti != 0) return Decoded::ValueOnly;
    out += "Sheet2!";
    return Decoded::Formula;
  }
  Decoded name(uint32_t index, std::string& out) const override {
    if (index < 1 || index > 2) return Decoded::ValueOnly;
    out += index == 1 ? "Rate" : "_xlfn.IFERROR";
    return Decoded::Formula;
  }
  Decoded externalName(uint16_t ixti, uint32_t index, std::string& out, bool& addIn) const override {
    if (ixti != 2 || index != 1) return Decoded::ValueOnly;
    out += "EOMONTH";
    addIn = true;
    return Decoded::Formula;
  }
};

// Token bytes in one layout's widths.
struct Tokens {
  const biff::TokenLayout& layout;
  static std::string U8(unsigned v) { return std::string(1, static_cast<char>(v)); }
  static std::string U16(unsigned v) { return U8(v & 0xFF) + U8((v >> 8) & 0xFF); }
  static std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
  std::string row(uint32_t r) const { return layout.rowBytes == 2 ? U16(r) : U32(r); }
  std::string index(uint32_t i) const { return layout.rowBytes == 2 ? U16(i) + U16(0) : U32(i); }
  static std::string colWord(unsigned c, bool rowRel, bool colRel) {
    return U16(c | (colRel ? 0x4000u : 0) | (rowRel ? 0x8000u : 0));
  }
  std::string ref(uint32_t r, unsigned c, bool rel = true) const { return U8(0x44) + row(r) + colWord(c, rel, rel); }
  std::string refN(int32_t dr, int32_t dc) const {
    uint32_t rowOff = layout.rowBytes == 2 ? static_cast<uint16_t>(dr) : static_cast<uint32_t>(dr);
    unsigned colOff = static_cast<unsigned>(dc) & ((1u << layout.columnBits) - 1);
    return U8(0x4C) + row(rowOff) + colWord(colOff, true, true);
  }
  std::string area(uint32_t r1, uint32_t r2, unsigned c1, unsigned c2) const {
    return U8(0x25) + row(r1) + row(r2) + colWord(c1, false, false) + colWord(c2, false, false);
  }
  std::string ref3d(uint16_t ixti, uint32_t r, unsigned c) const { return U8(0x5A) + U16(ixti) + row(r) + colWord(c, true, true); }
  std::string str(const std::string& s) const {  // ASCII only
    if (layout.wideStrings) {
      std::string out = U16(static_cast<unsigned>(s.size()));
      for (char ch : s) out += U16(static_cast<unsigned char>(ch));
      return U8(0x17) + out;
    }
    return U8(0x17) + U8(static_cast<unsigned>(s.size())) + U8(0) + s;
  }
  std::string name(uint32_t i) const { return U8(0x43) + index(i); }
  std::string nameX(uint16_t ixti, uint32_t i) const { return U8(0x59) + U16(ixti) + index(i); }
  static std::string integer(unsigned v) { return U8(0x1E) + U16(v); }
  static std::string func(unsigned id) { return U8(0x41) + U16(id); }
  static std::string funcVar(unsigned argc, unsigned id) { return U8(0x42) + U8(argc) + U16(id); }
  static std::string space(unsigned type, unsigned count) { return U8(0x19) + U8(0x40) + U8(type) + U8(count); }
};

struct Result {
  Decoded how;
  std::string text;
};

Result Decompile(const biff::TokenLayout& layout, const std::string& rgce, int32_t row = 0, int32_t col = 0) {
  StubLinks links;
  biff::TokenDecompiler d(layout, links);
  Result r{Decoded::NotFormula, {}};
  r.how = d.decompile(reinterpret_cast<const uint8_t*>(rgce.data()), rgce.size(), nullptr, 0, row, col, r.text);
  return r;
}

TEST(BiffTokens, BothLayoutsReadTheSameFormulas) {
  const std::string add("\x03", 1), mul("\x05", 1), sub("\x04", 1), paren("\x15", 1), isect("\x0F", 1);
  struct Case {
    const char* what;
    std::function<std::string(const Tokens&)> tokens;
    int32_t row, col;
    Decoded how;
    const char* text;  // the text when the formula has one
  };
  const Case cases[] = {
      {"order without parentheses", [&](const Tokens& t) { return t.ref(0, 0) + t.ref(0, 1) + add + t.integer(2) + mul; },
       0, 0, Decoded::Formula, "(A1+B1)*2"},
      {"left grouping", [&](const Tokens& t) { return t.integer(1) + t.integer(2) + t.integer(3) + sub + sub; }, 0, 0,
       Decoded::Formula, "1-(2-3)"},
      {"spaces typed", [&](const Tokens& t) { return t.ref(0, 0) + t.space(0, 1) + t.ref(0, 1) + t.space(4, 1) + add + paren; },
       0, 0, Decoded::Formula, "(A1+ B1 )"},
      {"absolute", [&](const Tokens& t) { return t.ref(4, 3, false); }, 0, 0, Decoded::Formula, "$D$5"},
      {"whole columns", [&](const Tokens& t) { return t.area(0, static_cast<uint32_t>(t.layout.rows - 1), 1, 2); }, 0, 0,
       Decoded::Formula, "$B:$C"},
      {"shared offsets", [&](const Tokens& t) { return t.refN(-1, 1); }, 9, 3, Decoded::Formula, "E9"},
      {"shared offsets wrap", [&](const Tokens& t) { return t.refN(-1, 0); }, 0, 0, Decoded::Formula, nullptr},
      {"string", [&](const Tokens& t) { return t.str("a\"b"); }, 0, 0, Decoded::Formula, "\"a\"\"b\""},
      {"3-D", [&](const Tokens& t) { return t.ref3d(0, 0, 0) + t.ref(1, 1) + isect; }, 0, 0, Decoded::Formula, "Sheet2!A1 B2"},
      {"another workbook", [&](const Tokens& t) { return t.ref3d(1, 0, 0); }, 0, 0, Decoded::ValueOnly, nullptr},
      {"name", [&](const Tokens& t) { return t.name(1) + t.integer(2) + mul; }, 0, 0, Decoded::Formula, "Rate*2"},
      {"future function by name",
       [&](const Tokens& t) { return t.name(2) + t.ref(0, 0) + t.integer(0) + t.funcVar(3, 255); }, 0, 0, Decoded::Formula,
       "IFERROR(A1,0)"},
      {"a name called as a function", [&](const Tokens& t) { return t.name(1) + t.integer(7) + t.funcVar(2, 255); }, 0, 0,
       Decoded::ValueOnly, "Rate(7)"},
      {"add-in function", [&](const Tokens& t) { return t.nameX(2, 1) + t.ref(0, 0) + t.integer(1) + t.funcVar(3, 255); },
       0, 0, Decoded::Formula, "EOMONTH(A1,1)"},
      {"add-in name alone", [&](const Tokens& t) { return t.nameX(2, 1); }, 0, 0, Decoded::ValueOnly, nullptr},
      {"fixed arguments", [&](const Tokens& t) { return t.ref(0, 0) + t.integer(2) + t.func(27); }, 0, 0, Decoded::Formula,
       "ROUND(A1,2)"},
      {"too few arguments", [&](const Tokens& t) { return t.funcVar(0, 4); }, 0, 0, Decoded::ValueOnly, "SUM()"},
      {"chart function", [&](const Tokens& t) { return t.integer(1) + t.integer(1) + t.integer(1) + t.integer(1) + t.funcVar(4, 92); },
       0, 0, Decoded::ValueOnly, nullptr},
      {"unknown function", [&](const Tokens& t) { return t.integer(1) + t.funcVar(1, 0x1F0); }, 0, 0, Decoded::ValueOnly, nullptr},
      {"shared formula token", [&](const Tokens&) { return Tokens::U8(0x01) + Tokens::U32(0); }, 0, 0, Decoded::NotFormula, nullptr},
      {"operands left over", [&](const Tokens& t) { return t.integer(1) + t.integer(2); }, 0, 0, Decoded::NotFormula, nullptr},
      {"cut short", [&](const Tokens& t) { return t.ref(0, 0).substr(0, 3); }, 0, 0, Decoded::NotFormula, nullptr},
  };
  for (const biff::TokenLayout* layout : {&biff::kBiff8Layout, &biff::kBiff12Layout}) {
    Tokens t{*layout};
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (layout == &biff::kBiff8Layout ? " (BIFF8)" : " (BIFF12)"));
      Result r = Decompile(*layout, c.tokens(t), c.row, c.col);
      EXPECT_EQ(r.how, c.how);
      if (c.text) {
        EXPECT_EQ(r.text, c.text);
      }
    }
  }
  // Offsets wrap around each grid's own edge.
  EXPECT_EQ(Decompile(biff::kBiff8Layout, Tokens{biff::kBiff8Layout}.refN(-1, 0)).text, "A65536");
  EXPECT_EQ(Decompile(biff::kBiff12Layout, Tokens{biff::kBiff12Layout}.refN(-1, 0)).text, "A1048576");
}

}  // namespace
}  // namespace corvane
