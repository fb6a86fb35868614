// The one error type of the engine: its text is shown to the user as it stands. And how its
// descriptions name what they are about: the file, and the part of it (as that format calls
// its parts) or the sheet.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

class AutomationError : public std::runtime_error {
 public:
  explicit AutomationError(const std::string& description) : std::runtime_error(description) {}
  const char* description() const noexcept { return what(); }
};

// "\"a.xlsx\"".
inline std::string Quoted(std::string_view s) {
  std::string out = "\"";
  out += s;
  out += '"';
  return out;
}

// A part of a file: "\"a.xlsx\" (part xl/styles.xml)", "\"a.xlsb\" (part xl/styles.bin)".
inline std::string PartOf(std::string_view file, std::string_view part) {
  return Quoted(file) + " (part " + std::string(part) + ")";
}

// A sheet of a file, with the part that holds it where the format gives each sheet one:
// "\"a.xlsx\" (sheet \"Data\", part xl/worksheets/sheet1.xml)", "\"a.xls\" (sheet \"Data\")".
inline std::string SheetOf(std::string_view file, std::string_view sheet, std::string_view part = {}) {
  std::string out = Quoted(file) + " (sheet " + Quoted(sheet);
  if (!part.empty()) {
    out += ", part ";
    out += part;
  }
  return out + ")";
}

}  // namespace corvane
