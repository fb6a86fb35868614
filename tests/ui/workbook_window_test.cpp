// The workbook window a merge opens: the sheet model's rendering and roles, the cell
// painting, and the window itself driven through a real merge, with its questions answered
// by a scripted stand-in.
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/merge.h"
#include "engine/writing/xlsx_writer.h"
#include "lists/list_model.h"
#include "ui/cell_delegate.h"
#include "ui/sheet_model.h"
#include "ui/workbook_presenter.h"
#include "ui/workbook_window.h"

using namespace corvane;

namespace {

// A worksheet put together cell by cell.
struct SheetBuilder {
  SheetData d;
  std::vector<Style> styles{Style{}};

  uint32_t style(const Style& s) {
    styles.push_back(s);
    return static_cast<uint32_t>(styles.size() - 1);
  }
  Cell& put(int r, int c, CellType t, uint32_t st) {
    Cell cell;
    cell.row = static_cast<uint32_t>(r);
    cell.col = static_cast<uint16_t>(c);
    cell.type = t;
    cell.style = st;
    d.cells.push_back(cell);
    d.sorted = false;
    return d.cells.back();
  }
  void number(int r, int c, double v, uint32_t st = 0) { put(r, c, CellType::Number, st).num = v; }
  void text(int r, int c, std::string_view s, uint32_t st = 0) {
    Cell& cell = put(r, c, CellType::String, st);
    cell.sub = kOwnString;
    cell.aux = d.strings.add(s);
  }
  void boolean(int r, int c, bool b, uint32_t st = 0) { put(r, c, CellType::Bool, st).num = b ? 1 : 0; }
  void error(int r, int c, ErrorCode e, uint32_t st = 0) { put(r, c, CellType::Error, st).sub = static_cast<uint8_t>(e); }
  void blank(int r, int c, uint32_t st) { put(r, c, CellType::Blank, st); }
  void formula(int r, int c, std::string text, CachedKind kind, double num = 0, std::string cachedString = {},
               ErrorCode cachedError = ErrorCode::Null, uint32_t st = 0, FormulaKind fk = FormulaKind::Normal) {
    Formula f;
    f.text = std::move(text);
    f.kind = fk;
    if (fk != FormulaKind::Normal) f.arrayRange = Rect{r, c, r, c};
    f.cachedString = std::move(cachedString);
    f.cachedError = static_cast<uint8_t>(cachedError);
    Cell& cell = put(r, c, CellType::Formula, st);
    cell.sub = static_cast<uint8_t>(kind);
    cell.num = num;
    cell.aux = static_cast<uint32_t>(d.formulas.size());
    d.formulas.push_back(std::move(f));
  }
  SheetData& done() {
    d.sortCells();
    d.recomputeUsed();
    return d;
  }
};

Style WithFormat(const char* code) {
  Style s;
  s.numFmt = code;
  return s;
}

QString ShownText(const SheetModel& m, int r, int c) { return m.data(m.index(r, c), Qt::DisplayRole).toString(); }
QString BarText(const SheetModel& m, int r, int c) { return m.data(m.index(r, c), SheetModel::FormulaBarRole).toString(); }
int AlignOf(const SheetModel& m, int r, int c) { return m.data(m.index(r, c), Qt::TextAlignmentRole).toInt(); }
QColor RoleColor(const SheetModel& m, int r, int c, int role) {
  return m.data(m.index(r, c), role).value<QBrush>().color();
}

// Answers the window's questions from a script and records what was asked.
class ScriptedPrompts : public WorkbookPrompts {
 public:
  std::deque<Answer> answers;
  std::deque<QString> paths;  // an empty one cancels the file choice
  QStringList questions, suggestions, errors;

  Answer ask(QWidget*, const QString& question) override {
    questions << question;
    if (answers.empty()) return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString chooseSavePath(QWidget*, const QString& suggestedName) override {
    suggestions << suggestedName;
    if (paths.empty()) return {};
    QString p = paths.front();
    paths.pop_front();
    return p;
  }
  void showError(QWidget*, const QString& text) override { errors << text; }
};

struct NoMessages : Messages {
  QStringList shown;
  void Show(const std::string& text, MessageIcon) override { shown << QString::fromStdString(text); }
};
struct NoProgress : Progress {
  void SetMaximum(int) override {}
  void SetValue(int) override {}
};

// A presenter that times how long opening the window takes.
class TimedPresenter : public WorkbookWindowPresenter {
 public:
  using WorkbookWindowPresenter::WorkbookWindowPresenter;
  qint64 lastNs = 0;
  void present(std::shared_ptr<Application> app) override {
    QElapsedTimer t;
    t.start();
    WorkbookWindowPresenter::present(std::move(app));
    lastNs = t.nsecsElapsed();
  }
};

QList<WorkbookWindow*> OpenWindows() {
  QList<WorkbookWindow*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* ww = qobject_cast<WorkbookWindow*>(w); ww && ww->isVisible()) out << ww;
  return out;
}

// Runs deferred deletions, so closed windows are gone.
void Settle() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

QString PythonCells(const QString& file) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(CORVANE_TEST_SCRIPTS "/cells.py"), file});
  if (!p.waitForFinished(120000)) return QStringLiteral("<timed out>");
  return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
}

}  // namespace

class WorkbookWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();

  // the sheet model
  void valuesRenderThroughTheirFormats();
  void formulasShowTheirCachedResults();
  void formulaBarShowsWhatWasEntered();
  void numbersShowTheSeparatorsOfTheUsersLanguage();
  void coloursFontsAndAlignment();
  void headersAndExtent();
  void multiDataAgreesWithData();
  void neighboursThatShowSomething();

  // the cell painting
  void bordersFillsAndGridLines();
  void diagonalsAndGradients();
  void textSpillsOverEmptyNeighboursOnly();
  void selectionAndCurrentCell();
  void numbersTooWideShowHashes();

  // the window over a merge
  void mergeOpensTheWindow();
  void formulaBarFollowsTheCurrentCell();
  void mergedRangesBecomeSpans();
  void widthsAndHeightsShowInTheGrid();
  void saveAsWritesTheWorkbook();
  void saveAsFailureIsShown();
  void closeAsksAboutUnsavedChanges();
  void closingQuitsTheApplication();
  void presenterWithoutWorkbookShowsNothing();
  void millionRowsOpenWithoutTouchingEveryCell();

 private:
  QString writeSource(const QString& name);
  WorkbookWindow* merge(const QStringList& files, const QString& sheet = QStringLiteral("Data"), int gap = 0);

  std::unique_ptr<QTemporaryDir> dir_;
  std::shared_ptr<ScriptedPrompts> prompts_;
  std::unique_ptr<TimedPresenter> presenter_;
  int aliveBefore_ = 0;
};

