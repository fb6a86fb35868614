// ISO 8601 dates and times as serial numbers, and .xlsx date cells that hold them.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/core/iso_date.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

constexpr double kNone = -1;

TEST(IsoDate, DatesTimesAndTheirForms) {
  const double t1030 = 10.5 / 24;
  struct Case {
    const char* text;
    double serial1900, serial1904;  // kNone: not read
  };
  const Case cases[] = {
      {"2024-02-29", 45351, 45351 - 1462},
      {"2024-02-29T12:00:00", 45351.5, 45351.5 - 1462},
      {"2024-02-29 12:00", 45351.5, 45351.5 - 1462},
      {"20240229T120000", 45351.5, 45351.5 - 1462},
      {"2024-02-29T12:00:00Z", 45351.5, 45351.5 - 1462},
      {"2024-02-29T12:00:00+05:30", 45351.5, 45351.5 - 1462},
      {"2024-02-29T12:00:00-0800", 45351.5, 45351.5 - 1462},
      {"2024-02-29T12:00:00.5", 45351.5 + 0.5 / 86400, 45351.5 + 0.5 / 86400 - 1462},
      {"2024-02-29T12:00:00,25", 45351.5 + 0.25 / 86400, 45351.5 + 0.25 / 86400 - 1462},
      {"2024-02-29T24:00", 45352, 45352 - 1462},
      {" 2024-02-29 ", 45351, 45351 - 1462},
      {"T10:30:00", t1030, t1030},
      {"T10:30", t1030, t1030},
      {"T1030", t1030, t1030},
      {"T10,5", t1030, t1030},
      {"10:30:00", t1030, t1030},
      {"10:30", t1030, t1030},
      {"10:30:00.000Z", t1030, t1030},
      {"1899-12-30T10:30:00", t1030, kNone},  // other programs' day 0
      {"1899-12-31T10:30:00", t1030, kNone},  // the spreadsheet's own "1900-01-00"
      {"1900-01-01", 1, kNone},
      {"1900-02-28", 59, kNone},
      {"1900-03-01", 61, kNone},
      {"1904-01-01T10:30:00", 1462 + t1030, t1030},
      {"1899-12-29", kNone, kNone},
      {"1066-10-14", kNone, kNone},
      {"2023-02-29", kNone, kNone},
      {"2024-13-01", kNone, kNone},
      {"2024-02-29T25:00", kNone, kNone},
      {"2024-02-29T24:30", kNone, kNone},
      {"2024-02-29T12:60", kNone, kNone},
      {"2024-02-29T", kNone, kNone},
      {"2024-02-2", kNone, kNone},
      {"10", kNone, kNone},
      {"1030", kNone, kNone},
      {"T", kNone, kNone},
      {"", kNone, kNone},
      {"yesterday", kNone, kNone},
      {"2024-02-29T12:00:00+5", kNone, kNone},
  };
  for (const Case& c : cases)
    for (bool date1904 : {false, true}) {
      double expected = date1904 ? c.serial1904 : c.serial1900;
      double got = kNone;
      bool ok = IsoDateToSerial(c.text, date1904, got);
      EXPECT_EQ(ok, expected != kNone) << c.text << (date1904 ? " (1904)" : "");
      if (ok && expected != kNone) {
        EXPECT_NEAR(got, expected, 1e-9) << c.text << (date1904 ? " (1904)" : "");
      }
    }
}

// One unreadable date cell costs neither the sheet nor its neighbours: it keeps its text.
TEST(IsoDate, XlsxDateCellsOfEveryFormAndTheirText) {
  test::TempDir tmp;
  const char* values[] = {"T10:30:00", "10:30:00", "2024-02-29T12:00:00.250Z", "1600-01-01", "not a date", "2024-02-29"};
  std::string row = "<row r=\"1\">";
  for (size_t i = 0; i < std::size(values); ++i)
    row += "<c r=\"" + std::string(1, static_cast<char>('A' + i)) + "1\" t=\"d\"><v>" + values[i] + "</v></c>";
  row += "<c r=\"G1\" t=\"d\"><f>A1+1</f><v>no date</v></c></row>";
  test::WriteWorkbook(tmp / "d.xlsx", {{"S", "<sheetData>" + row + "</sheetData>"}});
  auto d = OpenWorkbookFile((tmp / "d.xlsx").string())->loadSheet(0);
  ASSERT_EQ(d->cells.size(), 7u);
  EXPECT_DOUBLE_EQ(d->find(0, 0)->num, 10.5 / 24);
  EXPECT_DOUBLE_EQ(d->find(0, 1)->num, 10.5 / 24);
  EXPECT_NEAR(d->find(0, 2)->num, 45351.5 + 0.25 / 86400, 1e-9);
  for (int col : {3, 4}) {
    ASSERT_EQ(d->find(0, col)->type, CellType::String);
    EXPECT_EQ(d->str(*d->find(0, col)), values[col]);
  }
  EXPECT_EQ(d->find(0, 5)->num, 45351);
  const Cell* g = d->find(0, 6);
  ASSERT_EQ(g->type, CellType::Formula);
  EXPECT_EQ(g->sub, static_cast<uint8_t>(CachedKind::String));
  EXPECT_EQ(d->formulas[g->aux].cachedString, "no date");
}

// Where a cell cannot be kept at all, the description says which one.
TEST(IsoDate, UnreadableNumberCellsNameTheirAddress) {
  test::TempDir tmp;
  test::WriteWorkbook(tmp / "n.xlsx", {{"S", "<sheetData><row r=\"3\"><c r=\"C3\"><v>n/a</v></c></row></sheetData>"}});
  const std::string d = test::FailureOf<AutomationError>([&] { OpenWorkbookFile((tmp / "n.xlsx").string())->loadSheet(0); });
  EXPECT_NE(d.find("cell C3 is a number cell holding \"n/a\""), std::string::npos) << d;
}

}  // namespace
}  // namespace corvane
