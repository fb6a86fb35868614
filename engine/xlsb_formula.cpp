#include "engine/xlsb_formula.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "engine/biff_common.h"
#include "engine/cellref.h"
#include "engine/number_text.h"
#include "engine/xlsb_records.h"

namespace corvane::xlsb {

namespace {

// Built-in functions by their number in the file, with the number of arguments a
// fixed-argument call (PtgFunc) takes. 0-379 are those of .xls files; 380-479 came
// into the core with Excel 2007 (the Analysis ToolPak and the cube functions).
struct FunctionInfo {
  uint16_t id;
  const char* name;
  uint8_t minArgs, maxArgs;
};

constexpr FunctionInfo kFunctions[] = {
    {0, "COUNT", 0, 30}, {1, "IF", 2, 3}, {2, "ISNA", 1, 1}, {3, "ISERROR", 1, 1}, {4, "SUM", 0, 30},
    {5, "AVERAGE", 1, 30}, {6, "MIN", 1, 30}, {7, "MAX", 1, 30}, {8, "ROW", 0, 1}, {9, "COLUMN", 0, 1},
    {10, "NA", 0, 0}, {11, "NPV", 2, 30}, {12, "STDEV", 1, 30}, {13, "DOLLAR", 1, 2}, {14, "FIXED", 2, 3},
    {15, "SIN", 1, 1}, {16, "COS", 1, 1}, {17, "TAN", 1, 1}, {18, "ATAN", 1, 1}, {19, "PI", 0, 0},
    {20, "SQRT", 1, 1}, {21, "EXP", 1, 1}, {22, "LN", 1, 1}, {23, "LOG10", 1, 1}, {24, "ABS", 1, 1},
    {25, "INT", 1, 1}, {26, "SIGN", 1, 1}, {27, "ROUND", 2, 2}, {28, "LOOKUP", 2, 3}, {29, "INDEX", 2, 4},
    {30, "REPT", 2, 2}, {31, "MID", 3, 3}, {32, "LEN", 1, 1}, {33, "VALUE", 1, 1}, {34, "TRUE", 0, 0},
    {35, "FALSE", 0, 0}, {36, "AND", 1, 30}, {37, "OR", 1, 30}, {38, "NOT", 1, 1}, {39, "MOD", 2, 2},
    {40, "DCOUNT", 3, 3}, {41, "DSUM", 3, 3}, {42, "DAVERAGE", 3, 3}, {43, "DMIN", 3, 3}, {44, "DMAX", 3, 3},
    {45, "DSTDEV", 3, 3}, {46, "VAR", 1, 30}, {47, "DVAR", 3, 3}, {48, "TEXT", 2, 2}, {49, "LINEST", 1, 4},
    {50, "TREND", 1, 4}, {51, "LOGEST", 1, 4}, {52, "GROWTH", 1, 4}, {56, "PV", 3, 5}, {57, "FV", 3, 5},
    {58, "NPER", 3, 5}, {59, "PMT", 3, 5}, {60, "RATE", 3, 6}, {61, "MIRR", 3, 3}, {62, "IRR", 1, 2},
    {63, "RAND", 0, 0}, {64, "MATCH", 2, 3}, {65, "DATE", 3, 3}, {66, "TIME", 3, 3}, {67, "DAY", 1, 1},
    {68, "MONTH", 1, 1}, {69, "YEAR", 1, 1}, {70, "WEEKDAY", 1, 2}, {71, "HOUR", 1, 1}, {72, "MINUTE", 1, 1},
    {73, "SECOND", 1, 1}, {74, "NOW", 0, 0}, {75, "AREAS", 1, 1}, {76, "ROWS", 1, 1}, {77, "COLUMNS", 1, 1},
    {78, "OFFSET", 3, 5}, {82, "SEARCH", 2, 3}, {83, "TRANSPOSE", 1, 1}, {86, "TYPE", 1, 1},
    {92, "SERIES", 4, 4}, {97, "ATAN2", 2, 2}, {98, "ASIN", 1, 1}, {99, "ACOS", 1, 1}, {100, "CHOOSE", 2, 30},
    {101, "HLOOKUP", 3, 4}, {102, "VLOOKUP", 3, 4}, {105, "ISREF", 1, 1}, {109, "LOG", 1, 2},
    {111, "CHAR", 1, 1}, {112, "LOWER", 1, 1}, {113, "UPPER", 1, 1}, {114, "PROPER", 1, 1}, {115, "LEFT", 1, 2},
    {116, "RIGHT", 1, 2}, {117, "EXACT", 2, 2}, {118, "TRIM", 1, 1}, {119, "REPLACE", 4, 4},
    {120, "SUBSTITUTE", 3, 4}, {121, "CODE", 1, 1}, {124, "FIND", 2, 3}, {125, "CELL", 1, 2},
    {126, "ISERR", 1, 1}, {127, "ISTEXT", 1, 1}, {128, "ISNUMBER", 1, 1}, {129, "ISBLANK", 1, 1},
    {130, "T", 1, 1}, {131, "N", 1, 1}, {140, "DATEVALUE", 1, 1}, {141, "TIMEVALUE", 1, 1}, {142, "SLN", 3, 3},
    {143, "SYD", 4, 4}, {144, "DDB", 4, 5}, {148, "INDIRECT", 1, 2}, {162, "CLEAN", 1, 1},
    {163, "MDETERM", 1, 1}, {164, "MINVERSE", 1, 1}, {165, "MMULT", 2, 2}, {167, "IPMT", 4, 6},
    {168, "PPMT", 4, 6}, {169, "COUNTA", 0, 30}, {183, "PRODUCT", 0, 30}, {184, "FACT", 1, 1},
    {189, "DPRODUCT", 3, 3}, {190, "ISNONTEXT", 1, 1}, {193, "STDEVP", 1, 30}, {194, "VARP", 1, 30},
    {195, "DSTDEVP", 3, 3}, {196, "DVARP", 3, 3}, {197, "TRUNC", 1, 2}, {198, "ISLOGICAL", 1, 1},
    {199, "DCOUNTA", 3, 3}, {204, "USDOLLAR", 1, 2}, {205, "FINDB", 2, 3}, {206, "SEARCHB", 2, 3},
    {207, "REPLACEB", 4, 4}, {208, "LEFTB", 1, 2}, {209, "RIGHTB", 1, 2}, {210, "MIDB", 3, 3},
    {211, "LENB", 1, 1}, {212, "ROUNDUP", 2, 2}, {213, "ROUNDDOWN", 2, 2}, {214, "ASC", 1, 1},
    {215, "DBCS", 1, 1}, {216, "RANK", 2, 3}, {219, "ADDRESS", 2, 5}, {220, "DAYS360", 2, 3},
    {221, "TODAY", 0, 0}, {222, "VDB", 5, 7}, {227, "MEDIAN", 1, 30}, {228, "SUMPRODUCT", 1, 30},
    {229, "SINH", 1, 1}, {230, "COSH", 1, 1}, {231, "TANH", 1, 1}, {232, "ASINH", 1, 1}, {233, "ACOSH", 1, 1},
    {234, "ATANH", 1, 1}, {235, "DGET", 3, 3}, {244, "INFO", 1, 1}, {247, "DB", 4, 5}, {252, "FREQUENCY", 2, 2},
    {261, "ERROR.TYPE", 1, 1}, {269, "AVEDEV", 1, 30}, {270, "BETADIST", 3, 5}, {271, "GAMMALN", 1, 1},
    {272, "BETAINV", 3, 5}, {273, "BINOMDIST", 4, 4}, {274, "CHIDIST", 2, 2}, {275, "CHIINV", 2, 2},
    {276, "COMBIN", 2, 2}, {277, "CONFIDENCE", 3, 3}, {278, "CRITBINOM", 3, 3}, {279, "EVEN", 1, 1},
    {280, "EXPONDIST", 3, 3}, {281, "FDIST", 3, 3}, {282, "FINV", 3, 3}, {283, "FISHER", 1, 1},
    {284, "FISHERINV", 1, 1}, {285, "FLOOR", 2, 2}, {286, "GAMMADIST", 4, 4}, {287, "GAMMAINV", 3, 3},
    {288, "CEILING", 2, 2}, {289, "HYPGEOMDIST", 4, 4}, {290, "LOGNORMDIST", 3, 3}, {291, "LOGINV", 3, 3},
    {292, "NEGBINOMDIST", 3, 3}, {293, "NORMDIST", 4, 4}, {294, "NORMSDIST", 1, 1}, {295, "NORMINV", 3, 3},
    {296, "NORMSINV", 1, 1}, {297, "STANDARDIZE", 3, 3}, {298, "ODD", 1, 1}, {299, "PERMUT", 2, 2},
    {300, "POISSON", 3, 3}, {301, "TDIST", 3, 3}, {302, "WEIBULL", 4, 4}, {303, "SUMXMY2", 2, 2},
    {304, "SUMX2MY2", 2, 2}, {305, "SUMX2PY2", 2, 2}, {306, "CHITEST", 2, 2}, {307, "CORREL", 2, 2},
    {308, "COVAR", 2, 2}, {309, "FORECAST", 3, 3}, {310, "FTEST", 2, 2}, {311, "INTERCEPT", 2, 2},
    {312, "PEARSON", 2, 2}, {313, "RSQ", 2, 2}, {314, "STEYX", 2, 2}, {315, "SLOPE", 2, 2},
    {316, "TTEST", 4, 4}, {317, "PROB", 3, 4}, {318, "DEVSQ", 1, 30}, {319, "GEOMEAN", 1, 30},
    {320, "HARMEAN", 1, 30}, {321, "SUMSQ", 0, 30}, {322, "KURT", 1, 30}, {323, "SKEW", 1, 30},
    {324, "ZTEST", 2, 3}, {325, "LARGE", 2, 2}, {326, "SMALL", 2, 2}, {327, "QUARTILE", 2, 2},
    {328, "PERCENTILE", 2, 2}, {329, "PERCENTRANK", 2, 3}, {330, "MODE", 1, 30}, {331, "TRIMMEAN", 2, 2},
    {332, "TINV", 2, 2}, {336, "CONCATENATE", 0, 30}, {337, "POWER", 2, 2}, {342, "RADIANS", 1, 1},
    {343, "DEGREES", 1, 1}, {344, "SUBTOTAL", 2, 30}, {345, "SUMIF", 2, 3}, {346, "COUNTIF", 2, 2},
    {347, "COUNTBLANK", 1, 1}, {350, "ISPMT", 4, 4}, {351, "DATEDIF", 3, 3}, {352, "DATESTRING", 1, 1},
    {353, "NUMBERSTRING", 2, 2}, {354, "ROMAN", 1, 2}, {358, "GETPIVOTDATA", 2, 2}, {359, "HYPERLINK", 1, 2},
    {360, "PHONETIC", 1, 1}, {361, "AVERAGEA", 1, 30}, {362, "MAXA", 1, 30}, {363, "MINA", 1, 30},
    {364, "STDEVPA", 1, 30}, {365, "VARPA", 1, 30}, {366, "STDEVA", 1, 30}, {367, "VARA", 1, 30},
    {368, "BAHTTEXT", 1, 1}, {369, "THAIDAYOFWEEK", 1, 1}, {370, "THAIDIGIT", 1, 1},
    {371, "THAIMONTHOFYEAR", 1, 1}, {372, "THAINUMSOUND", 1, 1}, {373, "THAINUMSTRING", 1, 1},
    {374, "THAISTRINGLENGTH", 1, 1}, {375, "ISTHAIDIGIT", 1, 1}, {376, "ROUNDBAHTDOWN", 1, 1},
    {377, "ROUNDBAHTUP", 1, 1}, {378, "THAIYEAR", 1, 1}, {379, "RTD", 2, 5}, {380, "CUBEVALUE", 2, 255},
    {381, "CUBEMEMBER", 2, 3}, {382, "CUBEMEMBERPROPERTY", 3, 3}, {383, "CUBERANKEDMEMBER", 3, 4},
    {384, "HEX2BIN", 1, 2}, {385, "HEX2DEC", 1, 1}, {386, "HEX2OCT", 1, 2}, {387, "DEC2BIN", 1, 2},
    {388, "DEC2HEX", 1, 2}, {389, "DEC2OCT", 1, 2}, {390, "OCT2BIN", 1, 2}, {391, "OCT2HEX", 1, 2},
    {392, "OCT2DEC", 1, 1}, {393, "BIN2DEC", 1, 1}, {394, "BIN2OCT", 1, 2}, {395, "BIN2HEX", 1, 2},
    {396, "IMSUB", 2, 2}, {397, "IMDIV", 2, 2}, {398, "IMPOWER", 2, 2}, {399, "IMABS", 1, 1},
    {400, "IMSQRT", 1, 1}, {401, "IMLN", 1, 1}, {402, "IMLOG2", 1, 1}, {403, "IMLOG10", 1, 1},
    {404, "IMSIN", 1, 1}, {405, "IMCOS", 1, 1}, {406, "IMEXP", 1, 1}, {407, "IMARGUMENT", 1, 1},
    {408, "IMCONJUGATE", 1, 1}, {409, "IMAGINARY", 1, 1}, {410, "IMREAL", 1, 1}, {411, "COMPLEX", 2, 3},
    {412, "IMSUM", 1, 255}, {413, "IMPRODUCT", 1, 255}, {414, "SERIESSUM", 4, 4}, {415, "FACTDOUBLE", 1, 1},
    {416, "SQRTPI", 1, 1}, {417, "QUOTIENT", 2, 2}, {418, "DELTA", 1, 2}, {419, "GESTEP", 1, 2},
    {420, "ISEVEN", 1, 1}, {421, "ISODD", 1, 1}, {422, "MROUND", 2, 2}, {423, "ERF", 1, 2}, {424, "ERFC", 1, 1},
    {425, "BESSELJ", 2, 2}, {426, "BESSELK", 2, 2}, {427, "BESSELY", 2, 2}, {428, "BESSELI", 2, 2},
    {429, "XIRR", 2, 3}, {430, "XNPV", 3, 3}, {431, "PRICEMAT", 5, 6}, {432, "YIELDMAT", 5, 6},
    {433, "INTRATE", 4, 5}, {434, "RECEIVED", 4, 5}, {435, "DISC", 4, 5}, {436, "PRICEDISC", 4, 5},
    {437, "YIELDDISC", 4, 5}, {438, "TBILLEQ", 3, 3}, {439, "TBILLPRICE", 3, 3}, {440, "TBILLYIELD", 3, 3},
    {441, "PRICE", 6, 7}, {442, "YIELD", 6, 7}, {443, "DOLLARDE", 2, 2}, {444, "DOLLARFR", 2, 2},
    {445, "NOMINAL", 2, 2}, {446, "EFFECT", 2, 2}, {447, "CUMPRINC", 6, 6}, {448, "CUMIPMT", 6, 6},
    {449, "EDATE", 2, 2}, {450, "EOMONTH", 2, 2}, {451, "YEARFRAC", 2, 3}, {452, "COUPDAYBS", 3, 4},
    {453, "COUPDAYS", 3, 4}, {454, "COUPDAYSNC", 3, 4}, {455, "COUPNCD", 3, 4}, {456, "COUPNUM", 3, 4},
    {457, "COUPPCD", 3, 4}, {458, "DURATION", 5, 6}, {459, "MDURATION", 5, 6}, {460, "ODDLPRICE", 7, 8},
    {461, "ODDLYIELD", 7, 8}, {462, "ODDFPRICE", 8, 9}, {463, "ODDFYIELD", 8, 9}, {464, "RANDBETWEEN", 2, 2},
    {465, "WEEKNUM", 1, 2}, {466, "AMORDEGRC", 6, 7}, {467, "AMORLINC", 6, 7}, {468, "CONVERT", 3, 3},
    {469, "ACCRINT", 6, 8}, {470, "ACCRINTM", 4, 5}, {471, "WORKDAY", 2, 3}, {472, "NETWORKDAYS", 2, 3},
    {473, "GCD", 1, 255}, {474, "MULTINOMIAL", 1, 255}, {475, "LCM", 1, 255}, {476, "FVSCHEDULE", 2, 2},
    {477, "CUBEKPIMEMBER", 3, 4}, {478, "CUBESET", 2, 5}, {479, "CUBESETCOUNT", 1, 1},
    // New worksheet functions of Excel 2007.
    {480, "IFERROR", 2, 2},
    {481, "COUNTIFS", 2, 255},
    {482, "SUMIFS", 3, 255},
    {483, "AVERAGEIF", 2, 3},
    {484, "AVERAGEIFS", 3, 255},
};

const FunctionInfo* FindFunction(uint16_t id) {
  static const std::array<const FunctionInfo*, 485> byId = [] {
    std::array<const FunctionInfo*, 485> t{};
    for (const FunctionInfo& f : kFunctions) t[f.id] = &f;
    return t;
  }();
  return id < byId.size() ? byId[id] : nullptr;
}

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

ErrorCode ErrorFromByte(uint8_t b) { return biff::ErrorFromBiff(b, ErrorCode::Unknown); }

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
        ErrorCode e = ErrorFromByte(in.u8());
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
                ErrorCode e = ErrorFromByte(extra.u8());
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
        const FunctionInfo* f = FindFunction(id & 0x7FFF);
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
          function(shown, argc - 1u);
        } else if (const FunctionInfo* f = FindFunction(id)) {
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
