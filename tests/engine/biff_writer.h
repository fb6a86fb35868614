// Writes small Excel 97-2003 workbooks (BIFF8 in a compound file) for the .xls reader's
// tests and benchmark: the records a test needs, nothing more.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace corvane::test {

class BiffWriter {
 public:
  static void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  }
  static void Put32(std::string& s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, static_cast<uint16_t>(v >> 16));
  }
  static void PutF64(std::string& s, double v) {
    char b[8];
    std::memcpy(b, &v, 8);
    s.append(b, 8);
  }
  static std::string Rec(uint16_t type, const std::string& body) {
    std::string r;
    Put16(r, type);
    Put16(r, static_cast<uint16_t>(body.size()));
    return r + body;
  }
  static std::string Bof(uint16_t kind) {
    std::string b;
    Put16(b, 0x0600);
    Put16(b, kind);
    Put16(b, 0x0DBB);
    Put16(b, 0x07CC);
    Put32(b, 0);
    Put32(b, 6);
    return Rec(0x0809, b);
  }
  // A string with a 2-byte count, stored compressed (Latin-1 only).
  static std::string Str16(const std::string& latin1) {
    std::string s;
    Put16(s, static_cast<uint16_t>(latin1.size()));
    s += '\0';
    return s + latin1;
  }
  static std::string Cell(uint16_t row, uint16_t col, uint16_t xf) {
    std::string s;
    Put16(s, row);
    Put16(s, col);
    Put16(s, xf);
    return s;
  }
  static std::string Number(uint16_t row, uint16_t col, double v, uint16_t xf = 15) {
    std::string s = Cell(row, col, xf);
    PutF64(s, v);
    return Rec(0x0203, s);
  }
  // An integer as an RK value, the way Excel stores most whole numbers.
  static std::string RkInt(uint16_t row, uint16_t col, int32_t v, uint16_t xf = 15) {
    std::string s = Cell(row, col, xf);
    Put32(s, (static_cast<uint32_t>(v) << 2) | 2);
    return Rec(0x027E, s);
  }
  static std::string LabelSst(uint16_t row, uint16_t col, uint32_t index, uint16_t xf = 15) {
    std::string s = Cell(row, col, xf);
    Put32(s, index);
    return Rec(0x00FD, s);
  }
  // A FORMULA record with a cached number and the given tokens.
  static std::string Formula(uint16_t row, uint16_t col, double cached, const std::string& rgce, uint16_t xf = 15) {
    std::string s = Cell(row, col, xf);
    PutF64(s, cached);
    Put16(s, 0);
    Put32(s, 0);
    Put16(s, static_cast<uint16_t>(rgce.size()));
    return Rec(0x0006, s + rgce);
  }

  struct Sheet {
    std::string name;
    std::string cells;  // cell records, in row order
  };

  // The SST record and its CONTINUE records, each at most `limit` bytes of body. Strings
  // run over from one record into the next; the continued part is stored as UTF-16 when
  // `widenContinued` is set, which the flags byte at the start of the CONTINUE says.
  static std::string Sst(const std::vector<std::string>& strings, size_t limit = 8224, bool widenContinued = false) {
    std::vector<std::string> bodies(1);
    Put32(bodies[0], static_cast<uint32_t>(strings.size()));
    Put32(bodies[0], static_cast<uint32_t>(strings.size()));
    for (const std::string& s : strings) {
      if (bodies.back().size() + 4 > limit) bodies.emplace_back();
      Put16(bodies.back(), static_cast<uint16_t>(s.size()));
      bodies.back() += '\0';
      bool wide = false;
      for (size_t i = 0; i < s.size();) {
        size_t w = wide ? 2 : 1;
        if (bodies.back().size() + w > limit) {
          bodies.emplace_back();
          wide = widenContinued;
          bodies.back() += static_cast<char>(wide ? 1 : 0);
          continue;
        }
        bodies.back() += s[i];
        if (wide) bodies.back() += '\0';
        ++i;
      }
    }
    std::string out = Rec(0x00FC, bodies[0]);
    for (size_t i = 1; i < bodies.size(); ++i) out += Rec(0x003C, bodies[i]);
    return out;
  }

  // A cell format (XF record body): font, number format, the two border words and the fill
  // word as BIFF8 lays them out.
  static std::string Xf(uint16_t font, uint16_t fmt, uint32_t borders1, uint32_t borders2, uint16_t fill) {
    std::string x;
    Put16(x, font);
    Put16(x, fmt);
    Put16(x, 0x0001);
    x += static_cast<char>(0x20);
    x += std::string(3, '\0');
    Put32(x, borders1);
    Put32(x, borders2);
    Put16(x, fill);
    return x;
  }

  // A whole workbook stream: fonts, 16 formats (the 16th the default cell format, a 17th
  // bold one, then `extraXfs` from 17 on, and the records `afterXfs`), the sheets and the
  // shared strings.
  static std::string Workbook(const std::vector<Sheet>& sheets, const std::string& sst,
                              const std::vector<std::string>& extraXfs = {}, const std::string& afterXfs = "") {
    std::string g = Bof(0x0005);
    std::string cp;
    Put16(cp, 1200);
    g += Rec(0x0042, cp);
    for (int i = 0; i < 6; ++i) {
      std::string f;
      Put16(f, 200);                        // 10 pt
      Put16(f, 0);
      Put16(f, 0x7FFF);
      Put16(f, i == 5 ? 700 : 400);         // font index 6 (4 is never used) is bold
      Put16(f, 0);
      f += std::string(4, '\0');
      f += static_cast<char>(5);
      f += '\0';
      f += "Arial";
      g += Rec(0x0031, f);
    }
    for (int i = 0; i < 17; ++i) {
      std::string x;
      Put16(x, i == 16 ? 6 : 0);             // the bold font
      Put16(x, i == 16 ? 14 : 0);            // a date
      Put16(x, i < 15 ? 0xFFF5 : 0x0001);    // style formats, then cell formats
      x += static_cast<char>(0x20);
      x += std::string(3, '\0');
      Put32(x, 0);
      Put32(x, 0);
      Put16(x, 0x20C0);
      g += Rec(0x00E0, x);
    }
    for (const std::string& x : extraXfs) g += Rec(0x00E0, x);
    g += afterXfs;
    std::vector<size_t> patch;
    for (const Sheet& s : sheets) {
      std::string b;
      patch.push_back(g.size() + 4);
      Put32(b, 0);
      b += '\0';
      b += '\0';
      b += static_cast<char>(s.name.size());
      b += '\0';
      b += s.name;
      g += Rec(0x0085, b);
    }
    g += sst;
    g += Rec(0x000A, "");
    std::string stream = g;
    for (size_t i = 0; i < sheets.size(); ++i) {
      uint32_t at = static_cast<uint32_t>(stream.size());
      for (size_t k = 0; k < 4; ++k) stream[patch[i] + k] = static_cast<char>((at >> (8 * k)) & 0xFF);
      stream += Bof(0x0010);
      stream += sheets[i].cells;
      stream += Rec(0x000A, "");
    }
    return stream;
  }

  // The compound file around a workbook stream: 4096-byte sectors, one directory sector.
  static std::string CompoundFile(std::string stream, const std::string& streamName = "Workbook") {
    const size_t sec = 4096;
    if (stream.size() < 4096) stream.resize(4096, '\0');  // kept out of the mini stream
    size_t dataSectors = (stream.size() + sec - 1) / sec;
    size_t fatSectors = 1;
    while ((dataSectors + 1 + fatSectors) > fatSectors * (sec / 4)) ++fatSectors;
    if (fatSectors > 109) return {};
    const uint32_t end = 0xFFFFFFFE, fatMark = 0xFFFFFFFD, none = 0xFFFFFFFF;
    std::string h;
    h += "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    h += std::string(16, '\0');
    Put16(h, 0x003E);
    Put16(h, 4);
    Put16(h, 0xFFFE);
    Put16(h, 12);
    Put16(h, 6);
    h += std::string(6, '\0');
    Put32(h, 1);                                      // directory sectors
    Put32(h, static_cast<uint32_t>(fatSectors));
    Put32(h, static_cast<uint32_t>(dataSectors));     // first directory sector
    Put32(h, 0);
    Put32(h, 4096);
    Put32(h, end);
    Put32(h, 0);
    Put32(h, end);
    Put32(h, 0);
    for (size_t i = 0; i < 109; ++i) Put32(h, i < fatSectors ? static_cast<uint32_t>(dataSectors + 1 + i) : none);
    h.resize(sec, '\0');

    std::string body = stream;
    body.resize(dataSectors * sec, '\0');
    std::string dir;
    auto entry = [&](const std::string& name, uint8_t type, uint32_t child, uint32_t start, uint64_t size) {
      std::string e;
      for (char c : name) {
        e += c;
        e += '\0';
      }
      e.resize(64, '\0');
      Put16(e, static_cast<uint16_t>((name.size() + 1) * 2));
      e += static_cast<char>(type);
      e += static_cast<char>(1);
      Put32(e, none);
      Put32(e, none);
      Put32(e, child);
      e += std::string(16 + 4 + 16, '\0');
      Put32(e, start);
      Put32(e, static_cast<uint32_t>(size));
      Put32(e, static_cast<uint32_t>(size >> 32));
      dir += e;
    };
    entry("Root Entry", 5, 1, end, 0);
    entry(streamName, 2, none, 0, stream.size());
    dir.resize(sec, '\0');
    std::string fat;
    for (size_t i = 0; i < dataSectors; ++i) Put32(fat, i + 1 < dataSectors ? static_cast<uint32_t>(i + 1) : end);
    Put32(fat, end);  // the directory
    for (size_t i = 0; i < fatSectors; ++i) Put32(fat, fatMark);
    fat.resize(fatSectors * sec, '\xFF');
    return h + body + dir + fat;
  }

  static void Save(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
};

}  // namespace corvane::test
