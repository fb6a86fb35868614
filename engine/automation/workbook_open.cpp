// Tells workbook formats apart by their first bytes and hands the file to its reader, with
// the formula layer the readers decode formulas through.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "engine/automation/workbook_open.h"
#include "engine/containers/compound_file.h"
#include "engine/containers/opc_package.h"
#include "engine/containers/xml_reader.h"
#include "engine/containers/zip_package.h"
#include "engine/core/error.h"
#include "engine/formula/spreadsheet_formulas.h"
#include "engine/ods/ods_reader.h"
#include "engine/xls/xls_reader.h"
#include "engine/xlsb/xlsb_reader.h"
#include "engine/xlsx/xlsx_reader.h"

namespace corvane {

namespace {


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

// The root entry of META-INF/manifest.xml: the media type of the whole package.
class ManifestHandler : public XmlHandler {
 public:
  std::string mediaType;
  void start(std::string_view name, const char** a) override {
    const char* path = Attr(a, "full-path");
    const char* type = Attr(a, "media-type");
    if (name == "file-entry" && path && type && std::strcmp(path, "/") == 0) mediaType = type;
  }
};

// What content.xml holds: the first element inside office:body ("spreadsheet", "text"...).
class BodyHandler : public XmlHandler {
 public:
  std::string kind;
  void start(std::string_view name, const char**) override {
    ++depth_;
    if (depth_ == 2 && name == "body") bodyAt_ = depth_;
    else if (bodyAt_ && depth_ == bodyAt_ + 1 && kind.empty()) kind = name;
  }
  void end(std::string_view) override { --depth_; }

 private:
  int depth_ = 0, bodyAt_ = 0;
};

// The media type an OpenDocument package gives itself: its mimetype entry, else the root
// entry of its manifest, else what content.xml's body holds; empty for any other package.
std::string OdfMediaType(const ZipPackage& pkg, const std::string& path) {
  if (pkg.has("mimetype")) return pkg.read("mimetype", 256);
  if (pkg.has("META-INF/manifest.xml")) {
    ManifestHandler h;
    try {
      XmlParser::Parse(h, pkg.read("META-INF/manifest.xml", 16u << 20), PartOf(path, "META-INF/manifest.xml"));
    } catch (const AutomationError&) {
      h.mediaType.clear();  // a damaged manifest says nothing; the content may still
    }
    if (!h.mediaType.empty()) return h.mediaType;
  }
  if (pkg.has("content.xml")) {
    // Only the start of the part is read: the body's first element comes before any cell.
    // A content.xml that is no OpenDocument says nothing: the package is some other archive.
    BodyHandler h;
    try {
      XmlParser parser(h, PartOf(path, "content.xml"));
      auto in = pkg.open("content.xml");
      char buf[1 << 14];
      while (h.kind.empty()) {
        size_t n = in->read(buf, sizeof buf);
        if (n == 0) break;
        parser.feed(buf, n);
      }
    } catch (const AutomationError&) {
    }
    if (!h.kind.empty()) return "application/vnd.oasis.opendocument." + h.kind;
  }
  return {};
}

// A zip package that is not a workbook: say what it is.
[[noreturn]] void RefuseOtherPackage(ZipPackage& pkg, const std::string& path, const std::string& odfType) {
  if (!odfType.empty())
    throw AutomationError(Quoted(path) + " is an OpenDocument file (" + odfType + "), not a workbook.");
  if (pkg.has("word/document.xml"))
    throw AutomationError(Quoted(path) + " is a Word document, not a workbook.");
  if (pkg.has("ppt/presentation.xml"))
    throw AutomationError(Quoted(path) + " is a PowerPoint presentation, not a workbook.");
  if (pkg.has("_rels\\.rels") || pkg.has("xl\\workbook.xml"))
    throw AutomationError(Quoted(path) + " is damaged: its parts are stored under names with backslashes, "
                          "which a workbook package must not use.");
  throw AutomationError(Quoted(path) + " is a zip archive, not a workbook.");
}

// The workbook at `file`, or in `bytes` when `file` is null; errors name it `path`.
std::unique_ptr<WorkbookReader> OpenWorkbook(const std::string* file, std::string bytes, const std::string& path) {
  auto head = [&](size_t n) { return file ? ReadHead(*file, n) : bytes.substr(0, n); };
  std::string start = head(8);
  if (start.size() >= 4 && start.compare(0, 2, "PK") == 0) {
    auto pkg = file ? std::make_unique<ZipPackage>(*file, path)
                    : std::make_unique<ZipPackage>(ZipPackage::InMemory{}, std::move(bytes), path);
    std::string odfType = OdfMediaType(*pkg, path);
    if (odfType.find("opendocument.spreadsheet") != std::string::npos) return OpenOds(std::move(pkg), path, SpreadsheetFormulas());
    // The workbook part is found through the package's relationships; its content type says
    // whether it is binary (.xlsb) or XML, whatever it is called.
    if (IsBinaryWorkbookPackage(*pkg, path)) return OpenXlsb(std::move(pkg), path, SpreadsheetFormulas());
    bool ooxml = pkg->has("_rels/.rels") && !pkg->has("word/document.xml") && !pkg->has("ppt/presentation.xml");
    if (!ooxml || !odfType.empty()) RefuseOtherPackage(*pkg, path, odfType);
    return OpenXlsx(std::move(pkg), path, SpreadsheetFormulas());
  }
  if (start.size() == 8 && std::memcmp(start.data(), kCompoundFileSignature, 8) == 0) {
    // Encrypted OOXML packages travel inside a compound file.
    std::string whole = head(1u << 20);
    if (HasUtf16Name(whole, "EncryptedPackage") || HasUtf16Name(whole, "EncryptionInfo"))
      throw AutomationError(Quoted(path) + " is password-protected. Open it in your spreadsheet program, remove the password, and try again.");
    return file ? OpenXls(*file, SpreadsheetFormulas()) : OpenXlsBytes(std::move(bytes), path, SpreadsheetFormulas());
  }
  // A bare BIFF stream without a compound file around it, as Excel 2 to 4 wrote them.
  if (start.size() >= 4 && start[0] == 0x09 &&
      (start[1] == 0x00 || start[1] == 0x02 || start[1] == 0x04 || start[1] == 0x08) && start[3] == 0x00)
    return file ? OpenXls(*file, SpreadsheetFormulas()) : OpenXlsBytes(std::move(bytes), path, SpreadsheetFormulas());
  if (start.size() >= 2 && static_cast<unsigned char>(start[0]) == 0x1F && static_cast<unsigned char>(start[1]) == 0x8B)
    throw AutomationError(Quoted(path) + " is a gzip-compressed file, not a workbook.");
  if (start.empty()) throw AutomationError(Quoted(path) + " is empty, not a workbook.");
  throw AutomationError(Quoted(path) + " is not a workbook.");
}

}  // namespace

std::unique_ptr<WorkbookReader> OpenWorkbookFile(const std::string& path) { return OpenWorkbook(&path, {}, path); }

std::unique_ptr<WorkbookReader> OpenWorkbookBytes(std::string bytes, const std::string& shownName) {
  return OpenWorkbook(nullptr, std::move(bytes), shownName);
}

}  // namespace corvane
