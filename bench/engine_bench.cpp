// Engine benchmark: listing sheets, reading cells, memory per cell, pasting and saving.
//
//   engine_bench [ROWS] [CORPUS]
//
// Writes a workbook of ROWS x 10 cells (numbers, strings, dates) with libxlsxwriter (the input
// stays the same whatever the engine's own writer does), then
// times the engine on it. With CORPUS, also lists the sheets of every workbook below it
// and reports the slowest.
#include <xlsxwriter.h>
#include <zip.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/automation/spreadsheet_automation.h"
#include "engine/automation/workbook_open.h"
#include "engine/merge/program_start.h"
#include "engine/xlsx/styles_reader.h"
#include "tests/engine/biff_writer.h"
#include "tests/engine/xlsb_writer.h"

using namespace corvane;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

static double MegabytesOf(const std::filesystem::path& file) {
  return static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}

static double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// An .xls of one sheet, as many rows as the format allows (65,536) by 20 columns: whole
// numbers (RK), decimals, shared strings and dates.
static size_t MakeXls(const std::string& path) {
  using W = corvane::test::BiffWriter;
  std::vector<std::string> strings;
  for (int i = 0; i < 5000; ++i) strings.push_back("item " + std::to_string(i));
  std::string cells;
  size_t n = 0;
  for (int r = 0; r < 65536; ++r) {
    for (int c = 0; c < 20; ++c, ++n) {
      auto row = static_cast<uint16_t>(r), col = static_cast<uint16_t>(c);
      if (c % 5 == 1) cells += W::LabelSst(row, col, static_cast<uint32_t>((r * 7 + c) % 5000));
      else if (c % 5 == 2) cells += W::Number(row, col, 40000 + r % 3000, 16);
      else if (c % 5 == 3) cells += W::RkInt(row, col, r + c);
      else cells += W::Number(row, col, r * 1.25 + c);
    }
  }
  W::Save(path, W::CompoundFile(W::Workbook({{"Data", cells}}, W::Sst(strings))));
  return n;
}

static void MakeWorkbook(const std::string& path, int rows, int sheets) {
  lxw_workbook_options opt = {};
  opt.constant_memory = LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(path.c_str(), &opt);
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* head = workbook_add_format(wb);
  format_set_bold(head);
  format_set_bg_color(head, 0xDDEEFF);
  for (int s = 0; s < sheets; ++s) {
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    for (lxw_col_t c = 0; c < 10; ++c) worksheet_write_string(ws, 0, c, ("Column " + std::to_string(c)).c_str(), head);
    char buf[32];
    for (lxw_row_t r = 1; r < static_cast<lxw_row_t>(rows); ++r) {
      for (lxw_col_t c = 0; c < 10; ++c) {
        if (c % 5 == 1) {
          snprintf(buf, sizeof buf, "item %u", (r * 7 + c) % 5000);
          worksheet_write_string(ws, r, c, buf, nullptr);
        } else if (c % 5 == 2) {
          worksheet_write_number(ws, r, c, 40000 + r % 3000, date);
        } else {
          worksheet_write_number(ws, r, c, r * 1.25 + c, nullptr);
        }
      }
    }
  }
  workbook_close(wb);
}

// The same table as an .xlsb: shared strings, RK and real numbers, written record by record.
static void MakeXlsb(const std::string& path, int rows, int sheets) {
  namespace xb = corvane::test::xlsb;
  xb::Book book;
  for (int i = 0; i < 5000; ++i) book.sst.push_back("item " + std::to_string(i));
  for (int c = 0; c < 10; ++c) book.sst.push_back("Column " + std::to_string(c));
  for (int s = 0; s < sheets; ++s) {
    std::string d = xb::RowHdr(0);
    for (uint32_t c = 0; c < 10; ++c) d += xb::Isst(c, 5000 + c);
    for (int r = 1; r < rows; ++r) {
      d += xb::RowHdr(static_cast<uint32_t>(r));
      for (uint32_t c = 0; c < 10; ++c) {
        if (c % 5 == 1) d += xb::Isst(c, static_cast<uint32_t>((r * 7 + static_cast<int>(c)) % 5000));
        else if (c % 5 == 2) d += xb::Rk(c, static_cast<uint32_t>(40000 + r % 3000) << 2 | 2);
        else d += xb::Real(c, r * 1.25 + c);
      }
    }
    book.sheets.push_back({"Sheet" + std::to_string(s + 1), d, "", 0, ""});
  }
  auto parts = xb::Parts(book);
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  for (auto& [name, body] : parts)
    zip_file_add(z, name.c_str(), zip_source_buffer(z, body.data(), body.size(), 0), ZIP_FL_OVERWRITE);
  zip_close(z);
}

