// Tells workbook formats apart by their first bytes and hands the file to its reader.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "engine/error.h"
#include "engine/ods_reader.h"
#include "engine/opc_package.h"
#include "engine/workbook_reader.h"
#include "engine/xls_reader.h"
#include "engine/xlsb_reader.h"
#include "engine/xlsx_reader.h"
#include "engine/zip_package.h"

namespace corvane {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// True when the bytes hold `ascii` as UTF-16LE, as compound-file directory names are stored.
bool HasUtf16Name(const std::string& bytes, std::string_view ascii) {
  std::string wide;
  for (char ch : ascii) {
    wide += ch;
    wide += '\0';
  }
  return bytes.find(wide) != std::string::npos;
}

std::string ReadHead(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw AutomationError(Quoted(path) + " cannot be opened: it does not exist or you may not read it.");
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

// A zip package that is not a workbook: say what it is.
[[noreturn]] void RefuseOtherPackage(ZipPackage& pkg, const std::string& path) {
  if (pkg.has("mimetype")) {
    std::string mime = pkg.read("mimetype", 256);
    throw AutomationError(Quoted(path) + " is an OpenDocument file (" + mime + "), not a workbook.");
  }
  if (pkg.has("word/document.xml"))
    throw AutomationError(Quoted(path) + " is a Word document, not a workbook.");
  if (pkg.has("ppt/presentation.xml"))
    throw AutomationError(Quoted(path) + " is a PowerPoint presentation, not a workbook.");
  if (pkg.has("_rels\\.rels") || pkg.has("xl\\workbook.xml"))
    throw AutomationError(Quoted(path) + " is damaged: its parts are stored under names with backslashes, "
                          "which a workbook package must not use.");
  throw AutomationError(Quoted(path) + " is a zip archive, not a workbook.");
}

}  // namespace

std::unique_ptr<WorkbookReader> OpenWorkbookFile(const std::string& path) {
  std::string head = ReadHead(path, 8);
  if (head.size() >= 4 && head.compare(0, 2, "PK") == 0) {
    auto pkg = std::make_unique<ZipPackage>(path, path);
    if (pkg->has("mimetype") && pkg->read("mimetype", 256).find("opendocument.spreadsheet") != std::string::npos)
      return OpenOds(std::move(pkg), path);
    // The workbook part is found through the package's relationships; its content type says
    // whether it is binary (.xlsb) or XML, whatever it is called.
    if (IsBinaryWorkbookPackage(*pkg, path)) return OpenXlsb(std::move(pkg), path);
    bool ooxml = pkg->has("_rels/.rels") && !pkg->has("word/document.xml") && !pkg->has("ppt/presentation.xml");
    if (!ooxml) RefuseOtherPackage(*pkg, path);
    return OpenXlsx(std::move(pkg), path);
  }
  static const unsigned char kOle[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (head.size() == 8 && std::memcmp(head.data(), kOle, 8) == 0) {
    // Encrypted OOXML packages travel inside a compound file.
    std::string whole = ReadHead(path, 1u << 20);
    if (HasUtf16Name(whole, "EncryptedPackage") || HasUtf16Name(whole, "EncryptionInfo"))
      throw AutomationError(Quoted(path) + " is password-protected. Open it in your spreadsheet program, remove the password, and try again.");
    return OpenXls(path);
  }
  // A bare BIFF stream without a compound file around it, as Excel 2 to 4 wrote them.
  if (head.size() >= 4 && head[0] == 0x09 && (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04 || head[1] == 0x08) &&
      head[3] == 0x00)
    return OpenXls(path);
  if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1F && static_cast<unsigned char>(head[1]) == 0x8B)
    throw AutomationError(Quoted(path) + " is a gzip-compressed file, not a workbook.");
  if (head.empty()) throw AutomationError(Quoted(path) + " is empty, not a workbook.");
  throw AutomationError(Quoted(path) + " is not a workbook.");
}

}  // namespace corvane
