// Interning strings into a StringPool: every distinct text gets one index.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/model.h"

namespace corvane {

// Gives every distinct string one index in a pool, without an allocation per string.
class StringInterner {
 public:
  explicit StringInterner(StringPool& pool);
  uint32_t intern(std::string_view s);

 private:
  void grow();
  StringPool& pool_;
  std::vector<uint32_t> slots_;  // pool index + 1; 0 is free
  uint32_t used_ = 0;
};

}  // namespace corvane
