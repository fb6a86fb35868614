#include "engine/automation/spreadsheet_automation.h"

#include <atomic>
#include <filesystem>

#include "engine/automation/paste.h"
#include "engine/core/cellref.h"

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
  // Sheet names compare without regard to case in spreadsheets (ASCII letters here; the C
  // library's tolower would follow the user's locale).
  auto lower = [](std::string s) {
    for (char& ch : s)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
  };
  for (Worksheet* ws : list())
    if (lower(ws->Name()) == lower(name)) return *ws;
  throw AutomationError(Quoted(book_->path_.empty() ? book_->name_ : book_->path_) + " has no worksheet named " +
                        Quoted(name) + ".");
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

void Worksheet::paste(int32_t row, int32_t col) {
  Application& app = *book_->app_;
  if (!app.buffer_.active) throw AutomationError("There is nothing to paste: no range has been copied.");
  if (!book_->ownStyles_)
    throw AutomationError("Corvane pastes only into workbooks it made; " + Quoted(book_->name_) + " was opened from a file.");
  SheetData& d = mutableData();
  if (!strings_) strings_ = std::make_unique<StringInterner>(d.strings);
  PasteDestination dst{d, book_->interner_->styles, *strings_, book_->ownStyles_->date1904};
  lastPasteAsValues_ = PasteBlock(*app.buffer_.data, *app.buffer_.styles, app.buffer_.rect, dst, row, col);
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

void Range::PasteSpecial() const {
  sheet_->Parent().checkOpen();
  sheet_->paste(rect_.r1, rect_.c1);
}

void Range::Select() const {
  sheet_->Parent().checkOpen();
  sheet_->selection_ = rect_;
}

}  // namespace corvane
