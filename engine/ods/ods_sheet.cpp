#include "engine/ods/ods_sheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/iso_date.h"
#include "engine/core/number_text.h"
#include "engine/core/sheet_builder.h"
#include "engine/core/unicode.h"
#include "engine/ods/odf_text.h"
#include "engine/ods/ods_styles.h"

namespace corvane::ods {

namespace {

// Cells that repeat counts may add to one sheet beyond those written out one by one.
// A file claiming more is an attack or broken, and would not fit in memory anyway.
constexpr uint64_t kMaxRepeatedCells = uint64_t(1) << 23;
// Characters kept of one cell's text; Excel holds 32,767.
constexpr size_t kMaxCellText = 1u << 20;
// The column count of older LibreOffice sheets: formatting that runs up to it is a
// whole-row format like one that runs to column XFD.
constexpr int32_t kLegacyCols = 1024;

// A repeat count: at least 1; large values are kept as they are (the caller caps them).
inline uint64_t Count(const char* v) {
  uint64_t n = 0;
  int digits = 0;
  for (; *v >= '0' && *v <= '9'; ++v) {
    if (++digits > 12) return UINT64_C(999999999999);
    n = n * 10 + static_cast<uint64_t>(*v - '0');
  }
  return n == 0 ? 1 : n;
}

// "PT10H10M10.5S", "-PT1H", "P1DT2H": a duration as a fraction of a day.
bool ParseDuration(std::string_view v, double& days) {
  size_t i = 0;
  bool negative = i < v.size() && v[i] == '-';
  if (negative) ++i;
  if (i >= v.size() || v[i] != 'P') return false;
  ++i;
  double total = 0;
  bool inTime = false, any = false;
  while (i < v.size()) {
    if (v[i] == 'T') {
      inTime = true;
      ++i;
      continue;
    }
    double x = 0;
    auto r = std::from_chars(v.data() + i, v.data() + v.size(), x);
    if (r.ec != std::errc() || r.ptr == v.data() + v.size()) return false;
    i = static_cast<size_t>(r.ptr - v.data());
    char unit = v[i++];
    if (unit == 'D' && !inTime) total += x;
    else if (unit == 'H' && inTime) total += x / 24;
    else if (unit == 'M' && inTime) total += x / 1440;
    else if (unit == 'S' && inTime) total += x / 86400;
    else return false;
    any = true;
  }
  if (!any || !std::isfinite(total)) return false;
  days = negative ? -total : total;
  return true;
}

std::string ThousandsSeparated(uint64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<size_t>(i), ",");
  return s;
}

// One table of content.xml into SheetData: the hot path.
class TableHandler final : public SheetHandler {
 public:
  TableHandler(SheetData& sheet, const OdsStyleSheet& styles, bool date1904, size_t target, std::string what,
               const FormulaServices& formulas)
      : sheet_(sheet), styles_(styles), date1904_(date1904), target_(target), what_(std::move(what)),
        formulas_(formulas), colDefault_(kMaxCols, 0) {}

  bool found() const override { return found_; }
  bool started() const override { return depth_ > 0 || found_; }
  void usePrefixes(const Prefixes& p) override { prefixes_ = p; }

  void start(std::string_view name, const char** a) override {
    ++depth_;
    if (depth_ == 1) return prefixes_.read(a);
    if (!inTable_) {
      if (name == "spreadsheet" && depth_ == 3) {
        sheetAt_ = depth_;
      } else if (sheetAt_ && depth_ == sheetAt_ + 1 && name == "table") {
        if (tableIndex_++ == target_) {
          inTable_ = true;
          found_ = true;
          tableAt_ = depth_;
        }
      }
      return;
    }
    if (skipAt_) return;
    if (cellAt_) return startInCell(name, a);
    switch (name.size()) {
      case 9:
        if (name == "table-row") return startRow(a);
        break;
      case 10:
        if (name == "table-cell") return startCell(a);
        break;
      case 12:
        if (name == "table-column") return startColumn(a);
        break;
      case 18:
        if (name == "covered-table-cell") return startCell(a);  // may hold a value of its own
        break;
      default:
        break;
    }
  }

