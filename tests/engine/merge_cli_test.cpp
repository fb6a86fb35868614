// corvane-merge as a script would use it.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include "engine/core/error.h"
#include "engine/writing/zip_writer.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

using test::ShellQuote;

struct MergeCli : ::testing::Test {
  test::TempDir tmp;
  int status = 0;
  std::string run(const std::string& args) { return test::Run(std::string(CORVANE_MERGE_BIN) + " " + args, status); }
  std::string book(const std::string& name, const std::vector<std::pair<std::string, std::string>>& sheets) {
    auto p = (tmp / name).string();
    test::WriteWorkbook(p, sheets);
    return p;
  }
  static std::string One(int v) {
    return "<sheetData><row r=\"1\"><c r=\"A1\"><v>" + std::to_string(v) + "</v></c></row></sheetData>";
  }
  std::string cells(const std::string& path) {
    int st = 0;
    std::string out = test::RunScript("cells.py", {path}, st);
    EXPECT_EQ(st, 0) << out;
    return out;
  }
};

TEST_F(MergeCli, MergesEntriesInOrderAndSaves) {
  std::string a = book("a.xlsx", {{"One", One(1)}, {"Two", One(2)}});
  std::string b = book("b.xlsm", {{"Three", One(3)}});
  std::string out = (tmp / "out.xlsx").string();
  std::string text = run("--gap 1 --output " + ShellQuote(out) + " " + ShellQuote(b) + " " + ShellQuote(a + "::Two") + " " +
                         ShellQuote((tmp / "missing.xlsx").string()) + " " + ShellQuote(a));
  ASSERT_EQ(status, 0) << text;
  EXPECT_EQ(cells(out), "A1\t3\nA3\t2\nA5\t1\nA7\t2\n");
}

TEST_F(MergeCli, FolderEntryTakesEveryWorkbookTheScanFinds) {
  std::filesystem::create_directory(tmp / "in");
  test::WriteWorkbook(tmp / "in" / "b.XLSX", {{"S", One(2)}});
  test::WriteWorkbook(tmp / "in" / "a.xlsx", {{"S", One(1)}});
  test::WriteWorkbook(tmp / "in" / "notes.txt", {{"S", One(9)}});
  test::WriteWorkbook(tmp / "in" / ".hidden.xlsx", {{"S", One(9)}});
  std::string out = (tmp / "out.xlsx").string();
  std::string text = run("--horizontal -o " + ShellQuote(out) + " " + ShellQuote((tmp / "in").string()));
  ASSERT_EQ(status, 0) << text;
  EXPECT_EQ(cells(out), "A1\t1\nB1\t2\n");
}

TEST_F(MergeCli, ListsWorksheetNames) {
  std::string a = book("a.xlsx", {{"Zeta", One(1)}, {"1", One(2)}, {"Alpha", One(3)}});
  EXPECT_EQ(run("--sheets " + ShellQuote(a)), "Zeta\n1\nAlpha\n");
  EXPECT_EQ(status, 0);
  run("--sheets " + ShellQuote((tmp / "none.xlsx").string()));
  EXPECT_EQ(status, 1);
}

