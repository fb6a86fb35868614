#include "engine/ods/ods_scanner.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/unicode.h"

namespace corvane::ods {

void TableScanner::feed(const char* p, size_t n) {
  if (found_) return sink_(p, n);
  const char* e = p + n;
  while (!carry_.empty() && p < e) {
    // A tag cut by the previous chunk: complete it with as little of this one as it takes.
    size_t old = carry_.size();
    size_t take = std::min<size_t>(static_cast<size_t>(e - p), std::max<size_t>(4096, old));
    carry_.append(p, take);
    const char* b = carry_.data();
    const char* stop = scan(b, b + carry_.size());
    if (found_) {
      std::string rest = carry_.substr(static_cast<size_t>(found_ - b));
      carry_.clear();
      sink_(rest.data(), rest.size());
      if (p + take < e) sink_(p + take, static_cast<size_t>(e - p) - take);
      return;
    }
    size_t off = static_cast<size_t>(stop - b);
    if (off == carry_.size()) {
      carry_.clear();
      p += take;
    } else if (off >= old) {
      p += off - old;  // the next cut tag starts in this chunk: read it from there
      carry_.clear();
    } else {
      carry_.erase(0, off);
      carry_.resize(carry_.size() - take);  // try again with more of this chunk
      if (carry_.size() + take >= kMaxTag) throw AutomationError(what_ + " is damaged: a tag is too long.");
      if (take == static_cast<size_t>(e - p)) {
        carry_.append(p, take);
        return;
      }
      carry_.append(p, take);
      p += take;
    }
  }
  const char* stop = scan(p, e);
  if (found_) return sink_(found_, static_cast<size_t>(e - found_));
  if (stop != e) carry_.assign(stop, e);
}

const char* TableScanner::scan(const char* q, const char* e) {
  for (;;) {
    q = static_cast<const char*>(std::memchr(q, '<', static_cast<size_t>(e - q)));
    if (!q) return e;
    if (static_cast<size_t>(e - q) < need_) return q;
    if (q[1] == '/') {
      if (At(q, e, close_)) {
        --depth_;
      } else if (At(q, e, end_)) {
        throw StopParsing{};
      }
      ++q;
      continue;
    }
    bool table = At(q, e, open_);
    if (!table && !At(q, e, nullDate_)) {
      ++q;
      continue;
    }
    const char* end = TagEnd(q, e);
    if (!end) return q;
    bool selfClosing = end[-1] == '/';
    if (table) {
      if (depth_ == 0 && sink_) {
        if (seen_++ == target_) {
          found_ = q;
          return q;
        }
      } else if (depth_ == 0 && list_) {
        TableList::Table t;
        t.name = attr(q, end, ":name");
        t.style = attr(q, end, ":style-name");
        list_->tables.push_back(std::move(t));
      }
      if (!selfClosing) ++depth_;
    } else if (depth_ == 0 && list_) {
      list_->nullDate = attr(q, end, ":date-value");
    }
    q = end + 1;
  }
}

std::string TableScanner::attr(const char* b, const char* e, std::string_view local) const {
  const std::string& prefix = prefix_;
  const char* q = b + 1;
  while (q < e && !Boundary(*q)) ++q;
  while (q < e) {
    while (q < e && (*q == ' ' || *q == '\t' || *q == '\n' || *q == '\r')) ++q;
    const char* n = q;
    while (q < e && *q != '=' && *q != ' ' && *q != '>' && *q != '/') ++q;
    std::string_view name(n, static_cast<size_t>(q - n));
    while (q < e && (*q == ' ' || *q == '=')) ++q;
    if (q >= e || (*q != '"' && *q != '\'')) return {};
    char quote = *q++;
    const char* v = q;
    while (q < e && *q != quote) ++q;
    std::string_view value(v, static_cast<size_t>(q - v));
    ++q;
    if (name.size() == prefix.size() + local.size() && name.substr(0, prefix.size()) == prefix &&
        name.substr(prefix.size()) == local)
      return Decode(value);
  }
  return {};
}

std::string TableScanner::Decode(std::string_view v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '&') {
      out += v[i];
      continue;
    }
    size_t semi = v.find(';', i);
    if (semi == std::string_view::npos) break;
    std::string_view ent = v.substr(i + 1, semi - i - 1);
    uint32_t cp = 0;
    if (ent == "amp") cp = '&';
    else if (ent == "lt") cp = '<';
    else if (ent == "gt") cp = '>';
    else if (ent == "quot") cp = '"';
    else if (ent == "apos") cp = '\'';
    else if (ent.size() > 1 && ent[0] == '#') {
      bool hex = ent[1] == 'x';
      std::from_chars(ent.data() + (hex ? 2 : 1), ent.data() + ent.size(), cp, hex ? 16 : 10);
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementChar;
    AppendUtf8(out, cp);
    i = semi;
  }
  return out;
}

}  // namespace corvane::ods
