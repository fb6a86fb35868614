// OpenFormula, as .ods files store it ("of:=SUM([.A1:.B2])"), turned into the A1 text an
// .xlsx file stores ("SUM(A1:B2)").
#pragma once

#include <string>
#include <string_view>

namespace corvane {

struct OdsFormula {
  std::string text;        // without the leading '='; empty when nothing could be made of it
  bool valueOnly = false;  // no faithful A1 text: paste the cached result instead
};

// `attr` is the table:formula attribute as stored, namespace prefix included.
OdsFormula ConvertOdsFormula(std::string_view attr);

}  // namespace corvane