// The grid shows numbers in the default QLocale's language: the tests expect English ones
// unless they choose another, whatever locale they run under.
void WorkbookWindowTest::initTestCase() {
  QApplication::setQuitOnLastWindowClosed(false);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void WorkbookWindowTest::cleanupTestCase() { Application::SetPresenter(nullptr); }

void WorkbookWindowTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  prompts_ = std::make_shared<ScriptedPrompts>();
  presenter_ = std::make_unique<TimedPresenter>(prompts_);
  Application::SetPresenter(presenter_.get());
  aliveBefore_ = Application::AliveCount();
}

void WorkbookWindowTest::cleanup() {
  for (WorkbookWindow* w : OpenWindows()) {
    prompts_->answers = {WorkbookPrompts::Answer::No};
    w->close();
  }
  Settle();
  QCOMPARE(OpenWindows().size(), 0);
  QCOMPARE(Application::AliveCount(), aliveBefore_);
  Application::SetPresenter(nullptr);
}

// The source of the window tests: values, formats, formulas (one that names another sheet),
// a merged range, saved as a workbook of its own.
QString WorkbookWindowTest::writeSource(const QString& name) {
  SheetBuilder b;
  Style bold;
  bold.bold = true;
  bold.pattern = FillPattern::Solid;
  bold.fillFg = 0xFFFF00;
  uint32_t money = b.style(WithFormat("#,##0.00"));
  uint32_t date = b.style(WithFormat("yyyy-mm-dd"));
  Style centred;
  centred.hAlign = HAlign::Center;
  uint32_t mid = b.style(centred);
  b.text(0, 0, "Quarterly report for the northern region");
  b.text(1, 0, "Item", b.style(bold));
  b.text(1, 1, "Amount");
  b.text(2, 0, "Widgets");
  b.number(2, 1, 1234.5, money);
  b.number(2, 2, 45306, date);
  b.boolean(2, 3, true);
  b.text(3, 0, "Total");
  b.formula(3, 1, "SUM(B3:B3)", CachedKind::Number, 1234.5, {}, ErrorCode::Null, money);
  b.formula(3, 2, "Other!A1*2", CachedKind::Number, 84);
  b.formula(3, 3, "UPPER(A3)", CachedKind::String, 0, "WIDGETS");
  b.text(4, 2, "Merged", mid);
  b.d.merges.push_back(Rect{4, 2, 5, 3});
  b.text(5, 0, "end");
  QString path = dir_->filePath(name);
  SaveXlsx(path.toStdString(), {SheetToSave{"Data", &b.done(), &b.styles}});
  return path;
}

WorkbookWindow* WorkbookWindowTest::merge(const QStringList& files, const QString& sheet, int gap) {
  ListModel list;
  for (const QString& f : files) list.Add(ListEntry{f.toStdString(), sheet.toStdString(), 0, true});
  NoMessages messages;
  NoProgress progress;
  MergeRun run{list, gap, messages, progress, {}};
  if (!MergeVertical(run)) {
    qWarning("merge failed: %s", run.failure.c_str());
    return nullptr;
  }
  auto windows = OpenWindows();
  return windows.size() == 1 ? windows.first() : nullptr;
}

// ---------------------------------------------------------------------------
// The sheet model

void WorkbookWindowTest::valuesRenderThroughTheirFormats() {
  SheetBuilder b;
  b.number(0, 0, 1234.5, b.style(WithFormat("#,##0.00")));
  b.number(0, 1, 0.25, b.style(WithFormat("0%")));
  b.number(0, 2, 45306, b.style(WithFormat("yyyy-mm-dd")));
  b.number(0, 3, 0.75, b.style(WithFormat("h:mm")));
  b.number(0, 4, 1.0 / 3);
  b.text(0, 5, "plain text");
  b.text(0, 6, "abc", b.style(WithFormat("0;-0;0;\"<\"@\">\"")));
  b.boolean(0, 7, true);
  b.boolean(0, 8, false);
  b.error(0, 9, ErrorCode::Div0);
  b.error(0, 10, ErrorCode::NA);
  b.blank(0, 11, b.style(WithFormat("0.00")));
  const SheetData& d = b.done();
  SheetModel m(d, b.styles, false);
  QCOMPARE(ShownText(m, 0, 0), QStringLiteral("1,234.50"));
  QCOMPARE(ShownText(m, 0, 1), QStringLiteral("25%"));
  QCOMPARE(ShownText(m, 0, 2), QStringLiteral("2024-01-15"));
  QCOMPARE(ShownText(m, 0, 3), QStringLiteral("18:00"));
  QCOMPARE(ShownText(m, 0, 4), QStringLiteral("0.333333"));
  QCOMPARE(ShownText(m, 0, 5), QStringLiteral("plain text"));
  QCOMPARE(ShownText(m, 0, 6), QStringLiteral("<abc>"));
  QCOMPARE(ShownText(m, 0, 7), QStringLiteral("TRUE"));
  QCOMPARE(ShownText(m, 0, 8), QStringLiteral("FALSE"));
  QCOMPARE(ShownText(m, 0, 9), QStringLiteral("#DIV/0!"));
  QCOMPARE(ShownText(m, 0, 10), QStringLiteral("#N/A"));
  QCOMPARE(ShownText(m, 0, 11), QString());
  QCOMPARE(ShownText(m, 5, 5), QString());  // no cell at all

  // The same serial number is another day in a workbook that counts from 1904.
  SheetModel m1904(d, b.styles, true);
  QCOMPARE(ShownText(m1904, 0, 2), QStringLiteral("2028-01-16"));
}

