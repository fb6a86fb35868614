// The attribute values and the expat driver of the parts the styles readers read
// (styles.xml and the theme part): entity declarations are refused, the document's own
// encoding is honoured, and attributes are looked up by local name, a plain one first.
#pragma once

#include <expat.h>

#include <cstdint>
#include <exception>
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

// What RunExpat hands elements to.
class XmlSink {
 public:
  virtual ~XmlSink() = default;
  virtual void start(const char* name, const char** atts) = 0;
  virtual void end() = 0;

  XML_Parser parser = nullptr;
  bool entities = false;
  std::exception_ptr error;
};

// Parses `text` whole into `sink`. Throws AutomationError naming `part` when it is not
// well formed or declares entities, and rethrows what the sink threw.
void RunExpat(std::string_view text, const char* part, XmlSink& sink);

}  // namespace corvane::ooxml
