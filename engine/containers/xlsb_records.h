// The record layer of Excel binary workbook parts: a record is a type and a size,
// each in a variable-length encoding, followed by that many bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/core/biff_common.h"
#include "engine/core/unicode.h"

namespace corvane::xlsb {

// Thrown by Reader when a record is shorter than its fields; the part reader turns
// it into an AutomationError that names the file.
struct RecordTooShort {};

// Reads the fields of one record body; every read is checked against what remains.
class Reader : public biff::FieldReader<RecordTooShort> {
 public:
  using FieldReader::FieldReader;

  // XLWideString: a 4-byte count of UTF-16 units, then the units. Appends to `out`.
  void wideString(std::string& out) { chars(u32(), true, out); }
  // XLNullableWideString: as above, 0xFFFFFFFF for none. False for none.
  bool nullableWideString(std::string& out) {
    need(4);
    if (p_[0] == 0xFF && p_[1] == 0xFF && p_[2] == 0xFF && p_[3] == 0xFF) {
      p_ += 4;
      return false;
    }
    wideString(out);
    return true;
  }
  // A string with a 2-byte count of UTF-16 units (formula string constants).
  void shortString(std::string& out) { chars(u16(), true, out); }
};

// Receives the records of a part one by one.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Returns false to stop reading the part (the rest is not needed).
  virtual bool record(uint32_t type, const uint8_t* data, uint32_t size) = 0;
};

// Cuts a stream of bytes, fed in chunks of any size, into records. Records that
// lie whole inside a chunk are handed over in place; only one that straddles
// two chunks is copied.
class RecordSplitter {
 public:
  // `what` names the part in errors, e.g. "\"a.xlsb\" (part xl/workbook.bin)".
  RecordSplitter(RecordSink& sink, std::string what) : sink_(sink), what_(std::move(what)) {}

  // False once the sink has asked to stop.
  bool feed(const char* data, size_t n);
  // Fails when the stream ends inside a record.
  void finish();
  bool stopped() const { return stopped_; }

  // Records larger than this are taken for damage, not data.
  static constexpr uint32_t kMaxRecord = 64u << 20;

 private:
  // Parses a record header at p (n bytes available): 0 when more bytes are needed,
  // otherwise the header's length, with type and size set.
  size_t header(const uint8_t* p, size_t n, uint32_t& type, uint32_t& size) const;
  bool dispatch(uint32_t type, const uint8_t* data, uint32_t size);
  [[noreturn]] void damaged(const std::string& why) const;

  enum : uint32_t { kFrtBegin = 35, kFrtEnd = 36, kAcBegin = 37, kAcEnd = 38 };

  RecordSink& sink_;
  std::string what_;
  uint32_t future_ = 0;  // depth of wrapped records of later versions
  std::string carry_;  // the start of a record cut by the end of a chunk
  bool stopped_ = false;
  uint64_t records_ = 0;
};

}  // namespace corvane::xlsb
