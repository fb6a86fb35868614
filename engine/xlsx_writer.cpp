#include "engine/xlsx_writer.h"

#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "engine/error.h"
#include "engine/save_speedups.h"

namespace corvane {
namespace {

constexpr size_t kMaxCellUnits = 32767;    // Excel's limit for a cell's text, in UTF-16 units
constexpr size_t kMaxTooltipUnits = 255;
constexpr size_t kMaxLinksPerSheet = LXW_MAX_NUMBER_URLS;
constexpr size_t kMaxUrlChars = 2079;  // Excel's limit; libxlsxwriter refuses longer ones
// A sheet whose XML may pass 4 GB needs ZIP64 entries; left off otherwise, as some readers
// still stumble over them.
constexpr uint64_t kZip64Bytes = 3'500'000'000;

[[noreturn]] void Fail(const std::string& path, std::string_view why) {
  throw AutomationError("Cannot save \"" + path + "\": " + std::string(why));
}

// The longest prefix of UTF-8 text that holds at most `limit` UTF-16 units, cut between
// characters.
std::string_view CutUtf16(std::string_view s, size_t limit) {
  if (s.size() <= limit) return s;  // each UTF-16 unit takes at least one byte
  size_t units = 0;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    size_t u = len == 4 ? 2 : 1;
    if (units + u > limit) break;
    units += u;
    i = std::min(s.size(), i + len);
  }
  return s.substr(0, i);
}

// A formula's cached text as XML can carry it: control characters, which XML forbids
// and libxlsxwriter writes as they are, become the _xHHHH_ escapes spreadsheets read back.
std::string_view EscapeControls(std::string_view s, std::string& out) {
  bool any = false;
  for (char ch : s) any |= static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r';
  if (!any) return s;
  out.clear();
  for (char ch : s) {
    unsigned char u = static_cast<unsigned char>(ch);
    if (u < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "_x%04X_", u);
      out += esc;
    } else {
      out += ch;
    }
  }
  return out;
}

size_t CodePoints(std::string_view s) {
  size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  return n;
}

// libxlsxwriter reads 0 as "no colour" and wants black spelled LXW_COLOR_BLACK.
lxw_color_t LxwColor(Rgb rgb) {
  rgb &= 0xFFFFFFu;
  return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb;
}

uint8_t LxwBorder(BorderStyle b) {
  switch (b) {
    case BorderStyle::None: return LXW_BORDER_NONE;
    case BorderStyle::Thin: return LXW_BORDER_THIN;
    case BorderStyle::Medium: return LXW_BORDER_MEDIUM;
    case BorderStyle::Dashed: return LXW_BORDER_DASHED;
    case BorderStyle::Dotted: return LXW_BORDER_DOTTED;
    case BorderStyle::Thick: return LXW_BORDER_THICK;
    case BorderStyle::Double: return LXW_BORDER_DOUBLE;
    case BorderStyle::Hair: return LXW_BORDER_HAIR;
    case BorderStyle::MediumDashed: return LXW_BORDER_MEDIUM_DASHED;
    case BorderStyle::DashDot: return LXW_BORDER_DASH_DOT;
    case BorderStyle::MediumDashDot: return LXW_BORDER_MEDIUM_DASH_DOT;
    case BorderStyle::DashDotDot: return LXW_BORDER_DASH_DOT_DOT;
    case BorderStyle::MediumDashDotDot: return LXW_BORDER_MEDIUM_DASH_DOT_DOT;
    case BorderStyle::SlantDashDot: return LXW_BORDER_SLANT_DASH_DOT;
  }
  return LXW_BORDER_NONE;
}

