// Writes a workbook with libxlsxwriter, cell for cell as SaveXlsx writes the same sheets: the
// reference the structure of our own writer's files is compared with.
#pragma once

#include <locale.h>
#include <xlsxwriter.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/cellref.h"
#include "engine/core/model.h"
#include "engine/core/style.h"
#include "engine/writing/xlsx_writer.h"

namespace corvane::test {

// libxlsxwriter formats numbers with the C library's printf, which follows the locale (a German
// one writes <v>1,5</v>); the reference is written in the C locale, on this thread only.
class LxwReference {
 public:
  explicit LxwReference(const std::string& path) : wb_(workbook_new(path.c_str())) {
    if (!wb_) throw std::runtime_error("libxlsxwriter cannot create " + path);
  }
  ~LxwReference() {
    if (wb_) workbook_close(wb_);
    uselocale(previous_);
    freelocale(c_);
  }
  void close() {
    lxw_error err = workbook_close(wb_);
    wb_ = nullptr;
    if (err != LXW_NO_ERROR) throw std::runtime_error(lxw_strerror(err));
  }

  void addSheet(const SheetToSave& s) {
    lxw_worksheet* ws = workbook_add_worksheet(wb_, s.name.c_str());
    const SheetData& d = *s.data;
    styles_ = s.styles;
    for (const RowInfo& r : d.rowInfo) {
      lxw_row_col_options o{};
      o.hidden = r.hidden;
      worksheet_set_row_opt(ws, static_cast<lxw_row_t>(r.row), r.height >= 0 ? r.height : LXW_DEF_ROW_HEIGHT,
                            r.hasStyle ? format(r.style) : nullptr, &o);
    }
    for (const ColInfo& c : d.colInfo) {
      lxw_row_col_options o{};
      o.hidden = c.hidden;
      // libxlsxwriter takes the width without the padding the file stores.
      double width = c.width >= 0 ? c.width - 0.7109375 : LXW_DEF_COL_WIDTH;
      worksheet_set_column_opt(ws, static_cast<lxw_col_t>(c.first), static_cast<lxw_col_t>(c.last), width,
                               c.hasStyle ? format(c.style) : nullptr, &o);
    }
    for (const Rect& m : d.merges)
      worksheet_merge_range(ws, static_cast<lxw_row_t>(m.r1), static_cast<lxw_col_t>(m.c1),
                            static_cast<lxw_row_t>(m.r2), static_cast<lxw_col_t>(m.c2), "", nullptr);
    for (const Hyperlink& l : d.links) {
      std::string url = l.target.empty() ? "internal:" + l.location : l.target;
      if (!l.target.empty() && !l.location.empty()) url += "#" + l.location;
      worksheet_write_url_opt(ws, static_cast<lxw_row_t>(l.row), static_cast<lxw_col_t>(l.col), url.c_str(),
                              plain(), "", l.tooltip.empty() ? nullptr : l.tooltip.c_str());
    }
    for (const Cell& c : d.cells) writeCell(ws, d, c);
    for (const Comment& cm : d.comments) {
      lxw_comment_options o{};
      o.author = const_cast<char*>(cm.author.c_str());
      worksheet_write_comment_opt(ws, static_cast<lxw_row_t>(cm.row), static_cast<lxw_col_t>(cm.col),
                                  cm.text.c_str(), &o);
    }
  }

 private:
  lxw_format* plain() {
    if (!plain_) plain_ = workbook_add_format(wb_);
    return plain_;
  }

  static lxw_color_t Color(Rgb rgb) { return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : (rgb & 0xFFFFFFu); }

