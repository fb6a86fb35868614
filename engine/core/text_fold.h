// Text compared the way a spreadsheet compares sheet names and a user compares column
// headers: without regard to case in any script (Latin with its accented and extended
// letters, Greek, Cyrillic, Armenian, fullwidth Latin), never through the C library's
// locale. Texts are UTF-8; bytes that are no UTF-8 are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The simple case folding of one code point: "A" -> "a", "Ä" -> "ä", "Σ" and "ς" -> "σ",
// "Ж" -> "ж", "ẞ" -> "ß". Code points without a folding come back unchanged.
char32_t FoldCodePoint(char32_t cp);

// Every character of `text` folded (FoldCodePoint).
std::string FoldCase(std::string_view text);

// True when the two texts fold to the same text.
bool EqualsFolded(std::string_view a, std::string_view b);

// `text` without the white space at its ends: blanks, tabs, line breaks, no-break spaces and
// the other space characters of Unicode.
std::string_view TrimSpace(std::string_view text);

// The number of UTF-16 code units `text` takes, which is how spreadsheets count the
// characters of a sheet name (one for most characters, two beyond U+FFFF).
size_t Utf16Length(std::string_view text);

// The longest start of `text` that takes at most `units` UTF-16 code units; never cuts a
// character in two.
std::string_view CutToUtf16(std::string_view text, size_t units);

}  // namespace corvane
