// The workbook stream of an .xls file, record by record: where its bytes come from (a
// compound file's stream, or a bare BIFF file), the records one after another, and a record's
// body joined with the CONTINUE records after it, read across their boundaries.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/containers/compound_file.h"
#include "engine/core/biff_common.h"
#include "engine/core/unicode.h"

namespace corvane::xls {

using biff::F64;
using biff::U16;
using biff::U32;

// Record types
enum : uint16_t {
  kFormula = 0x0006, kEof = 0x000A, kExternSheet = 0x0017, kName = 0x0018, kNote = 0x001C,
  kDateMode = 0x0022, kExternName = 0x0023, kFilePass = 0x002F, kFont = 0x0031, kContinue = 0x003C,
  kCodePage = 0x0042, kObj = 0x005D, kColInfo = 0x007D, kWsBool = 0x0081, kBoundSheet = 0x0085, kPalette = 0x0092,
  kMulRk = 0x00BD, kMulBlank = 0x00BE, kRString = 0x00D6, kXf = 0x00E0, kMergedCells = 0x00E5,
  kSst = 0x00FC, kLabelSst = 0x00FD, kSupBook = 0x01AE, kTxo = 0x01B6, kHlink = 0x01B8,
  kDimensions = 0x0200, kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205,
  kString = 0x0207, kRow = 0x0208, kArray = 0x0221, kDefaultRowHeight = 0x0225, kTable = 0x0236, kRk = 0x027E,
  kFormat = 0x041E,
  kShrFmla = 0x04BC, kHlinkTooltip = 0x0800, kBof = 0x0809, kXfExt = 0x087D,
  kBof2 = 0x0009, kBof3 = 0x0209, kBof4 = 0x0409,
};

// The workbook stream, from a compound file or from a bare file

class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  virtual size_t read(uint64_t pos, char* out, size_t n) const = 0;
};

class StreamSource : public Source {
 public:
  explicit StreamSource(CompoundFile::Stream s) : s_(std::move(s)) {}
  uint64_t size() const override { return s_.size(); }
  size_t read(uint64_t pos, char* out, size_t n) const override { return s_.read(pos, out, n); }

 private:
  CompoundFile::Stream s_;
};

class MemorySource : public Source {
 public:
  explicit MemorySource(std::string bytes) : b_(std::move(bytes)) {}
  uint64_t size() const override { return b_.size(); }
  size_t read(uint64_t pos, char* out, size_t n) const override {
    if (pos >= b_.size()) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, b_.size() - pos));
    std::memcpy(out, b_.data() + pos, n);
    return n;
  }

 private:
  std::string b_;
};

// Records one after another: a 2-byte type, a 2-byte length, the body. The body of the
// current record stays valid until next() is called, even across peek().
class Records {
 public:
  Records(const Source& src, uint64_t start, size_t chunk = 256 * 1024)
      : src_(src), next_(start), chunk_(chunk), buf_(new uint8_t[chunk + 65540]) {}

  // The next record; false, with no record current, once the stream ends or a record is cut
  // short (the stream ends there too: nothing after it is read).
  bool next() {
    if (ended_) return false;
    pos_ = next_;
    if (!ensure(pos_, 4)) return end();
    const uint8_t* h = at(pos_);
    type = U16(h);
    len = U16(h + 2);
    if (!ensure(pos_, 4 + size_t{len})) return end();
    next_ = pos_ + 4 + len;
    return true;
  }
  // The type of the record after the current one, or -1 at the end.
  int peek() {
    if (ended_) return -1;
    uint64_t need = next_ - pos_ + 4;
    if (!ensure(pos_, static_cast<size_t>(need))) return -1;
    return U16(at(next_));
  }
  const uint8_t* data() const { return at(pos_) + 4; }
  uint64_t offset() const { return pos_; }

  uint16_t type = 0;
  uint16_t len = 0;

