#include "ui/picture_button.h"

#include <QIcon>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

namespace corvane {


PictureButton::PictureButton(const QString& caption, const QIcon& picture, QSize pictureSize, QWidget* parent)
    : QPushButton(caption, parent), pictureSize_(pictureSize) {
  setIcon(picture);
  setIconSize(pictureSize);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  opt.text.clear();
  opt.icon = QIcon();
  p.drawControl(QStyle::CE_PushButtonBevel, opt);

  QRect r = rect();
  if (isDown())
    r.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
  const int textHeight = text().isEmpty() ? 0 : fontMetrics().height();
  const int total = pictureSize_.height() + textHeight;
  const int top = r.top() + std::max(1, (r.height() - total) / 2);
  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  QPixmap pm = icon().pixmap(pictureSize_, devicePixelRatio(), mode);
  p.drawPixmap(QPoint(r.left() + (r.width() - pictureSize_.width()) / 2, top), pm);
  if (textHeight)
    p.drawItemText(QRect(r.left() + 2, top + pictureSize_.height(), r.width() - 4, textHeight), Qt::AlignHCenter | Qt::AlignTop,
                   palette(), isEnabled(), text(), QPalette::ButtonText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(4, 4, -4, -4);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace corvane
