// The one error type of the engine: its text is shown to the user as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

class AutomationError : public std::runtime_error {
 public:
  explicit AutomationError(const std::string& description) : std::runtime_error(description) {}
  const char* description() const noexcept { return what(); }
};

}  // namespace corvane
