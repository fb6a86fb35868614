#include "engine/core/cellref.h"

#include <charconv>
#include <utility>

namespace corvane {

namespace {

bool IsLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Reads "$?LETTERS" at s[p..]; the letters run must end where the text ends
// or at a non-letter. Returns the 0-based column, or -1.
int32_t ReadColumn(std::string_view s, size_t& p) {
  if (p < s.size() && s[p] == '$') ++p;
  size_t b = p;
  while (p < s.size() && IsLetter(s[p])) ++p;
  return ParseColumn(s.substr(b, p - b));
}

// Reads "$?DIGITS" at s[p..]. Returns the 0-based row, or -1.
int32_t ReadRow(std::string_view s, size_t& p) {
  if (p < s.size() && s[p] == '$') ++p;
  size_t b = p;
  int64_t v = 0;
  while (p < s.size() && IsDigit(s[p])) {
    if (v <= kMaxRows) v = v * 10 + (s[p] - '0');
    ++p;
  }
  if (p == b || v < 1 || v > kMaxRows) return -1;
  return static_cast<int32_t>(v - 1);
}

void AppendRow(std::string& out, int32_t row0) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, int64_t(row0) + 1);
  out.append(buf, res.ptr);
}

}  // namespace

void AppendColumnName(std::string& out, int32_t col0) {
  char buf[8];
  int n = 0;
  for (int64_t c = int64_t(col0) + 1; c > 0; c = (c - 1) / 26) buf[n++] = char('A' + (c - 1) % 26);
  while (n > 0) out.push_back(buf[--n]);
}

std::string ColumnName(int32_t col0) {
  std::string out;
  AppendColumnName(out, col0);
  return out;
}

int32_t ParseColumn(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return -1;
  int32_t v = 0;
  for (char ch : letters) {
    if (!IsLetter(ch)) return -1;
    v = v * 26 + ((ch | 0x20) - 'a' + 1);
  }
  return v <= kMaxCols ? v - 1 : -1;
}

bool ParseA1(std::string_view ref, int32_t& row0, int32_t& col0) {
  size_t p = 0;
  int32_t c = ReadColumn(ref, p);
  if (c < 0) return false;
  int32_t r = ReadRow(ref, p);
  if (r < 0 || p != ref.size()) return false;
  row0 = r;
  col0 = c;
  return true;
}

std::string FormatA1(int32_t row0, int32_t col0, bool absRow, bool absCol) {
  std::string out;
  out.reserve(12);
  if (absCol) out.push_back('$');
  AppendColumnName(out, col0);
  if (absRow) out.push_back('$');
  AppendRow(out, row0);
  return out;
}

bool ParseRange(std::string_view text, Rect& out) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    int32_t r, c;
    if (!ParseA1(text, r, c)) return false;
    out = Rect{r, c, r, c};
    return true;
  }
  std::string_view a = text.substr(0, colon), b = text.substr(colon + 1);
  Rect r;
  if (ParseA1(a, r.r1, r.c1) && ParseA1(b, r.r2, r.c2)) {
    // both corners are cells
  } else {
    size_t pa = 0, pb = 0;
    int32_t x = ReadColumn(a, pa), y = ReadColumn(b, pb);
    if (x >= 0 && y >= 0 && pa == a.size() && pb == b.size()) {
      r = Rect{0, x, kMaxRows - 1, y};
    } else {
      pa = pb = 0;
      x = ReadRow(a, pa);
      y = ReadRow(b, pb);
      if (x < 0 || y < 0 || pa != a.size() || pb != b.size()) return false;
      r = Rect{x, 0, y, kMaxCols - 1};
    }
  }
  if (r.r1 > r.r2) std::swap(r.r1, r.r2);
  if (r.c1 > r.c2) std::swap(r.c1, r.c2);
  out = r;
  return true;
}

std::string FormatRange(const Rect& r) {
  if (r.empty()) return {};
  std::string out = FormatA1(r.r1, r.c1);
  if (r.r1 != r.r2 || r.c1 != r.c2) {
    out.push_back(':');
    out += FormatA1(r.r2, r.c2);
  }
  return out;
}

}  // namespace corvane