uint8_t LxwPattern(FillPattern p) {
  switch (p) {
    case FillPattern::None: return LXW_PATTERN_NONE;
    case FillPattern::Solid: return LXW_PATTERN_SOLID;
    case FillPattern::MediumGray: return LXW_PATTERN_MEDIUM_GRAY;
    case FillPattern::DarkGray: return LXW_PATTERN_DARK_GRAY;
    case FillPattern::LightGray: return LXW_PATTERN_LIGHT_GRAY;
    case FillPattern::DarkHorizontal: return LXW_PATTERN_DARK_HORIZONTAL;
    case FillPattern::DarkVertical: return LXW_PATTERN_DARK_VERTICAL;
    case FillPattern::DarkDown: return LXW_PATTERN_DARK_DOWN;
    case FillPattern::DarkUp: return LXW_PATTERN_DARK_UP;
    case FillPattern::DarkGrid: return LXW_PATTERN_DARK_GRID;
    case FillPattern::DarkTrellis: return LXW_PATTERN_DARK_TRELLIS;
    case FillPattern::LightHorizontal: return LXW_PATTERN_LIGHT_HORIZONTAL;
    case FillPattern::LightVertical: return LXW_PATTERN_LIGHT_VERTICAL;
    case FillPattern::LightDown: return LXW_PATTERN_LIGHT_DOWN;
    case FillPattern::LightUp: return LXW_PATTERN_LIGHT_UP;
    case FillPattern::LightGrid: return LXW_PATTERN_LIGHT_GRID;
    case FillPattern::LightTrellis: return LXW_PATTERN_LIGHT_TRELLIS;
    case FillPattern::Gray125: return LXW_PATTERN_GRAY_125;
    case FillPattern::Gray0625: return LXW_PATTERN_GRAY_0625;
  }
  return LXW_PATTERN_NONE;
}

uint8_t LxwHAlign(HAlign a) {
  switch (a) {
    case HAlign::General: return LXW_ALIGN_NONE;
    case HAlign::Left: return LXW_ALIGN_LEFT;
    case HAlign::Center: return LXW_ALIGN_CENTER;
    case HAlign::Right: return LXW_ALIGN_RIGHT;
    case HAlign::Fill: return LXW_ALIGN_FILL;
    case HAlign::Justify: return LXW_ALIGN_JUSTIFY;
    case HAlign::CenterContinuous: return LXW_ALIGN_CENTER_ACROSS;
    case HAlign::Distributed: return LXW_ALIGN_DISTRIBUTED;
  }
  return LXW_ALIGN_NONE;
}

uint8_t LxwVAlign(VAlign a) {
  switch (a) {
    case VAlign::Bottom: return LXW_ALIGN_NONE;  // the default, nothing to write
    case VAlign::Top: return LXW_ALIGN_VERTICAL_TOP;
    case VAlign::Center: return LXW_ALIGN_VERTICAL_CENTER;
    case VAlign::Justify: return LXW_ALIGN_VERTICAL_JUSTIFY;
    case VAlign::Distributed: return LXW_ALIGN_VERTICAL_DISTRIBUTED;
  }
  return LXW_ALIGN_NONE;
}

uint8_t LxwUnderline(Underline u) {
  switch (u) {
    case Underline::None: return LXW_UNDERLINE_NONE;
    case Underline::Single: return LXW_UNDERLINE_SINGLE;
    case Underline::Double: return LXW_UNDERLINE_DOUBLE;
    case Underline::SingleAccounting: return LXW_UNDERLINE_SINGLE_ACCOUNTING;
    case Underline::DoubleAccounting: return LXW_UNDERLINE_DOUBLE_ACCOUNTING;
  }
  return LXW_UNDERLINE_NONE;
}

// The file stores 1..90 for up, 91..180 for 1..90 degrees down and 255 for vertical text;
// libxlsxwriter takes -90..90 and 270.
int16_t LxwRotation(int16_t stored) {
  if (stored >= 1 && stored <= 90) return stored;
  if (stored >= 91 && stored <= 180) return static_cast<int16_t>(90 - stored);
  if (stored == 255) return 270;
  return 0;
}

void SetBorder(lxw_format* f, const BorderSide& side, void (*setStyle)(lxw_format*, uint8_t),
               void (*setColor)(lxw_format*, lxw_color_t)) {
  if (side.style == BorderStyle::None) return;
  setStyle(f, LxwBorder(side.style));
  if (side.color != kAutoColor) setColor(f, LxwColor(side.color));
}

