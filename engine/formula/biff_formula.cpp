#include "engine/formula/biff_formula.h"

#include <cmath>

#include "engine/core/biff_common.h"
#include "engine/core/cellref.h"
#include "engine/core/number_text.h"
#include "engine/formula/function_catalog.h"

namespace corvane {

namespace {

using biff::U16;

struct FuncDef {
  uint16_t id;
  const char* name;
  uint8_t minArgs, maxArgs;
};

// Worksheet functions of the BIFF function table, by id. Ids missing here are macro-sheet
// commands and functions, which have no place in a worksheet formula.
constexpr FuncDef kFunctions[] = {
    {0, "COUNT", 0, 30},
    {1, "IF", 2, 3},
    {2, "ISNA", 1, 1},
    {3, "ISERROR", 1, 1},
    {4, "SUM", 0, 30},
    {5, "AVERAGE", 1, 30},
    {6, "MIN", 1, 30},
    {7, "MAX", 1, 30},
    {8, "ROW", 0, 1},
    {9, "COLUMN", 0, 1},
    {10, "NA", 0, 0},
    {11, "NPV", 2, 30},
    {12, "STDEV", 1, 30},
    {13, "DOLLAR", 1, 2},
    {14, "FIXED", 2, 3},
    {15, "SIN", 1, 1},
    {16, "COS", 1, 1},
    {17, "TAN", 1, 1},
    {18, "ATAN", 1, 1},
    {19, "PI", 0, 0},
    {20, "SQRT", 1, 1},
    {21, "EXP", 1, 1},
    {22, "LN", 1, 1},
    {23, "LOG10", 1, 1},
    {24, "ABS", 1, 1},
    {25, "INT", 1, 1},
    {26, "SIGN", 1, 1},
    {27, "ROUND", 2, 2},
    {28, "LOOKUP", 2, 3},
    {29, "INDEX", 2, 4},
    {30, "REPT", 2, 2},
    {31, "MID", 3, 3},
    {32, "LEN", 1, 1},
    {33, "VALUE", 1, 1},
    {34, "TRUE", 0, 0},
    {35, "FALSE", 0, 0},
    {36, "AND", 1, 30},
    {37, "OR", 1, 30},
    {38, "NOT", 1, 1},
    {39, "MOD", 2, 2},
    {40, "DCOUNT", 3, 3},
    {41, "DSUM", 3, 3},
    {42, "DAVERAGE", 3, 3},
    {43, "DMIN", 3, 3},
    {44, "DMAX", 3, 3},
    {45, "DSTDEV", 3, 3},
    {46, "VAR", 1, 30},
    {47, "DVAR", 3, 3},
    {48, "TEXT", 2, 2},
    {49, "LINEST", 1, 4},
    {50, "TREND", 1, 4},
    {51, "LOGEST", 1, 4},
    {52, "GROWTH", 1, 4},
    {56, "PV", 3, 5},
    {57, "FV", 3, 5},
    {58, "NPER", 3, 5},
    {59, "PMT", 3, 5},
    {60, "RATE", 3, 6},
    {61, "MIRR", 3, 3},
    {62, "IRR", 1, 2},
    {63, "RAND", 0, 0},
    {64, "MATCH", 2, 3},
    {65, "DATE", 3, 3},
    {66, "TIME", 3, 3},
    {67, "DAY", 1, 1},
    {68, "MONTH", 1, 1},
    {69, "YEAR", 1, 1},
    {70, "WEEKDAY", 1, 2},
    {71, "HOUR", 1, 1},
    {72, "MINUTE", 1, 1},
    {73, "SECOND", 1, 1},
    {74, "NOW", 0, 0},
    {75, "AREAS", 1, 1},
    {76, "ROWS", 1, 1},
    {77, "COLUMNS", 1, 1},
    {78, "OFFSET", 3, 5},
    {82, "SEARCH", 2, 3},
    {83, "TRANSPOSE", 1, 1},
    {86, "TYPE", 1, 1},
    {92, "SERIESSUM", 4, 4},
    {97, "ATAN2", 2, 2},
    {98, "ASIN", 1, 1},
    {99, "ACOS", 1, 1},
    {100, "CHOOSE", 2, 30},
    {101, "HLOOKUP", 3, 4},
    {102, "VLOOKUP", 3, 4},
    {105, "ISREF", 1, 1},
    {109, "LOG", 1, 2},
    {111, "CHAR", 1, 1},
    {112, "LOWER", 1, 1},
    {113, "UPPER", 1, 1},
    {114, "PROPER", 1, 1},
    {115, "LEFT", 1, 2},
    {116, "RIGHT", 1, 2},
    {117, "EXACT", 2, 2},
    {118, "TRIM", 1, 1},
    {119, "REPLACE", 4, 4},
    {120, "SUBSTITUTE", 3, 4},
    {121, "CODE", 1, 1},
    {124, "FIND", 2, 3},
    {125, "CELL", 1, 2},
    {126, "ISERR", 1, 1},
    {127, "ISTEXT", 1, 1},
    {128, "ISNUMBER", 1, 1},
    {129, "ISBLANK", 1, 1},
    {130, "T", 1, 1},
    {131, "N", 1, 1},
    {140, "DATEVALUE", 1, 1},
    {141, "TIMEVALUE", 1, 1},
    {142, "SLN", 3, 3},
    {143, "SYD", 4, 4},
    {144, "DDB", 4, 5},
    {148, "INDIRECT", 1, 2},
    {162, "CLEAN", 1, 1},
    {163, "MDETERM", 1, 1},
    {164, "MINVERSE", 1, 1},
    {165, "MMULT", 2, 2},
    {167, "IPMT", 4, 6},
    {168, "PPMT", 4, 6},
    {169, "COUNTA", 0, 30},
    {183, "PRODUCT", 0, 30},
    {184, "FACT", 1, 1},
    {189, "DPRODUCT", 3, 3},
    {190, "ISNONTEXT", 1, 1},
    {193, "STDEVP", 1, 30},
    {194, "VARP", 1, 30},
    {195, "DSTDEVP", 3, 3},
    {196, "DVARP", 3, 3},
    {197, "TRUNC", 1, 2},
    {198, "ISLOGICAL", 1, 1},
    {199, "DCOUNTA", 3, 3},
    {204, "USDOLLAR", 1, 2},
    {205, "FINDB", 2, 3},
    {206, "SEARCHB", 2, 3},
    {207, "REPLACEB", 4, 4},
    {208, "LEFTB", 1, 2},
    {209, "RIGHTB", 1, 2},
    {210, "MIDB", 3, 3},
    {211, "LENB", 1, 1},
    {212, "ROUNDUP", 2, 2},
    {213, "ROUNDDOWN", 2, 2},
    {214, "ASC", 1, 1},
    {215, "DBCS", 1, 1},
    {216, "RANK", 2, 3},
    {219, "ADDRESS", 2, 5},
    {220, "DAYS360", 2, 3},
    {221, "TODAY", 0, 0},
    {222, "VDB", 5, 7},
    {227, "MEDIAN", 1, 30},
    {228, "SUMPRODUCT", 1, 30},
    {229, "SINH", 1, 1},
    {230, "COSH", 1, 1},
    {231, "TANH", 1, 1},
    {232, "ASINH", 1, 1},
    {233, "ACOSH", 1, 1},
    {234, "ATANH", 1, 1},
    {235, "DGET", 3, 3},
    {244, "INFO", 1, 1},
    {247, "DB", 4, 5},
    {252, "FREQUENCY", 2, 2},
    {261, "ERROR.TYPE", 1, 1},
    {269, "AVEDEV", 1, 30},
    {270, "BETADIST", 3, 5},
    {271, "GAMMALN", 1, 1},
    {272, "BETAINV", 3, 5},
    {273, "BINOMDIST", 4, 4},
    {274, "CHIDIST", 2, 2},
    {275, "CHIINV", 2, 2},
    {276, "COMBIN", 2, 2},
    {277, "CONFIDENCE", 3, 3},
    {278, "CRITBINOM", 3, 3},
    {279, "EVEN", 1, 1},
    {280, "EXPONDIST", 3, 3},
    {281, "FDIST", 3, 3},
    {282, "FINV", 3, 3},
    {283, "FISHER", 1, 1},
    {284, "FISHERINV", 1, 1},
    {285, "FLOOR", 2, 2},
    {286, "GAMMADIST", 4, 4},
    {287, "GAMMAINV", 3, 3},
    {288, "CEILING", 2, 2},
    {289, "HYPGEOMDIST", 4, 4},
    {290, "LOGNORMDIST", 3, 3},
    {291, "LOGINV", 3, 3},
    {292, "NEGBINOMDIST", 3, 3},
    {293, "NORMDIST", 4, 4},
    {294, "NORMSDIST", 1, 1},
    {295, "NORMINV", 3, 3},
    {296, "NORMSINV", 1, 1},
    {297, "STANDARDIZE", 3, 3},
    {298, "ODD", 1, 1},
    {299, "PERMUT", 2, 2},
    {300, "POISSON", 3, 3},
    {301, "TDIST", 3, 3},
    {302, "WEIBULL", 4, 4},
    {303, "SUMXMY2", 2, 2},
    {304, "SUMX2MY2", 2, 2},
    {305, "SUMX2PY2", 2, 2},
    {306, "CHITEST", 2, 2},
    {307, "CORREL", 2, 2},
    {308, "COVAR", 2, 2},
    {309, "FORECAST", 3, 3},
    {310, "FTEST", 2, 2},
    {311, "INTERCEPT", 2, 2},
    {312, "PEARSON", 2, 2},
    {313, "RSQ", 2, 2},
    {314, "STEYX", 2, 2},
    {315, "SLOPE", 2, 2},
    {316, "TTEST", 4, 4},
    {317, "PROB", 3, 4},
    {318, "DEVSQ", 1, 30},
    {319, "GEOMEAN", 1, 30},
    {320, "HARMEAN", 1, 30},
    {321, "SUMSQ", 0, 30},
    {322, "KURT", 1, 30},
    {323, "SKEW", 1, 30},
    {324, "ZTEST", 2, 3},
    {325, "LARGE", 2, 2},
    {326, "SMALL", 2, 2},
    {327, "QUARTILE", 2, 2},
    {328, "PERCENTILE", 2, 2},
    {329, "PERCENTRANK", 2, 3},
    {330, "MODE", 1, 30},
    {331, "TRIMMEAN", 2, 2},
    {332, "TINV", 2, 2},
    {336, "CONCATENATE", 0, 30},
    {337, "POWER", 2, 2},
    {342, "RADIANS", 1, 1},
    {343, "DEGREES", 1, 1},
    {344, "SUBTOTAL", 2, 30},
    {345, "SUMIF", 2, 3},
    {346, "COUNTIF", 2, 2},
    {347, "COUNTBLANK", 1, 1},
    {350, "ISPMT", 4, 4},
    {351, "DATEDIF", 3, 3},
    {352, "DATESTRING", 1, 1},
    {353, "NUMBERSTRING", 2, 2},
    {354, "ROMAN", 1, 2},
    {358, "GETPIVOTDATA", 2, 2},
    {359, "HYPERLINK", 1, 2},
    {360, "PHONETIC", 1, 1},
    {361, "AVERAGEA", 1, 30},
    {362, "MAXA", 1, 30},
    {363, "MINA", 1, 30},
    {364, "STDEVPA", 1, 30},
    {365, "VARPA", 1, 30},
    {366, "STDEVA", 1, 30},
    {367, "VARA", 1, 30},
    {368, "BAHTTEXT", 1, 1},
    {369, "THAIDAYOFWEEK", 1, 1},
    {370, "THAIDIGIT", 1, 1},
    {371, "THAIMONTHOFYEAR", 1, 1},
    {372, "THAINUMSOUND", 1, 1},
    {373, "THAINUMSTRING", 1, 1},
    {374, "THAISTRINGLENGTH", 1, 1},
    {375, "ISTHAIDIGIT", 1, 1},
    {376, "ROUNDBAHTDOWN", 1, 1},
    {377, "ROUNDBAHTUP", 1, 1},
    {378, "THAIYEAR", 1, 1},
    {379, "RTD", 2, 5},
};

constexpr size_t kFunctionIds = 380;

struct FunctionTable {
  const FuncDef* byId[kFunctionIds] = {};
  constexpr FunctionTable() {
    for (const FuncDef& f : kFunctions) byId[f.id] = &f;
  }
};
constexpr FunctionTable kTable;

const FuncDef* Function(uint16_t id) { return id < kFunctionIds ? kTable.byId[id] : nullptr; }

}  // namespace

namespace {

// Binding strength of what an item's text is at its top level. Parentheses come from
// ptgParen; others are added only where a writer left one out that the order of the tokens
// needs (an operand that binds looser than its operator, a union as an argument).
enum Prec : int {
  kCompare = 1, kConcat, kAdd, kMul, kPower, kPercent, kUnary, kUnion, kIsect, kRange, kAtom
};

struct Item {
  std::string text;
  int prec = kAtom;
  bool name = false;  // a name that may stand for a user-defined function
};

constexpr int32_t kBiffRows = 65536;
constexpr size_t kMaxText = 8192;
constexpr int32_t kBiffCols = 256;

class Decompiler {
 public:
  Decompiler(std::string_view rgce, std::string_view extra, int32_t row, int32_t col, const BiffLinks& links)
      : p_(reinterpret_cast<const uint8_t*>(rgce.data())),
        end_(p_ + rgce.size()),
        x_(reinterpret_cast<const uint8_t*>(extra.data())),
        xEnd_(x_ + extra.size()),
        row_(row),
        col_(col),
        links_(links) {}

