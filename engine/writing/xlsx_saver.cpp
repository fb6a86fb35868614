#include "engine/writing/xlsx_saver.h"

#include "engine/writing/xlsx_writer.h"

namespace corvane {

namespace {

class Saver final : public WorkbookSaver {
 public:
  void Save(const std::string& path, const std::vector<SheetToSave>& sheets) const override { SaveXlsx(path, sheets); }
};

}  // namespace

const WorkbookSaver& XlsxSaver() {
  static const Saver saver;
  return saver;
}

}  // namespace corvane
