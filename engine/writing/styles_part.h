// The styles part of a saved workbook (xl/styles.xml): every distinct cell format the sheets
// use, with its number format, font, fill, border, alignment and protection, each shared
// between the formats that have it alike.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/style.h"
#include "engine/writing/xml_out.h"

namespace corvane {

class StylesPart {
 public:
  // Cell format 0 is the workbook's default look, Style{} (Calibri 11, General).
  StylesPart();

  // The index of the cell format (<xf> of <cellXfs>) that shows `s`, added when new.
  uint32_t cellFormat(const Style& s);

  // The whole part, elements in the order the schema gives them: numFmts, fonts, fills,
  // borders, cellStyleXfs, cellXfs, cellStyles, dxfs, tableStyles.
  void write(ByteBuffer& out) const;

 private:
  // Components kept as their XML, which is also what tells them apart.
  struct Component {
    std::vector<std::string> xml;
    std::unordered_map<std::string, uint32_t> index;
    uint32_t add(std::string x);
  };

  uint32_t numFmtId(const std::string& code);

  std::unordered_map<Style, uint32_t, StyleHash> formats_;
  std::vector<std::string> xfs_;  // each <xf .../> element
  std::vector<std::pair<uint32_t, std::string>> numFmts_;  // custom formats: id, code
  std::unordered_map<std::string, uint32_t> numFmtIds_;
  Component fonts_, fills_, borders_;
};

}  // namespace corvane
