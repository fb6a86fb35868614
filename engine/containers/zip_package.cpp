#include "engine/containers/zip_package.h"

#include <zip.h>

#include <memory>

#include "engine/core/error.h"

namespace corvane {

ZipPackage::ZipPackage(const std::string& path, const std::string& shownName) : shown_(shownName) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_file_create(path.c_str(), 0, -1, &ze);
  openSource(src, &ze);
}

ZipPackage::ZipPackage(InMemory, std::string bytes, const std::string& shownName)
    : shown_(shownName), bytes_(std::move(bytes)) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &ze);
  openSource(src, &ze);
}

void ZipPackage::openSource(zip_source_t* src, zip_error_t* ze) {
  if (src) {
    zip_ = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, ze);
    // A package whose directory is slightly off still opens without the consistency check.
    if (!zip_ && zip_error_code_zip(ze) == ZIP_ER_INCONS) {
      zip_error_fini(ze);
      zip_error_init(ze);
      zip_ = zip_open_from_source(src, ZIP_RDONLY, ze);
    }
    if (!zip_) zip_source_free(src);  // the archive owns its source only once open
  }
  if (!zip_) {
    std::string why = zip_error_strerror(ze);
    zip_error_fini(ze);
    throw AutomationError(Quoted(shown_) + " is damaged and cannot be opened (" + why + ").");
  }
  zip_error_fini(ze);
}

ZipPackage::~ZipPackage() {
  if (zip_) zip_discard(zip_);
}

long long ZipPackage::locate(std::string_view part) const {
  std::string name(part);
  if (!name.empty() && name[0] == '/') name.erase(0, 1);
  return zip_name_locate(zip_, name.c_str(), ZIP_FL_NOCASE);
}

bool ZipPackage::has(std::string_view part) const { return locate(part) >= 0; }

uint64_t ZipPackage::size(std::string_view part) const {
  long long idx = locate(part);
  zip_stat_t st;
  zip_stat_init(&st);
  if (idx < 0 || zip_stat_index(zip_, static_cast<zip_uint64_t>(idx), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    return 0;
  return st.size;
}

void ZipPackage::fail(std::string_view part, const std::string& why) const {
  throw AutomationError(Quoted(shown_) + " is damaged: its part " + std::string(part) + " " + why + ".");
}

void ZipPackage::stream(std::string_view part,
                        const std::function<void(const char*, size_t)>& sink) const {
  long long idx = locate(part);
  if (idx < 0) fail(part, "is missing");
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> f(zip_fopen_index(zip_, static_cast<zip_uint64_t>(idx), 0), zip_fclose);
  if (!f) fail(part, std::string("cannot be read (") + zip_strerror(zip_) + ")");
  std::unique_ptr<char[]> buf(new char[1 << 16]);
  for (;;) {
    zip_int64_t n = zip_fread(f.get(), buf.get(), 1 << 16);
    if (n < 0) fail(part, std::string("cannot be read (") + zip_file_strerror(f.get()) + ")");
    if (n == 0) break;
    sink(buf.get(), static_cast<size_t>(n));
  }
}

std::unique_ptr<ZipPackage::Reader> ZipPackage::open(std::string_view part) const {
  long long idx = locate(part);
  if (idx < 0) fail(part, "is missing");
  zip_file_t* f = zip_fopen_index(zip_, static_cast<zip_uint64_t>(idx), 0);
  if (!f) fail(part, std::string("cannot be read (") + zip_strerror(zip_) + ")");
  return std::unique_ptr<Reader>(new Reader(*this, std::string(part), f));
}

ZipPackage::Reader::~Reader() { zip_fclose(file_); }

size_t ZipPackage::Reader::read(char* buf, size_t n) {
  zip_int64_t got = zip_fread(file_, buf, n);
  if (got < 0) pkg_.fail(part_, std::string("cannot be read (") + zip_file_strerror(file_) + ")");
  return static_cast<size_t>(got);
}

std::string ZipPackage::read(std::string_view part, size_t limit) const {
  std::string out;
  stream(part, [&](const char* p, size_t n) {
    if (out.size() + n > limit) fail(part, "is larger than Corvane accepts");
    out.append(p, n);
  });
  return out;
}

}  // namespace corvane
