#include "ui/dialog3.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

#include "ui/qt_ports.h"
#include "ui/stored_files.h"

namespace corvane {

Dialog3::Dialog3(std::string folder, Messages& messages, QWidget* parent)
    : QDialog(parent), folder_(std::move(folder)), messages_(messages) {
  SetUpFixedDialog(*this, QStringLiteral("Dialog3"), QStringLiteral("Merge Options"), TwipsRect(2760, 3750, 5535, 3945));

  auto check = [this](const char* name, const QString& caption, int top) {
    auto* c = new QCheckBox(caption, this);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(TwipsRect(360, top, 4935, 315));
    return c;
  };
  Label1 = new QLabel(QStringLiteral("Header rows (kept from the first sheet only):"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(TwipsRect(360, 300, 3495, 255));
  Spin1 = new QSpinBox(this);
  Spin1->setObjectName(QStringLiteral("Spin1"));
  Spin1->setGeometry(TwipsRect(3960, 240, 1335, 315));
  Spin1->setLocale(QLocale::c());  // the same digits in every language, no separators
  Spin1->setRange(0, kMaxHeaderRows);
  Spin1->setAccelerated(true);
  Label1->setBuddy(Spin1);
  Check1 = check("Check1", QStringLiteral("Match columns by header (the last header row)"), 720);
  Check2 = check("Check2", QStringLiteral("Source column: file name / sheet name"), 1080);
  Check3 = check("Check3", QStringLiteral("One sheet per entry"), 1440);
  Check4 = check("Check4", QStringLiteral("Column widths and row heights"), 1800);
  Label2 = new QLabel(QStringLiteral("Header rows are columns in a horizontal merge. Matching and the source "
                                     "column apply to vertical merges. With one sheet per entry every sheet is "
                                     "copied whole: the merge option, the gap and the header options do not apply."),
                      this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(TwipsRect(360, 2220, 4935, 975));
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(TwipsRect(1320, 3360, 1215, 375));
  OKButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(TwipsRect(2880, 3360, 1215, 375));
  setTabOrder(Spin1, Check1);
  setTabOrder(Check1, Check2);
  setTabOrder(Check2, Check3);
  setTabOrder(Check3, Check4);
  setTabOrder(Check4, OKButton);
  setTabOrder(OKButton, CancelButton);

  connect(Spin1, &QSpinBox::valueChanged, this, &Dialog3::updateEnabled);
  connect(Check3, &QCheckBox::toggled, this, &Dialog3::updateEnabled);
  connect(OKButton, &QPushButton::clicked, this, &Dialog3::OKButton_Click);
  connect(CancelButton, &QPushButton::clicked, this, &Dialog3::CancelButton_Click);
  Form_Load();
}

MergeOptions Dialog3::Options() const {
  MergeOptions o;
  o.headerRows = Spin1->value();
  o.matchHeaders = Check1->isChecked();
  o.sourceColumn = Check2->isChecked();
  o.sheetPerEntry = Check3->isChecked();
  o.sizes = Check4->isChecked();
  return o;
}

void Dialog3::Form_Load() {
  const MergeOptions o = LoadMergeOptions(folder_);
  Spin1->setValue(o.headerRows);
  Check1->setChecked(o.matchHeaders);
  Check2->setChecked(o.sourceColumn);
  Check3->setChecked(o.sheetPerEntry);
  Check4->setChecked(o.sizes);
  updateEnabled();
}

void Dialog3::updateEnabled() {
  const bool stacked = !Check3->isChecked();
  Label1->setEnabled(stacked);
  Spin1->setEnabled(stacked);
  Check1->setEnabled(stacked && Spin1->value() >= 1);
  Check2->setEnabled(stacked);
}

void Dialog3::OKButton_Click() {
  Spin1->interpretText();  // a number typed and not yet taken
  if (auto error = SaveMergeOptions(folder_, Options()))
    messages_.Show("The merge options could not be saved in \"" + folder_ + "/" + kMergeOptionsFile + "\": " + *error + ".",
                   MessageIcon::Critical);
  accept();
}

void Dialog3::CancelButton_Click() { reject(); }

}  // namespace corvane