  void end(std::string_view name) override {
    if (inTable_) {
      if (skipAt_) {
        if (skipAt_ == depth_) skipAt_ = 0;
      } else if (cellAt_) {
        if (depth_ == cellAt_) endCell();
        else endInCell(name);
      } else if (rowAt_ == depth_) {
        endRow();
      } else if (depth_ == tableAt_) {
        throw StopParsing{};
      }
    } else if (depth_ == sheetAt_) {
      throw StopParsing{};
    }
    --depth_;
  }

  void text(std::string_view s) override {
    if (!collect_) return;
    if (annoAt_) {
      if (authorText_.inParagraph()) authorText_.characters(annoAuthorText_, s);
      else annoText_.characters(annoBuf_, s);
      return;
    }
    cellText_.characters(text_, s);
  }

 private:
  [[noreturn]] void damaged(const std::string& why) { throw AutomationError(what_ + " is damaged: " + why + "."); }

  uint32_t styleIndex(const char* name) {
    if (lastStyleName_ == name) return lastStyle_;
    lastStyleName_ = name;
    lastStyle_ = styles_.index(lastStyleName_);
    return lastStyle_;
  }

  // "collapse" and "filter" hide a row or column.
  static bool Hidden(const char* visibility) { return std::strcmp(visibility, "visible") != 0; }

  void startColumn(const char** a) {
    uint64_t n = 1;
    ColInfo info;
    for (const char** p = a; *p; p += 2) {
      size_t at;
      std::string_view k = Local(p[0], at);
      if (!HasPrefix(p[0], at, prefixes_.table)) continue;
      if (k == "number-columns-repeated") n = Count(p[1]);
      else if (k == "default-cell-style-name") info.style = styleIndex(p[1]);
      else if (k == "style-name") info.width = styles_.columnWidth(p[1]);
      else if (k == "visibility") info.hidden = Hidden(p[1]);
    }
    if (colPos_ >= kMaxCols) return;
    info.first = colPos_;
    for (uint64_t i = 0; i < n && colPos_ < kMaxCols; ++i) colDefault_[static_cast<size_t>(colPos_++)] = info.style;
    info.last = colPos_ - 1;
    info.hasStyle = info.style != 0;
    if (info.hasStyle || info.hidden || info.width >= 0) sheet_.colInfo.push_back(info);
  }

  void startRow(const char** a) {
    rowAt_ = depth_;
    rowRepeat_ = 1;
    rowStyle_ = 0;
    hasRowStyle_ = false;
    rowInfo_ = RowInfo{};
    for (const char** p = a; *p; p += 2) {
      size_t at;
      std::string_view k = Local(p[0], at);
      if (!HasPrefix(p[0], at, prefixes_.table)) continue;
      if (k == "number-rows-repeated") {
        rowRepeat_ = Count(p[1]);
      } else if (k == "default-cell-style-name") {
        rowStyle_ = styleIndex(p[1]);
        hasRowStyle_ = true;
      } else if (k == "style-name") {
        rowInfo_.height = styles_.rowHeight(p[1]);
      } else if (k == "visibility") {
        rowInfo_.hidden = Hidden(p[1]);
      }
    }
    col_ = 0;
    runs_.clear();
    edgeStyle_ = UINT32_MAX;
  }

