// Read-only access to the parts of a zip package (.xlsx, .xlsm, .xlsb, .ods).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct zip;
struct zip_file;
struct zip_source;
struct zip_error;

namespace corvane {

class ZipPackage {
 public:
  // Opens `path`; `shownName` is how errors name the file. Throws AutomationError.
  ZipPackage(const std::string& path, const std::string& shownName);
  // The same from the package's bytes in memory.
  struct InMemory {};
  ZipPackage(InMemory, std::string bytes, const std::string& shownName);
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  bool has(std::string_view part) const;
  // The part's size uncompressed as the archive declares it; 0 for a missing part.
  uint64_t size(std::string_view part) const;
  // Reading a part fails (AutomationError) when it inflates, or says it does, past 256 MB to
  // more than 100 times its stored size, or the parts read so far together inflate that far
  // beyond the package's size: a zip bomb, not a workbook. So does a part that holds more
  // than the package says.
  // The whole part; fails when it holds more than `limit` bytes uncompressed.
  std::string read(std::string_view part, size_t limit = 256u << 20) const;
  // Feeds the part to `sink` in chunks, without holding all of it.
  void stream(std::string_view part, const std::function<void(const char*, size_t)>& sink) const;

  static constexpr uint64_t kUnknown = UINT64_MAX;
  // A part's sizes as the archive's directory gives them: stored (compressed) and inflated.
  struct Sizes {
    uint64_t stored = 0;
    uint64_t declared = kUnknown;
  };

  // A part read a piece at a time, for a reader that stops and later goes on where it stopped.
  // Valid while its package is.
  class Reader {
   public:
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    // Up to `n` bytes into `buf`; 0 at the end of the part. Throws AutomationError.
    size_t read(char* buf, size_t n);

   private:
    friend class ZipPackage;
    Reader(const ZipPackage& pkg, std::string part, zip_file* file, Sizes sizes)
        : pkg_(pkg), part_(std::move(part)), file_(file), sizes_(sizes) {}
    const ZipPackage& pkg_;
    std::string part_;
    zip_file* file_;
    Sizes sizes_;
    uint64_t inflated_ = 0;
  };
  std::unique_ptr<Reader> open(std::string_view part) const;

 private:
  void openSource(zip_source* src, zip_error* ze);
  long long locate(std::string_view part) const;
  Sizes sizesOf(long long index) const;
  // Fails when a part of `sizes`, `inflated` bytes of it read so far (0: none yet), is or
  // makes a zip bomb.
  void checkInflation(std::string_view part, uint64_t inflated, const Sizes& sizes) const;
  [[noreturn]] void fail(std::string_view part, const std::string& why) const;

  zip* zip_ = nullptr;
  std::string shown_;
  std::string bytes_;  // what an in-memory package reads from
  uint64_t archiveSize_ = 0;
  // How far each part read so far inflated, and their sum (a package is read on one thread).
  mutable std::map<std::string, uint64_t, std::less<>> inflatedParts_;
  mutable uint64_t inflatedTotal_ = 0;
};

}  // namespace corvane
