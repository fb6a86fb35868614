// A push button of the main window: its picture centred above its caption.
#pragma once

#include <QPushButton>
#include <QSize>

namespace corvane {

// A button that shows its picture centred above its caption, or the picture alone.
class PictureButton : public QPushButton {
  Q_OBJECT
 public:
  PictureButton(const QString& caption, const QIcon& picture, QSize pictureSize, QWidget* parent = nullptr);
  QSize pictureSize() const { return pictureSize_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QSize pictureSize_;
};

}  // namespace corvane
