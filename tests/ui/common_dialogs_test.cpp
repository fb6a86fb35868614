// The pickers of CCommonDialogs driven through Qt's own dialogs, as a user would drive them:
// what each dialog offers, what a confirmation writes into the fields and what a cancel keeps.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>

#include "dialogs/common_dialogs.h"

using namespace corvane;

namespace {

// Runs `act` on the first modal dialog of type T that comes up (other than `skip`), polling
// the event loop with zero timeouts; gives up after many turns so a test fails rather than
// waits for ever.
template <class T>
void WhenModal(std::function<void(T*)> act, QWidget* skip = nullptr, int turnsLeft = 20000) {
  QTimer::singleShot(0, [act, skip, turnsLeft] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (w && w != skip && w->isVisible()) {
      QPointer<T> alive(w);
      act(w);
      // A check that failed inside `act` leaves the dialog up: close it so the test goes on.
      if (alive && alive->isVisible()) alive->reject();
    } else if (turnsLeft > 0) {
      WhenModal<T>(act, skip, turnsLeft - 1);
    } else {
      QTest::qFail("no modal dialog came up", __FILE__, __LINE__);
    }
  });
}

// While alive, counts and closes (rejects, or accepts when `accept`) every modal dialog of
// type T that comes up: for calls that must show nothing, and would otherwise wait on it.
template <class T>
class ModalGuard {
 public:
  explicit ModalGuard(bool accept = false) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this, accept] {
      auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
      if (w && w->isVisible() && !closing_.contains(w)) {
        ++count_;
        closing_ << w;
        QMetaObject::invokeMethod(w, accept ? "accept" : "reject", Qt::QueuedConnection);
      }
    });
    timer_.start();
  }
  int count() const { return count_; }

 private:
  QTimer timer_;
  int count_ = 0;
  QList<QPointer<QWidget>> closing_;
};

void Touch(const QString& path) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
}

// The names a file dialog lists in `dir` once its file system model has read it.
QStringList Listed(QFileDialog* dlg, const QString& dir) {
  auto* model = dlg->findChild<QFileSystemModel*>();
  if (!model) return {};
  const QModelIndex parent = model->index(dir);
  QStringList names;
  for (int r = 0; r < model->rowCount(parent); ++r) names << model->fileName(model->index(r, 0, parent));
  names.sort();
  return names;
}

QStringList FilterTexts(QFileDialog* dlg) {
  auto* combo = dlg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  QStringList texts;
  if (combo)
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

void Reject(QDialog* d) { d->reject(); }

}  // namespace

class CommonDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void splitsAChosenFile_data();
  void splitsAChosenFile();
  void fieldsStartEmptyAndTextGettersStopAtNul();
  void showBeforeInitOrWithoutOwnerThrows();
  void showOpenRefusesOverlongFileNameBeforeShowing();
  void showOpenConfirmsAndCancelKeepsFields();
  void showOpenOffersEveryXlExtensionUnderTheFixedFilter();
  void showOpenAcceptsOnlyExistingFilesAndAddsDefExt();
  void showFolderConfirmsTheFolderAsChosen();
  void showSaveStartingFolderAndPath();
  void showSaveFiltersAndConfirm();
  void pickersStartInTheStartFolderThenInTheLastOneUsed();
  void showColorConvertsAndCancelKeeps();
  void showFontConvertsAndLeavesUnderlineAndColor();
  void fontSizesKeepWholePoints_data();
  void fontSizesKeepWholePoints();
  void printerDialogsReportNoPrinter();
  void printerDialogsAnswerTheUser();

 private:
  std::unique_ptr<QWidget> owner_;
  std::unique_ptr<QTemporaryDir> tmp_;
  QString dir_;  // the temporary folder, without a trailing "/"
};

// Printers the tests give the dialogs instead of the machine's.
PrinterList NoPrinters() { return {}; }
PrinterList TwoPrinters() { return {{QStringLiteral("Office"), QStringLiteral("Lab")}, QStringLiteral("Office")}; }
PrinterList NoDefaultPrinter() { return {{QStringLiteral("Office")}, QString()}; }

