// The Settings dialog: whether closing the main window saves the source list (set.txt).
#pragma once

#include <QDialog>
#include <string>

#include "lists/ui_ports.h"

class QCheckBox;
class QPushButton;

namespace corvane {

class Dialog2 : public QDialog {
  Q_OBJECT
 public:
  // `folder` holds set.txt; `messages` hears of a setting that could not be written.
  Dialog2(std::string folder, Messages& messages, QWidget* parent = nullptr);

  QCheckBox* Check1;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 public slots:
  // Ticks the box when set.txt's first line is exactly "1".
  void Form_Load();
  void OKButton_Click();
  void CancelButton_Click();

 private:
  std::string folder_;
  Messages& messages_;
};

}  // namespace corvane
