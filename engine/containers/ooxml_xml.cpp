#include "engine/containers/ooxml_xml.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <new>
#include <string>

#include "engine/core/ascii.h"
#include "engine/core/error.h"
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

namespace {

void XMLCALL OnStart(void* ud, const XML_Char* name, const XML_Char** atts) {
  auto* sink = static_cast<XmlSink*>(ud);
  try {
    sink->start(name, atts);
  } catch (...) {
    sink->error = std::current_exception();
    XML_StopParser(sink->parser, XML_FALSE);
  }
}

void XMLCALL OnEnd(void* ud, const XML_Char*) {
  auto* sink = static_cast<XmlSink*>(ud);
  try {
    sink->end();
  } catch (...) {
    sink->error = std::current_exception();
    XML_StopParser(sink->parser, XML_FALSE);
  }
}

// No part of a workbook needs entity declarations; refusing them outright
// keeps expansion bombs and external references out.
void XMLCALL OnEntityDecl(void* ud, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
  auto* sink = static_cast<XmlSink*>(ud);
  sink->entities = true;
  XML_StopParser(sink->parser, XML_FALSE);
}

}  // namespace

void RunExpat(std::string_view text, const char* part, XmlSink& sink) {
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> holder(XML_ParserCreate(nullptr),
                                                                  XML_ParserFree);
  XML_Parser p = holder.get();
  if (!p) throw std::bad_alloc();
  sink.parser = p;
  XML_SetUserData(p, &sink);
  XML_SetElementHandler(p, OnStart, OnEnd);
  XML_SetEntityDeclHandler(p, OnEntityDecl);
  XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);

  constexpr size_t kChunk = size_t{1} << 30;  // XML_Parse takes an int length
  size_t pos = 0;
  do {
    size_t len = std::min(kChunk, text.size() - pos);
    bool last = pos + len == text.size();
    if (XML_Parse(p, text.data() + pos, static_cast<int>(len), last ? XML_TRUE : XML_FALSE) !=
        XML_STATUS_OK) {
      if (sink.error) std::rethrow_exception(sink.error);
      if (sink.entities)
        throw AutomationError(std::string("The workbook part ") + part +
                              " uses XML entities, which are not allowed.");
      throw AutomationError(std::string("The workbook part ") + part +
                            " is not well-formed XML: " + XML_ErrorString(XML_GetErrorCode(p)) +
                            " at line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                            ", column " + std::to_string(XML_GetCurrentColumnNumber(p)) + ".");
    }
    pos += len;
  } while (pos < text.size());
}

}  // namespace corvane::ooxml