  bool run(std::string& out) {
    while (p_ < end_) {
      if (!token()) return false;
      // Excel's own limit on a formula's length; it also keeps hostile tokens from
      // building texts that grow without end.
      if (!stack_.empty() && stack_.back().text.size() > kMaxText) return false;
    }
    if (stack_.size() != 1) return false;
    out = std::move(stack_.back().text);
    return true;
  }

 private:
  bool need(size_t n) const { return static_cast<size_t>(end_ - p_) >= n; }

  std::string takeSpaces() {
    std::string s;
    s.swap(spaces_);
    return s;
  }

  bool push(std::string text, int prec = kAtom, bool name = false) {
    if (stack_.size() > 4096) return false;
    stack_.push_back(Item{takeSpaces() + text, prec, name});
    return true;
  }

  static std::string Wrap(Item&& it, int minPrec) {
    if (it.prec < minPrec) return "(" + it.text + ")";
    return std::move(it.text);
  }

  bool binary(const char* op, int prec) {
    if (stack_.size() < 2) return false;
    Item right = std::move(stack_.back());
    stack_.pop_back();
    Item left = std::move(stack_.back());
    stack_.pop_back();
    std::string text = Wrap(std::move(left), prec) + takeSpaces() + op + Wrap(std::move(right), prec + 1);
    stack_.push_back(Item{std::move(text), prec});
    return true;
  }