void WorkbookWindowTest::formulasShowTheirCachedResults() {
  SheetBuilder b;
  uint32_t money = b.style(WithFormat("#,##0.00"));
  b.formula(0, 0, "SUM(B1:B9)", CachedKind::Number, 2500, {}, ErrorCode::Null, money);
  b.formula(0, 1, "A1&\"x\"", CachedKind::String, 0, "2500x");
  b.formula(0, 2, "A1>0", CachedKind::Bool, 1);
  b.formula(0, 3, "1/0", CachedKind::Error, 0, {}, ErrorCode::Div0);
  b.formula(0, 4, "NOW()", CachedKind::None);
  SheetModel m(b.done(), b.styles, false);
  QCOMPARE(ShownText(m, 0, 0), QStringLiteral("2,500.00"));
  QCOMPARE(ShownText(m, 0, 1), QStringLiteral("2500x"));
  QCOMPARE(ShownText(m, 0, 2), QStringLiteral("TRUE"));
  QCOMPARE(ShownText(m, 0, 3), QStringLiteral("#DIV/0!"));
  QCOMPARE(ShownText(m, 0, 4), QString());
  QCOMPARE(AlignOf(m, 0, 1) & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));   // a text result
  QCOMPARE(AlignOf(m, 0, 3) & Qt::AlignHorizontal_Mask, int(Qt::AlignHCenter));  // an error
}

void WorkbookWindowTest::formulaBarShowsWhatWasEntered() {
  SheetBuilder b;
  b.formula(0, 0, "SUM(B1:B9)", CachedKind::Number, 2500, {}, ErrorCode::Null, b.style(WithFormat("#,##0.00")));
  b.formula(0, 1, "TRANSPOSE(C1:C3)", CachedKind::Number, 1, {}, ErrorCode::Null, 0, FormulaKind::Array);
  b.number(1, 0, 1234.5, b.style(WithFormat("#,##0.00")));
  b.number(1, 1, 0.125, b.style(WithFormat("0%")));
  b.number(1, 2, 45306, b.style(WithFormat("d mmm yyyy")));
  b.number(1, 3, 45306.5, b.style(WithFormat("yyyy-mm-dd hh:mm")));
  b.number(1, 4, 0.1 + 0.2);
  b.number(1, 5, 1e21);
  b.text(2, 0, "=not a formula");
  b.boolean(2, 1, false);
  b.error(2, 2, ErrorCode::Ref);
  SheetModel m(b.done(), b.styles, false);
  QCOMPARE(BarText(m, 0, 0), QStringLiteral("=SUM(B1:B9)"));
  QCOMPARE(BarText(m, 0, 1), QStringLiteral("{=TRANSPOSE(C1:C3)}"));
  QCOMPARE(BarText(m, 1, 0), QStringLiteral("1234.5"));
  QCOMPARE(BarText(m, 1, 1), QStringLiteral("12.5%"));
  QCOMPARE(BarText(m, 1, 2), QStringLiteral("1/15/2024"));
  QCOMPARE(BarText(m, 1, 3), QStringLiteral("1/15/2024 12:00:00 PM"));
  QCOMPARE(BarText(m, 1, 4), QStringLiteral("0.3"));
  QCOMPARE(BarText(m, 1, 5), QStringLiteral("1E+21"));
  QCOMPARE(BarText(m, 2, 0), QStringLiteral("=not a formula"));
  QCOMPARE(BarText(m, 2, 1), QStringLiteral("FALSE"));
  QCOMPARE(BarText(m, 2, 2), QStringLiteral("#REF!"));
  QCOMPARE(BarText(m, 3, 3), QString());
  QCOMPARE(m.data(m.index(0, 0), Qt::EditRole).toString(), QStringLiteral("=SUM(B1:B9)"));
}

void WorkbookWindowTest::numbersShowTheSeparatorsOfTheUsersLanguage() {
  SheetBuilder b;
  b.number(0, 0, 1234.5, b.style(WithFormat("#,##0.0")));
  b.number(0, 1, 0.125, b.style(WithFormat("0.00%")));
  b.number(0, 2, 12345, b.style(WithFormat("0.00E+00")));
  b.number(0, 3, 0.5);
  b.number(0, 4, 1.5, b.style(WithFormat("# ?/?")));
  b.number(0, 5, 45306 + 45045.5 / 86400, b.style(WithFormat("dd.mm.yyyy hh:mm:ss.00")));  // 12:30:45.5
  b.number(0, 6, 1234567, b.style(WithFormat("#,##0")));
  b.number(0, 7, 1e21);
  b.formula(1, 0, "1.5+A1*2", CachedKind::Number, 2470.5, {}, ErrorCode::Null, b.style(WithFormat("#,##0.00")));
  b.number(1, 1, 0.125, b.style(WithFormat("0%")));
  const SheetData& d = b.done();

  struct Language {
    QLocale locale;
    QStringList grid, bar;
  } languages[] = {
      {QLocale(QLocale::German, QLocale::Germany),
       {"1.234,5", "12,50%", "1,23E+04", "0,5", "1 1/2", "15.01.2024 12:30:45,50", "1.234.567", "1E+21", "2.470,50"},
       {"1234,5", "=1.5+A1*2", "12,5%"}},
      {QLocale(QLocale::French, QLocale::France),  // a narrow no-break space between thousands
       {"1\u202F234,5", "12,50%", "1,23E+04", "0,5", "1 1/2", "15.01.2024 12:30:45,50", "1\u202F234\u202F567", "1E+21",
        "2\u202F470,50"},
       {"1234,5", "=1.5+A1*2", "12,5%"}},
      {QLocale(QLocale::English, QLocale::UnitedStates),
       {"1,234.5", "12.50%", "1.23E+04", "0.5", "1 1/2", "15.01.2024 12:30:45.50", "1,234,567", "1E+21", "2,470.50"},
       {"1234.5", "=1.5+A1*2", "12.5%"}},
  };
  const QLocale before;
  for (const Language& l : languages) {
    QLocale::setDefault(l.locale);
    SheetModel m(d, b.styles, false);
    QStringList grid;
    for (int c = 0; c <= 7; ++c) grid << ShownText(m, 0, c);
    grid << ShownText(m, 1, 0);
    QStringList bar = {BarText(m, 0, 0), BarText(m, 1, 0), BarText(m, 1, 1)};
    QLocale::setDefault(before);
    QCOMPARE(grid, l.grid);
    QCOMPARE(bar, l.bar);
  }
}

