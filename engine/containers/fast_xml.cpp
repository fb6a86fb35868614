#include "engine/containers/fast_xml.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/unicode.h"

namespace corvane {

namespace {

// Expat's words for the faults, so both parsers report a damaged part alike.
constexpr const char* kInvalidToken = "not well-formed (invalid token)";
constexpr const char* kMismatchedTag = "mismatched tag";
constexpr const char* kJunkAfterRoot = "junk after document element";
constexpr const char* kNoElement = "no element found";
constexpr const char* kUnclosedToken = "unclosed token";
constexpr const char* kUnclosedCdata = "unclosed CDATA section";
constexpr const char* kUndefinedEntity = "undefined entity";
constexpr const char* kBadCharRef = "reference to invalid character number";
constexpr const char* kDuplicateAttr = "duplicate attribute";
constexpr const char* kMisplacedDecl = "XML or text declaration not at start of entity";
constexpr const char* kSyntaxError = "syntax error";
constexpr const char* kBadDecl = "XML declaration not well-formed";

// Byte classes. A "stop" class holds the bytes a run of that kind of content cannot
// simply step over: its delimiters, line ends to normalise, the control characters
// XML forbids and the lead bytes of multi-byte characters, which are checked.
enum : uint8_t {
  kNameStart = 1,
  kName = 2,
  kSpace = 4,
  kTextStop = 8,
  kAttrStop = 16,
  kCdataStop = 32,
  kCommentStop = 64,
  kPiStop = 128,
};

constexpr std::array<uint8_t, 256> MakeClasses() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    uint8_t v = 0;
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter || c == '_' || c == ':') v |= kNameStart | kName;
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') v |= kName;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') v |= kSpace;
    bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    if (control || c >= 0x80) v |= kTextStop | kAttrStop | kCdataStop | kCommentStop | kPiStop;
    if (c == '<' || c == '&' || c == '\r' || c == ']') v |= kTextStop;
    if (c == '<' || c == '&' || c == '"' || c == '\'' || c == '\t' || c == '\n' || c == '\r') v |= kAttrStop;
    if (c == ']' || c == '\r') v |= kCdataStop;
    if (c == '-') v |= kCommentStop;
    if (c == '?') v |= kPiStop;
    t[static_cast<size_t>(c)] = v;
  }
  return t;
}

constexpr std::array<uint8_t, 256> kClass = MakeClasses();

inline uint8_t Cls(char c) { return kClass[static_cast<unsigned char>(c)]; }
inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

// Length of the UTF-8 character at p: 0 when it is malformed or not an XML character
// (surrogates, U+FFFE, U+FFFF), -1 when the buffer ends inside it.
int Utf8Len(const char* p, const char* e) {
  unsigned char c = U(*p);
  int n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < n; ++i) {
    if (p + i == e) return -1;
    unsigned char b = U(p[i]);
    if (i == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return 0;
  }
  if (c == 0xEF && U(p[1]) == 0xBF && (U(p[2]) == 0xBE || U(p[2]) == 0xBF)) return 0;
  return n;
}

bool IsXmlChar(uint32_t v) {
  return v == 0x9 || v == 0xA || v == 0xD || (v >= 0x20 && v <= 0xD7FF) || (v >= 0xE000 && v <= 0xFFFD) ||
         (v >= 0x10000 && v <= 0x10FFFF);
}

inline std::string_view LocalPart(std::string_view qname) {
  for (size_t i = qname.size(); i > 0; --i)
    if (qname[i - 1] == ':') return qname.substr(i);
  return qname;
}

// Names are short: a plain loop beats a call to memcmp.
inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

size_t CountLines(const char* p, const char* e) {
  size_t n = 0;
  while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(e - p))))) {
    ++n;
    ++p;
  }
  return n;
}

// How much of the next chunk to add to a cut token at first.
constexpr size_t kCarryStep = 128;

}  // namespace

FastXmlParser::FastXmlParser(XmlHandler& handler, std::string what)
    : handler_(handler), what_(std::move(what)), tagBuf_(4096) {}

void FastXmlParser::fail(const char* at, const char* reason) {
  size_t line = line_ + (base_ && at ? CountLines(base_, at) : 0);
  throw AutomationError(what_ + " is damaged: " + reason + " at line " + std::to_string(line) + ".");
}