  bool unary(const char* op, int prec, bool postfix) {
    if (stack_.empty()) return false;
    Item& it = stack_.back();
    std::string sp = takeSpaces();
    std::string inner = Wrap(std::move(it), prec);
    it.text = postfix ? inner + sp + op : sp + op + inner;
    it.prec = prec;
    it.name = false;
    return true;
  }

  bool function(const char* name, size_t argc) {
    if (stack_.size() < argc) return false;
    std::string text = takeSpaces() + name + "(";
    for (size_t i = stack_.size() - argc; i < stack_.size(); ++i) {
      if (i > stack_.size() - argc) text += ',';
      // Arguments stand as their tokens have them: the separating commas bind looser than
      // any operator but the union, whose commas would read as separators.
      Item& arg = stack_[i];
      text += arg.prec == kUnion ? "(" + arg.text + ")" : arg.text;
    }
    text += closeSpaces_ + ")";
    closeSpaces_.clear();
    stack_.resize(stack_.size() - argc);
    stack_.push_back(Item{std::move(text), kAtom});
    return true;
  }

  struct Loc {
    int32_t row, col;
    bool rowRel, colRel;
  };

  // A cell from a stored row and column word, or from offsets (RefN/AreaN) to the formula's cell.
  Loc Resolve(uint16_t rw, uint16_t colWord, bool offsets) const {
    // Bit 14 marks a relative column, bit 15 a relative row.
    Loc l{rw, colWord & 0x3FFF, (colWord & 0x8000) != 0, (colWord & 0x4000) != 0};
    if (offsets) {
      if (l.rowRel) l.row = (row_ + static_cast<int16_t>(rw)) & (kBiffRows - 1);
      if (l.colRel) l.col = (col_ + static_cast<int8_t>(colWord & 0xFF)) & (kBiffCols - 1);
    }
    l.col &= kBiffCols - 1;
    return l;
  }