void WorkbookWindowTest::coloursFontsAndAlignment() {
  SheetBuilder b;
  Style font;
  font.fontName = "DejaVu Serif";
  font.fontSize = 14;
  font.bold = font.italic = font.strike = true;
  font.underline = Underline::Double;
  font.fontColor = 0x1F4E79;
  b.text(0, 0, "styled", b.style(font));
  Style red = WithFormat("0;[Red]-0");
  red.fontColor = 0x00B050;
  uint32_t redStyle = b.style(red);
  b.number(0, 1, -5, redStyle);  // the section's colour wins over the font's
  b.number(0, 2, 5, redStyle);   // the font's colour where the section has none
  Style solid;
  solid.pattern = FillPattern::Solid;
  solid.fillFg = 0xFFC000;
  solid.fillBg = 0x0000FF;
  b.text(0, 3, "solid", b.style(solid));
  Style gray;
  gray.pattern = FillPattern::Gray125;
  gray.fillFg = 0x000000;
  gray.fillBg = 0xFFFFFF;
  b.blank(0, 4, b.style(gray));
  b.number(1, 0, 1);
  b.text(1, 1, "left");
  b.boolean(1, 2, true);
  Style centreTop;
  centreTop.hAlign = HAlign::Center;
  centreTop.vAlign = VAlign::Top;
  b.number(1, 3, 2, b.style(centreTop));
  Style rightMiddle;
  rightMiddle.hAlign = HAlign::Right;
  rightMiddle.vAlign = VAlign::Center;
  b.text(1, 4, "r", b.style(rightMiddle));
  Style leftNumber;
  leftNumber.hAlign = HAlign::Left;
  b.number(1, 5, 3, b.style(leftNumber));
  SheetModel m(b.done(), b.styles, false);

  QFont f = m.data(m.index(0, 0), Qt::FontRole).value<QFont>();
  QCOMPARE(f.family(), QStringLiteral("DejaVu Serif"));
  QCOMPARE(f.pointSizeF(), 14.0);
  QVERIFY(f.bold() && f.italic() && f.underline() && f.strikeOut());
  QCOMPARE(RoleColor(m, 0, 0, Qt::ForegroundRole), QColor(0x1F, 0x4E, 0x79));
  QCOMPARE(RoleColor(m, 0, 1, Qt::ForegroundRole), QColor(0xFF, 0x00, 0x00));
  QCOMPARE(RoleColor(m, 0, 2, Qt::ForegroundRole), QColor(0x00, 0xB0, 0x50));
  QVERIFY(!m.data(m.index(1, 0), Qt::ForegroundRole).isValid());  // automatic: the view's text colour
  QCOMPARE(RoleColor(m, 0, 3, Qt::BackgroundRole), QColor(0xFF, 0xC0, 0x00));
  // A sparse pattern shows mostly its background, not its pattern colour.
  QColor g = RoleColor(m, 0, 4, Qt::BackgroundRole);
  QVERIFY2(g.red() > 200 && g.red() < 255, qPrintable(g.name()));
  QVERIFY(!m.data(m.index(1, 0), Qt::BackgroundRole).isValid());

  QCOMPARE(AlignOf(m, 1, 0), int(Qt::AlignRight | Qt::AlignBottom));    // General number
  QCOMPARE(AlignOf(m, 1, 1), int(Qt::AlignLeft | Qt::AlignBottom));     // General text
  QCOMPARE(AlignOf(m, 1, 2), int(Qt::AlignHCenter | Qt::AlignBottom));  // General boolean
  QCOMPARE(AlignOf(m, 1, 3), int(Qt::AlignHCenter | Qt::AlignTop));
  QCOMPARE(AlignOf(m, 1, 4), int(Qt::AlignRight | Qt::AlignVCenter));
  QCOMPARE(AlignOf(m, 1, 5), int(Qt::AlignLeft | Qt::AlignBottom));
}

