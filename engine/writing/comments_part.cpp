#include "engine/writing/comments_part.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "engine/core/cellref.h"

namespace corvane {

namespace {

constexpr size_t kMaxCellUnits = 32767;
constexpr int64_t kDefaultColPx = 64, kDefaultRowPx = 20;
constexpr int64_t kBoxWidthPx = 128, kBoxHeightPx = 74;  // the spreadsheet's default note box

bool EdgeSpace(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return !s.empty() && (space(s.front()) || space(s.back()));
}

// Pixel sizes of columns or rows: a default, and the runs the sheet gives sizes of.
class Sizes {
 public:
  explicit Sizes(int64_t dflt) : dflt_(dflt) {}
  void add(int64_t first, int64_t last, int64_t px) {
    runs_.push_back({first, last, px});
  }
  void done() {
    std::sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
    int64_t sum = 0;
    for (Run& r : runs_) {
      r.deltaBefore = sum;
      sum += (r.last - r.first + 1) * (r.px - dflt_);
    }
  }
  int64_t size(int64_t i) const {
    const Run* r = find(i);
    return r && i <= r->last ? r->px : dflt_;
  }
  // Pixels from the start of the sheet to the start of i.
  int64_t start(int64_t i) const {
    const Run* r = find(i);
    int64_t px = i * dflt_;
    if (!r) return px;
    px += r->deltaBefore + (std::min(i, r->last + 1) - r->first) * (r->px - dflt_);
    return px;
  }

 private:
  struct Run {
    int64_t first, last, px, deltaBefore = 0;
  };
  // The last run that starts at or before i.
  const Run* find(int64_t i) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                               [](int64_t v, const Run& r) { return v < r.first; });
    return it == runs_.begin() ? nullptr : &*(it - 1);
  }
  int64_t dflt_;
  std::vector<Run> runs_;
};

// Walks `length` pixels on from pixel `offset` of `cell`: the cell the walk ends in and the
// offset there. Hidden (zero-size) cells are passed over.
void Walk(const Sizes& sizes, int64_t limit, int64_t& cell, int64_t& offset, int64_t length) {
  int64_t left = offset + length;
  while (cell < limit && left >= sizes.size(cell)) {
    left -= sizes.size(cell);
    ++cell;
  }
  offset = left;
}

void AppendPt(ByteBuffer& b, int64_t px) { AppendNumber(b, static_cast<double>(px) * 0.75); }

}  // namespace

std::vector<const Comment*> CommentsToWrite(const SheetData& d) {
  std::vector<const Comment*> out;
  const Rect sheet{0, 0, kMaxRows - 1, kMaxCols - 1};
  for (const Comment& c : d.comments)
    if (sheet.contains(c.row, c.col)) out.push_back(&c);
  std::stable_sort(out.begin(), out.end(), [](const Comment* a, const Comment* b) {
    return a->row != b->row ? a->row < b->row : a->col < b->col;
  });
  // One comment a cell: the last given wins, as a later cell does.
  std::vector<const Comment*> kept;
  for (const Comment* c : out) {
    if (!kept.empty() && kept.back()->row == c->row && kept.back()->col == c->col)
      kept.back() = c;
    else
      kept.push_back(c);
  }
  return kept;
}

