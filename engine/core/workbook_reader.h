// What the engine needs of a workbook file, whatever its format: the interface every
// format's reader implements.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/core/model.h"

namespace corvane {

enum class SheetKind { Worksheet, Chartsheet, Macrosheet, Dialogsheet };
enum class SheetVisibility { Visible, Hidden, VeryHidden };

struct SheetInfo {
  std::string name;
  SheetKind kind = SheetKind::Worksheet;
  SheetVisibility visibility = SheetVisibility::Visible;
};

class WorkbookReader {
 public:
  virtual ~WorkbookReader() = default;
  // Every sheet in tab order, of every kind. Known once the file is open.
  virtual const std::vector<SheetInfo>& sheets() const = 0;
  // The cells of sheet `index` (into sheets()); read from the file on each call.
  virtual std::shared_ptr<SheetData> loadSheet(size_t index) = 0;
  // The formats the loaded sheets' style indices refer to.
  virtual std::shared_ptr<const StyleTable> styles() = 0;
};

}  // namespace corvane
