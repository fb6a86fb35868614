#include "engine/formula/ods_functions.h"

#include <algorithm>

#include "engine/formula/formula_lexer.h"
#include "engine/formula/function_catalog.h"

namespace corvane {

namespace {

// The spreadsheet's dynamic-array functions, whose spilled result a cell formula of ours
// cannot carry.
constexpr std::string_view kSpilling[] = {"FILTER", "SORT", "SORTBY", "UNIQUE", "SEQUENCE", "RANDARRAY", "LET",
                                          "LAMBDA"};

bool StartsWith(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }

bool Blank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

std::string_view Trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") + 1 - b);
}

// Argument `i` takes its OpenFormula default where it is left out at the end of the call,
// or left empty (two separators in a row), as OpenFormula reads both.
void Default(std::vector<std::string>& args, size_t i, std::string_view value) {
  if (args.size() == i) args.emplace_back(value);
  else if (i < args.size() && Blank(args[i])) args[i] = value;
}

// OpenFormula's work week ({1;0;0;0;0;0;1}: a non-zero for each day off, Sunday first) as
// the spreadsheet's weekend text ("0000011": a 1 for each day off, Monday first); empty
// unless the argument (already A1 text: {1,0,0,0,0,0,1}) is such an inline array.
std::string WeekendMask(std::string_view a) {
  a = Trimmed(a);
  if (a.size() < 2 || a.front() != '{' || a.back() != '}') return {};
  std::string days;
  bool value = false;  // a value since the last separator
  for (size_t i = 1; i + 1 < a.size();) {
    FormulaToken t = NextFormulaToken(a.substr(0, a.size() - 1), i);
    std::string_view v = a.substr(t.begin, t.end - t.begin);
    i = t.end;
    if (t.kind == FormulaTok::Char && Blank(v)) continue;
    if (t.kind == FormulaTok::Char && (v == "," || v == ";")) {
      if (!value) return {};
      value = false;
      continue;
    }
    if (value) return {};
    if (t.kind == FormulaTok::Name && (v == "TRUE" || v == "FALSE")) days += v == "TRUE" ? '1' : '0';
    else if (t.kind == FormulaTok::Number) days += v.find_first_not_of("0.") == std::string_view::npos ? '0' : '1';
    else return {};
    value = true;
  }
  if (!value || days.size() != 7) return {};
  return days.substr(1) + days[0];
}

// OpenFormula's own functions whose argument list or meaning differ from the spreadsheet's
// function of the same name: `fn` becomes the spreadsheet's function and `args` its
// arguments. False when no call means the same.
bool Adapt(std::string& fn, bool oldNames, std::vector<std::string>& args) {
  size_t n = args.size();
  if (fn == "IF") {
    // IF(c) is IF(c;TRUE();FALSE()), IF(c;x) is IF(c;x;FALSE()); empty ones stay 0 in both.
    if (n == 1) args.emplace_back("TRUE()");
    if (args.size() == 2) args.emplace_back("FALSE()");
  } else if (fn == "ROUND" || fn == "ROUNDUP" || fn == "ROUNDDOWN") {
    Default(args, 1, "0");
  } else if (fn == "CEILING" || fn == "FLOOR") {
    // Without a mode, OpenFormula rounds toward +infinity (CEILING) or -infinity (FLOOR) to
    // a multiple of the significance's size; with one, it rounds the size of the number away
    // from (toward) zero and keeps the sign. So do CEILING.MATH and FLOOR.MATH, which take
    // the significance's size too; a left-out significance is 1 (the sign of the number).
    fn += ".MATH";
    if (n >= 2) Default(args, 1, "1");
  } else if (fn == "BETADIST") {
    if (n >= 4) Default(args, 3, "0");
    if (n >= 5) Default(args, 4, "1");
    if (n == 6) {  // with the cumulative flag: BETA.DIST(x;alpha;beta;cumulative;a;b)
      Default(args, 5, "TRUE()");
      std::rotate(args.begin() + 3, args.begin() + 5, args.end());
      fn = "BETA.DIST";
    }
  } else if (fn == "CHISQDIST") {  // the left tail, as CHISQ.DIST
    fn = "CHISQ.DIST";
    Default(args, 2, "TRUE()");
  } else if (fn == "CHISQINV") {
    fn = "CHISQ.INV";
  } else if (fn == "NORMSDIST" && n == 2) {  // with a cumulative flag
    fn = "NORM.S.DIST";
  } else if (fn == "EXPONDIST" || fn == "GAMMADIST" || fn == "NORMDIST" || fn == "POISSON") {
    Default(args, fn == "EXPONDIST" || fn == "POISSON" ? 2 : 3, "TRUE()");
  } else if (fn == "FDIST" && !oldNames) {  // the left tail; the spreadsheet's FDIST is LEGACY.FDIST
    fn = "F.DIST";
    Default(args, 3, "TRUE()");
  } else if (fn == "FINV" && !oldNames) {  // the inverse of the left tail
    fn = "F.INV";
  } else if (fn == "HYPGEOMDIST") {
    if (n == 5) {
      fn = "HYPGEOM.DIST";
      Default(args, 4, "FALSE()");
    }
  } else if (fn == "LOGINV" || fn == "LOGNORMDIST") {
    Default(args, 1, "0");
    Default(args, 2, "1");
    if (fn == "LOGNORMDIST" && n == 4) {
      fn = "LOGNORM.DIST";
      Default(args, 3, "TRUE()");
    }
  } else if (fn == "INDEX") {
    if (n == 1) args.insert(args.end(), {"0", "0"});  // the whole area
  } else if (fn == "WEEKNUM") {
    if (n == 2 && Trimmed(args[1]) == "150") args[1] = "21";  // both the ISO 8601 week
  } else if ((fn == "NETWORKDAYS" || fn == "WORKDAY") && n == 4) {
    // A work week of its own: the .INTL function, with the weekend as text.
    std::string mask = WeekendMask(args[3]);
    if (mask.empty()) return false;
    std::string holidays = std::move(args[2]);
    args.resize(2);
    args.push_back("\"" + mask + "\"");
    if (!Blank(holidays)) args.push_back(std::move(holidays));
    fn += ".INTL";
  }
  return true;
}

}  // namespace

