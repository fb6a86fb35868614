#include "engine/writing/shared_strings_part.h"

#include <algorithm>

#include "engine/writing/parallel_deflate.h"
#include "engine/writing/xml_out.h"

namespace corvane {

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

uint64_t SharedStringsPart::maxXmlBytes() const {
  // An escaped character takes at most seven bytes; a cut text holds at most four bytes a
  // UTF-16 unit.
  uint64_t bytes = 4096;
  for (uint32_t i = 0; i < texts_.size(); ++i)
    bytes += 48 + 7 * std::min<uint64_t>(texts_.get(i).size(), 4 * kMaxCellUnits);
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
  for (uint32_t i = 0; i < texts_.size(); ++i) {
    std::string_view text = texts_.get(i);
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