void SetFill(lxw_format* f, const Style& s) {
  // libxlsxwriter has no gradient fill: its first colour stands in for it.
  if (!s.gradient.empty()) {
    if (Rgb first = s.gradient.stops.front().color; first != kAutoColor) {
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_fg_color(f, LxwColor(first));
    }
    return;
  }
  // Colours without a pattern would make libxlsxwriter paint the cell solid.
  if (s.pattern == FillPattern::None) return;
  format_set_pattern(f, LxwPattern(s.pattern));
  bool hasFg = s.fillFg != kAutoColor;
  bool hasBg = s.fillBg != kAutoColor;
  if (s.pattern != FillPattern::Solid) {
    if (hasFg) format_set_fg_color(f, LxwColor(s.fillFg));
    if (hasBg) format_set_bg_color(f, LxwColor(s.fillBg));
    return;
  }
  // For a solid fill libxlsxwriter swaps the two colours when both are given, and moves a
  // lone background colour into the foreground; the cell colour is the file's fgColor.
  if (hasFg && hasBg) {
    format_set_bg_color(f, LxwColor(s.fillFg));
    format_set_fg_color(f, LxwColor(s.fillBg));
  } else if (hasFg) {
    format_set_fg_color(f, LxwColor(s.fillFg));
  }
  // A solid fill with only a background colour can't be said to libxlsxwriter: the
  // background is invisible under a solid pattern anyway.
}

bool IsLibraryDefault(const Style& s) {
  static const Style kDefault;
  return s == kDefault;
}

// One lxw_format per style index of each style table, made when a cell first needs it.
class FormatCache {
 public:
  explicit FormatCache(lxw_workbook* wb, const std::string& path) : wb_(wb), path_(path) {}

  struct Slot {
    lxw_format* format = nullptr;
    bool made = false;
  };

  // Selects the table the next get() calls look up.
  void use(const std::vector<Style>* styles) {
    styles_ = styles;
    if (!styles) {
      slots_ = nullptr;
      count_ = 0;
      return;
    }
    auto& v = tables_[styles];
    v.resize(styles->size());
    slots_ = v.data();
    count_ = v.size();
  }

  lxw_format* get(uint32_t index) {
    if (index >= count_) return nullptr;
    Slot& slot = slots_[index];
    if (!slot.made) {
      slot.format = make((*styles_)[index]);
      slot.made = true;
    }
    return slot.format;
  }

  // A format with nothing set: the workbook's default look, and not the hyperlink style
  // libxlsxwriter picks when a link is written without a format.
  lxw_format* plain() {
    if (!plain_) plain_ = add();
    return plain_;
  }

 private:
  lxw_format* add() {
    lxw_format* f = workbook_add_format(wb_);
    if (!f) Fail(path_, "out of memory while creating a cell format");
    return f;
  }

