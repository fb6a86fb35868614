#include "engine/formula/ods_formula.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include "engine/core/cellref.h"
#include "engine/formula/formula_lexer.h"
#include "engine/formula/formula_text.h"
#include "engine/formula/ods_functions.h"

namespace corvane {

namespace {

// Excel's limit on a formula's text.
constexpr size_t kMaxFormulaChars = 8192;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return IsLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '.'; }

// One end of a reference inside [...]: [$][sheet].cell
struct RefEnd {
  std::string sheet;
  bool hasSheet = false;
  bool refError = false;
  RefCorner at;
  bool hasCol = false, hasRow = false;
};

bool ParseRefEnd(std::string_view s, size_t& i, RefEnd& out) {
  if (s.substr(i, 5) == "#REF!") {
    out.refError = true;
    i += 5;
    return true;
  }
  if (i < s.size() && s[i] == '$') ++i;  // the sheet is absolute: Excel has no such thing
  if (i < s.size() && s[i] == '\'') {
    ++i;
    for (;;) {
      if (i >= s.size()) return false;
      if (s[i] == '\'') {
        if (i + 1 < s.size() && s[i + 1] == '\'') {
          out.sheet += '\'';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      out.sheet += s[i++];
    }
    out.hasSheet = true;
  } else if (i < s.size() && s[i] != '.') {
    while (i < s.size() && s[i] != '.' && s[i] != ':' && s[i] != '\'' && s[i] != '#') out.sheet += s[i++];
    if (out.sheet == "#REF!") out.refError = true;
    out.hasSheet = true;
    if (s.substr(i, 5) == "#REF!") {  // a deleted sheet
      out.refError = true;
      i += 5;
    }
  }
  if (i >= s.size() || s[i] != '.') return false;
  ++i;
  if (s.substr(i, 5) == "#REF!") {
    out.refError = true;
    i += 5;
    return true;
  }
  bool firstDollar = i < s.size() && s[i] == '$';
  if (firstDollar) ++i;
  size_t l = i;
  while (i < s.size() && IsLetter(s[i])) ++i;
  std::string_view letters = s.substr(l, i - l);
  out.hasCol = !letters.empty();
  if (out.hasCol && (out.at.col = ParseColumn(letters)) < 0) return false;
  // Without letters the '$' is the row's.
  out.at.colAbs = out.hasCol && firstDollar;
  out.at.rowAbs = !out.hasCol && firstDollar;
  size_t d = i;
  if (i < s.size() && s[i] == '$') {
    if (out.at.rowAbs) return false;
    out.at.rowAbs = true;
    ++i;
  }
  size_t dd = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  out.hasRow = i > dd;
  if (!out.hasRow && (d != i || (!out.hasCol && firstDollar))) return false;  // a stray '$'
  if (out.hasRow) {
    if (i - dd > 7) return false;
    long r = 0;
    std::from_chars(s.data() + dd, s.data() + i, r);
    if (r < 1 || r > kMaxRows) return false;
    out.at.row = static_cast<int32_t>(r - 1);
  }
  return out.hasCol || out.hasRow;
}

// One end as A1 text: a cell, or a column or row alone (in a range of whole columns or rows).
void AppendEnd(std::string& out, const RefEnd& e) {
  if (e.hasCol && e.hasRow) AppendCellRef(out, e.at);
  else if (e.hasCol) AppendColumnPart(out, e.at.col, e.at.colAbs);
  else AppendRowPart(out, e.at.row, e.at.rowAbs);
}

// The inside of [...] as A1 text.
bool ConvertRef(std::string_view s, std::string& out) {
  size_t i = 0;
  RefEnd a, b;
  if (!ParseRefEnd(s, i, a)) return false;
  bool range = i < s.size() && s[i] == ':';
  if (range) {
    ++i;
    if (!ParseRefEnd(s, i, b)) return false;
  }
  if (i != s.size()) return false;
  if (a.refError || (range && b.refError)) {
    out += "#REF!";
    return true;
  }
  if (range) {
    if (b.hasSheet && (!a.hasSheet || b.sheet != a.sheet)) return false;  // a 3D reference
    if (a.hasCol != b.hasCol || a.hasRow != b.hasRow) return false;
  } else if (!a.hasCol || !a.hasRow) {
    return false;
  }
  if (a.hasSheet) AppendSheetPrefix(out, {}, a.sheet);
  AppendEnd(out, a);
  if (range) {
    out += ':';
    AppendEnd(out, b);
  }
  return true;
}

enum class Tok : uint8_t { Ref, Name, Func, FuncOpen, Open, Close, Sep, Union, Space, Other };

struct Token {
  Tok kind;
  std::string text;
};

bool Tokenize(std::string_view f, std::vector<Token>& toks) {
  std::vector<bool> calls;  // for each open parenthesis: whether it opens a call
  int braces = 0;
  size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    if (c == '"') {  // strings and errors are written as in A1 text
      FormulaToken t = NextFormulaToken(f, i);
      if (!t.closed) return false;
      toks.push_back({Tok::Other, std::string(f.substr(i, t.end - i))});
      i = t.end;
    } else if (c == '[') {
      size_t j = i + 1;
      bool quoted = false;
      while (j < f.size() && (quoted || f[j] != ']')) {
        if (f[j] == '\'') quoted = !quoted;
        ++j;
      }
      if (j >= f.size()) return false;
      std::string ref;
      if (!ConvertRef(f.substr(i + 1, j - i - 1), ref)) return false;
      toks.push_back({Tok::Ref, std::move(ref)});
      i = j + 1;
    } else if (c == '#') {
      FormulaToken t = NextFormulaToken(f, i);
      if (t.kind != FormulaTok::Error) return false;
      toks.push_back({Tok::Other, std::string(f.substr(i, t.end - i))});
      i = t.end;
    } else if (IsDigit(c) || (c == '.' && i + 1 < f.size() && IsDigit(f[i + 1]))) {
      size_t j = FormulaNumberEnd(f, i);
      toks.push_back({Tok::Other, std::string(f.substr(i, j - i))});
      i = j;
    } else if (IsNameStart(c)) {
      size_t j = i;
      while (j < f.size() && IsNameChar(f[j])) ++j;
      std::string_view name = f.substr(i, j - i);
      if (j < f.size() && f[j] == '(') {
        toks.push_back({Tok::Func, std::string(name)});  // made the spreadsheet's once its arguments are known
      } else {
        toks.push_back({Tok::Name, std::string(name)});
      }
      i = j;
    } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      size_t j = i;
      while (j < f.size() && (f[j] == ' ' || f[j] == '\n' || f[j] == '\r' || f[j] == '\t')) ++j;
      toks.push_back({Tok::Space, std::string(f.substr(i, j - i))});
      i = j;
    } else {
      ++i;
      switch (c) {
        case '(':
          calls.push_back(!toks.empty() && toks.back().kind == Tok::Func);
          toks.push_back({calls.back() ? Tok::FuncOpen : Tok::Open, "("});
          break;
        case ')':
          if (calls.empty()) return false;
          calls.pop_back();
          toks.push_back({Tok::Close, ")"});
          break;
        case ';':
          if (braces > 0) {
            toks.push_back({Tok::Other, ","});
          } else {
            if (calls.empty() || !calls.back()) return false;
            toks.push_back({Tok::Sep, ","});
          }
          break;
        case '|':
          if (braces == 0) return false;
          toks.push_back({Tok::Other, ";"});
          break;
        case '{':
          ++braces;
          toks.push_back({Tok::Other, "{"});
          break;
        case '}':
          if (--braces < 0) return false;
          toks.push_back({Tok::Other, "}"});
          break;
        case '~':
          toks.push_back({Tok::Union, ","});
          break;
        case '!':  // intersection
          toks.push_back({Tok::Other, " "});
          break;
        case '+': case '-': case '*': case '/': case '^': case '&': case '=': case '<': case '>': case '%':
        case ':':
          toks.push_back({Tok::Other, std::string(1, c)});
          break;
        default:
          return false;
      }
    }
  }
  return calls.empty() && braces == 0;
}

// Excel writes a union as a list inside its own parentheses: SUM((A1,B1)).
bool WrapUnions(std::vector<Token>& toks) {
  bool any = false;
  for (const Token& t : toks) any = any || t.kind == Tok::Union;
  if (!any) return true;
  auto nextSolid = [&](size_t k) {
    while (k < toks.size() && toks[k].kind == Tok::Space) ++k;
    return k;
  };
  std::vector<Token> out;
  for (size_t k = 0; k < toks.size();) {
    bool operand = toks[k].kind == Tok::Ref || toks[k].kind == Tok::Name;
    size_t n = nextSolid(k + 1);
    if (!operand || n >= toks.size() || toks[n].kind != Tok::Union) {
      if (toks[k].kind == Tok::Union) return false;  // its left side is no plain reference
      out.push_back(std::move(toks[k]));
      ++k;
      continue;
    }
    std::vector<size_t> parts{k};
    size_t at = n;
    while (at < toks.size() && toks[at].kind == Tok::Union) {
      size_t r = nextSolid(at + 1);
      if (r >= toks.size() || (toks[r].kind != Tok::Ref && toks[r].kind != Tok::Name)) return false;
      parts.push_back(r);
      at = nextSolid(r + 1);
    }
    size_t prev = out.size();
    while (prev > 0 && out[prev - 1].kind == Tok::Space) --prev;
    bool enclosed = prev > 0 && out[prev - 1].kind == Tok::Open && at < toks.size() && toks[at].kind == Tok::Close;
    if (!enclosed) out.push_back({Tok::Open, "("});
    for (size_t p = 0; p < parts.size(); ++p) {
      if (p) out.push_back({Tok::Other, ","});
      out.push_back(std::move(toks[parts[p]]));
    }
    if (!enclosed) out.push_back({Tok::Close, ")"});
    k = parts.back() + 1;
  }
  toks = std::move(out);
  return true;
}

// Each call becomes the spreadsheet's, innermost first, once its arguments are A1 text.
bool ConvertCalls(std::vector<Token>& toks, bool oldNames) {
  struct Open {
    size_t at;  // in `out`: the Func token of a call, the '(' of a grouping
    bool call;
    std::vector<size_t> seps;
  };
  std::vector<Open> opens;
  std::vector<Token> out;
  out.reserve(toks.size());
  std::vector<std::string> args;
  for (Token& t : toks) {
    switch (t.kind) {
      case Tok::FuncOpen:
        if (out.empty() || out.back().kind != Tok::Func) return false;
        opens.push_back({out.size() - 1, true, {}});
        break;
      case Tok::Open:
        opens.push_back({out.size(), false, {}});
        break;
      case Tok::Sep:
        if (opens.empty() || !opens.back().call) return false;
        opens.back().seps.push_back(out.size());
        break;
      case Tok::Close: {
        if (opens.empty()) return false;
        Open o = std::move(opens.back());
        opens.pop_back();
        if (!o.call) break;
        args.assign(1, std::string());
        size_t sep = 0;
        for (size_t k = o.at + 2; k < out.size(); ++k) {
          if (sep < o.seps.size() && o.seps[sep] == k) {
            ++sep;
            args.emplace_back();
          } else {
            args.back() += out[k].text;
          }
        }
        if (args.size() == 1 && args[0].find_first_not_of(" \t\r\n") == std::string::npos) args.clear();
        std::string text;
        if (!ConvertOdsCall(out[o.at].text, oldNames, args, text)) return false;
        out.resize(o.at);
        out.push_back({Tok::Other, std::move(text)});
        continue;
      }
      default:
        break;
    }
    out.push_back(std::move(t));
  }
  if (!opens.empty()) return false;
  toks = std::move(out);
  return true;
}

}  // namespace

