// Takes the screenshots the README shows: the main window with a few lists filled, the Merge
// Options dialog, and the workbook window of a merge of corpus workbooks.
//
//   corvane-screenshots CORPUS_FOLDER OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/merge/merge.h"
#include "engine/merge/program_start.h"
#include "lists/list_commands.h"
#include "ui/dialog3.h"
#include "ui/form1.h"
#include "ui/icons.h"
#include "ui/workbook_window.h"

namespace {

struct Keeper : corvane::ApplicationPresenter {
  std::shared_ptr<corvane::Application> shown;
  void present(std::shared_ptr<corvane::Application> app) override { shown = std::move(app); }
};

struct Silent : corvane::Messages, corvane::Progress {
  void Show(const std::string&, corvane::MessageIcon) override {}
  void SetMaximum(int) override {}
  void SetValue(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  corvane::StartEngine();
  QApplication app(argc, argv);
  if (argc != 3) {
    fprintf(stderr, "usage: corvane-screenshots CORPUS_FOLDER OUTPUT_FOLDER\n");
    return 2;
  }
  QApplication::setWindowIcon(corvane::ProgramIcon());
  const std::string corpus = argv[1];
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  QTemporaryDir folder;  // an application folder of its own: nothing stored is touched

  corvane::Form1 form(folder.path());
  auto& lists = form.lists;
  lists.sources.Add({corpus + "/xlsx", "", corvane::kIconFolder});
  lists.sources.Add({corpus + "/xlsx/lxw_format08.xlsx", "", corvane::kIconWorkbook});
  lists.sources.Select(1);
  corvane::FillWorkbookList(lists, corpus + "/xlsx");
  for (int i = 1; i <= lists.workbooks.Count(); ++i)
    if (lists.workbooks.Item(i).text == "lxw_chart_bar13.xlsx") lists.workbooks.Select(i);
  Silent silent;
  corvane::FillSheetList(lists, silent);
  for (const char* s : {"Sheet1", "Sheet3"})
    lists.merges.Add({corpus + "/xlsx/lxw_chart_bar13.xlsx", s, 0, true});
  lists.merges.Add({corpus + "/xlsx/lxw_format08.xlsx", "Sheet1", 0, false});
  form.show();
  QApplication::processEvents();
  form.grab().save(out + "/main-window.png");

  // The Merge Options dialog as a user sets it for monthly reports.
  corvane::Dialog3 options(folder.path().toStdString(), silent);
  options.Spin1->setValue(1);
  options.Check1->setChecked(true);
  options.Check2->setChecked(true);
  options.show();
  QApplication::processEvents();
  options.grab().save(out + "/dialog3.png");
  options.hide();

  // The result window of a merge, as a successful run opens it.
  corvane::ListModel merges;
  merges.Add({corpus + "/xlsx/lxw_merge_range03.xlsx", "Sheet1", 0, true});
  merges.Add({corpus + "/xlsx/poi_bug67784.xlsx", "Sheet1", 0, true});
  merges.Add({corpus + "/xlsx/lxw_format08.xlsx", "Sheet1", 0, true});
  Keeper keeper;
  corvane::Application::SetPresenter(&keeper);
  std::string gap = "1";
  int32_t gapCount = 0;
  corvane::MergeCommand(merges, gap, 0, gapCount, silent, silent);
  corvane::Application::SetPresenter(nullptr);
  if (!keeper.shown) return 1;
  auto* window = new corvane::WorkbookWindow(keeper.shown);
  window->resize(900, 520);
  window->show();
  QApplication::processEvents();
  window->grab().save(out + "/workbook-window.png");
  delete window;  // closing would ask whether to save the unsaved result
  return 0;
}
