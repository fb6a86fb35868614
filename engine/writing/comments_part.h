// A sheet's comments, written as the spreadsheet writes notes: the comments part (text and
// author) and the legacy VML drawing that gives each its hidden yellow box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/model.h"
#include "engine/writing/xml_out.h"

namespace corvane {

// The comments a sheet keeps: those on cells inside the sheet, one a cell (the last given
// for it), in cell order.
std::vector<const Comment*> CommentsToWrite(const SheetData& d);

// xl/commentsN.xml.
void WriteCommentsPart(ByteBuffer& out, const std::vector<const Comment*>& comments);

// How many blocks of 1024 drawing shape ids a sheet with `count` comments takes.
uint32_t VmlIdBlocks(size_t count);
// xl/drawings/vmlDrawingN.vml; its shape ids start at block `firstBlock` (1 or more), which
// no other sheet's drawing may share. Boxes are placed beside their cells by the sheet's
// column widths and row heights.
void WriteVmlDrawing(ByteBuffer& out, const std::vector<const Comment*>& comments,
                     const SheetData& d, uint32_t firstBlock);

}  // namespace corvane
