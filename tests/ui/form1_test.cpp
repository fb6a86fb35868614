// The main window, its stored files and its two dialogs, driven as a user would: layout
// against the designer's table, the command map, start-up and shut-down files byte for
// byte, Settings, About, Help and HomePage, and a merge from the merge list.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include "dialogs/common_dialogs.h"
#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/merge.h"
#include "tests/engine/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/addresses.h"
#include "ui/dialog1.h"
#include "ui/dialog2.h"
#include "ui/dialog3.h"
#include "ui/form1.h"
#include "ui/help_window.h"
#include "ui/icons.h"
#include "ui/qt_ports.h"
#include "ui/stored_files.h"

using namespace corvane;
namespace fs = std::filesystem;

using test::Q;
using test::WhenModal;

namespace {

using Recorder = test::MessageRecorder;
using Keeper = test::ShownKeeper;
using test::WriteBytes;

int Px(int twips) { return qRound(twips / 15.0); }
QRect PxRect(int l, int t, int w, int h) { return QRect(Px(l), Px(t), Px(w), Px(h)); }


// Rows r1..r2 of numbers r*100+c in columns A..(A+cols-1).
std::string Block(int r1, int r2, int cols) {
  std::string x = "<sheetData>";
  for (int r = r1; r <= r2; ++r) {
    x += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 1; c <= cols; ++c)
      x += "<c r=\"" + std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r) + "\"><v>" +
           std::to_string(r * 100 + c) + "</v></c>";
    x += "</row>";
  }
  return x + "</sheetData>";
}

// Sets an environment variable (nullptr: removes it) for as long as it lives.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    if (value)
      qputenv(name, value);
    else
      qunsetenv(name);
  }
  ~EnvScope() {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

}  // namespace

class UrlSink : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

class Form1Test : public QObject {
  Q_OBJECT

  UrlSink urls;
  std::unique_ptr<test::TempDir> dir;
  Recorder rec;

  QString folder() const { return Q(dir->path()); }
  fs::path file(const char* name) const { return dir->path() / name; }
  std::unique_ptr<Form1> makeForm() { return std::make_unique<Form1>(folder(), &rec); }

