#include "engine/formula/formula_text.h"

#include <charconv>

#include "engine/core/ascii.h"
#include "engine/core/cellref.h"
#include "engine/core/unicode.h"

namespace corvane {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

struct Span {
  uint32_t first, last;
};

// Letters and digits of other scripts that a sheet name may hold unquoted: the letters of the
// Latin, Greek, Cyrillic, Armenian, Hebrew and Arabic alphabets, kana, Han and Hangul, and the
// full-width Latin letters and digits. Anything else (punctuation, symbols, spaces, combining
// marks, scripts not listed) is quoted: a quoted name always reads back, an unquoted one that
// needed quotes does not.
constexpr Span kWordSpans[] = {
    {0x00AA, 0x00AA}, {0x00B5, 0x00B5}, {0x00BA, 0x00BA}, {0x00C0, 0x00D6}, {0x00D8, 0x00F6},
    {0x00F8, 0x02AF}, {0x0386, 0x0386}, {0x0388, 0x03FF}, {0x0400, 0x0481}, {0x048A, 0x052F},
    {0x0531, 0x0556}, {0x0561, 0x0587}, {0x05D0, 0x05EA}, {0x0620, 0x064A}, {0x0660, 0x0669},
    {0x0671, 0x06D3}, {0x1E00, 0x1FBC}, {0x3041, 0x3096}, {0x30A1, 0x30FA}, {0x30FC, 0x30FF},
    {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFF10, 0xFF19},
    {0xFF21, 0xFF3A}, {0xFF41, 0xFF5A}, {0xFF66, 0xFF9D},
};

bool IsWordCodePoint(uint32_t cp) {
  for (const Span& s : kWordSpans)
    if (cp >= s.first && cp <= s.last) return true;
  return false;
}

// Digits of other scripts: a name that starts with one is quoted like "2024".
bool IsOtherDigit(uint32_t cp) { return (cp >= 0x0660 && cp <= 0x0669) || (cp >= 0xFF10 && cp <= 0xFF19); }

// The number of decimal digits at s[i..], as a value (capped past `limit`), and where they end.
size_t Digits(std::string_view s, size_t i, int64_t& value, int64_t limit) {
  value = 0;
  while (i < s.size() && IsAsciiDigit(s[i])) {
    if (value <= limit) value = value * 10 + (s[i] - '0');
    ++i;
  }
  return i;
}

// "A1" to "XFD1048576", the whole name.
bool IsA1Cell(std::string_view s) {
  int32_t r, c;
  if (s.empty() || s[0] == '$') return false;
  for (char ch : s)
    if (ch == '$') return false;
  return ParseA1(s, r, c);
}

// A name that starts like an R1C1 reference inside the sheet: R<row>..., C<col>...,
// RC<col>..., or that is R, C or RC alone.
bool StartsAsR1C1(std::string_view s) {
  if (EqualsNoCase(s, "R") || EqualsNoCase(s, "C") || EqualsNoCase(s, "RC")) return true;
  auto upper = [&](size_t i) { return i < s.size() ? static_cast<char>(s[i] & ~0x20) : '\0'; };
  auto numberAt = [&](size_t i, int64_t limit) {
    int64_t v = 0;
    if (i >= s.size() || !IsAsciiDigit(s[i])) return false;
    Digits(s, i, v, limit);
    return v >= 1 && v <= limit;
  };
  if (upper(0) == 'R' && numberAt(1, kMaxRows)) return true;
  if (upper(0) == 'R' && upper(1) == 'C') return numberAt(2, kMaxCols);
  return upper(0) == 'C' && numberAt(1, kMaxCols);
}

}  // namespace

bool SheetNameNeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  const char* p = name.data();
  const char* e = p + name.size();
  bool first = true;
  while (p < e) {
    uint32_t cp;
    size_t n = DecodeUtf8(p, e, cp);
    if (n == 0) return true;
    bool ascii = cp < 0x80;
    auto c = static_cast<char>(cp);
    if (first && ((ascii && (IsAsciiDigit(c) || c == '.')) || (!ascii && IsOtherDigit(cp)))) return true;
    if (ascii ? !(IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.') : !IsWordCodePoint(cp)) return true;
    first = false;
    p += n;
  }
  return EqualsNoCase(name, "TRUE") || EqualsNoCase(name, "FALSE") || IsA1Cell(name) || StartsAsR1C1(name);
}

void AppendSheetName(std::string& out, std::string_view name) {
  if (!SheetNameNeedsQuotes(name)) {
    out += name;
    return;
  }
  out += '\'';
  for (char c : name) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

void AppendSheetPrefix(std::string& out, std::string_view book, std::string_view first, std::string_view last) {
  bool quote = SheetNameNeedsQuotes(first) || (!last.empty() && SheetNameNeedsQuotes(last));
  auto escaped = [&](std::string_view s) {
    for (char c : s) {
      if (c == '\'' && quote) out += '\'';
      out += c;
    }
  };
  if (quote) out += '\'';
  out += book;
  escaped(first);
  if (!last.empty()) {
    out += ':';
    escaped(last);
  }
  if (quote) out += '\'';
  out += '!';
}

void AppendColumnPart(std::string& out, int32_t col, bool absolute) {
  if (absolute) out += '$';
  AppendColumnName(out, col);
}

void AppendRowPart(std::string& out, int32_t row, bool absolute) {
  if (absolute) out += '$';
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, int64_t{row} + 1);
  out.append(buf, r.ptr);
}

void AppendCellRef(std::string& out, const RefCorner& c) {
  AppendColumnPart(out, c.col, c.colAbs);
  AppendRowPart(out, c.row, c.rowAbs);
}

void AppendAreaRef(std::string& out, const RefCorner& a, const RefCorner& b, int32_t rows, int32_t cols) {
  bool fullHeight = a.row == 0 && b.row == rows - 1;
  bool fullWidth = a.col == 0 && b.col == cols - 1;
  if (fullHeight && !fullWidth) {
    AppendColumnPart(out, a.col, a.colAbs);
    out += ':';
    AppendColumnPart(out, b.col, b.colAbs);
  } else if (fullWidth && !fullHeight) {
    AppendRowPart(out, a.row, a.rowAbs);
    out += ':';
    AppendRowPart(out, b.row, b.rowAbs);
  } else {
    AppendCellRef(out, a);
    out += ':';
    AppendCellRef(out, b);
  }
}

void AppendFormulaString(std::string& out, std::string_view s) {
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendFormulaBool(std::string& out, bool b) { out += b ? "TRUE" : "FALSE"; }

void AppendFormulaError(std::string& out, ErrorCode e) { out += ErrorText(e); }

}  // namespace corvane
