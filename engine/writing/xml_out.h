// Writing XML text for the parts of a saved workbook: a plain growable buffer, escaping that
// never lets a byte XML cannot carry through, and numbers in their shortest exact form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace corvane {

// Bytes written end to end. Room for a bounded piece is asked for once (`room`) and filled
// through a raw pointer, so the hot loops pay one capacity check per cell, not per byte.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(size_t capacity) { reserve(capacity); }
  ByteBuffer(ByteBuffer&& o) noexcept { swap(o); }
  ByteBuffer& operator=(ByteBuffer&& o) noexcept {
    swap(o);
    return *this;
  }

  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  size_t capacity() const { return cap_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data_.get(), size_}; }
  void clear() { size_ = 0; }
  void reserve(size_t n) {
    if (n > cap_) regrow(n);
  }

  // A pointer to at least n writable bytes at the end; `commit` says where writing stopped.
  char* room(size_t n) {
    if (n > cap_ - size_) regrow(size_ + n);
    return data_.get() + size_;
  }
  void commit(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }

  void append(const char* p, size_t n) {
    if (n == 0) return;  // p may be null then
    std::memcpy(room(n), p, n);
    size_ += n;
  }
  void append(std::string_view s) { append(s.data(), s.size()); }
  void push(char c) {
    if (size_ == cap_) regrow(size_ + 1);
    data_[size_++] = c;
  }
  // The last `n` bytes (at most size()).
  std::string_view tail(size_t n) const {
    return n >= size_ ? view() : std::string_view(data_.get() + size_ - n, n);
  }

  void swap(ByteBuffer& o) noexcept {
    data_.swap(o.data_);
    std::swap(size_, o.size_);
    std::swap(cap_, o.cap_);
  }

 private:
  void regrow(size_t need);

  std::unique_ptr<char[]> data_;
  size_t size_ = 0, cap_ = 0;
};

// How a piece of text is read back.
enum class XmlText : uint8_t {
  Content,    // element content
  Attribute,  // an attribute value: tabs and line breaks are written as character references
              // so that attribute normalisation leaves them alone
  CellText,   // element content a spreadsheet reads through the _xHHHH_ escapes (shared and
              // inline strings, a formula's cached text, comments)
};

// Appends `s` escaped for XML 1.0. Markup characters become entities and a carriage return
// "&#13;" (a parser would turn a raw one into a line feed). Bytes that are no UTF-8 become
// U+FFFD. Characters XML 1.0 cannot carry at all (controls other than tab and line breaks,
// U+FFFE, U+FFFF) are written as _xHHHH_ in CellText, where the spreadsheet reads them back,
// and as U+FFFD elsewhere; in CellText the underscore of a literal that reads like such an
// escape is escaped itself ("_x000D_" becomes "_x005F_x000D_"), as the spreadsheet writes it.
void AppendXml(ByteBuffer& out, std::string_view s, XmlText how);

// ` name="value"`, the value escaped as an attribute; ` name="number"`.
void AppendAttr(ByteBuffer& out, std::string_view name, std::string_view value);
void AppendNumberAttr(ByteBuffer& out, std::string_view name, double v);

// The longest prefix of `s` that holds at most `units` UTF-16 code units (a character beyond
// the Basic Multilingual Plane counts two), cut between characters.
std::string_view CutToUtf16Units(std::string_view s, size_t units);

// The shortest decimal text that reads back as the same double ("0.1", "-0", "1e+308",
// "5e-324"), in the C locale whatever the process locale is. Finite values only.
// Whole numbers up to 2^53 are written as integers ("100000", not "1e+05").
void AppendNumber(ByteBuffer& out, double v);
void AppendUnsigned(ByteBuffer& out, uint64_t v);
// The same at p, for loops that fill room they asked for; they return the end.
inline constexpr size_t kNumberRoom = 32;  // what WriteNumber may need
char* WriteNumber(char* p, double v);
char* WriteUnsigned(char* p, uint64_t v);  // at most 20 bytes

}  // namespace corvane