  static void Column(std::string& out, const Loc& l) {
    if (!l.colRel) out += '$';
    AppendColumnName(out, l.col);
  }
  static void Row(std::string& out, const Loc& l) {
    if (!l.rowRel) out += '$';
    out += std::to_string(l.row + 1);
  }

  void Cell(std::string& out, uint16_t rw, uint16_t colWord, bool offsets) const {
    Loc l = Resolve(rw, colWord, offsets);
    Column(out, l);
    Row(out, l);
  }

  // "A1:B2"; a reference over the old sheet's full height or width is the whole column or
  // row, as it becomes in a current workbook.
  void Area(std::string& out, const uint8_t* q, bool offsets) const {
    Loc a = Resolve(U16(q), U16(q + 4), offsets), b = Resolve(U16(q + 2), U16(q + 6), offsets);
    bool fullRows = a.row == 0 && b.row == kBiffRows - 1 && !(offsets && (a.rowRel || b.rowRel));
    bool fullCols = a.col == 0 && b.col == kBiffCols - 1 && !(offsets && (a.colRel || b.colRel));
    if (fullRows && !fullCols) {
      Column(out, a);
      out += ':';
      Column(out, b);
    } else if (fullCols && !fullRows) {
      Row(out, a);
      out += ':';
      Row(out, b);
    } else {
      Column(out, a);
      Row(out, a);
      out += ':';
      Column(out, b);
      Row(out, b);
    }
  }

