// Paints the cells of a sheet the way a spreadsheet does: the cell's own fill and text,
// light grid lines where no fill covers them, each side's border in its colour, width and
// dash, a tint over the selection and a frame around the current cell.
#pragma once

#include <QStyledItemDelegate>

#include "ui/sheet_model.h"

class QTableView;

namespace corvane {

struct BorderSide;

class CellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // The view tells the delegate its merged ranges and current cell; it must outlive it.
  CellDelegate(QTableView* view, const SheetModel* model);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  static constexpr QRgb kGridColor = 0xFFD8D8D8;
  static constexpr QRgb kCurrentFrameColor = 0xFF217346;

  // A number as it shows in a cell `width` pixels wide: itself when it fits, else as many #
  // as the cell holds. A number never shows in part.
  static QString FitNumber(const QString& text, const QFont& font, int width);

  // How many pixels a border line of this kind takes (0 for none).
  static int BorderWidth(const BorderSide& side);

 private:
  struct Spill;
  Spill SpillOf(int row, int col, const SheetModel::Look& look, const QRect& cellRect) const;
  static void DrawSpill(QPainter* p, const Spill& s, const SheetModel::Look& look, const QRect& cell,
                        const QPalette& palette);

  QTableView* view_;
  const SheetModel* model_;
};

}  // namespace corvane
