#include "engine/formula/xlsb_formula.h"

#include "engine/formula/formula_text.h"

namespace corvane::xlsb {

Decoded ContextLinks::sheetPrefix(uint16_t ixti, std::string& out) const {
  const ExternSheet* x = ixti < ctx_.externSheets.size() ? &ctx_.externSheets[ixti] : nullptr;
  if (!x || x->supBook < 0 || static_cast<size_t>(x->supBook) >= ctx_.supBooks.size()) {
    out += "#REF!";
    return Decoded::ValueOnly;
  }
  const SupBook& book = ctx_.supBooks[static_cast<size_t>(x->supBook)];
  // The same workbook by its own name, or an add-in: nothing a reference could show.
  if (book.kind == SupBookKind::Same || book.kind == SupBookKind::Addin) return Decoded::ValueOnly;
  const auto& list = book.kind == SupBookKind::External ? book.sheets : ctx_.sheetNames;
  auto sheetName = [&](int32_t i) -> const std::string* {
    return i >= 0 && static_cast<size_t>(i) < list.size() ? &list[static_cast<size_t>(i)] : nullptr;
  };
  const std::string* first = sheetName(x->first);
  const std::string* last = sheetName(x->last);
  if (!first) {  // a deleted sheet
    out += "#REF!";
    return Decoded::ValueOnly;
  }
  std::string bookPrefix;
  if (book.kind == SupBookKind::External) bookPrefix = "[" + std::to_string(book.externalIndex) + "]";
  AppendSheetPrefix(out, bookPrefix, *first, last && x->last != x->first ? std::string_view(*last) : std::string_view());
  return Decoded::Formula;
}

Decoded ContextLinks::name(uint32_t index, std::string& out) const {
  if (index < 1 || index > ctx_.names.size()) {
    out += "#NAME?";
    return Decoded::ValueOnly;
  }
  out += ctx_.names[index - 1].name;
  return Decoded::Formula;
}

// A name of this workbook (with its sheet when it is local to one), of another workbook
// ("[1]!Name"), or a function of an add-in.
Decoded ContextLinks::externalName(uint16_t ixti, uint32_t index, std::string& out, bool& addIn) const {
  const ExternSheet* x = ixti < ctx_.externSheets.size() ? &ctx_.externSheets[ixti] : nullptr;
  const SupBook* book = x && x->supBook >= 0 && static_cast<size_t>(x->supBook) < ctx_.supBooks.size()
                            ? &ctx_.supBooks[static_cast<size_t>(x->supBook)]
                            : nullptr;
  if (book && book->kind == SupBookKind::Self && index >= 1 && index <= ctx_.names.size()) {
    Decoded d = x->first >= 0 ? sheetPrefix(ixti, out) : Decoded::Formula;
    out += ctx_.names[index - 1].name;
    return d;
  }
  if (book && index >= 1 && index <= book->names.size()) {
    if (book->kind == SupBookKind::External) {
      out += "[" + std::to_string(book->externalIndex) + "]!";
      out += book->names[index - 1];
      return Decoded::Formula;
    }
    out += book->names[index - 1];
    if (book->kind != SupBookKind::Addin) return Decoded::ValueOnly;
    addIn = true;
    return Decoded::Formula;
  }
  out += "#NAME?";
  return Decoded::ValueOnly;
}

}  // namespace corvane::xlsb
