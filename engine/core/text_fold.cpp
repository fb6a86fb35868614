#include "engine/core/text_fold.h"

#include "engine/core/unicode.h"

namespace corvane {

namespace {

// Latin Extended-B has no regular layout: its pairs one by one, where the lower-case letter
// is not the code point after the capital.
char32_t FoldLatinExtendedB(char32_t c) {
  switch (c) {
    case 0x181: return 0x253;
    case 0x186: return 0x254;
    case 0x189: return 0x256;
    case 0x18A: return 0x257;
    case 0x18E: return 0x1DD;
    case 0x18F: return 0x259;
    case 0x190: return 0x25B;
    case 0x193: return 0x260;
    case 0x194: return 0x263;
    case 0x196: return 0x269;
    case 0x197: return 0x268;
    case 0x19C: return 0x26F;
    case 0x19D: return 0x272;
    case 0x19F: return 0x275;
    case 0x1A6: return 0x280;
    case 0x1A9: return 0x283;
    case 0x1AE: return 0x288;
    case 0x1B1: return 0x28A;
    case 0x1B2: return 0x28B;
    case 0x1B7: return 0x292;
    case 0x1C4: case 0x1C5: return 0x1C6;
    case 0x1C7: case 0x1C8: return 0x1C9;
    case 0x1CA: case 0x1CB: return 0x1CC;
    case 0x1F1: case 0x1F2: return 0x1F3;
    case 0x1F6: return 0x195;
    case 0x1F7: return 0x1BF;
    case 0x220: return 0x19E;
    case 0x23A: return 0x2C65;
    case 0x23D: return 0x19A;
    case 0x23E: return 0x2C66;
    case 0x243: return 0x180;
    case 0x244: return 0x289;
    case 0x245: return 0x28C;
    // Capitals directly followed by their small letter.
    case 0x182: case 0x184: case 0x187: case 0x18B: case 0x191: case 0x198: case 0x1A0: case 0x1A2: case 0x1A4:
    case 0x1A7: case 0x1AC: case 0x1AF: case 0x1B3: case 0x1B5: case 0x1B8: case 0x1BC: case 0x1F4: case 0x23B:
    case 0x241:
      return c + 1;
    default:
      break;
  }
  if (c >= 0x1CD && c <= 0x1DC) return (c & 1) ? c + 1 : c;
  if ((c >= 0x1DE && c <= 0x1EF) || (c >= 0x1F8 && c <= 0x21F) || (c >= 0x222 && c <= 0x233) ||
      (c >= 0x246 && c <= 0x24F))
    return (c & 1) ? c : c + 1;
  return c;
}

char32_t FoldGreek(char32_t c) {
  if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 32;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c >= 0x3D8 && c <= 0x3EF) return (c & 1) ? c : c + 1;
  if (c >= 0x3FD && c <= 0x3FF) return c - 130;
  switch (c) {
    case 0x370: case 0x372: case 0x376: case 0x3F7: case 0x3FA: return c + 1;
    case 0x37F: return 0x3F3;
    case 0x386: return 0x3AC;
    case 0x38C: return 0x3CC;
    case 0x38E: case 0x38F: return c + 63;
    case 0x3C2: return 0x3C3;  // final sigma
    case 0x3CF: return 0x3D7;
    case 0x3D0: return 0x3B2;
    case 0x3D1: case 0x3F4: return 0x3B8;
    case 0x3D5: return 0x3C6;
    case 0x3D6: return 0x3C0;
    case 0x3F0: return 0x3BA;
    case 0x3F1: return 0x3C1;
    case 0x3F5: return 0x3B5;
    case 0x3F9: return 0x3F2;
    default: return c;
  }
}

char32_t FoldCyrillic(char32_t c) {
  if (c <= 0x40F) return c + 80;
  if (c <= 0x42F) return c + 32;
  if (c == 0x4C0) return 0x4CF;
  if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c + 1 : c;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
    return (c & 1) ? c : c + 1;
  return c;
}

bool IsSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000 || c == 0xFEFF;
}

