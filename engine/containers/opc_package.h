// Package relationships of the zip-based workbook formats (.xlsx, .xlsm, .xlsb):
// which part is the workbook, its sheets, styles and strings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/core/workbook_reader.h"

namespace corvane {

class ZipPackage;

struct Relationship {
  std::string id, type, target;
  bool external = false;
};

bool EndsWith(std::string_view s, std::string_view tail);

// The folder of a part, with its trailing slash ("xl/workbook.xml" -> "xl/").
std::string DirOf(std::string_view part);

// Resolves a relationship target against the folder of the part that holds it.
std::string ResolvePart(std::string_view baseDir, std::string_view target);

// The relationships part that belongs to `part` ("xl/workbook.bin" -> "xl/_rels/workbook.bin.rels").
std::string RelsPartOf(std::string_view part);

// The relationships of `part`; none when its relationships part is absent.
// `shown` names the file in errors.
std::vector<Relationship> ReadRelationships(const ZipPackage& pkg, std::string_view part, const std::string& shown);

// The kind of sheet a workbook's relationship of `type` points at; false when it points at
// something else than a sheet.
bool SheetKindOf(std::string_view type, SheetKind& kind);

// What a workbook part's relationships point at besides its sheets.
struct WorkbookLinks {
  std::string styles, sharedStrings, theme;  // part names, empty when absent
};
WorkbookLinks FindWorkbookLinks(const std::vector<Relationship>& rels, std::string_view dir);

// The sheet a workbook lists under relationship `relId`: its part, and its kind from the
// relationship's type. False when the relationship points at something else than a sheet; a
// missing relationship leaves a worksheet with no part.
bool ResolveSheet(const std::vector<Relationship>& rels, std::string_view dir, std::string_view relId,
                  SheetKind& kind, std::string& part);

// The package's main document as its root relationships name it; empty when there is none.
std::string MainDocumentPart(const ZipPackage& pkg, const std::string& shown);

// The content type [Content_Types].xml gives `part`: its Override, else the Default of its
// extension (both matched without regard to case); empty when neither is there.
std::string PartContentType(const ZipPackage& pkg, std::string_view part, const std::string& shown);

// True when the package's main document is a binary workbook (.xlsb): by its content type,
// or by a ".bin" name when the package gives it no XML or binary workbook type.
bool IsBinaryWorkbookPackage(const ZipPackage& pkg, const std::string& shown);

}  // namespace corvane
