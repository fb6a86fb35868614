#include "engine/containers/ooxml_xml.h"

#include <charconv>
#include <cmath>

#include "engine/core/ascii.h"
#include "engine/core/number_text.h"

namespace corvane::ooxml {

std::string_view Trim(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

bool ToDouble(std::string_view s, double& out) { return ParseNumberText(s, out); }

bool ToInt(std::string_view s, int64_t& out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  int64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc() && end == s.data() + s.size()) {
    out = v;
    return true;
  }
  double d = 0;
  if (!ToDouble(s, d) || d != std::floor(d) || std::fabs(d) > 9.0e15) return false;
  out = static_cast<int64_t>(d);
  return true;
}

bool ToBool(std::string_view s, bool dflt) {
  s = Trim(s);
  if (s == "1" || EqualsNoCase(s, "true")) return true;
  if (s == "0" || EqualsNoCase(s, "false")) return false;
  return dflt;
}

bool ToRgb(std::string_view s, Rgb& out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '#') s.remove_prefix(1);
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  out = v & 0xFFFFFFu;
  return true;
}

}  // namespace corvane::ooxml
