// The Merge Options dialog: its controls, options.txt read and written byte for byte (locale
// free), OK and Cancel, the Actions menu entry that opens it modal, and the merge that uses
// what it kept.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "engine/automation/spreadsheet_automation.h"
#include "tests/engine/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog3.h"
#include "ui/form1.h"
#include "ui/stored_files.h"

using namespace corvane;
namespace fs = std::filesystem;

using Recorder = test::MessageRecorder;
using Keeper = test::ShownKeeper;
using test::WriteBytes;

class Dialog3Test : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempDir> dir;
  Recorder rec;
  std::string folder() const { return dir->path().string(); }
  fs::path file() const { return dir->path() / kMergeOptionsFile; }

 private slots:
  void init() {
    dir = std::make_unique<test::TempDir>();
    rec.shown.clear();
  }
  void cleanup() { dir.reset(); }

  void layoutAndDefaults() {
    Dialog3 d(folder(), rec);
    QCOMPARE(d.windowTitle(), QStringLiteral("Merge Options"));
    QCOMPARE(d.objectName(), QStringLiteral("Dialog3"));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QCOMPARE(d.font().family(), QStringLiteral("Arial"));
    // No options.txt: the defaults, sizes on and nothing else.
    QCOMPARE(d.Spin1->value(), 0);
    QVERIFY(!d.Check1->isChecked() && !d.Check2->isChecked() && !d.Check3->isChecked());
    QVERIFY(d.Check4->isChecked());
    QVERIFY(d.Options() == MergeOptions{});
    // Matching needs header rows; one sheet per entry leaves the other options aside.
    QVERIFY(!d.Check1->isEnabled());
    d.Spin1->setValue(2);
    QVERIFY(d.Check1->isEnabled());
    d.Check3->setChecked(true);
    QVERIFY(!d.Spin1->isEnabled() && !d.Check1->isEnabled() && !d.Check2->isEnabled());
    QVERIFY(d.Check4->isEnabled());
    // Every caption is readable whole where it stands.
    for (QAbstractButton* b : d.findChildren<QAbstractButton*>()) {
      int room = b->width() - (qobject_cast<QCheckBox*>(b) ? b->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4 : 0);
      QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) <= room, qPrintable(b->text()));
    }
    for (QLabel* l : {d.Label1, d.Label2}) {
      const QRect need = QFontMetrics(l->font()).boundingRect(QRect(0, 0, l->width(), 10000), Qt::TextWordWrap, l->text());
      QVERIFY2(need.height() <= l->height() && need.width() <= l->width(), qPrintable(l->text()));
    }
  }

  void readsTheFileWhateverItHolds() {
    struct Case {
      const char* bytes;
      MergeOptions expected;
    } cases[] = {
        {"header-rows=3\r\nmatch-headers=1\r\nsource-column=1\r\nsheet-per-entry=1\r\nwidths=0\r\n", {3, true, true, true, false}},
        {"widths=0\nheader-rows=2\n", {2, false, false, false, false}},  // any order, bare LF
        {"header-rows=1,5\r\nmatch-headers=yes\r\ncolour=blue\r\n=\r\n\r\n", {}},  // damaged values, unknown names
        {"header-rows=-1\r\nheader-rows=99999999999\r\nsource-column=1", {0, false, true, false, true}},
        {"", {}},
    };
    for (const Case& c : cases) {
      WriteBytes(file(), c.bytes);
      QVERIFY2(LoadMergeOptions(folder()) == c.expected, c.bytes);
      QVERIFY2(Dialog3(folder(), rec).Options() == c.expected, c.bytes);
    }
  }

  void okWritesAndCancelLeaves() {
    // Written the same under the user's language: the window runs under it.
    test::ScopedLocale german(test::kGermanLocale);
    {
      Dialog3 d(folder(), rec);
      d.Spin1->setValue(1234);
      d.Check1->setChecked(true);
      d.Check4->setChecked(false);
      QTest::mouseClick(d.CancelButton, Qt::LeftButton);
      QCOMPARE(d.result(), int(QDialog::Rejected));
    }
    QVERIFY(!fs::exists(file()));
    {
      Dialog3 d(folder(), rec);
      QCOMPARE(d.Spin1->text(), QStringLiteral("0"));
      d.Spin1->setValue(1234);
      QCOMPARE(d.Spin1->text(), QStringLiteral("1234"));  // no thousands separator in any language
      d.Check1->setChecked(true);
      d.Check4->setChecked(false);
      QTest::mouseClick(d.OKButton, Qt::LeftButton);
      QCOMPARE(d.result(), int(QDialog::Accepted));
    }
    const std::string written =
        "header-rows=1234\r\nmatch-headers=1\r\nsource-column=0\r\nsheet-per-entry=0\r\nwidths=0\r\n";
    QCOMPARE(test::ReadAll(file()), written);
    {
      Dialog3 d(folder(), rec);
      QCOMPARE(d.Spin1->value(), 1234);
      d.Check2->setChecked(true);
      d.CancelButton_Click();
    }
    QCOMPARE(test::ReadAll(file()), written);
    QVERIFY(rec.shown.empty());

    // Options that cannot be written are reported.
    fs::remove(file());
    fs::create_directory(file());
    Dialog3(folder(), rec).OKButton_Click();
    QCOMPARE(rec.shown.size(), size_t(1));
    QCOMPARE(rec.shown[0].second, MessageIcon::Critical);
  }

  // Actions > Merge Options... opens the dialog modal; what OK keeps, the next merge uses, and
  // the next start reads back.
  void theMenuEntryOpensItAndTheMergeUsesIt() {
    const fs::path a = dir->path() / "a.xlsx", b = dir->path() / "b.xlsx";
    auto sheet = [](const char* h1, const char* h2, int v) {
      return std::string("<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>") + h1 +
             "</t></is></c><c r=\"B1\" t=\"inlineStr\"><is><t>" + h2 + "</t></is></c></row><row r=\"2\"><c r=\"A2\"><v>" +
             std::to_string(v) + "</v></c><c r=\"B2\"><v>" + std::to_string(v + 1) + "</v></c></row></sheetData>";
    };
    test::WriteWorkbook(a, {{"S", sheet("Id", "Qty", 1)}});
    test::WriteWorkbook(b, {{"S", sheet("Qty", "Id", 10)}});
    auto w = std::make_unique<Form1>(QString::fromStdString(folder()), &rec);
    QVERIFY(w->mergeOptions == MergeOptions{});
    QCOMPARE(w->ActionsMenu->actions().indexOf(w->MergeOptions), w->ActionsMenu->actions().indexOf(w->Merge) + 1);
    w->show();
    test::WhenModal([](QWidget* modal) {
      auto* d = qobject_cast<Dialog3*>(modal);
      QVERIFY(d);
      d->Spin1->setValue(1);
      d->Check1->setChecked(true);
      d->Check2->setChecked(true);
      QTest::mouseClick(d->OKButton, Qt::LeftButton);
    });
    w->MergeOptions->trigger();
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w->mergeOptions.headerRows, 1);
    QVERIFY(w->mergeOptions.matchHeaders && w->mergeOptions.sourceColumn);

    Keeper keeper;
    Application::SetPresenter(&keeper);
    w->lists.merges.Add({a.string(), "S", 0, true});
    w->lists.merges.Add({b.string(), "S", 0, true});
    QTest::mouseClick(w->Command18, Qt::LeftButton);
    Application::SetPresenter(nullptr);
    QVERIFY(keeper.shown);
    const fs::path out = dir->path() / "merged.xlsx";
    keeper.shown->Workbooks().Item(1).SaveAs(out.string());
    keeper.shown->Quit();
    int status = 0;
    const std::string text = test::Run(std::string(test::Python()) + " " +
                                           test::ShellQuote((test::Scripts() / "cells.py").string()) + " " +
                                           test::ShellQuote(out.string()),
                                       status);
    // b's Id went under a's Id; every row names its source.
    QCOMPARE(text, std::string("A1\tSource\nB1\tId\nC1\tQty\nA2\ta.xlsx / S\nB2\t1\nC2\t2\nA3\tb.xlsx / S\nB3\t11\nC3\t10\n"));

    // Cancel keeps what was there; a new window reads what OK wrote.
    test::WhenModal([](QWidget* modal) {
      auto* d = qobject_cast<Dialog3*>(modal);
      QVERIFY(d);
      d->Check3->setChecked(true);
      QTest::mouseClick(d->CancelButton, Qt::LeftButton);
    });
    w->MergeOptions->trigger();
    QVERIFY(!w->mergeOptions.sheetPerEntry);
    w.reset();
    Form1 again(QString::fromStdString(folder()), &rec);
    QCOMPARE(again.mergeOptions.headerRows, 1);
    QVERIFY(again.mergeOptions.matchHeaders && again.mergeOptions.sourceColumn && !again.mergeOptions.sheetPerEntry);
    QVERIFY(rec.shown.empty());
  }
};

QTEST_MAIN(Dialog3Test)
#include "dialog3_test.moc"
