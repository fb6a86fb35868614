#include "engine/writing/zip_writer.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>

namespace corvane {

namespace {

constexpr size_t kFileBuffer = 1 << 20;
constexpr uint32_t k32Max = 0xFFFFFFFFu;
// 1980-01-01 00:00 in MS-DOS form: a saved workbook's bytes depend on its content only.
constexpr uint16_t kDosTime = 0, kDosDate = (0 << 9) | (1 << 5) | 1;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// Little-endian fields, appended.
class Fields {
 public:
  Fields& u16(uint32_t v) {
    bytes_.push_back(static_cast<char>(v & 0xFF));
    bytes_.push_back(static_cast<char>((v >> 8) & 0xFF));
    return *this;
  }
  Fields& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Fields& u64(uint64_t v) { return u32(static_cast<uint32_t>(v)).u32(static_cast<uint32_t>(v >> 32)); }
  Fields& text(std::string_view s) {
    bytes_.append(s);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

uint16_t Len16(size_t n) {
  if (n > 0xFFFF) throw std::length_error("a zip entry name is too long");
  return static_cast<uint16_t>(n);
}

}  // namespace

OutputFile::OutputFile(int fd) : fd_(fd), buf_(new char[kFileBuffer]) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputFile::flush() {
  const char* p = buf_.get();
  size_t left = used_;
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("write");
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  flushed_ += used_;
  used_ = 0;
}

void OutputFile::write(const void* p, size_t n) {
  const char* src = static_cast<const char*>(p);
  while (n > 0) {
    if (used_ == kFileBuffer) flush();
    size_t take = std::min(n, kFileBuffer - used_);
    std::memcpy(buf_.get() + used_, src, take);
    used_ += take;
    src += take;
    n -= take;
  }
}

void OutputFile::patch(uint64_t offset, const void* p, size_t n) {
  if (offset >= flushed_) {
    std::memcpy(buf_.get() + (offset - flushed_), p, n);
    return;
  }
  // Not yet flushed bytes come first so that the patch may cross into them.
  flush();
  const char* src = static_cast<const char*>(p);
  while (n > 0) {
    ssize_t w = ::pwrite(fd_, src, n, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("write");
    }
    src += w;
    offset += static_cast<uint64_t>(w);
    n -= static_cast<size_t>(w);
  }
}

void OutputFile::finish() {
  flush();
  if (::fsync(fd_) != 0) ThrowErrno("fsync");
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) ThrowErrno("close");
}

void ZipWriter::begin(std::string_view name, bool zip64) {
  Entry e;
  e.name = std::string(name);
  e.offset = out_.offset();
  e.zip64 = zip64;
  Fields h;
  h.u32(0x04034b50).u16(zip64 ? 45 : 20).u16(0).u16(8).u16(kDosTime).u16(kDosDate);
  h.u32(0);  // crc, filled in at the end
  if (zip64) {
    h.u32(k32Max).u32(k32Max).u16(Len16(name.size())).u16(20).text(name);
    h.u16(0x0001).u16(16).u64(0).u64(0);
  } else {
    h.u32(0).u32(0).u16(Len16(name.size())).u16(0).text(name);
  }
  out_.write(h.bytes().data(), h.bytes().size());
  entries_.push_back(std::move(e));
  open_ = true;
}

void ZipWriter::end(uint32_t crc, uint64_t rawSize) {
  Entry& e = entries_.back();
  e.crc = crc;
  e.raw = rawSize;
  uint64_t dataStart = e.offset + 30 + e.name.size() + (e.zip64 ? 20 : 0);
  e.packed = out_.offset() - dataStart;
  open_ = false;
  if (!e.zip64 && (e.packed >= k32Max || e.raw >= k32Max))
    throw std::length_error("a part of the workbook grew past 4 GiB");
  Fields crcField;
  crcField.u32(crc);
  out_.patch(e.offset + 14, crcField.bytes().data(), 4);
  Fields sizes;
  if (e.zip64) {
    sizes.u64(e.raw).u64(e.packed);
    out_.patch(e.offset + 30 + e.name.size() + 4, sizes.bytes().data(), 16);
  } else {
    sizes.u32(static_cast<uint32_t>(e.packed)).u32(static_cast<uint32_t>(e.raw));
    out_.patch(e.offset + 18, sizes.bytes().data(), 8);
  }
}

void ZipWriter::add(std::string_view name, std::string_view content, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
  std::string packed(deflateBound(&z, static_cast<uLong>(content.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  int rc = deflate(&z, Z_FINISH);
  size_t n = z.total_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
  uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
  begin(name, false);
  data(packed.data(), n);
  end(crc, content.size());
}

void ZipWriter::finish() {
  uint64_t cdStart = out_.offset();
  bool anyZip64 = false;
  for (const Entry& e : entries_) {
    // An entry begun with Zip64 sizes keeps them here too, so both headers agree.
    bool bigRaw = e.zip64 || e.raw >= k32Max, bigPacked = e.zip64 || e.packed >= k32Max;
    bool farOffset = e.offset >= k32Max;
    bool zip64 = bigRaw || bigPacked || farOffset;
    Fields extra;
    if (bigRaw) extra.u64(e.raw);
    if (bigPacked) extra.u64(e.packed);
    if (farOffset) extra.u64(e.offset);
    Fields h;
    h.u32(0x02014b50).u16(zip64 ? 45 : 20).u16(zip64 ? 45 : 20).u16(0).u16(8);
    h.u16(kDosTime).u16(kDosDate).u32(e.crc);
    h.u32(bigPacked ? k32Max : static_cast<uint32_t>(e.packed));
    h.u32(bigRaw ? k32Max : static_cast<uint32_t>(e.raw));
    size_t extraLen = extra.bytes().empty() ? 0 : 4 + extra.bytes().size();
    h.u16(Len16(e.name.size())).u16(Len16(extraLen)).u16(0).u16(0).u16(0).u32(0);
    h.u32(farOffset ? k32Max : static_cast<uint32_t>(e.offset)).text(e.name);
    if (extraLen) h.u16(0x0001).u16(Len16(extra.bytes().size())).text(extra.bytes());
    out_.write(h.bytes().data(), h.bytes().size());
    anyZip64 |= zip64;
  }
  uint64_t cdEnd = out_.offset(), cdSize = cdEnd - cdStart;
  uint64_t count = entries_.size();
  bool zip64End = anyZip64 || cdStart >= k32Max || cdSize >= k32Max || count >= 0xFFFF;
  Fields t;
  if (zip64End) {
    t.u32(0x06064b50).u64(44).u16(45).u16(45).u32(0).u32(0).u64(count).u64(count);
    t.u64(cdSize).u64(cdStart);
    t.u32(0x07064b50).u32(0).u64(cdEnd).u32(1);
  }
  uint16_t shortCount = count >= 0xFFFF ? 0xFFFF : static_cast<uint16_t>(count);
  t.u32(0x06054b50).u16(0).u16(0).u16(shortCount).u16(shortCount);
  t.u32(cdSize >= k32Max ? k32Max : static_cast<uint32_t>(cdSize));
  t.u32(cdStart >= k32Max ? k32Max : static_cast<uint32_t>(cdStart)).u16(0);
  out_.write(t.bytes().data(), t.bytes().size());
}

}  // namespace corvane