void FastXmlParser::feed(const char* data, size_t n) {
  const char* e = data + n;
  // First finish the token the last chunk cut, copying only what completes it. Once the
  // copy has been read past its old bytes, the rest is read from the chunk in place.
  // While the token stays cut it is read again only once it has doubled, so that even
  // a long token fed in small chunks costs linear time.
  while (!carry_.empty() && data < e) {
    size_t old = carry_.size();
    size_t avail = static_cast<size_t>(e - data);
    if (old + avail < carryNeed_) {
      carry_.append(data, avail);
      return;
    }
    size_t take = std::min(avail, std::max(kCarryStep, carryNeed_ > old ? carryNeed_ - old : 0));
    carry_.append(data, take);
    const char* b = carry_.data();
    size_t used = static_cast<size_t>(run(b, b + carry_.size()) - b);
    if (used >= old) {
      data += used - old;
      carry_.clear();
      carryNeed_ = 0;
      break;
    }
    carry_.erase(0, used);
    data += take;
    carryNeed_ = 2 * carry_.size();
  }
  if (data < e) {
    const char* stop = run(data, e);
    carry_.assign(stop, static_cast<size_t>(e - stop));
  }
}

void FastXmlParser::finish() {
  if (!carry_.empty()) {
    const char* b = carry_.data();
    carry_.erase(0, static_cast<size_t>(run(b, b + carry_.size()) - b));
  }
  base_ = carry_.data();
  const char* end = carry_.data() + carry_.size();
  if (state_ == State::Cdata) fail(end, kUnclosedCdata);
  if (state_ != State::Content || !carry_.empty()) fail(end, kUnclosedToken);
  if (!rootDone_) fail(end, kNoElement);
}

void FastXmlParser::Parse(XmlHandler& handler, std::string_view doc, std::string what) {
  FastXmlParser p(handler, std::move(what));
  p.feed(doc.data(), doc.size());
  p.finish();
}

const char* FastXmlParser::run(const char* p, const char* e) {
  base_ = p;
  const char* stop = scan(p, e);
  line_ += CountLines(p, stop);
  base_ = nullptr;
  return stop;
}

const char* FastXmlParser::scan(const char* p, const char* e) {
  if (!bomChecked_) {
    static const char kBom[] = "\xEF\xBB\xBF";
    size_t have = std::min<size_t>(3, static_cast<size_t>(e - p));
    if (std::memcmp(p, kBom, have) == 0) {
      if (have < 3) return p;
      p += 3;
    }
    bomChecked_ = true;
  }
  while (p < e) {
    switch (state_) {
      case State::Content:
        break;
      case State::Cdata:
        p = cdata(p, e);
        if (state_ != State::Content) return p;
        continue;
      case State::Comment:
        p = comment(p, e);
        if (state_ != State::Content) return p;
        continue;
      case State::Pi:
        p = pi(p, e);
        if (state_ != State::Content) return p;
        continue;
    }
    if (*p == '<') {
      const char* q = markup(p, e);
      if (!q) return p;
      p = q;
    } else if (openStarts_.empty()) {
      // Outside the root element only white space may stand between the markup.
      while (p < e && (Cls(*p) & kSpace)) ++p;
      if (p < e && *p != '<') fail(p, rootDone_ ? kJunkAfterRoot : kInvalidToken);
    } else {
      p = text(p, e);
      if (p < e && *p != '<') return p;
    }
    started_ = true;
  }
  return p;
}

const char* FastXmlParser::markup(const char* p, const char* e) {
  if (e - p < 2) return nullptr;
  char c = p[1];
  if (c == '/') return endTag(p, e);
  if (c == '?') return piStart(p, e);
  if (c == '!') return bang(p, e);
  if ((Cls(c) & kNameStart) || U(c) >= 0x80) return startTag(p, e);
  fail(p, kInvalidToken);
}

// The end of the name whose characters continue at q; nullptr when the buffer ends
// first. Names are nearly always ASCII: the loop for others is out of the way.
inline const char* FastXmlParser::name(const char* q, const char* e) {
  while (q < e && (Cls(*q) & kName)) ++q;
  if (q < e && U(*q) < 0x80) return q;
  return wideName(q, e);
}

