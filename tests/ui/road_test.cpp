// The main window driven the whole way a user goes: a folder picked in the real folder
// dialog, workbooks and sheets clicked, sheets queued, unticked and moved, the merge run and
// its result read back by openpyxl; files dropped from a file manager; and every list
// command reached through its button, menu entry or double click.
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <deque>
#include <functional>
#include <optional>

#include "engine/automation/spreadsheet_automation.h"
#include "lists/list_commands.h"
#include "tests/engine/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form1.h"

using namespace corvane;
namespace fs = std::filesystem;

using test::Q;
using test::WhenModal;

namespace {

// Messages as they would be shown, with the pointer the user sees meanwhile.
struct Recorder : Messages {
  struct Shown {
    std::string text;
    MessageIcon icon;
    bool hourglass;
  };
  std::vector<Shown> shown;
  void Show(const std::string& text, MessageIcon icon) override {
    const QCursor* c = QApplication::overrideCursor();
    shown.push_back({text, icon, c && c->shape() == Qt::WaitCursor});
  }
};

// Answers the window's questions for files and folders from a queue; nullopt is a cancel.
struct AnsweringPicker : SourcePicker {
  std::deque<std::optional<QString>> answers;
  QStringList asked;  // "file: title" or "folder: title"
  bool answer(const QString& kind, const QString& title, QString& path) {
    asked << kind + ": " + title;
    if (answers.empty()) return false;
    std::optional<QString> a = answers.front();
    answers.pop_front();
    if (!a) return false;
    path = *a;
    return true;
  }
  bool PickFile(QWidget*, const QString& title, QString& path) override { return answer("file", title, path); }
  bool PickFolder(QWidget*, const QString& title, QString& path) override { return answer("folder", title, path); }
};

// `rows` x `cols` numbers base + 10 r + c from A1.
std::string Block(int base, int rows, int cols) {
  std::string x = "<sheetData>";
  for (int r = 1; r <= rows; ++r) {
    x += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 1; c <= cols; ++c)
      x += "<c r=\"" + std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r) + "\"><v>" +
           std::to_string(base + 10 * r + c) + "</v></c>";
    x += "</row>";
  }
  return x + "</sheetData>";
}

QStringList Texts(const ListModel& l) {
  QStringList out;
  for (int i = 1; i <= l.Count(); ++i) out << QString::fromStdString(l.Item(i).text);
  return out;
}

QStringList Pairs(const ListModel& l) {
  QStringList out;
  for (int i = 1; i <= l.Count(); ++i)
    out << QString::fromStdString(fs::path(l.Item(i).text).filename().string() + "!" + l.Item(i).subText) +
               (l.Item(i).checked ? "" : " (unticked)");
  return out;
}

QPoint RowCentre(ListView* v, int row) { return v->visualItemRect(v->topLevelItem(row - 1)).center(); }

void ClickRow(Form1& w, ListView* v, int row) {
  w.SyncLists();
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, RowCentre(v, row));
}

// QTest sends a double click as the second click alone; the first comes before it, as from a mouse.
void DoubleClickAt(ListView* v, QPoint at) {
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
}

void DoubleClickRow(Form1& w, ListView* v, int row) {
  w.SyncLists();
  DoubleClickAt(v, RowCentre(v, row));
}

void ClickCheckBox(Form1& w, ListView* v, int row) {
  w.SyncLists();
  QStyleOptionViewItem opt;
  opt.initFrom(v);
  opt.rect = v->visualItemRect(v->topLevelItem(row - 1));
  opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  const QPoint box = v->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, v).center();
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, box);
}

}  // namespace

class RoadTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempDir> dir;
  Recorder rec;

  std::unique_ptr<Form1> openWindow() {
    auto w = std::make_unique<Form1>(Q(dir->path() / "app"), &rec);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) return nullptr;
    return w;
  }

 private slots:
  void init() {
    dir = std::make_unique<test::TempDir>();
    fs::create_directory(dir->path() / "app");
    rec.shown.clear();
  }
  void cleanup() {
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(Application::AliveCount(), 0);
    dir.reset();
  }

  // Add Folder, click a workbook, queue sheets with the arrow, a double click and "Add All
  // Sheets", untick one, move one up, merge, and read the merged workbook back.
  void wholeRoad() {
    const fs::path books = dir->path() / "books";
    fs::create_directory(books);
    test::WriteWorkbook(books / "a.xlsx", {{"First", Block(100, 2, 2)}, {"Second", Block(200, 1, 3)}});
    test::WriteWorkbook(books / "b.xlsx", {{"Alpha", Block(300, 1, 1)}, {"Beta", Block(400, 3, 1)}});
    std::ofstream(books / "notes.txt") << "not a workbook";
    const std::string fingerprintA = test::ReadAll(books / "a.xlsx"), fingerprintB = test::ReadAll(books / "b.xlsx");
    auto w = openWindow();
    QVERIFY(w);

    // The folder is chosen in the real folder dialog.
    QString dialogTitle;
    WhenModal([&](QWidget* modal) {
      auto* d = qobject_cast<QFileDialog*>(modal);
      if (!d) {
        modal->close();
        return;
      }
      dialogTitle = d->windowTitle();
      d->setDirectory(Q(books));
      static_cast<QDialog*>(d)->accept();  // as the Choose button does
    });
    QTest::mouseClick(w->Command6, Qt::LeftButton);
    QCOMPARE(dialogTitle, QStringLiteral("Add all excel files in folder"));
    QCOMPARE(Texts(w->lists.sources), QStringList{Q(books)});
    QCOMPARE(w->lists.sources.Item(1).icon, kIconFolder);
    QCOMPARE(w->lists.sources.SelectedIndex(), 1);
    QCOMPARE(Texts(w->lists.workbooks), (QStringList{"a.xlsx", "b.xlsx"}));
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"First", "Second"}));
    QVERIFY(!QApplication::overrideCursor());
    w->SyncLists();
    QCOMPARE(w->ListView1->topLevelItem(0)->text(0), Q(books));
    QCOMPARE(w->ListView2->currentItem(), w->ListView2->topLevelItem(0));

    // The second workbook, then one sheet by the arrow and one by a double click.
    ClickRow(*w, w->ListView2, 2);
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"Alpha", "Beta"}));
    ClickRow(*w, w->ListView3, 2);
    QTest::mouseClick(w->Command10, Qt::LeftButton);
    DoubleClickRow(*w, w->ListView3, 1);
    QCOMPARE(Pairs(w->lists.merges), (QStringList{"b.xlsx!Beta", "b.xlsx!Alpha"}));
    QCOMPARE(w->lists.merges.Item(1).text, (books / "b.xlsx").string());

    // Back to the first workbook, all of its sheets at once.
    ClickRow(*w, w->ListView2, 1);
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"First", "Second"}));
    QTest::mouseClick(w->Command16, Qt::LeftButton);
    QCOMPARE(Pairs(w->lists.merges), (QStringList{"b.xlsx!Beta", "b.xlsx!Alpha", "a.xlsx!First", "a.xlsx!Second"}));

    // Alpha is left out; Second moves up two places.
    ClickCheckBox(*w, w->ListView4, 2);
    ClickRow(*w, w->ListView4, 4);
    QTest::mouseClick(w->Command14, Qt::LeftButton);
    QTest::mouseClick(w->Command14, Qt::LeftButton);
    QCOMPARE(Pairs(w->lists.merges),
             (QStringList{"b.xlsx!Beta", "a.xlsx!Second", "b.xlsx!Alpha (unticked)", "a.xlsx!First"}));
    QCOMPARE(w->lists.merges.SelectedIndex(), 2);
    w->SyncLists();
    QCOMPARE(w->ListView4->topLevelItem(1)->text(1), QStringLiteral("Second"));
    QCOMPARE(w->ListView4->topLevelItem(2)->checkState(0), Qt::Unchecked);
    QCOMPARE(w->ListView4->currentItem(), w->ListView4->topLevelItem(1));
    QVERIFY(rec.shown.empty());

    // Merge, one empty row between the blocks.
    test::ShownKeeper keeper;
    Application::SetPresenter(&keeper);
    w->Text1->setText(QStringLiteral("1"));
    QTest::mouseClick(w->Command18, Qt::LeftButton);
    Application::SetPresenter(nullptr);
    QVERIFY(rec.shown.empty());
    QVERIFY(keeper.shown);
    int status = 0;
    const std::string text = keeper.savedCells(dir->path() / "merged.xlsx", status);
    QVERIFY2(status == 0, text.c_str());
    // Beta in rows 1-3, Second in row 5, First in rows 7-8; Alpha nowhere.
    QCOMPARE(text, std::string("A1\t411\nA2\t421\nA3\t431\n"
                               "A5\t211\nB5\t212\nC5\t213\n"
                               "A7\t111\nB7\t112\nA8\t121\nB8\t122\n"));
    QCOMPARE(test::ReadAll(books / "a.xlsx"), fingerprintA);
    QCOMPARE(test::ReadAll(books / "b.xlsx"), fingerprintB);
    // The merge leaves the lists as they were.
    QCOMPARE(w->lists.merges.Count(), 4);
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"First", "Second"}));
  }

  // Files and folders dragged from a file manager onto the source list.
  void dropOnTheSourceList() {
    const fs::path folder = dir->path() / "dropped folder";
    fs::create_directory(folder);
    test::WriteWorkbook(folder / "in.xlsx", {{"Inner", Block(0, 1, 1)}});
    const fs::path solo = dir->path() / "Solo.XLSX";
    test::WriteWorkbook(solo, {{"One", Block(0, 1, 1)}, {"Two", Block(0, 1, 1)}});
    const fs::path notes = dir->path() / "notes.txt";
    std::ofstream(notes) << "x";
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(w->ListView1->viewport()->acceptDrops());
    QVERIFY(!w->ListView2->viewport()->acceptDrops());
    QWidget* target = w->ListView1->viewport();
    const QPoint at = target->rect().center();

    // Something that is no local file is refused at the door.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://corvane.example/book.xlsx"))});
    QDragEnterEvent enterWeb(at, Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enterWeb);
    QVERIFY(!enterWeb.isAccepted());

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(Q(notes)), QUrl::fromLocalFile(Q(folder)), QUrl(QStringLiteral("https://x.example/")),
                   QUrl::fromLocalFile(Q(solo))});
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    // Offered a move, the list still takes a copy, so the file manager keeps the files.
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);

    QTRY_COMPARE(w->lists.sources.Count(), 2);
    QCOMPARE(Texts(w->lists.sources), (QStringList{Q(folder), Q(solo)}));
    QCOMPARE(w->lists.sources.Item(1).icon, kIconFolder);
    QCOMPARE(w->lists.sources.Item(2).icon, kIconWorkbook);
    QCOMPARE(w->lists.sources.SelectedIndex(), 2);
    QCOMPARE(Texts(w->lists.workbooks), QStringList{"Solo.XLSX"});
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"One", "Two"}));
    w->SyncLists();
    QCOMPARE(w->ListView1->topLevelItem(0)->icon(0).pixmap(16, 16).toImage(), w->ImageList1[1].pixmap(16, 16).toImage());
    QCOMPARE(w->ListView1->topLevelItem(1)->icon(0).pixmap(16, 16).toImage(), w->ImageList1[0].pixmap(16, 16).toImage());
    QVERIFY(rec.shown.empty());
    QVERIFY(fs::exists(solo) && fs::exists(folder / "in.xlsx"));

    // The dropped folder works as one added with "Add Folder".
    ClickRow(*w, w->ListView1, 1);
    QCOMPARE(Texts(w->lists.workbooks), QStringList{"in.xlsx"});
    QCOMPARE(Texts(w->lists.sheets), QStringList{"Inner"});
  }

  // Every list command through its button, menu entry or double click, with the pickers answered.
  void commandsThroughButtonsMenusAndClicks() {
    const fs::path one = dir->path() / "one.xlsx";
    test::WriteWorkbook(one, {{"S1", Block(0, 1, 1)}, {"S2", Block(0, 1, 1)}});
    const fs::path damaged = dir->path() / "damaged.xlsx";
    fs::copy_file(test::Corpus() / "broken/poi_fuzz_bad_crc.xlsx", damaged);
    auto w = openWindow();
    QVERIFY(w);
    AnsweringPicker picker;
    w->SetSourcePicker(&picker);

    // Cancelled pickers, and a folder choice without a path, change nothing.
    picker.answers = {std::nullopt, std::nullopt, QString()};
    w->Addexcel->trigger();
    w->AddFolder->trigger();
    QTest::mouseClick(w->Command6, Qt::LeftButton);
    QCOMPARE(picker.asked, (QStringList{"file: Select Excel File", "folder: Add all excel files in folder",
                                        "folder: Add all excel files in folder"}));
    QCOMPARE(w->lists.sources.Count(), 0);

    // A workbook, then a damaged one: its two messages come under the hourglass.
    picker.answers = {Q(one), Q(damaged)};
    QTest::mouseClick(w->Command8, Qt::LeftButton);
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"S1", "S2"}));
    w->Addexcel->trigger();
    QCOMPARE(Texts(w->lists.sources), (QStringList{Q(one), Q(damaged)}));
    QCOMPARE(w->lists.sources.Item(2).icon, kIconWorkbook);
    QCOMPARE(w->lists.sources.SelectedIndex(), 2);
    QCOMPARE(Texts(w->lists.workbooks), QStringList{"damaged.xlsx"});
    QCOMPARE(w->lists.sheets.Count(), 0);
    QCOMPARE(rec.shown.size(), size_t(2));
    QVERIFY(rec.shown[0].text.find("damaged.xlsx") != std::string::npos);
    QCOMPARE(rec.shown[1].text, std::string(kOpenExcelFileFailed));
    for (const auto& m : rec.shown) {
      QCOMPARE(m.icon, MessageIcon::Critical);
      QVERIFY(m.hourglass);
    }
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(Application::AliveCount(), 0);
    rec.shown.clear();

    // Source moves keep the lower lists; removal refills them for the entry above.
    QTest::mouseClick(w->Command5, Qt::LeftButton);
    QCOMPARE(Texts(w->lists.sources), (QStringList{Q(damaged), Q(one)}));
    QCOMPARE(w->lists.sources.SelectedIndex(), 1);
    QCOMPARE(Texts(w->lists.workbooks), QStringList{"damaged.xlsx"});
    QTest::mouseClick(w->Command4, Qt::LeftButton);
    QCOMPARE(w->lists.sources.SelectedIndex(), 2);
    w->RemoveItem->trigger();
    QCOMPARE(Texts(w->lists.sources), QStringList{Q(one)});
    QCOMPARE(Texts(w->lists.sheets), (QStringList{"S1", "S2"}));

    // The bulk additions and the merge list's own buttons.
    QTest::mouseClick(w->Command20, Qt::LeftButton);
    QTest::mouseClick(w->Command16, Qt::LeftButton);
    QCOMPARE(Pairs(w->lists.merges), (QStringList{"one.xlsx!S1", "one.xlsx!S2", "one.xlsx!S1", "one.xlsx!S2"}));
    ClickRow(*w, w->ListView4, 4);
    QTest::mouseClick(w->Command15, Qt::LeftButton);  // already last
    QCOMPARE(w->lists.merges.SelectedIndex(), 4);
    QTest::mouseClick(w->Command14, Qt::LeftButton);
    QCOMPARE(w->lists.merges.SelectedIndex(), 3);
    // A double click below the last entry removes the selected one.
    w->SyncLists();
    DoubleClickAt(w->ListView4, QPoint(40, w->ListView4->viewport()->height() - 5));
    QCOMPARE(Pairs(w->lists.merges), (QStringList{"one.xlsx!S1", "one.xlsx!S2", "one.xlsx!S1"}));
    QCOMPARE(w->lists.merges.SelectedIndex(), 2);
    QTest::mouseClick(w->Command11, Qt::LeftButton);
    QCOMPARE(Pairs(w->lists.merges), (QStringList{"one.xlsx!S1", "one.xlsx!S1"}));
    QCOMPARE(w->lists.merges.SelectedIndex(), 1);
    QTest::mouseClick(w->Command17, Qt::LeftButton);
    QCOMPARE(w->lists.merges.Count(), 0);
    QCOMPARE(w->lists.sources.Count(), 1);

    // The sheet arrow with the workbook gone.
    fs::remove(one);
    QTest::mouseClick(w->Command10, Qt::LeftButton);
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0].text, std::string(kFileDoesNotExist));
    QCOMPARE(w->lists.merges.Count(), 0);

    // "Remove All List Items" leaves the merge list; the window's own picker is the file dialog.
    w->lists.merges.Add({"/kept.xlsx", "S", 0, true});
    w->RemoveAll->trigger();
    QCOMPARE(w->lists.sources.Count(), 0);
    QCOMPARE(w->lists.sheets.Count(), 0);
    QCOMPARE(w->lists.merges.Count(), 1);
    w->SetSourcePicker(nullptr);
    QString dialogTitle;
    WhenModal([&](QWidget* modal) {
      dialogTitle = modal->windowTitle();
      modal->close();
    });
    QTest::mouseClick(w->Command8, Qt::LeftButton);
    QCOMPARE(dialogTitle, QStringLiteral("Select Excel File"));
    QCOMPARE(w->lists.sources.Count(), 0);
  }
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
