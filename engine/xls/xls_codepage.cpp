#include "engine/xls/xls_codepage.h"

#include <cstring>

#include "engine/core/unicode.h"

namespace corvane::xls {

namespace {

// What bytes 0x80-0x9F stand for in Windows-1252 (the rest is Latin-1).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void CodePage::append(std::string& out, const uint8_t* p, size_t n) {
  bool ascii = true;
  for (size_t i = 0; i < n && ascii; ++i) ascii = p[i] < 0x80;
  if (ascii) {
    out.append(reinterpret_cast<const char*>(p), n);
    return;
  }
  if (cp_ == 1252 || cp_ == 0x8001 || cp_ == 1200 || cp_ == 367 || cp_ == 0 || !open()) {
    for (size_t i = 0; i < n; ++i) {
      uint8_t b = p[i];
      AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
    }
    return;
  }
  std::string buf(n * 4 + 4, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
  size_t inLeft = n;
  char* o = buf.data();
  size_t outLeft = buf.size();
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cd_, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
      if (outLeft < 3) break;
      // An unmappable byte becomes U+FFFD and the rest carries on.
      std::memcpy(o, "\xEF\xBF\xBD", 3);
      o += 3;
      outLeft -= 3;
      ++in;
      --inLeft;
    }
  }
  out.append(buf.data(), static_cast<size_t>(o - buf.data()));
}

bool CodePage::open() {
  if (tried_ == cp_) return cd_ != reinterpret_cast<iconv_t>(-1);
  if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  tried_ = cp_;
  std::string name;
  switch (cp_) {
    case 10000:
    case 0x8000: name = "MACINTOSH"; break;
    case 936: name = "GBK"; break;
    case 950: name = "BIG5"; break;
    default: name = "CP" + std::to_string(cp_);
  }
  cd_ = iconv_open("UTF-8", name.c_str());
  return cd_ != reinterpret_cast<iconv_t>(-1);
}

}  // namespace corvane::xls