void WriteCommentsPart(ByteBuffer& out, const std::vector<const Comment*>& comments) {
  std::vector<std::string_view> authors;
  std::unordered_map<std::string_view, uint32_t> authorIds;
  std::vector<uint32_t> ids;
  for (const Comment* c : comments) {
    auto [it, added] = authorIds.emplace(c->author, static_cast<uint32_t>(authors.size()));
    if (added) authors.push_back(c->author);
    ids.push_back(it->second);
  }
  out.append(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors>");
  for (std::string_view a : authors) {
    out.append("<author>");
    AppendXml(out, a, XmlText::Content);
    out.append("</author>");
  }
  out.append("</authors><commentList>");
  for (size_t i = 0; i < comments.size(); ++i) {
    const Comment& c = *comments[i];
    out.append("<comment ref=\"");
    out.append(FormatA1(c.row, c.col));
    out.append("\" authorId=\"");
    AppendUnsigned(out, ids[i]);
    // The font the spreadsheet gives a new note.
    out.append(
        "\"><text><r><rPr><sz val=\"8\"/><color indexed=\"81\"/><rFont val=\"Tahoma\"/>"
        "<family val=\"2\"/></rPr>");
    std::string_view text = CutToUtf16Units(c.text, kMaxCellUnits);
    out.append(EdgeSpace(text) ? "<t xml:space=\"preserve\">" : "<t>");
    AppendXml(out, text, XmlText::CellText);
    out.append("</t></r></text></comment>");
  }
  out.append("</commentList></comments>");
}

uint32_t VmlIdBlocks(size_t count) { return static_cast<uint32_t>(count / 1024 + 1); }

void WriteVmlDrawing(ByteBuffer& out, const std::vector<const Comment*>& comments,
                     const SheetData& d, uint32_t firstBlock) {
  Sizes cols(kDefaultColPx), rows(kDefaultRowPx);
  for (const ColInfo& c : d.colInfo) {
    if (c.width < 0 && !c.hidden) continue;
    int64_t px = c.hidden ? 0 : std::llround(c.width * 7);
    cols.add(c.first, c.last, px);
  }
  for (const RowInfo& r : d.rowInfo) {
    if (r.height < 0 && !r.hidden) continue;
    int64_t px = r.hidden ? 0 : std::llround(r.height * 4 / 3);
    rows.add(r.row, r.row, px);
  }
  cols.done();
  rows.done();

  out.append(
      "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" "
      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:x=\"urn:schemas-microsoft-com:office:excel\">"
      "<o:shapelayout v:ext=\"edit\"><o:idmap v:ext=\"edit\" data=\"");
  uint32_t blocks = VmlIdBlocks(comments.size());
  for (uint32_t b = 0; b < blocks; ++b) {
    if (b) out.push(',');
    AppendUnsigned(out, firstBlock + b);
  }
  out.append(
      "\"/></o:shapelayout>"
      "<v:shapetype id=\"_x0000_t202\" coordsize=\"21600,21600\" o:spt=\"202\" "
      "path=\"m,l,21600r21600,l21600,xe\"><v:stroke joinstyle=\"miter\"/>"
      "<v:path gradientshapeok=\"t\" o:connecttype=\"rect\"/></v:shapetype>");
  uint64_t shapeId = uint64_t{firstBlock} * 1024 + 1;
  for (size_t i = 0; i < comments.size(); ++i) {
    const Comment& c = *comments[i];
    // The box starts one column right of its cell and a row above it, as the spreadsheet
    // places a new note.
    int64_t col = std::min<int64_t>(c.col + 1, kMaxCols - 3), colOffset = 15;
    int64_t row = c.row == 0 ? 0 : std::min<int64_t>(c.row - 1, kMaxRows - 5);
    int64_t rowOffset = c.row == 0 ? 2 : 10;
    int64_t left = cols.start(col) + colOffset, top = rows.start(row) + rowOffset;
    int64_t endCol = col, endColOffset = colOffset, endRow = row, endRowOffset = rowOffset;
    Walk(cols, kMaxCols - 1, endCol, endColOffset, kBoxWidthPx);
    Walk(rows, kMaxRows - 1, endRow, endRowOffset, kBoxHeightPx);

    out.append("<v:shape id=\"_x0000_s");
    AppendUnsigned(out, shapeId + i);
    out.append("\" type=\"#_x0000_t202\" style=\"position:absolute;margin-left:");
    AppendPt(out, left);
    out.append("pt;margin-top:");
    AppendPt(out, top);
    out.append("pt;width:");
    AppendPt(out, kBoxWidthPx);
    out.append("pt;height:");
    AppendPt(out, kBoxHeightPx);
    out.append("pt;z-index:");
    AppendUnsigned(out, i + 1);
    out.append(
        ";visibility:hidden\" fillcolor=\"#ffffe1\" o:insetmode=\"auto\">"
        "<v:fill color2=\"#ffffe1\"/><v:shadow on=\"t\" color=\"black\" obscured=\"t\"/>"
        "<v:path o:connecttype=\"none\"/><v:textbox style=\"mso-direction-alt:auto\">"
        "<div style=\"text-align:left\"></div></v:textbox>"
        "<x:ClientData ObjectType=\"Note\"><x:MoveWithCells/><x:SizeWithCells/><x:Anchor>");
    const int64_t anchor[] = {col, colOffset, row, rowOffset, endCol, endColOffset, endRow, endRowOffset};
    for (size_t k = 0; k < std::size(anchor); ++k) {
      if (k) out.append(", ");
      AppendUnsigned(out, static_cast<uint64_t>(std::max<int64_t>(0, anchor[k])));
    }
    out.append("</x:Anchor><x:AutoFill>False</x:AutoFill><x:Row>");
    AppendUnsigned(out, static_cast<uint64_t>(c.row));
    out.append("</x:Row><x:Column>");
    AppendUnsigned(out, static_cast<uint64_t>(c.col));
    out.append("</x:Column></x:ClientData></v:shape>");
  }
  out.append("</xml>");
}

}  // namespace corvane
