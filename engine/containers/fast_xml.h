// A push tokenizer for worksheet parts, where expat took most of the time of reading
// cells. It drives the same XmlHandler as XmlParser and accepts and refuses the same
// documents, with expat's wording for the faults. It differs only where no workbook
// goes: non-ASCII name characters are taken as any well-formed UTF-8, and line
// numbers count LF only.
//
// No namespace processing: attribute names keep their prefix ("r:id", "xmlns:r"), as
// with expat; element names reach the handler as their local part.
//
// Tokens are read in place from the chunk being fed. Only a token cut by the end of
// a chunk is copied, together with as much of the next chunk as completes it. Buffers
// for attributes and open element names are kept from tag to tag, so a steady stream
// of elements allocates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/containers/xml_reader.h"

namespace corvane {

class FastXmlParser {
 public:
  // `what` names the document in errors, e.g. "\"a.xlsx\", sheet \"Data\",".
  FastXmlParser(XmlHandler& handler, std::string what);
  FastXmlParser(const FastXmlParser&) = delete;
  FastXmlParser& operator=(const FastXmlParser&) = delete;

  // Chunks may end anywhere, inside a tag, a reference or a character.
  // Throws AutomationError; exceptions of the handler pass through as they are.
  void feed(const char* data, size_t n);
  void finish();
  // Parses one whole document.
  static void Parse(XmlHandler& handler, std::string_view doc, std::string what);

 private:
  enum class State : uint8_t { Content, Cdata, Comment, Pi };

  // Each scanner returns where it stopped. A stop before `e` means the token there
  // needs bytes the buffer does not hold yet (nullptr from the markup scanners).
  const char* run(const char* p, const char* e);
  const char* scan(const char* p, const char* e);
  const char* markup(const char* p, const char* e);
  const char* startTag(const char* p, const char* e);
  const char* readStartTag(const char* p, const char* e, const char*& nameEnd, bool& selfClosing);
  const char* endTag(const char* p, const char* e);
  const char* bang(const char* p, const char* e);
  const char* piStart(const char* p, const char* e);
  const char* xmlDecl(const char* p, const char* q, const char* e);
  const char* text(const char* p, const char* e);
  const char* cdata(const char* p, const char* e);
  const char* comment(const char* p, const char* e);
  const char* pi(const char* p, const char* e);
  const char* name(const char* p, const char* e);
  const char* wideName(const char* p, const char* e);
  const char* reference(const char* p, const char* e, char* out, size_t& len);
  void checkDuplicates(const char* tag);
  [[noreturn]] void fail(const char* at, const char* reason);

  XmlHandler& handler_;
  std::string what_;
  State state_ = State::Content;
  bool bomChecked_ = false;
  bool started_ = false;   // past the place where an XML declaration may stand
  bool rootDone_ = false;
  const char* base_ = nullptr;  // start of the buffer being scanned, for line numbers
  size_t line_ = 1;             // line at base_

  std::string carry_;                 // a token cut by the end of the previous chunk
  size_t carryNeed_ = 0;              // size it must reach before it is read again
  std::string open_;                  // qualified names of the open elements, end to end
  std::vector<size_t> openStarts_;    // where each one starts in open_
  std::vector<char> tagBuf_;          // name\0value\0... of the tag at hand
  std::vector<const char*> attrs_;    // into tagBuf_
  std::vector<std::string_view> attrNames_;  // scratch for the duplicate check of large tags
};

}  // namespace corvane
