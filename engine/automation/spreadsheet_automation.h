// SpreadsheetAutomation: the object model through which Corvane reads and writes
// workbooks. Application -> Workbooks -> Workbook -> Worksheets/Sheets -> Worksheet -> Range,
// named after the spreadsheet object model they stand in for. Every position is 1-based.
// Every failure throws AutomationError with a description the user can act on.
//
// Source workbooks are read-only: closing one never writes it, so the user's files stay
// byte-identical whatever happens. Only workbooks made with Workbooks.Add can be saved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/automation/paste.h"
#include "engine/automation/workbook_open.h"
#include "engine/automation/workbook_saver.h"
#include "engine/core/error.h"
#include "engine/core/model.h"

namespace corvane {

class Application;
class Workbook;
class Worksheet;
class StringInterner;

// What a visible application shows. The window installs one that opens a workbook
// window; without one, a visible application just stays alive while it is referenced.
class ApplicationPresenter {
 public:
  virtual ~ApplicationPresenter() = default;
  virtual void present(std::shared_ptr<Application> app) = 0;
};

// A rectangle on one worksheet. A plain value: cheap to copy, valid while its sheet is.
class Range {
 public:
  Range(corvane::Worksheet* sheet, Rect rect) : sheet_(sheet), rect_(rect) {}

  struct Axis {
    int32_t n;
    int32_t Count() const { return n; }
  };
  Axis Rows() const { return {rect_.rows()}; }
  Axis Columns() const { return {rect_.cols()}; }
  Range Cells() const { return *this; }
  // Cell (row, col) counted from this range's top-left; may lie outside the range, not the sheet.
  Range Cells(int32_t row, int32_t col) const;
  // "$C$5" for one cell, "$C$5:$E$9" for more.
  std::string Address() const;
  // Puts exactly this rectangle into the application's copy buffer.
  void Copy() const;
  // Lands the copy buffer with its top-left cell at this range's top-left cell:
  // values, formulas (moved as a paste moves them), formats, merged ranges, links and comments.
  void PasteSpecial() const;
  // The same, knowing more of where the copied cells went (see PasteRules).
  void PasteSpecial(const PasteRules& rules) const;
  void Select() const;

  // Widths of the range's columns, as an .xlsx <col width> holds them (characters of the
  // default font's widest digit, padding included), and heights of its rows in points; below
  // 0 for the sheet's default. The getters read the range's first column or row.
  double ColumnWidth() const;
  void SetColumnWidth(double width) const;
  double RowHeight() const;
  void SetRowHeight(double points) const;
  // Whether the range's whole columns / rows are hidden.
  bool ColumnHidden() const;
  void SetColumnHidden(bool hidden) const;
  bool RowHidden() const;
  void SetRowHidden(bool hidden) const;

  const Rect& rect() const { return rect_; }
  corvane::Worksheet& Worksheet() const { return *sheet_; }

 private:
  corvane::Worksheet* sheet_;
  Rect rect_;
};

class Worksheet {
 public:
  const std::string& Name() const { return info_.name; }
  // Renames a sheet of a workbook made with Workbooks.Add. Throws for a name a spreadsheet
  // refuses: empty, longer than 31 characters, holding : \ / ? * [ or ], starting or ending
  // with an apostrophe, or the name of another sheet of the workbook in any case.
  void SetName(const std::string& name);
  SheetKind kind() const { return info_.kind; }
  // The smallest rectangle holding every cell with a value, a formula or a format other
  // than the default; A1 on an empty sheet.
  corvane::Range UsedRange();
  corvane::Range Cells(int32_t row, int32_t col);
  corvane::Range Range(const std::string& a, const std::string& b);
  corvane::Range Range(const std::string& a) { return Range(a, a); }
  // Removes this sheet from its workbook (Sheets(k).Delete).
  void Delete();

  // Formulas the last paste into this sheet turned into their values, because they referred to
  // other sheets, other workbooks or defined names, or were read without a faithful formula text.
  int64_t LastPasteFormulasAsValues() const { return lastPasteAsValues_; }
  const Rect& Selection() const { return selection_; }

  // The loaded cells (read from the file on first use).
  const SheetData& data();
  Workbook& Parent() const { return *book_; }

 private:
  friend class Workbook;
  friend class Workbooks;
  friend class Range;
  friend class SheetCollection;
  Worksheet(Workbook* book, SheetInfo info, size_t readerIndex);
 public:
  ~Worksheet();
 private:
  SheetData& mutableData();
  void paste(int32_t row, int32_t col, const PasteRules& rules);
  void checkOwn(const char* what) const;

  Workbook* book_;
  SheetInfo info_;
  size_t readerIndex_;
  std::shared_ptr<SheetData> data_;
  std::unique_ptr<StringInterner> strings_;
  Rect selection_{0, 0, 0, 0};
  int64_t lastPasteAsValues_ = 0;
};

// Worksheets (worksheets only) or Sheets (every kind), in tab order.
class SheetCollection {
 public:
  int32_t Count() const;
  Worksheet& Item(int32_t index) const;
  // By exact name; "1" is a name here, never an index.
  Worksheet& Item(const std::string& name) const;
  Worksheet& operator()(int32_t index) const { return Item(index); }
  Worksheet& operator()(const std::string& name) const { return Item(name); }
  // A new, empty worksheet after the last sheet of a workbook made with Workbooks.Add, named
  // "Sheet" and the first number no other sheet takes.
  Worksheet& Add() const;

