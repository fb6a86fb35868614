// The About box: the program's name and version, where to get help, and the legal notice.
#pragma once

#include <QDialog>
#include <QLabel>

class QGroupBox;
class QPushButton;

namespace corvane {

// A label that opens something when clicked: drawn in the highlight colour, with a
// pointing hand over it.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  bool pressed_ = false;
};

class Dialog1 : public QDialog {
  Q_OBJECT
 public:
  explicit Dialog1(QWidget* parent = nullptr);

  QLabel* Picture;  // the program icon
  QLabel* Label1;
  QLabel* Label4;
  QGroupBox* Frame1;
  QLabel* Label3;
  LinkLabel* Label2;
  QLabel* Label7;
  LinkLabel* Label8;
  QLabel* Label6;
  QLabel* Label5;
  QPushButton* OKButton;

 public slots:
  // A new message to the support address.
  void Label2_Click();
  // The home page.
  void Label8_Click();
  void OKButton_Click();
};

}  // namespace corvane