  lxw_format* make(const Style& s) {
    if (IsLibraryDefault(s)) return nullptr;
    lxw_format* f = add();
    if (s.numFmt != "General" && !s.numFmt.empty() && s.numFmt.size() < LXW_FORMAT_FIELD_LEN)
      format_set_num_format(f, s.numFmt.c_str());

    if (s.fontName != "Calibri" && !s.fontName.empty() &&
        s.fontName.size() < LXW_FORMAT_FIELD_LEN)
      format_set_font_name(f, s.fontName.c_str());
    if (s.fontSize != 11 && s.fontSize > 0) format_set_font_size(f, s.fontSize);
    if (s.bold) format_set_bold(f);
    if (s.italic) format_set_italic(f);
    if (s.strike) format_set_font_strikeout(f);
    if (s.underline != Underline::None) format_set_underline(f, LxwUnderline(s.underline));
    if (s.fontColor != kAutoColor) format_set_font_color(f, LxwColor(s.fontColor));

    SetFill(f, s);

    SetBorder(f, s.left, format_set_left, format_set_left_color);
    SetBorder(f, s.right, format_set_right, format_set_right_color);
    SetBorder(f, s.top, format_set_top, format_set_top_color);
    SetBorder(f, s.bottom, format_set_bottom, format_set_bottom_color);
    if ((s.diagonalUp || s.diagonalDown) && s.diagonal.style != BorderStyle::None) {
      format_set_diag_type(f, s.diagonalUp && s.diagonalDown ? LXW_DIAGONAL_BORDER_UP_DOWN
                              : s.diagonalUp                 ? LXW_DIAGONAL_BORDER_UP
                                                             : LXW_DIAGONAL_BORDER_DOWN);
      format_set_diag_border(f, LxwBorder(s.diagonal.style));
      if (s.diagonal.color != kAutoColor) format_set_diag_color(f, LxwColor(s.diagonal.color));
    }

    if (s.hAlign != HAlign::General) format_set_align(f, LxwHAlign(s.hAlign));
    if (s.vAlign != VAlign::Bottom) format_set_align(f, LxwVAlign(s.vAlign));
    if (s.wrap) format_set_text_wrap(f);
    if (s.shrink) format_set_shrink(f);
    if (s.indent > 0) format_set_indent(f, s.indent);
    if (int16_t r = LxwRotation(s.rotation); r != 0) format_set_rotation(f, r);

    if (!s.locked) format_set_unlocked(f);
    if (s.hidden) format_set_hidden(f);
    return f;
  }

  lxw_workbook* wb_;
  const std::string& path_;
  std::unordered_map<const std::vector<Style>*, std::vector<Slot>> tables_;
  const std::vector<Style>* styles_ = nullptr;
  Slot* slots_ = nullptr;
  size_t count_ = 0;
  lxw_format* plain_ = nullptr;
};

// A hyperlink or comment, placed among the cells so rows are written in order.
struct Extra {
  uint32_t row;
  uint16_t col;
  uint8_t isComment;
  uint32_t index;  // into SheetData::links or ::comments
};

bool Before(uint32_t r1, uint16_t c1, uint32_t r2, uint16_t c2) {
  return r1 < r2 || (r1 == r2 && c1 < c2);
}

std::string CellName(uint32_t row, uint16_t col) {
  char name[32];  // room for any row and column numbers, not only valid ones
  lxw_rowcol_to_cell(name, row, col);
  return name;
}

class SheetWriter {
 public:
  SheetWriter(lxw_worksheet* ws, const SheetToSave& sheet, FormatCache& formats,
              const std::string& path)
      : ws_(ws), sheet_(sheet), d_(*sheet.data), formats_(formats), path_(path) {}

  void write() {
    formats_.use(sheet_.styles);
    writeMerges();
    writeColumns();
    collectExtras();

    const std::vector<Cell>& cells = d_.cells;
    std::vector<uint32_t> order;  // only for cells that were left unsorted
    bool sorted = true;
    for (size_t i = 1; i < cells.size() && sorted; ++i)
      sorted = !Before(cells[i].row, cells[i].col, cells[i - 1].row, cells[i - 1].col);
    if (!sorted) {
      order.resize(cells.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
      std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return Before(cells[a].row, cells[a].col, cells[b].row, cells[b].col);
      });
    }

