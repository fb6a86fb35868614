// A worksheet part of a saved workbook (xl/worksheets/sheetN.xml), written as a stream: rows
// and cells in order, each cell with the type of its value (number, shared string, boolean,
// error) or its formula with the type of its cached result, then the merged ranges and
// hyperlinks, in the order the schema's sequence gives a worksheet's elements. Also the
// sheet's relationships (links to outside targets, the comments and their drawing).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/style.h"
#include "engine/writing/shared_strings_part.h"
#include "engine/writing/styles_part.h"

namespace corvane {

class DeflatedEntry;
class ByteBuffer;

struct SheetPartOptions {
  bool selected = false;       // the tab shown when the workbook opens
  bool hasComments = false;    // a legacy drawing holds the comments' boxes
};

class SheetPart {
 public:
  // `styles`: the table the cells' style indices refer to (may be null: every cell gets the
  // default format); `xfCache`: that table's indices already turned into cell formats, kept
  // by the caller for every sheet that shares the table.
  SheetPart(const SheetData& d, const std::vector<Style>* styles, std::vector<uint32_t>& xfCache,
            StylesPart& stylesPart, SharedStringsPart& strings, SheetPartOptions options);

  // Throws std::invalid_argument for a cell that refers to a formula the sheet does not hold.
  // A dynamic array formula's cell refers to the workbook's metadata part, which the caller
  // writes when HasDynamicArrays says so.
  void write(DeflatedEntry& out);

  static bool HasDynamicArrays(const SheetData& d);
  // More bytes than the sheet's XML can take, to tell whether its zip entry needs Zip64.
  static uint64_t MaxXmlBytes(const SheetData& d);

 private:
  uint32_t xf(uint32_t style);
  void writeHead(ByteBuffer& out);
  void writeCols(ByteBuffer& out);
  void writeRowStart(ByteBuffer& out, uint32_t row, const RowInfo* info);
  void writeBareRow(ByteBuffer& out, const RowInfo& info);
  void writeCell(ByteBuffer& out, const Cell& c);
  void writeFormula(ByteBuffer& out, const Cell& c, char* p);
  void writeTail(ByteBuffer& out);

  const SheetData& d_;
  const std::vector<Style>* styles_;
  std::vector<uint32_t>& xfCache_;
  StylesPart& stylesPart_;
  SharedStringsPart::Pool shared_, own_;
  SharedStringsPart& strings_;
  SheetPartOptions options_;
  std::vector<uint32_t> order_;     // cell order when the cells are not sorted
  std::vector<bool> styledCols_;    // columns that give empty positions a format
  bool rowStyled_ = false;          // the row being written gives its positions a format
  char rowText_[12] = {};           // the row number being written
  size_t rowLen_ = 0;
};

// xl/worksheets/_rels/sheetN.xml.rels; empty when the sheet has nothing to relate to.
// `partNumber` names the sheet's vmlDrawingN.vml and commentsN.xml when it has comments.
std::string SheetRelationships(const SheetData& d, bool hasComments, int partNumber);

}  // namespace corvane