  // "Sheet2!", "'My sheet'!", "Sheet1:Sheet3!"; false for other workbooks and lost sheets.
  bool SheetPrefix(std::string& out, uint16_t ixti) const {
    if (ixti >= links_.externSheets.size()) return false;
    const BiffLinks::Xti& x = links_.externSheets[ixti];
    if (x.supBook >= links_.supBooks.size() || links_.supBooks[x.supBook].kind != BiffLinks::Book::Self) return false;
    const auto& names = links_.sheetNames;
    if (x.first >= names.size() || x.last >= names.size()) return false;
    if (x.first == x.last) out += QuoteSheetName(names[x.first]);
    else {
      std::string both = names[x.first] + ":" + names[x.last];
      std::string q1 = QuoteSheetName(names[x.first]), q2 = QuoteSheetName(names[x.last]);
      out += (q1 != names[x.first] || q2 != names[x.last]) ? "'" + Escape(both) + "'" : both;
    }
    out += '!';
    return true;
  }

  static std::string Escape(const std::string& s) {
    std::string o;
    for (char ch : s) {
      if (ch == '\'') o += '\'';
      o += ch;
    }
    return o;
  }

  static std::string Quote(const std::string& s) {
    std::string o = "\"";
    for (char ch : s) {
      if (ch == '"') o += '"';
      o += ch;
    }
    return o + "\"";
  }

  // A BIFF8 string inside the tokens: 1-byte count, flags, characters.
  bool ShortString(const uint8_t*& q, const uint8_t* end, std::string& out) const {
    if (end - q < 2) return false;
    size_t cch = q[0];
    bool wide = q[1] & 1;
    q += 2;
    size_t bytes = wide ? cch * 2 : cch;
    if (static_cast<size_t>(end - q) < bytes) return false;
    if (wide) AppendUtf16Le(out, q, cch);
    else biff::AppendLatin1(out, q, cch);
    q += bytes;
    return true;
  }