const char* FastXmlParser::wideName(const char* q, const char* e) {
  for (;;) {
    if (q == e) return nullptr;
    if (U(*q) < 0x80) return q;
    int n = Utf8Len(q, e);
    if (n < 0) return nullptr;
    if (n == 0) fail(q, kInvalidToken);
    q += n;
    while (q < e && (Cls(*q) & kName)) ++q;
  }
}

// A start tag at p. Its attributes are copied out NUL-terminated; they never take more
// room than the tag itself, so they are written without checks into a buffer at least
// as long as the bytes read. When the tag is longer than the buffer, the buffer grows
// and the tag is read again.
const char* FastXmlParser::startTag(const char* p, const char* e) {
  const char* nameEnd;
  bool selfClosing;
  const char* q;
  for (;;) {
    size_t room = tagBuf_.size();
    const char* lim = static_cast<size_t>(e - p) > room ? p + room : e;
    q = readStartTag(p, lim, nameEnd, selfClosing);
    if (q || lim == e) break;
    tagBuf_.resize(2 * room);
  }
  if (!q) return nullptr;

  if (rootDone_) fail(p, kJunkAfterRoot);
  if (attrs_.size() > 2) checkDuplicates(p);
  attrs_.push_back(nullptr);
  std::string_view qname(p + 1, static_cast<size_t>(nameEnd - (p + 1)));
  std::string_view local = LocalPart(qname);
  if (selfClosing) {
    handler_.start(local, attrs_.data());
    handler_.end(local);
    if (openStarts_.empty()) rootDone_ = true;
  } else {
    openStarts_.push_back(open_.size());
    open_.append(qname);
    handler_.start(local, attrs_.data());
  }
  return q;
}

const char* FastXmlParser::readStartTag(const char* p, const char* e, const char*& nameEnd, bool& selfClosing) {
  const char* q = name(p + 1, e);
  if (!q) return nullptr;
  nameEnd = q;
  char* out = tagBuf_.data();
  attrs_.clear();
  for (;;) {
    while (q < e && (Cls(*q) & kSpace)) ++q;
    if (q == e) return nullptr;
    char c = *q;
    if (c == '>') {
      selfClosing = false;
      return q + 1;
    }
    if (c == '/') {
      if (q + 1 == e) return nullptr;
      if (q[1] != '>') fail(q, kInvalidToken);
      selfClosing = true;
      return q + 2;
    }
    // (An attribute cannot touch the element name, which takes every name character,
    // nor a closing quote, which is checked below.)
    if (!((Cls(c) & kNameStart) || U(c) >= 0x80)) fail(q, kInvalidToken);
    const char* attrName = q;
    q = name(q, e);
    if (!q) return nullptr;
    attrs_.push_back(out);
    while (attrName < q) *out++ = *attrName++;
    *out++ = '\0';
    while (q < e && (Cls(*q) & kSpace)) ++q;
    if (q == e) return nullptr;
    if (*q != '=') fail(q, kInvalidToken);
    ++q;
    while (q < e && (Cls(*q) & kSpace)) ++q;
    if (q == e) return nullptr;
    char quote = *q;
    if (quote != '"' && quote != '\'') fail(q, kInvalidToken);
    ++q;

    // The value, with references replaced and white space characters made spaces.
    attrs_.push_back(out);
    for (;;) {
      while (q < e && !(Cls(*q) & kAttrStop)) *out++ = *q++;
      if (q == e) return nullptr;
      c = *q;
      if (c == quote) {
        ++q;
        break;
      }
      if (c == '"' || c == '\'') {
        *out++ = c;
        ++q;
      } else if (c == '&') {
        size_t len;
        const char* r = reference(q, e, out, len);
        if (!r) return nullptr;
        out += len;
        q = r;
      } else if (c == '\t' || c == '\n') {
        *out++ = ' ';
        ++q;
      } else if (c == '\r') {
        *out++ = ' ';
        ++q;
        if (q < e && *q == '\n') ++q;
      } else if (U(c) >= 0x80) {
        int n = Utf8Len(q, e);
        if (n < 0) return nullptr;
        if (n == 0) fail(q, kInvalidToken);
        for (int i = 0; i < n; ++i) *out++ = *q++;
      } else {
        fail(q, kInvalidToken);  // '<' or a control character
      }
    }
    *out++ = '\0';
    // A closing quote must be followed by white space or the end of the tag.
    if (q == e) return nullptr;
    if (!(Cls(*q) & kSpace) && *q != '>' && *q != '/') fail(q, kInvalidToken);
  }
}

