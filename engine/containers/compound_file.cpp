#include "engine/containers/compound_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/core/ascii.h"
#include "engine/core/biff_common.h"
#include "engine/core/error.h"
#include "engine/core/unicode.h"

namespace corvane {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

uint32_t U32(const char* p) { return biff::U32(reinterpret_cast<const uint8_t*>(p)); }
uint16_t U16(const char* p) { return biff::U16(reinterpret_cast<const uint8_t*>(p)); }

// Directory names are UTF-16 up to a NUL; the names a workbook needs are ASCII, others only get shown.
std::string NameToUtf8(const char* p, size_t units) {
  std::string out;
  Utf16Decoder decoder;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = U16(p + 2 * i);
    if (c == 0) break;
    decoder.put(out, c);
  }
  decoder.finish(out);
  return out;
}

}  // namespace

CompoundFile::CompoundFile(const std::string& path, const std::string& shown) : shown_(shown) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw AutomationError(Quoted(shown_) + " cannot be opened: it does not exist or you may not read it.");
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    ::close(fd_);
    throw AutomationError(Quoted(shown_) + " cannot be read.");
  }
  fileSize_ = static_cast<uint64_t>(st.st_size);
  try {
    load();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

CompoundFile::CompoundFile(InMemory, std::string bytes, const std::string& shown)
    : shown_(shown), bytes_(std::move(bytes)) {
  fileSize_ = bytes_.size();
  load();
}

void CompoundFile::load() {
  {
    if (fileSize_ < 512) damaged("it is shorter than its header");
    char h[512];
    readAt(0, h, 512);
    uint16_t major = U16(h + 26);
    sectorShift_ = U16(h + 30);
    uint32_t miniShift = U16(h + 32);
    if (U16(h + 28) != 0xFFFE) damaged("its header has the wrong byte order mark");
    if (sectorShift_ != 9 && sectorShift_ != 12) damaged("its sector size is not one a compound file uses");
    if (miniShift != 6) damaged("its mini sector size is not one a compound file uses");
    const uint32_t secSize = 1u << sectorShift_;
    const uint64_t fileSectors = (fileSize_ + secSize - 1) / secSize;  // counting the header's
    uint32_t numFat = U32(h + 44), firstDir = U32(h + 48), firstMiniFat = U32(h + 60);
    uint32_t numMiniFat = U32(h + 64), firstDifat = U32(h + 68), numDifat = U32(h + 72);
    miniCutoff_ = U32(h + 56);
    if (miniCutoff_ != 4096) miniCutoff_ = 4096;  // the only value the format allows
    if (numFat > fileSectors) damaged("its allocation table is larger than the file");

    // Where the allocation table's sectors are: 109 in the header, the rest in a chain.
    std::vector<uint32_t> fatSectors;
    for (uint32_t i = 0; i < 109 && fatSectors.size() < numFat; ++i) fatSectors.push_back(U32(h + 76 + 4 * i));
    const uint32_t perSector = secSize / 4;
    std::vector<char> buf(secSize);
    uint32_t d = firstDifat;
    for (uint32_t n = 0; fatSectors.size() < numFat; ++n) {
      if (d == kEndOfChain || d == kFree || n >= numDifat || n > fileSectors)
        damaged("its allocation table is incomplete");
      readAt((static_cast<uint64_t>(d) + 1) << sectorShift_, buf.data(), secSize);
      for (uint32_t i = 0; i + 1 < perSector && fatSectors.size() < numFat; ++i)
        fatSectors.push_back(U32(buf.data() + 4 * i));
      d = U32(buf.data() + 4 * (perSector - 1));
    }
    fat_.resize(static_cast<size_t>(numFat) * perSector);
    for (size_t i = 0; i < fatSectors.size(); ++i) {
      if (fatSectors[i] >= fileSectors) damaged("its allocation table lies outside the file");
      readAt((static_cast<uint64_t>(fatSectors[i]) + 1) << sectorShift_, buf.data(), secSize);
      for (uint32_t k = 0; k < perSector; ++k) fat_[i * perSector + k] = U32(buf.data() + 4 * k);
    }

    // The directory: 128 bytes an entry.
    std::vector<uint32_t> dirChain = chain(firstDir, fat_, fat_.size());
    if (dirChain.empty()) damaged("it has no directory");
    std::string dir(dirChain.size() * secSize, '\0');
    for (size_t i = 0; i < dirChain.size(); ++i)
      readAt((static_cast<uint64_t>(dirChain[i]) + 1) << sectorShift_, dir.data() + i * secSize, secSize);
    const size_t count = dir.size() / 128;
    auto entryAt = [&](size_t i) { return dir.data() + i * 128; };
    auto sizeOf = [&](const char* e) {
      uint64_t size = U32(e + 120);
      if (major >= 4) size |= static_cast<uint64_t>(U32(e + 124)) << 32;
      return size;
    };
    const char* rootEntry = entryAt(0);
    if (rootEntry[66] != 5) damaged("its directory has no root");

    // The mini stream lives in the root entry's chain.
    miniStreamSize_ = sizeOf(rootEntry);
    if (miniStreamSize_ > 0 && U32(rootEntry + 116) != kEndOfChain) {
      uint64_t need = (miniStreamSize_ + secSize - 1) / secSize;
      for (uint32_t s : chain(U32(rootEntry + 116), fat_, need))
        miniSectors_.push_back((static_cast<uint64_t>(s) + 1) << sectorShift_);
    }
    // A mini stream is no longer than its chain, which may be empty whatever its size says.
    miniStreamSize_ = std::min<uint64_t>(miniStreamSize_, miniSectors_.size() * uint64_t{secSize});
    if (numMiniFat > 0 && firstMiniFat != kEndOfChain) {
      std::vector<uint32_t> mf = chain(firstMiniFat, fat_, numMiniFat);
      miniFat_.resize(mf.size() * perSector);
      for (size_t i = 0; i < mf.size(); ++i) {
        readAt((static_cast<uint64_t>(mf[i]) + 1) << sectorShift_, buf.data(), secSize);
        for (uint32_t k = 0; k < perSector; ++k) miniFat_[i * perSector + k] = U32(buf.data() + 4 * k);
      }
    }

    // The root storage's children form a tree through their left and right siblings.
    std::vector<uint32_t> todo;
    std::unordered_set<uint32_t> seen;
    if (U32(rootEntry + 76) != kNoStream) todo.push_back(U32(rootEntry + 76));
    while (!todo.empty()) {
      uint32_t i = todo.back();
      todo.pop_back();
      if (i >= count || !seen.insert(i).second) continue;
      const char* e = entryAt(i);
      uint16_t nameBytes = std::min<uint16_t>(U16(e + 64), 64);
      Entry out;
      out.name = NameToUtf8(e, nameBytes / 2);
      out.stream = e[66] == 2;
      out.start = U32(e + 116);
      out.size = sizeOf(e);
      if (e[66] == 1 || e[66] == 2) root_.push_back(std::move(out));
      if (U32(e + 68) != kNoStream) todo.push_back(U32(e + 68));
      if (U32(e + 72) != kNoStream) todo.push_back(U32(e + 72));
    }
  }
}

CompoundFile::~CompoundFile() {
  if (fd_ >= 0) ::close(fd_);
}

void CompoundFile::damaged(const std::string& why) const {
  throw AutomationError(Quoted(shown_) + " is damaged: " + why + ".");
}

void CompoundFile::readAt(uint64_t offset, char* out, size_t n) const {
  // The last sector of a file may be cut short; what is missing reads as zeros.
  if (offset >= fileSize_) damaged("a part of it lies beyond the end of the file");
  size_t avail = static_cast<size_t>(std::min<uint64_t>(n, fileSize_ - offset));
  if (fd_ < 0) {
    std::memcpy(out, bytes_.data() + offset, avail);
  }
  size_t done = fd_ < 0 ? avail : 0;
  while (done < avail) {
    ssize_t r = ::pread(fd_, out + done, avail - done, static_cast<off_t>(offset + done));
    if (r <= 0) damaged("it cannot be read to the end");
    done += static_cast<size_t>(r);
  }
  if (avail < n) std::memset(out + avail, 0, n - avail);
}

// Follows a chain of the allocation table `table` for at most maxLinks links.
std::vector<uint32_t> CompoundFile::chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t maxLinks) const {
  std::vector<uint32_t> out;
  uint32_t s = start;
  while (s != kEndOfChain && out.size() < maxLinks) {
    if (s >= table.size()) damaged("a chain of its sectors leads outside the file");
    if (out.size() >= table.size()) damaged("a chain of its sectors runs in a loop");
    out.push_back(s);
    s = table[s];
  }
  return out;
}

