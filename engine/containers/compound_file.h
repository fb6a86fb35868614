// Streams out of a compound file, the container of .xls, .doc and other binary Office files.
// Only reading, and only what a workbook needs: the root storage's streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The first eight bytes of every compound file.
inline constexpr unsigned char kCompoundFileSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

class CompoundFile {
 public:
  // Reads the header, the allocation tables and the directory. Throws AutomationError
  // naming `shown` when the container is damaged.
  CompoundFile(const std::string& path, const std::string& shown);
  // The same from the file's bytes in memory.
  struct InMemory {};
  CompoundFile(InMemory, std::string bytes, const std::string& shown);
  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  struct Entry {
    std::string name;  // UTF-8
    bool stream = false;
    uint32_t start = 0;
    uint64_t size = 0;
  };

  // The entries of the root storage, streams and storages alike.
  const std::vector<Entry>& rootEntries() const { return root_; }
  // The root-level stream whose name equals `name` ignoring ASCII case, or nullptr.
  const Entry* findStream(std::string_view name) const;

  // Random access to one stream's bytes.
  class Stream {
   public:
    uint64_t size() const { return size_; }
    // Copies up to n bytes from `pos`; returns how many there were.
    size_t read(uint64_t pos, char* out, size_t n) const;

   private:
    friend class CompoundFile;
    const CompoundFile* file_ = nullptr;
    std::vector<uint64_t> sectors_;  // file offset of each sector (or mini sector) in order
    uint32_t unit_ = 512;
    uint64_t size_ = 0;
  };
  Stream open(const Entry& e) const;

 private:
  void load();
  [[noreturn]] void damaged(const std::string& why) const;
  void readAt(uint64_t offset, char* out, size_t n) const;
  std::vector<uint32_t> chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t maxLinks) const;

  std::string shown_;
  int fd_ = -1;         // the open file, or -1 when its bytes are in memory
  std::string bytes_;
  uint64_t fileSize_ = 0;
  uint32_t sectorShift_ = 9;
  uint32_t miniCutoff_ = 4096;
  std::vector<uint32_t> fat_, miniFat_;
  std::vector<uint64_t> miniSectors_;  // file offsets of the mini stream's regular sectors
  uint64_t miniStreamSize_ = 0;
  std::vector<Entry> root_;
};

}  // namespace corvane