void CommonDialogsTest::init() {
  SetPrinterLookup(&NoPrinters);  // whatever printers this machine has
  owner_ = std::make_unique<QWidget>();
  tmp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(tmp_->isValid());
  dir_ = QDir(tmp_->path()).canonicalPath();
}

void CommonDialogsTest::cleanup() {
  SetPrinterLookup(nullptr);
  QCOMPARE(QApplication::activeModalWidget(), nullptr);
  owner_.reset();
  tmp_.reset();
}

void CommonDialogsTest::splitsAChosenFile_data() {
  QTest::addColumn<QString>("chosen");
  QTest::addColumn<QString>("fileTitle");
  QTest::addColumn<QString>("path");
  QTest::newRow("folder") << "/data/Book1.xlsx" << "Book1.xlsx" << "/data";
  QTest::newRow("root folder") << "/a.xls" << "a.xls" << "/";
  QTest::newRow("deep, dotted") << "/d/e f/x.y.xlsm" << "x.y.xlsm" << "/d/e f";
  QTest::newRow("no extension") << "/data/README" << "README" << "/data";
}

void CommonDialogsTest::splitsAChosenFile() {
  QFETCH(QString, chosen);
  QFETCH(QString, fileTitle);
  QFETCH(QString, path);
  const ChosenFile c = SplitChosenFile(chosen);
  QCOMPARE(c.FileName, chosen);
  QCOMPARE(c.FileTitle, fileTitle);
  QCOMPARE(c.Path, path);
}

void CommonDialogsTest::fieldsStartEmptyAndTextGettersStopAtNul() {
  CCommonDialogs d;
  QVERIFY(d.FileName().isEmpty() && d.FileTitle().isEmpty() && d.Path().isEmpty());
  QVERIFY(d.Filter().isEmpty() && d.Title().isEmpty() && d.DefExt().isEmpty() && d.FontName().isEmpty());
  QCOMPARE(d.Color(), 0);
  QCOMPARE(d.FontSize(), 0);
  QVERIFY(!d.FontBold() && !d.FontItalic() && !d.FontUnderline());
  QCOMPARE(d.owner(), nullptr);

  const QString withNul = QStringLiteral("Select") + QChar(u'\0') + QStringLiteral("Excel");
  d.setTitle(withNul);
  d.setFileName(withNul);
  d.setFileTitle(withNul);
  d.setPath(withNul);
  QCOMPARE(d.Title(), QStringLiteral("Select"));
  QCOMPARE(d.FileName(), QStringLiteral("Select"));
  QCOMPARE(d.FileTitle(), QStringLiteral("Select"));
  QCOMPARE(d.Path(), QStringLiteral("Select"));
}

void CommonDialogsTest::showBeforeInitOrWithoutOwnerThrows() {
  CCommonDialogs d;
  ModalGuard<QDialog> guard;
  d.setPath(QStringLiteral("/no/such/folder"));
  QVERIFY_THROWS_EXCEPTION(std::logic_error, d.ShowOpen());
  QVERIFY_THROWS_EXCEPTION(std::logic_error, d.ShowSave());
  QVERIFY_THROWS_EXCEPTION(std::logic_error, d.ShowFolder());
  QVERIFY_THROWS_EXCEPTION(std::logic_error, d.ShowColor(true));
  QVERIFY_THROWS_EXCEPTION(std::logic_error, d.ShowPrinter());
  QCOMPARE(d.Path(), QStringLiteral("/no/such/folder"));  // nothing was touched

  // An owner that is gone counts as none.
  CCommonDialogs gone;
  {
    QWidget w;
    gone.Init(&w);
  }
  QVERIFY_THROWS_EXCEPTION(std::logic_error, gone.ShowOpen());
  CCommonDialogs null;
  null.Init(nullptr);
  QVERIFY_THROWS_EXCEPTION(std::logic_error, null.ShowFolder());

  QCOMPARE(guard.count(), 0);

  // The font picker and the printer properties never fail towards the caller: the font
  // picker comes up without an owner.
  QVERIFY(!d.ShowFont());
  QCOMPARE(guard.count(), 1);
  QVERIFY(!d.ShowPrinterProperties());
  QCOMPARE(guard.count(), 1);
}

