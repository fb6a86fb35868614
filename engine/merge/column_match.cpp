#include "engine/merge/column_match.h"

#include <algorithm>

#include "engine/core/number_text.h"
#include "engine/core/text_fold.h"

namespace corvane {

std::string HeaderKey(const SheetData& data, int32_t row, int32_t col) {
  const Cell* c = data.find(row, col);
  if (!c) return {};
  std::string text;
  switch (c->type) {
    case CellType::String:
      text = data.str(*c);
      break;
    case CellType::Number:
      AppendFormulaNumber(text, c->num);
      break;
    case CellType::Bool:
      text = c->num != 0 ? "TRUE" : "FALSE";
      break;
    case CellType::Error:
      text = ErrorText(static_cast<ErrorCode>(c->sub));
      break;
    case CellType::Formula: {
      const Formula& f = data.formulas[c->aux];
      switch (static_cast<CachedKind>(c->sub)) {
        case CachedKind::String: text = f.cachedString; break;
        case CachedKind::Number: AppendFormulaNumber(text, c->num); break;
        case CachedKind::Bool: text = c->num != 0 ? "TRUE" : "FALSE"; break;
        case CachedKind::Error: text = ErrorText(static_cast<ErrorCode>(f.cachedError)); break;
        case CachedKind::None: break;
      }
      break;
    }
    case CellType::Blank:
      break;
  }
  return FoldCase(TrimSpace(text));
}

std::vector<std::string> HeaderKeys(const SheetData& data, int32_t row, int32_t c1, int32_t c2) {
  std::vector<std::string> keys;
  keys.reserve(static_cast<size_t>(std::max(0, c2 - c1 + 1)));
  for (int32_t c = c1; c <= c2; ++c) keys.push_back(HeaderKey(data, row, c));
  return keys;
}

void ColumnMatcher::Fix(const std::vector<std::string>& keys) {
  columns_.clear();
  width_ = static_cast<int32_t>(keys.size());
  for (size_t k = 0; k < keys.size(); ++k)
    if (!keys[k].empty()) columns_[keys[k]].push_back(static_cast<int32_t>(k));
}

ColumnMatcher::Placement ColumnMatcher::Place(const std::vector<std::string>& keys) {
  const size_t n = keys.size();
  Placement p;
  p.column.assign(n, -1);
  p.added.assign(n, false);
  std::vector<bool> taken;  // columns of the result this block's headed columns took
  auto take = [&](int32_t col) {
    if (taken.size() <= static_cast<size_t>(col)) taken.resize(static_cast<size_t>(col) + 1, false);
    taken[static_cast<size_t>(col)] = true;
  };
  std::unordered_map<std::string_view, size_t> seen;  // occurrences of each header in this block
  for (size_t k = 0; k < n; ++k) {
    if (keys[k].empty()) continue;
    size_t occurrence = seen[keys[k]]++;
    std::vector<int32_t>& cols = columns_[keys[k]];
    if (occurrence < cols.size()) {
      p.column[k] = cols[occurrence];
    } else {
      p.column[k] = width_++;
      cols.push_back(p.column[k]);
      p.added[k] = true;
    }
    take(p.column[k]);
  }
  for (size_t k = 0; k < n; ++k) {
    if (!keys[k].empty()) continue;
    auto own = static_cast<int32_t>(k);
    bool free = own < width_ && (taken.size() <= k || !taken[k]);
    p.column[k] = free ? own : width_++;
    take(p.column[k]);
  }
  for (size_t k = 0; k < n && !p.moved; ++k) p.moved = p.column[k] != static_cast<int32_t>(k);
  return p;
}

}  // namespace corvane