  bool ArrayConstant(std::string& out) {
    if (xEnd_ - x_ < 3) return false;
    size_t cols = static_cast<size_t>(x_[0]) + 1, rows = static_cast<size_t>(U16(x_ + 1)) + 1;
    x_ += 3;
    if (cols * rows > static_cast<size_t>(xEnd_ - x_)) return false;  // every value takes bytes
    out = "{";
    for (size_t r = 0; r < rows; ++r) {
      if (r) out += ';';
      for (size_t c = 0; c < cols; ++c) {
        if (c) out += ',';
        if (x_ >= xEnd_) return false;
        uint8_t type = *x_++;
        switch (type) {
          case 0x00:  // empty
            if (xEnd_ - x_ < 8) return false;
            x_ += 8;
            break;
          case 0x01:
            if (xEnd_ - x_ < 8) return false;
            AppendFormulaNumber(out, biff::F64(x_));
            x_ += 8;
            break;
          case 0x02: {
            if (xEnd_ - x_ < 3) return false;
            size_t cch = U16(x_);
            bool wide = x_[2] & 1;
            x_ += 3;
            size_t bytes = wide ? cch * 2 : cch;
            if (static_cast<size_t>(xEnd_ - x_) < bytes) return false;
            std::string s;
            if (wide) AppendUtf16Le(s, x_, cch);
            else biff::AppendLatin1(s, x_, cch);
            x_ += bytes;
            out += Quote(s);
            break;
          }
          case 0x04:
            if (xEnd_ - x_ < 8) return false;
            out += x_[0] ? "TRUE" : "FALSE";
            x_ += 8;
            break;
          case 0x10:
            if (xEnd_ - x_ < 8) return false;
            out += ErrorText(biff::ErrorFromBiff(x_[0]));
            x_ += 8;
            break;
          default:
            return false;
        }
      }
    }
    out += '}';
    return true;
  }

  // The name a ptgNameX points at, or false when it lies in another workbook.
  bool ExternalName(uint16_t ixti, uint16_t index, std::string& out, bool& addIn) const {
    if (ixti >= links_.externSheets.size()) return false;
    uint16_t sb = links_.externSheets[ixti].supBook;
    if (sb >= links_.supBooks.size() || index == 0) return false;
    const auto& book = links_.supBooks[sb];
    if (book.kind == BiffLinks::Book::Self) {
      if (index > links_.names.size()) return false;
      out = links_.names[index - 1];
      addIn = false;
      return !out.empty();
    }
    if (book.kind == BiffLinks::Book::AddIn) {
      if (index > book.externNames.size()) return false;
      out = book.externNames[index - 1];
      addIn = true;
      return !out.empty();
    }
    return false;
  }

  bool token() {
    uint8_t ptg = *p_++;
    if (ptg >= 0x20 && ptg < 0x80) return classified(ptg);
    switch (ptg) {
      case 0x03: return binary("+", kAdd);
      case 0x04: return binary("-", kAdd);
      case 0x05: return binary("*", kMul);
      case 0x06: return binary("/", kMul);
      case 0x07: return binary("^", kPower);
      case 0x08: return binary("&", kConcat);
      case 0x09: return binary("<", kCompare);
      case 0x0A: return binary("<=", kCompare);
      case 0x0B: return binary("=", kCompare);
      case 0x0C: return binary(">=", kCompare);
      case 0x0D: return binary(">", kCompare);
      case 0x0E: return binary("<>", kCompare);
      case 0x0F: return binary(" ", kIsect);
      case 0x10: return binary(",", kUnion);
      case 0x11: return binary(":", kRange);
      case 0x12: return unary("+", kUnary, false);
      case 0x13: return unary("-", kUnary, false);
      case 0x14: return unary("%", kPercent, true);
      case 0x15: {  // parentheses the user typed
        if (stack_.empty()) return false;
        Item& it = stack_.back();
        it.text = takeSpaces() + "(" + it.text + closeSpaces_ + ")";
        closeSpaces_.clear();
        it.prec = kAtom;
        it.name = false;
        return true;
      }
      case 0x16: return push("");
      case 0x17: {
        std::string s;
        if (!ShortString(p_, end_, s)) return false;
        return push(Quote(s));
      }
      case 0x19: return attr();
      case 0x1C:
        if (!need(1)) return false;
        return push(std::string(ErrorText(biff::ErrorFromBiff(*p_++))));
      case 0x1D:
        if (!need(1)) return false;
        return push(*p_++ ? "TRUE" : "FALSE");
      case 0x1E:
        if (!need(2)) return false;
        p_ += 2;
        return push(std::to_string(U16(p_ - 2)));
      case 0x1F:
        if (!need(8)) return false;
        p_ += 8;
        {
          std::string number;
          AppendFormulaNumber(number, biff::F64(p_ - 8));
          return push(std::move(number));
        }
      default:
        // ptgExp and ptgTbl stand alone and are resolved by the caller; the rest are unknown.
        return false;
    }
  }

