#include "engine/core/string_interner.h"

#include <functional>

namespace corvane {

StringInterner::StringInterner(StringPool& pool) : pool_(pool) {
  slots_.assign(64, 0);
  for (uint32_t i = 0; i < pool_.size(); ++i) intern(pool_.get(i));
}

static size_t HashOf(std::string_view s) { return std::hash<std::string_view>()(s); }

void StringInterner::grow() {
  std::vector<uint32_t> old(slots_.size() * 2, 0);
  old.swap(slots_);
  size_t mask = slots_.size() - 1;
  for (uint32_t v : old) {
    if (!v) continue;
    size_t h = HashOf(pool_.get(v - 1)) & mask;
    while (slots_[h]) h = (h + 1) & mask;
    slots_[h] = v;
  }
}

uint32_t StringInterner::intern(std::string_view s) {
  if ((used_ + 1) * 2 > slots_.size()) grow();
  size_t mask = slots_.size() - 1;
  size_t h = HashOf(s) & mask;
  while (slots_[h]) {
    if (pool_.get(slots_[h] - 1) == s) return slots_[h] - 1;
    h = (h + 1) & mask;
  }
  uint32_t i = pool_.add(s);
  slots_[h] = i + 1;
  ++used_;
  return i;
}

}  // namespace corvane
