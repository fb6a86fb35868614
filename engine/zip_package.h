// Read-only access to the parts of a zip package (.xlsx, .xlsm, .xlsb, .ods).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct zip;

namespace corvane {

class ZipPackage {
 public:
  // Opens `path`; `shownName` is how errors name the file. Throws AutomationError.
  ZipPackage(const std::string& path, const std::string& shownName);
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  bool has(std::string_view part) const;
  // The whole part; fails when it holds more than `limit` bytes uncompressed.
  std::string read(std::string_view part, size_t limit = 256u << 20) const;
  // Feeds the part to `sink` in chunks, without holding all of it.
  void stream(std::string_view part, const std::function<void(const char*, size_t)>& sink) const;

 private:
  long long locate(std::string_view part) const;
  [[noreturn]] void fail(std::string_view part, const std::string& why) const;

  zip* zip_ = nullptr;
  std::string shown_;
};

}  // namespace corvane