    size_t e = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      const Cell& c = sorted ? cells[i] : cells[order[i]];
      while (e < extras_.size() && !Before(c.row, c.col, extras_[e].row, extras_[e].col)) {
        const Extra& x = extras_[e++];
        writeRowsTo(x.row);
        writeExtra(x, x.row == c.row && x.col == c.col ? &c : nullptr);
      }
      writeRowsTo(c.row);
      writeCell(c);
    }
    for (; e < extras_.size(); ++e) {
      writeRowsTo(extras_[e].row);
      writeExtra(extras_[e], nullptr);
    }
    writeRowsTo(UINT32_MAX);
  }

 private:
  void check(lxw_error err, const Cell& c) {
    if (err == LXW_NO_ERROR) return;
    Fail(path_, "sheet \"" + sheet_.name + "\", cell " + CellName(c.row, c.col) + ": " +
                    lxw_strerror(err));
  }

  std::string_view text(const Cell& c) const {
    if (c.sub == kSharedString) {
      if (!d_.shared || c.aux >= d_.shared->size()) return {};
      return d_.shared->get(c.aux);
    }
    if (c.aux >= d_.strings.size()) return {};
    return d_.strings.get(c.aux);
  }

  const char* cstr(std::string& buf, std::string_view s) {
    buf.assign(s.data(), s.size());
    return buf.c_str();
  }

  // "=" followed by the formula text, in a buffer that is reused.
  const char* formulaText(std::string_view body) {
    formula_.assign(1, '=');
    formula_.append(body);
    return formula_.c_str();
  }
  // The array writers take "{=...}" and strip one brace at each end of whatever they get, a
  // formula's own inline arrays ("{1,2}*{3;4}") included: the wrapping is what they strip.
  const char* arrayFormulaText(std::string_view body) {
    formula_.assign("{=");
    formula_.append(body);
    formula_ += '}';
    return formula_.c_str();
  }

  void writeMerges() {
    for (const Rect& m : d_.merges) {
      if (m.empty() || (m.rows() == 1 && m.cols() == 1)) continue;
      if (m.r1 < 0 || m.c1 < 0 || m.r2 >= kMaxRows || m.c2 >= kMaxCols) continue;
      // An empty string and no format: the range is recorded and no cell is written, so
      // the cells that follow keep their own content and formats.
      lxw_error err = worksheet_merge_range(ws_, m.r1, m.c1, m.r2, m.c2, "", nullptr);
      if (err == LXW_ERROR_MEMORY_MALLOC_FAILED) Fail(path_, lxw_strerror(err));
    }
  }

  // A row or column's own format; nullptr for none. A row whose format is the default still
  // gets one, so that it stands against its columns' formats.
  lxw_format* ownFormat(bool has, uint32_t style) {
    if (!has) return nullptr;
    lxw_format* f = formats_.get(style);
    return f ? f : formats_.plain();
  }

  // Widths, formats and hiding of column runs. An .xlsx width counts the cell's padding;
  // libxlsxwriter takes the characters shown and adds it (at 7 pixels a digit and 5 of
  // padding), so whole pixels come out.
  void writeColumns() {
    for (const ColInfo& c : d_.colInfo) {
      if (c.first < 0 || c.first > c.last || c.first >= kMaxCols) continue;
      double width = LXW_DEF_COL_WIDTH;
      if (c.width >= 0) {
        double px = std::round(std::min(c.width, 255.0) * 7);
        width = px < 12 ? px / 12 : (px - 5) / 7;
      }
      lxw_row_col_options opt{};
      opt.hidden = c.hidden;
      lxw_error err = worksheet_set_column_opt(ws_, static_cast<lxw_col_t>(c.first),
                                               static_cast<lxw_col_t>(std::min(c.last, kMaxCols - 1)), width,
                                               c.hasStyle ? formats_.get(c.style) : nullptr, &opt);
      if (err == LXW_ERROR_MEMORY_MALLOC_FAILED) Fail(path_, lxw_strerror(err));
    }
  }

  // Heights, formats and hiding of the rows up to `row`: libxlsxwriter takes rows in order.
  void writeRowsTo(uint32_t row) {
    for (; nextRow_ < d_.rowInfo.size() && static_cast<uint32_t>(d_.rowInfo[nextRow_].row) <= row; ++nextRow_) {
      const RowInfo& r = d_.rowInfo[nextRow_];
      if (r.row < 0 || r.row >= kMaxRows) continue;
      lxw_row_col_options opt{};
      opt.hidden = r.hidden;
      double height = r.height >= 0 ? std::min(r.height, 409.0) : LXW_DEF_ROW_HEIGHT;
      lxw_error err = worksheet_set_row_opt(ws_, static_cast<lxw_row_t>(r.row), height,
                                            ownFormat(r.hasStyle, r.style), &opt);
      if (err == LXW_ERROR_MEMORY_MALLOC_FAILED) Fail(path_, lxw_strerror(err));
    }
  }

  void collectExtras() {
    extras_.clear();
    size_t budget = kMaxLinksPerSheet;
    for (size_t i = 0; i < d_.links.size() && budget > 0; ++i) {
      const Hyperlink& l = d_.links[i];
      if (l.row < 0 || l.col < 0 || l.row >= kMaxRows || l.col >= kMaxCols) continue;
      // libxlsxwriter links single cells: a link over a range goes on each of its cells.
      int32_t r2 = std::min(kMaxRows - 1, l.row + std::max(1, l.rows) - 1);
      int32_t c2 = std::min(kMaxCols - 1, l.col + std::max(1, l.cols) - 1);
      for (int32_t r = l.row; r <= r2 && budget > 0; ++r)
        for (int32_t c = l.col; c <= c2 && budget > 0; ++c, --budget)
          extras_.push_back({static_cast<uint32_t>(r), static_cast<uint16_t>(c), 0,
                             static_cast<uint32_t>(i)});
    }
    for (size_t i = 0; i < d_.comments.size(); ++i) {
      const Comment& cm = d_.comments[i];
      if (cm.row < 0 || cm.col < 0 || cm.row >= kMaxRows || cm.col >= kMaxCols) continue;
      extras_.push_back({static_cast<uint32_t>(cm.row), static_cast<uint16_t>(cm.col), 1,
                         static_cast<uint32_t>(i)});
    }
    std::stable_sort(extras_.begin(), extras_.end(), [](const Extra& a, const Extra& b) {
      if (a.row != b.row) return a.row < b.row;
      if (a.col != b.col) return a.col < b.col;
      return a.isComment < b.isComment;
    });
  }

  // `cell` is the cell at the same place, written right after, or null.
  void writeExtra(const Extra& x, const Cell* cell) {
    if (x.isComment) {
      const Comment& cm = d_.comments[x.index];
      lxw_comment_options opt{};
      if (!cm.author.empty()) opt.author = const_cast<char*>(cstr(aux_, cm.author));
      lxw_error err = worksheet_write_comment_opt(
          ws_, x.row, x.col, cstr(buf_, CutUtf16(cm.text, kMaxCellUnits)), &opt);
      if (err == LXW_ERROR_MEMORY_MALLOC_FAILED) Fail(path_, lxw_strerror(err));
      return;
    }

    const Hyperlink& l = d_.links[x.index];
    if (!l.target.empty()) {
      url_ = l.target;
      if (!l.location.empty()) url_.append(1, '#').append(l.location);
      if (CodePoints(url_) > kMaxUrlChars) return;
    } else {
      // A link that leads nowhere is written as one to an empty place in the workbook, with
      // its tip: libxlsxwriter knows no link without a place, nor a link text apart from
      // the cell's.
      if (CodePoints(l.location) > kMaxUrlChars) return;
      url_ = "internal:";
      url_.append(l.location);
    }
    // The link writes its display text into the cell; the cell's own content goes over it
    // right after. A link on an empty cell leaves a blank cell.
    std::string_view display;
    lxw_format* format = nullptr;
    if (cell) {
      if (cell->type == CellType::String) display = CutUtf16(text(*cell), kMaxCellUnits);
      format = formats_.get(cell->style);
    }
    if (!format) format = formats_.plain();
    const char* tip =
        l.tooltip.empty() ? nullptr : cstr(aux_, CutUtf16(l.tooltip, kMaxTooltipUnits));
    lxw_error err = worksheet_write_url_opt(ws_, x.row, x.col, url_.c_str(), format,
                                            cstr(buf_, display), tip);
    if (err != LXW_NO_ERROR && !display.empty())
      err = worksheet_write_url_opt(ws_, x.row, x.col, url_.c_str(), format, "", tip);
    if (err == LXW_ERROR_MEMORY_MALLOC_FAILED) Fail(path_, lxw_strerror(err));
  }

  // The other cells of an array formula's range are written as the plain values they
  // hold, as spreadsheets store them.
  void writeCell(const Cell& c) {
    lxw_format* format = formats_.get(c.style);
    switch (c.type) {
      case CellType::Blank:
        if (format) check(worksheet_write_blank(ws_, c.row, c.col, format), c);
        return;
      case CellType::Number:
        if (!std::isfinite(c.num)) return writeError(c, ErrorCode::Num, format);
        check(worksheet_write_number(ws_, c.row, c.col, c.num, format), c);
        return;
      case CellType::String: {
        std::string_view s = CutUtf16(text(c), kMaxCellUnits);
        // libxlsxwriter has no empty string cell: it writes a blank when there is a format.
        if (s.empty()) {
          if (format) check(worksheet_write_blank(ws_, c.row, c.col, format), c);
          return;
        }
        check(worksheet_write_string(ws_, c.row, c.col, cstr(buf_, s), format), c);
        return;
      }
      case CellType::Bool:
        check(worksheet_write_boolean(ws_, c.row, c.col, c.num != 0, format), c);
        return;
      case CellType::Error:
        return writeError(c, static_cast<ErrorCode>(c.sub), format);
      case CellType::Formula:
        return writeFormula(c, format);
    }
  }

  // libxlsxwriter has no error cell: the error literal as a formula shows the same.
  void writeError(const Cell& c, ErrorCode code, lxw_format* format) {
    std::string_view e = ErrorText(code);
    check(worksheet_write_formula_str(ws_, c.row, c.col, formulaText(e), format,
                                      cstr(buf_, e)),
          c);
  }

  void writeFormula(const Cell& c, lxw_format* format) {
    if (c.aux >= d_.formulas.size())
      Fail(path_, "sheet \"" + sheet_.name + "\", cell " + CellName(c.row, c.col) +
                      ": the formula is missing");
    const Formula& f = d_.formulas[c.aux];
    const char* text = f.kind == FormulaKind::Normal ? formulaText(f.text) : arrayFormulaText(f.text);
    auto cached = static_cast<CachedKind>(c.sub);
    double num = cached == CachedKind::Number ? c.num
                 : cached == CachedKind::Bool ? (c.num != 0 ? 1.0 : 0.0)
                                              : 0.0;
    if (!std::isfinite(num)) num = 0;

    if (f.kind != FormulaKind::Normal) {
      Rect r = f.arrayRange;
      // The range starts at this cell; anything else falls back to the cell alone.
      if (r.empty() || r.r1 != static_cast<int32_t>(c.row) ||
          r.c1 != static_cast<int32_t>(c.col) || r.r2 >= kMaxRows || r.c2 >= kMaxCols)
        r = Rect{static_cast<int32_t>(c.row), c.col, static_cast<int32_t>(c.row), c.col};
      lxw_error err =
          f.kind == FormulaKind::Array
              ? worksheet_write_array_formula_num(ws_, r.r1, r.c1, r.r2, r.c2, text, format, num)
              : worksheet_write_dynamic_array_formula_num(ws_, r.r1, r.c1, r.r2, r.c2, text,
                                                          format, num);
      check(err, c);
      return;
    }

    switch (cached) {
      case CachedKind::String:
        check(worksheet_write_formula_str(
                  ws_, c.row, c.col, text, format,
                  cstr(buf_, EscapeControls(CutUtf16(f.cachedString, kMaxCellUnits), aux_))),
              c);
        return;
      case CachedKind::Error:
        check(worksheet_write_formula_str(ws_, c.row, c.col, text, format,
                                          cstr(buf_, ErrorText(static_cast<ErrorCode>(
                                                         f.cachedError)))),
              c);
        return;
      default:
        check(worksheet_write_formula_num(ws_, c.row, c.col, text, format, num), c);
        return;
    }
  }

  lxw_worksheet* ws_;
  const SheetToSave& sheet_;
  const SheetData& d_;
  FormatCache& formats_;
  const std::string& path_;
  std::vector<Extra> extras_;
  size_t nextRow_ = 0;  // the first of d_.rowInfo not yet written
  std::string buf_, aux_, url_, formula_;
};