void FastXmlParser::checkDuplicates(const char* tag) {
  size_t count = attrs_.size() / 2;
  auto nameOf = [&](size_t i) {
    return std::string_view(attrs_[2 * i], static_cast<size_t>(attrs_[2 * i + 1] - attrs_[2 * i] - 1));
  };
  if (count <= 16) {
    for (size_t i = 0; i < count; ++i)
      for (size_t j = i + 1; j < count; ++j)
        if (SameName(nameOf(i), nameOf(j))) fail(tag, kDuplicateAttr);
    return;
  }
  attrNames_.clear();
  for (size_t i = 0; i < count; ++i) attrNames_.push_back(nameOf(i));
  std::sort(attrNames_.begin(), attrNames_.end());
  if (std::adjacent_find(attrNames_.begin(), attrNames_.end()) != attrNames_.end()) fail(tag, kDuplicateAttr);
}

const char* FastXmlParser::endTag(const char* p, const char* e) {
  // Nearly always the tag is "</name>" with the name of the innermost open element:
  // try that before reading the name.
  if (!openStarts_.empty()) {
    size_t top = openStarts_.back();
    std::string_view open = std::string_view(open_).substr(top);
    if (static_cast<size_t>(e - p) > 2 + open.size() && p[2 + open.size()] == '>' &&
        SameName(std::string_view(p + 2, open.size()), open)) {
      const char* q = p + 2 + open.size();
      std::string_view local = LocalPart(std::string_view(p + 2, open.size()));
      openStarts_.pop_back();
      open_.resize(top);
      if (openStarts_.empty()) rootDone_ = true;
      handler_.end(local);
      return q + 1;
    }
  }
  const char* tagName = p + 2;
  if (tagName == e) return nullptr;
  if (!((Cls(*tagName) & kNameStart) || U(*tagName) >= 0x80)) fail(tagName, kInvalidToken);
  const char* q = name(tagName, e);
  if (!q) return nullptr;
  std::string_view qname(tagName, static_cast<size_t>(q - tagName));
  while (q < e && (Cls(*q) & kSpace)) ++q;
  if (q == e) return nullptr;
  if (*q != '>') fail(q, kInvalidToken);
  if (openStarts_.empty()) fail(p, rootDone_ ? kJunkAfterRoot : kInvalidToken);
  size_t top = openStarts_.back();
  if (!SameName(std::string_view(open_).substr(top), qname)) fail(p, kMismatchedTag);
  openStarts_.pop_back();
  open_.resize(top);
  if (openStarts_.empty()) rootDone_ = true;
  handler_.end(LocalPart(qname));
  return q + 1;
}

const char* FastXmlParser::bang(const char* p, const char* e) {
  auto opens = [&](std::string_view what, bool& cut) {
    size_t have = std::min(what.size(), static_cast<size_t>(e - p));
    if (std::string_view(p, have) != what.substr(0, have)) return false;
    cut = have < what.size();
    return true;
  };
  bool cut = false;
  if (opens("<!--", cut)) {
    if (cut) return nullptr;
    state_ = State::Comment;
    return p + 4;
  }
  if (opens("<![CDATA[", cut)) {
    if (cut) return nullptr;
    if (openStarts_.empty()) fail(p, rootDone_ ? kJunkAfterRoot : kSyntaxError);
    state_ = State::Cdata;
    return p + 9;
  }
  if (opens("<!DOCTYPE", cut)) {
    if (cut) return nullptr;
    throw AutomationError(what_ + " holds a document type declaration, which Corvane refuses for safety.");
  }
  fail(p, kInvalidToken);
}