const CompoundFile::Entry* CompoundFile::findStream(std::string_view name) const {
  for (const Entry& e : root_)
    if (e.stream && EqualsNoCase(e.name, name)) return &e;
  return nullptr;
}

CompoundFile::Stream CompoundFile::open(const Entry& e) const {
  Stream s;
  s.file_ = this;
  if (e.size == 0 || e.start == kEndOfChain) return s;
  if (e.size < miniCutoff_) {
    s.unit_ = 64;
    uint64_t need = (e.size + 63) / 64;
    const uint32_t secSize = 1u << sectorShift_;
    for (uint32_t m : chain(e.start, miniFat_, need)) {
      uint64_t pos = static_cast<uint64_t>(m) * 64;
      if (pos + 64 > miniStreamSize_) damaged("a stream lies outside its mini stream");
      s.sectors_.push_back(miniSectors_[pos / secSize] + pos % secSize);
    }
  } else {
    s.unit_ = 1u << sectorShift_;
    uint64_t need = (e.size + s.unit_ - 1) / s.unit_;
    for (uint32_t m : chain(e.start, fat_, need)) s.sectors_.push_back((static_cast<uint64_t>(m) + 1) << sectorShift_);
  }
  // A chain shorter than the stated size gives what it has.
  s.size_ = std::min<uint64_t>(e.size, s.sectors_.size() * uint64_t{s.unit_});
  return s;
}

size_t CompoundFile::Stream::read(uint64_t pos, char* out, size_t n) const {
  if (pos >= size_) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
  size_t done = 0;
  while (done < n) {
    uint64_t p = pos + done;
    size_t idx = static_cast<size_t>(p / unit_);
    uint64_t within = p % unit_;
    uint64_t off = sectors_[idx] + within;
    size_t len = static_cast<size_t>(std::min<uint64_t>(unit_ - within, n - done));
    // Neighbouring sectors that follow each other on disk are read in one go.
    while (done + len < n && idx + 1 < sectors_.size() && sectors_[idx + 1] == sectors_[idx] + unit_) {
      ++idx;
      len += static_cast<size_t>(std::min<uint64_t>(unit_, n - done - len));
    }
    file_->readAt(off, out + done, len);
    done += len;
  }
  return n;
}

}  // namespace corvane
