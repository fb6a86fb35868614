#include "engine/formula/formula_check.h"

#include <array>

#include "engine/core/ascii.h"
#include "engine/formula/formula_lexer.h"
#include "engine/formula/function_catalog.h"

namespace corvane {

namespace {

struct Frame {
  Frame() = default;
  explicit Frame(char k) : kind(k) {}
  char kind = '(';                   // '(' grouping, 'f' a call, '{' an inline array
  const FunctionSpec* fn = nullptr;  // 'f'
  std::string_view name;             // 'f', as written
  int separators = 0;                // 'f': commas at this level
  bool any = false;                  // something other than white space since the opening
  int cols = 1, firstRowCols = -1;   // '{'
};

// The open parentheses, calls and arrays, innermost last.
class FrameStack {
 public:
  bool empty() const { return size_ == 0; }
  Frame& back() { return frames_[size_ - 1]; }
  bool push(const Frame& f) {
    if (size_ == frames_.size()) return false;
    frames_[size_++] = f;
    return true;
  }
  void pop() { --size_; }

 private:
  std::array<Frame, 128> frames_;
  size_t size_ = 0;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters the grammar gives a meaning to outside strings and names: operators,
// separators, the implicit intersection '@' and the spill '#'.
bool IsOperatorChar(char c) {
  switch (c) {
    case '+': case '-': case '*': case '/': case '^': case '&': case '=': case '<': case '>': case '%':
    case ':': case '@': case '#': case '!':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string FormulaSyntaxProblem(std::string_view s, bool trustPrefixed) {
  // Parentheses and calls nest at most 64 deep in the spreadsheet's formulas.
  FrameStack stack;
  bool anything = false;
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    FormulaToken t = NextFormulaToken(s, i);
    std::string_view text = s.substr(t.begin, t.end - t.begin);
    i = t.end;
    bool inArray = !stack.empty() && stack.back().kind == '{';
    if (t.kind == FormulaTok::Char && IsSpace(text[0])) continue;
    anything = true;
    switch (t.kind) {
      case FormulaTok::String:
        if (!t.closed) return "a string is not closed";
        break;
      case FormulaTok::QuotedSheet:
        if (!t.closed) return "a quoted sheet name is not closed";
        if (inArray) return "an inline array holds a reference";
        break;
      case FormulaTok::Bracketed:
      case FormulaTok::Table:
        if (!t.closed) return "a bracket is not closed";
        if (inArray) return "an inline array holds a reference";
        break;
      case FormulaTok::Function: {
        if (inArray) return "an inline array holds a function call";
        const FunctionSpec* fn = FunctionByFormulaName(text);
        if (!fn && !(trustPrefixed && text.size() > 6 && EqualsNoCase(text.substr(0, 6), "_xlfn.")))
          return "unknown function " + std::string(text);
        if (!stack.empty()) stack.back().any = true;
        Frame f('f');
        f.fn = fn;
        f.name = text;
        if (!stack.push(f)) return "nested too deep";
        ++i;  // the '(' that follows a function name
        continue;
      }
      case FormulaTok::Ref:
      case FormulaTok::SheetPrefix:
        if (inArray) return "an inline array holds a reference";
        break;
      case FormulaTok::Name:
        if (inArray && !EqualsNoCase(text, "TRUE") && !EqualsNoCase(text, "FALSE"))
          return "an inline array holds the name " + std::string(text);
        break;
      case FormulaTok::Error:
      case FormulaTok::Number:
        break;
      case FormulaTok::Char: {
        char c = text[0];
        switch (c) {
          case '(':
            if (inArray) return "an inline array holds parentheses";
            if (!stack.empty()) stack.back().any = true;
            if (!stack.push(Frame('('))) return "nested too deep";
            continue;
          case ')': {
            if (stack.empty() || stack.back().kind == '{') return "a ')' closes nothing";
            Frame f = stack.back();
            stack.pop();
            if (f.kind == 'f' && f.fn) {
              int args = f.any ? f.separators + 1 : 0;
              if (!TakesArgs(*f.fn, static_cast<size_t>(args)))
                return std::string(f.name) + " called with " + std::to_string(args) + " argument" +
                       (args == 1 ? "" : "s");
            } else if (f.kind == '(' && !f.any) {
              return "empty parentheses";
            }
            continue;
          }
          case '{':
            if (inArray) return "an inline array inside another";
            if (!stack.empty()) stack.back().any = true;
            if (!stack.push(Frame('{'))) return "nested too deep";
            continue;
          case '}': {
            if (!inArray) return "a '}' closes nothing";
            Frame f = stack.back();
            stack.pop();
            if (f.firstRowCols >= 0 && f.cols != f.firstRowCols) return "an inline array is not rectangular";
            continue;
          }
          case ',':
            if (inArray) ++stack.back().cols;
            else if (!stack.empty() && stack.back().kind == 'f') ++stack.back().separators;
            continue;  // elsewhere the union operator
          case ';':
            if (!inArray) return "';' outside an inline array";
            if (stack.back().firstRowCols >= 0 && stack.back().cols != stack.back().firstRowCols)
              return "an inline array is not rectangular";
            stack.back().firstRowCols = stack.back().cols;
            stack.back().cols = 1;
            continue;
          default:
            if (!IsOperatorChar(c)) return std::string("unexpected character '") + c + "'";
            if (inArray && c != '-' && c != '+' && c != '%') return "an inline array holds an operator";
            break;
        }
        break;
      }
    }
    if (!stack.empty()) stack.back().any = true;
  }
  if (!anything) return "no formula";
  if (!stack.empty()) return stack.back().kind == '{' ? "an inline array is not closed" : "a '(' is not closed";
  return {};
}

}  // namespace corvane
