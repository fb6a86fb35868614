// Saving worksheets as a new .xlsx workbook, with Corvane's own streaming writer.
//
// What is written: every cell's value with its own type (numbers as text that reads back as
// the same double, whole numbers up to 2^53 as integers and the rest in their shortest form;
// strings through the shared-strings part, empty ones too; booleans; errors),
// formulas with their text and a cached result of its own type (number, string, boolean,
// error), array and dynamic array formulas over their ranges; each cell's format (number
// format, font, fill including gradients, borders including diagonals, alignment,
// protection); row heights, hidden rows and rows' formats; column widths, hidden columns and
// columns' formats; merged ranges; hyperlinks to outside targets and to places in the
// workbook, with their tips, also links with neither (a tip only); comments with their
// author, shown as notes.
//
// Sheets are deflated on every core (engine/writing/parallel_deflate) into a zip archive of
// our own (engine/writing/zip_writer, Zip64 when a part or the file passes 4 GiB).
//
// Number formats, font names and link targets are written whatever their length. What remains
// of the format's and the spreadsheet's own limits:
// - a cell's text, a formula's cached text and a comment are cut at 32,767 UTF-16 units, the
//   most a cell holds; a link's tip at 255;
// - numbers that are no finite double (NaN, infinities) are written as the #NUM! error;
// - text that is not UTF-8 has its stray bytes replaced by U+FFFD; characters XML cannot carry
//   are written as _xHHHH_ escapes in cell text and comments, as U+FFFD elsewhere;
// - of two comments on one cell the last is kept, of overlapping merged ranges the first;
// - cells, links and comments outside the sheet's 1,048,576 rows and 16,384 columns are
//   left out.
#pragma once

#include <string>
#include <vector>

#include "engine/automation/workbook_saver.h"

namespace corvane {

// Writes a new .xlsx at `path`, replacing a file that is there. The workbook is written to a
// temporary file beside the target, forced to the disk and then renamed over it, so a failed
// save leaves an existing file untouched and nothing behind. Throws AutomationError with a
// description that names the file on any failure (folder missing, no permission, a sheet
// name the spreadsheet refuses, a full disk, a write error).
void SaveXlsx(const std::string& path, const std::vector<SheetToSave>& sheets);

}  // namespace corvane
