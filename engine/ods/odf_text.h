// The text of OpenDocument paragraphs (<text:p>, <text:h>) as a reader shows it.
//
// White space in the XML is mostly layout: tabs, carriage returns and line feeds count as
// spaces, a run of them inside a paragraph reads as one space, and a run at the start of a
// paragraph reads as nothing, whichever elements (spans, links) it sits in. Only <text:s>
// (spaces), <text:tab> and <text:line-break> make characters that always stay; they are not
// white space for the collapsing, so a space next to one is kept. A run at the end of a
// paragraph is one space when it is spaces and tabs only (a producer writes a single
// trailing space as it is, and the spreadsheet programs keep it), and nothing when it holds
// a line break, which only indenting the XML puts there. The paragraphs of one cell or
// comment are joined by line feeds; text outside every paragraph is no content.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

class OdfText {
 public:
  // `limit` caps the text kept (more is dropped).
  explicit OdfText(size_t limit) : limit_(limit) {}

  // A new cell or comment: no paragraph yet.
  void reset() {
    paragraphs_ = 0;
    open_ = false;
  }
  void beginParagraph(std::string& out) {
    if (paragraphs_++ > 0) put(out, '\n');
    open_ = true;
    started_ = pending_ = pendingBreak_ = false;
  }
  void endParagraph(std::string& out) {
    if (open_ && pending_ && !pendingBreak_) put(out, ' ');
    open_ = pending_ = false;
  }
  bool inParagraph() const { return open_; }

  // Character data of the paragraph or of an element inside it.
  void characters(std::string& out, std::string_view s) {
    if (!open_) return;
    for (char c : s) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (!started_) continue;  // dropped at the start
        pendingBreak_ = (pending_ && pendingBreak_) || c == '\n' || c == '\r';
        pending_ = true;  // held back until the paragraph goes on or ends
      } else {
        flush(out);
        put(out, c);
        started_ = true;
      }
    }
  }
  // <text:s text:c="n">, <text:tab> ('\t'), <text:line-break> ('\n').
  void spaces(std::string& out, size_t n) {
    if (!open_) return;
    flush(out);
    n = std::min(n, room(out));
    out.append(n, ' ');
    started_ = true;
  }
  void special(std::string& out, char c) {
    if (!open_) return;
    flush(out);
    put(out, c);
    started_ = true;
  }

 private:
  size_t room(const std::string& out) const { return out.size() < limit_ ? limit_ - out.size() : 0; }
  void put(std::string& out, char c) {
    if (out.size() < limit_) out += c;
  }
  void flush(std::string& out) {
    if (pending_) put(out, ' ');
    pending_ = pendingBreak_ = false;
  }

  size_t limit_;
  int paragraphs_ = 0;
  bool open_ = false, started_ = false, pending_ = false, pendingBreak_ = false;
};

}  // namespace corvane
