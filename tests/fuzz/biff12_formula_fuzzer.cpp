// The BIFF12 token decompiler, with the workbook's tables made from the input too: in front,
// the counts and entries of the sheet names, books, external sheets (indices that point
// nowhere included) and defined names, then the tokens and their extra data.
#include "engine/formula/xlsb_formula.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::Bytes in{std::string_view(reinterpret_cast<const char*>(data), size)};
  xlsb::FormulaContext ctx;
  uint8_t shape = in.u8();
  for (int i = 0; i < (shape & 3) + 1; ++i) ctx.sheetNames.push_back(i == 1 ? "Other sheet" : "S" + std::to_string(i));
  for (int i = 0; i < ((shape >> 2) & 3); ++i) {
    xlsb::SupBook book;
    book.kind = static_cast<xlsb::SupBookKind>(in.u8() % 4);
    book.externalIndex = in.u8() % 4;
    for (int k = in.u8() % 3; k > 0; --k) book.sheets.push_back("Ext" + std::to_string(k));
    for (int k = in.u8() % 3; k > 0; --k) book.names.push_back("NAME" + std::to_string(k));
    ctx.supBooks.push_back(std::move(book));
  }
  for (int i = 0; i < ((shape >> 4) & 3); ++i) {
    xlsb::ExternSheet x;
    x.supBook = static_cast<int8_t>(in.u8());
    x.first = static_cast<int8_t>(in.u8());
    x.last = static_cast<int8_t>(in.u8());
    ctx.externSheets.push_back(x);
  }
  if (shape & 0x40) ctx.names = {{"Total", -1}, {"Local", 0}, {"", 7}};
  uint16_t cce = in.u16();
  std::string_view rgce = in.take(cce);
  xlsb::FormulaDecompiler decompiler(ctx);
  std::string text;
  decompiler.decompile(reinterpret_cast<const uint8_t*>(rgce.data()), rgce.size(),
                       reinterpret_cast<const uint8_t*>(in.rest.data()), in.rest.size(), in.rest.size() & 0xFF,
                       (in.rest.size() >> 8) & 0xFF, text);
  return 0;
}
