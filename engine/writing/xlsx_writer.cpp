#include "engine/writing/xlsx_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <set>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "engine/core/error.h"
#include "engine/writing/comments_part.h"
#include "engine/writing/package_parts.h"
#include "engine/writing/parallel_deflate.h"
#include "engine/writing/shared_strings_part.h"
#include "engine/writing/sheet_part.h"
#include "engine/writing/styles_part.h"
#include "engine/writing/zip_writer.h"

namespace corvane {
namespace {

// zlib's level 2: as fast as level 1 on sheet XML and a seventh smaller (bench/README.md).
constexpr int kDeflateLevel = 2;
// An entry whose text may reach this far gets Zip64 sizes.
constexpr uint64_t kZip64Bytes = 0xFFFFFFFFull;

[[noreturn]] void Fail(const std::string& path, std::string_view why) {
  throw AutomationError("Cannot save \"" + path + "\": " + std::string(why));
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Checks that `path` can be written, for a message that says why not; returns the file
// to replace (a symbolic link is followed so the link stays).
std::string CheckTarget(const std::string& path) {
  if (path.empty()) throw AutomationError("Cannot save: no file name was given");
  if (path.back() == '/') Fail(path, "the name is a folder, not a file");
  std::string target = path;
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      free(real);
    }
  }
  std::string folder = ParentFolder(target);
  if (stat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      Fail(path, "the folder \"" + folder + "\" does not exist");
    Fail(path, "the folder \"" + folder + "\" cannot be reached: " + std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode)) Fail(path, "\"" + folder + "\" is not a folder");
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    Fail(path, "no permission to write in the folder \"" + folder + "\"");
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) Fail(path, "a folder of that name is there");
    if (access(target.c_str(), W_OK) != 0) Fail(path, "the file there is read-only");
  }
  return target;
}

std::string TempName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  std::string folder = ParentFolder(target);
  if (folder.back() != '/') folder += '/';
  return folder + ".corvane-save-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++) + ".tmp";
}

// The names the spreadsheet takes, none twice (without regard to ASCII case).
void CheckSheetNames(const std::string& path, const std::vector<SheetToSave>& sheets) {
  std::set<std::string> seen;
  for (const SheetToSave& s : sheets) {
    std::string problem = SheetNameProblem(s.name);
    if (!problem.empty()) Fail(path, "the sheet name \"" + s.name + "\" is not accepted: " + problem);
    std::string key = s.name;
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!seen.insert(key).second) Fail(path, "two sheets are named \"" + s.name + "\"");
  }
  if (sheets.empty()) Fail(path, "a workbook needs at least one sheet");
}

void AddPart(ZipWriter& zip, std::string_view name, const ByteBuffer& b) {
  zip.add(name, b.view(), kDeflateLevel);
}

// Writes the whole package into `file`.
void WritePackage(OutputFile& file, const std::vector<SheetToSave>& sheets) {
  static const SheetData kEmpty;
  auto dataOf = [](const SheetToSave& s) -> const SheetData& { return s.data ? *s.data : kEmpty; };

  PackageContents contents;
  std::vector<std::vector<const Comment*>> comments;
  for (const SheetToSave& s : sheets) {
    comments.push_back(CommentsToWrite(dataOf(s)));
    contents.sheets.push_back({s.name, !comments.back().empty()});
    contents.dynamicArrays |= SheetPart::HasDynamicArrays(dataOf(s));
  }

  ZipWriter zip(file);
  DeflatePool pool(kDeflateLevel, DeflatePool::WorkersFor(std::thread::hardware_concurrency()));
  zip.add("[Content_Types].xml", ContentTypesXml(contents), kDeflateLevel);
  zip.add("_rels/.rels", RootRelationshipsXml(), kDeflateLevel);
  zip.add("docProps/app.xml", AppPropertiesXml(contents), kDeflateLevel);
  zip.add("docProps/core.xml", CorePropertiesXml(std::time(nullptr)), kDeflateLevel);
  zip.add("xl/workbook.xml", WorkbookXml(contents), kDeflateLevel);
  zip.add("xl/_rels/workbook.xml.rels", WorkbookRelationshipsXml(contents), kDeflateLevel);
  zip.add("xl/theme/theme1.xml", OfficeThemeXml(), kDeflateLevel);

  StylesPart styles;
  SharedStringsPart strings;
  std::unordered_map<const std::vector<Style>*, std::vector<uint32_t>> formatsOfTable;
  uint32_t drawingBlock = 1;
  for (size_t i = 0; i < sheets.size(); ++i) {
    const SheetData& d = dataOf(sheets[i]);
    const std::string n = std::to_string(i + 1);
    const bool hasComments = !comments[i].empty();
    SheetPart part(d, sheets[i].styles, formatsOfTable[sheets[i].styles], styles, strings,
                   SheetPartOptions{i == 0, hasComments});
    {
      DeflatedEntry entry(pool, zip, "xl/worksheets/sheet" + n + ".xml",
                          SheetPart::MaxXmlBytes(d) >= kZip64Bytes);
      try {
        part.write(entry);
      } catch (const std::invalid_argument& e) {
        throw std::invalid_argument("sheet \"" + sheets[i].name + "\": " + e.what());
      }
      entry.finish();
    }
    std::string rels = SheetRelationships(d, hasComments, static_cast<int>(i + 1));
    if (!rels.empty()) zip.add("xl/worksheets/_rels/sheet" + n + ".xml.rels", rels, kDeflateLevel);
    if (hasComments) {
      ByteBuffer b;
      WriteCommentsPart(b, comments[i]);
      AddPart(zip, "xl/comments" + n + ".xml", b);
      b.clear();
      WriteVmlDrawing(b, comments[i], d, drawingBlock);
      drawingBlock += VmlIdBlocks(comments[i].size());
      AddPart(zip, "xl/drawings/vmlDrawing" + n + ".vml", b);
    }
  }

  ByteBuffer stylesXml;
  styles.write(stylesXml);
  AddPart(zip, "xl/styles.xml", stylesXml);
  {
    DeflatedEntry entry(pool, zip, "xl/sharedStrings.xml", strings.maxXmlBytes() >= kZip64Bytes);
    strings.write(entry);
    entry.finish();
  }
  if (contents.dynamicArrays) zip.add("xl/metadata.xml", DynamicArrayMetadataXml(), kDeflateLevel);
  zip.finish();
}

// What went wrong, in words for the user.
std::string Describe(const std::exception& e) {
  if (auto* sys = dynamic_cast<const std::system_error*>(&e))
    return std::string("the file could not be written (") + std::strerror(sys->code().value()) + ")";
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "out of memory";
  return e.what();
}

}  // namespace

void SaveXlsx(const std::string& path, const std::vector<SheetToSave>& sheets) {
  const std::string target = CheckTarget(path);
  CheckSheetNames(path, sheets);
  const std::string temp = TempName(target);

  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int e = errno;
    Fail(path, "no file can be made in the folder \"" + ParentFolder(target) + "\" (" +
                   std::strerror(e) + ")");
  }
  try {
    OutputFile file(fd);
    WritePackage(file, sheets);
    file.finish();  // forced to the disk before it takes the target's place
  } catch (const std::exception& e) {
    ::unlink(temp.c_str());
    Fail(path, Describe(e));
  }

  struct stat st{};
  if (stat(target.c_str(), &st) == 0) chmod(temp.c_str(), st.st_mode & 07777);
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    Fail(path, std::strerror(e));
  }
  // The new name itself reaches the disk with its folder.
  int dir = ::open(ParentFolder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace corvane
