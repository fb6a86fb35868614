// Corvane: merges worksheets from many workbooks into one new workbook.
#include <QApplication>

#include "engine/merge/program_start.h"
#include "ui/form1.h"
#include "ui/icons.h"
#include "ui/workbook_presenter.h"

int main(int argc, char** argv) {
  corvane::StartEngine();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // The desktop entry the desktop matches this program's windows with.
  QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
  QApplication::setWindowIcon(corvane::ProgramIcon());
  // A merge that succeeds opens its result in a workbook window of its own.
  corvane::WorkbookWindowPresenter presenter;
  corvane::Application::SetPresenter(&presenter);
  corvane::Form1 w;
  w.show();
  return app.exec();
}
