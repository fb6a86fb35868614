#include "ui/cell_delegate.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QTableView>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include "engine/core/style.h"
#include "ui/sheet_model.h"

namespace corvane {

namespace {

// The flags QPainter::drawText takes: an alignment with a text flag.
int DrawFlags(Qt::Alignment align, Qt::TextFlag text) { return static_cast<int>(align.toInt()) | text; }

struct LineKind {
  int width = 0;
  Qt::PenStyle pen = Qt::SolidLine;
  bool doubled = false;  // two thin lines with a gap between them
};

LineKind KindOf(BorderStyle b) {
  switch (b) {
    case BorderStyle::None: return {0};
    case BorderStyle::Thin: return {1};
    case BorderStyle::Hair:
    case BorderStyle::Dotted: return {1, Qt::DotLine};
    case BorderStyle::Dashed: return {1, Qt::DashLine};
    case BorderStyle::DashDot: return {1, Qt::DashDotLine};
    case BorderStyle::DashDotDot: return {1, Qt::DashDotDotLine};
    case BorderStyle::Medium: return {2};
    case BorderStyle::MediumDashed: return {2, Qt::DashLine};
    case BorderStyle::MediumDashDot:
    case BorderStyle::SlantDashDot: return {2, Qt::DashDotLine};
    case BorderStyle::MediumDashDotDot: return {2, Qt::DashDotDotLine};
    case BorderStyle::Thick: return {3};
    case BorderStyle::Double: return {3, Qt::SolidLine, true};
  }
  return {1};
}

QColor LineColor(Rgb rgb) {
  if (rgb == kAutoColor) return Qt::black;
  return QColor::fromRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Of a cell's side and its neighbour's side facing it, the one that shows: the heavier line.
const BorderSide& Shown(const BorderSide& own, const BorderSide* facing) {
  if (facing && CellDelegate::BorderWidth(*facing) > CellDelegate::BorderWidth(own)) return *facing;
  return own;
}

// A border along the last `width` pixel rows (horizontal) or columns (vertical) that end at
// `edge`, from `from` to `to` along the line.
void DrawEdge(QPainter* p, Qt::Orientation o, int edge, int from, int to, const BorderSide& side) {
  LineKind k = KindOf(side.style);
  if (k.width == 0 || to < from) return;
  QColor color = LineColor(side.color);
  for (int i = 0; i < k.width; ++i) {
    if (k.doubled && i == 1) continue;
    int at = edge - i;
    if (k.pen == Qt::SolidLine) {
      QRect line = o == Qt::Horizontal ? QRect(from, at, to - from + 1, 1) : QRect(at, from, 1, to - from + 1);
      p->fillRect(line, color);
    } else {
      QPen pen(color, 1, k.pen, Qt::FlatCap);
      p->setPen(pen);
      if (o == Qt::Horizontal) p->drawLine(from, at, to, at);
      else p->drawLine(at, from, at, to);
    }
  }
}

// A gradient fill over the cell: linear at its angle (clockwise from left to right), or a path
// from its inner rectangle out to the cell's edges, drawn as a radial blend from the
// rectangle's centre to the farthest corner.
void DrawGradient(QPainter* p, const QRect& rc, const Gradient& g) {
  QGradientStops stops;
  for (const GradientStop& s : g.stops) stops.append({std::clamp(s.position, 0.0, 1.0), LineColor(s.color)});
  if (g.type == Gradient::Type::Linear) {
    double a = g.degree * std::numbers::pi / 180, dx = std::cos(a), dy = std::sin(a);
    double half = (std::abs(dx) * rc.width() + std::abs(dy) * rc.height()) / 2;
    QPointF c = QRectF(rc).center();
    QLinearGradient lin(c - QPointF(dx, dy) * half, c + QPointF(dx, dy) * half);
    lin.setStops(stops);
    p->fillRect(rc, lin);
    return;
  }
  QPointF c(rc.left() + rc.width() * (g.left + g.right) / 2, rc.top() + rc.height() * (g.top + g.bottom) / 2);
  double rx = std::max(c.x() - rc.left(), rc.right() + 1 - c.x());
  double ry = std::max(c.y() - rc.top(), rc.bottom() + 1 - c.y());
  QRadialGradient rad(c, std::max(1.0, std::hypot(rx, ry)));
  rad.setStops(stops);
  p->fillRect(rc, rad);
}

// Diagonal lines corner to corner: up from bottom-left to top-right, down from top-left to
// bottom-right, in the line's colour, width and dash (a double line as two thin ones).
void DrawDiagonals(QPainter* p, const QRect& rc, const Style& s) {
  LineKind k = KindOf(s.diagonal.style);
  if (k.width == 0 || (!s.diagonalUp && !s.diagonalDown)) return;
  p->save();
  auto line = [&](QPointF a, QPointF b) {
    if (!k.doubled) {
      p->drawLine(a, b);
      return;
    }
    QPointF d = b - a;
    double len = std::hypot(d.x(), d.y());
    if (len == 0) return;
    QPointF n(-d.y() / len * 1.5, d.x() / len * 1.5);
    p->drawLine(a + n, b + n);
    p->drawLine(a - n, b - n);
  };
  p->setPen(QPen(LineColor(s.diagonal.color), k.doubled ? 1 : k.width, k.pen, Qt::FlatCap));
  QRectF r(rc);
  if (s.diagonalUp) line(r.bottomLeft(), r.topRight());
  if (s.diagonalDown) line(r.topLeft(), r.bottomRight());
  p->restore();
}

constexpr int kTextPad = 2;  // the style's margin on either side of an item's text

int TextWidth(const SheetModel::Look& look) {
  return QFontMetrics(look.font).horizontalAdvance(look.text) + 2 * kTextPad;
}

}  // namespace

// Where a cell's text is laid out when it is wider than the cell, and the stretch of the row
// in which it can be seen: up to the next cell that shows something.
struct CellDelegate::Spill {
  QRect layout;
  int clipLeft, clipRight;
  bool coversRightEdgeOf(const QRect& rc) const {
    return std::min(layout.right(), clipRight) > rc.right() && std::max(layout.left(), clipLeft) <= rc.right();
  }
};

CellDelegate::Spill CellDelegate::SpillOf(int row, int col, const SheetModel::Look& look, const QRect& cellRect) const {
  const int width = TextWidth(look);
  const Qt::Alignment h = look.align & Qt::AlignHorizontal_Mask;
  const int x = cellRect.left(), w = cellRect.width();
  Spill s;
  if (h & Qt::AlignRight) s.layout = QRect(x + w - width, cellRect.top(), width, cellRect.height());
  else if (h & Qt::AlignHCenter) s.layout = QRect(x + w / 2 - width / 2, cellRect.top(), width, cellRect.height());
  else s.layout = QRect(x, cellRect.top(), width, cellRect.height());
  s.clipLeft = x;
  s.clipRight = x + w - 1;
  if (h & (Qt::AlignRight | Qt::AlignHCenter)) {
    int prev = model_->previousFilled(row, col);
    s.clipLeft = prev >= 0 ? view_->columnViewportPosition(prev) + view_->columnWidth(prev) : INT_MIN;
  }
  if (!(h & Qt::AlignRight)) {
    int next = model_->nextFilled(row, col);
    s.clipRight = next >= 0 ? view_->columnViewportPosition(next) - 1 : INT_MAX;
  }
  return s;
}

void CellDelegate::DrawSpill(QPainter* p, const Spill& s, const SheetModel::Look& look, const QRect& cell,
                             const QPalette& palette) {
  QRect visible = cell.intersected(QRect(QPoint(std::max(s.clipLeft, cell.left()), cell.top()),
                                         QPoint(std::min(s.clipRight, cell.right()), cell.bottom())));
  if (visible.isEmpty()) return;
  p->save();
  p->setClipRect(visible);
  p->setFont(look.font);
  p->setPen(look.color.isValid() ? look.color : palette.color(QPalette::Text));
  p->drawText(s.layout.adjusted(kTextPad, 0, -kTextPad, 0),
              DrawFlags(Qt::AlignLeft | (look.align & Qt::AlignVertical_Mask), Qt::TextSingleLine), look.text);
  p->restore();
}

QString CellDelegate::FitNumber(const QString& text, const QFont& font, int width) {
  QFontMetrics metrics(font);
  if (metrics.horizontalAdvance(text) + 2 * kTextPad <= width) return text;
  int hash = std::max(1, metrics.horizontalAdvance(QLatin1Char('#')));
  return QString(std::max(1, (width - 2 * kTextPad) / hash), QLatin1Char('#'));
}

int CellDelegate::BorderWidth(const BorderSide& side) { return KindOf(side.style).width; }

CellDelegate::CellDelegate(QTableView* view, const SheetModel* model)
    : QStyledItemDelegate(view), view_(view), model_(model) {}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  // Everything is painted here from the model's look of the cell: the style's item drawing
  // would elide text, and paints a selected row's panel beneath the cell.
  const bool selected = option.state & QStyle::State_Selected;
  const bool current = view_->currentIndex() == index;
  const int r1 = index.row(), c1 = index.column();
  const int r2 = r1 + std::max(1, view_->rowSpan(r1, c1)) - 1;
  const int c2 = c1 + std::max(1, view_->columnSpan(r1, c1)) - 1;
  const bool single = r1 == r2 && c1 == c2;
  const SheetModel::Look look = model_->look(r1, c1);
  const Style* own = look.style;