  void startCell(const char** a) {
    cellAt_ = depth_;
    colRepeat_ = 1;
    valueType_ = 0;
    errorValue_ = false;
    value_ = dateValue_ = timeValue_ = boolValue_ = stringValue_ = formula_ = nullptr;
    styleName_ = nullptr;
    spanCols_ = spanRows_ = matrixCols_ = matrixRows_ = 1;
    text_.clear();
    cellText_.reset();
    hasText_ = false;
    link_.clear();
    hasComment_ = false;
    for (const char** p = a; *p; p += 2) {
      size_t at;
      std::string_view k = Local(p[0], at);
      const char* v = p[1];
      if (HasPrefix(p[0], at, prefixes_.office)) {
        if (k == "value-type") valueType_ = ValueTypeOf(v);
        else if (k == "value") value_ = v;
        else if (k == "date-value") dateValue_ = v;
        else if (k == "time-value") timeValue_ = v;
        else if (k == "boolean-value") boolValue_ = v;
        else if (k == "string-value") stringValue_ = v;
      } else if (HasPrefix(p[0], at, prefixes_.table)) {
        if (k == "style-name") styleName_ = v;
        else if (k == "number-columns-repeated") colRepeat_ = Count(v);
        else if (k == "formula") formula_ = v;
        else if (k == "number-columns-spanned") spanCols_ = Count(v);
        else if (k == "number-rows-spanned") spanRows_ = Count(v);
        else if (k == "number-matrix-columns-spanned") matrixCols_ = Count(v);
        else if (k == "number-matrix-rows-spanned") matrixRows_ = Count(v);
      } else if (HasPrefix(p[0], at, prefixes_.calcext)) {
        if (k == "value-type" && std::strcmp(v, "error") == 0) errorValue_ = true;
      }
    }
    // Only strings, errors and cells without a type need their paragraphs; the others
    // hold a number's display text there.
    collect_ = valueType_ == 0 || valueType_ == 's' || errorValue_;
    // The attribute strings live in the parser's buffer until the next tag: keep what endCell needs.
    if (formula_) formulaText_ = formula_;
    if (stringValue_) stringValueText_ = stringValue_;
    cellStyle_ = styleName_ ? styleIndex(styleName_) : UINT32_MAX;
    // Values are read now, while the attribute text is valid.
    readValue();
  }

  static char ValueTypeOf(const char* v) {
    switch (v[0]) {
      case 'f': return v[1] == 'l' ? 'n' : 0;  // float
      case 'p': return 'n';                    // percentage
      case 'c': return 'n';                    // currency
      case 'd': return 'd';                    // date
      case 't': return 't';                    // time
      case 'b': return 'b';                    // boolean
      case 's': return 's';                    // string
      default: return 0;                       // void and anything unknown
    }
  }

  void readValue() {
    hasNumber_ = false;
    num_ = 0;
    switch (valueType_) {
      case 'n':
        if (value_ && ParseNumberText(value_, num_)) hasNumber_ = true;
        break;
      case 'd':
        if (dateValue_) {
          if (IsoDateToSerial(dateValue_, date1904_, num_)) {
            hasNumber_ = true;
          } else {
            // A date no serial number can hold (before 1900, say): kept as the text it is.
            valueType_ = 's';
            stringValueText_ = dateValue_;
            stringValue_ = dateValue_;
          }
        } else if (value_ && ParseNumberText(value_, num_)) {
          hasNumber_ = true;
        }
        break;
      case 't':
        if (timeValue_ && ParseDuration(timeValue_, num_)) hasNumber_ = true;
        else if (value_ && ParseNumberText(value_, num_)) hasNumber_ = true;
        break;
      case 'b':
        if (boolValue_) {
          num_ = std::strcmp(boolValue_, "true") == 0 || std::strcmp(boolValue_, "1") == 0 ? 1 : 0;
          hasNumber_ = true;
        } else if (value_ && ParseNumberText(value_, num_)) {
          num_ = num_ != 0;
          hasNumber_ = true;
        }
        break;
      default:
        break;
    }
  }

  void startInCell(std::string_view name, const char** a) {
    if (annoAt_) {
      if (name == "creator") {
        annoAuthorText_.clear();
        authorText_.reset();
        authorText_.beginParagraph(annoAuthorText_);
      } else if (name == "p" || name == "h") {
        annoText_.beginParagraph(annoBuf_);
      } else if (name == "s") {
        annoText_.spaces(annoBuf_, SpaceCount(a));
      } else if (name == "line-break") {
        annoText_.special(annoBuf_, '\n');
      } else if (name == "tab") {
        annoText_.special(annoBuf_, '\t');
      } else if (name == "date" || name == "frame") {
        skipAt_ = depth_;
      }
      return;
    }
    if (name == "p" || name == "h") {
      if (collect_) cellText_.beginParagraph(text_);
      hasText_ = true;
    } else if (name == "s") {
      if (collect_) cellText_.spaces(text_, SpaceCount(a));
    } else if (name == "tab") {
      if (collect_) cellText_.special(text_, '\t');
    } else if (name == "line-break") {
      if (collect_) cellText_.special(text_, '\n');
    } else if (name == "a") {
      if (link_.empty())
        for (const char** p = a; *p; p += 2) {
          size_t at;
          if (Local(p[0], at) == "href" && HasPrefix(p[0], at, prefixes_.xlink)) link_ = p[1];
        }
    } else if (name == "annotation") {
      annoAt_ = depth_;
      annoBuf_.clear();
      annoAuthorText_.clear();
      annoText_.reset();
      authorText_.reset();
      wasCollecting_ = collect_;
      collect_ = true;
    } else if (name == "table" || name == "frame" || name == "custom-shape" || name == "rect" || name == "line" ||
               name == "ellipse" || name == "g" || name == "note" || name == "control") {
      skipAt_ = depth_;  // drawings, nested tables and footnotes are no part of the cell's text
    }
  }