void WorkbookWindowTest::headersAndExtent() {
  SheetBuilder b;
  b.number(499, 29, 1);  // AD500
  SheetModel m(b.done(), b.styles, false);
  QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
  QCOMPARE(m.headerData(25, Qt::Horizontal).toString(), QStringLiteral("Z"));
  QCOMPARE(m.headerData(26, Qt::Horizontal).toString(), QStringLiteral("AA"));
  QCOMPARE(m.headerData(16383, Qt::Horizontal).toString(), QStringLiteral("XFD"));
  QCOMPARE(m.headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
  QCOMPARE(m.headerData(1048575, Qt::Vertical).toString(), QStringLiteral("1048576"));
  QVERIFY(m.rowCount() >= 500 && m.rowCount() < 1000);
  QVERIFY(m.columnCount() >= 30 && m.columnCount() < 100);
  QCOMPARE(SheetModel::address(499, 29), QStringLiteral("AD500"));

  // Growing stops at the sheet's last row and column.
  m.growRows(kMaxRows);
  m.growRows(10);
  QCOMPARE(m.rowCount(), kMaxRows);
  m.growColumns(kMaxCols);
  QCOMPARE(m.columnCount(), kMaxCols);
  QCOMPARE(m.headerData(kMaxCols - 1, Qt::Horizontal).toString(), QStringLiteral("XFD"));

  // An empty sheet still fills a window.
  SheetBuilder empty;
  SheetModel e(empty.done(), empty.styles, false);
  QVERIFY(e.rowCount() >= 100 && e.columnCount() >= 26);
}

void WorkbookWindowTest::multiDataAgreesWithData() {
  // The delegate reads all roles in one call; it must see what data() answers.
  SheetBuilder b;
  Style s = WithFormat("0.0;[Blue]-0.0");
  s.fontColor = 0x00FF00;
  s.pattern = FillPattern::Solid;
  s.fillFg = 0x123456;
  s.hAlign = HAlign::Center;
  s.bold = true;
  uint32_t st = b.style(s);
  b.number(0, 0, -2.25, st);
  b.text(0, 1, "x", st);
  b.formula(0, 2, "A1*2", CachedKind::Number, -4.5, {}, ErrorCode::Null, st);
  b.blank(0, 3, st);
  SheetModel m(b.done(), b.styles, false);
  const int roles[] = {Qt::DisplayRole, Qt::ForegroundRole, Qt::BackgroundRole, Qt::FontRole,
                       Qt::TextAlignmentRole, Qt::EditRole, SheetModel::FormulaBarRole, Qt::DecorationRole};
  for (int col = 0; col < 5; ++col) {
    QModelIndex i = m.index(0, col);
    std::vector<QModelRoleData> all;
    for (int r : roles) all.emplace_back(r);
    m.multiData(i, all);
    for (size_t k = 0; k < all.size(); ++k)
      QVERIFY2(all[k].data() == m.data(i, roles[k]), qPrintable(QStringLiteral("column %1 role %2").arg(col).arg(roles[k])));
  }
}

void WorkbookWindowTest::neighboursThatShowSomething() {
  SheetBuilder b;
  Style fill;
  fill.pattern = FillPattern::Solid;
  fill.fillFg = 0xFF0000;
  uint32_t st = b.style(fill);
  b.text(3, 1, "B4");
  b.blank(3, 3, st);  // a format only: steps over it
  b.formula(3, 4, "NOW()", CachedKind::None);
  b.number(3, 6, 7);
  b.number(4, 0, 1);
  SheetModel m(b.done(), b.styles, false);
  QCOMPARE(m.previousFilled(3, 6), 1);
  QCOMPARE(m.nextFilled(3, 1), 6);
  QCOMPARE(m.previousFilled(3, 1), -1);
  QCOMPARE(m.nextFilled(3, 6), -1);  // the next row's cells are no neighbours
  QCOMPARE(m.previousFilled(4, 0), -1);
}

// ---------------------------------------------------------------------------
// The cell painting

namespace {

// A grid as the window sets it up, painted into an image.
struct PaintedGrid {
  SheetModel model;
  QTableView view;
  explicit PaintedGrid(SheetBuilder& b) : model(b.done(), b.styles, false) {
    view.setShowGrid(false);
    view.horizontalHeader()->setDefaultSectionSize(WorkbookWindow::kColumnWidth);
    view.verticalHeader()->setDefaultSectionSize(WorkbookWindow::kRowHeight);
    view.setModel(&model);
    view.setItemDelegate(new CellDelegate(&view, &model));
    view.resize(600, 300);
    view.setCurrentIndex(model.index(12, 6));  // out of the way, in sight
  }
  QImage image() {
    view.show();
    QCoreApplication::processEvents();
    return view.viewport()->grab().toImage();
  }
  QRect rect(int r, int c) { return view.visualRect(model.index(r, c)); }
};

QColor At(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

bool HasInk(const QImage& img, const QRect& r, QColor ignoreA, QColor ignoreB) {
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      QColor c = img.pixelColor(x, y);
      if (c != ignoreA && c != ignoreB) return true;
    }
  return false;
}

}  // namespace

void WorkbookWindowTest::bordersFillsAndGridLines() {
  SheetBuilder b;
  Style thickBlueRight;
  thickBlueRight.right = {BorderStyle::Thick, 0x0000FF};
  b.text(1, 1, "", b.style(thickBlueRight));
  Style mediumRedLeft;
  mediumRedLeft.left = {BorderStyle::Medium, 0xFF0000};
  b.blank(3, 2, b.style(mediumRedLeft));  // C4's left side shows on B4's right edge
  Style thinBottomAuto;
  thinBottomAuto.bottom = {BorderStyle::Thin, kAutoColor};
  b.blank(5, 1, b.style(thinBottomAuto));
  Style solid;
  solid.pattern = FillPattern::Solid;
  solid.fillFg = 0x00B050;
  b.blank(7, 1, b.style(solid));
  Style dashed;
  dashed.bottom = {BorderStyle::Dashed, 0xFF00FF};
  b.blank(9, 3, b.style(dashed));
  PaintedGrid g(b);
  QImage img = g.image();
  const QColor blue(0, 0, 255), red(255, 0, 0), white(255, 255, 255), magenta(255, 0, 255);
  const QColor grid = QColor::fromRgba(CellDelegate::kGridColor);

  QRect b2 = g.rect(1, 1);
  int y = b2.center().y();
  QCOMPARE(At(img, b2.right(), y), blue);
  QCOMPARE(At(img, b2.right() - 2, y), blue);
  QCOMPARE(At(img, b2.right() - 3, y), white);
  QCOMPARE(At(img, b2.left() - 1, y), grid);  // A2's plain right edge

  QRect b4 = g.rect(3, 1);
  QCOMPARE(At(img, b4.right(), b4.center().y()), red);
  QCOMPARE(At(img, b4.right() - 1, b4.center().y()), red);
  QCOMPARE(At(img, b4.right() - 2, b4.center().y()), white);

  QRect b6 = g.rect(5, 1);
  QCOMPARE(At(img, b6.center().x(), b6.bottom()), QColor(Qt::black));
  QCOMPARE(At(img, b6.center().x(), b6.bottom() - 1), white);

  QRect b8 = g.rect(7, 1);
  QCOMPARE(At(img, b8.center().x(), b8.center().y()), QColor(0x00, 0xB0, 0x50));
  QCOMPARE(At(img, b8.right(), b8.center().y()), QColor(0x00, 0xB0, 0x50));  // a fill hides the grid line

  // A dashed line has gaps.
  QRect d10 = g.rect(9, 3);
  int ink = 0, gaps = 0;
  for (int x = d10.left(); x <= d10.right(); ++x) (At(img, x, d10.bottom()) == magenta ? ink : gaps)++;
  QVERIFY2(ink > 10 && gaps > 5, qPrintable(QStringLiteral("%1 dashes, %2 gaps").arg(ink).arg(gaps)));
}

void WorkbookWindowTest::diagonalsAndGradients() {
  SheetBuilder b;
  Style up;
  up.diagonal = {BorderStyle::Thin, 0xFF0000};
  up.diagonalUp = true;
  b.blank(1, 1, b.style(up));
  Style both = up;
  both.diagonalDown = true;
  b.blank(3, 1, b.style(both));
  Style linear;
  linear.gradient.stops = {{0, 0xFF0000}, {1, 0x0000FF}};  // left to right
  b.blank(5, 1, b.style(linear));
  Style path;
  path.gradient.type = Gradient::Type::Path;
  path.gradient.left = path.gradient.right = path.gradient.top = path.gradient.bottom = 0.5;
  path.gradient.stops = {{0, 0xFFFFFF}, {1, 0x00B050}};  // white centre, green edges
  b.blank(7, 1, b.style(path));
  PaintedGrid g(b);
  QImage img = g.image();
  const QColor red(255, 0, 0);

  // Up: from the bottom-left corner to the top-right one; not the other way.
  auto onLine = [&](const QRect& r, bool rising, double t) {
    int x = r.left() + static_cast<int>(t * (r.width() - 1));
    int y = rising ? r.bottom() - static_cast<int>(t * (r.height() - 1)) : r.top() + static_cast<int>(t * (r.height() - 1));
    for (int dy = -1; dy <= 1; ++dy)
      if (At(img, x, y + dy) == red) return true;
    return false;
  };
  QRect b2 = g.rect(1, 1), b4 = g.rect(3, 1);
  QVERIFY(onLine(b2, true, 0.25));
  QVERIFY(onLine(b2, true, 0.75));
  QVERIFY(!onLine(b2, false, 0.25));
  QVERIFY(onLine(b4, true, 0.25));
  QVERIFY(onLine(b4, false, 0.25));

  // A linear gradient blends from its first colour on the left to its last on the right.
  QRect b6 = g.rect(5, 1);
  QColor left = At(img, b6.left() + 1, b6.center().y()), right = At(img, b6.right() - 2, b6.center().y());
  QVERIFY2(left.red() > 200 && left.blue() < 60, qPrintable(left.name()));
  QVERIFY2(right.blue() > 200 && right.red() < 60, qPrintable(right.name()));
  // A path gradient from a centre point: white in the middle, green towards the edges.
  QRect b8 = g.rect(7, 1);
  QColor centre = At(img, b8.center().x(), b8.center().y()), edge = At(img, b8.left() + 1, b8.top() + 1);
  QVERIFY2(centre.red() > 200 && centre.green() > 200, qPrintable(centre.name()));
  QVERIFY2(edge.red() < 100 && edge.green() > 120, qPrintable(edge.name()));
}

void WorkbookWindowTest::textSpillsOverEmptyNeighboursOnly() {
  SheetBuilder b;
  const char* title = "A title far wider than one column of the sheet";
  b.text(0, 0, title);
  b.text(2, 0, title);
  b.text(2, 1, "x");
  Style right;
  right.hAlign = HAlign::Right;
  b.text(4, 4, title, b.style(right));
  Style wrap;
  wrap.wrap = true;
  b.text(6, 0, title, b.style(wrap));
  b.number(8, 0, 123456789012345.0, b.style(WithFormat("#,##0")));
  Style centred;
  centred.hAlign = HAlign::Center;
  b.text(10, 1, title, b.style(centred));
  PaintedGrid g(b);
  g.view.setSpan(10, 1, 1, 2);
  QImage img = g.image();
  const QColor white(255, 255, 255), grid = QColor::fromRgba(CellDelegate::kGridColor);

  QVERIFY(HasInk(img, g.rect(0, 1), white, grid));   // B1: the title runs over it
  QCOMPARE(At(img, g.rect(0, 0).right(), g.rect(0, 0).top() + 1), white);  // no grid line under the text
  QVERIFY(!HasInk(img, g.rect(2, 2), white, grid));  // C3: B3 holds a value, the title stops at A3
  QVERIFY(HasInk(img, g.rect(4, 3), white, grid));   // D5: right-aligned text runs leftwards
  QVERIFY(!HasInk(img, g.rect(4, 5), white, grid));  // F5: but not rightwards
  QVERIFY(!HasInk(img, g.rect(6, 1), white, grid));  // B7: wrapped text stays in its cell
  QVERIFY(!HasInk(img, g.rect(8, 1), white, grid));  // B9: numbers never spill
  QVERIFY(!HasInk(img, g.rect(10, 0), white, grid));  // A11, D11: a merged range keeps its text
  QVERIFY(!HasInk(img, g.rect(10, 3), white, grid));
}

void WorkbookWindowTest::selectionAndCurrentCell() {
  SheetBuilder b;
  b.number(0, 0, 1);
  PaintedGrid g(b);
  g.view.setCurrentIndex(g.model.index(1, 1));
  g.view.selectionModel()->select(QItemSelection(g.model.index(1, 1), g.model.index(2, 2)),
                                  QItemSelectionModel::ClearAndSelect);
  QImage img = g.image();
  const QColor frame = QColor::fromRgba(CellDelegate::kCurrentFrameColor), white(255, 255, 255);
  QRect current = g.rect(1, 1), other = g.rect(2, 2), outside = g.rect(3, 3);
  QCOMPARE(At(img, current.left(), current.center().y()), frame);
  QCOMPARE(At(img, current.right() - 1, current.center().y()), frame);
  QCOMPARE(At(img, current.center().x(), current.center().y()), white);  // the current cell is not tinted
  QColor tint = At(img, other.center().x(), other.center().y());
  QVERIFY2(tint != white && tint.green() > tint.red(), qPrintable(tint.name()));
  QCOMPARE(At(img, outside.center().x(), outside.center().y()), white);
}

void WorkbookWindowTest::numbersTooWideShowHashes() {
  QFont f;
  f.setPointSize(11);
  QCOMPARE(CellDelegate::FitNumber(QStringLiteral("12"), f, 64), QStringLiteral("12"));
  QString wide = CellDelegate::FitNumber(QStringLiteral("123,456,789,012,345"), f, 64);
  QVERIFY(!wide.isEmpty());
  QCOMPARE(wide, QString(wide.size(), QLatin1Char('#')));
  QVERIFY(QFontMetrics(f).horizontalAdvance(wide) <= 64);
  QVERIFY(CellDelegate::FitNumber(QStringLiteral("123,456,789,012,345"), f, 400).contains(QLatin1Char(',')));
}

// ---------------------------------------------------------------------------
// The window over a merge

void WorkbookWindowTest::mergeOpensTheWindow() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx"))});
  QVERIFY(w);
  QVERIFY(w->isVisible());
  QVERIFY(!w->isModal());
  QCOMPARE(w->windowModality(), Qt::NonModal);
  QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
  QVERIFY(w->windowTitle().startsWith(QStringLiteral("Book")));
  QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - Corvane")));
  QCOMPARE(w->windowTitle().count(QLatin1Char(' ')), 2);  // "BookN - Corvane"
  // The merge's application lives on in the window alone.
  QCOMPARE(Application::AliveCount(), aliveBefore_ + 1);

  SheetModel* m = w->model();
  QCOMPARE(ShownText(*m, 0, 0), QStringLiteral("Quarterly report for the northern region"));
  QCOMPARE(ShownText(*m, 2, 1), QStringLiteral("1,234.50"));
  QCOMPARE(ShownText(*m, 2, 2), QStringLiteral("2024-01-15"));
  QCOMPARE(ShownText(*m, 2, 3), QStringLiteral("TRUE"));
  QCOMPARE(ShownText(*m, 3, 1), QStringLiteral("1,234.50"));
  QCOMPARE(ShownText(*m, 3, 2), QStringLiteral("84"));
  QCOMPARE(ShownText(*m, 3, 3), QStringLiteral("WIDGETS"));
  QCOMPARE(RoleColor(*m, 1, 0, Qt::BackgroundRole), QColor(0xFF, 0xFF, 0x00));
  QVERIFY(m->data(m->index(1, 0), Qt::FontRole).value<QFont>().bold());

  QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
  QCOMPARE(m->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
  QCOMPARE(w->grid()->columnWidth(0), WorkbookWindow::kColumnWidth);
  QCOMPARE(w->grid()->currentIndex(), m->index(0, 0));
  // The formula naming another sheet came over as its value: the user is told.
  QCOMPARE(w->statusText(),
           QStringLiteral("1 formula referred to other sheets, other workbooks or defined names, or had no formula text here, and was pasted as its value."));
}

void WorkbookWindowTest::formulaBarFollowsTheCurrentCell() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx")), writeSource(QStringLiteral("q2.xlsx"))}, "Data", 1);
  QVERIFY(w);
  QCOMPARE(w->nameBoxText(), QStringLiteral("A1"));
  QCOMPARE(w->formulaBarText(), QStringLiteral("Quarterly report for the northern region"));
  w->grid()->setCurrentIndex(w->model()->index(3, 1));
  QCOMPARE(w->nameBoxText(), QStringLiteral("B4"));
  QCOMPARE(w->formulaBarText(), QStringLiteral("=SUM(B3:B3)"));
  // The second block sits below the first and a gap row: its formulas moved with it.
  w->grid()->setCurrentIndex(w->model()->index(6 + 1 + 3, 1));
  QCOMPARE(w->nameBoxText(), QStringLiteral("B11"));
  QCOMPARE(w->formulaBarText(), QStringLiteral("=SUM(B10:B10)"));
  w->grid()->setCurrentIndex(w->model()->index(2, 1));
  QCOMPARE(w->formulaBarText(), QStringLiteral("1234.5"));
  w->grid()->setCurrentIndex(w->model()->index(20, 20));
  QCOMPARE(w->nameBoxText(), QStringLiteral("U21"));
  QCOMPARE(w->formulaBarText(), QString());
  QCOMPARE(w->statusText(),
           QStringLiteral("2 formulas referred to other sheets, other workbooks or defined names, or had no formula text here, and were pasted as their values."));
}