  const QRect& rc = option.rect;
  painter->save();
  painter->setClipRect(rc);
  const bool filled = look.fill.isValid();
  painter->fillRect(rc, filled ? look.fill : option.palette.color(QPalette::Base));
  if (own && !own->gradient.empty()) DrawGradient(painter, rc, own->gradient);
  if (own) DrawDiagonals(painter, rc, *own);

  bool gridRight = !filled;
  if (look.kind != SheetModel::Look::Empty && !look.text.isEmpty()) {
    const int textWidth = TextWidth(look);
    const QColor color = look.color.isValid() ? look.color : option.palette.color(QPalette::Text);
    const QRect textRect = rc.adjusted(kTextPad, 0, -kTextPad, 0);
    painter->setFont(look.font);
    painter->setPen(color);
    if (look.kind == SheetModel::Look::Number) {
      painter->drawText(textRect, DrawFlags(look.align, Qt::TextSingleLine), FitNumber(look.text, look.font, rc.width()));
    } else if (look.wrap) {
      painter->drawText(textRect, DrawFlags(look.align, Qt::TextWordWrap), look.text);
    } else if (single && look.spills && textWidth > rc.width()) {
      Spill spill = SpillOf(r1, c1, look, rc);
      DrawSpill(painter, spill, look, rc, option.palette);
      gridRight = gridRight && !spill.coversRightEdgeOf(rc);
    } else {
      painter->drawText(textRect, DrawFlags(look.align, Qt::TextSingleLine), look.text);
    }
  } else if (single && look.kind == SheetModel::Look::Empty) {
    // Text of a neighbour that runs over this empty cell.
    for (int owner : {model_->previousFilled(r1, c1), model_->nextFilled(r1, c1)}) {
      // A merged range keeps its text to itself.
      if (owner < 0 || view_->rowSpan(r1, owner) > 1 || view_->columnSpan(r1, owner) > 1) continue;
      SheetModel::Look other = model_->look(r1, owner);
      if (!other.spills) continue;
      Qt::Alignment h = other.align & Qt::AlignHorizontal_Mask;
      if (owner < c1 ? bool(h & Qt::AlignRight) : !(h & (Qt::AlignRight | Qt::AlignHCenter))) continue;
      QRect ownerRect(view_->columnViewportPosition(owner), rc.top(), view_->columnWidth(owner), rc.height());
      if (TextWidth(other) <= ownerRect.width()) continue;
      Spill spill = SpillOf(r1, owner, other, ownerRect);
      DrawSpill(painter, spill, other, rc, option.palette);
      if (spill.coversRightEdgeOf(rc)) gridRight = false;
    }
  }