 private:
  friend class Workbook;
  SheetCollection(Workbook* book, bool worksheetsOnly) : book_(book), worksheetsOnly_(worksheetsOnly) {}
  std::vector<Worksheet*> list() const;
  Workbook* book_;
  bool worksheetsOnly_;
};

class Workbook {
 public:
  ~Workbook();
  const SheetCollection& Worksheets() const { return worksheets_; }
  const SheetCollection& Sheets() const { return sheets_; }
  // Closes the workbook. With saveChanges a changed workbook is saved first; a workbook that
  // was only read is never written.
  void Close(bool saveChanges = false);
  // Saves as a new .xlsx file, through the saver the program installed (Application::SetSaver);
  // the workbook then takes that name.
  void SaveAs(const std::string& path);
  // "Book1" for a new workbook, else the file name.
  const std::string& Name() const { return name_; }
  const std::string& FullName() const { return path_; }
  bool Saved() const { return !changed_; }
  bool IsClosed() const { return closed_; }
  Application& Parent() const { return *app_; }
  // Total of formulas pasted as values into this workbook.
  int64_t FormulasPastedAsValues() const { return asValuesTotal_; }
  // The formats its sheets' cells refer to.
  std::shared_ptr<const StyleTable> Styles() { return styleTable(); }

 private:
  friend class Application;
  friend class Workbooks;
  friend class Worksheet;
  friend class SheetCollection;
  friend class Range;
  Workbook(Application* app);
  void checkOpen() const;
  std::shared_ptr<const StyleTable> styleTable();
  uint32_t internStyle(const Style& s);

  Application* app_;
  std::string name_, path_;
  bool fromFile_ = false, changed_ = false, closed_ = false;
  std::unique_ptr<WorkbookReader> reader_;
  std::vector<std::unique_ptr<Worksheet>> sheetObjects_;
  std::vector<Worksheet*> order_;  // tab order of the sheets still there
  SheetCollection worksheets_{this, true}, sheets_{this, false};
  // A new workbook owns its styles; a workbook from a file borrows its reader's.
  std::shared_ptr<StyleTable> ownStyles_;
  std::shared_ptr<const StyleTable> fileStyles_;
  struct Interner;
  std::unique_ptr<Interner> interner_;
  int64_t asValuesTotal_ = 0;
};

class Workbooks {
 public:
  // A new workbook with the engine's default sheets (Sheet1, Sheet2, Sheet3).
  Workbook& Add();
  // Opens a workbook file; reads its sheet list only.
  Workbook& Open(const std::string& path);
  // Open workbooks, in the order they were opened.
  int32_t Count() const;
  // How many times Open was called on this application.
  int32_t OpenedCount() const { return opened_; }
  Workbook& Item(int32_t index) const;

 private:
  friend class Application;
  explicit Workbooks(Application* app) : app_(app) {}
  Application* app_;
  std::vector<std::unique_ptr<Workbook>> books_;
  int32_t opened_ = 0;
};

class Application : public std::enable_shared_from_this<Application> {
 public:
  // A new, hidden application of its own; never one that is already running.
  static std::shared_ptr<Application> Create();
  // Applications created and not yet quit or released.
  static int AliveCount();
  // Who shows an application made visible. Not owned; nullptr for none.
  static void SetPresenter(ApplicationPresenter* presenter);
  // What Workbook::SaveAs writes files with, for every application. Not owned; without one
  // (nullptr), saving fails with an AutomationError.
  static void SetSaver(const WorkbookSaver* saver);

  ~Application();
  void SetVisible(bool visible);
  bool Visible() const { return visible_; }
  void SetDisplayAlerts(bool on) { displayAlerts_ = on; }
  bool DisplayAlerts() const { return displayAlerts_; }
  class Workbooks& Workbooks();
  // false cancels a pending copy.
  void SetCutCopyMode(bool on);
  bool CutCopyMode() const { return buffer_.active; }
  // Closes every workbook without saving and ends the application.
  void Quit();
  // Where Workbooks.Open gets its readers from now on. Not owned; nullptr for the files.
  void SetWorkbookSource(WorkbookSource* source) { source_ = source; }
  bool HasQuit() const { return quit_; }

 private:
  friend class Range;
  friend class Worksheet;
  friend class Workbook;
  friend class Workbooks;
  Application();
  void checkAlive() const;
  void release();

  struct CopyBuffer {
    bool active = false;
    std::shared_ptr<const SheetData> data;
    std::shared_ptr<const StyleTable> styles;
    Rect rect;
  };

  bool visible_ = false, displayAlerts_ = true, quit_ = false, counted_ = true;
  WorkbookSource* source_ = nullptr;
  class Workbooks workbooks_{this};
  CopyBuffer buffer_;
};

}  // namespace corvane
