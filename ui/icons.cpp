#include "ui/icons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace corvane {

namespace {

// A glyph as a path, scaled and centred into `box`.
QPainterPath GlyphPath(const QString& text, const QRectF& box) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(100);
  QPainterPath path;
  path.addText(0, 0, font, text);
  QRectF r = path.boundingRect();
  qreal scale = std::min(box.width() / r.width(), box.height() / r.height());
  QTransform t;
  t.translate(box.center().x(), box.center().y());
  t.scale(scale, scale);
  t.translate(-r.center().x(), -r.center().y());
  return t.map(path);
}

// A white cross of two rounded strokes through the centre of `box`.
void DrawCross(QPainter& p, const QRectF& box, const QColor& color, qreal width) {
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(box.topLeft(), box.bottomRight());
  p.drawLine(box.topRight(), box.bottomLeft());
}

void DrawDisc(QPainter& p, const QRectF& box, const QColor& light, const QColor& dark) {
  QRadialGradient g(box.left() + box.width() * 0.35, box.top() + box.height() * 0.3, box.width() * 0.75);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setPen(QPen(dark.darker(140), 3));
  p.setBrush(g);
  p.drawEllipse(box);
}

// A small sheet: white cells, a green header row and grey row headers.
void DrawGrid(QPainter& p, const QRectF& box, int rows, int cols, qreal line) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(box);
  qreal ch = box.height() / rows, cw = box.width() / cols;
  p.setBrush(QColor(0x4c, 0xaf, 0x50));
  p.drawRect(QRectF(box.left(), box.top(), box.width(), ch));
  p.setBrush(QColor(0xd6, 0xdb, 0xe0));
  p.drawRect(QRectF(box.left(), box.top() + ch, cw, box.height() - ch));
  p.setPen(QPen(QColor(0x7d, 0x8a, 0x96), line));
  for (int r = 1; r < rows; ++r) p.drawLine(QPointF(box.left(), box.top() + r * ch), QPointF(box.right(), box.top() + r * ch));
  for (int c = 1; c < cols; ++c) p.drawLine(QPointF(box.left() + c * cw, box.top()), QPointF(box.left() + c * cw, box.bottom()));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x3d, 0x4a, 0x56), line * 1.5));
  p.drawRect(box);
}

void PaintProgram(QPainter& p) {
  DrawGrid(p, QRectF(12, 20, 82, 74), 5, 4, 2.5);
  // The green badge with two sheets joining into one.
  p.setPen(QPen(QColor(0x0d, 0x52, 0x23), 3));
  QLinearGradient g(0, 2, 0, 50);
  g.setColorAt(0, QColor(0x3f, 0xb5, 0x5f));
  g.setColorAt(1, QColor(0x16, 0x7a, 0x37));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(3, 3, 46, 46), 10, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(13, 13, 11, 11));
  p.drawRect(QRectF(28, 13, 11, 11));
  p.drawRect(QRectF(13, 28, 26, 11));
  // The pink square.
  p.setPen(QPen(QColor(0xa0, 0x1f, 0x5e), 2.5));
  p.setBrush(QColor(0xff, 0x6e, 0xb4));
  p.drawRect(QRectF(76, 4, 20, 20));
}

void PaintSpreadsheet(QPainter& p) {
  QPainterPath page;
  page.moveTo(16, 4);
  page.lineTo(66, 4);
  page.lineTo(86, 24);
  page.lineTo(86, 96);
  page.lineTo(16, 96);
  page.closeSubpath();
  p.setPen(QPen(QColor(0x55, 0x60, 0x6a), 3));
  p.setBrush(Qt::white);
  p.drawPath(page);
  QPainterPath fold;
  fold.moveTo(66, 4);
  fold.lineTo(66, 24);
  fold.lineTo(86, 24);
  fold.closeSubpath();
  p.setBrush(QColor(0xd8, 0xdd, 0xe2));
  p.drawPath(fold);
  DrawGrid(p, QRectF(24, 34, 54, 52), 5, 3, 2);
  // A green band with an X, the mark of a workbook.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1d, 0x7a, 0x3c));
  p.drawRoundedRect(QRectF(6, 10, 34, 30), 4, 4);
  DrawCross(p, QRectF(15, 17, 16, 16), Qt::white, 5);
}

