// The zip writer and the parallel deflate: archives read back whole by libzip (which checks
// every CRC) and by Python's zipfile.
#include "engine/writing/zip_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/containers/zip_package.h"
#include "engine/writing/parallel_deflate.h"
#include "engine/writing/xml_out.h"
#include "tests/engine/test_support.h"

namespace corvane {
namespace {

// Text with runs a deflater finds, and enough noise that it is not one long repeat.
std::string SampleText(size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < bytes) {
    s += "<row r=\"" + std::to_string(rng() % 100000) + "\"><c r=\"B2\" t=\"s\"><v>";
    s += std::to_string(rng());
    s += "</v></c></row>";
  }
  s.resize(bytes);
  return s;
}

class ZipWriterTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir_ / name).string(); }

  // Every entry is read back as it was given and Python agrees the archive is sound.
  void expectArchive(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries) {
    ZipPackage pkg(file, file);
    for (const auto& [name, text] : entries) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(pkg.has(name));
      EXPECT_EQ(pkg.read(name, 1u << 30), text);
    }
    int status = 0;
    std::string out = test::Run(std::string(test::Python()) +
                                    " -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                                    "print(z.testzip(), len(z.namelist()))' " +
                                    test::ShellQuote(file),
                                status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "None " + std::to_string(entries.size()) + "\n");
  }

  test::TempDir dir_;
};

// Chunks deflated apart, each primed with the text before it, join into one stream: for
// every number of threads, for texts shorter than a chunk, of many chunks, and empty.
TEST_F(ZipWriterTest, ChunksDeflatedInParallelJoinIntoOneStream) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"big.xml", SampleText(5 * DeflatedEntry::kChunk + 12345, 1)},
      {"small.xml", SampleText(1000, 2)},
      {"empty.xml", ""},
      {"exact.xml", SampleText(2 * DeflatedEntry::kChunk, 3)},
  };
  for (unsigned workers : {0u, 1u, 3u}) {
    SCOPED_TRACE(workers);
    std::string file = path("parallel" + std::to_string(workers) + ".zip");
    {
      OutputFile out(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
      ZipWriter zip(out);
      DeflatePool pool(2, workers);
      for (const auto& [name, text] : entries) {
        DeflatedEntry entry(pool, zip, name, false);
        // Handed over in pieces of odd sizes, as the sheet writer does.
        for (size_t at = 0; at < text.size(); at += 777) {
          entry.out().append(std::string_view(text).substr(at, 777));
          entry.flushIfFull();
        }
        entry.finish();
      }
      zip.add("whole.txt", "deflated at once", 6);
      zip.finish();
      out.finish();
    }
    auto all = entries;
    all.emplace_back("whole.txt", "deflated at once");
    expectArchive(file, all);
  }
}

// An entry begun with Zip64 sizes (as one that may pass 4 GiB is) reads back everywhere.
TEST_F(ZipWriterTest, Zip64EntriesReadBack) {
  std::string file = path("zip64.zip");
  std::string text = SampleText(300000, 4);
  {
    OutputFile out(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    ZipWriter zip(out);
    DeflatePool pool(2, 1);
    DeflatedEntry entry(pool, zip, "large.xml", true);
    entry.out().append(text);
    entry.finish();
    zip.add("after.txt", "after", 2);
    zip.finish();
    out.finish();
  }
  expectArchive(file, {{"large.xml", text}, {"after.txt", "after"}});
}

}  // namespace
}  // namespace corvane
