// Helpers of the writer tests: a sheet built cell by cell, and what openpyxl reads back from
// a saved file (tests/scripts/dump_xlsx.py), as facts keyed by sheet, cell and key.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/model.h"
#include "tests/engine/test_support.h"

namespace corvane::test {

inline constexpr const char* kMissing = "<missing>";
inline constexpr char kSep = '\x1f';  // joins sheet, cell and key into one map key

// What openpyxl read: facts keyed by sheet, cell and key.
struct Readback {
  std::vector<std::string> sheets;
  std::map<std::string, std::vector<std::string>> merges;  // by sheet
  std::map<std::string, std::string> facts;

  std::string get(const std::string& sheet, const std::string& cell,
                  const std::string& key) const {
    auto it = facts.find(sheet + kSep + cell + kSep + key);
    return it == facts.end() ? kMissing : it->second;
  }
  bool hasCell(const std::string& sheet, const std::string& cell) const {
    return get(sheet, cell, "type") != kMissing;
  }
  int cellCount(const std::string& sheet) const {
    const std::string prefix = sheet + kSep;
    const std::string suffix = std::string(1, kSep) + "type";
    int n = 0;
    for (const auto& [k, v] : facts)
      if (k.rfind(prefix, 0) == 0 && k.size() >= suffix.size() &&
          k.compare(k.size() - suffix.size(), suffix.size(), suffix) == 0)
        ++n;
    return n;
  }
};

inline std::string Unescape(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      r += s[i];
      continue;
    }
    char n = s[++i];
    r += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
  }
  return r;
}

inline std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    parts.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return parts;
}

inline Readback ReadBack(const std::string& path) {
  int status = 0;
  const std::string text = RunScript("dump_xlsx.py", {path}, status);
  Readback rb;
  if (status != 0) {
    ADD_FAILURE() << "openpyxl could not read " << path << ":\n" << text;
    return rb;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> p = SplitTabs(text.substr(start, end - start));
    start = end + 1;
    if (p.size() != 4) continue;
    if (p[0] == "-" && p[2] == "sheet")
      rb.sheets.push_back(p[3]);
    else if (p[1] == "-" && p[2] == "merge")
      rb.merges[p[0]].push_back(p[3]);
    else
      rb.facts[p[0] + kSep + p[1] + kSep + p[2]] = p[3];
  }
  return rb;
}

// Builds a sheet cell by cell; cells come out sorted.
class SheetBuilder {
 public:
  Cell& add(uint32_t row, uint16_t col, CellType type, uint32_t style = 0) {
    Cell c;
    c.row = row;
    c.col = col;
    c.type = type;
    c.style = style;
    d_.cells.push_back(c);
    return d_.cells.back();
  }
  void number(uint32_t r, uint16_t c, double v, uint32_t style = 0) {
    add(r, c, CellType::Number, style).num = v;
  }
  void text(uint32_t r, uint16_t c, std::string_view s, uint32_t style = 0) {
    Cell& cell = add(r, c, CellType::String, style);
    cell.sub = kOwnString;
    cell.aux = d_.strings.add(s);
  }
  void boolean(uint32_t r, uint16_t c, bool v) { add(r, c, CellType::Bool).num = v ? 1 : 0; }
  void error(uint32_t r, uint16_t c, ErrorCode e) {
    add(r, c, CellType::Error).sub = static_cast<uint8_t>(e);
  }
  void blank(uint32_t r, uint16_t c, uint32_t style) { add(r, c, CellType::Blank, style); }
  Formula& formula(uint32_t r, uint16_t c, std::string text, CachedKind cached, double num = 0,
                   uint32_t style = 0) {
    Cell& cell = add(r, c, CellType::Formula, style);
    cell.sub = static_cast<uint8_t>(cached);
    cell.num = num;
    cell.aux = static_cast<uint32_t>(d_.formulas.size());
    Formula f;
    f.text = std::move(text);
    d_.formulas.push_back(std::move(f));
    return d_.formulas.back();
  }
  SheetData& data() { return d_; }
  SheetData&& done(bool sort = true) {
    if (sort)
      std::stable_sort(d_.cells.begin(), d_.cells.end(), [](const Cell& a, const Cell& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
      });
    return std::move(d_);
  }

 private:
  SheetData d_;
};

}  // namespace corvane::test