  if (gridRight) painter->fillRect(QRect(rc.right(), rc.top(), 1, rc.height()), QColor::fromRgba(kGridColor));
  if (!filled) painter->fillRect(QRect(rc.left(), rc.bottom(), rc.width(), 1), QColor::fromRgba(kGridColor));

  // A merged range is painted as one item: its right and bottom edges run along several
  // cells, each with its own border, as far as they are in sight.
  auto visibleRows = [&](int& first, int& last) {
    int top = view_->rowAt(std::max(0, rc.top())), bottom = view_->rowAt(rc.bottom());
    first = top < 0 ? r1 : std::max(r1, top);
    last = bottom < 0 ? r2 : std::min(r2, bottom);
  };
  auto visibleCols = [&](int& first, int& last) {
    int left = view_->columnAt(std::max(0, rc.left())), right = view_->columnAt(rc.right());
    first = left < 0 ? c1 : std::max(c1, left);
    last = right < 0 ? c2 : std::min(c2, right);
  };
  const BorderSide none;
  int first, last;
  visibleRows(first, last);
  for (int row = first; row <= last; ++row) {
    const Style* s = row == r1 && c2 == c1 ? own : model_->styleAt(row, c2);
    const Style* next = model_->styleAt(row, c2 + 1);
    const BorderSide& side = Shown(s ? s->right : none, next ? &next->left : nullptr);
    int y = view_->rowViewportPosition(row);
    DrawEdge(painter, Qt::Vertical, rc.right(), std::max(y, rc.top()),
             std::min(y + view_->rowHeight(row) - 1, rc.bottom()), side);
  }
  visibleCols(first, last);
  for (int col = first; col <= last; ++col) {
    const Style* s = col == c1 && r2 == r1 ? own : model_->styleAt(r2, col);
    const Style* below = model_->styleAt(r2 + 1, col);
    const BorderSide& side = Shown(s ? s->bottom : none, below ? &below->top : nullptr);
    int x = view_->columnViewportPosition(col);
    DrawEdge(painter, Qt::Horizontal, rc.bottom(), std::max(x, rc.left()),
             std::min(x + view_->columnWidth(col) - 1, rc.right()), side);
  }
  // The first row and column have no neighbour to draw their top and left sides.
  if (r1 == 0 || c1 == 0) {
    if (r1 == 0 && own) DrawEdge(painter, Qt::Horizontal, rc.top() + BorderWidth(own->top) - 1, rc.left(), rc.right(), own->top);
    if (c1 == 0 && own) DrawEdge(painter, Qt::Vertical, rc.left() + BorderWidth(own->left) - 1, rc.top(), rc.bottom(), own->left);
  }

  if (current) {
    const QColor frame = QColor::fromRgba(kCurrentFrameColor);
    painter->fillRect(QRect(rc.left(), rc.top(), rc.width(), 2), frame);
    painter->fillRect(QRect(rc.left(), rc.bottom() - 1, rc.width(), 2), frame);
    painter->fillRect(QRect(rc.left(), rc.top(), 2, rc.height()), frame);
    painter->fillRect(QRect(rc.right() - 1, rc.top(), 2, rc.height()), frame);
  } else if (selected) {
    painter->fillRect(rc, QColor(33, 115, 70, 40));
  }
  painter->restore();
}

}  // namespace corvane