  bool attr() {
    if (!need(3)) return false;
    uint8_t type = p_[0];
    uint16_t data = U16(p_ + 1);
    p_ += 3;
    if (type & 0x04) {  // tAttrChoose: a jump table follows
      size_t skip = (static_cast<size_t>(data) + 1) * 2;
      if (!need(skip)) return false;
      p_ += skip;
      return true;
    }
    if (type & 0x10) return function("SUM", 1);  // tAttrSum
    if (type & 0x40) {                           // tAttrSpace
      uint8_t kind = data & 0xFF, count = data >> 8;
      char ch = (kind & 1) ? '\n' : ' ';
      if (kind <= 3) spaces_.append(count, ch);
      else if (kind <= 5) closeSpaces_.append(count, ch);
      return true;  // 6: before the '=', which the text leaves out
    }
    return true;  // if, goto, volatile: jumps for the calculator only
  }

  bool classified(uint8_t ptg) {
    uint8_t base = (ptg & 0x1F) | 0x20;
    switch (base) {
      case 0x20: {  // ptgArray: 7 unused bytes, the values come from the extra data
        if (!need(7)) return false;
        p_ += 7;
        std::string s;
        if (!ArrayConstant(s)) return false;
        return push(std::move(s));
      }
      case 0x21: {  // ptgFunc
        if (!need(2)) return false;
        uint16_t id = U16(p_);
        p_ += 2;
        const FuncDef* f = Function(id);
        if (!f || f->minArgs != f->maxArgs) return false;
        return function(f->name, f->minArgs);
      }
      case 0x22: {  // ptgFuncVar
        if (!need(3)) return false;
        size_t argc = p_[0] & 0x7F;
        uint16_t id = U16(p_ + 1);
        p_ += 3;
        if (id & 0x8000) return false;  // a macro command
        if (id == 255) {                // user-defined: the first argument names it
          if (argc == 0 || stack_.size() < argc) return false;
          Item& nameItem = stack_[stack_.size() - argc];
          if (!nameItem.name) return false;
          std::string name = std::move(nameItem.text);
          stack_.erase(stack_.end() - static_cast<std::ptrdiff_t>(argc));
          // A function the spreadsheet does not know (a macro's, an add-in's) has no text
          // that keeps its meaning in another workbook.
          const FunctionSpec* known = FunctionByFormulaName(name);
          if (!known || argc - 1 < known->minArgs || argc - 1 > static_cast<size_t>(MaxArgs(*known))) return false;
          return function(name.c_str(), argc - 1);
        }
        const FuncDef* f = Function(id);
        if (!f || argc < f->minArgs || argc > f->maxArgs) return false;
        return function(f->name, argc);
      }
      case 0x23: {  // ptgName
        if (!need(4)) return false;
        uint16_t index = U16(p_);
        p_ += 4;
        if (index == 0 || index > links_.names.size() || links_.names[index - 1].empty()) return false;
        return push(links_.names[index - 1], kAtom, true);
      }
      case 0x24:
      case 0x2C: {  // ptgRef, ptgRefN
        if (!need(4)) return false;
        std::string s;
        Cell(s, U16(p_), U16(p_ + 2), base == 0x2C);
        p_ += 4;
        return push(std::move(s));
      }
      case 0x25:
      case 0x2D: {  // ptgArea, ptgAreaN
        if (!need(8)) return false;
        std::string s;
        Area(s, p_, base == 0x2D);
        p_ += 8;
        return push(std::move(s));  // one reference token: no operator to bind
      }
      case 0x26: {  // ptgMemArea: its references are listed in the extra data
        if (!need(6)) return false;
        p_ += 6;
        if (xEnd_ - x_ < 2) return false;
        size_t n = U16(x_);
        x_ += 2;
        if (static_cast<size_t>(xEnd_ - x_) < n * 8) return false;
        x_ += n * 8;
        return true;
      }
      case 0x27:
      case 0x28:  // ptgMemErr, ptgMemNoMem: the expression that follows stands on its own
        if (!need(6)) return false;
        p_ += 6;
        return true;
      case 0x29:
      case 0x2E:
      case 0x2F:  // ptgMemFunc, ptgMemAreaN, ptgMemNoMemN
        if (!need(2)) return false;
        p_ += 2;
        return true;
      case 0x2A:  // ptgRefErr
        if (!need(4)) return false;
        p_ += 4;
        return push("#REF!");
      case 0x2B:  // ptgAreaErr
        if (!need(8)) return false;
        p_ += 8;
        return push("#REF!");
      case 0x39: {  // ptgNameX
        if (!need(6)) return false;
        uint16_t ixti = U16(p_), index = U16(p_ + 2);
        p_ += 6;
        std::string name;
        bool addIn = false;
        if (!ExternalName(ixti, index, name, addIn)) return false;
        // An add-in name is only good as the name of a function (EOMONTH of the Analysis ToolPak).
        if (addIn && (p_ >= end_ || !nextIsUserFunction())) return false;
        return push(std::move(name), kAtom, true);
      }
      case 0x3A:
      case 0x3B: {  // ptgRef3d, ptgArea3d
        size_t len = base == 0x3A ? 6 : 10;
        if (!need(len)) return false;
        std::string s;
        if (!SheetPrefix(s, U16(p_))) return false;
        if (base == 0x3A) Cell(s, U16(p_ + 2), U16(p_ + 4), false);
        else Area(s, p_ + 2, false);
        p_ += len;
        return push(std::move(s));
      }
      case 0x3C:
      case 0x3D: {  // ptgRefErr3d, ptgAreaErr3d
        size_t len = base == 0x3C ? 6 : 10;
        if (!need(len)) return false;
        std::string s;
        if (!SheetPrefix(s, U16(p_))) return false;
        p_ += len;
        return push(s + "#REF!");
      }
      default:
        return false;
    }
  }

