#include "engine/containers/xlsb_records.h"

#include "engine/core/error.h"

namespace corvane::xlsb {

void RecordSplitter::damaged(const std::string& why) const {
  throw AutomationError(what_ + " is damaged: " + why + ".");
}

size_t RecordSplitter::header(const uint8_t* p, size_t n, uint32_t& type, uint32_t& size) const {
  size_t i = 0;
  if (i >= n) return 0;
  uint32_t b = p[i++];
  type = b & 0x7F;
  if (b & 0x80) {
    if (i >= n) return 0;
    b = p[i++];
    if (b & 0x80) damaged("record " + std::to_string(records_ + 1) + " has a type of more than two bytes");
    type |= b << 7;
  }
  size = 0;
  for (int k = 0; k < 4; ++k) {
    if (i >= n) return 0;
    b = p[i++];
    size |= (b & 0x7F) << (7 * k);
    if (!(b & 0x80)) {
      if (size > kMaxRecord)
        damaged("record " + std::to_string(records_ + 1) + " claims " + std::to_string(size) + " bytes");
      return i;
    }
  }
  damaged("record " + std::to_string(records_ + 1) + " has a size of more than four bytes");
}

bool RecordSplitter::dispatch(uint32_t type, const uint8_t* data, uint32_t size) {
  ++records_;
  // Records of later versions come wrapped in begin/end pairs; their types may
  // repeat those of the records here, with another meaning.
  if (type == kFrtBegin || type == kAcBegin) {
    ++future_;
    return true;
  }
  if (type == kFrtEnd || type == kAcEnd) {
    if (future_ > 0) --future_;
    return true;
  }
  if (future_ > 0) return true;
  try {
    if (!sink_.record(type, data, size)) stopped_ = true;
  } catch (const RecordTooShort&) {
    damaged("record " + std::to_string(records_) + " (type " + std::to_string(type) + ") is shorter than its contents");
  }
  return !stopped_;
}

bool RecordSplitter::feed(const char* data, size_t n) {
  if (stopped_) return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
  uint32_t type = 0, size = 0;

  // First finish the record the previous chunk cut.
  while (!carry_.empty() && n > 0) {
    const uint8_t* c = reinterpret_cast<const uint8_t*>(carry_.data());
    size_t h = header(c, carry_.size(), type, size);
    size_t want = h ? h + size - carry_.size() : 1;  // header bytes come one at a time
    size_t take = want < n ? want : n;
    carry_.append(reinterpret_cast<const char*>(p), take);
    p += take;
    n -= take;
    c = reinterpret_cast<const uint8_t*>(carry_.data());
    h = header(c, carry_.size(), type, size);
    if (h && carry_.size() == h + size) {
      bool go = dispatch(type, c + h, size);
      carry_.clear();
      if (!go) return false;
    }
  }

  while (n > 0) {
    size_t h = header(p, n, type, size);
    if (!h || n - h < size) {
      carry_.assign(reinterpret_cast<const char*>(p), n);
      return true;
    }
    if (!dispatch(type, p + h, size)) return false;
    p += h + size;
    n -= h + size;
  }
  return true;
}

void RecordSplitter::finish() {
  if (!stopped_ && !carry_.empty()) damaged("its last record is cut off");
}

}  // namespace corvane::xlsb