  void endInCell(std::string_view name) {
    if (!annoAt_) {
      if (name == "p" || name == "h") cellText_.endParagraph(text_);
      return;
    }
    if (depth_ == annoAt_) {
      Comment c;
      c.row = row_;
      c.col = col_;
      c.author = std::move(annoAuthorText_);
      c.text = std::move(annoBuf_);
      pendingComment_ = std::move(c);
      hasComment_ = true;
      annoAt_ = 0;
      collect_ = wasCollecting_;
    } else if (name == "creator") {
      authorText_.endParagraph(annoAuthorText_);
    } else if (name == "p" || name == "h") {
      annoText_.endParagraph(annoBuf_);
    }
  }

  // The spaces a <text:s> stands for.
  static size_t SpaceCount(const char** a) {
    uint64_t n = 1;
    for (const char** p = a; *p; p += 2) {
      size_t at;
      if (Local(p[0], at) == "c") n = Count(p[1]);
    }
    return static_cast<size_t>(std::min<uint64_t>(n, kMaxCellText));
  }

  // The last row (column) of `count` starting at `first`, cut at the sheet's edge `limit`.
  static int32_t LastOf(int32_t first, uint64_t count, int32_t limit) {
    return static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(first) + count, static_cast<uint64_t>(limit)) - 1);
  }

  void endCell() {
    cellAt_ = 0;
    collect_ = false;
    int32_t col = col_;
    uint64_t n = colRepeat_;
    uint64_t end = static_cast<uint64_t>(col) + n;
    bool reachesEdge = end >= static_cast<uint64_t>(kMaxCols) || end == static_cast<uint64_t>(kLegacyCols);
    col_ = static_cast<int32_t>(std::min<uint64_t>(end, kMaxCols));
    if (col >= kMaxCols) return;  // beyond the last column: dropped, as spreadsheet programs do
    uint32_t count = static_cast<uint32_t>(col_ - col);

    Cell c;
    bool content = true;
    if (formula_) {
      OdsFormula f = formulas_.ConvertOpenFormula(formulaText_);
      Formula out;
      out.text = std::move(f.text);
      out.valueOnly = f.valueOnly;
      CachedResult r;
      if (errorValue_) {
        // LibreOffice leaves office:string-value empty and shows the error in the paragraph.
        ErrorCode e = ParseError(stringValue_ && !stringValueText_.empty() ? stringValueText_ : text_);
        r = {CachedKind::Error, 0, e == ErrorCode::Unknown ? ErrorCode::Value : e, {}};
      } else if (valueType_ == 's') {
        std::string_view s = stringValue_ ? std::string_view(stringValueText_) : std::string_view(text_);
        ErrorCode e = ParseError(s);
        if (e != ErrorCode::Unknown) r = {CachedKind::Error, 0, e, {}};
        else r = {CachedKind::String, 0, ErrorCode::NA, s};
      } else if (hasNumber_) {
        r = {valueType_ == 'b' ? CachedKind::Bool : CachedKind::Number, num_, ErrorCode::NA, {}};
      }
      if (matrixCols_ > 1 || matrixRows_ > 1) {
        out.kind = FormulaKind::Array;
        out.arrayRange = Rect{row_, col, LastOf(row_, matrixRows_, kMaxRows), LastOf(col, matrixCols_, kMaxCols)};
      }
      c = b_.formula(std::move(out), r);
    } else if (valueType_ == 's' || (valueType_ == 0 && hasText_ && !text_.empty())) {
      c = b_.ownString(stringValue_ ? std::string_view(stringValueText_) : std::string_view(text_));
    } else if (hasNumber_) {
      c = valueType_ == 'b' ? Cell::BoolValue(num_ != 0) : Cell::NumberValue(num_);
    } else {
      content = false;
    }
    c.place(row_ < kMaxRows ? row_ : 0, col, UINT32_MAX);

    if (spanCols_ > 1 || spanRows_ > 1) {
      Rect m{row_, col, LastOf(row_, spanRows_, kMaxRows), LastOf(col, spanCols_, kMaxCols)};
      if (row_ < kMaxRows && (m.rows() > 1 || m.cols() > 1)) sheet_.merges.push_back(m);
    }
    if (row_ < kMaxRows) {
      if (hasComment_) sheet_.comments.push_back(std::move(pendingComment_));
      if (!link_.empty()) addLink(col);
    }

    uint32_t explicitStyle = cellStyle_ != UINT32_MAX ? cellStyle_ : hasRowStyle_ ? rowStyle_ : UINT32_MAX;
    if (!content) {
      // A format that runs to the sheet's edge is the row's own format from here on.
      if (reachesEdge) {
        if (explicitStyle != UINT32_MAX) edgeStyle_ = explicitStyle;
        return;
      }
      // A format alone, or the column's: whether it needs a cell is known when the row ends.
    }
    runs_.push_back(Run{c, explicitStyle, count, content});
  }

  void addLink(int32_t col) {
    Hyperlink l;
    l.row = row_;
    l.col = col;
    if (link_[0] == '#') {
      // "#Sheet2.A1" points into the workbook.
      std::string loc = link_.substr(1);
      size_t dot = loc.rfind('.');
      if (dot != std::string::npos && dot > 0) loc = loc.substr(0, dot) + "!" + loc.substr(dot + 1);
      if (!loc.empty() && loc[0] == '$') loc.erase(0, 1);
      l.location = std::move(loc);
    } else {
      l.target = link_;
    }
    sheet_.links.push_back(std::move(l));
  }

  void endRow() {
    rowAt_ = 0;
    int32_t row = row_;
    uint64_t n = rowRepeat_;
    uint64_t end = static_cast<uint64_t>(row) + n;
    bool reachesEdge = end >= static_cast<uint64_t>(kMaxRows);
    row_ = static_cast<int32_t>(std::min<uint64_t>(end, kMaxRows));
    if (row >= kMaxRows) return;
    uint32_t rows = static_cast<uint32_t>(row_ - row);

    // The row's own format: its default cell style, or a format that runs to the sheet's edge.
    // Rows repeated to the sheet's end are the rest of the sheet, not rows of its own.
    RowInfo info = rowInfo_;
    info.hasStyle = edgeStyle_ != UINT32_MAX || hasRowStyle_;
    info.style = edgeStyle_ != UINT32_MAX ? edgeStyle_ : hasRowStyle_ ? rowStyle_ : 0;
    bool keepInfo = !reachesEdge && (info.hasStyle || info.hidden || info.height >= 0) &&
                    repeated_ + rows <= kMaxRepeatedCells;
    if (keepInfo) {
      repeated_ += rows;
      for (uint32_t k = 0; k < rows; ++k) {
        info.row = row + static_cast<int32_t>(k);
        sheet_.rowInfo.push_back(info);
      }
    }
    const bool rowFormatted = keepInfo && info.hasStyle;
    if (runs_.empty()) return;

    // Cells of one copy of the row, then the copies.
    uint64_t contentPerRow = 0, formatPerRow = 0, contentRuns = 0;
    for (const Run& r : runs_) {
      if (r.content) {
        contentPerRow += r.count;
        ++contentRuns;
      } else if (r.style != UINT32_MAX || rowFormatted) {
        formatPerRow += r.count;  // at most: only positions unlike what they show anyway
      }
    }
    // Repeats may add only so many cells beyond those written out. Values past that are
    // refused; formats alone are given up rather than the sheet.
    uint64_t addedContent = contentPerRow * (rows - 1) + (contentPerRow - std::min(contentPerRow, contentRuns));
    if (repeated_ + addedContent > kMaxRepeatedCells)
      damaged("it repeats a row of " + ThousandsSeparated(contentPerRow) + " cells " + ThousandsSeparated(rows) +
              " times, more cells than Corvane can hold");
    repeated_ += addedContent;
    bool formats = !reachesEdge;
    if (formats && repeated_ + formatPerRow * rows > kMaxRepeatedCells) formats = false;
    if (formats) repeated_ += formatPerRow * rows;
    size_t first = b_.count();
    for (const Run& r : runs_) {
      if (!r.content && (!formats || (r.style == UINT32_MAX && !rowFormatted))) continue;
      for (uint32_t k = 0; k < r.count; ++k) {
        int32_t col = r.cell.col + static_cast<int32_t>(k);
        uint32_t colStyle = colDefault_[static_cast<size_t>(col)];
        uint32_t style = r.style != UINT32_MAX ? r.style : colStyle;
        // A format alone needs a cell where it differs from what the position shows anyway:
        // the row's format, or else the column's (a blank of the default format stands for
        // the default against them).
        if (!r.content && style == (rowFormatted ? info.style : colStyle)) continue;
        b_.add(r.cell, row, col, style);
      }
    }
    size_t last = b_.count();
    for (uint32_t k = 1; k < rows; ++k) {
      for (size_t i = first; i < last; ++i) {
        const Cell c = b_.cell(i);
        b_.add(c, row + static_cast<int32_t>(k), c.col, c.style);
      }
    }
  }

  struct Run {
    Cell cell;        // the value, in its first column
    uint32_t style;   // UINT32_MAX: each column's default
    uint32_t count;   // columns it covers
    bool content;     // false: a format alone, or nothing but the column's format
  };

  SheetData& sheet_;
  SheetBuilder b_{sheet_};
  const OdsStyleSheet& styles_;
  bool date1904_;
  size_t target_;
  std::string what_;
  const FormulaServices& formulas_;
  Prefixes prefixes_;

  int depth_ = 0, sheetAt_ = 0, tableAt_ = 0, rowAt_ = 0, cellAt_ = 0, skipAt_ = 0, annoAt_ = 0;
  size_t tableIndex_ = 0;
  bool inTable_ = false, found_ = false;

  std::vector<uint32_t> colDefault_;
  int32_t colPos_ = 0;
  int32_t row_ = 0, col_ = 0;
  uint64_t rowRepeat_ = 1, colRepeat_ = 1;
  uint32_t rowStyle_ = 0;
  bool hasRowStyle_ = false;
  RowInfo rowInfo_;                // the row's height and visibility
  uint32_t edgeStyle_ = UINT32_MAX;  // a format the row's last cells carry to the sheet's edge
  std::vector<Run> runs_;
  uint64_t repeated_ = 0;

  // The cell at hand.
  char valueType_ = 0;
  bool errorValue_ = false, hasNumber_ = false, hasText_ = false, collect_ = false;
  double num_ = 0;
  const char *value_ = nullptr, *dateValue_ = nullptr, *timeValue_ = nullptr, *boolValue_ = nullptr;
  const char *stringValue_ = nullptr, *formula_ = nullptr, *styleName_ = nullptr;
  std::string formulaText_, stringValueText_;
  uint64_t spanCols_ = 1, spanRows_ = 1, matrixCols_ = 1, matrixRows_ = 1;
  uint32_t cellStyle_ = UINT32_MAX;
  std::string text_;
  OdfText cellText_{kMaxCellText};
  std::string link_;
  std::string lastStyleName_;
  uint32_t lastStyle_ = 0;

  // Its annotation.
  bool wasCollecting_ = false, hasComment_ = false;
  OdfText annoText_{kMaxCellText}, authorText_{kMaxCellText};
  std::string annoBuf_, annoAuthorText_;
  Comment pendingComment_;
};

}  // namespace

std::unique_ptr<SheetHandler> MakeSheetHandler(SheetData& sheet, const OdsStyleSheet& styles, bool date1904,
                                               size_t target, std::string what, const FormulaServices& formulas) {
  return std::make_unique<TableHandler>(sheet, styles, date1904, target, std::move(what), formulas);
}

}  // namespace corvane::ods
