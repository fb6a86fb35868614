#include "ui/help_window.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>

namespace corvane {

QString ManualPath(const QString& programFolder) {
  for (const QString& folder : {programFolder + QStringLiteral("/manual"),
                                programFolder + QStringLiteral("/" CORVANE_MANUAL_FROM_BIN)}) {
    const QString path = QDir::cleanPath(folder + QStringLiteral("/manual.html"));
    if (QFileInfo(path).isFile()) return path;
  }
  return {};
}

HelpWindow::HelpWindow(const QString& path, QWidget* parent) : QMainWindow(parent), browser_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("HelpWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Corvane Help"));
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  browser_->setSource(QUrl::fromLocalFile(path));
  setCentralWidget(browser_);
  resize(820, 640);
}

}  // namespace corvane
