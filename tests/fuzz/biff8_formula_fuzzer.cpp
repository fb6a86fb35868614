// The BIFF8 token decompiler, with link tables made from the input too: in front, the counts
// and entries of the sheet names, add-in and external books and the external sheet table
// (indices that point nowhere included), then the tokens and their extra data.
#include "engine/formula/biff_formula.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  fuzz::Bytes in{std::string_view(reinterpret_cast<const char*>(data), size)};
  BiffLinks links;
  uint8_t shape = in.u8();
  for (int i = 0; i < (shape & 3) + 1; ++i) links.sheetNames.push_back(i == 1 ? "Other sheet" : "S" + std::to_string(i));
  for (int i = 0; i < ((shape >> 2) & 3); ++i) {
    BiffLinks::SupBook book;
    book.kind = static_cast<BiffLinks::Book>(in.u8() % 4);
    for (int k = in.u8() % 3; k > 0; --k) book.externNames.push_back("NAME" + std::to_string(k));
    links.supBooks.push_back(std::move(book));
  }
  for (int i = 0; i < ((shape >> 4) & 3); ++i) {
    BiffLinks::Xti x;
    x.supBook = in.u16();
    x.first = in.u16();
    x.last = in.u16();
    links.externSheets.push_back(x);
  }
  if (shape & 0x40) links.names = {"Total", "_xlfn.X", ""};
  uint16_t cce = in.u16();
  std::string_view rgce = in.take(cce);
  std::string out;
  DecompileBiff8(rgce, in.rest, in.rest.size() & 0xFF, (in.rest.size() >> 8) & 0xFF, links, out);
  return 0;
}
