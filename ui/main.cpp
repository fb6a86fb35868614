// Corvane: merges worksheets from many workbooks into one new workbook.
#include <QApplication>

#include "ui/form1.h"
#include "ui/icons.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  QApplication::setWindowIcon(corvane::ProgramIcon());
  // (the presenter that opens merge results is installed here)
  corvane::Form1 w;
  w.show();
  return app.exec();
}
