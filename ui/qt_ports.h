// The window's side of the message, progress and busy-pointer interfaces.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QProgressBar>
#include <QRect>
#include <QWidget>

#include "lists/ui_ports.h"

namespace corvane {

// Window measures are kept in twips, 15 to a logical pixel (a pixel at 96 dots per inch);
// Qt scales logical pixels on high-density screens.
constexpr int Twips(int twips) { return (twips * 2 + 15) / 30; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// Message boxes titled "Corvane" with an OK button, modal to `parent`. A box shown while the
// handler has the busy pointer up shows the normal pointer; the handler's pointer is back
// once the box is closed.
class QtMessages : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void Show(const std::string& text, MessageIcon icon) override;

 private:
  QPointer<QWidget> parent_;
};

class QtProgress : public Progress {
 public:
  explicit QtProgress(QProgressBar* bar) : bar_(bar) {}
  void SetMaximum(int maximum) override;
  void SetValue(int value) override;

 private:
  QPointer<QProgressBar> bar_;
};

// For as long as it lives, the normal pointer over a modal box the user must answer, even
// while an override cursor (the hourglass) is set; afterwards the override-cursor stack is
// exactly as it was. Nothing changes when no override cursor is set.
class NormalPointerWhileModal {
 public:
  NormalPointerWhileModal();
  ~NormalPointerWhileModal();
  NormalPointerWhileModal(const NormalPointerWhileModal&) = delete;
  NormalPointerWhileModal& operator=(const NormalPointerWhileModal&) = delete;

 private:
  bool pushed_ = false;
};

// The hourglass over the whole application. Like a mouse-pointer setting, not a stack:
// setting it twice and clearing it once leaves the normal pointer.
class QtBusyPointer : public BusyPointer {
 public:
  ~QtBusyPointer() override { SetBusy(false); }
  void SetBusy(bool busy) override;
  bool IsBusy() const { return busy_; }

 private:
  bool busy_ = false;
};

// The common frame of the program's small dialogs: a fixed size and a fixed spot on the
// screen (not centred on the main window), Arial 8.25 pt, a close box and nothing else.
void SetUpFixedDialog(QDialog& dialog, const QString& name, const QString& title, QRect geometry);

}  // namespace corvane
