// The in-memory form of a worksheet: compact cells in row-major order,
// with strings, formulas and formats held beside them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/style.h"

namespace corvane {

inline constexpr int32_t kMaxRows = 1048576;
inline constexpr int32_t kMaxCols = 16384;

// A rectangle of cells, 0-based and inclusive.
struct Rect {
  int32_t r1 = 0, c1 = 0, r2 = -1, c2 = -1;
  bool empty() const { return r2 < r1 || c2 < c1; }
  int32_t rows() const { return r2 - r1 + 1; }
  int32_t cols() const { return c2 - c1 + 1; }
  bool contains(int32_t r, int32_t c) const { return r >= r1 && r <= r2 && c >= c1 && c <= c2; }
  bool operator==(const Rect&) const = default;
};

enum class CellType : uint8_t {
  Blank,    // a cell that carries only a format
  Number,
  String,
  Bool,
  Error,
  Formula,
};

enum class ErrorCode : uint8_t {
  Null, Div0, Value, Ref, Name, Num, NA, GettingData, Spill, Calc, Field, Busy, Unknown
};

std::string_view ErrorText(ErrorCode e);
// Parses "#DIV/0!" and friends; Unknown when the text is no error literal.
ErrorCode ParseError(std::string_view text);

// What a formula's cached result is.
enum class CachedKind : uint8_t { None, Number, String, Bool, Error };

// 24 bytes: one per cell, no heap behind it. Its fields are packed: what `sub` and `aux` hold
// depends on the type. Readers build cells through SheetBuilder (sheet_builder.h), everything
// else reads and makes them through the members below; only the model knows the packing.
struct Cell {
  double num = 0;         // Number, Bool (0/1), a formula's cached number or bool
  uint32_t row = 0;       // 0-based
  uint16_t col = 0;       // 0-based
  CellType type = CellType::Blank;
  uint8_t sub = 0;        // String: kSharedString or kOwnString; Error: ErrorCode; Formula: CachedKind
  uint32_t style = 0;     // index into the owning workbook's style table
  uint32_t aux = 0;       // String: string index; Formula: formula index

  // Values without a place or a format (see place()).
  static Cell NumberValue(double v) { return Make(CellType::Number, v, 0, 0); }
  static Cell BoolValue(bool b) { return Make(CellType::Bool, b ? 1 : 0, 0, 0); }
  static Cell ErrorValue(ErrorCode e) { return Make(CellType::Error, 0, static_cast<uint8_t>(e), 0); }
  static Cell SharedStringValue(uint32_t index) { return Make(CellType::String, 0, kShared, index); }  // SheetData::shared
  static Cell OwnStringValue(uint32_t index) { return Make(CellType::String, 0, kOwn, index); }        // SheetData::strings
  static Cell BlankValue() { return Cell{}; }
  // A formula (SheetData::formulas[formula]) whose last result was of kind `cached`; a cached
  // number or boolean is `number`.
  static Cell FormulaValue(uint32_t formula, CachedKind cached, double number = 0) {
    return Make(CellType::Formula, number, static_cast<uint8_t>(cached), formula);
  }
  // The cell at (row, col), 0-based, in format `style`.
  Cell& place(int32_t r, int32_t c, uint32_t s) {
    row = static_cast<uint32_t>(r);
    col = static_cast<uint16_t>(c);
    style = s;
    return *this;
  }

  double number() const { return num; }        // Number; Bool as 0/1; a formula's cached number or bool
  bool boolean() const { return num != 0; }     // Bool; a formula's cached bool
  ErrorCode error() const { return static_cast<ErrorCode>(sub); }          // Error
  bool inSharedStrings() const { return sub == kShared; }                  // String: which strings
  uint32_t stringIndex() const { return aux; }                             // String
  uint32_t formulaIndex() const { return aux; }                            // Formula
  CachedKind cached() const { return static_cast<CachedKind>(sub); }       // Formula

 private:
  static constexpr uint8_t kShared = 0, kOwn = 1;
  static Cell Make(CellType t, double v, uint8_t s, uint32_t a) {
    Cell c;
    c.type = t;
    c.num = v;
    c.sub = s;
    c.aux = a;
    return c;
  }
};
static_assert(sizeof(Cell) == 24);

inline constexpr uint8_t kSharedString = 0;  // aux indexes SheetData::shared
inline constexpr uint8_t kOwnString = 1;     // aux indexes SheetData::strings

enum class FormulaKind : uint8_t { Normal, Array, DynamicArray };

struct Formula {
  std::string text;           // without the leading '='
  FormulaKind kind = FormulaKind::Normal;
  Rect arrayRange;            // Array / DynamicArray: the range the master cell spans
  std::string cachedString;   // cached result when it is a string
  uint8_t cachedError = 0;    // cached ErrorCode when the result is an error (cachedErrorCode())
  bool valueOnly = false;     // read from a format whose tokens have no faithful A1 text:
                              // pasted as its cached result, like a reference to another sheet
  ErrorCode cachedErrorCode() const { return static_cast<ErrorCode>(cachedError); }
};

// Strings packed end to end: no allocation per string.
class StringPool {
 public:
  uint32_t add(std::string_view s) {
    chars_.append(s);
    ends_.push_back(chars_.size());
    return static_cast<uint32_t>(ends_.size() - 1);
  }
  std::string_view get(uint32_t i) const {
    size_t b = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(chars_).substr(b, ends_[i] - b);
  }
  uint32_t size() const { return static_cast<uint32_t>(ends_.size()); }
  size_t bytes() const { return chars_.size() + ends_.size() * sizeof(size_t); }
  void reserve(size_t strings, size_t chars) { ends_.reserve(strings); chars_.reserve(chars); }

