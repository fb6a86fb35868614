// Copy, paste and save, checked against the source: the first worksheet of a small workbook
// (parts_package.h builds it around the fuzzed parts) is copied, pasted two rows down and one
// column right into a new workbook, saved by the engine's writer and read back by our own
// reader. Every value that was not a formula reads back as it was, at its new place.
#include <unistd.h>

#include <cstdio>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/writing/xlsx_saver.h"
#include "tests/fuzz/parts_package.h"

namespace {

using namespace corvane;

class BytesSource : public WorkbookSource {
 public:
  std::string bytes;
  std::unique_ptr<WorkbookReader> open(const std::string& path) override { return OpenWorkbookBytes(bytes, path); }
};

const std::string& SavedPath() {
  static const std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
                                  "/corvane-paste-fuzz-" + std::to_string(getpid()) + ".xlsx";
  return path;
}

std::shared_ptr<SheetData> FirstWorksheet(WorkbookReader& reader) {
  for (size_t i = 0; i < reader.sheets().size(); ++i)
    if (reader.sheets()[i].kind == SheetKind::Worksheet) return reader.loadSheet(i);
  return nullptr;
}

// Pastes the first worksheet's used range and saves the result; false when the engine
// refused with a description (a fine outcome), with `at` the top-left of the paste.
bool PasteAndSave(BytesSource& source, Rect& used, int32_t& dr, int32_t& dc) {
  auto app = Application::Create();
  app->SetWorkbookSource(&source);
  bool saved = false;
  try {
    Workbook& book = app->Workbooks().Open("fuzz.xlsx");
    if (book.Worksheets().Count() > 0) {
      Worksheet& ws = book.Worksheets()(1);
      Range range = ws.UsedRange();
      used = range.rect();
      dr = used.r2 + 2 < kMaxRows ? 2 : 0;
      dc = used.c2 + 1 < kMaxCols ? 1 : 0;
      Workbook& out = app->Workbooks().Add();
      for (int k = out.Sheets().Count(); k >= 2; --k) out.Sheets()(k).Delete();
      ws.Range(range.Cells(1, 1).Address(), range.Cells(range.Rows().Count(), range.Columns().Count()).Address())
          .Copy();
      out.Worksheets()(1).Cells(used.r1 + 1 + dr, used.c1 + 1 + dc).PasteSpecial();
      app->SetCutCopyMode(false);
      out.SaveAs(SavedPath());
      saved = true;
    }
  } catch (const AutomationError&) {
  }
  app->Quit();
  return saved;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Application::SetSaver(&XlsxSaver());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesSource source;
  source.bytes = fuzz::PartsPackage(std::string_view(reinterpret_cast<const char*>(data), size));
  Rect used;
  int32_t dr = 0, dc = 0;
  if (!PasteAndSave(source, used, dr, dc)) return 0;
  std::unique_ptr<WorkbookReader> original = OpenWorkbookBytes(source.bytes, "fuzz.xlsx");
  std::shared_ptr<SheetData> before = FirstWorksheet(*original);
  std::shared_ptr<const StyleTable> styles = original->styles();
  std::unique_ptr<WorkbookReader> readBack = OpenWorkbookFile(SavedPath());  // ours must read what we wrote
  std::shared_ptr<SheetData> after = FirstWorksheet(*readBack);
  std::remove(SavedPath().c_str());
  if (!before || !after) __builtin_trap();
  after->sortCells();
  auto differ = [&](const Cell& c, const char* what) {
    std::fprintf(stderr, "cell row %u col %u (type %d) pasted at +%d+%d: %s\n", c.row, c.col, static_cast<int>(c.type),
                 dr, dc, what);
    __builtin_trap();
  };
  for (const Cell& c : before->cells) {
    if (c.type == CellType::Blank || c.type == CellType::Formula) continue;
    if (!used.contains(static_cast<int32_t>(c.row), c.col)) continue;
    const Cell* d = after->find(static_cast<int32_t>(c.row) + dr, c.col + dc);
    if (!d) differ(c, "missing");
    if (d->type != c.type) differ(c, ("read back as type " + std::to_string(static_cast<int>(d->type))).c_str());
    switch (c.type) {
      case CellType::Number:
      case CellType::Bool: {
        // A date of a 1904 workbook lands in the new (1900) workbook as the same day.
        double expected = c.number();
        if (c.type == CellType::Number && styles->date1904 && c.style < styles->styles.size() &&
            IsDateFormat(styles->styles[c.style].numFmt))
          expected += 1462;
        if (d->number() != expected)
          differ(c, (std::to_string(expected) + " read back as " + std::to_string(d->number())).c_str());
        break;
      }
      case CellType::Error:
        // An error text no spreadsheet knows ("#VAspansLUE!") shows and saves as #N/A.
        if (ErrorText(d->error()) != ErrorText(c.error())) differ(c, "another error");
        break;
      case CellType::String:
        if (after->str(*d) != before->str(c))
          differ(c, ("\"" + std::string(before->str(c)) + "\" read back as \"" + std::string(after->str(*d)) + "\"").c_str());
        break;
      default: break;
    }
  }
  return 0;
}
