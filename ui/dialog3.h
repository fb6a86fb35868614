// The Merge Options dialog: header rows, columns matched by header, the source column, one
// sheet per entry, and widths and heights (options.txt).
#pragma once

#include <QDialog>
#include <string>

#include "engine/merge/merge_options.h"
#include "lists/ui_ports.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace corvane {

class Dialog3 : public QDialog {
  Q_OBJECT
 public:
  // `folder` holds options.txt; `messages` hears of options that could not be written.
  Dialog3(std::string folder, Messages& messages, QWidget* parent = nullptr);

  QLabel* Label1;
  QSpinBox* Spin1;    // header rows: whole numbers, the same in every language
  QCheckBox* Check1;  // match columns by header
  QCheckBox* Check2;  // source column
  QCheckBox* Check3;  // one sheet per entry
  QCheckBox* Check4;  // column widths and row heights
  QLabel* Label2;
  QPushButton* OKButton;
  QPushButton* CancelButton;

  // The options as the controls show them.
  MergeOptions Options() const;

 public slots:
  // Shows the options of options.txt (the defaults where it says nothing).
  void Form_Load();
  // Writes options.txt and closes the dialog, accepted.
  void OKButton_Click();
  void CancelButton_Click();

 private:
  // Greys what does not apply: matching without header rows, and everything but the sizes
  // when every entry gets a sheet of its own.
  void updateEnabled();
  std::string folder_;
  Messages& messages_;
};

}  // namespace corvane
