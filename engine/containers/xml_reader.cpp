#include "engine/containers/xml_reader.h"

#include <new>

#include "engine/core/error.h"

namespace corvane {

XmlParser::XmlParser(XmlHandler& handler, std::string what)
    : parser_(XML_ParserCreate("UTF-8")), handler_(handler), what_(std::move(what)) {
  if (!parser_) throw std::bad_alloc();
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser_, OnText);
  XML_SetStartDoctypeDeclHandler(parser_, OnDoctype);
  XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlParser::~XmlParser() { XML_ParserFree(parser_); }

template <typename F>
void XmlParser::Guarded(void* self, F&& f) {
  auto* p = static_cast<XmlParser*>(self);
  if (p->pending_) return;
  try {
    f(*p);
  } catch (...) {
    // Nothing may be thrown through expat's C frames: kept until expat has returned.
    p->pending_ = std::current_exception();
    XML_StopParser(p->parser_, XML_FALSE);
  }
}

void XmlParser::OnStart(void* self, const XML_Char* name, const XML_Char** attrs) {
  Guarded(self, [&](XmlParser& p) { p.handler_.start(LocalName(name), attrs); });
}

void XmlParser::OnEnd(void* self, const XML_Char* name) {
  Guarded(self, [&](XmlParser& p) { p.handler_.end(LocalName(name)); });
}

void XmlParser::OnText(void* self, const XML_Char* s, int len) {
  Guarded(self, [&](XmlParser& p) { p.handler_.text(std::string_view(s, static_cast<size_t>(len))); });
}

void XmlParser::OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto* p = static_cast<XmlParser*>(self);
  p->doctype_ = true;
  XML_StopParser(p->parser_, XML_FALSE);
}

void XmlParser::raise() {
  if (pending_) std::rethrow_exception(pending_);
  if (doctype_)
    throw AutomationError(what_ + " holds a document type declaration, which Corvane refuses for safety.");
  throw AutomationError(what_ + " is damaged: " + XML_ErrorString(XML_GetErrorCode(parser_)) + " at line " +
                        std::to_string(XML_GetCurrentLineNumber(parser_)) + ".");
}

void XmlParser::feed(const char* data, size_t n) {
  while (n > 0) {
    int chunk = n > (1u << 30) ? (1 << 30) : static_cast<int>(n);
    if (XML_Parse(parser_, data, chunk, XML_FALSE) != XML_STATUS_OK || pending_) raise();
    data += chunk;
    n -= static_cast<size_t>(chunk);
  }
}

void XmlParser::finish() {
  if (XML_Parse(parser_, "", 0, XML_TRUE) != XML_STATUS_OK || pending_) raise();
}

void XmlParser::Parse(XmlHandler& handler, std::string_view doc, std::string what) {
  XmlParser p(handler, std::move(what));
  p.feed(doc.data(), doc.size());
  p.finish();
}

}  // namespace corvane