void PaintFolder(QPainter& p) {
  QColor edge(0x9c, 0x6b, 0x00);
  p.setPen(QPen(edge, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath back;
  back.moveTo(6, 20);
  back.lineTo(36, 20);
  back.lineTo(44, 28);
  back.lineTo(92, 28);
  back.lineTo(92, 86);
  back.lineTo(6, 86);
  back.closeSubpath();
  p.setBrush(QColor(0xe8, 0xb0, 0x20));
  p.drawPath(back);
  QPainterPath front;
  front.moveTo(6, 86);
  front.lineTo(16, 40);
  front.lineTo(98, 40);
  front.lineTo(92, 86);
  front.closeSubpath();
  QLinearGradient g(0, 40, 0, 86);
  g.setColorAt(0, QColor(0xff, 0xe0, 0x70));
  g.setColorAt(1, QColor(0xf6, 0xc0, 0x2a));
  p.setBrush(g);
  p.drawPath(front);
}

void PaintRemoveCross(QPainter& p) {
  DrawCross(p, QRectF(18, 18, 64, 64), QColor(0x8a, 0x0c, 0x0c), 26);
  DrawCross(p, QRectF(18, 18, 64, 64), QColor(0xe5, 0x2a, 0x2a), 18);
}

void PaintHelp(QPainter& p) {
  DrawDisc(p, QRectF(4, 4, 92, 92), QColor(0x6d, 0xa8, 0xff), QColor(0x12, 0x4a, 0xb8));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(GlyphPath(QStringLiteral("?"), QRectF(30, 18, 40, 64)));
}

void PaintGlobe(QPainter& p) {
  QRectF ball(6, 6, 88, 88);
  DrawDisc(p, ball, QColor(0x8c, 0xd3, 0xff), QColor(0x15, 0x5e, 0xb0));
  p.save();
  QPainterPath clip;
  clip.addEllipse(ball);
  p.setClipPath(clip);
  // Land.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3c, 0xa0, 0x46));
  QPolygonF west{{22, 26}, {44, 20}, {50, 34}, {40, 46}, {44, 62}, {34, 80}, {26, 62}, {18, 44}};
  QPolygonF east{{58, 22}, {80, 30}, {86, 50}, {72, 56}, {66, 74}, {58, 60}, {62, 44}, {54, 34}};
  p.drawPolygon(west);
  p.drawPolygon(east);
  // Meridians and parallels.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 170), 2.5));
  p.drawEllipse(QRectF(30, 6, 40, 88));
  p.drawLine(QPointF(50, 6), QPointF(50, 94));
  p.drawLine(QPointF(6, 50), QPointF(94, 50));
  p.drawLine(QPointF(12, 28), QPointF(88, 28));
  p.drawLine(QPointF(12, 72), QPointF(88, 72));
  p.restore();
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x0e, 0x3d, 0x75), 3));
  p.drawEllipse(ball);
}

void PaintExit(QPainter& p) {
  DrawDisc(p, QRectF(4, 4, 92, 92), QColor(0xff, 0x7a, 0x6e), QColor(0xb8, 0x12, 0x12));
  DrawCross(p, QRectF(32, 32, 36, 36), Qt::white, 13);
}

// An arrow pointing up, filling a box of `w` x `h`.
QPainterPath UpArrow(qreal w, qreal h) {
  qreal head = std::min(h * 0.5, w * 0.95);
  QPainterPath a;
  a.moveTo(w / 2, 1);
  a.lineTo(w - 1, head);
  a.lineTo(w * 0.68, head);
  a.lineTo(w * 0.68, h - 1);
  a.lineTo(w * 0.32, h - 1);
  a.lineTo(w * 0.32, head);
  a.lineTo(1, head);
  a.closeSubpath();
  return a;
}

