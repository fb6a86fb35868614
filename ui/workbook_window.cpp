#include "ui/workbook_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/automation/spreadsheet_automation.h"
#include "ui/cell_delegate.h"
#include "ui/sheet_model.h"

namespace corvane {

// ---------------------------------------------------------------------------
// DialogPrompts

WorkbookPrompts::Answer DialogPrompts::ask(QWidget* parent, const QString& question) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Corvane"), question,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
  }
}

QString DialogPrompts::chooseSavePath(QWidget* parent, const QString& suggestedName) {
  if (lastFolder_.isEmpty()) {
    lastFolder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (lastFolder_.isEmpty() || !QDir(lastFolder_).exists()) lastFolder_ = QDir::homePath();
  }
  QFileDialog dialog(parent, QStringLiteral("Save As"), QDir(lastFolder_).filePath(suggestedName),
                     QStringLiteral("Excel Workbook (*.xlsx)"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString path = dialog.selectedFiles().first();
  lastFolder_ = QFileInfo(path).absolutePath();
  return path;
}

void DialogPrompts::showError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Corvane"), text);
}

// ---------------------------------------------------------------------------
// WorkbookWindow

QString WorkbookWindow::NoticeFor(qint64 n) {
  if (n <= 0) return QStringLiteral("Ready");
  if (n == 1)
    return QStringLiteral("1 formula referred to other sheets, other workbooks or defined names, or had no formula text here, and was pasted as its value.");
  return QStringLiteral("%1 formulas referred to other sheets, other workbooks or defined names, or had no formula text here, and were pasted as their values.")
      .arg(n);
}

WorkbookWindow::WorkbookWindow(std::shared_ptr<Application> app, std::shared_ptr<WorkbookPrompts> prompts,
                               QWidget* parent)
    : QMainWindow(parent), app_(std::move(app)), prompts_(std::move(prompts)) {
  setAttribute(Qt::WA_DeleteOnClose);
  if (!prompts_) prompts_ = std::make_shared<DialogPrompts>();
  book_ = &app_->Workbooks().Item(1);
  styles_ = book_->Styles();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(4, 4, 4, 4);
  bar->setSpacing(6);
  nameBox_ = new QLineEdit(central);
  nameBox_->setReadOnly(true);
  nameBox_->setFixedWidth(90);
  nameBox_->setAccessibleName(QStringLiteral("Name Box"));
  auto* fx = new QLabel(QStringLiteral("<i>fx</i>"), central);
  formulaBar_ = new QLineEdit(central);
  formulaBar_->setReadOnly(true);
  formulaBar_->setAccessibleName(QStringLiteral("Formula Bar"));
  bar->addWidget(nameBox_);
  bar->addWidget(fx);
  bar->addWidget(formulaBar_, 1);
  layout->addLayout(bar);

  grid_ = new QTableView(central);
  grid_->setShowGrid(false);  // the delegate draws the grid lines, beneath the borders
  grid_->setWordWrap(false);
  grid_->setTextElideMode(Qt::ElideNone);
  grid_->setCornerButtonEnabled(true);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
  // Sizes are set before the model arrives: changing the default later visits every section.
  grid_->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  grid_->horizontalHeader()->setMinimumSectionSize(8);
  grid_->verticalHeader()->setMinimumSectionSize(8);
  grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->horizontalHeader()->setHighlightSections(true);
  grid_->verticalHeader()->setHighlightSections(true);
  layout->addWidget(grid_, 1);

  tabs_ = new QTabBar(central);
  tabs_->setShape(QTabBar::RoundedSouth);
  tabs_->setDrawBase(false);
  tabs_->setExpanding(false);
  const auto& sheets = book_->Worksheets();
  for (int32_t i = 1; i <= sheets.Count(); ++i) tabs_->addTab(QString::fromStdString(sheets(i).Name()));
  auto* tabRow = new QHBoxLayout;
  tabRow->setContentsMargins(4, 0, 4, 0);
  tabRow->addWidget(tabs_);
  tabRow->addStretch(1);
  layout->addLayout(tabRow);
  setCentralWidget(central);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* saveAsAction = file->addAction(QStringLiteral("Save &As…"));
  saveAsAction->setShortcuts({QKeySequence(Qt::Key_F12), QKeySequence::SaveAs});
  connect(saveAsAction, &QAction::triggered, this, [this] { saveAs(); });
  file->addSeparator();
  QAction* closeAction = file->addAction(QStringLiteral("&Close"));
  closeAction->setShortcut(QKeySequence::Close);
  connect(closeAction, &QAction::triggered, this, &QWidget::close);

  notice_ = new QLabel(NoticeFor(book_->FormulasPastedAsValues()), this);
  statusBar()->addWidget(notice_, 1);

  // Scrolling to an end brings more rows or columns into reach, up to the sheet's last.
  connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (model_ && value >= grid_->verticalScrollBar()->maximum()) model_->growRows(kGrowRows);
  });
  connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (model_ && value >= grid_->horizontalScrollBar()->maximum()) model_->growColumns(kGrowColumns);
  });

  showSheet(0);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (index >= 0) showSheet(index);
  });
  updateTitle();
  resize(960, 640);
}

WorkbookWindow::~WorkbookWindow() { shutDown(); }