// The code point at p (p < e) and its length; a byte that starts no UTF-8 character stands
// for itself, one byte long.
size_t CodePointAt(const char* p, const char* e, char32_t& cp) {
  uint32_t v = 0;
  size_t n = DecodeUtf8(p, e, v);
  if (n == 0) {
    cp = static_cast<unsigned char>(*p) | 0x80000000u;  // no character: never equal to one
    return 1;
  }
  cp = v;
  return n;
}

}  // namespace

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c < 0x100) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c == 0xB5 ? 0x3BC : c;
  }
  if (c <= 0x17F) {
    switch (c) {
      case 0x130: return 'i';  // İ, which other languages write as a dotted capital I
      case 0x131: case 0x138: case 0x149: return c;
      case 0x178: return 0xFF;
      case 0x17F: return 's';
      default: break;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    return (c & 1) ? c : c + 1;
  }
  if (c <= 0x24F) return FoldLatinExtendedB(c);
  if (c >= 0x370 && c <= 0x3FF) return FoldGreek(c);
  if (c >= 0x400 && c <= 0x52F) return FoldCyrillic(c);
  if (c >= 0x531 && c <= 0x556) return c + 48;  // Armenian
  if (c >= 0x1E00 && c <= 0x1EFF) {
    if (c == 0x1E9E) return 0xDF;  // capital sharp s
    if (c >= 0x1E96 && c <= 0x1E9F) return c;
    return (c & 1) ? c : c + 1;
  }
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;  // fullwidth Latin
  return c;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const char* p = text.data();
  const char* e = p + text.size();
  while (p < e) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      char ch = *p++;
      out.push_back(ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch);
      continue;
    }
    char32_t cp;
    size_t n = CodePointAt(p, e, cp);
    if (cp & 0x80000000u) out.push_back(*p);
    else AppendUtf8(out, static_cast<uint32_t>(FoldCodePoint(cp)));
    p += n;
  }
  return out;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  const char *p = a.data(), *pe = p + a.size(), *q = b.data(), *qe = q + b.size();
  while (p < pe && q < qe) {
    char32_t x, y;
    p += CodePointAt(p, pe, x);
    q += CodePointAt(q, qe, y);
    if (x != y && ((x | y) & 0x80000000u || FoldCodePoint(x) != FoldCodePoint(y))) return false;
  }
  return p == pe && q == qe;
}

std::string_view TrimSpace(std::string_view text) {
  const char* b = text.data();
  const char* e = b + text.size();
  while (b < e) {
    char32_t cp;
    size_t n = CodePointAt(b, e, cp);
    if (!IsSpace(cp)) break;
    b += n;
  }
  // Backwards: step to the start of the last character, which is at most 4 bytes long.
  while (e > b) {
    const char* s = e - 1;
    while (s > b && e - s < 4 && (static_cast<unsigned char>(*s) & 0xC0) == 0x80) --s;
    char32_t cp;
    if (CodePointAt(s, e, cp) != static_cast<size_t>(e - s) || !IsSpace(cp)) break;
    e = s;
  }
  return std::string_view(b, static_cast<size_t>(e - b));
}

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  const char* p = text.data();
  const char* e = p + text.size();
  while (p < e) {
    char32_t cp;
    p += CodePointAt(p, e, cp);
    units += !(cp & 0x80000000u) && cp >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::string_view CutToUtf16(std::string_view text, size_t units) {
  const char* b = text.data();
  const char* p = b;
  const char* e = b + text.size();
  size_t used = 0;
  while (p < e) {
    char32_t cp;
    size_t n = CodePointAt(p, e, cp);
    size_t w = !(cp & 0x80000000u) && cp >= 0x10000 ? 2 : 1;
    if (used + w > units) break;
    used += w;
    p += n;
  }
  return text.substr(0, static_cast<size_t>(p - b));
}

}  // namespace corvane
