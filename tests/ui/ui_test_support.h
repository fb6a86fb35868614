// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>

namespace corvane::test {

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