void WorkbookWindow::showSheet(int index) {
  if (!book_ || book_->IsClosed() || !styles_) return;
  Worksheet& sheet = book_->Worksheets()(index + 1);
  const SheetData& shown = sheet.data();
  SheetModel* old = model_;
  model_ = new SheetModel(shown, styles_->styles, styles_->date1904, this);
  grid_->clearSpans();
  QItemSelectionModel* oldSelection = grid_->selectionModel();
  grid_->setModel(model_);
  delete oldSelection;
  if (!delegate_) {
    delegate_ = new CellDelegate(grid_, model_);
    grid_->setItemDelegate(delegate_);
  } else {
    // The delegate reads styles from the model it was made for.
    auto* next = new CellDelegate(grid_, model_);
    grid_->setItemDelegate(next);
    delete delegate_;
    delegate_ = next;
  }
  delete old;
  data_ = &shown;
  applySizes(0, model_->rowCount() - 1, 0, model_->columnCount() - 1);
  // Rows and columns brought into reach later take their sizes as they come.
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { applySizes(first, last, 0, -1); });
  connect(model_, &QAbstractItemModel::columnsInserted, this,
          [this](const QModelIndex&, int first, int last) { applySizes(0, -1, first, last); });
  for (const Rect& m : shown.merges)
    if ((m.rows() > 1 || m.cols() > 1) && m.r2 < model_->rowCount() && m.c2 < model_->columnCount())
      grid_->setSpan(m.r1, m.c1, m.rows(), m.cols());
  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { showCurrent(current); });
  QModelIndex a1 = model_->index(0, 0);
  grid_->setCurrentIndex(a1);
  grid_->scrollTo(a1);
  showCurrent(a1);
}

int WorkbookWindow::ColumnPixels(double width) {
  // As spreadsheets round it: the width with 128/7 of 1/256 added, in whole digits of 7 pixels.
  return static_cast<int>((256 * width + 18) / 256 * 7);
}

int WorkbookWindow::RowPixels(double points) { return static_cast<int>(points * 96 / 72 + 0.5); }

void WorkbookWindow::applySizes(int r1, int r2, int c1, int c2) {
  if (!data_) return;
  QHeaderView* columns = grid_->horizontalHeader();
  for (const ColInfo& c : data_->colInfo) {
    for (int col = std::max(c.first, c1); col <= std::min(c.last, c2); ++col) {
      if (c.width >= 0) columns->resizeSection(col, ColumnPixels(c.width));
      if (c.hidden) grid_->setColumnHidden(col, true);
    }
  }
  QHeaderView* rows = grid_->verticalHeader();
  auto it = std::lower_bound(data_->rowInfo.begin(), data_->rowInfo.end(), r1,
                             [](const RowInfo& r, int v) { return r.row < v; });
  for (; it != data_->rowInfo.end() && it->row <= r2; ++it) {
    if (it->height >= 0) rows->resizeSection(it->row, RowPixels(it->height));
    if (it->hidden) grid_->setRowHidden(it->row, true);
  }
}

void WorkbookWindow::showCurrent(const QModelIndex& index) {
  if (!model_ || !index.isValid()) {
    nameBox_->clear();
    formulaBar_->clear();
    return;
  }
  nameBox_->setText(SheetModel::address(index.row(), index.column()));
  formulaBar_->setText(model_->formulaBarText(index.row(), index.column()));
  formulaBar_->setCursorPosition(0);
}

QString WorkbookWindow::statusText() const { return notice_->text(); }
QString WorkbookWindow::nameBoxText() const { return nameBox_->text(); }
QString WorkbookWindow::formulaBarText() const { return formulaBar_->text(); }

void WorkbookWindow::updateTitle() {
  QString name = book_ && !book_->IsClosed() ? QString::fromStdString(book_->Name()) : QString();
  setWindowTitle(name + QStringLiteral(" - Corvane"));
}

bool WorkbookWindow::saveAs() {
  if (!book_ || book_->IsClosed()) return false;
  QString suggested = QString::fromStdString(book_->Name());
  if (!suggested.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) suggested += QStringLiteral(".xlsx");
  QString path = prompts_->chooseSavePath(this, suggested);
  if (path.isEmpty()) return false;
  if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) path += QStringLiteral(".xlsx");
  try {
    book_->SaveAs(QFile::encodeName(path).toStdString());
  } catch (const std::exception& e) {
    prompts_->showError(this, QString::fromUtf8(e.what()));
    return false;
  }
  updateTitle();
  return true;
}

void WorkbookWindow::closeEvent(QCloseEvent* event) {
  if (app_ && !app_->HasQuit() && book_ && !book_->IsClosed() && !book_->Saved()) {
    QString name = QString::fromStdString(book_->Name());
    switch (prompts_->ask(this, QStringLiteral("Do you want to save the changes you made to '%1'?").arg(name))) {
      case WorkbookPrompts::Answer::Cancel:
        event->ignore();
        return;
      case WorkbookPrompts::Answer::Yes:
        if (!saveAs()) {
          event->ignore();
          return;
        }
        break;
      case WorkbookPrompts::Answer::No:
        break;
    }
  }
  shutDown();
  event->accept();
}

void WorkbookWindow::shutDown() {
  data_ = nullptr;
  if (grid_ && model_) {
    grid_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
  }
  if (app_) {
    app_->Quit();
    app_.reset();
  }
  book_ = nullptr;
}

}  // namespace corvane
