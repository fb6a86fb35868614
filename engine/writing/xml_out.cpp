#include "engine/writing/xml_out.h"

#include <array>
#include <charconv>
#include <cmath>

#include "engine/core/unicode.h"

namespace corvane {

void ByteBuffer::regrow(size_t need) {
  size_t cap = cap_ < 256 ? 256 : cap_;
  while (cap < need) cap *= 2;
  std::unique_ptr<char[]> grown(new char[cap]);
  if (size_) std::memcpy(grown.get(), data_.get(), size_);
  data_.swap(grown);
  cap_ = cap;
}

namespace {

// Bytes that go through as they are in every kind of text.
constexpr std::array<bool, 256> MakePlain() {
  std::array<bool, 256> t{};
  for (int c = 0x20; c < 0x80; ++c) t[static_cast<size_t>(c)] = true;
  for (char c : {'<', '>', '&', '"', '_'}) t[static_cast<unsigned char>(c)] = false;
  return t;
}
constexpr std::array<bool, 256> kPlain = MakePlain();

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// "_xHHHH_" at p, as a reader of cell text would decode it.
bool LooksLikeEscape(const char* p, const char* e) {
  return e - p >= 7 && p[1] == 'x' && IsHex(p[2]) && IsHex(p[3]) && IsHex(p[4]) && IsHex(p[5]) &&
         p[6] == '_';
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void AppendEscape(ByteBuffer& out, uint32_t cp) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char* p = out.room(7);
  p[0] = '_';
  p[1] = 'x';
  for (int i = 0; i < 4; ++i) p[2 + i] = kDigits[(cp >> (12 - 4 * i)) & 0xF];
  p[6] = '_';
  out.commit(p + 7);
}

// A character XML 1.0 cannot carry, not even as a character reference.
void AppendForbidden(ByteBuffer& out, uint32_t cp, XmlText how) {
  if (how == XmlText::CellText)
    AppendEscape(out, cp);
  else
    out.append(kReplacement);
}

}  // namespace

void AppendXml(ByteBuffer& out, std::string_view s, XmlText how) {
  const char* p = s.data();
  const char* e = p + s.size();
  while (p < e) {
    const char* run = p;
    while (p < e && kPlain[static_cast<unsigned char>(*p)]) ++p;
    if (p != run) out.append(run, static_cast<size_t>(p - run));
    if (p == e) break;
    auto c = static_cast<unsigned char>(*p);
    switch (c) {
      case '<': out.append("&lt;"); ++p; continue;
      case '>': out.append("&gt;"); ++p; continue;
      case '&': out.append("&amp;"); ++p; continue;
      case '"':
        if (how == XmlText::Attribute) out.append("&quot;");
        else out.push('"');
        ++p;
        continue;
      case '_':
        // An underscore that would start an escape is written as an escape itself.
        if (how == XmlText::CellText && LooksLikeEscape(p, e)) out.append("_x005F_");
        else out.push('_');
        ++p;
        continue;
      case '\r': out.append("&#13;"); ++p; continue;
      case '\t':
      case '\n':
        if (how == XmlText::Attribute) out.append(c == '\t' ? "&#9;" : "&#10;");
        else out.push(static_cast<char>(c));
        ++p;
        continue;
      default: break;
    }
    if (c < 0x20) {
      AppendForbidden(out, c, how);
      ++p;
      continue;
    }
    uint32_t cp = 0;
    size_t n = DecodeUtf8(p, e, cp);
    if (n == 0) {
      out.append(kReplacement);
      ++p;
    } else if (cp == 0xFFFE || cp == 0xFFFF) {
      AppendForbidden(out, cp, how);
      p += n;
    } else {
      out.append(p, n);
      p += n;
    }
  }
}

void AppendAttr(ByteBuffer& out, std::string_view name, std::string_view value) {
  out.push(' ');
  out.append(name);
  out.append("=\"");
  AppendXml(out, value, XmlText::Attribute);
  out.push('"');
}

void AppendNumberAttr(ByteBuffer& out, std::string_view name, double v) {
  out.push(' ');
  out.append(name);
  out.append("=\"");
  AppendNumber(out, v);
  out.push('"');
}

std::string_view CutToUtf16Units(std::string_view s, size_t units) {
  if (s.size() <= units) return s;  // every UTF-16 unit takes at least one byte
  size_t used = 0, i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    size_t u = len == 4 ? 2 : 1;
    if (used + u > units) break;
    used += u;
    i = std::min(s.size(), i + len);
  }
  return s.substr(0, i);
}

