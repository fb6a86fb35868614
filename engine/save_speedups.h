// Two shortcuts taken while libxlsxwriter saves a workbook on the calling thread.
//
// libxlsxwriter formats every cell of a sheet with fprintf ("%.16G" for numbers) and snprintf
// (its row number), and always deflates at zlib's default level 6; together they were two
// thirds of a merge. None of it has a setting, so the C library's fprintf and snprintf and
// zlib's deflateInit2_ are wrapped (save_speedups.cpp): while a SaveSpeedups object lives on
// a thread, that thread's fprintf and snprintf calls whose format holds only %s, %d and %.16G
// are formatted here, byte for byte as the C library would, and its deflate streams use
// level 2. Every other caller, and every other thread, gets the library functions untouched.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace corvane {

class SaveSpeedups {
 public:
  SaveSpeedups();
  ~SaveSpeedups();
  SaveSpeedups(const SaveSpeedups&) = delete;
  SaveSpeedups& operator=(const SaveSpeedups&) = delete;
};

// The formatter behind the fprintf shortcut: writes `fmt` with `args` to `out` and returns the
// number of bytes, or -1 when writing fails or, before anything is written, when `fmt` holds
// anything but literal text, %%, %s, %d and %.16G. `args` is left unconsumed. Exposed for tests.
int FormatSimple(FILE* out, const char* fmt, va_list args);
// The same into a buffer, as snprintf: at most `size` bytes with the terminating zero; returns
// the length the whole output has.
int FormatSimple(char* dst, size_t size, const char* fmt, va_list args);

}  // namespace corvane