  lxw_format* format(uint32_t index) {
    static const Style kDefault;
    const Style& s = (*styles_)[index];
    if (s == kDefault) return nullptr;
    auto& f = formats_[&s];
    if (f) return f;
    f = workbook_add_format(wb_);
    if (s.numFmt != "General") format_set_num_format(f, s.numFmt.c_str());
    if (s.fontName != "Calibri") format_set_font_name(f, s.fontName.c_str());
    if (s.fontSize != 11) format_set_font_size(f, s.fontSize);
    if (s.bold) format_set_bold(f);
    if (s.italic) format_set_italic(f);
    if (s.strike) format_set_font_strikeout(f);
    if (s.underline != Underline::None) format_set_underline(f, static_cast<uint8_t>(s.underline));
    if (s.fontColor != kAutoColor) format_set_font_color(f, Color(s.fontColor));
    if (s.pattern != FillPattern::None) {
      format_set_pattern(f, static_cast<uint8_t>(s.pattern));
      // For a solid fill libxlsxwriter takes the cell colour as the background colour.
      if (s.pattern == FillPattern::Solid) {
        if (s.fillFg != kAutoColor) format_set_bg_color(f, Color(s.fillFg));
      } else {
        if (s.fillFg != kAutoColor) format_set_fg_color(f, Color(s.fillFg));
        if (s.fillBg != kAutoColor) format_set_bg_color(f, Color(s.fillBg));
      }
    }
    side(f, s.left, format_set_left, format_set_left_color);
    side(f, s.right, format_set_right, format_set_right_color);
    side(f, s.top, format_set_top, format_set_top_color);
    side(f, s.bottom, format_set_bottom, format_set_bottom_color);
    if (s.diagonal.style != BorderStyle::None) {
      format_set_diag_type(f, static_cast<uint8_t>((s.diagonalUp ? 1 : 0) | (s.diagonalDown ? 2 : 0)));
      format_set_diag_border(f, static_cast<uint8_t>(s.diagonal.style));
      if (s.diagonal.color != kAutoColor) format_set_diag_color(f, Color(s.diagonal.color));
    }
    if (s.hAlign != HAlign::General) format_set_align(f, static_cast<uint8_t>(s.hAlign));
    static constexpr uint8_t kV[] = {0, LXW_ALIGN_VERTICAL_TOP, LXW_ALIGN_VERTICAL_CENTER,
                                     LXW_ALIGN_VERTICAL_JUSTIFY, LXW_ALIGN_VERTICAL_DISTRIBUTED};
    if (s.vAlign != VAlign::Bottom) format_set_align(f, kV[static_cast<size_t>(s.vAlign)]);
    if (s.wrap) format_set_text_wrap(f);
    if (s.shrink) format_set_shrink(f);
    if (s.indent) format_set_indent(f, s.indent);
    if (s.rotation >= 1 && s.rotation <= 90) format_set_rotation(f, s.rotation);
    if (s.rotation > 90 && s.rotation <= 180) format_set_rotation(f, static_cast<int16_t>(90 - s.rotation));
    if (s.rotation == 255) format_set_rotation(f, 270);
    if (!s.locked) format_set_unlocked(f);
    if (s.hidden) format_set_hidden(f);
    return f;
  }

  static void side(lxw_format* f, const BorderSide& b, void (*setStyle)(lxw_format*, uint8_t),
                   void (*setColor)(lxw_format*, lxw_color_t)) {
    if (b.style == BorderStyle::None) return;
    setStyle(f, static_cast<uint8_t>(b.style));
    if (b.color != kAutoColor) setColor(f, Color(b.color));
  }

  void writeCell(lxw_worksheet* ws, const SheetData& d, const Cell& c) {
    auto row = static_cast<lxw_row_t>(c.row);
    auto col = static_cast<lxw_col_t>(c.col);
    lxw_format* f = format(c.style);
    switch (c.type) {
      case CellType::Blank: worksheet_write_blank(ws, row, col, f); break;
      case CellType::Number: worksheet_write_number(ws, row, col, c.num, f); break;
      case CellType::String: worksheet_write_string(ws, row, col, std::string(d.str(c)).c_str(), f); break;
      case CellType::Bool: worksheet_write_boolean(ws, row, col, c.num != 0, f); break;
      case CellType::Error: break;  // libxlsxwriter has no error cell
      case CellType::Formula: {
        const Formula& fm = d.formulas[c.aux];
        std::string text = "=" + fm.text;
        Rect r = fm.arrayRange;
        if (fm.kind == FormulaKind::Array)
          worksheet_write_array_formula_num(ws, row, col, static_cast<lxw_row_t>(r.r2), static_cast<lxw_col_t>(r.c2),
                                            text.c_str(), f, c.num);
        else if (fm.kind == FormulaKind::DynamicArray)
          worksheet_write_dynamic_array_formula_num(ws, row, col, static_cast<lxw_row_t>(r.r2),
                                                    static_cast<lxw_col_t>(r.c2), text.c_str(), f, c.num);
        else if (static_cast<CachedKind>(c.sub) == CachedKind::String)
          worksheet_write_formula_str(ws, row, col, text.c_str(), f, fm.cachedString.c_str());
        else
          worksheet_write_formula_num(ws, row, col, text.c_str(), f, c.num);
        break;
      }
    }
  }

  locale_t c_ = newlocale(LC_ALL_MASK, "C", nullptr);
  locale_t previous_ = uselocale(c_);
  lxw_workbook* wb_;
  const std::vector<Style>* styles_ = nullptr;
  std::map<const Style*, lxw_format*> formats_;
  lxw_format* plain_ = nullptr;
};

}  // namespace corvane::test