// A rough upper bound of the XML a sheet makes: strings are written inline each time.
uint64_t EstimatedXmlBytes(const SheetData& d) {
  uint64_t bytes = 64 * static_cast<uint64_t>(d.cells.size());
  for (const Cell& c : d.cells) {
    if (c.type != CellType::String) continue;
    const StringPool* pool = c.sub == kSharedString ? d.shared.get() : &d.strings;
    if (pool && c.aux < pool->size()) bytes += pool->get(c.aux).size() * 2;
  }
  for (const Formula& f : d.formulas) bytes += (f.text.size() + f.cachedString.size()) * 2;
  return bytes;
}

// The workbook until it is closed; freed without writing when a save fails.
struct WorkbookHandle {
  lxw_workbook* wb = nullptr;
  ~WorkbookHandle() {
    if (wb) lxw_workbook_free(wb);
  }
};

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Checks that `path` can be written, for a message that says why not; returns the file
// to replace (a symbolic link is followed so the link stays).
std::string CheckTarget(const std::string& path) {
  if (path.empty()) throw AutomationError("Cannot save: no file name was given");
  if (path.back() == '/') Fail(path, "the name is a folder, not a file");
  std::string target = path;
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      free(real);
    }
  }
  std::string folder = ParentFolder(target);
  if (stat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      Fail(path, "the folder \"" + folder + "\" does not exist");
    Fail(path, "the folder \"" + folder + "\" cannot be reached: " + std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode)) Fail(path, "\"" + folder + "\" is not a folder");
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    Fail(path, "no permission to write in the folder \"" + folder + "\"");
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) Fail(path, "a folder of that name is there");
    if (access(target.c_str(), W_OK) != 0) Fail(path, "the file there is read-only");
  }
  return target;
}