  // Whether some later ptgFuncVar calls a user-defined function: the add-in name that
  // precedes it is that function's name.
  bool nextIsUserFunction() const {
    for (const uint8_t* q = p_; q + 3 < end_; ++q)
      if (((*q & 0x1F) | 0x20) == 0x22 && *q >= 0x20 && *q < 0x80 && U16(q + 2) == 255) return true;
    return false;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  const uint8_t* x_;
  const uint8_t* xEnd_;
  int32_t row_, col_;
  const BiffLinks& links_;
  std::vector<Item> stack_;
  std::string spaces_, closeSpaces_;
};

bool IsNameChar(unsigned char ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '.' ||
         ch >= 0x80;
}

}  // namespace

std::string QuoteSheetName(std::string_view name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9') && name[0] != '.';
  for (unsigned char ch : name)
    if (!IsNameChar(ch)) plain = false;
  // A name that reads as a cell address (A1, R1C1) must be quoted too.
  int32_t r, c;
  if (plain && ParseA1(name, r, c)) plain = false;
  if (plain && (name[0] == 'R' || name[0] == 'r' || name[0] == 'C' || name[0] == 'c')) {
    bool rc = true;
    for (size_t i = 1; i < name.size(); ++i) {
      char ch = name[i];
      if (!(ch >= '0' && ch <= '9') && ch != 'R' && ch != 'r' && ch != 'C' && ch != 'c') rc = false;
    }
    if (rc) plain = false;
  }
  if (plain) return std::string(name);
  std::string out = "'";
  for (char ch : name) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  return out + "'";
}

bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col, const BiffLinks& links,
                    std::string& out) {
  if (rgce.empty()) return false;
  return Decompiler(rgce, extra, row, col, links).run(out);
}

}  // namespace corvane