 private slots:
  void initTestCase() {
    // No browser, mail program or help viewer is started: every "open" lands here.
    for (const char* scheme : {"http", "https", "mailto", "file"})
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &urls, "open");
  }
  void cleanupTestCase() {
    for (const char* scheme : {"http", "https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  }
  void init() {
    dir = std::make_unique<test::TempDir>();
    rec.shown.clear();
    urls.opened.clear();
  }
  void cleanup() { dir.reset(); }

  // ---------------------------------------------------------------------------------------
  // The window as the designer laid it out

  void layoutFollowsTheTable() {
    auto w = makeForm();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    struct Row {
      const char* name;
      const char* caption;
      int left, top, width, height;
      int picture;  // picture side, 0 for none; -1 for an arrow
    };
    const Row rows[] = {
        {"Command8", "Add Excel", 120, 0, 1210, 975, 48},
        {"Command6", "Add Folder", 1440, 0, 1210, 975, 48},
        {"Command7", "Remove File", 2760, 0, 1330, 975, 32},
        {"Command18", "Merge", 5400, 0, 1575, 970, 32},
        {"Command12", "Help", 7080, 0, 1095, 975, 32},
        {"Command13", "HomePage", 8280, 0, 1335, 975, 48},
        {"Command9", "Exit", 9720, 0, 1095, 975, 32},
        {"ListView1", nullptr, 120, 1080, 10695, 2175, 0},
        {"Command5", "", 10800, 1320, 375, 735, -1},
        {"Command4", "", 10800, 2280, 375, 735, -1},
        {"Label2", "Merge Option:", 120, 3360, 1095, 255, 0},
        {"Combo1", nullptr, 1320, 3360, 3495, 330, 0},
        {"Label1", "Insert the number of row or column between the sheets:", 5400, 3360, 4095, 255, 0},
        {"Text1", "0", 9600, 3360, 1215, 300, 0},
        {"ListView2", nullptr, 120, 3720, 2295, 2895, 0},
        {"ListView3", nullptr, 2520, 3720, 2295, 2895, 0},
        {"Command10", "", 4800, 4560, 610, 375, -1},
        {"Command11", "", 4800, 5400, 610, 375, -1},
        {"ListView4", nullptr, 5400, 3720, 5415, 2895, 0},
        {"Command14", "", 10800, 4320, 375, 735, -1},
        {"Command15", "", 10800, 5280, 375, 735, -1},
        {"Command20", "Add All Excel Files", 120, 6720, 2175, 250, 0},
        {"Command16", "Add All Sheets", 2400, 6720, 2295, 250, 0},
        {"Command17", "Remove All", 5400, 6720, 1335, 255, 0},
        {"ProgressBar1", nullptr, 120, 7080, 10985, 255, 0},
    };
    const std::set<QString> largeFont{"Command8", "Command6", "Command7", "Command18", "Command12", "Command13", "Command9"};
    for (const Row& r : rows) {
      const QString name = QString::fromLatin1(r.name);
      auto* c = w->findChild<QWidget*>(name);
      QVERIFY2(c, r.name);
      QCOMPARE(c->parentWidget(), w->centralWidget());
      QCOMPARE(c->geometry(), PxRect(r.left, r.top, r.width, r.height));
      QCOMPARE(c->font().family(), QStringLiteral("Arial"));
      QCOMPARE(c->font().pointSizeF(), largeFont.count(name) ? 9.75 : 8.25);
      QVERIFY(!c->font().bold());
      if (r.caption) {
        QString text = qobject_cast<QAbstractButton*>(c)   ? qobject_cast<QAbstractButton*>(c)->text()
                       : qobject_cast<QLabel*>(c)          ? qobject_cast<QLabel*>(c)->text()
                       : qobject_cast<QLineEdit*>(c)       ? qobject_cast<QLineEdit*>(c)->text()
                                                           : QString();
        QCOMPARE(text, QString::fromLatin1(r.caption));
      }
      if (r.picture != 0) {
        auto* b = qobject_cast<PictureButton*>(c);
        QVERIFY2(b, r.name);
        QSize side = r.picture > 0 ? QSize(r.picture, r.picture) : b->pictureSize();
        QCOMPARE(b->pictureSize(), side);
        QVERIFY(!b->icon().pixmap(side).isNull());
        if (r.picture < 0) QVERIFY2(side.width() < c->width() && side.height() < c->height(), r.name);
      }
    }
    // The same arrow image for both ups and both downs; the four directions differ.
    auto image = [&](PictureButton* b) { return b->icon().pixmap(b->pictureSize()).toImage(); };
    QCOMPARE(image(w->Command5), image(w->Command14));
    QCOMPARE(image(w->Command4), image(w->Command15));
    QVERIFY(image(w->Command5) != image(w->Command4));
    QVERIFY(image(w->Command10) != image(w->Command11));
    // The Merge button shows the program icon, which is also the window's.
    QCOMPARE(w->Command18->icon().pixmap(32, 32).toImage(), w->windowIcon().pixmap(32, 32).toImage());

    // A fixed window: the client area below the menu bar is 749 x 494.
    QCOMPARE(w->windowTitle(), QStringLiteral("Corvane"));
    QCOMPARE(w->centralWidget()->size(), QSize(749, 494));
    QCOMPARE(w->centralWidget()->y(), w->menuBar()->geometry().bottom() + 1);
    QCOMPARE(w->size(), QSize(749, 494 + w->menuBar()->height()));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    const Qt::WindowFlags flags = w->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

    // The drop-down list takes no typed text; the progress bar starts at 0 of 100.
    QVERIFY(!w->Combo1->isEditable());
    QCOMPARE(w->ProgressBar1->minimum(), 0);
    QCOMPARE(w->ProgressBar1->maximum(), 100);
    QCOMPARE(w->ProgressBar1->value(), 0);
  }

  // With Arial or a font of Arial's widths, every caption of the window and of the Settings
  // dialog is readable whole in the place the table gives it.
  void captionsFitWithArialWidths() {
    auto w = makeForm();
    Dialog2 settings(dir->path().string(), rec);
    const QString family = QFontInfo(w->Label1->font()).family();
    if (family != "Arial" && family != "Liberation Sans" && family != "Arimo")
      QSKIP(qPrintable("Arial is drawn with " + family + ", whose widths differ"));
    std::vector<QWidget*> controls{settings.Check1, settings.OKButton, settings.CancelButton};
    for (QWidget* c : w->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) controls.push_back(c);
    for (QWidget* c : controls) {
      QString text;
      int room = c->width();
      if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
      if (auto* b = qobject_cast<QAbstractButton*>(c)) text = b->text();
      if (qobject_cast<QCheckBox*>(c)) room -= c->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4;
      if (text.isEmpty()) continue;
      QVERIFY2(QFontMetrics(c->font()).horizontalAdvance(text) <= room, qPrintable(c->objectName() + ": " + text));
    }
  }

  void tabOrderFollowsTheTable() {
    auto w = makeForm();
    const QStringList expected{"Command8",  "Command6",  "Command7",  "ListView1", "Combo1",    "ListView2",
                               "ListView3", "Command16", "Command10", "Command11", "ListView4", "Command14",
                               "Command15", "Command17", "Text1",     "Command20", "Command4",  "Command5",
                               "Command18", "Command12", "Command13", "Command9"};
    QStringList order;
    QWidget* start = w->Command8;
    QWidget* at = start;
    do {
      if ((at->focusPolicy() & Qt::TabFocus) && at->isVisibleTo(w.get()) && !at->objectName().isEmpty() &&
          at->parentWidget() == w->centralWidget())
        order << at->objectName();
      at = at->nextInFocusChain();
    } while (at != start);
    QCOMPARE(order, expected);
    // Labels and the progress bar take no focus.
    for (QWidget* c : std::initializer_list<QWidget*>{w->Label1, w->Label2, w->ProgressBar1}) QCOMPARE(c->focusPolicy(), Qt::NoFocus);
  }

  void menusAreAsListed() {
    auto w = makeForm();
    QList<QAction*> top = w->menuBar()->actions();
    QStringList titles;
    for (QAction* a : top) titles << a->text();
    QCOMPARE(titles, (QStringList{"File", "Edit", "Actions", "Settings", "Help"}));
    // Settings is itself the command.
    QCOMPARE(top[3], w->Settings);
    QVERIFY(!w->Settings->menu());
    struct Entry {
      QMenu* menu;
      QStringList captions, names;
    };
    const Entry entries[] = {
        {w->FileMenu, {"Add Excel File", "Add All Excel Files in Folder"}, {"Addexcel", "AddFolder"}},
        {w->EditMenu, {"Remove List Item", "Remove All List Items"}, {"RemoveItem", "RemoveAll"}},
        {w->ActionsMenu, {"Merge", "Merge Options..."}, {"Merge", "MergeOptions"}},
        {w->HelpMenu, {"Help", "HomePage", "About"}, {"Help", "HomePage", "About"}},
    };
    QList<QAction*> all{w->Settings};
    for (const Entry& e : entries) {
      QStringList captions, names;
      for (QAction* a : e.menu->actions()) {
        QVERIFY(!a->isSeparator());
        captions << a->text();
        names << a->objectName();
        all << a;
      }
      QCOMPARE(captions, e.captions);
      QCOMPARE(names, e.names);
    }
    for (QAction* a : top) all << a;
    for (QAction* a : all) {
      QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
      QVERIFY2(!a->text().contains('&'), qPrintable(a->text()));
      QVERIFY(!a->isCheckable());
      QVERIFY(a->isEnabled());
      QVERIFY(a->isVisible());
    }
    QCOMPARE(w->findChild<QAction*>("Addexcel"), w->Addexcel);
  }

  // ---------------------------------------------------------------------------------------
  // Start-up

  void startUpValues() {
    auto w = makeForm();
    QCOMPARE(w->Combo1->count(), 2);
    QCOMPARE(w->Combo1->itemText(0), QStringLiteral("Vertical Merger"));
    QCOMPARE(w->Combo1->itemText(1), QStringLiteral("Horizontal Merger"));
    QCOMPARE(w->Combo1->currentIndex(), 0);
    QCOMPARE(w->Combo1->currentText(), QStringLiteral("Vertical Merger"));
    QCOMPARE(w->Text1->text(), QStringLiteral("0"));
    QCOMPARE(w->gapCount, 0);
    // No EXCEL.txt at all: an empty source list.
    QCOMPARE(w->lists.sources.Count(), 0);
    QCOMPARE(w->lists.workbooks.Count(), 0);
    QCOMPARE(w->lists.sheets.Count(), 0);
    QCOMPARE(w->lists.merges.Count(), 0);

    struct Column {
      ListView* view;
      QStringList headers;
      QList<int> twips;
    };
    const Column columns[] = {
        {w->ListView1, {"Please Select the Excel File or Folder to Merge"}, {10200}},
        {w->ListView2, {"WorkBooks"}, {1900}},
        {w->ListView3, {"WorkSheets"}, {1900}},
        {w->ListView4, {"Excel File", "Sheets be Merged"}, {3100, 1900}},
    };
    for (const Column& c : columns) {
      QCOMPARE(c.view->columnCount(), c.headers.size());
      for (int i = 0; i < c.headers.size(); ++i) {
        QCOMPARE(c.view->headerItem()->text(i), c.headers[i]);
        QCOMPARE(c.view->header()->sectionSize(i), Px(c.twips[i]));
      }
      QVERIFY(c.view->header()->defaultAlignment() & Qt::AlignLeft);
    }
    // Three distinct 16 x 16 images for the source list.
    QCOMPARE(w->ImageList1.size(), size_t(3));
    for (const QIcon& icon : w->ImageList1) QCOMPARE(icon.pixmap(16, 16).size(), QSize(16, 16));
    QVERIFY(w->ImageList1[0].pixmap(16, 16).toImage() != w->ImageList1[1].pixmap(16, 16).toImage());
    QVERIFY(w->ImageList1[1].pixmap(16, 16).toImage() != w->ImageList1[2].pixmap(16, 16).toImage());
    QCOMPARE(w->ListView1->iconSize(), QSize(16, 16));
  }

  void startUpReloadsTheSavedList() {
    const fs::path folder = dir->path() / "Data";
    const fs::path book = dir->path() / "x.xlsx";
    const fs::path gone = dir->path() / "deleted.xlsx";
    fs::create_directory(folder);
    WriteBytes(book, "not even a workbook: any file counts");
    WriteBytes(file("EXCEL.txt"), folder.string() + "\r\n" + book.string() + "\r\n" + gone.string() + "\r\n" +
                                      book.string() + "\r\n\r\n" + folder.string() + "/");
    auto w = makeForm();
    const std::vector<std::pair<std::string, int>> expected{
        {folder.string(), kIconFolder}, {book.string(), kIconWorkbook}, {gone.string(), kIconNothing},
        {book.string(), kIconWorkbook}, {"", kIconNothing},            {folder.string() + "/", kIconFolder}};
    QCOMPARE(w->lists.sources.Count(), int(expected.size()));
    w->SyncLists();
    QCOMPARE(w->ListView1->topLevelItemCount(), int(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
      const ListEntry& e = w->lists.sources.Item(int(i) + 1);
      QCOMPARE(e.text, expected[i].first);
      QCOMPARE(e.icon, expected[i].second);
      QTreeWidgetItem* item = w->ListView1->topLevelItem(int(i));
      QCOMPARE(item->text(0), QString::fromStdString(expected[i].first));
      QCOMPARE(item->icon(0).pixmap(16, 16).toImage(), w->ImageList1[size_t(expected[i].second - 1)].pixmap(16, 16).toImage());
    }
    // The first entry is the selected one; the other lists wait for a click.
    QCOMPARE(w->lists.sources.SelectedIndex(), 1);
    QCOMPARE(w->ListView1->currentItem(), w->ListView1->topLevelItem(0));
    QCOMPARE(w->lists.workbooks.Count(), 0);
  }

  void storedFileLines() {
    const std::string d = dir->path().string();
    auto load = [&](const std::string& bytes) {
      WriteBytes(file("EXCEL.txt"), bytes);
      return LoadSourceList(d);
    };
    using V = std::vector<std::string>;
    QCOMPARE(load(""), V{});
    QCOMPARE(load("\r\n"), V{""});
    QCOMPARE(load("a\r\nb"), (V{"a", "b"}));
    QCOMPARE(load("a\r\n\r\n"), (V{"a", ""}));
    QCOMPARE(load("a\nb\n"), (V{"a", "b"}));
    QCOMPARE(load("a\rb\r\n"), V{"a\rb"});
    QCOMPARE(load("/d/caf\xc3\xa9 n\xc2\xba 1.xlsx\r\n"), V{"/d/caf\xc3\xa9 n\xc2\xba 1.xlsx"});
    fs::remove(file("EXCEL.txt"));
    QCOMPARE(LoadSourceList(d), V{});

    auto line = [&](const std::string& bytes) {
      WriteBytes(file("set.txt"), bytes);
      return ReadAutoSaveLine(d);
    };
    QCOMPARE(line(""), std::optional<std::string>());
    QCOMPARE(line("\r\n"), std::optional<std::string>(""));
    QCOMPARE(line("1"), std::optional<std::string>("1"));
    QCOMPARE(line("0\r\n1\r\n"), std::optional<std::string>("0"));
    QCOMPARE(line("0\n"), std::optional<std::string>("0"));
    fs::remove(file("set.txt"));
    QCOMPARE(ReadAutoSaveLine(d), std::optional<std::string>());
  }

  void savingReplacesTheFileWhole() {
    const std::string d = dir->path().string();
    // The old file's permissions stay; no temporary file is left behind.
    WriteBytes(file("EXCEL.txt"), "old\r\n");
    ::chmod(file("EXCEL.txt").c_str(), 0640);
    QCOMPARE(SaveSourceList(d, {"/a", "/b"}), std::optional<std::string>());
    QCOMPARE(test::ReadAll(file("EXCEL.txt")), std::string("/a\r\n/b\r\n"));
    struct stat st {};
    ::stat(file("EXCEL.txt").c_str(), &st);
    QCOMPARE(int(st.st_mode & 0777), 0640);
    int files = 0;
    for (auto& e : fs::directory_iterator(dir->path())) files += e.is_regular_file();
    QCOMPARE(files, 1);

    // A link is written through, and stays a link.
    fs::create_directory(dir->path() / "real");
    WriteBytes(dir->path() / "real" / "list.txt", "x\r\n");
    fs::remove(file("EXCEL.txt"));
    fs::create_symlink(dir->path() / "real" / "list.txt", file("EXCEL.txt"));
    QCOMPARE(SaveSourceList(d, {"/c"}), std::optional<std::string>());
    QVERIFY(fs::is_symlink(file("EXCEL.txt")));
    QCOMPARE(test::ReadAll(dir->path() / "real" / "list.txt"), std::string("/c\r\n"));

    // A place that cannot take the file: a reason, and nothing changed.
    fs::remove(file("EXCEL.txt"));
    fs::create_directory(file("EXCEL.txt"));
    WriteBytes(file("EXCEL.txt") / "inside", "kept");
    auto error = SaveSourceList(d, {"/a"});
    QVERIFY(error.has_value());
    QVERIFY(!error->empty());
    QCOMPARE(test::ReadAll(file("EXCEL.txt") / "inside"), std::string("kept"));
    QVERIFY(SaveSourceList((dir->path() / "no such folder").string(), {"/a"}).has_value());
  }

  // ---------------------------------------------------------------------------------------
  // Installed, or run from a folder of its own

  void installedOrNotByTheProgramFolder() {
    const fs::path own = dir->path() / "portable";
    const fs::path locked = dir->path() / "locked";
    fs::create_directories(own);
    fs::create_directories(locked);
    ::chmod(locked.c_str(), 0555);
    const struct Case {
      std::string folder, bin;
      bool installed;
    } cases[] = {
        {own.string(), "/usr/local/bin", false},                     // a build folder, a portable copy
        {own.string() + "/", "", false},
        {own.string(), own.string(), true},                          // the bin folder of the prefix
        {(dir->path() / "locked" / ".." / "portable").string(), own.string(), true},
        {locked.string(), "/usr/local/bin", true},                   // the user may not write there
        {(dir->path() / "missing").string(), "", true},              // nowhere to write at all
        {"/usr/bin", "", true},                                      // system folders, even for root
        {"/usr/local/bin", "", true},
        {"/bin", "", true},
        {"/opt/corvane/bin", "", true},
    };
    for (const Case& c : cases) QVERIFY2(RunsInstalled(c.folder, c.bin) == c.installed, c.folder.c_str());
    ::chmod(locked.c_str(), 0755);
    QVERIFY(InstallBinFolder().front() == '/');
  }

  void aPortableProgramKeepsItsFilesBesideIt() {
    const fs::path home = dir->path() / "home";
    fs::create_directory(home);
    EnvScope homeEnv("HOME", home.c_str());
    auto w = makeForm();
    QVERIFY(!w->runsInstalled());
    QCOMPARE(w->storedFilesFolder(), dir->path().string());
    QVERIFY(CCommonDialogs::StartFolder().isEmpty());
    w->lists.sources.Add({"/data/a.xlsx", "", kIconNothing, false});
    w->close();
    QCOMPARE(test::ReadAll(file("EXCEL.txt")), std::string("/data/a.xlsx\r\n"));
    QVERIFY(fs::is_empty(home));
  }

  void anInstalledProgramKeepsItsFilesInTheUsersFolder() {
    // An installed-looking program: a folder the user may not write to, and a home of its own.
    const fs::path program = dir->path() / "bin";
    const fs::path home = dir->path() / "home";
    fs::create_directories(program);
    fs::create_directories(home);
    ::chmod(program.c_str(), 0555);
    EnvScope homeEnv("HOME", home.c_str());
    EnvScope xdg("XDG_CONFIG_HOME", nullptr);
    const fs::path settings = home / ".config" / "corvane";
    {
      Form1 w(Q(program), &rec);
      QVERIFY(w.runsInstalled());
      QCOMPARE(w.storedFilesFolder(), settings.string());
      // Made on the first start, saving the list from then on.
      QCOMPARE(test::ReadAll(settings / "set.txt"), std::string("1\r\n"));
      QCOMPARE(w.lists.sources.Count(), 0);
      // The pickers start in the home folder.
      QCOMPARE(CCommonDialogs::StartFolder(), Q(home));
      w.lists.sources.Add({"/data/a.xlsx", "", kIconNothing, false});
      w.lists.sources.Add({"/data/Folder", "", kIconNothing, false});
      w.close();
    }
    QCOMPARE(test::ReadAll(settings / "EXCEL.txt"), std::string("/data/a.xlsx\r\n/data/Folder\r\n"));
    QVERIFY(fs::is_empty(program));

    // The next start reads the list back; the Settings dialog reads and writes the same set.txt,
    // and a start keeps what the user chose.
    {
      Form1 w(Q(program), &rec);
      QCOMPARE(w.lists.sources.Count(), 2);
      QCOMPARE(w.lists.sources.Item(2).text, std::string("/data/Folder"));
      WhenModal([](QWidget* modal) {
        auto* d = qobject_cast<Dialog2*>(modal);
        QVERIFY(d);
        QVERIFY(d->Check1->isChecked());
        d->Check1->setChecked(false);
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
      });
      w.Settings->trigger();
      QCOMPARE(test::ReadAll(settings / "set.txt"), std::string("0\r\n"));
      w.lists.sources.Clear();
      w.close();
    }
    {
      Form1 w(Q(program), &rec);
      QCOMPARE(test::ReadAll(settings / "set.txt"), std::string("0\r\n"));
      QCOMPARE(w.lists.sources.Count(), 2);  // not saved at the last closing
    }
    QVERIFY(fs::is_empty(program));

    // $XDG_CONFIG_HOME takes the place of ~/.config when it is an absolute path.
    const fs::path config = dir->path() / "config";
    {
      EnvScope absolute("XDG_CONFIG_HOME", config.c_str());
      Form1 w(Q(program), &rec);
      QCOMPARE(w.storedFilesFolder(), (config / "corvane").string());
      QVERIFY(fs::exists(config / "corvane" / "set.txt"));
    }
    {
      EnvScope relative("XDG_CONFIG_HOME", "relative/config");
      Form1 w(Q(program), &rec);
      QCOMPARE(w.storedFilesFolder(), settings.string());
    }
    QVERIFY(rec.shown.empty());
    ::chmod(program.c_str(), 0755);
  }

  // ---------------------------------------------------------------------------------------
  // Shut-down

  void shutDownSavesByTheSetting() {
    struct Case {
      const char* setting;  // nullptr: no set.txt
      bool saves;
    };
    const Case cases[] = {{"1\r\n", true}, {"0\r\n", false}, {"yes\r\n", true}, {"", true},
                          {nullptr, true}, {"0", false},     {"0 \r\n", true},  {"\r\n0\r\n", true}};
    const std::string before = "/old/one\r\n";
    for (const Case& c : cases) {
      init();
      if (c.setting) WriteBytes(file("set.txt"), c.setting);
      auto w = makeForm();
      WriteBytes(file("EXCEL.txt"), before);
      w->lists.sources.Add({"/data/Data", "", kIconFolder, false});
      w->lists.sources.Add({"/data/x.xls", "", kIconWorkbook, false});
      w->close();
      QVERIFY(!w->isVisible());
      QCOMPARE(test::ReadAll(file("EXCEL.txt")), c.saves ? std::string("/data/Data\r\n/data/x.xls\r\n") : before);
      QVERIFY(rec.shown.empty());
      // set.txt itself is only read.
      if (c.setting) QCOMPARE(test::ReadAll(file("set.txt")), std::string(c.setting));
    }
  }

  void shutDownReadsTheSettingAfresh() {
    WriteBytes(file("set.txt"), "1\r\n");
    WriteBytes(file("EXCEL.txt"), "/kept\r\n");
    auto w = makeForm();
    w->lists.sources.Add({"/new", "", kIconNothing, false});
    WriteBytes(file("set.txt"), "0\r\n");
    w->Command9_Click();
    QCOMPARE(test::ReadAll(file("EXCEL.txt")), std::string("/kept\r\n"));
  }

  void exitAndCloseBoxSaveTheSame() {
    WriteBytes(file("set.txt"), "1\r\n");
    const std::string list = "/a/b.xlsx\r\n/a\r\n/a/b.xlsx\r\n\r\n/missing\r\n";
    std::string saved[2];
    for (int way = 0; way < 2; ++way) {
      WriteBytes(file("EXCEL.txt"), list);
      auto w = makeForm();
      w->show();
      if (way == 0)
        QTest::mouseClick(w->Command9, Qt::LeftButton);
      else
        w->close();
      QVERIFY(!w->isVisible());
      saved[way] = test::ReadAll(file("EXCEL.txt"));
    }
    // Reload and save keeps the list byte for byte, empty line and duplicate included.
    QCOMPARE(saved[0], list);
    QCOMPARE(saved[1], list);
  }

  void emptyListSavesAnEmptyFile() {
    WriteBytes(file("set.txt"), "1\r\n");
    WriteBytes(file("EXCEL.txt"), "/a\r\n");
    auto w = makeForm();
    w->RemoveAll->trigger();
    w->close();
    QVERIFY(fs::exists(file("EXCEL.txt")));
    QCOMPARE(fs::file_size(file("EXCEL.txt")), uintmax_t(0));
  }

  void unwritableListIsReported() {
    WriteBytes(file("set.txt"), "1\r\n");
    auto w = makeForm();
    w->lists.sources.Add({"/a", "", kIconNothing, false});
    // A folder where the file should be: writing must fail, even for root.
    fs::create_directory(file("EXCEL.txt"));
    w->close();
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0].second, MessageIcon::Critical);
    QVERIFY2(rec.shown[0].first.find(file("EXCEL.txt").string()) != std::string::npos, rec.shown[0].first.c_str());
    QVERIFY(fs::is_directory(file("EXCEL.txt")));
  }

  // ---------------------------------------------------------------------------------------
  // The command map

  void mergeWithNothingTicked() {
    auto w = makeForm();
    w->show();
    // Empty list, by the button: the notice, and the gap box normalised first.
    w->Text1->setText(QStringLiteral("-3"));
    QTest::mouseClick(w->Command18, Qt::LeftButton);
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0].first, std::string("Please select some excel files to Merge!"));
    QCOMPARE(rec.shown[0].second, MessageIcon::Information);
    QCOMPARE(w->Text1->text(), QStringLiteral("0"));
    QCOMPARE(w->gapCount, 0);
    // Entries, none ticked, by the menu entry: the same, and the progress bar untouched.
    w->lists.merges.Add({"/a.xlsx", "Sheet1", 0, false});
    w->lists.merges.Add({"/b.xlsx", "Sheet1", 0, false});
    w->Text1->setText(QStringLiteral("letters"));
    w->Merge->trigger();
    QCOMPARE(rec.shown.size(), size_t(2));
    QCOMPARE(rec.shown[1], rec.shown[0]);
    QCOMPARE(w->Text1->text(), QStringLiteral("0"));
    QCOMPARE(w->ProgressBar1->maximum(), 100);
    QCOMPARE(Application::AliveCount(), 0);
  }

  void failedMergeResetsTheProgressBar() {
    auto w = makeForm();
    w->lists.merges.Add({(dir->path() / "gone1.xlsx").string(), "Sheet1", 0, false});
    w->lists.merges.Add({(dir->path() / "gone2.xlsx").string(), "Sheet1", 0, false});
    w->lists.merges.Add({(dir->path() / "gone3.xlsx").string(), "Sheet1", 0, true});
    // A typed 2.7 stays in the box while the gap count is 3.
    w->Text1->setText(QStringLiteral("2.7"));
    w->Command18_Click();
    QCOMPARE(w->Text1->text(), QStringLiteral("2.7"));
    QCOMPARE(w->gapCount, 3);
    QCOMPARE(w->ProgressBar1->maximum(), 3);
    QCOMPARE(w->ProgressBar1->value(), 0);
    // Vertical: the failure's own description, then "Merge Failed!".
    QCOMPARE(rec.shown.size(), size_t(2));
    QCOMPARE(rec.shown[0].second, MessageIcon::Critical);
    QCOMPARE(rec.shown[1], std::make_pair(std::string("Merge Failed!"), MessageIcon::Critical));
    // Horizontal, chosen in the box: "Merge Failed!" alone.
    rec.shown.clear();
    w->Combo1->setCurrentIndex(1);
    w->Merge_Click();
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0], std::make_pair(std::string("Merge Failed!"), MessageIcon::Critical));
    QCOMPARE(w->ProgressBar1->value(), 0);
    QCOMPARE(Application::AliveCount(), 0);
  }

  void mergeFromTheMergeList() {
    const fs::path book = dir->path() / "book.xlsx";
    test::WriteWorkbook(book, {{"First", Block(1, 2, 2)}, {"Second", Block(1, 1, 3)}});
    const std::string fingerprint = test::ReadAll(book);
    Keeper keeper;
    Application::SetPresenter(&keeper);
    auto w = makeForm();
    w->lists.merges.Add({book.string(), "First", 0, true});
    w->lists.merges.Add({book.string(), "Second", 0, false});
    w->lists.merges.Add({book.string(), "Second", 0, true});
    w->Text1->setText(QStringLiteral("1"));
    QTest::mouseClick(w->Command18, Qt::LeftButton);
    Application::SetPresenter(nullptr);
    QCOMPARE(rec.shown.size(), size_t(0));
    QVERIFY(keeper.shown);
    QCOMPARE(w->ProgressBar1->value(), 0);
    QCOMPARE(w->ProgressBar1->maximum(), 3);
    QCOMPARE(w->Text1->text(), QStringLiteral("1"));

    const fs::path out = dir->path() / "merged.xlsx";
    keeper.shown->Workbooks().Item(1).SaveAs(out.string());
    keeper.shown->Quit();
    keeper.shown.reset();
    int status = 0;
    const std::string text = test::Run(std::string(test::Python()) + " " +
                                           test::ShellQuote((test::Scripts() / "cells.py").string()) + " " +
                                           test::ShellQuote(out.string()),
                                       status);
    QVERIFY2(status == 0, text.c_str());
    // "First" in rows 1-2, one empty row, then "Second" in row 4.
    QCOMPARE(text, std::string("A1\t101\nB1\t102\nA2\t201\nB2\t202\nA4\t101\nB4\t102\nC4\t103\n"));
    QCOMPARE(test::ReadAll(book), fingerprint);
    QCOMPARE(Application::AliveCount(), 0);
  }

  void removeAllAndRemoveAllListItems() {
    auto fill = [](Form1& w) {
      w.lists.sources.Add({"/s", "", kIconFolder, false});
      w.lists.workbooks.Add({"w.xlsx", "", 0, true});
      w.lists.sheets.Add({"Sheet1", "", 0, true});
      w.lists.merges.Add({"/s/w.xlsx", "Sheet1", 0, true});
      w.lists.merges.Add({"/s/w.xlsx", "Sheet1", 0, true});
    };
    auto w = makeForm();
    w->show();
    fill(*w);
    w->RemoveAll->trigger();
    QCOMPARE(w->lists.sources.Count(), 0);
    QCOMPARE(w->lists.workbooks.Count(), 0);
    QCOMPARE(w->lists.sheets.Count(), 0);
    QCOMPARE(w->lists.merges.Count(), 2);
    QTest::qWait(0);
    QCOMPARE(w->ListView1->topLevelItemCount(), 0);
    QCOMPARE(w->ListView4->topLevelItemCount(), 2);

    fill(*w);
    QTest::mouseClick(w->Command17, Qt::LeftButton);
    QCOMPARE(w->lists.merges.Count(), 0);
    QCOMPARE(w->lists.sources.Count(), 1);
    QCOMPARE(w->lists.workbooks.Count(), 1);
    QCOMPARE(w->lists.sheets.Count(), 1);
    QTest::qWait(0);
    QCOMPARE(w->ListView4->topLevelItemCount(), 0);
    QCOMPARE(w->ListView3->topLevelItemCount(), 1);
  }

  void helpAndHomePage() {
    auto w = makeForm();
    w->show();
    // Neither a help file nor a manual: nothing opens and nothing is said.
    QTest::mouseClick(w->Command12, Qt::LeftButton);
    w->Help->trigger();
    QCOMPARE(urls.opened.size(), 0);
    QVERIFY(rec.shown.empty());
    // The manual beside the program (a build folder, a portable copy).
    fs::create_directory(file("manual"));
    WriteBytes(file("manual") / "manual.html", "<html><head><title>Manual</title></head><body>the manual</body></html>");
    QTest::mouseClick(w->Command12, Qt::LeftButton);
    w->Help->trigger();
    const QUrl manual = QUrl::fromLocalFile(folder() + "/manual/manual.html");
    QCOMPARE(urls.opened, (QList<QUrl>{manual, manual}));
    // help.chm beside the program comes first.
    urls.opened.clear();
    WriteBytes(file("help.chm"), "help");
    QTest::mouseClick(w->Command12, Qt::LeftButton);
    w->Help->trigger();
    const QUrl help = QUrl::fromLocalFile(folder() + "/help.chm");
    QCOMPARE(urls.opened, (QList<QUrl>{help, help}));

    urls.opened.clear();
    QTest::mouseClick(w->Command13, Qt::LeftButton);
    w->HomePage->trigger();
    const QUrl home(QStringLiteral("https://corvane.example/"));
    QCOMPARE(urls.opened, (QList<QUrl>{home, home}));
    QCOMPARE(QString::fromLatin1(kHomePage), home.toString());
    QVERIFY(rec.shown.empty());
  }

  void helpFindsTheInstalledManualAndShowsItWithoutABrowser() {
    // Installed: the manual of the prefix, found from the program's bin folder.
    const fs::path bin = dir->path() / "usr" / "bin";
    const fs::path shared = dir->path() / "usr" / "share" / "corvane" / "manual";
    fs::create_directories(bin);
    fs::create_directories(shared);
    QCOMPARE(ManualPath(Q(bin)), QString());
    WriteBytes(shared / "manual.html", "<html><head><title>Installed</title></head><body>installed manual</body></html>");
    QCOMPARE(ManualPath(Q(bin)), Q(shared / "manual.html"));

    // When no browser takes it, a help window of the program's own shows it; Help again
    // brings the same window back.
    Form1 w(Q(bin), &rec);
    QList<QUrl> asked;
    w.SetUrlOpener([&asked](const QUrl& url) {
      asked << url;
      return false;
    });
    w.Command12_Click();
    QCOMPARE(asked, QList<QUrl>{QUrl::fromLocalFile(Q(shared / "manual.html"))});
    auto* help = w.findChild<HelpWindow*>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->browser()->documentTitle(), QStringLiteral("Installed"));
    w.Help->trigger();
    QCOMPARE(w.findChildren<HelpWindow*>().size(), 1);
    QVERIFY(rec.shown.empty());
  }

  void theShippedManualTellsOfEveryControl() {
    // The build puts the manual beside the programs, as an installation puts it in the prefix.
    const QString path = ManualPath(QCoreApplication::applicationDirPath());
    QVERIFY2(!path.isEmpty(), "no manual/manual.html beside the test program");
    HelpWindow help(path);
    QCOMPARE(help.browser()->documentTitle(), QStringLiteral("Corvane user manual"));
    const QString text = help.browser()->toPlainText();
    auto w = makeForm();
    QStringList captions;
    for (QPushButton* b : w->findChildren<QPushButton*>())
      if (!b->text().isEmpty()) captions << b->text();
    for (QAction* a : w->menuBar()->actions()) {
      captions << a->text();
      if (a->menu())
        for (QAction* entry : a->menu()->actions()) captions << entry->text();
    }
    captions << w->Combo1->itemText(0) << w->Combo1->itemText(1) << QStringLiteral("corvane-merge")
             << QStringLiteral("EXCEL.txt") << QStringLiteral("set.txt") << QStringLiteral("options.txt")
             << QStringLiteral(".config/corvane") << QStringLiteral("help.chm");
    QCOMPARE(captions.size(), 32);  // 10 buttons, 5 menus with 9 entries, 2 modes, 6 names
    Dialog3 options(dir->path().string(), rec);
    for (QCheckBox* c : options.findChildren<QCheckBox*>()) captions << c->text();
    for (const QString& c : captions) QVERIFY2(text.contains(c), qPrintable(c));
    // Its pictures lie beside it.
    for (const char* picture : {"main-window.png", "workbook-window.png", "dialog3.png"})
      QVERIFY(QFileInfo::exists(QFileInfo(path).path() + u'/' + QLatin1String(picture)));
  }

  void text1LostFocusChangesNothing() {
    auto w = makeForm();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->activateWindow();
    w->Text1->setFocus();
    w->Text1->setText(QStringLiteral("-7"));
    w->Combo1->setFocus();
    w->Text1_LostFocus();
    QCOMPARE(w->Text1->text(), QStringLiteral("-7"));
    QCOMPARE(w->gapCount, 0);
    QVERIFY(rec.shown.empty());
  }

  // ---------------------------------------------------------------------------------------
  // The list views follow their models and report the user's choices

  void listViewsFollowTheirModels() {
    auto w = makeForm();
    QRandomGenerator rnd(12345);
    const char* names[] = {"a", "b", "c", "Sheet1", ""};
    for (ListView* view : {w->ListView1, w->ListView4}) {
      ListModel& m = view->model();
      for (int step = 0; step < 3000; ++step) {
        const int n = m.Count();
        const int op = rnd.bounded(10);
        ListEntry e{names[rnd.bounded(5)], names[rnd.bounded(5)], 1 + rnd.bounded(3), rnd.bounded(2) == 1};
        if (op < 3 || n == 0) {
          m.Add(e);
        } else if (op < 5) {
          m.Add(1 + rnd.bounded(n + 1), e);
        } else if (op < 7) {
          m.Remove(1 + rnd.bounded(n));
        } else if (op == 7) {
          m.Select(1 + rnd.bounded(n));
        } else if (op == 8) {
          m.SetChecked(1 + rnd.bounded(n), rnd.bounded(2) == 1);
        } else {
          m.Item(1 + rnd.bounded(n)).text = names[rnd.bounded(5)];
          m.Refresh();
          if (rnd.bounded(40) == 0) m.Clear();
        }
        if (rnd.bounded(7) != 0) continue;
        view->SyncNow();
        QCOMPARE(view->topLevelItemCount(), m.Count());
        for (int i = 1; i <= m.Count(); ++i) {
          QTreeWidgetItem* item = view->topLevelItem(i - 1);
          const ListEntry& x = m.Item(i);
          QCOMPARE(item->text(0), QString::fromStdString(x.text));
          if (view == w->ListView4) {
            QCOMPARE(item->text(1), QString::fromStdString(x.subText));
            QCOMPARE(item->checkState(0), x.checked ? Qt::Checked : Qt::Unchecked);
          } else {
            QCOMPARE(item->icon(0).pixmap(16, 16).toImage(), w->ImageList1[size_t(x.icon - 1)].pixmap(16, 16).toImage());
          }
        }
        QTreeWidgetItem* current = m.SelectedIndex() ? view->topLevelItem(m.SelectedIndex() - 1) : nullptr;
        QCOMPARE(view->currentItem(), current);
        QCOMPARE(view->selectedItems().size(), current ? 1 : 0);
      }
    }
  }

  void clicksAndTicksReachTheModel() {
    auto w = makeForm();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    for (const char* name : {"one.xlsx", "two.xlsx", "three.xlsx"}) w->lists.workbooks.Add({name, "", 0, true});
    for (const char* name : {"/a", "/b"}) w->lists.sources.Add({name, "", kIconFolder, false});
    w->SyncLists();
    // Only the views' own signals are under test here, not the commands they start.
    for (ListView* view : {w->ListView1, w->ListView2, w->ListView3, w->ListView4}) view->disconnect(w.get());
    QSignalSpy sourceClicks(w->ListView1, &ListView::ItemClick);
    QSignalSpy bookClicks(w->ListView2, &ListView::ItemClick);

    // A click on an entry's text selects it and reports it.
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, w->ListView1->visualItemRect(w->ListView1->topLevelItem(1)).center());
    QCOMPARE(w->lists.sources.SelectedIndex(), 2);
    QCOMPARE(sourceClicks.count(), 1);
    // Pressing on an entry and letting go over another chooses the first, reported once.
    const QPoint first = w->ListView1->visualItemRect(w->ListView1->topLevelItem(0)).center();
    const QPoint second = w->ListView1->visualItemRect(w->ListView1->topLevelItem(1)).center();
    QTest::mousePress(w->ListView1->viewport(), Qt::LeftButton, {}, first);
    QMouseEvent drag(QEvent::MouseMove, second, w->ListView1->viewport()->mapToGlobal(second), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->ListView1->viewport(), &drag);
    QTest::mouseRelease(w->ListView1->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(w->lists.sources.SelectedIndex(), 1);
    QCOMPARE(w->ListView1->currentItem(), w->ListView1->topLevelItem(0));
    QCOMPARE(sourceClicks.count(), 2);
    // Clicking the chosen entry again reports it again.
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(sourceClicks.count(), 3);

    // A click on a check box ticks the entry and leaves the selection alone.
    ListView* books = w->ListView2;
    const QRect row = books->visualItemRect(books->topLevelItem(2));
    QStyleOptionViewItem opt;
    opt.initFrom(books);
    opt.rect = row;
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QPoint box = books->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, books).center();
    QVERIFY(row.contains(box));
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(w->lists.workbooks.Item(3).checked, false);
    QCOMPARE(w->lists.workbooks.SelectedIndex(), 1);
    QCOMPARE(bookClicks.count(), 0);
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(w->lists.workbooks.Item(3).checked, true);

    // The keyboard moves the selection, reports it, and the space bar ticks.
    books->setFocus();
    QTest::keyClick(books, Qt::Key_Down);
    QCOMPARE(w->lists.workbooks.SelectedIndex(), 2);
    QCOMPARE(bookClicks.count(), 1);
    QTest::keyClick(books, Qt::Key_Space);
    QCOMPARE(w->lists.workbooks.Item(2).checked, false);

    // A click on empty space keeps the selection.
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {}, QPoint(20, books->viewport()->height() - 5));
    QCOMPARE(w->lists.workbooks.SelectedIndex(), 2);
    QCOMPARE(books->currentItem(), books->topLevelItem(1));

    // Double clicks in the sheet and merge lists.
    w->lists.sheets.Add({"Sheet1", "", 0, true});
    w->SyncLists();
    QSignalSpy sheetDouble(w->ListView3, &ListView::DblClick);
    QTest::mouseDClick(w->ListView3->viewport(), Qt::LeftButton, {}, w->ListView3->visualItemRect(w->ListView3->topLevelItem(0)).center());
    QCOMPARE(sheetDouble.count(), 1);
    QCOMPARE(w->lists.sheets.Item(1).checked, true);
  }

  // ---------------------------------------------------------------------------------------
  // Settings

  void settingsDialogLayout() {
    Dialog2 d(dir->path().string(), rec);
    QCOMPARE(d.windowTitle(), QStringLiteral("Setting"));
    QCOMPARE(d.geometry(), PxRect(2760, 3750, 3630, 1380));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QCOMPARE(d.Check1->text(), QStringLiteral("Automatically save the current list ."));
    QCOMPARE(d.Check1->geometry(), PxRect(360, 360, 3010, 370));
    QCOMPARE(d.OKButton->text(), QStringLiteral("OK"));
    QCOMPARE(d.OKButton->geometry(), PxRect(480, 840, 1215, 375));
    QCOMPARE(d.CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(d.CancelButton->geometry(), PxRect(2040, 840, 1215, 375));
    QCOMPARE(d.font().family(), QStringLiteral("Arial"));
    QCOMPARE(d.font().pointSizeF(), 8.25);
    QVERIFY(!d.Check1->isChecked());
  }

  void settingsDialogReadsAndWrites() {
    const std::string d = dir->path().string();
    struct Case {
      const char* setting;
      bool ticked;
    };
    for (const Case& c : {Case{"1\r\n", true}, Case{"0\r\n", false}, Case{"yes\r\n", false}, Case{"", false},
                          Case{"1", true}, Case{nullptr, false}}) {
      if (c.setting)
        WriteBytes(file("set.txt"), c.setting);
      else
        fs::remove(file("set.txt"));
      QCOMPARE(Dialog2(d, rec).Check1->isChecked(), c.ticked);
    }
    // OK writes "1" or "0" and CR LF; Cancel leaves the file as it was.
    WriteBytes(file("set.txt"), "yes\r\n");
    {
      Dialog2 dlg(d, rec);
      dlg.Check1->setChecked(true);
      QTest::mouseClick(dlg.CancelButton, Qt::LeftButton);
      QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    QCOMPARE(test::ReadAll(file("set.txt")), std::string("yes\r\n"));
    {
      Dialog2 dlg(d, rec);
      dlg.Check1->setChecked(true);
      QTest::mouseClick(dlg.OKButton, Qt::LeftButton);
    }
    QCOMPARE(test::ReadAll(file("set.txt")), std::string("1\r\n"));
    {
      Dialog2 dlg(d, rec);
      QVERIFY(dlg.Check1->isChecked());
      dlg.Check1->setChecked(false);
      QTest::mouseClick(dlg.OKButton, Qt::LeftButton);
    }
    QCOMPARE(test::ReadAll(file("set.txt")), std::string("0\r\n"));
    QVERIFY(rec.shown.empty());

    // No missing file made by Cancel.
    fs::remove(file("set.txt"));
    {
      Dialog2 dlg(d, rec);
      dlg.CancelButton_Click();
    }
    QVERIFY(!fs::exists(file("set.txt")));

    // A setting that cannot be written is reported.
    fs::create_directory(file("set.txt"));
    {
      Dialog2 dlg(d, rec);
      dlg.OKButton_Click();
    }
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0].second, MessageIcon::Critical);
  }

  void settingsFromTheMenuBarIsModal() {
    WriteBytes(file("set.txt"), "0\r\n");
    auto w = makeForm();
    w->show();
    QString title;
    bool wasChecked = true;
    WhenModal([&](QWidget* modal) {
      auto* d = qobject_cast<Dialog2*>(modal);
      QVERIFY(d);
      title = d->windowTitle();
      wasChecked = d->Check1->isChecked();
      d->Check1->setChecked(true);
      QTest::mouseClick(d->OKButton, Qt::LeftButton);
    });
    w->Settings->trigger();
    // The handler returned only once the dialog was closed.
    QCOMPARE(title, QStringLiteral("Setting"));
    QVERIFY(!wasChecked);
    QCOMPARE(test::ReadAll(file("set.txt")), std::string("1\r\n"));
    QVERIFY(!QApplication::activeModalWidget());
    // The change applies to the next closing.
    w->lists.sources.Add({"/z", "", kIconNothing, false});
    w->close();
    QCOMPARE(test::ReadAll(file("EXCEL.txt")), std::string("/z\r\n"));
  }

  // ---------------------------------------------------------------------------------------
  // About

  void aboutBoxLayoutAndTexts() {
    Dialog1 d;
    QCOMPARE(d.windowTitle(), QStringLiteral("About us"));
    QCOMPARE(d.geometry(), PxRect(2760, 3750, 4905, 3945));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(!(d.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
    struct Row {
      QLabel* label;
      QWidget* parent;
      QString text;
      QRect where;
    };
    const Row rows[] = {
        {d.Label1, &d, "Corvane", PxRect(840, 120, 2055, 255)},
        {d.Label4, &d, "Version:29.11.15", PxRect(840, 360, 1455, 255)},
        {d.Label3, d.Frame1, "Technical Support:", PxRect(120, 240, 1690, 250)},
        {d.Label2, d.Frame1, "support@corvane.example", PxRect(1800, 240, 2290, 250)},
        {d.Label7, d.Frame1, "Website:", PxRect(120, 480, 850, 250)},
        {d.Label8, d.Frame1, "corvane.example/", PxRect(1800, 480, 1930, 250)},
        {d.Label6, d.Frame1, QString(), PxRect(120, 720, 3135, 255)},
        {d.Label5, &d, QString(), PxRect(120, 2040, 4695, 1095)},
    };
    for (const Row& r : rows) {
      QCOMPARE(r.label->parentWidget(), r.parent);
      QCOMPARE(r.label->geometry(), r.where);
      if (!r.text.isNull()) QCOMPARE(r.label->text(), r.text);
      QCOMPARE(r.label->focusPolicy(), Qt::NoFocus);
      QCOMPARE(r.label->font().family(), QStringLiteral("Arial"));
      QCOMPARE(r.label->font().pointSizeF(), 8.25);
      // Every text is readable whole in its place.
      const QRect needed =
          QFontMetrics(r.label->font()).boundingRect(QRect(0, 0, r.where.width(), 10000), Qt::TextWordWrap, r.label->text());
      QVERIFY2(needed.width() <= r.where.width() && needed.height() <= r.where.height(), qPrintable(r.label->text()));
    }
    QCOMPARE(d.Label2->text(), QString::fromLatin1(kSupportAddress));
    QVERIFY(d.Label6->text().contains("2026") && d.Label6->text().contains("Corvane"));
    QCOMPARE(QFontMetrics(d.Label6->font()).boundingRect(d.Label6->text()).height() <= d.Label6->height(), true);
    QVERIFY(QFontMetrics(d.Label6->font()).horizontalAdvance(d.Label6->text()) <= d.Label6->width());
    QVERIFY(d.Label5->text().contains("copyright"));
    QVERIFY(d.Label5->wordWrap());
    QCOMPARE(d.Frame1->geometry(), PxRect(120, 720, 4450, 1090));
    QVERIFY(d.Frame1->title().isEmpty());
    QCOMPARE(d.OKButton->text(), QStringLiteral("OK"));
    QCOMPARE(d.OKButton->geometry(), PxRect(120, 3360, 1215, 375));
    QCOMPARE(d.Picture->pos(), QPoint(8, 8));
    QCOMPARE(d.Picture->pixmap().toImage(), ProgramIcon().pixmap(32, 32).toImage());
    // Only the OK button takes the focus.
    int focusable = 0;
    for (QWidget* c : d.findChildren<QWidget*>()) focusable += (c->focusPolicy() & Qt::TabFocus) != 0;
    QCOMPARE(focusable, 1);
    // The two links.
    for (LinkLabel* link : {d.Label2, d.Label8}) {
      QCOMPARE(link->palette().color(QPalette::WindowText), d.palette().color(QPalette::Highlight));
      QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QTest::mouseClick(d.Label8, Qt::LeftButton);
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    QCOMPARE(urls.opened, (QList<QUrl>{QUrl("mailto:support@corvane.example"), QUrl("https://corvane.example/")}));
  }

  void aboutFromTheHelpMenu() {
    auto w = makeForm();
    w->show();
    for (int time = 0; time < 2; ++time) {
      QString version;
      QWidget* parent = nullptr;
      WhenModal([&](QWidget* modal) {
        auto* d = qobject_cast<Dialog1*>(modal);
        QVERIFY(d);
        version = d->Label4->text();
        parent = d->parentWidget();
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
      });
      w->About->trigger();
      QCOMPARE(version, QStringLiteral("Version:29.11.15"));
      QCOMPARE(parent, w.get());
    }
    QVERIFY(w->findChildren<Dialog1*>().isEmpty());
  }

  // ---------------------------------------------------------------------------------------
  // The Qt side of the ports

  void messageBoxesAreTitledCorvane() {
    auto w = makeForm();
    w->show();
    w->SetMessages(nullptr);
    struct Seen {
      QString title, text;
      QMessageBox::Icon icon;
      QMessageBox::StandardButtons buttons;
    };
    std::vector<Seen> seen;
    for (MessageIcon icon : {MessageIcon::Information, MessageIcon::Critical}) {
      WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        box->button(QMessageBox::Ok)->click();
      });
      w->messages().Show("Merge Failed!", icon);
    }
    QCOMPARE(seen.size(), size_t(2));
    QCOMPARE(seen[0].title, QStringLiteral("Corvane"));
    QCOMPARE(seen[0].text, QStringLiteral("Merge Failed!"));
    QCOMPARE(seen[0].icon, QMessageBox::Information);
    QCOMPARE(seen[1].icon, QMessageBox::Critical);
    QCOMPARE(seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    w->SetMessages(&rec);
  }

  // "Open excel file failed!" comes while the sources are read under the hourglass: the box
  // shows the normal pointer, and the hourglass is gone once the handler ends.
  void messageBoxShowsTheNormalPointer() {
    auto w = makeForm();
    w->show();
    w->SetMessages(nullptr);
    WriteBytes(file("damaged.xlsx"), "not a workbook at all");
    w->lists.sources.Add({file("damaged.xlsx").string(), "", kIconWorkbook, false});
    w->lists.sources.Select(1);
    // Each box up: the pointer over it and its text; then OK.
    std::vector<std::pair<std::optional<Qt::CursorShape>, QString>> seen;
    int boxes = 0;
    std::function<void(QWidget*)> answer = [&](QWidget* modal) {
      const QCursor* c = QApplication::overrideCursor();
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box);
      seen.emplace_back(c ? std::optional(c->shape()) : std::nullopt, box->text());
      box->button(QMessageBox::Ok)->click();
      if (--boxes > 0) WhenModal(answer);
    };
    boxes = 2;  // the failure's own description, then "Open excel file failed!"
    WhenModal(answer);
    w->ListView1_ItemClick();
    QCOMPARE(seen.size(), size_t(2));
    QCOMPARE(seen[1].second, QStringLiteral("Open excel file failed!"));
    for (auto& [pointer, text] : seen) QCOMPARE(pointer, std::optional(Qt::ArrowCursor));
    QVERIFY(!QApplication::overrideCursor());

    // Outside a busy handler nothing is set; inside any stack of pointers the one on top
    // comes back, the stack as deep as before.
    QtMessages messages(w.get());
    boxes = 1;
    WhenModal(answer);
    messages.Show("File does not exist!", MessageIcon::Information);
    QCOMPARE(seen.back().first, std::nullopt);
    QVERIFY(!QApplication::overrideCursor());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(Qt::IBeamCursor);
    boxes = 1;
    WhenModal(answer);
    messages.Show("File does not exist!", MessageIcon::Information);
    QCOMPARE(seen.back().first, std::optional(Qt::ArrowCursor));
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::IBeamCursor);
    QApplication::restoreOverrideCursor();
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());
    w->SetMessages(&rec);
  }

  void progressAndBusyPointer() {
    QProgressBar bar;
    bar.setRange(0, 100);
    bar.setValue(50);
    QtProgress progress(&bar);
    progress.SetMaximum(3);
    QCOMPARE(bar.maximum(), 3);
    QVERIFY(bar.value() >= 0 && bar.value() <= 3);
    progress.SetValue(2);
    QCOMPARE(bar.value(), 2);

    QtBusyPointer busy;
    busy.SetBusy(true);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    busy.SetBusy(true);
    busy.SetBusy(false);
    QVERIFY(!QApplication::overrideCursor());
    busy.SetBusy(false);
    QVERIFY(!QApplication::overrideCursor());
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
