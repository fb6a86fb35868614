// Attribute values of the parts the styles readers read (styles.xml and the theme part),
// looked up by local name, a plain one first. The parts are parsed by the one XML driver
// (xml_reader.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/containers/xml_reader.h"
#include "engine/core/style.h"

namespace corvane::ooxml {

// Without the XML white space around it.
std::string_view Trim(std::string_view s);

// A number attribute, read like a cell's number text.
bool ToDouble(std::string_view s, double& out);

// Whole numbers; "3.0" is taken too, since a few writers put ids that way.
bool ToInt(std::string_view s, int64_t& out);

// "1"/"true" and "0"/"false"; anything else leaves the default.
bool ToBool(std::string_view s, bool dflt);

// "FFRRGGBB" (alpha ignored) or "RRGGBB"; a leading '#' is tolerated.
bool ToRgb(std::string_view s, Rgb& out);

// Attributes as expat hands them over: name, value, name, value, ..., null.
// Looked up by local name so that prefixed attributes match as well; a plain
// one wins over an extension's attribute of the same local name.
class Attrs {
 public:
  explicit Attrs(const char** atts) : atts_(atts) {}
  std::optional<std::string_view> get(std::string_view local) const {
    std::optional<std::string_view> prefixed;
    for (const char** a = atts_; a && a[0]; a += 2) {
      if (local == a[0]) return std::string_view(a[1]);
      if (!prefixed && LocalName(a[0]) == local) prefixed = std::string_view(a[1]);
    }
    return prefixed;
  }
  bool flag(std::string_view local, bool dflt) const {
    auto v = get(local);
    return v ? ToBool(*v, dflt) : dflt;
  }
  int64_t integer(std::string_view local, int64_t dflt) const {
    auto v = get(local);
    int64_t i = 0;
    return v && ToInt(*v, i) ? i : dflt;
  }

 private:
  const char** atts_;
};

}  // namespace corvane::ooxml