std::string TempName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  std::string folder = ParentFolder(target);
  if (folder.back() != '/') folder += '/';
  return folder + ".corvane-save-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++) + ".tmp";
}

}  // namespace

void SaveXlsx(const std::string& path, const std::vector<SheetToSave>& sheets) {
  const std::string target = CheckTarget(path);
  const std::string temp = TempName(target);

  uint64_t biggest = 0;
  for (const SheetToSave& s : sheets)
    if (s.data) biggest = std::max(biggest, EstimatedXmlBytes(*s.data));

  // constant_memory: libxlsxwriter moves each finished row to a temporary file and writes
  // strings inline, so its memory stays flat however big the sheet; it is also a little
  // faster. That mode takes rows in order only, which is why a sheet's merges come first
  // (they write no cell) and links and comments are written among the cells.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = biggest > kZip64Bytes ? LXW_TRUE : LXW_FALSE;

  SaveSpeedups speedups;
  WorkbookHandle handle;
  handle.wb = workbook_new_opt(temp.c_str(), &options);
  if (!handle.wb) Fail(path, "out of memory while creating the workbook");

  FormatCache formats(handle.wb, path);
  const SheetData empty;
  for (const SheetToSave& s : sheets) {
    lxw_worksheet* ws = workbook_add_worksheet(handle.wb, s.name.c_str());
    if (!ws) Fail(path, "the sheet name \"" + s.name + "\" is not accepted");
    SheetToSave sheet = s;
    if (!sheet.data) sheet.data = &empty;
    SheetWriter(ws, sheet, formats, path).write();
  }

  lxw_workbook* wb = handle.wb;
  handle.wb = nullptr;  // workbook_close frees it, whatever the outcome
  lxw_error err = workbook_close(wb);
  if (err != LXW_NO_ERROR) {
    std::remove(temp.c_str());
    Fail(path, lxw_strerror(err));
  }

  struct stat st{};
  if (stat(target.c_str(), &st) == 0) chmod(temp.c_str(), st.st_mode & 07777);
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    int e = errno;
    std::remove(temp.c_str());
    Fail(path, std::strerror(e));
  }
}

}  // namespace corvane