char* WriteUnsigned(char* p, uint64_t v) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char tmp[20];
  char* t = tmp + sizeof tmp;
  while (v >= 100) {
    size_t pair = static_cast<size_t>(v % 100) * 2;
    v /= 100;
    *--t = kPairs[pair + 1];
    *--t = kPairs[pair];
  }
  if (v >= 10) {
    *--t = kPairs[v * 2 + 1];
    *--t = kPairs[v * 2];
  } else {
    *--t = static_cast<char>('0' + v);
  }
  size_t n = static_cast<size_t>(tmp + sizeof tmp - t);
  std::memcpy(p, t, n);
  return p + n;
}

void AppendUnsigned(ByteBuffer& out, uint64_t v) { out.commit(WriteUnsigned(out.room(20), v)); }

namespace {

constexpr double kTwo53 = 9007199254740992.0;
constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                             1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr uint64_t kIntPow10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                  10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                  100000000000ull, 1000000000000ull, 10000000000000ull,
                                  100000000000000ull, 1000000000000000ull};

// A decimal of few places ("3.25", "0.1") without the general algorithm. The first k for
// which |v| * 10^k is a whole number m with m / 10^k == |v| again gives a text that reads back
// as v: both are exact doubles, so that division is the correctly rounded value of the decimal
// m / 10^k. Places are then taken off while the text still reads back as v, which gives the
// shortest one, as to_chars would write it (fixed notation is never longer from 0.001 on).
// nullptr when no k is found (most values with 16 or 17 digits).
char* WriteShortDecimal(char* p, double v) {
  double a = std::fabs(v);
  if (!(a >= 1e-3 && a < 1e15)) return nullptr;
  size_t k = 1;
  uint64_t m = 0;
  for (;; ++k) {
    if (k == std::size(kPow10)) return nullptr;
    double scaled = a * kPow10[k];
    if (scaled >= kTwo53) return nullptr;
    if (scaled != std::trunc(scaled)) continue;
    if (scaled / kPow10[k] != a) return nullptr;
    m = static_cast<uint64_t>(scaled);
    break;
  }
  // The product may have missed a shorter decimal by a rounding: the neighbours of m / 10 are
  // the only candidates with one place less.
  while (k > 1) {
    uint64_t down = m / 10, up = down + 1;
    double exact = a * kPow10[k - 1];
    uint64_t first = exact - static_cast<double>(down) <= static_cast<double>(up) - exact ? down : up;
    uint64_t second = first == down ? up : down;
    if (static_cast<double>(first) / kPow10[k - 1] == a) {
      m = first;
    } else if (static_cast<double>(second) / kPow10[k - 1] == a) {
      m = second;
    } else {
      break;
    }
    --k;
  }
  if (m % kIntPow10[k] == 0) return nullptr;  // a whole number after all: not here
  if (v < 0) *p++ = '-';
  p = WriteUnsigned(p, m / kIntPow10[k]);
  *p++ = '.';
  uint64_t frac = m % kIntPow10[k];
  for (size_t d = k; d-- > 0;) {
    p[d] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  return p + k;
}

}  // namespace

char* WriteNumber(char* p, double v) {
  // Whole numbers, most of what sheets hold, without the general algorithm, and as a
  // spreadsheet writes them. Negative zero keeps its sign through to_chars.
  if (v >= -kTwo53 && v <= kTwo53 && v == std::trunc(v) && !(v == 0 && std::signbit(v))) {
    if (v < 0) {
      *p++ = '-';
      v = -v;
    }
    return WriteUnsigned(p, static_cast<uint64_t>(v));
  }
  if (char* end = WriteShortDecimal(p, v)) return end;
  return std::to_chars(p, p + kNumberRoom, v).ptr;
}

void AppendNumber(ByteBuffer& out, double v) { out.commit(WriteNumber(out.room(kNumberRoom), v)); }

}  // namespace corvane
