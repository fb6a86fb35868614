// Builds small Excel binary workbooks (.xlsb) record by record, for tests and the
// benchmark: what real files rarely hold (merges, 3-D references, odd token orders)
// and what no real file should hold (damage) can be made on purpose.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/core/unicode.h"

namespace corvane::test::xlsb {

inline std::string U8(uint8_t v) { return std::string(1, static_cast<char>(v)); }
inline std::string U16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(static_cast<uint16_t>(v & 0xFFFF)) + U16(static_cast<uint16_t>(v >> 16)); }
inline std::string F64(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

// UTF-8 text as UTF-16LE code units.
inline std::string Utf16(const std::string& s) {
  std::string out;
  for (const char *p = s.data(), *e = p + s.size(); p < e;) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(p, e, cp);
    if (n == 0) {  // not UTF-8: one replacement character per byte
      cp = kReplacementChar;
      n = 1;
    }
    p += n;
    if (cp >= 0x10000) {
      out += U16(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      cp = 0xDC00 + ((cp - 0x10000) & 0x3FF);
    }
    out += U16(static_cast<uint16_t>(cp));
  }
  return out;
}
// XLWideString: a count of UTF-16 units, then the units.
inline std::string WStr(const std::string& s) {
  std::string u = Utf16(s);
  return U32(static_cast<uint32_t>(u.size() / 2)) + u;
}

// One record: type and size in their variable-length encodings, then the body.
inline std::string Rec(uint32_t type, const std::string& body = "") {
  std::string out;
  out += static_cast<char>((type & 0x7F) | (type >= 0x80 ? 0x80 : 0));
  if (type >= 0x80) out += static_cast<char>(type >> 7);
  uint32_t n = static_cast<uint32_t>(body.size());
  do {
    uint8_t b = n & 0x7F;
    n >>= 7;
    out += static_cast<char>(b | (n ? 0x80 : 0));
  } while (n);
  return out + body;
}

// ----- sheet records
inline std::string RowHdr(uint32_t r) { return Rec(0, U32(r) + U32(0) + U16(300) + U16(0) + U8(0) + U32(0)); }
inline std::string CellHead(uint32_t col, uint32_t style) { return U32(col) + U32(style & 0xFFFFFF); }
inline std::string Blank(uint32_t col, uint32_t style) { return Rec(1, CellHead(col, style)); }
inline std::string Rk(uint32_t col, uint32_t rk, uint32_t style = 0) { return Rec(2, CellHead(col, style) + U32(rk)); }
inline std::string ErrorCell(uint32_t col, uint8_t e) { return Rec(3, CellHead(col, 0) + U8(e)); }
inline std::string BoolCell(uint32_t col, bool b) { return Rec(4, CellHead(col, 0) + U8(b)); }
inline std::string Real(uint32_t col, double v, uint32_t style = 0) { return Rec(5, CellHead(col, style) + F64(v)); }
inline std::string Str(uint32_t col, const std::string& s) { return Rec(6, CellHead(col, 0) + WStr(s)); }
inline std::string Isst(uint32_t col, uint32_t i, uint32_t style = 0) { return Rec(7, CellHead(col, style) + U32(i)); }
inline std::string RichStr(uint32_t col, const std::string& s) {
  // Rich and phonetic flags set; the runs that follow the text are not for the cell value.
  return Rec(62, CellHead(col, 0) + U8(3) + WStr(s) + U32(1) + U16(0) + U16(1) + WStr("ph") + U32(0));
}
inline std::string Tokens(const std::string& rgce, const std::string& rgcb = "") {
  return U32(static_cast<uint32_t>(rgce.size())) + rgce + U32(static_cast<uint32_t>(rgcb.size())) + rgcb;
}
inline std::string FmlaNum(uint32_t col, double v, const std::string& rgce, const std::string& rgcb = "") {
  return Rec(9, CellHead(col, 0) + F64(v) + U16(0) + Tokens(rgce, rgcb));
}
inline std::string FmlaStr(uint32_t col, const std::string& v, const std::string& rgce, const std::string& rgcb = "") {
  return Rec(8, CellHead(col, 0) + WStr(v) + U16(0) + Tokens(rgce, rgcb));
}
inline std::string Rfx(uint32_t r1, uint32_t r2, uint32_t c1, uint32_t c2) { return U32(r1) + U32(r2) + U32(c1) + U32(c2); }
inline std::string ShrFmla(const std::string& rfx, const std::string& rgce) { return Rec(427, rfx + Tokens(rgce)); }
inline std::string ArrFmla(const std::string& rfx, const std::string& rgce) { return Rec(426, rfx + U8(0) + Tokens(rgce)); }
inline std::string Merge(uint32_t r1, uint32_t r2, uint32_t c1, uint32_t c2) { return Rec(176, Rfx(r1, r2, c1, c2)); }
inline std::string HLink(const std::string& rfx, const std::string& relId, const std::string& location) {
  return Rec(494, rfx + (relId.empty() ? U32(0xFFFFFFFF) : WStr(relId)) + WStr(location) + WStr("") + WStr(""));
}

// ----- formula tokens
inline std::string ColWord(uint32_t col, bool rowRel, bool colRel) {
  return U16(static_cast<uint16_t>(col | (colRel ? 0x4000 : 0) | (rowRel ? 0x8000 : 0)));
}
inline std::string PtgRef(uint32_t r, uint32_t c, bool rel = true) { return U8(0x24) + U32(r) + ColWord(c, rel, rel); }
inline std::string PtgArea(uint32_t r1, uint32_t r2, uint32_t c1, uint32_t c2, bool rel = true) {
  return U8(0x25) + U32(r1) + U32(r2) + ColWord(c1, rel, rel) + ColWord(c2, rel, rel);
}
inline std::string PtgRefN(int32_t dr, int32_t dc) {
  return U8(0x2C) + U32(static_cast<uint32_t>(dr)) + ColWord(static_cast<uint32_t>(dc) & 0x3FFF, true, true);
}
inline std::string PtgRef3d(uint16_t ixti, uint32_t r, uint32_t c) { return U8(0x3A) + U16(ixti) + U32(r) + ColWord(c, false, false); }
inline std::string PtgInt(uint16_t v) { return U8(0x1E) + U16(v); }
inline std::string PtgNum(double v) { return U8(0x1F) + F64(v); }
inline std::string PtgStr(const std::string& s) { return U8(0x17) + U16(static_cast<uint16_t>(Utf16(s).size() / 2)) + Utf16(s); }
inline std::string PtgName(uint32_t i) { return U8(0x23) + U32(i); }
inline std::string PtgFunc(uint16_t id) { return U8(0x41) + U16(id); }
inline std::string PtgFuncVar(uint8_t argc, uint16_t id) { return U8(0x42) + U8(argc) + U16(id); }
inline std::string PtgSpace(uint8_t type, uint8_t n) { return U8(0x19) + U8(0x40) + U8(type) + U8(n); }
inline std::string PtgExp(uint32_t row) { return U8(0x01) + U32(row); }
inline const std::string kAdd = U8(0x03), kSub = U8(0x04), kMul = U8(0x05), kParen = U8(0x15), kUnion = U8(0x10);

// ----- workbook
struct Sheet {
  std::string name;
  std::string data;   // records inside BrtBeginSheetData .. BrtEndSheetData
  std::string after;  // records after the cells (merges, links)
  uint32_t state = 0;  // 0 visible, 1 hidden, 2 very hidden
  std::string rels;   // extra <Relationship> elements of the sheet part
  std::string head = {};  // records before the cells (row and column defaults, column runs)
};

struct Book {
  std::vector<Sheet> sheets;
  std::vector<std::string> sst;   // shared strings
  std::string workbookExtra;      // records after the sheet list (externals, names)
  bool date1904 = false;
  std::string styles;             // a whole styles.bin, or empty for none
};

inline std::map<std::string, std::string> Parts(const Book& b) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  const std::string relsNs = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::map<std::string, std::string> parts;
  parts["[Content_Types].xml"] = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
  parts["_rels/.rels"] = relsNs + "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>";
  std::string wb = Rec(131) + Rec(153, U32(b.date1904 ? 1 : 0) + U32(0) + WStr("")) + Rec(143);
  std::string rels = relsNs;
  for (size_t i = 0; i < b.sheets.size(); ++i) {
    const Sheet& s = b.sheets[i];
    std::string n = std::to_string(i + 1);
    wb += Rec(156, U32(s.state) + U32(static_cast<uint32_t>(i + 1)) + WStr("rId" + n) + WStr(s.name));
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet" + n + ".bin\"/>";
    parts["xl/worksheets/sheet" + n + ".bin"] =
        Rec(129) + Rec(148, Rfx(0, 0, 0, 0)) + s.head + Rec(145) + s.data + Rec(146) + s.after + Rec(130);
    if (!s.rels.empty()) parts["xl/worksheets/_rels/sheet" + n + ".bin.rels"] = relsNs + s.rels + "</Relationships>";
  }
  wb += Rec(144) + b.workbookExtra + Rec(132);
  parts["xl/workbook.bin"] = wb;
  if (!b.sst.empty()) {
    std::string sst = Rec(159, U32(static_cast<uint32_t>(b.sst.size())) + U32(static_cast<uint32_t>(b.sst.size())));
    for (auto& s : b.sst) sst += Rec(19, U8(0) + WStr(s));
    parts["xl/sharedStrings.bin"] = sst + Rec(160);
    rels += "<Relationship Id=\"rIdS\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.bin\"/>";
  }
  if (!b.styles.empty()) {
    parts["xl/styles.bin"] = b.styles;
    rels += "<Relationship Id=\"rIdY\" Type=\"" + rel + "styles\" Target=\"styles.bin\"/>";
  }
  parts["xl/_rels/workbook.bin.rels"] = rels + "</Relationships>";
  return parts;
}

}  // namespace corvane::test::xlsb
