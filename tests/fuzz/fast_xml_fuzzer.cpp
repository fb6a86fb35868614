// The fast worksheet tokenizer: a document fed whole and fed in small chunks gives the same
// events, or fails with the same description.
#include <cstdio>

#include "engine/containers/fast_xml.h"
#include "engine/containers/xml_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

class Log : public corvane::XmlHandler {
 public:
  std::string events;
  void start(std::string_view name, const char** attrs) override {
    closeText();
    events += '<';
    events += name;
    for (const char** a = attrs; *a; a += 2) {
      events += ' ';
      events += a[0];
      events += '=';
      events += a[1];
    }
    events += '\n';
  }
  void end(std::string_view name) override {
    closeText();
    events += "</";
    events += name;
    events += '\n';
  }
  // Text may come in pieces at any cut; only what it adds up to counts.
  void text(std::string_view chars) override {
    if (!inText_) events += '"';
    inText_ = true;
    events += chars;
  }

 private:
  void closeText() {
    if (inText_) events += "\"\n";
    inText_ = false;
  }
  bool inText_ = false;
};

std::string Run(std::string_view doc, size_t chunk) {
  Log log;
  try {
    corvane::FastXmlParser parser(log, "fuzz");
    if (chunk == 0) {
      parser.feed(doc.data(), doc.size());
    } else {
      for (size_t at = 0; at < doc.size(); at += chunk) parser.feed(doc.data() + at, std::min(chunk, doc.size() - at));
    }
    parser.finish();
  } catch (const corvane::AutomationError& e) {
    // What came before the fault depends on where the chunks ended; the fault does not.
    return std::string("failed: ") + e.description();
  }
  return log.events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t chunk = 1 + data[0] % 7;
  std::string_view doc(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string whole = Run(doc, 0), chunked = Run(doc, chunk);
  if (whole != chunked) {
    std::fprintf(stderr, "fed whole:\n%s\nfed in chunks of %zu:\n%s\n", whole.c_str(), chunk, chunked.c_str());
    __builtin_trap();
  }
  return 0;
}
