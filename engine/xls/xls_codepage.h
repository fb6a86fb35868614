// Text in a code page: BIFF5 and older store 8-bit text in the workbook's code page
// (its CODEPAGE record), which this turns into UTF-8.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane::xls {

class CodePage {
 public:
  CodePage() = default;
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;
  ~CodePage() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  void set(uint16_t cp) { cp_ = cp; }

  // Appends `n` bytes of text in the code page as UTF-8; a byte the code page cannot map
  // becomes U+FFFD.
  void append(std::string& out, const uint8_t* p, size_t n);

 private:
  bool open();

  uint16_t cp_ = 1252;
  int tried_ = -1;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace corvane::xls