void WorkbookWindowTest::mergedRangesBecomeSpans() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx")), writeSource(QStringLiteral("q2.xlsx"))});
  QVERIFY(w);
  QTableView* g = w->grid();
  QCOMPARE(g->rowSpan(4, 2), 2);
  QCOMPARE(g->columnSpan(4, 2), 2);
  QCOMPARE(g->rowSpan(10, 2), 2);  // the second block's copy, 6 rows further down
  QCOMPARE(g->columnSpan(10, 2), 2);
  QCOMPARE(g->rowSpan(0, 0), 1);
  QCOMPARE(ShownText(*w->model(), 10, 2), QStringLiteral("Merged"));
}

// The merge's widths in the pixels a spreadsheet draws them with for Calibri 11, heights at
// 96 dots per inch, hidden rows and columns hidden.
void WorkbookWindowTest::widthsAndHeightsShowInTheGrid() {
  QCOMPARE(WorkbookWindow::ColumnPixels(9.140625), 64);  // 8.43 characters
  QCOMPARE(WorkbookWindow::ColumnPixels(20), 140);
  QCOMPARE(WorkbookWindow::ColumnPixels(1), 7);
  QCOMPARE(WorkbookWindow::RowPixels(15), 20);
  QCOMPARE(WorkbookWindow::RowPixels(30), 40);
  SheetBuilder b;
  b.number(0, 0, 1);
  b.number(2, 3, 2);
  b.number(900, 0, 3);
  auto col = [](int32_t first, int32_t last, double width, bool hidden) {
    ColInfo c;
    c.first = first;
    c.last = last;
    c.width = width;
    c.hidden = hidden;
    return c;
  };
  auto row = [](int32_t r, double height, bool hidden) {
    RowInfo i;
    i.row = r;
    i.height = height;
    i.hidden = hidden;
    return i;
  };
  b.d.colInfo = {col(0, 0, 20, false), col(1, 1, -1, true), col(3, 4, 2.5, false)};
  b.d.rowInfo = {row(1, 30, false), row(2, -1, true), row(900, 45, false)};
  const QString path = dir_->filePath(QStringLiteral("sized.xlsx"));
  SaveXlsx(path.toStdString(), {SheetToSave{"Data", &b.done(), &b.styles}});
  WorkbookWindow* w = merge({path});
  QVERIFY(w);
  QTableView* g = w->grid();
  QCOMPARE(g->columnWidth(0), 140);
  QVERIFY(g->isColumnHidden(1));
  QCOMPARE(g->columnWidth(2), WorkbookWindow::kColumnWidth);
  QCOMPARE(g->columnWidth(3), WorkbookWindow::ColumnPixels(2.5));
  QCOMPARE(g->columnWidth(4), WorkbookWindow::kColumnWidth);  // beyond the block: not merged
  QCOMPARE(g->rowHeight(0), WorkbookWindow::kRowHeight);
  QCOMPARE(g->rowHeight(1), 40);
  QVERIFY(g->isRowHidden(2));
  QCOMPARE(g->rowHeight(900), 60);
}

