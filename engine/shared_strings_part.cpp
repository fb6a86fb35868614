#include "engine/shared_strings_part.h"

#include <algorithm>
#include <functional>

#include "engine/parallel_deflate.h"
#include "engine/xml_out.h"

namespace corvane {

namespace {
size_t HashOf(std::string_view s) { return std::hash<std::string_view>()(s); }
}

SharedStringsPart::SharedStringsPart() : slots_(1024, 0) {}

SharedStringsPart::Pool SharedStringsPart::pool(const StringPool* pool) {
  Pool p;
  p.part_ = this;
  p.pool_ = pool;
  if (pool) {
    p.known_ = &known_[pool];
    p.known_->resize(pool->size(), kUnknown);
  }
  return p;
}

void SharedStringsPart::grow() {
  std::vector<uint32_t> old(slots_.size() * 2, 0);
  old.swap(slots_);
  size_t mask = slots_.size() - 1;
  for (uint32_t v : old) {
    if (!v) continue;
    size_t h = HashOf(texts_[v - 1]) & mask;
    while (slots_[h]) h = (h + 1) & mask;
    slots_[h] = v;
  }
}

uint32_t SharedStringsPart::intern(std::string_view text) {
  if ((texts_.size() + 1) * 2 > slots_.size()) grow();
  size_t mask = slots_.size() - 1;
  size_t h = HashOf(text) & mask;
  while (slots_[h]) {
    if (texts_[slots_[h] - 1] == text) return slots_[h] - 1;
    h = (h + 1) & mask;
  }
  auto i = static_cast<uint32_t>(texts_.size());
  texts_.push_back(text);
  slots_[h] = i + 1;
  return i;
}

uint64_t SharedStringsPart::maxXmlBytes() const {
  // An escaped character takes at most seven bytes; a cut text holds at most four bytes a
  // UTF-16 unit.
  uint64_t bytes = 4096;
  for (std::string_view t : texts_) bytes += 48 + 7 * std::min<uint64_t>(t.size(), 4 * kMaxCellUnits);
  return bytes;
}

void SharedStringsPart::write(DeflatedEntry& entry) const {
  ByteBuffer& out = entry.out();
  out.append(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"");
  AppendUnsigned(out, uses_);
  out.append("\" uniqueCount=\"");
  AppendUnsigned(out, texts_.size());
  out.append("\">");
  for (std::string_view text : texts_) {
    std::string_view cut = CutToUtf16Units(text, kMaxCellUnits);
    if (cut.empty()) {
      out.append("<si><t/></si>");
    } else {
      // Spaces at either end are kept only where the text says so.
      bool edges = cut.front() == ' ' || cut.back() == ' ' || cut.front() == '\t' ||
                   cut.back() == '\t' || cut.front() == '\n' || cut.back() == '\n' ||
                   cut.front() == '\r' || cut.back() == '\r';
      out.append(edges ? "<si><t xml:space=\"preserve\">" : "<si><t>");
      AppendXml(out, cut, XmlText::CellText);
      out.append("</t></si>");
    }
    entry.flushIfFull();
  }
  out.append("</sst>");
}

}  // namespace corvane