TEST_F(MergeCli, FailureExitsOneWithTheDescription) {
  std::string a = book("a.xlsx", {{"One", One(1)}});
  std::string out = (tmp / "out.xlsx").string();
  std::string text = run("-o " + ShellQuote(out) + " " + ShellQuote(a + "::Nope"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(text.find("has no worksheet named \"Nope\""), std::string::npos) << text;
  EXPECT_NE(text.find("Merge Failed!"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(out));
  // Horizontal failures are described on the command line too.
  text = run("--horizontal -o " + ShellQuote(out) + " " + ShellQuote(a + "::Nope"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(text.find("has no worksheet named"), std::string::npos) << text;
}

// Workbooks of a few megabytes that inflate to 270 MB, one cell written over and over and
// deflated at zlib's fastest, the weakest a zip bomb comes: one sheet that large, three sheets
// of 10, 10 and 250 MB, and a sheet that says it holds 1,000 bytes. Refused before the large
// sheet is read, named, exit 1.
TEST_F(MergeCli, RefusesZipBombs) {
  struct Case {
    std::vector<int> megabytes;  // of each sheet
    bool lies;                   // the directory gives the sheet a size of 1,000 bytes
    const char* expected;        // after the package's name
  };
  const std::string part = " is damaged: its part xl/worksheets/sheet";
  for (const Case& c : {Case{{270}, false, "1.xml inflates to more than 100 times its stored size"},
                        Case{{10, 10, 250}, false, "3.xml brings what the package inflates to more than 100 times"},
                        Case{{270}, true, "1.xml holds more than the package says it does"}}) {
    SCOPED_TRACE(c.megabytes.size());
    std::vector<std::pair<std::string, std::string>> sheets;
    for (size_t i = 0; i < c.megabytes.size(); ++i) sheets.emplace_back("S" + std::to_string(i), One(1));
    auto parts = test::ReadZip(book("plain.xlsx", sheets));
    std::string bomb = (tmp / "bomb.xlsx").string();
    OutputFile file(::open(bomb.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    ZipWriter zip(file);
    std::string rows;
    while (rows.size() < (1u << 20)) rows += "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>";
    std::string out(1 << 16, '\0');
    for (const auto& [name, body] : parts) {
      if (name.find("worksheets/") == std::string::npos) {
        zip.add(name, body, 6);
        continue;
      }
      zip.begin(name, false);
      z_stream z{};
      ASSERT_EQ(deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
      uLong crc = crc32(0, nullptr, 0);
      uint64_t raw = 0;
      auto feed = [&](const std::string& text, int flush) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
        raw += text.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z.avail_in = static_cast<uInt>(text.size());
        do {
          z.next_out = reinterpret_cast<Bytef*>(out.data());
          z.avail_out = static_cast<uInt>(out.size());
          deflate(&z, flush);
          zip.data(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0);
      };
      feed(body.substr(0, body.find("<sheetData>") + 11), Z_NO_FLUSH);
      int megabytes = c.megabytes[std::stoul(name.substr(name.rfind("sheet") + 5)) - 1];
      for (int i = 0; i < megabytes; ++i) feed(rows, Z_NO_FLUSH);
      feed("</sheetData></worksheet>", Z_FINISH);
      deflateEnd(&z);
      zip.end(static_cast<uint32_t>(crc), c.lies ? 1000 : raw);
    }
    zip.finish();
    file.finish();
    ASSERT_LT(std::filesystem::file_size(bomb), 3u << 20);
    std::string merged = (tmp / "out.xlsx").string();
    std::string text = run("-o " + ShellQuote(merged) + " " + ShellQuote(bomb));
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find(Quoted(bomb) + part + c.expected), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(merged));
  }
}

TEST_F(MergeCli, UsageErrorsExitTwo) {
  std::string a = book("a.xlsx", {{"One", One(1)}});
  std::string before = test::ReadAll(a);
  for (const std::string& args : std::vector<std::string>{"", "--output", ShellQuote(a), "--bogus -o x.xlsx " + ShellQuote(a),
                           "-o " + ShellQuote(a) + " " + ShellQuote(a), "--gap 99999999999 -o x.xlsx " + ShellQuote(a)}) {
    std::string text = run(args);
    EXPECT_EQ(status, 2) << args << "\n" << text;
  }
  EXPECT_EQ(test::ReadAll(a), before);  // never overwritten, not even when named as the output
}

TEST_F(MergeCli, MergeOptionsOnTheCommandLine) {
  auto sheet = [](const std::string& h1, const std::string& h2, int v) {
    return "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + h1 + "</t></is></c><c r=\"B1\" t=\"inlineStr\"><is><t>" +
           h2 + "</t></is></c></row><row r=\"2\"><c r=\"A2\"><v>" + std::to_string(v) + "</v></c><c r=\"B2\"><v>" +
           std::to_string(v + 1) + "</v></c></row></sheetData>";
  };
  std::string a = book("a.xlsx", {{"Data", sheet("Id", "Qty", 1)}});
  std::string b = book("b.xlsx", {{"Data", sheet("qty", "ID", 10)}});
  std::string out = (tmp / "out.xlsx").string();
  std::string text = run("--header-rows 1 --match-headers --source-column -o " + ShellQuote(out) + " " + ShellQuote(a) + " " +
                         ShellQuote(b));
  ASSERT_EQ(status, 0) << text;
  EXPECT_EQ(cells(out), "A1\tSource\nB1\tId\nC1\tQty\nA2\ta.xlsx / Data\nB2\t1\nC2\t2\nA3\tb.xlsx / Data\nB3\t11\nC3\t10\n");

  text = run("--sheet-per-entry --no-widths -o " + ShellQuote(out) + " " + ShellQuote(a) + " " + ShellQuote(b));
  ASSERT_EQ(status, 0) << text;
  int st = 0;
  EXPECT_EQ(test::Run(std::string(test::Python()) + " -c " +
                          ShellQuote("import openpyxl,sys; print('|'.join(openpyxl.load_workbook(sys.argv[1]).sheetnames))") + " " +
                          ShellQuote(out),
                      st),
            "Data|Data (2)\n");
}

TEST_F(MergeCli, OptionsThatCannotBeUsedExitTwo) {
  std::string a = book("a.xlsx", {{"One", One(1)}});
  const std::string rest = " -o " + ShellQuote((tmp / "x.xlsx").string()) + " " + ShellQuote(a);
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"--header-rows two", "--header-rows takes a whole number"},
      {"--header-rows -1", "--header-rows takes a whole number"},
      {"--header-rows 1.5", "--header-rows takes a whole number"},
      {"--header-rows 9999999", "--header-rows takes a whole number"},
      {"--match-headers", "needs --header-rows"},
      {"--header-rows 1 --match-headers --horizontal", "not with --horizontal"},
      {"--source-column --horizontal", "not with --horizontal"},
      {"--sheet-per-entry --horizontal", "--horizontal does not apply"},
      {"--sheet-per-entry --gap 2", "--gap does not apply"},
      {"--sheet-per-entry --source-column", "do not apply"},
  };
  for (const Case& c : cases) {
    std::string text = run(std::string(c.args) + rest);
    EXPECT_EQ(status, 2) << c.args << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.args << "\n" << text;
  }
  EXPECT_FALSE(std::filesystem::exists(tmp / "x.xlsx"));
}

TEST_F(MergeCli, VersionAndHelpGoToStandardOutput) {
  EXPECT_EQ(run("--version"), "corvane-merge " CORVANE_VERSION "\n");
  EXPECT_EQ(status, 0);
  for (const char* help : {"--help", "-h"}) {
    std::string text = run(help);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text.rfind("usage: corvane-merge", 0), 0u) << text;
    for (const char* option : {"--horizontal", "--gap", "--output", "--sheets", "--version", "--header-rows", "--match-headers",
                               "--source-column", "--sheet-per-entry", "--no-widths", "Exit status"})
      EXPECT_NE(text.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace corvane