 private:
  const uint8_t* at(uint64_t p) const { return buf_.get() + (p - bufStart_); }
  bool end() {
    ended_ = true;
    type = 0;
    len = 0;
    pos_ = bufStart_;  // data() stays inside the buffer, with nothing to read
    return false;
  }
  // Makes [from, from + n) available in the buffer, reading from `from` when it is not.
  bool ensure(uint64_t from, size_t n) {
    if (from >= bufStart_ && from + n <= bufStart_ + bufLen_) return true;
    if (from + n > src_.size()) return false;
    size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, chunk_), src_.size() - from));
    want = std::min(want, chunk_ + 65540);
    if (want < n) return false;
    bufLen_ = src_.read(from, reinterpret_cast<char*>(buf_.get()), want);
    bufStart_ = from;
    return bufLen_ >= n;
  }

  const Source& src_;
  uint64_t pos_ = 0, next_ = 0;
  size_t chunk_;
  std::unique_ptr<uint8_t[]> buf_;
  uint64_t bufStart_ = 0;
  size_t bufLen_ = 0;
  bool ended_ = false;
};

// A record's body together with the CONTINUE records after it, and where each piece begins:
// characters of a string that run over into the next piece start there with a fresh flags byte.
struct Continued {
  std::string bytes;
  std::vector<size_t> ends;  // end offset of each piece

  void read(Records& rec) {
    bytes.assign(reinterpret_cast<const char*>(rec.data()), rec.len);
    ends.assign(1, bytes.size());
    while (rec.peek() == kContinue && rec.next()) {
      bytes.append(reinterpret_cast<const char*>(rec.data()), rec.len);
      ends.push_back(bytes.size());
    }
  }
};

class PieceReader {
 public:
  explicit PieceReader(const Continued& c)
      : d_(reinterpret_cast<const uint8_t*>(c.bytes.data())), n_(c.bytes.size()), ends_(c.ends) {}

  size_t remaining() const { return n_ - pos_; }
  bool skip(size_t k) {
    if (k > n_ - pos_) return false;
    pos_ += k;
    return true;
  }
  bool u8(uint8_t& v) {
    if (pos_ >= n_) return false;
    v = d_[pos_++];
    return true;
  }
  bool u16(uint16_t& v) {
    if (n_ - pos_ < 2) return false;
    v = U16(d_ + pos_);
    pos_ += 2;
    return true;
  }
  bool u32(uint32_t& v) {
    if (n_ - pos_ < 4) return false;
    v = U32(d_ + pos_);
    pos_ += 4;
    return true;
  }
  // `cch` characters, compressed (Latin-1) or UTF-16 as `wide` says. Characters that run
  // over into the next piece start there with a flags byte that says which way the rest is
  // stored; so do characters whose string header ended exactly at the end of a piece.
  // (Headers are never split; rich-text runs and phonetic data continue without a flags byte.)
  bool chars(size_t cch, bool wide, std::string& out) {
    Utf16Decoder decoder;
    if (cch > 0 && atInnerBoundary()) wide = d_[pos_++] & 1;
    while (cch > 0) {
      size_t end = pieceEnd();
      size_t w = wide ? 2 : 1;
      size_t k = std::min(cch, (end - pos_) / w);
      if (wide) AppendUtf16Le(out, d_ + pos_, k, decoder);
      else biff::AppendLatin1(out, d_ + pos_, k);
      pos_ += k * w;
      cch -= k;
      if (cch == 0) break;
      // Into the next piece (a stray odd byte before the boundary is dropped).
      pos_ = end;
      if (pos_ >= n_) return false;
      wide = d_[pos_++] & 1;
    }
    decoder.finish(out);
    return true;
  }

 private:
  bool atInnerBoundary() {
    if (pos_ == 0 || pos_ >= n_) return false;
    pieceEnd();
    return piece_ > 0 && ends_[piece_ - 1] == pos_;
  }
  size_t pieceEnd() {
    while (piece_ < ends_.size() && ends_[piece_] <= pos_) ++piece_;
    return piece_ < ends_.size() ? ends_[piece_] : n_;
  }

  const uint8_t* d_;
  size_t n_;
  const std::vector<size_t>& ends_;
  size_t pos_ = 0, piece_ = 0;
};

}  // namespace corvane::xls
