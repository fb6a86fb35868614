// The one XML driver over expat, for every XML part of every format, with one safety
// policy: a document type declaration is refused outright (no workbook needs one, and it is
// how entity expansion bombs and external entities get in). The fast worksheet tokenizer
// (fast_xml.h) refuses them too. Element and attribute names come without their namespace
// prefix, so prefixed, default and Strict namespaces read alike. Parts are read as UTF-8, or
// as UTF-16 when they start with its byte order mark (the two encodings a package's parts
// may have); an encoding declaration naming another is not followed, as the fast tokenizer
// does not follow it.
#pragma once

#include <expat.h>

#include <exception>
#include <string>
#include <string_view>

namespace corvane {

class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void start(std::string_view name, const char** attrs) {}
  virtual void end(std::string_view name) {}
  virtual void text(std::string_view chars) {}
};

// The local part of a possibly prefixed name ("x:c" -> "c").
inline std::string_view LocalName(const char* name) {
  std::string_view s(name);
  auto colon = s.rfind(':');
  return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

// The value of attribute `local` (prefix ignored), or nullptr.
inline const char* Attr(const char** attrs, std::string_view local) {
  for (; *attrs; attrs += 2)
    if (LocalName(attrs[0]) == local) return attrs[1];
  return nullptr;
}

class XmlParser {
 public:
  // `what` names the file and the part in errors, e.g. "\"a.xlsx\" (part xl/workbook.xml)".
  XmlParser(XmlHandler& handler, std::string what);
  ~XmlParser();
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;

  // Throws AutomationError for a document that is not well formed or has a document type
  // declaration; what the handler throws passes through as it is.
  void feed(const char* data, size_t n);
  void finish();
  // Parses one whole document.
  static void Parse(XmlHandler& handler, std::string_view doc, std::string what);

 private:
  [[noreturn]] void raise();
  // Runs a handler's callback; what it throws stops the parser and is thrown again by raise().
  template <typename F>
  static void Guarded(void* self, F&& f);
  static void OnStart(void* self, const XML_Char* name, const XML_Char** attrs);
  static void OnEnd(void* self, const XML_Char* name);
  static void OnText(void* self, const XML_Char* s, int len);
  static void OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);

  XML_Parser parser_;
  XmlHandler& handler_;
  std::string what_;
  bool doctype_ = false;
  std::exception_ptr pending_;
};

}  // namespace corvane
