// What the fuzzing harnesses share: reading a whole workbook the way a merge reads it, and
// a stored (uncompressed) zip package built around parts, so that mutations reach the XML
// instead of breaking the deflate stream or the checksums.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/containers/zip_package.h"
#include "engine/core/error.h"
#include "engine/core/number_format.h"
#include "engine/core/workbook_reader.h"
#include "engine/formula/spreadsheet_formulas.h"

namespace corvane::fuzz {

// Lists the sheets, loads every worksheet and the styles, and walks what came out, so that
// a cell or string the reader left half made is touched under the sanitizers.
// The numbers go through their cells' formats, as the workbook window shows them.
inline void ReadEverything(WorkbookReader& reader) {
  size_t sum = 0;
  std::shared_ptr<const StyleTable> styles = reader.styles();
  std::vector<std::unique_ptr<NumberFormat>> formats(styles->styles.size());
  for (size_t i = 0; i < reader.sheets().size(); ++i) {
    if (reader.sheets()[i].kind != SheetKind::Worksheet) continue;
    std::shared_ptr<SheetData> sheet = reader.loadSheet(i);
    int rendered = 0;
    for (const Cell& c : sheet->cells) {
      if (c.type == CellType::String) sum += sheet->str(c).size();
      if (c.type == CellType::Formula) sum += sheet->formula(c).text.size();
      if (c.type == CellType::Number && c.style < formats.size() && rendered++ < 4096) {
        auto& f = formats[c.style];
        if (!f) f = std::make_unique<NumberFormat>(styles->styles[c.style].numFmt);
        sum += f->Number(c.number(), styles->date1904).text.size();
      }
    }
    for (const Hyperlink& l : sheet->links) sum += l.target.size() + l.location.size();
    for (const Comment& m : sheet->comments) sum += m.text.size();
  }
  sum += styles->styles.size();
  volatile size_t sink = sum;
  (void)sink;
}

// Runs `open` and reads everything it opened; a described failure is a fine outcome for a
// hostile file, anything else (another exception, a crash) is a finding.
template <typename Open>
void OpenAndRead(Open open) {
  try {
    std::unique_ptr<WorkbookReader> reader = open();
    ReadEverything(*reader);
  } catch (const AutomationError&) {
  }
}

// Opens the bytes as a zip package, hands it to `open` (OpenXlsx, OpenXlsb, OpenOds) as the
// file `name`, and reads everything it opened.
template <typename Open>
void ReadPackage(const uint8_t* data, size_t size, const std::string& name, Open open) {
  OpenAndRead([&] {
    auto pkg = std::make_unique<ZipPackage>(ZipPackage::InMemory{}, std::string(reinterpret_cast<const char*>(data), size),
                                            name);
    return open(std::move(pkg), name, SpreadsheetFormulas());
  });
}

// A zip archive of stored entries with right checksums and sizes.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& parts) {
  std::string out, dir;
  auto u16 = [](std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
  };
  auto u32 = [&](std::string& s, uint32_t v) {
    u16(s, static_cast<uint16_t>(v & 0xFFFF));
    u16(s, static_cast<uint16_t>(v >> 16));
  };
  for (const auto& part : parts) {
    const std::string& name = part.first;
    const std::string& data = part.second;
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    auto offset = static_cast<uint32_t>(out.size());
    auto header = [&](std::string& s, bool central) {
      u32(s, central ? 0x02014b50 : 0x04034b50);
      if (central) u16(s, 20);  // made by
      u16(s, 20);               // needed
      u16(s, 0);                // flags
      u16(s, 0);                // stored
      u16(s, 0);                // time
      u16(s, 0x21);             // date
      u32(s, crc);
      u32(s, static_cast<uint32_t>(data.size()));
      u32(s, static_cast<uint32_t>(data.size()));
      u16(s, static_cast<uint16_t>(name.size()));
      u16(s, 0);  // extra
      if (central) {
        u16(s, 0);  // comment
        u16(s, 0);  // disk
        u16(s, 0);  // internal attributes
        u32(s, 0);  // external attributes
        u32(s, offset);
      }
      s += name;
    };
    header(out, false);
    out += data;
    header(dir, true);
  }
  auto dirOffset = static_cast<uint32_t>(out.size());
  out += dir;
  u32(out, 0x06054b50);
  u16(out, 0);
  u16(out, 0);
  u16(out, static_cast<uint16_t>(parts.size()));
  u16(out, static_cast<uint16_t>(parts.size()));
  u32(out, static_cast<uint32_t>(dir.size()));
  u32(out, dirOffset);
  u16(out, 0);
  return out;
}

// The pieces of an input cut at each occurrence of `sep`, at most `max` of them (the last
// one keeps the rest).
inline std::vector<std::string> SplitInput(std::string_view in, std::string_view sep, size_t max) {
  std::vector<std::string> out;
  while (out.size() + 1 < max) {
    size_t at = in.find(sep);
    if (at == std::string_view::npos) break;
    out.emplace_back(in.substr(0, at));
    in.remove_prefix(at + sep.size());
  }
  out.emplace_back(in);
  return out;
}

// Little-endian integers at the front of an input, consumed.
struct Bytes {
  std::string_view rest;
  uint8_t u8() {
    if (rest.empty()) return 0;
    auto v = static_cast<uint8_t>(rest[0]);
    rest.remove_prefix(1);
    return v;
  }
  uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
  uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
  std::string_view take(size_t n) {
    n = std::min(n, rest.size());
    std::string_view s = rest.substr(0, n);
    rest.remove_prefix(n);
    return s;
  }
};

}  // namespace corvane::fuzz