const char* FastXmlParser::piStart(const char* p, const char* e) {
  const char* target = p + 2;
  if (target == e) return nullptr;
  if (!((Cls(*target) & kNameStart) || U(*target) >= 0x80)) fail(target, kInvalidToken);
  const char* q = name(target, e);
  if (!q) return nullptr;
  // The target ends at white space or at "?>".
  if (*q == '?') {
    if (q + 1 == e) return nullptr;
    if (q[1] != '>') fail(q, kInvalidToken);
  } else if (!(Cls(*q) & kSpace)) {
    fail(q, kInvalidToken);
  }
  std::string_view t(target, static_cast<size_t>(q - target));
  if (t.size() == 3 && (t[0] | 0x20) == 'x' && (t[1] | 0x20) == 'm' && (t[2] | 0x20) == 'l') {
    // Only the XML declaration may take this name, and only at the very start.
    if (t != "xml") fail(p, kInvalidToken);
    if (started_) fail(p, rootDone_ ? kJunkAfterRoot : kMisplacedDecl);
    return xmlDecl(p, q, e);
  }
  state_ = State::Pi;
  return q;
}

// The XML declaration, read whole as expat reads it: version, then optionally encoding
// and standalone, each once and in that order. The encoding named is not used: parts
// of a workbook are UTF-8.
const char* FastXmlParser::xmlDecl(const char* p, const char* q, const char* e) {
  const char* end = q;
  for (;; ++end) {
    end = static_cast<const char*>(std::memchr(end, '?', static_cast<size_t>(e - end)));
    if (!end || end + 1 == e) return nullptr;
    if (end[1] == '>') break;
  }
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  const char* s = q;
  std::string_view key, value;
  // The next name="value" pair; false when only white space is left.
  auto pair = [&]() {
    if (s == end) return false;
    if (!space(*s)) fail(s, kBadDecl);
    while (s < end && space(*s)) ++s;
    if (s == end) return false;
    const char* k = s;
    while (s < end && *s != '=' && !space(*s)) {
      if (U(*s) >= 0x80) fail(s, kBadDecl);
      ++s;
    }
    key = std::string_view(k, static_cast<size_t>(s - k));
    while (s < end && space(*s)) ++s;
    if (key.empty() || s == end || *s != '=') fail(s, kBadDecl);
    ++s;
    while (s < end && space(*s)) ++s;
    if (s == end || (*s != '"' && *s != '\'')) fail(s, kBadDecl);
    char open = *s++;
    const char* v = s;
    for (; s < end && *s != open; ++s) {
      char c = *s;
      bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
      if (!ok) fail(s, kBadDecl);
    }
    if (s == end) fail(s, kBadDecl);
    value = std::string_view(v, static_cast<size_t>(s - v));
    ++s;
    return true;
  };
  if (!pair() || key != "version") fail(s, kBadDecl);
  bool more = pair();
  if (more && key == "encoding") {
    if (value.empty() || !((value[0] | 0x20) >= 'a' && (value[0] | 0x20) <= 'z')) fail(s, kBadDecl);
    more = pair();
  }
  if (more) {
    if (key != "standalone" || (value != "yes" && value != "no")) fail(s, kBadDecl);
    while (s < end && space(*s)) ++s;
    if (s != end) fail(s, kBadDecl);
  }
  return end + 2;
}

// A reference at p ('&'): its character, UTF-8 encoded, goes to out.
const char* FastXmlParser::reference(const char* p, const char* e, char* out, size_t& len) {
  const char* q = p + 1;
  if (q == e) return nullptr;
  if (*q == '#') {
    ++q;
    if (q == e) return nullptr;
    bool hex = *q == 'x';
    if (hex) ++q;
    uint32_t v = 0;
    const char* digits = q;
    for (;; ++q) {
      if (q == e) return nullptr;
      char c = *q;
      unsigned d;
      if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
      else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') d = static_cast<unsigned>((c | 0x20) - 'a' + 10);
      else break;
      v = v > 0x10FFFF ? v : v * (hex ? 16 : 10) + d;  // past the last code point it only has to stay too big
    }
    if (q == digits || *q != ';') fail(q, kInvalidToken);
    if (!IsXmlChar(v)) fail(p, kBadCharRef);
    len = EncodeUtf8(v, out);
    return q + 1;
  }
  if (!((Cls(*q) & kNameStart) || U(*q) >= 0x80)) fail(q, kInvalidToken);
  const char* n = q;
  q = name(q, e);
  if (!q) return nullptr;
  if (*q != ';') fail(q, kInvalidToken);
  std::string_view ent(n, static_cast<size_t>(q - n));
  if (ent == "amp") out[0] = '&';
  else if (ent == "lt") out[0] = '<';
  else if (ent == "gt") out[0] = '>';
  else if (ent == "quot") out[0] = '"';
  else if (ent == "apos") out[0] = '\'';
  else fail(p, kUndefinedEntity);
  len = 1;
  return q + 1;
}