void WorkbookWindowTest::saveAsWritesTheWorkbook() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx"))});
  QVERIFY(w);
  QString target = dir_->filePath(QStringLiteral("merged"));  // ".xlsx" is added
  prompts_->paths = {target};
  QVERIFY(w->saveAs());
  QVERIFY(prompts_->suggestions.size() == 1 && prompts_->suggestions[0].endsWith(QStringLiteral(".xlsx")));
  QVERIFY(QFile::exists(target + QStringLiteral(".xlsx")));
  QCOMPARE(w->windowTitle(), QStringLiteral("merged.xlsx - Corvane"));
  QString cells = PythonCells(target + QStringLiteral(".xlsx"));
  QVERIFY2(cells.contains(QStringLiteral("A1\tQuarterly report for the northern region\n")), qPrintable(cells));
  QVERIFY2(cells.contains(QStringLiteral("B3\t1234.5\n")), qPrintable(cells));
  QVERIFY2(cells.contains(QStringLiteral("B4\t=SUM(B3:B3)\n")), qPrintable(cells));
  QVERIFY2(cells.contains(QStringLiteral("MERGE\tC5:D6")), qPrintable(cells));

  // Saved: closing asks nothing.
  w->close();
  Settle();
  QVERIFY(prompts_->questions.isEmpty());
  QCOMPARE(OpenWindows().size(), 0);
}

