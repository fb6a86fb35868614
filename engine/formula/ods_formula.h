// OpenFormula, as .ods files store it ("of:=SUM([.A1:.B2])"), turned into the A1 text an
// .xlsx file stores ("SUM(A1:B2)").
#pragma once

#include <string>
#include <string_view>

#include "engine/core/formula_services.h"

namespace corvane {

// `attr` is the table:formula attribute as stored, namespace prefix included.
OdsFormula ConvertOdsFormula(std::string_view attr);

}  // namespace corvane
