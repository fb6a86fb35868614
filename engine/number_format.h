// Cell values as a spreadsheet shows them: a number through its format code
// (General, fixed decimals, percent, scientific, fractions, dates and times,
// sections, colours and conditions), text through the text section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/style.h"

namespace corvane {

// Where General alignment puts a value: numbers and dates right, text left,
// booleans and errors centred.
enum class Align : uint8_t { Left, Center, Right };

struct RenderedValue {
  std::string text;        // what the cell shows
  Rgb color = kAutoColor;  // the colour of a [Red] / [Color10] section, else kAutoColor
  Align align = Align::Right;
};

// A compiled format code: compile once per style, render many cells. Copies share
// the compiled form, so a copy is as cheap as a shared_ptr.
class NumberFormat {
 public:
  // Never throws: a code it cannot read renders like General.
  explicit NumberFormat(std::string_view code = "General");

  // The number as the cell shows it. date1904: the workbook counts dates from
  // 1 Jan 1904 instead of 1900 (with its 29 Feb 1900).
  // Allocates nothing but the returned text.
  RenderedValue Number(double v, bool date1904 = false) const;

  // Text through the text section (the 4th, or a last one holding @);
  // the string as it is when the code has none.
  RenderedValue Text(std::string_view s) const;

  // True when a number in this format shows a date or a time of day.
  bool IsDateTime() const;

 private:
  struct Program;
  std::shared_ptr<const Program> program_;
};

RenderedValue RenderBool(bool b);               // TRUE / FALSE, centred
RenderedValue RenderError(std::string_view e);  // #DIV/0! etc. as given, centred

}  // namespace corvane
