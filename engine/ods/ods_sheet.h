// Reading one table of an .ods content.xml into a sheet's cells, the reader's hot path: rows,
// columns and cells with their repeats and spans, values, text, formulas, styles, merges,
// links and annotations.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/containers/xml_reader.h"
#include "engine/core/formula_services.h"
#include "engine/core/model.h"
#include "engine/ods/ods_scanner.h"

namespace corvane {

class OdsStyleSheet;

namespace ods {

// Takes the XML of content.xml from the start of the document, or from the table sought on
// under stand-ins for the elements around it, and stops (StopParsing) where that table ends.
class SheetHandler : public XmlHandler {
 public:
  // True once the table sought has begun.
  virtual bool found() const = 0;
  // True once any element has been handed in.
  virtual bool started() const = 0;
  // The prefixes of the document, for a handler that starts inside it.
  virtual void usePrefixes(const Prefixes& p) = 0;
};

// Reads table `target` (0-based, in document order) of office:spreadsheet into `sheet`, in the
// formats of `styles`; `what` names the file, sheet and part in errors. `styles` and `formulas`
// must outlive the handler.
std::unique_ptr<SheetHandler> MakeSheetHandler(SheetData& sheet, const OdsStyleSheet& styles, bool date1904,
                                               size_t target, std::string what, const FormulaServices& formulas);

}  // namespace ods
}  // namespace corvane
