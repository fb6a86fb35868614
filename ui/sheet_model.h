// The grid of a worksheet as a Qt table model. Cells are looked up in the sheet's sorted
// cell array when the view asks for them: nothing is built per cell or per row, so a sheet
// of a million rows opens as fast as one of ten.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <memory>
#include <optional>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/number_format.h"
#include "engine/core/style.h"

namespace corvane {

class SheetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // What the formula bar shows for a cell: "=" and the formula text as stored for a formula,
  // else the value as it would be typed in (a number with the locale's decimal point).
  static constexpr int FormulaBarRole = Qt::UserRole + 1;

  // Rows and columns shown past the last used ones, so the sheet can be scrolled a little
  // beyond its data; the view asks for more with growRows / growColumns.
  static constexpr int kSlackRows = 100;
  static constexpr int kSlackColumns = 10;
  static constexpr int kMinRows = 200;
  static constexpr int kMinColumns = 52;  // A..AZ

  // `data`, `styles` must outlive the model; the cells must be sorted. Numbers show the
  // decimal point and thousands separator of the default QLocale (the user's language).
  SheetModel(const SheetData& data, const std::vector<Style>& styles, bool date1904, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Every role of one cell from one look-up: what the delegate asks for when it paints.
  void multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Adds up to `count` rows / columns at the end, never past the sheet's last.
  void growRows(int count);
  void growColumns(int count);

  // The cell at (row, col), or nullptr for a cell that holds nothing.
  const Cell* cellAt(int row, int col) const;
  // The format of a cell; nullptr where there is no cell (the default look).
  const Style* styleAt(int row, int col) const;
  // The text the cell shows, through its number format.
  QString displayText(int row, int col) const;

  // Everything the delegate paints a cell from, from one look-up. Text spills over empty
  // neighbours; a number too wide for its column shows as ####.
  struct Look {
    enum Kind { Empty, Text, Number, Other };
    Kind kind = Empty;
    QString text;
    QFont font;
    QColor color;  // invalid for the automatic colour
    QColor fill;   // invalid for no fill
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignBottom;
    bool wrap = false;
    bool spills = false;  // text that may run over empty neighbours (no wrap, no fill/justify)
    const Style* style = nullptr;  // null where there is no cell
  };
  Look look(int row, int col) const;
  // The nearest column left of / right of `col` in `row` whose cell shows something
  // (more than a format), or -1 when there is none within reach.
  int previousFilled(int row, int col) const;
  int nextFilled(int row, int col) const;
  QString formulaBarText(int row, int col) const;
  // "A1"
  static QString address(int row, int col);

  // How many times a cell was looked up: what the model did for the view.
  quint64 lookupCount() const { return lookups_; }

 private:
  RenderedValue render(const Cell& c) const;
  const NumberFormat& format(uint32_t styleIndex) const;
  const QFont& font(uint32_t styleIndex) const;
  const Style& style(uint32_t styleIndex) const;

  const SheetData& data_;
  const std::vector<Style>& styles_;
  bool date1904_;
  Separators separators_;
  int rows_, cols_;
  // One compiled number format and one font per style, made when first needed.
  mutable std::vector<std::optional<NumberFormat>> formats_;
  mutable std::vector<std::optional<QFont>> fonts_;
  mutable quint64 lookups_ = 0;
};

}  // namespace corvane
