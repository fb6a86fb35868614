#include "ui/qt_ports.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QProgressBar>

namespace corvane {

void QtMessages::Show(const std::string& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                  QStringLiteral("Corvane"), QString::fromStdString(text), QMessageBox::Ok, parent_.data());
  NormalPointerWhileModal pointer;
  box.exec();
}

NormalPointerWhileModal::NormalPointerWhileModal() : pushed_(QApplication::overrideCursor() != nullptr) {
  if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

NormalPointerWhileModal::~NormalPointerWhileModal() {
  if (pushed_) QApplication::restoreOverrideCursor();
}

void QtProgress::SetMaximum(int maximum) {
  if (!bar_) return;
  // A value beyond the new maximum would make the bar reset itself; keep it in range.
  if (bar_->value() > maximum) bar_->setValue(bar_->minimum());
  bar_->setMaximum(maximum);
}

void QtProgress::SetValue(int value) {
  if (!bar_) return;
  // The merge runs without returning to the event loop, so draw the new value now.
  bar_->setValue(value);
  bar_->repaint();
}

void QtBusyPointer::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void SetUpFixedDialog(QDialog& dialog, const QString& name, const QString& title, QRect geometry) {
  dialog.setObjectName(name);
  dialog.setWindowTitle(title);
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(8.25);
  dialog.setFont(font);
  dialog.setGeometry(geometry);
  dialog.setFixedSize(dialog.size());
}

}  // namespace corvane
