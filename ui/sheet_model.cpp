#include "ui/sheet_model.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "engine/core/cellref.h"

namespace corvane {

namespace {

QColor ToQColor(Rgb rgb) { return QColor::fromRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// How much of the pattern colour a patterned fill shows, for painting it as one flat colour.
double PatternDensity(FillPattern p) {
  switch (p) {
    case FillPattern::None: return 0;
    case FillPattern::Solid: return 1;
    case FillPattern::DarkGray: return 0.75;
    case FillPattern::MediumGray: return 0.5;
    case FillPattern::LightGray: return 0.25;
    case FillPattern::Gray125: return 0.125;
    case FillPattern::Gray0625: return 0.0625;
    case FillPattern::DarkTrellis: return 0.75;
    case FillPattern::DarkHorizontal:
    case FillPattern::DarkVertical:
    case FillPattern::DarkDown:
    case FillPattern::DarkUp:
    case FillPattern::DarkGrid: return 0.5;
    default: return 0.25;  // the light hatches
  }
}

// The flat colour a cell's fill shows, if it has one; a gradient's first colour for a gradient.
std::optional<QColor> FillColor(const Style& s) {
  if (!s.gradient.empty()) return s.gradient.stops.front().color == kAutoColor ? std::nullopt
                                                                                 : std::optional(ToQColor(s.gradient.stops.front().color));
  if (s.pattern == FillPattern::None) return std::nullopt;
  // An automatic pattern colour is the window text colour, an automatic background the
  // window colour.
  Rgb fg = s.fillFg == kAutoColor ? 0x000000 : s.fillFg;
  if (s.pattern == FillPattern::Solid) return ToQColor(fg);
  Rgb bg = s.fillBg == kAutoColor ? 0xFFFFFF : s.fillBg;
  double a = PatternDensity(s.pattern);
  auto mix = [a](int f, int b) { return static_cast<int>(std::lround(f * a + b * (1 - a))); };
  return QColor(mix((fg >> 16) & 0xFF, (bg >> 16) & 0xFF), mix((fg >> 8) & 0xFF, (bg >> 8) & 0xFF),
                mix(fg & 0xFF, bg & 0xFF));
}

Qt::Alignment Horizontal(const Style& s, Align general) {
  switch (s.hAlign) {
    case HAlign::General:
      return general == Align::Left ? Qt::AlignLeft : general == Align::Center ? Qt::AlignHCenter : Qt::AlignRight;
    case HAlign::Left:
    case HAlign::Fill: return Qt::AlignLeft;
    case HAlign::Right: return Qt::AlignRight;
    case HAlign::Center:
    case HAlign::CenterContinuous:
    case HAlign::Distributed: return Qt::AlignHCenter;
    case HAlign::Justify: return Qt::AlignJustify;
  }
  return Qt::AlignLeft;
}

Qt::Alignment Vertical(const Style& s) {
  switch (s.vAlign) {
    case VAlign::Top:
    case VAlign::Justify: return Qt::AlignTop;
    case VAlign::Center:
    case VAlign::Distributed: return Qt::AlignVCenter;
    case VAlign::Bottom: return Qt::AlignBottom;
  }
  return Qt::AlignBottom;
}

// A number as it is typed: up to 15 significant digits, no grouping, E notation for the
// very large and very small, the decimal point of the user's language.
QString PlainNumber(double v, const Separators& separators) {
  if (!std::isfinite(v)) return QStringLiteral("#NUM!");
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  if (auto e = s.find('e'); e != std::string::npos) s[e] = 'E';
  if (auto point = s.find('.'); point != std::string::npos) s.replace(point, 1, separators.Decimal());
  return QString::fromStdString(s);
}

Separators LocaleSeparators() {
  QLocale locale;
  return Separators(locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString());
}

bool HasPercent(const std::string& code) {
  bool quoted = false;
  for (size_t i = 0; i < code.size(); ++i) {
    char ch = code[i];
    if (ch == '"') quoted = !quoted;
    else if (!quoted && ch == '\\') ++i;
    else if (!quoted && ch == '%') return true;
  }
  return false;
}

}  // namespace

SheetModel::SheetModel(const SheetData& data, const std::vector<Style>& styles, bool date1904, QObject* parent)
    : QAbstractTableModel(parent),
      data_(data),
      styles_(styles),
      date1904_(date1904),
      separators_(LocaleSeparators()),
      formats_(styles.size()),
      fonts_(styles.size()) {
  int32_t lastRow = data.used.empty() ? -1 : data.used.r2;
  int32_t lastCol = data.used.empty() ? -1 : data.used.c2;
  if (!data.cells.empty()) lastRow = std::max<int32_t>(lastRow, static_cast<int32_t>(data.cells.back().row));
  for (const Rect& m : data.merges) {
    lastRow = std::max(lastRow, m.r2);
    lastCol = std::max(lastCol, m.c2);
  }
  rows_ = static_cast<int>(std::min<int64_t>(kMaxRows, std::max<int64_t>(kMinRows, int64_t{lastRow} + 1 + kSlackRows)));
  cols_ = static_cast<int>(std::min<int64_t>(kMaxCols, std::max<int64_t>(kMinColumns, int64_t{lastCol} + 1 + kSlackColumns)));
}

int SheetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int SheetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

void SheetModel::growRows(int count) {
  int target = static_cast<int>(std::min<int64_t>(kMaxRows, int64_t{rows_} + std::max(count, 0)));
  if (target <= rows_) return;
  beginInsertRows(QModelIndex(), rows_, target - 1);
  rows_ = target;
  endInsertRows();
}

void SheetModel::growColumns(int count) {
  int target = static_cast<int>(std::min<int64_t>(kMaxCols, int64_t{cols_} + std::max(count, 0)));
  if (target <= cols_) return;
  beginInsertColumns(QModelIndex(), cols_, target - 1);
  cols_ = target;
  endInsertColumns();
}

const Cell* SheetModel::cellAt(int row, int col) const {
  if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxCols) return nullptr;
  ++lookups_;
  return data_.find(row, col);
}

const Style& SheetModel::style(uint32_t styleIndex) const {
  static const Style kDefault;
  return styleIndex < styles_.size() ? styles_[styleIndex] : kDefault;
}

const Style* SheetModel::styleAt(int row, int col) const {
  const Cell* c = cellAt(row, col);
  return c ? &style(c->style) : nullptr;
}

const NumberFormat& SheetModel::format(uint32_t styleIndex) const {
  static const NumberFormat kGeneral;
  if (styleIndex >= formats_.size()) return kGeneral;
  auto& slot = formats_[styleIndex];
  if (!slot) slot.emplace(styles_[styleIndex].numFmt);
  return *slot;
}

const QFont& SheetModel::font(uint32_t styleIndex) const {
  static const QFont kNone;
  if (styleIndex >= fonts_.size()) return kNone;
  auto& slot = fonts_[styleIndex];
  if (!slot) {
    const Style& s = styles_[styleIndex];
    QFont f(QString::fromStdString(s.fontName));
    if (s.fontSize > 0) f.setPointSizeF(s.fontSize);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    f.setUnderline(s.underline != Underline::None);
    f.setStrikeOut(s.strike);
    slot = f;
  }
  return *slot;
}

RenderedValue SheetModel::render(const Cell& c) const {
  const NumberFormat& fmt = format(c.style);
  switch (c.type) {
    case CellType::Blank: return RenderedValue{{}, kAutoColor, Align::Left};
    case CellType::Number: return fmt.Number(c.number(), date1904_, separators_);
    case CellType::String: return fmt.Text(data_.str(c));
    case CellType::Bool: return RenderBool(c.boolean());
    case CellType::Error: return RenderError(ErrorText(c.error()));
    case CellType::Formula: {
      if (c.formulaIndex() >= data_.formulas.size()) return RenderedValue{{}, kAutoColor, Align::Left};
      const Formula& f = data_.formula(c);
      switch (c.cached()) {
        case CachedKind::Number: return fmt.Number(c.number(), date1904_, separators_);
        case CachedKind::String: return fmt.Text(f.cachedString);
        case CachedKind::Bool: return RenderBool(c.boolean());
        case CachedKind::Error: return RenderError(ErrorText(f.cachedErrorCode()));
        case CachedKind::None: break;
      }
      return RenderedValue{{}, kAutoColor, Align::Left};
    }
  }
  return RenderedValue{{}, kAutoColor, Align::Left};
}

QString SheetModel::displayText(int row, int col) const {
  const Cell* c = cellAt(row, col);
  return c ? QString::fromStdString(render(*c).text) : QString();
}

QString SheetModel::formulaBarText(int row, int col) const {
  const Cell* c = cellAt(row, col);
  if (!c) return {};
  const Style& s = style(c->style);
  switch (c->type) {
    case CellType::Blank: return {};
    case CellType::String: {
      auto v = data_.str(*c);
      return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
    }
    case CellType::Bool: return c->boolean() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellType::Error: return QString::fromLatin1(ErrorText(c->error()).data());
    case CellType::Formula: {
      if (c->formulaIndex() >= data_.formulas.size()) return {};
      const Formula& f = data_.formula(*c);
      QString text = QLatin1Char('=') + QString::fromStdString(f.text);
      return f.kind == FormulaKind::Array ? QLatin1Char('{') + text + QLatin1Char('}') : text;
    }
    case CellType::Number: break;
  }
  // A date is typed as a date, a percentage with its sign; any other number as it is.
  double v = c->number();
  if (format(c->style).IsDateTime() && v >= 0) {
    double whole = std::floor(v);
    const char* code = v == whole ? "m/d/yyyy" : v < 1 ? "h:mm:ss AM/PM" : "m/d/yyyy h:mm:ss AM/PM";
    return QString::fromStdString(NumberFormat(code).Number(v, date1904_, separators_).text);
  }
  if (HasPercent(s.numFmt)) return PlainNumber(v * 100, separators_) + QLatin1Char('%');
  return PlainNumber(v, separators_);
}

SheetModel::Look SheetModel::look(int row, int col) const {
  Look out;
  const Cell* c = cellAt(row, col);
  if (!c) return out;
  const Style& s = style(c->style);
  out.style = &s;
  out.font = font(c->style);
  if (auto fill = FillColor(s)) out.fill = *fill;
  out.wrap = s.wrap;
  out.align = Horizontal(s, Align::Left) | Vertical(s);
  if (c->type == CellType::Blank) return out;
  bool text = c->type == CellType::String;
  bool number = c->type == CellType::Number;
  if (c->type == CellType::Formula) {
    CachedKind kind = c->cached();
    if (kind == CachedKind::None) return out;
    text = kind == CachedKind::String;
    number = kind == CachedKind::Number;
  }
  RenderedValue v = render(*c);
  out.kind = text ? Look::Text : number ? Look::Number : Look::Other;
  out.text = QString::fromStdString(v.text);
  Rgb rgb = v.color != kAutoColor ? v.color : s.fontColor;
  if (rgb != kAutoColor) out.color = ToQColor(rgb);
  out.align = Horizontal(s, v.align) | Vertical(s);
  out.spills = text && !s.wrap && !s.shrink &&
               (s.hAlign == HAlign::General || s.hAlign == HAlign::Left || s.hAlign == HAlign::Right ||
                s.hAlign == HAlign::Center || s.hAlign == HAlign::CenterContinuous);
  return out;
}

namespace {
// Shows something: a value, or a formula with a result; not a cell that carries only a format.
bool Filled(const Cell& c) {
  if (c.type == CellType::Blank) return false;
  return c.type != CellType::Formula || c.cached() != CachedKind::None;
}
constexpr int kReach = 256;  // format-only cells stepped over before giving up
}  // namespace

int SheetModel::previousFilled(int row, int col) const {
  if (row < 0 || row >= kMaxRows || col <= 0) return -1;
  ++lookups_;
  Cell key;
  key.row = static_cast<uint32_t>(row);
  key.col = static_cast<uint16_t>(std::min(col, kMaxCols - 1));
  auto it = std::lower_bound(data_.cells.begin(), data_.cells.end(), key, [](const Cell& a, const Cell& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  });
  for (int steps = 0; it != data_.cells.begin() && steps < kReach; ++steps) {
    --it;
    if (it->row != key.row) return -1;
    if (Filled(*it)) return it->col;
  }
  return -1;
}

int SheetModel::nextFilled(int row, int col) const {
  if (row < 0 || row >= kMaxRows || col >= kMaxCols - 1) return -1;
  ++lookups_;
  Cell key;
  key.row = static_cast<uint32_t>(row);
  key.col = static_cast<uint16_t>(std::max(col + 1, 0));
  auto it = std::lower_bound(data_.cells.begin(), data_.cells.end(), key, [](const Cell& a, const Cell& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  });
  for (int steps = 0; it != data_.cells.end() && steps < kReach; ++steps, ++it) {
    if (it->row != key.row) return -1;
    if (Filled(*it)) return it->col;
  }
  return -1;
}

QString SheetModel::address(int row, int col) { return QString::fromStdString(FormatA1(row, col)); }

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ForegroundRole:
    case Qt::BackgroundRole:
    case Qt::FontRole:
    case Qt::TextAlignmentRole:
    case Qt::EditRole:
    case FormulaBarRole:
      break;
    default:
      return {};
  }
  const Cell* c = cellAt(index.row(), index.column());
  if (!c) return {};
  if (role == Qt::EditRole || role == FormulaBarRole) return formulaBarText(index.row(), index.column());
  const Style& s = style(c->style);
  switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(render(*c).text);
    case Qt::ForegroundRole: {
      Rgb rgb = render(*c).color;
      if (rgb == kAutoColor) rgb = s.fontColor;
      if (rgb == kAutoColor) return {};
      return QBrush(ToQColor(rgb));
    }
    case Qt::BackgroundRole: {
      auto fill = FillColor(s);
      if (!fill) return {};
      return QBrush(*fill);
    }
    case Qt::FontRole: return font(c->style);
    case Qt::TextAlignmentRole:
      return static_cast<int>(Horizontal(s, render(*c).align) | Vertical(s));
  }
  return {};
}