void PaintArrow(QPainter& p, Picture which, QSizeF size) {
  bool vertical = which == Picture::ArrowUp || which == Picture::ArrowDown;
  // Drawn pointing up in a box of the upright size, then turned into place.
  qreal w = vertical ? size.width() : size.height(), h = vertical ? size.height() : size.width();
  QTransform t;
  switch (which) {
    case Picture::ArrowDown: t.translate(w, h).rotate(180); break;
    case Picture::ArrowRight: t.translate(h, 0).rotate(90); break;
    case Picture::ArrowLeft: t.translate(0, w).rotate(-90); break;
    default: break;
  }
  p.setTransform(t, true);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, QColor(0x9b, 0x3c, 0xd6));
  g.setColorAt(1, QColor(0x2b, 0x5e, 0xe0));
  p.setPen(QPen(QColor(0x2a, 0x1a, 0x6e), 1.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(g);
  p.drawPath(UpArrow(w, h));
}

void PaintSmallWorkbook(QPainter& p) {
  DrawGrid(p, QRectF(1.5, 2.5, 13, 11), 4, 3, 1);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1d, 0x7a, 0x3c));
  p.drawRect(QRectF(0.5, 0.5, 8, 7));
  DrawCross(p, QRectF(2.5, 2, 4, 4), Qt::white, 1.4);
}

void PaintSmallQuestion(QPainter& p) {
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(0.75, 0.75, 14.5, 11), 3.5, 3.5);
  QPainterPath tail;
  tail.moveTo(3.5, 10);
  tail.lineTo(3, 15.25);
  tail.lineTo(8, 10);
  tail.closeSubpath();
  bubble = bubble.united(tail);
  p.setPen(QPen(QColor(0x1d, 0x4f, 0xa8), 1));
  p.setBrush(QColor(0xff, 0xfb, 0xdc));
  p.drawPath(bubble);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1d, 0x4f, 0xa8));
  p.drawPath(GlyphPath(QStringLiteral("?"), QRectF(5, 2.5, 6, 8)));
}

}  // namespace

QPixmap PaintPicture(Picture picture, QSize size, qreal dpr) {
  QPixmap pm(size * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal sx = size.width() / 100.0, sy = size.height() / 100.0;
  switch (picture) {
    case Picture::ArrowUp:
    case Picture::ArrowDown:
    case Picture::ArrowLeft:
    case Picture::ArrowRight:
      PaintArrow(p, picture, QSizeF(size));
      return pm;
    case Picture::SmallWorkbook:
    case Picture::SmallFolder:
    case Picture::SmallQuestion:
      // Drawn on a 16 x 16 grid.
      p.scale(size.width() / 16.0, size.height() / 16.0);
      if (picture == Picture::SmallWorkbook) PaintSmallWorkbook(p);
      if (picture == Picture::SmallQuestion) PaintSmallQuestion(p);
      if (picture == Picture::SmallFolder) {
        p.scale(0.16, 0.16);
        PaintFolder(p);
      }
      return pm;
    default:
      break;
  }
  // The large pictures are drawn on a 100 x 100 grid.
  p.scale(sx, sy);
  switch (picture) {
    case Picture::Program: PaintProgram(p); break;
    case Picture::Spreadsheet: PaintSpreadsheet(p); break;
    case Picture::Folder: PaintFolder(p); break;
    case Picture::RemoveCross: PaintRemoveCross(p); break;
    case Picture::Help: PaintHelp(p); break;
    case Picture::Globe: PaintGlobe(p); break;
    case Picture::Exit: PaintExit(p); break;
    default: break;
  }
  return pm;
}

QIcon PictureIcon(Picture picture, QSize size) {
  QIcon icon;
  icon.addPixmap(PaintPicture(picture, size, 1.0));
  icon.addPixmap(PaintPicture(picture, size, 2.0));
  return icon;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int s : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(PaintPicture(Picture::Program, QSize(s, s)));
  return icon;
}

}  // namespace corvane