// The same mix as MakeWorkbook, as an OpenDocument spreadsheet: content.xml is written to a
// file first (it runs to hundreds of megabytes) and zipped with libzip.
static void MakeOds(const std::string& path, int rows, int sheets) {
  std::string xmlPath = path + ".content.xml";
  {
    std::ofstream out(xmlPath, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
           "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
           "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" office:version=\"1.3\">"
           "<office:automatic-styles><number:date-style style:name=\"N1\"><number:year number:style=\"long\"/>"
           "<number:text>-</number:text><number:month number:style=\"long\"/><number:text>-</number:text>"
           "<number:day number:style=\"long\"/></number:date-style>"
           "<style:style style:name=\"ce1\" style:family=\"table-cell\" style:parent-style-name=\"Default\">"
           "<style:table-cell-properties fo:background-color=\"#ddeeff\"/><style:text-properties fo:font-weight=\"bold\"/>"
           "</style:style><style:style style:name=\"ce2\" style:family=\"table-cell\" style:parent-style-name=\"Default\" "
           "style:data-style-name=\"N1\"/></office:automatic-styles><office:body><office:spreadsheet>";
    std::string row;
    char buf[64];
    for (int s = 0; s < sheets; ++s) {
      out << "<table:table table:name=\"Sheet" << s + 1 << "\"><table:table-column table:number-columns-repeated=\"10\"/>";
      out << "<table:table-row>";
      for (int c = 0; c < 10; ++c)
        out << "<table:table-cell table:style-name=\"ce1\" office:value-type=\"string\" calcext:value-type=\"string\">"
               "<text:p>Column " << c << "</text:p></table:table-cell>";
      out << "</table:table-row>";
      for (int r = 1; r < rows; ++r) {
        row = "<table:table-row>";
        for (int c = 0; c < 10; ++c) {
          if (c % 5 == 1) {
            snprintf(buf, sizeof buf, "item %u", (r * 7 + c) % 5000);
            row += "<table:table-cell office:value-type=\"string\" calcext:value-type=\"string\"><text:p>";
            row += buf;
            row += "</text:p></table:table-cell>";
          } else if (c % 5 == 2) {
            int day = 1 + r % 28, month = 1 + r % 12, year = 2000 + r % 20;
            snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
            row += "<table:table-cell table:style-name=\"ce2\" office:value-type=\"date\" office:date-value=\"";
            row += buf;
            row += "\" calcext:value-type=\"date\"><text:p>";
            row += buf;
            row += "</text:p></table:table-cell>";
          } else {
            snprintf(buf, sizeof buf, "%g", r * 1.25 + c);
            row += "<table:table-cell office:value-type=\"float\" office:value=\"";
            row += buf;
            row += "\" calcext:value-type=\"float\"><text:p>";
            row += buf;
            row += "</text:p></table:table-cell>";
          }
        }
        row += "</table:table-row>";
        out << row;
      }
      out << "<table:table-row table:number-rows-repeated=\"" << 1048576 - rows
          << "\"><table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row></table:table>";
    }
    out << "</office:spreadsheet></office:body></office:document-content>";
  }
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  static const char kMime[] = "application/vnd.oasis.opendocument.spreadsheet";
  zip_file_add(z, "mimetype", zip_source_buffer(z, kMime, sizeof kMime - 1, 0), ZIP_FL_OVERWRITE);
  zip_file_add(z, "content.xml", zip_source_file(z, xmlPath.c_str(), 0, -1), ZIP_FL_OVERWRITE);
  zip_close(z);
  std::filesystem::remove(xmlPath);
}

int main(int argc, char** argv) {
  corvane::StartEngine();
  int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
  auto dir = std::filesystem::temp_directory_path() / "corvane-bench";
  std::filesystem::create_directories(dir);
  std::string big = (dir / "big.xlsx").string();
  MakeWorkbook(big, rows, 1);
  std::string many = (dir / "many.xlsx").string();
  MakeWorkbook(many, rows / 20, 20);
  printf("input: %d rows x 10 columns (%.1f MB on disk)\n", rows, MegabytesOf(big));

  // Listing sheets reads the workbook part only.
  {
    auto t = Clock::now();
    auto app = Application::Create();
    Workbook& wb = app->Workbooks().Open(many);
    int n = wb.Worksheets().Count();
    wb.Close();
    app->Quit();
    printf("list sheets: %d sheets in %.2f ms\n", n, Seconds(t) * 1e3);
  }

  auto app = Application::Create();
  Workbook& wb = app->Workbooks().Open(big);
  Worksheet& ws = wb.Worksheets()(1);
  auto t = Clock::now();
  const SheetData& d = ws.data();
  double read = Seconds(t);
  double cells = static_cast<double>(d.cells.size());
  printf("read: %.0f cells in %.3f s = %.2f M cells/s\n", cells, read, cells / read / 1e6);
  printf("memory: %.1f bytes per cell (%.1f MB for the sheet)\n", static_cast<double>(d.memoryBytes()) / cells, static_cast<double>(d.memoryBytes()) / 1e6);

  {
    // The same cells as an OpenDocument spreadsheet.
    std::string bigOds = (dir / "big.ods").string();
    MakeOds(bigOds, rows, 1);
    std::string manyOds = (dir / "many.ods").string();
    MakeOds(manyOds, rows / 20, 20);
    auto t0 = Clock::now();
    auto a = Application::Create();
    Workbook& b = a->Workbooks().Open(manyOds);
    int n = b.Worksheets().Count();
    printf("ods list sheets: %d sheets in %.2f ms (%.1f MB on disk)\n", n, Seconds(t0) * 1e3,
           MegabytesOf(manyOds));
    // Each sheet skips the tables before it unread.
    t0 = Clock::now();
    size_t all = 0;
    for (int i = 1; i <= n; ++i) all += b.Worksheets()(i).data().cells.size();
    double allS = Seconds(t0);
    printf("ods read every sheet: %zu cells in %.3f s = %.2f M cells/s\n", all, allS, static_cast<double>(all) / allS / 1e6);
    t0 = Clock::now();
    Workbook& big1 = a->Workbooks().Open(bigOds);
    printf("ods list sheets: 1 sheet in %.2f ms (%.1f MB on disk)\n", Seconds(t0) * 1e3,
           MegabytesOf(bigOds));
    t0 = Clock::now();
    const SheetData& od = big1.Worksheets()(1).data();
    double s = Seconds(t0);
    double n2 = static_cast<double>(od.cells.size());
    printf("ods read: %.0f cells in %.3f s = %.2f M cells/s\n", n2, s, n2 / s / 1e6);
    a->Quit();
  }

  Workbook& out = app->Workbooks().Add();
  for (int k = out.Sheets().Count(); k >= 2; --k) out.Sheets()(k).Delete();
  Range used = ws.UsedRange();
  t = Clock::now();
  ws.Range(used.Cells(1, 1).Address(), used.Cells(used.Rows().Count(), used.Columns().Count()).Address()).Copy();
  out.Worksheets()(1).Cells(1, 1).PasteSpecial();
  double paste = Seconds(t);
  printf("paste: %.3f s = %.2f M cells/s\n", paste, cells / paste / 1e6);

  // The save runs on every core: its processor time, beside the wall time, shows how much of
  // a slow run was the machine being busy with other work.
  t = Clock::now();
  double cpu0 = ProcessCpuSeconds();
  out.SaveAs((dir / "out.xlsx").string());
  double save = Seconds(t), saveCpu = ProcessCpuSeconds() - cpu0;
  printf("save: %.3f s = %.2f M cells/s (%.3f s of processor time, %.1f MB on disk)\n", save,
         cells / save / 1e6, saveCpu, MegabytesOf(dir / "out.xlsx"));
  app->Quit();

  // The same for an .xlsb.
  {
    std::string bigb = (dir / "big.xlsb").string();
    std::string manyb = (dir / "many.xlsb").string();
    MakeXlsb(bigb, rows, 1);
    MakeXlsb(manyb, rows / 20, 20);
    auto t0 = Clock::now();
    auto lister = OpenWorkbookFile(manyb);
    printf("xlsb list sheets: %zu sheets in %.2f ms\n", lister->sheets().size(), Seconds(t0) * 1e3);
    auto reader = OpenWorkbookFile(bigb);
    reader->styles();
    t0 = Clock::now();
    auto sheet = reader->loadSheet(0);
    double secs = Seconds(t0);
    double n = static_cast<double>(sheet->cells.size());
    printf("xlsb read: %.0f cells in %.3f s = %.2f M cells/s (%.1f MB on disk)\n", n, secs, n / secs / 1e6,
           MegabytesOf(bigb));
  }

  // The .xls reader: the same kinds of cells from a BIFF8 workbook.
  {
    std::string xls = (dir / "big.xls").string();
    MakeXls(xls);
    auto t0 = Clock::now();
    auto reader = OpenWorkbookFile(xls);
    double list = Seconds(t0);
    t0 = Clock::now();
    auto sheet = reader->loadSheet(0);
    double secs = Seconds(t0);
    double n = static_cast<double>(sheet->cells.size());
    printf("xls: list sheets %.2f ms; read %.0f cells in %.3f s = %.2f M cells/s (%.1f MB on disk)\n", list * 1e3, n,
           secs, n / secs / 1e6, MegabytesOf(xls));
  }

  {
    // A styles part with many formats, as some generated workbooks carry: 60,000 cell formats
    // over 500 fonts.
    constexpr int kXfs = 60000;
    std::string fonts, xfs;
    for (int i = 0; i < 500; ++i)
      fonts += "<font><sz val=\"" + std::to_string(8 + i % 20) + "\"/><color theme=\"" + std::to_string(i % 12) +
               "\" tint=\"0.25\"/><name val=\"Font" + std::to_string(i) + "\"/></font>";
    for (int i = 0; i < kXfs; ++i)
      xfs += "<xf numFmtId=\"" + std::to_string(i % 50) + "\" fontId=\"" + std::to_string(i % 500) +
             "\" fillId=\"0\" borderId=\"0\" applyFont=\"1\"><alignment indent=\"" + std::to_string(i % 10) +
             "\"/></xf>";
    std::string xml = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><fonts>" +
                      fonts + "</fonts><cellXfs>" + xfs + "</cellXfs></styleSheet>";
    auto t0 = Clock::now();
    size_t n = ReadStyles(xml, "").size();
    printf("styles: %zu cell formats read in %.1f ms\n", n, Seconds(t0) * 1e3);
  }

  if (argc > 2) {
    double worst = 0, worstXls = 0;
    std::string worstName, worstXlsName;
    int files = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(argv[2])) {
      if (!e.is_regular_file()) continue;
      auto t0 = Clock::now();
      try {
        auto a = Application::Create();
        Workbook& b = a->Workbooks().Open(e.path().string());
        b.Worksheets().Count();
        a->Quit();
      } catch (const AutomationError&) {
        continue;
      }
      double s = Seconds(t0);
      ++files;
      if (s > worst) {
        worst = s;
        worstName = e.path().filename().string();
      }
      std::string ext = e.path().extension().string();
      if ((ext == ".xls" || ext == ".XLS") && s > worstXls) {
        worstXls = s;
        worstXlsName = e.path().filename().string();
      }
    }
    printf("list sheets of %d corpus workbooks: slowest %.2f ms (%s); slowest .xls %.2f ms (%s)\n", files, worst * 1e3,
           worstName.c_str(), worstXls * 1e3, worstXlsName.c_str());
  }
  return 0;
}
