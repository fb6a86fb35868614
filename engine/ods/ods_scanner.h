// Reading the tables of an .ods content.xml without tokenizing their cells: the prefixes the
// document binds, and TableScanner, which looks only at the tags that open and close tables
// (and at table:null-date) as the bytes stream past, to list the sheets or to find where one
// begins.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::ods {

// Thrown to stop reading content.xml once the sheet at hand is complete.
struct StopParsing {};

// The prefixes a document binds to the namespaces we read; the usual ones unless it says otherwise.
struct Prefixes {
  std::string office = "office", table = "table", xlink = "xlink", calcext = "calcext";

  void read(const char** a) {
    static constexpr std::pair<std::string_view, std::string Prefixes::*> kUris[] = {
        {"urn:oasis:names:tc:opendocument:xmlns:office:1.0", &Prefixes::office},
        {"urn:oasis:names:tc:opendocument:xmlns:table:1.0", &Prefixes::table},
        {"http://www.w3.org/1999/xlink", &Prefixes::xlink},
        {"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0", &Prefixes::calcext},
    };
    for (const char** p = a; *p; p += 2) {
      if (std::strncmp(p[0], "xmlns:", 6) != 0) continue;
      for (auto& [uri, member] : kUris)
        if (uri == p[1]) this->*member = p[0] + 6;
    }
  }
};

// True when the qualified name, whose local part starts at localAt, has the prefix `prefix`.
inline bool HasPrefix(const char* qname, size_t localAt, const std::string& prefix) {
  return localAt == prefix.size() + 1 && std::memcmp(qname, prefix.data(), prefix.size()) == 0;
}

// The local part of a qualified name; localAt receives where it starts.
inline std::string_view Local(const char* qname, size_t& localAt) {
  const char* p = qname;
  const char* local = qname;
  for (; *p; ++p)
    if (*p == ':') local = p + 1;
  localAt = static_cast<size_t>(local - qname);
  return std::string_view(local, static_cast<size_t>(p - local));
}

// The tables of office:spreadsheet by name and style, and the document's null date.
struct TableList {
  struct Table {
    std::string name, style;
  };
  std::vector<Table> tables;
  std::string nullDate;
};

// Finds the tables of office:spreadsheet without tokenizing their cells: it looks at the
// tags that open and close tables only, and at table:null-date. A sheet's rows can run to
// hundreds of megabytes; listing must not read them as XML. Whether the document is well
// formed is left to the sheet's own reading.
class TableScanner {
 public:
  // Handing over: the bytes from the start of the table sought on, in order.
  using Sink = std::function<void(const char*, size_t)>;

  // Lists every table into `list`; or, with a sink, skips `target` tables and hands the
  // rest of the document, from the start of the next, to the sink.
  TableScanner(const Prefixes& prefixes, TableList* list, const std::string& what, size_t target = SIZE_MAX,
               Sink sink = {})
      : list_(list), prefix_(prefixes.table), what_(what), target_(target), sink_(std::move(sink)),
        open_("<" + prefixes.table + ":table"),
        close_("</" + prefixes.table + ":table"),
        nullDate_("<" + prefixes.table + ":null-date"),
        end_("</" + prefixes.office + ":spreadsheet") {
    need_ = std::max({open_.size(), close_.size(), nullDate_.size(), end_.size()}) + 1;
  }

  // Throws StopParsing at the end of office:spreadsheet, AutomationError for a tag too long
  // to be one.
  void feed(const char* p, size_t n);

 private:
  static constexpr size_t kMaxTag = 1u << 20;

  static bool Boundary(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>'; }

  bool At(const char* q, const char* e, const std::string& pat) const {
    return static_cast<size_t>(e - q) > pat.size() && std::memcmp(q, pat.data(), pat.size()) == 0 &&
           Boundary(q[pat.size()]);
  }

  // The '>' ending the tag at q (quotes respected), or nullptr when the buffer ends first.
  static const char* TagEnd(const char* q, const char* e) {
    char quote = 0;
    for (; q < e; ++q) {
      if (quote) {
        if (*q == quote) quote = 0;
      } else if (*q == '"' || *q == '\'') {
        quote = *q;
      } else if (*q == '>') {
        return q;
      }
    }
    return nullptr;
  }

  // Returns where it stopped: e, or a '<' whose tag the buffer does not hold whole.
  const char* scan(const char* q, const char* e);
  // The value of table-prefixed attribute `local` (":name") in the tag [b, e), entities decoded.
  std::string attr(const char* b, const char* e, std::string_view local) const;
  static std::string Decode(std::string_view v);

  TableList* list_;
  std::string prefix_;
  std::string what_;
  size_t target_, seen_ = 0;
  Sink sink_;
  const char* found_ = nullptr;
  std::string open_, close_, nullDate_, end_;
  size_t need_;
  int depth_ = 0;
  std::string carry_;
};

}  // namespace corvane::ods
