// The one decompiler of BIFF formula tokens (parsed expressions in reverse Polish order) into
// the A1 text an .xlsx stores. .xls (BIFF8) and .xlsb (BIFF12) share the token language; they
// differ in the widths of the operands, which a TokenLayout gives, and in the tables that
// 3-D references and names point into, which each format answers through TokenLinks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/formula_services.h"
#include "engine/core/model.h"

namespace corvane::biff {

using xlsb::Decoded;

// How one version lays out the operands of its tokens.
struct TokenLayout {
  // A row in a reference, the count of PtgMemArea's areas and the index of PtgName and
  // PtgNameX take this many bytes: 2 or 4 (a 2-byte index is followed by 2 unused bytes).
  uint8_t rowBytes;
  // The bits of a column word that hold the column (8 or 14); its two top bits say whether
  // the row (bit 15) and the column (bit 14) are relative.
  uint8_t columnBits;
  int32_t rows, cols;    // the sheet's grid
  bool wideStrings;      // PtgStr: a 2-byte count of UTF-16 units, else a 1-byte count and a flags byte
  uint8_t arrayUnused;   // PtgArray's unused bytes (its values follow the tokens)
  bool arrays12;         // array constants as BIFF12 stores them (4-byte counts, its type codes)
  uint16_t functions;    // function numbers the version knows: [0, functions)
  bool listTokens;       // PtgList and PtgSxName among the extended tokens
};

inline constexpr TokenLayout kBiff8Layout{2, 8, 65536, 256, false, 7, false, 380, false};
inline constexpr TokenLayout kBiff12Layout{4, 14, kMaxRows, kMaxCols, true, 14, true, 485, true};

// What the tokens of one workbook refer to outside themselves. Each answer is Formula when
// the text it appended keeps its meaning, ValueOnly when it appended the best text it has (or
// none) and the formula must be pasted as its value.
class TokenLinks {
 public:
  virtual ~TokenLinks() = default;
  // The prefix of a 3-D reference, '!' included ("Sheet2!", "'My sheet'!", "[1]Sheet1!") for
  // the index `ixti` into the workbook's list of sheet ranges.
  virtual Decoded sheetPrefix(uint16_t ixti, std::string& out) const = 0;
  // PtgName: the defined name numbered `index` (from 1).
  virtual Decoded name(uint32_t index, std::string& out) const = 0;
  // PtgNameX: name `index` (from 1) of the book `ixti` points into. `addIn` when it names a
  // function of an add-in, which means something only as the name of a function call.
  virtual Decoded externalName(uint16_t ixti, uint32_t index, std::string& out, bool& addIn) const = 0;
};

// Decompiles the formulas of one sheet, one after another, reusing its buffers.
class TokenDecompiler {
 public:
  TokenDecompiler(const TokenLayout& layout, const TokenLinks& links) : layout_(layout), links_(links) {}

  // The tokens `rgce` (cce bytes) with the values of their array constants and areas `rgcb`
  // (cb bytes) of the formula in cell (row, col), 0-based: relative references of shared
  // formulas (PtgRefN, PtgAreaN) count from there. NotFormula for tokens that cannot be read
  // (a stream cut short, an unknown token, PtgExp and PtgTbl, which stand alone and which the
  // caller resolves).
  Decoded decompile(const uint8_t* rgce, size_t cce, const uint8_t* rgcb, size_t cb, int32_t row, int32_t col,
                    std::string& text);

 private:
  struct Item {
    std::string text;
    int prec = 0;
    bool name = false;   // a bare name: may be the name of a user or future function
    bool addIn = false;  // an add-in's name, which stands only as a function's name
  };
  struct Corner;
  class Cursor;

  bool run(Cursor& in, Cursor& extra, int32_t row, int32_t col);
  void charge(size_t chars);
  Item& push(int prec);
  void binary(const char* op, int prec);
  void prefixUnary(char op);
  void percent();
  void parentheses();
  void function(std::string_view name, size_t args);
  void attribute(Cursor& in);
  bool funcVar(Cursor& in);
  void userFunction(size_t argc);
  void string(Cursor& in, std::string& out);
  void arrayConstant(Cursor& extra);
  Corner corner(uint32_t row, uint16_t colWord, bool offsets, int32_t baseRow, int32_t baseCol) const;
  void cellRef(std::string& out, const Corner& c);
  void areaRef(std::string& out, const Corner& a, const Corner& b);
  void mark(Decoded d) {
    if (d == Decoded::ValueOnly) valueOnly_ = true;
  }

  // Excel's formulas hold at most 8,192 characters and 64 levels of nesting. The work of one
  // formula and of one sheet is bounded too: text is built by prefixing as well as appending,
  // so hostile tokens could make it quadratic.
  static constexpr size_t kMaxText = 8192;
  static constexpr size_t kMaxDepth = size_t{1} << 14;
  static constexpr uint64_t kFormulaWork = uint64_t{1} << 20;
  static constexpr uint64_t kSheetWork = uint64_t{1} << 31;

  const TokenLayout& layout_;
  const TokenLinks& links_;
  uint64_t work_ = 0, spent_ = 0;
  std::vector<Item> stack_;
  size_t top_ = 0;
  size_t addIns_ = 0;  // add-in names on the stack not yet taken as a function's name
  bool valueOnly_ = false;
  std::string spaceBefore_, spaceClose_, scratch_;
};

}  // namespace corvane::biff