void CommonDialogsTest::showOpenRefusesOverlongFileNameBeforeShowing() {
  CCommonDialogs d;
  d.Init(owner_.get());
  d.setFileName(QStringLiteral("/") + QString(260, u'a'));
  {
    ModalGuard<QDialog> guard;
    QVERIFY_THROWS_EXCEPTION(std::length_error, d.ShowOpen());
    QCOMPARE(guard.count(), 0);
  }

  // 260 characters are still taken.
  const QString longest = QStringLiteral("/") + QString(259, u'a');
  d.setFileName(longest);
  bool shown = false;
  WhenModal<QFileDialog>([&shown](QFileDialog* f) { shown = true; f->reject(); });
  QVERIFY(!d.ShowOpen());
  QVERIFY(shown);
  QCOMPARE(d.FileName(), longest);
}

void CommonDialogsTest::showOpenConfirmsAndCancelKeepsFields() {
  const QString book = dir_ + QStringLiteral("/Book1.xlsx");
  Touch(book);

  CCommonDialogs d;
  d.Init(owner_.get());
  d.setTitle(QStringLiteral("Select Excel File"));
  d.setPath(QStringLiteral("ignored"));
  QString title;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QFileDialog::AcceptMode accept = QFileDialog::AcceptSave;
  QWidget* parent = nullptr;
  WhenModal<QFileDialog>([&, book](QFileDialog* f) {
    title = f->windowTitle();
    mode = f->fileMode();
    accept = f->acceptMode();
    parent = f->parentWidget();
    f->selectFile(book);
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowOpen());
  QCOMPARE(title, QStringLiteral("Select Excel File"));
  QCOMPARE(mode, QFileDialog::ExistingFile);
  QCOMPARE(accept, QFileDialog::AcceptOpen);
  QCOMPARE(parent, owner_.get());
  QCOMPARE(d.FileName(), book);
  QCOMPARE(d.FileTitle(), QStringLiteral("Book1.xlsx"));
  QCOMPARE(d.Path(), dir_);

  // Shown again, it starts on the previous choice; cancelling keeps every field.
  QStringList offered;
  WhenModal<QFileDialog>([&offered](QFileDialog* f) {
    offered = f->selectedFiles();
    f->reject();
  });
  d.setFileTitle(QStringLiteral("kept title"));
  QVERIFY(!d.ShowOpen());
  QCOMPARE(offered, QStringList{book});
  QCOMPARE(d.FileName(), book);
  QCOMPARE(d.FileTitle(), QStringLiteral("kept title"));
  QCOMPARE(d.Path(), dir_);
}

void CommonDialogsTest::showOpenOffersEveryXlExtensionUnderTheFixedFilter() {
  for (const char* name : {"Book1.xlsx", "Book1.xls", "Book1.xlsm", "Book1.xlsb", "Book1.xlt", "Book1.xla",
                           "notes.txt", "Book1.csv", "xlsx"})
    Touch(dir_ + u'/' + QLatin1String(name));
  QVERIFY(QDir().mkdir(dir_ + QStringLiteral("/sub")));

  CCommonDialogs d;
  d.Init(owner_.get());
  const QString dir = dir_;
  QStringList filters;
  QStringList listed;
  WhenModal<QFileDialog>([&, dir](QFileDialog* f) {
    filters = FilterTexts(f);
    f->setDirectory(dir);
    const QStringList expected{"Book1.xla", "Book1.xls", "Book1.xlsb", "Book1.xlsm", "Book1.xlsx", "Book1.xlt", "sub"};
    QTRY_COMPARE_WITH_TIMEOUT(Listed(f, dir), expected, 10000);
    listed = Listed(f, dir);
    f->reject();
  });
  QVERIFY(!d.ShowOpen());
  QCOMPARE(filters, QStringList{QStringLiteral("Excel File(*.xls;*.xlsx;*.xlsm;*.xlsb)")});
  QVERIFY(listed.contains(QStringLiteral("Book1.xlt")));
  QVERIFY(listed.contains(QStringLiteral("Book1.xla")));
  QVERIFY(!listed.contains(QStringLiteral("notes.txt")));
  QVERIFY(!listed.contains(QStringLiteral("Book1.csv")));
}

void CommonDialogsTest::showOpenAcceptsOnlyExistingFilesAndAddsDefExt() {
  Touch(dir_ + QStringLiteral("/Book1.xlsx"));
  CCommonDialogs d;
  d.Init(owner_.get());
  d.setFileName(QStringLiteral("/earlier/pick.xls"));
  d.setFileTitle(QStringLiteral("pick.xls"));
  d.setPath(QStringLiteral("/earlier"));

  // A typed name that does not exist is refused with a warning; the dialog stays open.
  const QString missing = dir_ + QStringLiteral("/Missing.xlsx");
  bool warned = false;
  bool stayedOpen = false;
  WhenModal<QFileDialog>([&, missing](QFileDialog* f) {
    WhenModal<QMessageBox>([&warned](QMessageBox* box) {
      warned = box->text().contains(QStringLiteral("Missing.xlsx"));
      box->accept();
    }, f);
    f->selectFile(missing);
    static_cast<QDialog*>(f)->accept();  // returns once the warning is closed
    stayedOpen = f->isVisible() && QApplication::activeModalWidget() == f;
    f->reject();
  });
  QVERIFY(!d.ShowOpen());
  QVERIFY(warned);
  QVERIFY(stayedOpen);
  QCOMPARE(d.FileName(), QStringLiteral("/earlier/pick.xls"));
  QCOMPARE(d.FileTitle(), QStringLiteral("pick.xls"));
  QCOMPARE(d.Path(), QStringLiteral("/earlier"));

  // A name typed without extension gets DefExt.
  d.setDefExt(QStringLiteral("xlsx"));
  d.setFileName(QString());
  const QString dir = dir_;
  ModalGuard<QMessageBox> refusals;  // "Book1" alone would be refused as missing
  WhenModal<QFileDialog>([dir](QFileDialog* f) {
    f->setDirectory(dir);
    f->selectFile(QStringLiteral("Book1"));
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowOpen());
  QCOMPARE(d.FileName(), dir_ + QStringLiteral("/Book1.xlsx"));
  QCOMPARE(d.FileTitle(), QStringLiteral("Book1.xlsx"));
  QCOMPARE(refusals.count(), 0);
}

void CommonDialogsTest::showFolderConfirmsTheFolderAsChosen() {
  const QString sub = dir_ + QStringLiteral("/Data");
  QVERIFY(QDir().mkdir(sub));
  Touch(dir_ + QStringLiteral("/loose.xlsx"));

  CCommonDialogs d;
  d.Init(owner_.get());
  d.setTitle(QStringLiteral("Add all excel files in folder"));
  d.setFileName(QStringLiteral("/x/Book.xls"));
  d.setFileTitle(QStringLiteral("Book.xls"));
  d.setPath(QStringLiteral("/x"));

  // Cancel keeps all three fields.
  WhenModal<QFileDialog>(Reject);
  QVERIFY(!d.ShowFolder());
  QCOMPARE(d.FileName(), QStringLiteral("/x/Book.xls"));
  QCOMPARE(d.FileTitle(), QStringLiteral("Book.xls"));
  QCOMPARE(d.Path(), QStringLiteral("/x"));

  QString title;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  bool dirsOnly = false;
  WhenModal<QFileDialog>([&, sub](QFileDialog* f) {
    title = f->windowTitle();
    mode = f->fileMode();
    dirsOnly = f->testOption(QFileDialog::ShowDirsOnly);
    f->selectFile(sub);
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowFolder());
  QCOMPARE(title, QStringLiteral("Add all excel files in folder"));
  QCOMPARE(mode, QFileDialog::Directory);
  QVERIFY(dirsOnly);
  QCOMPARE(d.Path(), sub);
  QVERIFY(d.FileName().isEmpty());
  QVERIFY(d.FileTitle().isEmpty());

  // The root folder comes back as "/".
  d.setFileName(QStringLiteral("/x/Book.xls"));
  WhenModal<QFileDialog>([](QFileDialog* f) {
    f->setDirectory(QStringLiteral("/"));
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowFolder());
  QCOMPARE(d.Path(), QStringLiteral("/"));
  QVERIFY(d.FileName().isEmpty());
}

void CommonDialogsTest::showSaveStartingFolderAndPath() {
  const QString appDir = QCoreApplication::applicationDirPath();
  CCommonDialogs d;
  d.Init(owner_.get());
  d.setTitle(QStringLiteral("not used"));
  d.setFileName(QStringLiteral("/keep/me.xlsx"));
  d.setFileTitle(QStringLiteral("me.xlsx"));

  struct Seen {
    QString title, dir;
    bool noOverwritePrompt = false;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  } seen;
  auto look = [&seen](QFileDialog* f) {
    seen.title = f->windowTitle();
    seen.dir = f->directory().absolutePath();
    seen.noOverwritePrompt = f->testOption(QFileDialog::DontConfirmOverwrite);
    seen.mode = f->acceptMode();
    f->reject();
  };

  // A folder that does not exist: the application folder, kept in Path after a cancel.
  d.setPath(dir_ + QStringLiteral("/no such folder"));
  WhenModal<QFileDialog>(look);
  QVERIFY(!d.ShowSave());
  QCOMPARE(seen.dir, appDir);
  QCOMPARE(d.Path(), appDir);
  QCOMPARE(seen.title, QStringLiteral("Save"));
  QCOMPARE(seen.mode, QFileDialog::AcceptSave);
  QVERIFY(seen.noOverwritePrompt);
  QCOMPARE(d.FileName(), QStringLiteral("/keep/me.xlsx"));
  QCOMPARE(d.FileTitle(), QStringLiteral("me.xlsx"));

  // Blank, and a file rather than a folder: the application folder too.
  for (const QString& p : {QStringLiteral("   "), QString(), dir_ + QStringLiteral("/file.xlsx")}) {
    Touch(dir_ + QStringLiteral("/file.xlsx"));
    d.setPath(p);
    WhenModal<QFileDialog>(look);
    QVERIFY(!d.ShowSave());
    QCOMPARE(seen.dir, appDir);
    QCOMPARE(d.Path(), appDir);
  }

  // An existing folder: the dialog starts there and Path gains its trailing "/".
  d.setPath(dir_);
  WhenModal<QFileDialog>(look);
  QVERIFY(!d.ShowSave());
  QCOMPARE(seen.dir, dir_);
  QCOMPARE(d.Path(), dir_ + u'/');
  WhenModal<QFileDialog>(look);
  QVERIFY(!d.ShowSave());
  QCOMPARE(d.Path(), dir_ + u'/');
}

void CommonDialogsTest::pickersStartInTheStartFolderThenInTheLastOneUsed() {
  const QString home = dir_ + QStringLiteral("/home"), a = dir_ + QStringLiteral("/a"), b = dir_ + QStringLiteral("/b");
  for (const QString& f : {home, a, b}) QVERIFY(QDir().mkdir(f));
  Touch(a + QStringLiteral("/Book.xlsx"));
  CCommonDialogs::SetStartFolder(home);
  QCOMPARE(CCommonDialogs::StartFolder(), home);

  // Where each picker of a fresh instance opens; the dialog is then cancelled.
  enum Kind { Open, Folder, Save };
  auto opensIn = [this](Kind kind) {
    CCommonDialogs d;
    d.Init(owner_.get());
    QString seen;
    WhenModal<QFileDialog>([&seen](QFileDialog* f) {
      seen = f->directory().absolutePath();
      f->reject();
    });
    const bool confirmed = kind == Open ? d.ShowOpen() : kind == Folder ? d.ShowFolder() : d.ShowSave();
    if (confirmed) return QStringLiteral("confirmed?");
    if (kind == Save && d.Path() != seen) return QStringLiteral("Path %1, dialog in %2").arg(d.Path(), seen);
    return seen;
  };
  for (Kind k : {Open, Folder, Save}) QCOMPARE(opensIn(k), home);

  // A confirmed file: every picker opens in its folder from then on.
  {
    CCommonDialogs d;
    d.Init(owner_.get());
    const QString book = a + QStringLiteral("/Book.xlsx");
    WhenModal<QFileDialog>([book](QFileDialog* f) {
      f->selectFile(book);
      static_cast<QDialog*>(f)->accept();
    });
    QVERIFY(d.ShowOpen());
  }
  for (Kind k : {Open, Folder, Save}) QCOMPARE(opensIn(k), a);

  // A confirmed folder likewise.
  {
    CCommonDialogs d;
    d.Init(owner_.get());
    WhenModal<QFileDialog>([b](QFileDialog* f) {
      f->setDirectory(b);
      static_cast<QDialog*>(f)->accept();
    });
    QVERIFY(d.ShowFolder());
    QCOMPARE(d.Path(), b);
  }
  QCOMPARE(opensIn(Open), b);

  // A last folder that is gone gives the start folder again.
  QVERIFY(QDir(b).removeRecursively());
  QCOMPARE(opensIn(Open), home);

  // Without a start folder the save picker falls back to the application folder, as before.
  CCommonDialogs::SetStartFolder(QString());
  QVERIFY(CCommonDialogs::StartFolder().isEmpty());
  QCOMPARE(opensIn(Save), QCoreApplication::applicationDirPath());
}

void CommonDialogsTest::showSaveFiltersAndConfirm() {
  for (const char* name : {"a.txt", "b.csv", "c.xlsx", "d"}) Touch(dir_ + u'/' + QLatin1String(name));
  CCommonDialogs d;
  d.Init(owner_.get());
  d.setPath(dir_);
  const QString dir = dir_;

  // No Filter: the single filter "*.*", matching every file.
  QStringList filters;
  QStringList listed;
  WhenModal<QFileDialog>([&, dir](QFileDialog* f) {
    filters = FilterTexts(f);
    const QStringList all{"a.txt", "b.csv", "c.xlsx", "d"};
    QTRY_COMPARE_WITH_TIMEOUT(Listed(f, dir), all, 10000);
    listed = Listed(f, dir);
    f->reject();
  });
  QVERIFY(!d.ShowSave());
  QCOMPARE(filters, QStringList{QStringLiteral("*.*")});
  QCOMPARE(listed.size(), 4);

  // Pairs of description and pattern; ";" separates patterns; the first pair is chosen.
  d.setFilter(QStringLiteral("Text files|*.txt;*.csv|Workbooks|*.xlsx"));
  QString current;
  WhenModal<QFileDialog>([&, dir](QFileDialog* f) {
    filters = FilterTexts(f);
    if (auto* combo = f->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) current = combo->currentText();
    const QStringList text{"a.txt", "b.csv"};
    QTRY_COMPARE_WITH_TIMEOUT(Listed(f, dir), text, 10000);
    listed = Listed(f, dir);
    f->reject();
  });
  QVERIFY(!d.ShowSave());
  QCOMPARE(filters, (QStringList{QStringLiteral("Text files"), QStringLiteral("Workbooks")}));
  QCOMPARE(current, QStringLiteral("Text files"));
  QCOMPARE(listed, (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.csv")}));

  // Confirming an existing file asks nothing; a new name need not exist.
  for (const QString& name : {QStringLiteral("c.xlsx"), QStringLiteral("new.xlsx")}) {
    ModalGuard<QMessageBox> prompts(/*accept=*/true);
    WhenModal<QFileDialog>([dir, name](QFileDialog* f) {
      f->selectFile(dir + u'/' + name);
      static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
    });
    QVERIFY(d.ShowSave());
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(d.FileName(), dir_ + u'/' + name);
    QCOMPARE(d.FileTitle(), name);
    QCOMPARE(d.Path(), dir_);
  }
}

void CommonDialogsTest::showColorConvertsAndCancelKeeps() {
  QColorDialog::setCustomColor(0, QColor(9, 8, 7));
  CCommonDialogs d;
  d.Init(owner_.get());
  d.setColor(0x11 + 256 * 0x22 + 65536 * 0x33);

  for (bool fullOpen : {false, true}) {
    QColor initial;
    QColor custom0;
    WhenModal<QColorDialog>([&](QColorDialog* c) {
      initial = c->currentColor();
      custom0 = QColorDialog::customColor(0);
      c->reject();
    });
    QVERIFY(!d.ShowColor(fullOpen));
    QCOMPARE(initial, QColor(0x11, 0x22, 0x33));
    QCOMPARE(custom0, QColor(Qt::black));  // a fresh table of black custom colours
    QCOMPARE(d.Color(), 0x11 + 256 * 0x22 + 65536 * 0x33);
  }
  QCOMPARE(QColorDialog::customColor(0), QColor(9, 8, 7));  // the program's own are back

  WhenModal<QColorDialog>([](QColorDialog* c) {
    c->setCurrentColor(QColor(255, 0, 128));
    c->accept();
  });
  QVERIFY(d.ShowColor(false));
  QCOMPARE(d.Color(), 255 + 65536 * 128);

  // Bits above the blue byte play no part.
  d.setColor(0x7F000000 | 0x010203);
  QColor initial;
  WhenModal<QColorDialog>([&initial](QColorDialog* c) {
    initial = c->currentColor();
    c->accept();
  });
  QVERIFY(d.ShowColor(true));
  QCOMPARE(initial, QColor(3, 2, 1));
  QCOMPARE(d.Color(), 0x010203);
}

void CommonDialogsTest::showFontConvertsAndLeavesUnderlineAndColor() {
  const QStringList families = QFontDatabase::families();
  if (!families.contains(QStringLiteral("DejaVu Sans")) || !families.contains(QStringLiteral("Liberation Serif")))
    QSKIP("needs the DejaVu Sans and Liberation Serif fonts");

  CCommonDialogs d;
  d.Init(owner_.get());
  d.setFontName(QStringLiteral("DejaVu Sans"));
  d.setFontSize(12);
  d.setFontBold(true);
  d.setFontUnderline(true);
  d.setColor(0x123456);

  QFont initial;
  int effectChoices = -1;
  WhenModal<QFontDialog>([&](QFontDialog* f) {
    initial = f->currentFont();
    effectChoices = 0;
    for (QCheckBox* box : f->findChildren<QCheckBox*>()) effectChoices += box->isVisible();
    f->reject();
  });
  QVERIFY(!d.ShowFont());
  QCOMPARE(initial.family(), QStringLiteral("DejaVu Sans"));
  QCOMPARE(initial.pointSize(), 12);
  QVERIFY(initial.bold());
  QVERIFY(!initial.italic());
  QCOMPARE(effectChoices, 0);  // no underline or strike-out to choose
  QCOMPARE(d.FontName(), QStringLiteral("DejaVu Sans"));
  QCOMPARE(d.FontSize(), 12);
  QVERIFY(d.FontBold());

  // Liberation Serif italic 9 pt; underline and colour stay.
  WhenModal<QFontDialog>([](QFontDialog* f) {
    QFont chosen(QStringLiteral("Liberation Serif"));
    chosen.setPointSize(9);
    chosen.setItalic(true);
    chosen.setUnderline(false);
    f->setCurrentFont(chosen);
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowFont());
  QCOMPARE(d.FontName(), QStringLiteral("Liberation Serif"));
  QVERIFY(!d.FontBold());
  QVERIFY(d.FontItalic());
  QCOMPARE(d.FontSize(), 9);
  QVERIFY(d.FontUnderline());
  QCOMPARE(d.Color(), 0x123456);

  d.setFontUnderline(false);
  WhenModal<QFontDialog>([](QFontDialog* f) {
    QFont chosen(QStringLiteral("DejaVu Sans"));
    chosen.setPointSize(14);
    chosen.setBold(true);
    chosen.setUnderline(true);
    f->setCurrentFont(chosen);
    static_cast<QDialog*>(f)->accept();  // as the Open/Save/Choose button does
  });
  QVERIFY(d.ShowFont());
  QCOMPARE(d.FontName(), QStringLiteral("DejaVu Sans"));
  QVERIFY(d.FontBold());
  QVERIFY(!d.FontItalic());
  QCOMPARE(d.FontSize(), 14);
  QVERIFY(!d.FontUnderline());
}

void CommonDialogsTest::fontSizesKeepWholePoints_data() {
  QTest::addColumn<double>("points");
  QTest::addColumn<int>("whole");
  QTest::newRow("10.5 drops the half") << 10.5 << 10;
  QTest::newRow("10.9") << 10.9 << 10;
  QTest::newRow("12") << 12.0 << 12;
  QTest::newRow("rounding noise below 12") << 11.999999 << 12;
  QTest::newRow("below one point") << 0.5 << 0;
  QTest::newRow("beyond 16 bits") << 100000.0 << 32767;
}

void CommonDialogsTest::fontSizesKeepWholePoints() {
  QFETCH(double, points);
  QFETCH(int, whole);
  QCOMPARE(int(WholePoints(points)), whole);
}

void CommonDialogsTest::printerDialogsReportNoPrinter() {
  CCommonDialogs d;
  d.Init(owner_.get());
  ModalGuard<QDialog> guard;
  QVERIFY(!d.ShowPrinter());
  QVERIFY(!d.ShowPrinterProperties());
  // Printers, but none of them the default: there is no default printer's page set-up.
  SetPrinterLookup(&NoDefaultPrinter);
  QVERIFY(!d.ShowPrinterProperties());
  QCOMPARE(guard.count(), 0);
  // The machine's own printers, through QPrinterInfo: none here, or a dialog the guard cancels.
  SetPrinterLookup(nullptr);
  QVERIFY(!d.ShowPrinter());
  QVERIFY(!d.ShowPrinterProperties());
}

void CommonDialogsTest::printerDialogsAnswerTheUser() {
  SetPrinterLookup(&TwoPrinters);
  CCommonDialogs d;
  d.Init(owner_.get());
  for (bool confirm : {false, true}) {
    QAbstractPrintDialog::PrintDialogOptions options;
    WhenModal<QPrintDialog>([&](QPrintDialog* p) {
      options = p->options();
      confirm ? p->accept() : p->reject();
    });
    QCOMPARE(d.ShowPrinter(), confirm);
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintSelection));
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintPageRange));
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintToFile));
    QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintCurrentPage));

    QWidget* parent = nullptr;
    WhenModal<QPageSetupDialog>([&](QPageSetupDialog* p) {
      parent = p->parentWidget();
      confirm ? p->accept() : p->reject();
    });
    QCOMPARE(d.ShowPrinterProperties(), confirm);
    QCOMPARE(parent, owner_.get());
  }
  // Nothing the user chose is kept in the fields.
  QVERIFY(d.FileName().isEmpty() && d.FontName().isEmpty());
  QCOMPARE(d.Color(), 0);
}

QTEST_MAIN(CommonDialogsTest)
#include "common_dialogs_test.moc"
