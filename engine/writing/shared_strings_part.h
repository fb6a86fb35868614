// The shared strings of a saved workbook (xl/sharedStrings.xml): every distinct cell text once,
// in the order the sheets first use them, as spreadsheet programs write them.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/model.h"
#include "engine/core/string_interner.h"

namespace corvane {

class DeflatedEntry;

class SharedStringsPart {
 public:
  // Texts longer than a cell may hold are cut to this many UTF-16 units when written.
  static constexpr size_t kMaxCellUnits = 32767;


  // The strings of one pool: each is interned the first time a cell uses it and found by
  // its pool index afterwards. The pool must outlive the part.
  class Pool {
   public:
    uint32_t index(uint32_t i) {
      if (i >= known_->size()) known_->resize(static_cast<size_t>(i) + 1, kUnknown);
      uint32_t& slot = (*known_)[i];
      if (slot == kUnknown) slot = part_->intern(pool_->get(i));
      ++part_->uses_;
      return slot;
    }
    bool has(uint32_t i) const { return pool_ && i < pool_->size(); }

   private:
    friend class SharedStringsPart;
    SharedStringsPart* part_ = nullptr;
    const StringPool* pool_ = nullptr;
    std::vector<uint32_t>* known_ = nullptr;
  };
  // `pool` may be null: the Pool then has no strings.
  Pool pool(const StringPool* pool);

  uint32_t intern(std::string_view text) { return interner_.intern(text); }

  uint32_t uniqueCount() const { return texts_.size(); }
  bool empty() const { return texts_.size() == 0; }
  // More bytes than the part's XML can take, to tell whether its zip entry needs Zip64.
  uint64_t maxXmlBytes() const;
  // The whole part, streamed.
  void write(DeflatedEntry& out) const;

 private:
  static constexpr uint32_t kUnknown = UINT32_MAX;

  StringPool texts_;  // in first-use order
  StringInterner interner_{texts_};
  std::unordered_map<const StringPool*, std::vector<uint32_t>> known_;
  uint64_t uses_ = 0;
};

}  // namespace corvane
