#include "engine/automation/spreadsheet_automation.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "engine/automation/paste.h"
#include "engine/core/cellref.h"
#include "engine/core/text_fold.h"

namespace corvane {

namespace {
std::atomic<int> gAlive{0};
std::atomic<int> gNewBooks{0};
ApplicationPresenter* gPresenter = nullptr;
const WorkbookSaver* gSaver = nullptr;

std::string FileNameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Application

std::shared_ptr<Application> Application::Create() { return std::shared_ptr<Application>(new Application()); }

Application::Application() { ++gAlive; }

Application::~Application() { release(); }

int Application::AliveCount() { return gAlive.load(); }

void Application::SetPresenter(ApplicationPresenter* presenter) { gPresenter = presenter; }

void Application::SetSaver(const WorkbookSaver* saver) { gSaver = saver; }

void Application::release() {
  if (counted_) {
    counted_ = false;
    --gAlive;
  }
}

void Application::checkAlive() const {
  if (quit_) throw AutomationError("The spreadsheet application has already been closed.");
}

void Application::SetVisible(bool visible) {
  checkAlive();
  bool wasVisible = visible_;
  visible_ = visible;
  if (visible && !wasVisible && gPresenter) gPresenter->present(shared_from_this());
}

Workbooks& Application::Workbooks() {
  checkAlive();
  return workbooks_;
}

void Application::SetCutCopyMode(bool on) {
  checkAlive();
  if (!on) buffer_ = CopyBuffer{};
}

void Application::Quit() {
  if (quit_) return;
  buffer_ = CopyBuffer{};
  for (auto& b : workbooks_.books_)
    if (!b->closed_) b->Close(false);
  // The closed workbook objects stay until the application goes, so that a stale
  // reference fails with a message instead of touching freed memory.
  quit_ = true;
  release();
}

// ---------------------------------------------------------------------------
// Workbooks

struct Workbook::Interner {
  explicit Interner(StyleTable& t) : styles(t) {}
  StyleInterner styles;
};

Workbook& Workbooks::Add() {
  app_->checkAlive();
  auto book = std::unique_ptr<Workbook>(new Workbook(app_));
  book->name_ = "Book" + std::to_string(++gNewBooks);
  book->ownStyles_ = std::make_shared<StyleTable>();
  book->ownStyles_->styles.push_back(Style{});
  book->interner_ = std::make_unique<Workbook::Interner>(*book->ownStyles_);
  for (int i = 1; i <= 3; ++i) {
    SheetInfo info;
    info.name = "Sheet" + std::to_string(i);
    auto ws = std::unique_ptr<Worksheet>(new Worksheet(book.get(), info, 0));
    ws->data_ = std::make_shared<SheetData>();
    book->order_.push_back(ws.get());
    book->sheetObjects_.push_back(std::move(ws));
  }
  books_.push_back(std::move(book));
  return *books_.back();
}

Workbook& Workbooks::Open(const std::string& path) {
  app_->checkAlive();
  auto book = std::unique_ptr<Workbook>(new Workbook(app_));
  ++opened_;
  book->reader_ = app_->source_ ? app_->source_->open(path) : OpenWorkbookFile(path);
  book->fromFile_ = true;
  book->path_ = path;
  book->name_ = FileNameOf(path);
  const auto& infos = book->reader_->sheets();
  for (size_t i = 0; i < infos.size(); ++i) {
    auto ws = std::unique_ptr<Worksheet>(new Worksheet(book.get(), infos[i], i));
    book->order_.push_back(ws.get());
    book->sheetObjects_.push_back(std::move(ws));
  }
  books_.push_back(std::move(book));
  return *books_.back();
}

int32_t Workbooks::Count() const {
  int32_t n = 0;
  for (auto& b : books_) n += !b->closed_;
  return n;
}

Workbook& Workbooks::Item(int32_t index) const {
  int32_t n = 0;
  for (auto& b : books_)
    if (!b->closed_ && ++n == index) return *b;
  throw AutomationError("There is no open workbook number " + std::to_string(index) + ".");
}

// ---------------------------------------------------------------------------
// Workbook

Workbook::Workbook(Application* app) : app_(app) {}
Workbook::~Workbook() = default;

void Workbook::checkOpen() const {
  app_->checkAlive();
  if (closed_) throw AutomationError("The workbook " + Quoted(name_) + " has already been closed.");
}

std::shared_ptr<const StyleTable> Workbook::styleTable() {
  if (ownStyles_) return ownStyles_;
  if (!fileStyles_) fileStyles_ = reader_->styles();
  return fileStyles_;
}

void Workbook::Close(bool saveChanges) {
  checkOpen();
  if (saveChanges && changed_) {
    if (fromFile_) {
      throw AutomationError("The workbook " + Quoted(path_) +
                            " was changed, but Corvane never writes over a workbook it did not make. "
                            "Nothing was saved.");
    }
    if (path_.empty())
      throw AutomationError("The workbook " + Quoted(name_) + " has never been saved: save it with Save As first.");
    SaveAs(path_);
  }
  closed_ = true;
  reader_.reset();
  for (auto& ws : sheetObjects_) {
    ws->data_.reset();
    ws->strings_.reset();
  }
  fileStyles_.reset();
}

void Workbook::SaveAs(const std::string& path) {
  checkOpen();
  if (fromFile_)
    throw AutomationError("Corvane does not save workbooks it opened from a file; " + Quoted(name_) + " is left as it is.");
  if (!gSaver)
    throw AutomationError("The workbook " + Quoted(name_) + " cannot be saved as " + Quoted(path) +
                          ": this program was started without a workbook writer.");
  std::vector<SheetToSave> sheets;
  for (Worksheet* ws : order_) {
    SheetData& d = ws->mutableData();
    d.sortCells();
    sheets.push_back(SheetToSave{ws->Name(), &d, &ownStyles_->styles});
  }
  gSaver->Save(path, sheets);
  path_ = path;
  name_ = FileNameOf(path);
  changed_ = false;
}

// ---------------------------------------------------------------------------
// SheetCollection

std::vector<Worksheet*> SheetCollection::list() const {
  book_->checkOpen();
  std::vector<Worksheet*> out;
  for (Worksheet* ws : book_->order_)
    if (!worksheetsOnly_ || ws->kind() == SheetKind::Worksheet) out.push_back(ws);
  return out;
}

int32_t SheetCollection::Count() const { return static_cast<int32_t>(list().size()); }

Worksheet& SheetCollection::Item(int32_t index) const {
  auto l = list();
  if (index < 1 || index > static_cast<int32_t>(l.size()))
    throw AutomationError(Quoted(book_->name_) + " has no " + (worksheetsOnly_ ? "worksheet" : "sheet") +
                          " number " + std::to_string(index) + ".");
  return *l[static_cast<size_t>(index - 1)];
}

Worksheet& SheetCollection::Item(const std::string& name) const {
  for (Worksheet* ws : list())
    if (ws->Name() == name) return *ws;
  // Sheet names compare without regard to case in spreadsheets, in every script.
  for (Worksheet* ws : list())
    if (EqualsFolded(ws->Name(), name)) return *ws;
  throw AutomationError(Quoted(book_->path_.empty() ? book_->name_ : book_->path_) + " has no worksheet named " +
                        Quoted(name) + ".");
}

Worksheet& SheetCollection::Add() const {
  book_->checkOpen();
  if (!book_->ownStyles_)
    throw AutomationError("Corvane adds sheets only to workbooks it made; " + Quoted(book_->name_) + " was opened from a file.");
  std::string name;
  for (int k = 1;; ++k) {
    name = "Sheet" + std::to_string(k);
    bool taken = false;
    for (Worksheet* ws : book_->order_) taken = taken || EqualsFolded(ws->Name(), name);
    if (!taken) break;
  }
  SheetInfo info;
  info.name = name;
  auto ws = std::unique_ptr<Worksheet>(new Worksheet(book_, info, 0));
  ws->data_ = std::make_shared<SheetData>();
  Worksheet* added = ws.get();
  book_->order_.push_back(added);
  book_->sheetObjects_.push_back(std::move(ws));
  book_->changed_ = true;
  return *added;
}

// ---------------------------------------------------------------------------
// Worksheet

Worksheet::Worksheet(Workbook* book, SheetInfo info, size_t readerIndex)
    : book_(book), info_(std::move(info)), readerIndex_(readerIndex) {}

Worksheet::~Worksheet() = default;

const SheetData& Worksheet::data() {
  book_->checkOpen();
  if (!data_) {
    if (info_.kind != SheetKind::Worksheet)
      throw AutomationError("Sheet " + Quoted(info_.name) + " of " + Quoted(book_->name_) + " is not a worksheet.");
    data_ = book_->reader_->loadSheet(readerIndex_);
  }
  // Pastes side by side leave cells out of row order until someone reads them.
  if (!data_->sorted) data_->sortCells();
  return *data_;
}

SheetData& Worksheet::mutableData() {
  data();
  return *data_;
}

corvane::Range Worksheet::UsedRange() {
  // The bounding box is kept up to date by loading and pasting: no need to sort for it.
  book_->checkOpen();
  if (!data_) data();
  const SheetData& d = *data_;
  return corvane::Range(this, d.used.empty() ? Rect{0, 0, 0, 0} : d.used);
}

corvane::Range Worksheet::Cells(int32_t row, int32_t col) {
  book_->checkOpen();
  if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
    throw AutomationError("Cell (" + std::to_string(row) + ", " + std::to_string(col) + ") lies outside the sheet " +
                          Quoted(info_.name) + ".");
  return corvane::Range(this, Rect{row - 1, col - 1, row - 1, col - 1});
}

corvane::Range Worksheet::Range(const std::string& a, const std::string& b) {
  book_->checkOpen();
  Rect ra, rb;
  if (!ParseRange(a, ra) || !ParseRange(b, rb))
    throw AutomationError(Quoted(a + ":" + b) + " is not a range of cells.");
  Rect r{std::min(ra.r1, rb.r1), std::min(ra.c1, rb.c1), std::max(ra.r2, rb.r2), std::max(ra.c2, rb.c2)};
  return corvane::Range(this, r);
}

void Worksheet::Delete() {
  book_->checkOpen();
  auto& order = book_->order_;
  int visibleWorksheets = 0;
  for (Worksheet* ws : order)
    visibleWorksheets += ws != this && ws->info_.visibility == SheetVisibility::Visible;
  if (visibleWorksheets == 0)
    throw AutomationError("A workbook must keep at least one visible sheet; " + Quoted(info_.name) +
                          " cannot be deleted.");
  std::erase(order, this);
  book_->changed_ = true;
}

void Worksheet::SetName(const std::string& name) {
  checkOwn("renames");
  auto refuse = [&](const std::string& why) {
    throw AutomationError("A sheet cannot be named " + Quoted(name) + ": " + why + ".");
  };
  if (name.empty()) refuse("a sheet's name cannot be empty");
  if (Utf16Length(name) > 31) refuse("a sheet's name has at most 31 characters");
  if (name.find_first_of(":\\/?*[]") != std::string::npos) refuse("a sheet's name cannot hold : \\ / ? * [ or ]");
  if (name.front() == '\'' || name.back() == '\'') refuse("a sheet's name cannot start or end with an apostrophe");
  for (Worksheet* ws : book_->order_)
    if (ws != this && EqualsFolded(ws->Name(), name)) refuse("the workbook has a sheet of that name already");
  info_.name = name;
  book_->changed_ = true;
}

void Worksheet::checkOwn(const char* what) const {
  book_->checkOpen();
  if (!book_->ownStyles_)
    throw AutomationError(std::string("Corvane ") + what + " only sheets of workbooks it made; " + Quoted(book_->name_) +
                          " was opened from a file.");
}

void Worksheet::paste(int32_t row, int32_t col, const PasteRules& rules) {
  Application& app = *book_->app_;
  if (!app.buffer_.active) throw AutomationError("There is nothing to paste: no range has been copied.");
  checkOwn("pastes into");
  SheetData& d = mutableData();
  if (!strings_) strings_ = std::make_unique<StringInterner>(d.strings);
  PasteDestination dst{d, book_->interner_->styles, *strings_, book_->ownStyles_->date1904};
  lastPasteAsValues_ = PasteBlock(*app.buffer_.data, *app.buffer_.styles, app.buffer_.rect, dst, row, col, rules);
  book_->asValuesTotal_ += lastPasteAsValues_;
  book_->changed_ = true;
}

// ---------------------------------------------------------------------------
// Range

Range Range::Cells(int32_t row, int32_t col) const {
  int64_t r = static_cast<int64_t>(rect_.r1) + row - 1, c = static_cast<int64_t>(rect_.c1) + col - 1;
  if (r < 0 || r >= kMaxRows || c < 0 || c >= kMaxCols)
    throw AutomationError("Cell (" + std::to_string(row) + ", " + std::to_string(col) + ") of the range " +
                          Address() + " lies outside the sheet.");
  return Range(sheet_, Rect{static_cast<int32_t>(r), static_cast<int32_t>(c), static_cast<int32_t>(r),
                            static_cast<int32_t>(c)});
}

std::string Range::Address() const {
  std::string a = FormatA1(rect_.r1, rect_.c1, true, true);
  if (rect_.rows() > 1 || rect_.cols() > 1) a += ":" + FormatA1(rect_.r2, rect_.c2, true, true);
  return a;
}

void Range::Copy() const {
  Workbook& book = sheet_->Parent();
  book.checkOpen();
  const SheetData& d = sheet_->data();
  Application& app = book.Parent();
  app.buffer_.active = true;
  // A sheet of a new workbook can still change before the paste: copy what it holds now.
  if (book.ownStyles_) {
    app.buffer_.data = std::make_shared<SheetData>(d);
    app.buffer_.styles = std::make_shared<StyleTable>(*book.ownStyles_);
  } else {
    app.buffer_.data = sheet_->data_;
    app.buffer_.styles = book.styleTable();
  }
  app.buffer_.rect = rect_;
}

void Range::PasteSpecial() const { PasteSpecial(PasteRules{}); }

void Range::PasteSpecial(const PasteRules& rules) const {
  sheet_->Parent().checkOpen();
  sheet_->paste(rect_.r1, rect_.c1, rules);
}

namespace {

// The entry of `row` in rows sorted by row, made when there is none. Rows set in order
// (as a merge sets them) are appended.
RowInfo& RowEntry(std::vector<RowInfo>& rows, int32_t row) {
  if (rows.empty() || rows.back().row < row) {
    rows.push_back(RowInfo{});
    rows.back().row = row;
    return rows.back();
  }
  auto it = std::lower_bound(rows.begin(), rows.end(), row, [](const RowInfo& r, int32_t v) { return r.row < v; });
  if (it != rows.end() && it->row == row) return *it;
  RowInfo fresh;
  fresh.row = row;
  return *rows.insert(it, fresh);
}

// Applies `set` to columns c1..c2 of runs sorted and apart, splitting runs where the
// range begins or ends inside one and adding runs where there were none.
template <typename Set>
void SetColumns(std::vector<ColInfo>& cols, int32_t c1, int32_t c2, Set set) {
  auto fresh = [](int32_t a, int32_t b) {
    ColInfo c;
    c.first = a;
    c.last = b;
    return c;
  };
  if (cols.empty() || cols.back().last < c1) {
    cols.push_back(fresh(c1, c2));
    set(cols.back());
    return;
  }
  std::vector<ColInfo> out;
  out.reserve(cols.size() + 3);
  int32_t at = c1;  // the first column of c1..c2 not yet placed
  for (const ColInfo& run : cols) {
    if (run.last < c1 || run.first > c2) {
      if (run.first > c2 && at <= c2) {
        out.push_back(fresh(at, c2));
        set(out.back());
        at = c2 + 1;
      }
      out.push_back(run);
      continue;
    }
    if (run.first < c1) {
      out.push_back(run);
      out.back().last = c1 - 1;
    }
    if (at < run.first) {
      out.push_back(fresh(at, run.first - 1));
      set(out.back());
    }
    out.push_back(run);
    out.back().first = std::max(run.first, c1);
    out.back().last = std::min(run.last, c2);
    set(out.back());
    at = out.back().last + 1;
    if (run.last > c2) {
      out.push_back(run);
      out.back().first = c2 + 1;
    }
  }
  if (at <= c2) {
    out.push_back(fresh(at, c2));
    set(out.back());
  }
  cols = std::move(out);
}

}  // namespace

double Range::ColumnWidth() const {
  const ColInfo* c = sheet_->data().colInfoAt(rect_.c1);
  return c ? c->width : -1;
}

void Range::SetColumnWidth(double width) const {
  sheet_->checkOwn("sizes");
  SetColumns(sheet_->mutableData().colInfo, rect_.c1, rect_.c2, [width](ColInfo& c) { c.width = width; });
}

double Range::RowHeight() const {
  const RowInfo* r = sheet_->data().rowInfoAt(rect_.r1);
  return r ? r->height : -1;
}

void Range::SetRowHeight(double points) const {
  sheet_->checkOwn("sizes");
  auto& rows = sheet_->mutableData().rowInfo;
  for (int32_t r = rect_.r1; r <= rect_.r2; ++r) RowEntry(rows, r).height = points;
}

bool Range::ColumnHidden() const {
  const ColInfo* c = sheet_->data().colInfoAt(rect_.c1);
  return c && c->hidden;
}

void Range::SetColumnHidden(bool hidden) const {
  sheet_->checkOwn("hides columns of");
  SetColumns(sheet_->mutableData().colInfo, rect_.c1, rect_.c2, [hidden](ColInfo& c) { c.hidden = hidden; });
}

bool Range::RowHidden() const {
  const RowInfo* r = sheet_->data().rowInfoAt(rect_.r1);
  return r && r->hidden;
}

void Range::SetRowHidden(bool hidden) const {
  sheet_->checkOwn("hides rows of");
  auto& rows = sheet_->mutableData().rowInfo;
  for (int32_t r = rect_.r1; r <= rect_.r2; ++r) RowEntry(rows, r).hidden = hidden;
}

void Range::Select() const {
  sheet_->Parent().checkOpen();
  sheet_->selection_ = rect_;
}

}  // namespace corvane