bool ConvertOdsCall(std::string_view name, bool oldNames, std::vector<std::string>& args, std::string& out) {
  std::string up(name);
  for (char& c : up)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::string fn;
  bool own = true;  // an OpenFormula function, not the spreadsheet's under a prefix
  // Functions OpenFormula calls by another name, with the same arguments.
  if (const FunctionSpec* renamed = FunctionByOdsName(up)) fn = renamed->name;
  if (fn.empty()) {
    std::string_view base = up;
    if (StartsWith(base, "COM.MICROSOFT.")) base.remove_prefix(14);
    else if (StartsWith(base, "LEGACY.")) base.remove_prefix(7);  // LEGACY.FDIST is the spreadsheet's FDIST
    else if (StartsWith(base, "_XLFN.")) base.remove_prefix(6);
    else if (StartsWith(base, "ORG.") || StartsWith(base, "COM.")) return false;
    own = base.size() == up.size();
    if (StartsWith(base, "_XLWS.")) base.remove_prefix(6);
    if (base.empty() || std::find(std::begin(kSpilling), std::end(kSpilling), base) != std::end(kSpilling))
      return false;
    fn = base;
    if (own && !Adapt(fn, oldNames, args)) return false;
  }
  std::string call = IsPrefixedFunction(fn) ? "_xlfn." + fn : fn;
  const FunctionSpec* spec = FunctionByFormulaName(call);
  if (!spec || !TakesArgs(*spec, args.size())) return false;
  out = call;
  out += '(';
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) out += ',';
    out += args[i];
  }
  out += ')';
  return true;
}

}  // namespace corvane
