#include "engine/containers/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "engine/core/error.h"

namespace corvane {

namespace {

// A part that inflates past kInflationFloor bytes to more than kMaxInflation times its stored
// size is a zip bomb, refused before it costs the machine its memory; so is a package whose
// parts together inflate that far beyond the package's size. Deflate packs repeated
// text 170 to 1 at its fastest and up to about 1,000 to 1 at its best; the largest real parts
// seen go to 140 to 1 (a sheet of one long string repeated, 112 MB), and parts below the floor
// are read whatever their ratio.
constexpr uint64_t kMaxInflation = 100;
constexpr uint64_t kInflationFloor = uint64_t(256) << 20;

}  // namespace

ZipPackage::ZipPackage(const std::string& path, const std::string& shownName) : shown_(shownName) {
  std::error_code ec;
  archiveSize_ = std::filesystem::file_size(path, ec);
  if (ec) archiveSize_ = 0;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_file_create(path.c_str(), 0, -1, &ze);
  openSource(src, &ze);
}

ZipPackage::ZipPackage(InMemory, std::string bytes, const std::string& shownName)
    : shown_(shownName), bytes_(std::move(bytes)), archiveSize_(bytes_.size()) {
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

ZipPackage::Sizes ZipPackage::sizesOf(long long index) const {
  Sizes sizes;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return sizes;
  if (st.valid & ZIP_STAT_COMP_SIZE) sizes.stored = st.comp_size;
  if (st.valid & ZIP_STAT_SIZE) sizes.declared = st.size;
  return sizes;
}

void ZipPackage::checkInflation(std::string_view part, uint64_t inflated, const Sizes& sizes) const {
  auto bomb = [](uint64_t inflates, uint64_t stored) {
    return inflates >= kInflationFloor && inflates / kMaxInflation > stored;
  };
  if (inflated > sizes.declared) fail(part, "holds more than the package says it does");
  // A part read again adds nothing: what counts is how far each part inflates.
  auto at = inflatedParts_.find(part);
  if (at == inflatedParts_.end()) at = inflatedParts_.emplace(std::string(part), 0).first;
  if (inflated > at->second) inflatedTotal_ += inflated - std::exchange(at->second, inflated);
  // Before a part is read, what it says it holds already tells.
  uint64_t whole = inflated == 0 && sizes.declared != kUnknown ? sizes.declared : inflated;
  uint64_t total = inflatedTotal_ - at->second + std::max(at->second, whole);
  if (bomb(whole, sizes.stored))
    fail(part, "inflates to more than " + std::to_string(kMaxInflation) +
                   " times its stored size, as a zip bomb does, and is not read");
  if (archiveSize_ > 0 && bomb(total, archiveSize_))
    fail(part, "brings what the package inflates to more than " + std::to_string(kMaxInflation) +
                   " times its size, as a zip bomb does, and is not read");
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
  const Sizes sizes = sizesOf(idx);
  uint64_t inflated = 0;
  checkInflation(part, inflated, sizes);
  std::unique_ptr<char[]> buf(new char[1 << 16]);
  for (;;) {
    zip_int64_t n = zip_fread(f.get(), buf.get(), 1 << 16);
    if (n < 0) fail(part, std::string("cannot be read (") + zip_file_strerror(f.get()) + ")");
    if (n == 0) break;
    inflated += static_cast<uint64_t>(n);
    checkInflation(part, inflated, sizes);
    sink(buf.get(), static_cast<size_t>(n));
  }
}

std::unique_ptr<ZipPackage::Reader> ZipPackage::open(std::string_view part) const {
  long long idx = locate(part);
  if (idx < 0) fail(part, "is missing");
  zip_file_t* f = zip_fopen_index(zip_, static_cast<zip_uint64_t>(idx), 0);
  if (!f) fail(part, std::string("cannot be read (") + zip_strerror(zip_) + ")");
  const Sizes sizes = sizesOf(idx);
  try {
    checkInflation(part, 0, sizes);
  } catch (...) {
    zip_fclose(f);
    throw;
  }
  return std::unique_ptr<Reader>(new Reader(*this, std::string(part), f, sizes));
}

ZipPackage::Reader::~Reader() { zip_fclose(file_); }

size_t ZipPackage::Reader::read(char* buf, size_t n) {
  zip_int64_t got = zip_fread(file_, buf, n);
  if (got < 0) pkg_.fail(part_, std::string("cannot be read (") + zip_file_strerror(file_) + ")");
  inflated_ += static_cast<uint64_t>(got);
  pkg_.checkInflation(part_, inflated_, sizes_);
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
