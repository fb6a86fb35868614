// Cell styles of an OpenDocument spreadsheet: the common styles of styles.xml and the
// automatic ones of content.xml, with their data styles, resolved into Style values.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/style.h"

namespace corvane {

class OdsStyleSheet {
 public:
  // Fed every element inside office:font-face-decls, office:styles and
  // office:automatic-styles of a document (element names without prefix, attribute
  // names with theirs). Documents read earlier win when two define the same name.
  void start(std::string_view name, const char** attrs);
  void end(std::string_view name);
  void text(std::string_view s);
  // Call between documents.
  void finishDocument();

  // True for a table style with table:display="false".
  bool tableHidden(std::string_view styleName) const;
  // A column style's width in the unit of an .xlsx <col width>, a row style's height in points
  // when it is set by hand (an optimal height follows the row's content); below 0 otherwise.
  double columnWidth(std::string_view styleName) const;
  double rowHeight(std::string_view styleName) const;

  // Resolves every cell style into `out` (index 0: the default cell style).
  void resolve(StyleTable& out);
  // A cell style's index after resolve(); 0 for a name nobody defined.
  uint32_t index(std::string_view name) const;

  // The Excel format code of a data style (number:number-style and friends), "General"
  // when unknown. Exposed for tests.
  std::string formatCode(std::string_view dataStyle) const;

 private:
  struct CellProps {
    std::string parent, dataStyle;
    bool hasDataStyle = false;
    std::optional<std::string> fontFace, fontFamily;
    std::optional<double> size;
    std::optional<bool> bold, italic, strike, wrap, shrink, locked, hidden;
    std::optional<Underline> underline;
    std::optional<Rgb> color, background;
    std::optional<BorderSide> border[4];  // left, right, top, bottom
    std::optional<BorderSide> diagonalUp, diagonalDown;  // bottom-left to top-right, top-left to bottom-right
    std::optional<HAlign> hAlign;
    std::optional<VAlign> vAlign;
    std::optional<int16_t> rotation;
    bool alignFromValue = false;
  };
  enum class DataKind : uint8_t { Number, Date, Time, Percentage, Currency, Boolean, Text };
  struct DataStyle {
    DataKind kind = DataKind::Number;
    std::string code;
    bool elapsed = false;  // time-style number:truncate-on-overflow="false": [h]
    bool timeSeen = false;
    Rgb color = kAutoColor;
    std::vector<std::pair<std::string, std::string>> maps;  // condition, style
  };

  void startCellStyle(const char** a, bool isDefault);
  void cellProperty(std::string_view element, const char** a);
  void startDataElement(std::string_view name, const char** a);
  void endDataElement(std::string_view name);
  std::string sectionCode(const DataStyle& d) const;
  void apply(const CellProps& p, Style& s) const;
  Style resolveStyle(std::string_view name) const;

  std::unordered_map<std::string, std::string> fontFaces_;
  std::unordered_map<std::string, CellProps> cellStyles_;
  std::optional<CellProps> defaultStyle_;
  std::unordered_map<std::string, bool> tableHidden_;
  std::unordered_map<std::string, double> columnWidths_, rowHeights_;
  std::unordered_map<std::string, DataStyle> dataStyles_;

  // Parse state.
  int depth_ = 0;
  CellProps* cell_ = nullptr;
  CellProps scratchCell_;
  std::string tableStyle_, columnStyle_, rowStyle_;
  DataStyle* data_ = nullptr;
  DataStyle scratchData_;
  int dataDepth_ = 0;
  std::string* collect_ = nullptr;
  std::string textBuf_;
  bool inEmbedded_ = false;

  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> index_;
};

}  // namespace corvane
