#include "ui/dialog1.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "ui/addresses.h"
#include "ui/icons.h"
#include "ui/qt_ports.h"

namespace corvane {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, pal.color(QPalette::Highlight));
  setPalette(pal);
  setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mousePressEvent(QMouseEvent* e) {
  pressed_ = e->button() == Qt::LeftButton;
  QLabel::mousePressEvent(e);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e) {
  bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(e);
  if (click) emit clicked();
}

namespace {

QLabel* MakeLabel(QLabel* label, const char* name, QRect where) {
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(where);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

// The home page as the About box shows it: without its scheme.
QString HomePageText() {
  QString text = QString::fromLatin1(kHomePage);
  qsizetype scheme = text.indexOf(QStringLiteral("://"));
  return scheme >= 0 ? text.mid(scheme + 3) : text;
}

}  // namespace

Dialog1::Dialog1(QWidget* parent) : QDialog(parent) {
  SetUpFixedDialog(*this, QStringLiteral("Dialog1"), QStringLiteral("About us"), TwipsRect(2760, 3750, 4905, 3945));

  Picture = new QLabel(this);
  Picture->setObjectName(QStringLiteral("Picture"));
  Picture->setPixmap(ProgramIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
  Picture->setGeometry(8, 8, 32, 32);

  Label1 = MakeLabel(new QLabel(QStringLiteral("Corvane"), this), "Label1", TwipsRect(840, 120, 2055, 255));
  Label4 = MakeLabel(new QLabel(QStringLiteral("Version:29.11.15"), this), "Label4", TwipsRect(840, 360, 1455, 255));

  Frame1 = new QGroupBox(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setGeometry(TwipsRect(120, 720, 4450, 1090));
  Label3 = MakeLabel(new QLabel(QStringLiteral("Technical Support:"), Frame1), "Label3", TwipsRect(120, 240, 1690, 250));
  Label2 = new LinkLabel(QString::fromLatin1(kSupportAddress), Frame1);
  MakeLabel(Label2, "Label2", TwipsRect(1800, 240, 2290, 250));
  Label7 = MakeLabel(new QLabel(QStringLiteral("Website:"), Frame1), "Label7", TwipsRect(120, 480, 850, 250));
  Label8 = new LinkLabel(HomePageText(), Frame1);
  MakeLabel(Label8, "Label8", TwipsRect(1800, 480, 1930, 250));
  Label6 = MakeLabel(new QLabel(QStringLiteral("Copyright © 2026 Corvane Software"), Frame1), "Label6",
                     TwipsRect(120, 720, 3135, 255));

  Label5 = MakeLabel(new QLabel(QStringLiteral("Warning: this program is protected by copyright law. Copying or "
                                               "distributing it, in whole or in part, without the permission of "
                                               "Corvane Software is prohibited and may be punished under civil "
                                               "and criminal law."),
                                this),
                     "Label5", TwipsRect(120, 2040, 4695, 1095));

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(TwipsRect(120, 3360, 1215, 375));
  OKButton->setDefault(true);
  OKButton->setFocus();

  connect(Label2, &LinkLabel::clicked, this, &Dialog1::Label2_Click);
  connect(Label8, &LinkLabel::clicked, this, &Dialog1::Label8_Click);
  connect(OKButton, &QPushButton::clicked, this, &Dialog1::OKButton_Click);
}

void Dialog1::Label2_Click() {
  QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress)));
}

void Dialog1::Label8_Click() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage))); }

void Dialog1::OKButton_Click() { accept(); }

}  // namespace corvane