void SheetModel::multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const {
  // The delegate asks for every role of a cell at once: look the cell up and render it once.
  const Cell* c = index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
  std::optional<RenderedValue> rendered;
  auto value = [&]() -> const RenderedValue& {
    if (!rendered) rendered = render(*c);
    return *rendered;
  };
  for (QModelRoleData& rd : roleDataSpan) {
    int role = rd.role();
    if (!c) {
      rd.clearData();
      continue;
    }
    const Style& s = style(c->style);
    switch (role) {
      case Qt::DisplayRole: rd.setData(QString::fromStdString(value().text)); break;
      case Qt::ForegroundRole: {
        Rgb rgb = value().color;
        if (rgb == kAutoColor) rgb = s.fontColor;
        if (rgb == kAutoColor) rd.clearData();
        else rd.setData(QBrush(ToQColor(rgb)));
        break;
      }
      case Qt::BackgroundRole: {
        auto fill = FillColor(s);
        if (fill) rd.setData(QBrush(*fill));
        else rd.clearData();
        break;
      }
      case Qt::FontRole: rd.setData(font(c->style)); break;
      case Qt::TextAlignmentRole: rd.setData(static_cast<int>(Horizontal(s, value().align) | Vertical(s))); break;
      case Qt::EditRole:
      case FormulaBarRole: rd.setData(formulaBarText(index.row(), index.column())); break;
      default: rd.clearData(); break;
    }
  }
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString::fromStdString(ColumnName(section));
  return QString::number(section + 1);
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

}  // namespace corvane