void WorkbookWindowTest::saveAsFailureIsShown() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx"))});
  QVERIFY(w);
  QString title = w->windowTitle();
  prompts_->paths = {dir_->filePath(QStringLiteral("no such folder/merged.xlsx"))};
  QVERIFY(!w->saveAs());
  QCOMPARE(prompts_->errors.size(), 1);
  QVERIFY2(prompts_->errors[0].contains(QStringLiteral("merged.xlsx")), qPrintable(prompts_->errors[0]));
  QCOMPARE(w->windowTitle(), title);
  // A cancelled choice saves nothing and shows nothing.
  prompts_->paths = {QString()};
  QVERIFY(!w->saveAs());
  QCOMPARE(prompts_->errors.size(), 1);
  QVERIFY(w->isVisible());
}

void WorkbookWindowTest::closeAsksAboutUnsavedChanges() {
  WorkbookWindow* w = merge({writeSource(QStringLiteral("q1.xlsx"))});
  QVERIFY(w);
  const QString name = w->windowTitle().section(QLatin1Char(' '), 0, 0);
  const QString question = QStringLiteral("Do you want to save the changes you made to '%1'?").arg(name);

  // Cancel keeps the window and the workbook.
  prompts_->answers = {WorkbookPrompts::Answer::Cancel};
  QVERIFY(!w->close());
  Settle();
  QCOMPARE(prompts_->questions, QStringList{question});
  QCOMPARE(OpenWindows().size(), 1);
  QCOMPARE(Application::AliveCount(), aliveBefore_ + 1);

  // Yes, then the file choice cancelled: still open.
  prompts_->answers = {WorkbookPrompts::Answer::Yes};
  prompts_->paths = {QString()};
  QVERIFY(!w->close());
  Settle();
  QCOMPARE(OpenWindows().size(), 1);

  // Yes with a file: saved, then closed.
  QString target = dir_->filePath(QStringLiteral("closing.xlsx"));
  prompts_->answers = {WorkbookPrompts::Answer::Yes};
  prompts_->paths = {target};
  QVERIFY(w->close());
  Settle();
  QCOMPARE(OpenWindows().size(), 0);
  QVERIFY(QFile::exists(target));
  QVERIFY(PythonCells(target).contains(QStringLiteral("B4\t=SUM(B3:B3)")));
  QCOMPARE(Application::AliveCount(), aliveBefore_);

  // No closes without saving.
  WorkbookWindow* w2 = merge({writeSource(QStringLiteral("q2.xlsx"))});
  QVERIFY(w2);
  prompts_->answers = {WorkbookPrompts::Answer::No};
  int asked = static_cast<int>(prompts_->suggestions.size());
  QVERIFY(w2->close());
  Settle();
  QCOMPARE(prompts_->suggestions.size(), asked);
  QCOMPARE(OpenWindows().size(), 0);
  QCOMPARE(QDir(dir_->path()).entryList({QStringLiteral("*.xlsx")}).size(), 3);  // q1, closing, q2
}

void WorkbookWindowTest::closingQuitsTheApplication() {
  QPointer<WorkbookWindow> w = merge({writeSource(QStringLiteral("q1.xlsx"))});
  QVERIFY(w);
  QCOMPARE(Application::AliveCount(), aliveBefore_ + 1);
  prompts_->answers = {WorkbookPrompts::Answer::No};
  // File > Close does what the window's close button does.
  QAction* close = nullptr;
  for (QAction* a : w->findChildren<QAction*>())
    if (a->text().remove(QLatin1Char('&')) == QStringLiteral("Close")) close = a;
  QVERIFY(close);
  close->trigger();
  Settle();
  QVERIFY(w.isNull());
  QCOMPARE(Application::AliveCount(), aliveBefore_);

  // A window deleted without being closed lets go of its application too.
  QPointer<WorkbookWindow> w2 = merge({writeSource(QStringLiteral("q2.xlsx"))});
  QVERIFY(w2);
  delete w2.data();
  QCOMPARE(Application::AliveCount(), aliveBefore_);
}

void WorkbookWindowTest::presenterWithoutWorkbookShowsNothing() {
  QTest::ignoreMessage(QtWarningMsg, QRegularExpression("nothing to show"));
  {
    auto app = Application::Create();
    app->SetVisible(true);
  }
  Settle();
  QCOMPARE(OpenWindows().size(), 0);
}

void WorkbookWindowTest::millionRowsOpenWithoutTouchingEveryCell() {
  // Ten copies of a sheet of a hundred thousand rows, stacked by a real merge.
  SheetBuilder b;
  uint32_t twoPlaces = b.style(WithFormat("0.00"));
  for (int r = 0; r < 100000; ++r) {
    b.number(r, 0, r + 1);
    b.text(r, 1, "row");
    b.number(r, 2, (r + 1) * 0.5, twoPlaces);
  }
  QString path = dir_->filePath(QStringLiteral("rows.xlsx"));
  SaveXlsx(path.toStdString(), {SheetToSave{"Data", &b.done(), &b.styles}});
  QStringList files;
  for (int i = 0; i < 10; ++i) files << path;
  QElapsedTimer t;
  t.start();
  WorkbookWindow* w = merge(files);
  qint64 mergeMs = t.elapsed();
  QVERIFY(w);
  t.restart();
  QCoreApplication::processEvents();  // the first paint
  qint64 paintMs = t.elapsed();
  SheetModel* m = w->model();
  QCOMPARE(m->rowCount(), 1000000 + SheetModel::kSlackRows);
  QVERIFY2(m->lookupCount() < 20000, qPrintable(QString::number(m->lookupCount())));

  t.restart();
  w->grid()->scrollToBottom();
  QCoreApplication::processEvents();
  w->grid()->verticalScrollBar()->setValue(w->grid()->verticalScrollBar()->maximum() / 2);
  QCoreApplication::processEvents();
  qint64 scrollMs = t.elapsed();
  QVERIFY2(m->lookupCount() < 60000, qPrintable(QString::number(m->lookupCount())));
  // Scrolling to the end brought more rows in reach.
  QVERIFY(m->rowCount() > 1000000 + SheetModel::kSlackRows);
  QCOMPARE(ShownText(*m, 999999, 0), QStringLiteral("100000"));
  QCOMPARE(ShownText(*m, 999999, 2), QStringLiteral("50000.00"));
  w->grid()->setCurrentIndex(m->index(999999, 2));
  QCOMPARE(w->nameBoxText(), QStringLiteral("C1000000"));
  qInfo("million rows: merge %lld ms, window opened in %.1f ms, first paint %lld ms, two scrolls %lld ms",
        mergeMs, static_cast<double>(presenter_->lastNs) / 1e6, paintMs, scrollMs);
}

QTEST_MAIN(WorkbookWindowTest)
#include "workbook_window_test.moc"
