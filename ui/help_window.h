// The user manual Corvane ships, and a window of its own to read it in when no browser can
// be started.
#pragma once

#include <QMainWindow>
#include <QString>

class QTextBrowser;

namespace corvane {

// The manual of a program in `programFolder`: manual/manual.html beside it (a build folder or
// a portable copy), else the one of the prefix it is installed into, found from its bin folder.
// Empty when neither exists.
QString ManualPath(const QString& programFolder);

// Shows the manual at `path`; its links to other places open in the browser.
class HelpWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit HelpWindow(const QString& path, QWidget* parent = nullptr);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace corvane
