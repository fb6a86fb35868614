#include "ui/dialog2.h"

#include <QCheckBox>
#include <QPushButton>

#include "ui/qt_ports.h"
#include "ui/stored_files.h"

namespace corvane {

Dialog2::Dialog2(std::string folder, Messages& messages, QWidget* parent)
    : QDialog(parent), folder_(std::move(folder)), messages_(messages) {
  SetUpFixedDialog(*this, QStringLiteral("Dialog2"), QStringLiteral("Setting"), TwipsRect(2760, 3750, 3630, 1380));

  Check1 = new QCheckBox(QStringLiteral("Automatically save the current list ."), this);
  Check1->setObjectName(QStringLiteral("Check1"));
  Check1->setGeometry(TwipsRect(360, 360, 3010, 370));
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(TwipsRect(480, 840, 1215, 375));
  OKButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(TwipsRect(2040, 840, 1215, 375));
  setTabOrder(Check1, OKButton);
  setTabOrder(OKButton, CancelButton);

  connect(OKButton, &QPushButton::clicked, this, &Dialog2::OKButton_Click);
  connect(CancelButton, &QPushButton::clicked, this, &Dialog2::CancelButton_Click);
  Form_Load();
}

void Dialog2::Form_Load() { Check1->setChecked(ReadAutoSaveLine(folder_) == "1"); }

void Dialog2::OKButton_Click() {
  if (auto error = WriteAutoSave(folder_, Check1->isChecked()))
    messages_.Show("The setting could not be saved in \"" + folder_ + "/" + kAutoSaveFile + "\": " + *error + ".",
                   MessageIcon::Critical);
  accept();
}

void Dialog2::CancelButton_Click() { reject(); }

}  // namespace corvane
