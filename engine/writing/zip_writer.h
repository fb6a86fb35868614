// Writing a zip archive: a buffered output file, and the local headers, central directory
// and end records around entries whose data arrives already deflated (the sheets, deflated on
// several threads) or is deflated here (the small parts). Entries that may pass 4 GiB, and
// archives that do, get the Zip64 records; smaller ones are plain zip, which every reader takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A file written front to back through a buffer, with a way to fill in bytes left blank
// earlier. Failures throw std::system_error with the errno of the failing call.
class OutputFile {
 public:
  // Takes over `fd`, a file opened for writing.
  explicit OutputFile(int fd);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const void* p, size_t n);
  // Overwrites bytes already written at `offset`.
  void patch(uint64_t offset, const void* p, size_t n);
  uint64_t offset() const { return flushed_ + used_; }
  // Writes out the buffer, forces the data to the disk and closes the file.
  void finish();

 private:
  void flush();

  int fd_;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  uint64_t flushed_ = 0;
};

class ZipWriter {
 public:
  explicit ZipWriter(OutputFile& out) : out_(out) {}

  // An entry whose raw deflate data follows through `data`. `zip64`: the entry may pass
  // 4 GiB and gets Zip64 sizes from the start (its size is not known before its end).
  void begin(std::string_view name, bool zip64);
  void data(const void* p, size_t n) { out_.write(p, n); }
  void end(uint32_t crc, uint64_t rawSize);

  // A whole entry, deflated here at `level`.
  void add(std::string_view name, std::string_view content, int level);

  // The central directory and the end records; nothing may be added after.
  void finish();

 private:
  struct Entry {
    std::string name;
    uint64_t offset = 0, packed = 0, raw = 0;
    uint32_t crc = 0;
    bool zip64 = false;
  };

  OutputFile& out_;
  std::vector<Entry> entries_;
  bool open_ = false;
};

}  // namespace corvane
