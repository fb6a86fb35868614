// Cell values as a spreadsheet shows them: a number through its format code
// (General, fixed decimals, percent, scientific, fractions, dates and times,
// sections, colours and conditions), text through the text section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/core/style.h"

namespace corvane {

// Where General alignment puts a value: numbers and dates right, text left,
// booleans and errors centred.
enum class Align : uint8_t { Left, Center, Right };

struct RenderedValue {
  std::string text;        // what the cell shows
  Rgb color = kAutoColor;  // the colour of a [Red] / [Color10] section, else kAutoColor
  Align align = Align::Right;
};

// The decimal point and the thousands separator a grid shows: those of the user's language
// (1.234,5 in German), as the window's locale gives them. Format codes themselves are always
// written with '.' and ','; only the rendered text changes. UTF-8, at most 4 bytes each (a
// group separator may be empty). The engine never takes them from the C locale.
class Separators {
 public:
  Separators() = default;  // "." and ","
  Separators(std::string_view decimal, std::string_view group);
  std::string_view Decimal() const { return std::string_view(decimal_, decimalLen_); }
  std::string_view Group() const { return std::string_view(group_, groupLen_); }

 private:
  char decimal_[4] = {'.'};
  char group_[4] = {','};
  uint8_t decimalLen_ = 1, groupLen_ = 1;
};

// A compiled format code: compile once per style, render many cells. Copies share
// the compiled form, so a copy is as cheap as a shared_ptr.
class NumberFormat {
 public:
  // Never throws: a code it cannot read renders like General.
  explicit NumberFormat(std::string_view code = "General");

  // The number as the cell shows it. date1904: the workbook counts dates from
  // 1 Jan 1904 instead of 1900 (with its 29 Feb 1900). `separators` stand for every
  // decimal point and thousands separator the number shows (in fixed, percent, scientific
  // and General output, and in fractions of a second).
  // Allocates nothing but the returned text.
  RenderedValue Number(double v, bool date1904 = false, const Separators& separators = {}) const;

  // Text through the text section (the 4th, or a last one holding @);
  // the string as it is when the code has none.
  RenderedValue Text(std::string_view s) const;

  // True when a number in this format shows a date or a time of day.
  bool IsDateTime() const;

  // True when a number in this format shows a calendar date: a year, a month or a day in one
  // of the sections numbers go through (the text section never shows one).
  bool ShowsDate() const;

 private:
  struct Program;
  std::shared_ptr<const Program> program_;
};

// True for a format code that shows a calendar date (NumberFormat::ShowsDate): "d-mmm-yy",
// "m/d/yy h:mm", "[$-F800]" (the long date). Times of day ("h:mm:ss"), elapsed times
// ("[h]:mm"), a date only in the text section ("0;0;0;d") and codes that cannot be read are
// not dates.
bool IsDateFormat(std::string_view code);

RenderedValue RenderBool(bool b);               // TRUE / FALSE, centred
RenderedValue RenderError(std::string_view e);  // #DIV/0! etc. as given, centred

}  // namespace corvane
