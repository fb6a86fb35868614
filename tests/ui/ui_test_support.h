// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/automation/spreadsheet_automation.h"
#include "lists/ui_ports.h"

namespace corvane::test {

// The messages the window would show, in order.
struct MessageRecorder : Messages {
  std::vector<std::pair<std::string, MessageIcon>> shown;
  void Show(const std::string& text, MessageIcon icon) override { shown.emplace_back(text, icon); }
};

// Takes the application a successful merge shows, as the workbook window would.
struct ShownKeeper : ApplicationPresenter {
  std::shared_ptr<Application> shown;
  void present(std::shared_ptr<Application> app) override { shown = app; }
};

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// Runs `act` on the modal widget once it is up (a dialog's exec() or a message box).
inline void WhenModal(std::function<void(QWidget*)> act, int triesLeft = 200) {
  QTimer::singleShot(triesLeft == 200 ? 0 : 10, [act, triesLeft] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      act(w);
    } else if (triesLeft > 0) {
      WhenModal(act, triesLeft - 1);
    }
  });
}

}  // namespace corvane::test
