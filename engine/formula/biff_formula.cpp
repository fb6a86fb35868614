#include "engine/formula/biff_formula.h"

#include "engine/formula/biff_tokens.h"
#include "engine/formula/formula_text.h"

namespace corvane {

namespace {

using biff::Decoded;

// What BIFF8 tokens point to, from the SUPBOOK, EXTERNSHEET, EXTERNNAME and NAME records.
class Biff8Links final : public biff::TokenLinks {
 public:
  explicit Biff8Links(const BiffLinks& links) : l_(links) {}

  // Only sheets of this workbook: another workbook's references cannot follow a paste.
  Decoded sheetPrefix(uint16_t ixti, std::string& out) const override {
    const BiffLinks::Xti* x = ixti < l_.externSheets.size() ? &l_.externSheets[ixti] : nullptr;
    if (!x || x->supBook >= l_.supBooks.size() || l_.supBooks[x->supBook].kind != BiffLinks::Book::Self ||
        x->first >= l_.sheetNames.size() || x->last >= l_.sheetNames.size()) {
      out += "#REF!";
      return Decoded::ValueOnly;
    }
    AppendSheetPrefix(out, {}, l_.sheetNames[x->first], x->first == x->last ? std::string_view() : l_.sheetNames[x->last]);
    return Decoded::Formula;
  }

  Decoded name(uint32_t index, std::string& out) const override {
    if (index == 0 || index > l_.names.size() || l_.names[index - 1].empty()) {
      out += "#NAME?";
      return Decoded::ValueOnly;
    }
    out += l_.names[index - 1];
    return Decoded::Formula;
  }

  // A name of this workbook, or a function of an add-in (EOMONTH of the Analysis ToolPak).
  Decoded externalName(uint16_t ixti, uint32_t index, std::string& out, bool& addIn) const override {
    const BiffLinks::SupBook* book = nullptr;
    if (ixti < l_.externSheets.size() && l_.externSheets[ixti].supBook < l_.supBooks.size())
      book = &l_.supBooks[l_.externSheets[ixti].supBook];
    if (book && book->kind == BiffLinks::Book::Self) return name(index, out);
    if (book && book->kind == BiffLinks::Book::AddIn && index >= 1 && index <= book->externNames.size() &&
        !book->externNames[index - 1].empty()) {
      out += book->externNames[index - 1];
      addIn = true;
      return Decoded::Formula;
    }
    out += "#NAME?";
    return Decoded::ValueOnly;
  }

 private:
  const BiffLinks& l_;
};

}  // namespace

bool DecompileBiff8(std::string_view rgce, std::string_view extra, int32_t row, int32_t col, const BiffLinks& links,
                    std::string& out) {
  Biff8Links l(links);
  biff::TokenDecompiler d(biff::kBiff8Layout, l);
  std::string text;
  if (d.decompile(reinterpret_cast<const uint8_t*>(rgce.data()), rgce.size(),
                  reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), row, col, text) != Decoded::Formula)
    return false;
  out = std::move(text);
  return true;
}

}  // namespace corvane
