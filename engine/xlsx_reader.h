// Reader for Office Open XML workbooks (.xlsx, .xlsm, Strict OOXML too).
#pragma once

#include <memory>
#include <string>

#include "engine/workbook_reader.h"

namespace corvane {

class ZipPackage;

// Takes an open package; `shownName` is how errors name the file.
std::unique_ptr<WorkbookReader> OpenXlsx(std::unique_ptr<ZipPackage> package, const std::string& shownName);

// Decodes the _xHHHH_ escapes that OOXML uses for characters XML cannot carry.
void DecodeOoxmlEscapes(std::string& s);

}  // namespace corvane