 private:
  std::string chars_;
  std::vector<size_t> ends_;
};

struct Hyperlink {
  int32_t row = 0, col = 0;   // top-left of the link's cell range
  int32_t rows = 1, cols = 1;
  std::string target;         // external address, or empty
  std::string location;       // place inside the workbook ("Sheet2!A1"), or empty
  std::string tooltip;
  std::string display;        // the text the file says the link shows, or empty
};

struct Comment {
  int32_t row = 0, col = 0;
  std::string author;
  std::string text;
};

// The sizes of rows and columns without a size of their own in the workbooks Corvane writes
// (Calibri 11): 15 points, and 8.43 characters, which an .xlsx <col width> holds as 9.140625.
inline constexpr double kDefaultRowHeight = 15;
inline constexpr double kDefaultColumnWidth = 9.140625;

// What a sheet says of one row as a whole. Rows without an entry have the sheet's default
// height and no format of their own.
struct RowInfo {
  int32_t row = 0;          // 0-based
  double height = -1;       // points; below 0: the sheet's default height
  bool hidden = false;
  bool hasStyle = false;    // the row gives `style` to its positions that have no cell
  uint32_t style = 0;
};

// What a sheet says of a run of columns. Columns without an entry have the default width and
// no format of their own.
struct ColInfo {
  int32_t first = 0, last = 0;  // 0-based, inclusive
  double width = -1;        // as an .xlsx <col width> holds it (characters of the default
                            // font's widest digit, padding included); below 0: the default width
  bool hidden = false;
  bool hasStyle = false;    // the columns give `style` to their positions that have no cell
                            // and whose row gives none
  uint32_t style = 0;
};

// Everything of one worksheet that a copy can carry.
struct SheetData {
  std::vector<Cell> cells;           // sorted by (row, col) unless `sorted` is false
  bool sorted = true;
  std::vector<Formula> formulas;
  std::shared_ptr<const StringPool> shared;  // the workbook's shared strings, may be null
  StringPool strings;                // strings stored in the sheet itself
  std::vector<Rect> merges;
  std::vector<Hyperlink> links;
  std::vector<Comment> comments;
  std::vector<RowInfo> rowInfo;      // sorted by row, at most one entry a row
  std::vector<ColInfo> colInfo;      // sorted, runs do not overlap
  // Bounding box of every used cell: a value, a formula, a format other than the default, a
  // comment or a link; rows with a format of their own count too (in column A when no cell
  // gives the columns), columns with a format of their own do not.
  Rect used;

  std::string_view str(const Cell& c) const {
    return c.inSharedStrings() ? shared->get(c.stringIndex()) : strings.get(c.stringIndex());
  }
  // The formula of a Formula cell.
  const Formula& formula(const Cell& c) const { return formulas[c.formulaIndex()]; }
  Formula& formula(const Cell& c) { return formulas[c.formulaIndex()]; }
  void sortCells();
  // The cell at (row, col), or nullptr. Needs sorted cells.
  const Cell* find(int32_t row, int32_t col) const;
  // Range of cells [first, last) that lie in rows r1..r2. Needs sorted cells.
  std::pair<size_t, size_t> rowSpan(int32_t r1, int32_t r2) const;
  // What the sheet says of a row / of the column run holding `col`, or nullptr. Need sorted
  // rowInfo / colInfo.
  const RowInfo* rowInfoAt(int32_t row) const;
  const ColInfo* colInfoAt(int32_t col) const;
  // Whether a position without a cell takes a format from its row or column. A reader keeps a
  // blank cell of the default format where this holds: it stands for the default against it.
  bool takesRowOrColumnFormat(int32_t row, int32_t col) const;
  void recomputeUsed(uint32_t defaultStyle = 0);
  // What a reader does once a sheet's cells are in: sorts them, gives back spare capacity and
  // works out the used range.
  void finishLoading();
  size_t memoryBytes() const;
};

// A formula cell as the plain cell of its last result, in the same place and format: what a
// cell stands for when its formula cannot be kept (a paste that loses its meaning, a part of
// an array or a data table). A formula without a result becomes a blank of its format.
// `ownString(text)` gives the index of a cached text among the own strings of the sheet the
// cell is to be read with.
template <typename OwnString>
Cell CachedResultCell(const Cell& formulaCell, const Formula& f, OwnString&& ownString) {
  Cell v;
  switch (formulaCell.cached()) {
    case CachedKind::Number: v = Cell::NumberValue(formulaCell.number()); break;
    case CachedKind::Bool: v = Cell::BoolValue(formulaCell.boolean()); break;
    case CachedKind::Error: v = Cell::ErrorValue(f.cachedErrorCode()); break;
    case CachedKind::String: v = Cell::OwnStringValue(ownString(std::string_view(f.cachedString))); break;
    case CachedKind::None: v = Cell::BlankValue(); break;
  }
  v.row = formulaCell.row;
  v.col = formulaCell.col;
  v.style = formulaCell.style;
  return v;
}

// Styles of one workbook; index 0 is the workbook's default cell format.
struct StyleTable {
  std::vector<Style> styles;
  bool date1904 = false;
};

}  // namespace corvane