OdsFormula ConvertOdsFormula(std::string_view attr) {
  OdsFormula r;
  std::string_view body = attr;
  std::string_view ns;
  size_t colon = attr.find(':');
  size_t eq = attr.find('=');
  if (colon != std::string_view::npos && (eq == std::string_view::npos || colon < eq)) {
    ns = attr.substr(0, colon);
    body = attr.substr(colon + 1);
  }
  if (!body.empty() && body[0] == '=') body.remove_prefix(1);
  if (ns == "msoxl") {  // already Excel's own syntax
    r.text.assign(body);
  } else if (ns.empty() || ns == "of" || ns == "oooc") {
    std::vector<Token> toks;
    // OpenOffice.org 1 and 2 wrote the spreadsheet's FDIST and FINV under those names.
    bool oldNames = ns == "oooc";
    if (!Tokenize(body, toks) || !WrapUnions(toks) || !ConvertCalls(toks, oldNames)) {
      // Kept as written, for the record: only the cached result is pasted.
      r.text.assign(body);
      r.valueOnly = true;
      return r;
    }
    for (const Token& t : toks) r.text += t.text;
  } else {
    r.text.assign(body);
    r.valueOnly = true;
    return r;
  }
  size_t lead = r.text.find_first_not_of(" \t\r\n");
  if (lead == std::string::npos || r.text.size() > kMaxFormulaChars) r.valueOnly = true;
  return r;
}

}  // namespace corvane