const char* FastXmlParser::text(const char* p, const char* e) {
  const char* s = p;
  auto flush = [&] {
    if (p > s) handler_.text(std::string_view(s, static_cast<size_t>(p - s)));
  };
  for (;;) {
    while (p < e && !(Cls(*p) & kTextStop)) ++p;
    if (p == e) {
      flush();
      return p;
    }
    char c = *p;
    if (c == '<') {
      flush();
      return p;
    }
    if (c == '&') {
      flush();
      char buf[4];
      size_t len;
      const char* r = reference(p, e, buf, len);
      if (!r) return p;
      handler_.text(std::string_view(buf, len));
      s = p = r;
    } else if (c == ']') {
      // "]]>" may not stand in text.
      if (e - p < 3) {
        flush();
        return p;
      }
      if (p[1] == ']' && p[2] == '>') fail(p, kInvalidToken);
      ++p;
    } else if (c == '\r') {
      // CR LF and a lone CR both read as LF.
      flush();
      if (p + 1 == e) return p;
      handler_.text("\n");
      p += p[1] == '\n' ? 2 : 1;
      s = p;
    } else if (U(c) >= 0x80) {
      int n = Utf8Len(p, e);
      if (n < 0) {
        flush();
        return p;
      }
      if (n == 0) fail(p, kInvalidToken);
      p += n;
    } else {
      fail(p, kInvalidToken);
    }
  }
}

const char* FastXmlParser::cdata(const char* p, const char* e) {
  const char* s = p;
  auto flush = [&] {
    if (p > s) handler_.text(std::string_view(s, static_cast<size_t>(p - s)));
  };
  for (;;) {
    while (p < e && !(Cls(*p) & kCdataStop)) ++p;
    if (p == e) {
      flush();
      return p;
    }
    char c = *p;
    if (c == ']') {
      if (e - p < 3) {
        flush();
        return p;
      }
      if (p[1] == ']' && p[2] == '>') {
        flush();
        state_ = State::Content;
        return p + 3;
      }
      ++p;
    } else if (c == '\r') {
      flush();
      if (p + 1 == e) return p;
      handler_.text("\n");
      p += p[1] == '\n' ? 2 : 1;
      s = p;
    } else if (U(c) >= 0x80) {
      int n = Utf8Len(p, e);
      if (n < 0) {
        flush();
        return p;
      }
      if (n == 0) fail(p, kInvalidToken);
      p += n;
    } else {
      fail(p, kInvalidToken);
    }
  }
}

const char* FastXmlParser::comment(const char* p, const char* e) {
  for (;;) {
    while (p < e && !(Cls(*p) & kCommentStop)) ++p;
    if (p == e) return p;
    char c = *p;
    if (c == '-') {
      // "--" may only close the comment.
      if (e - p < 2) return p;
      if (p[1] != '-') {
        ++p;
        continue;
      }
      if (e - p < 3) return p;
      if (p[2] != '>') fail(p, kInvalidToken);
      state_ = State::Content;
      return p + 3;
    }
    if (U(c) >= 0x80) {
      int n = Utf8Len(p, e);
      if (n < 0) return p;
      if (n == 0) fail(p, kInvalidToken);
      p += n;
    } else {
      fail(p, kInvalidToken);
    }
  }
}

const char* FastXmlParser::pi(const char* p, const char* e) {
  for (;;) {
    while (p < e && !(Cls(*p) & kPiStop)) ++p;
    if (p == e) return p;
    char c = *p;
    if (c == '?') {
      if (e - p < 2) return p;
      if (p[1] != '>') {
        ++p;
        continue;
      }
      state_ = State::Content;
      return p + 2;
    }
    if (U(c) >= 0x80) {
      int n = Utf8Len(p, e);
      if (n < 0) return p;
      if (n == 0) fail(p, kInvalidToken);
      p += n;
    } else {
      fail(p, kInvalidToken);
    }
  }
}

}  // namespace corvane
