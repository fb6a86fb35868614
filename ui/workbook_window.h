// The window that shows a workbook made by a merge: its own top-level window, not modal,
// with a name box and formula bar above the grid, the sheet tabs below it and a status
// line. It owns the merge's spreadsheet application and quits it when it closes.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

class QLabel;
class QLineEdit;
class QModelIndex;
class QTabBar;
class QTableView;

namespace corvane {

class Application;
class CellDelegate;
class SheetModel;
class Workbook;
struct SheetData;
struct StyleTable;

// The questions the window asks the user, so tests can answer them without a modal box.
class WorkbookPrompts {
 public:
  enum class Answer { Yes, No, Cancel };
  virtual ~WorkbookPrompts() = default;
  // A Yes / No / Cancel question.
  virtual Answer ask(QWidget* parent, const QString& question) = 0;
  // The file to save to, or an empty string when the user cancels.
  virtual QString chooseSavePath(QWidget* parent, const QString& suggestedName) = 0;
  // A failure the user must acknowledge.
  virtual void showError(QWidget* parent, const QString& text) = 0;
};

// The prompts as message boxes and the file dialog.
class DialogPrompts : public WorkbookPrompts {
 public:
  Answer ask(QWidget* parent, const QString& question) override;
  QString chooseSavePath(QWidget* parent, const QString& suggestedName) override;
  void showError(QWidget* parent, const QString& text) override;

 private:
  QString lastFolder_;
};

class WorkbookWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Shows the application's first open workbook. Throws AutomationError when it has none.
  explicit WorkbookWindow(std::shared_ptr<Application> app, std::shared_ptr<WorkbookPrompts> prompts = nullptr,
                          QWidget* parent = nullptr);
  ~WorkbookWindow() override;

  // File > Save As: asks for a file (".xlsx" is added when missing) and saves. False when
  // the user cancelled or the save failed (the failure has been shown).
  bool saveAs();

  QTableView* grid() const { return grid_; }
  SheetModel* model() const { return model_; }
  QString statusText() const;
  QString nameBoxText() const;
  QString formulaBarText() const;
  // Rows and columns the view is asked to keep in reach when it scrolls to an end.
  static constexpr int kGrowRows = 1000;
  static constexpr int kGrowColumns = 26;
  static constexpr int kColumnWidth = 64;
  static constexpr int kRowHeight = 20;

  // Pixels of a column of `width` (the unit of an .xlsx <col width>) as spreadsheets show it in
  // Calibri 11, whose widest digit is 7 pixels: 9.140625 is 64 pixels. Pixels of a row of
  // `points`, at 96 dots per inch.
  static int ColumnPixels(double width);
  static int RowPixels(double points);

  // The line shown when formulas had to be pasted as their values; "Ready" for none.
  static QString NoticeFor(qint64 formulasPastedAsValues);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void showSheet(int index);
  void showCurrent(const QModelIndex& index);
  // Gives rows r1..r2 and columns c1..c2 of the grid the sheet's heights, widths and hiding.
  void applySizes(int r1, int r2, int c1, int c2);
  void updateTitle();
  // Lets go of the model, then quits the application: the model reads the workbook's cells.
  void shutDown();

  std::shared_ptr<Application> app_;
  std::shared_ptr<WorkbookPrompts> prompts_;
  Workbook* book_ = nullptr;
  std::shared_ptr<const StyleTable> styles_;
  SheetModel* model_ = nullptr;
  const SheetData* data_ = nullptr;
  CellDelegate* delegate_ = nullptr;
  QTableView* grid_ = nullptr;
  QLineEdit* nameBox_ = nullptr;
  QLineEdit* formulaBar_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QLabel* notice_ = nullptr;
};

}  // namespace corvane
