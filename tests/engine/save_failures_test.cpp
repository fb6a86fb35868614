// A save that cannot finish (a full disk, a file size limit, a folder that cannot be written)
// fails with a description naming the file, leaves the file that was there as it was and
// leaves nothing of its own behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/core/error.h"
#include "engine/writing/xlsx_writer.h"
#include "tests/engine/test_support.h"
#include "tests/engine/xlsx_readback.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Numbers that hardly compress: a few megabytes once saved.
SheetData BigSheet() {
  test::SheetBuilder b;
  std::mt19937_64 rng(5);
  for (uint32_t r = 0; r < 20000; ++r)
    for (uint16_t c = 0; c < 10; ++c) b.number(r, c, static_cast<double>(rng() >> 11) / 3.0);
  return b.done();
}

const std::string kOld = "the workbook that was there";

void WriteOld(const fs::path& p) { std::ofstream(p, std::ios::binary) << kOld; }

// The save fails naming the file, the old file is untouched, and the folder holds nothing else.
void ExpectFailedSave(const fs::path& folder, const std::string& why) {
  static const std::vector<Style> kStyles{Style{}};
  static const SheetData kBig = BigSheet();
  fs::path target = folder / "out.xlsx";
  const std::string text = test::FailureOf<AutomationError>([&] { SaveXlsx(target.string(), {{"S", &kBig, &kStyles}}); });
  EXPECT_NE(text.find(target.string()), std::string::npos) << text;
  EXPECT_NE(text.find(why), std::string::npos) << text;
  EXPECT_EQ(test::ReadAll(target), kOld);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"out.xlsx"});
}

// A small file system of its own, mounted for the test (needs the rights to mount).
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& at, const char* options) : at_(at) {
    fs::create_directories(at);
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool makeReadOnly() {
    return ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  fs::path at_;
  bool mounted_ = false;
};

TEST(SaveFailures, AFullDiskLeavesTheOldFile) {
  test::TempDir dir;
  SmallDisk disk(dir / "disk", "size=512k");
  if (!disk.mounted()) GTEST_SKIP() << "no rights to mount a small file system here";
  WriteOld(dir / "disk" / "out.xlsx");
  ExpectFailedSave(dir / "disk", std::strerror(ENOSPC));
}

TEST(SaveFailures, AFolderThatCannotBeWrittenLeavesTheOldFile) {
  test::TempDir dir;
  SmallDisk disk(dir / "disk", "size=512k");
  if (!disk.mounted()) GTEST_SKIP() << "no rights to mount a small file system here";
  WriteOld(dir / "disk" / "out.xlsx");
  if (!disk.makeReadOnly()) GTEST_SKIP() << "the file system cannot be made read-only";
  ExpectFailedSave(dir / "disk", "out.xlsx");
}

// The same fault anywhere: a write refused part way (here by the file size limit).
TEST(SaveFailures, AWriteRefusedPartWayLeavesTheOldFile) {
  test::TempDir dir;
  WriteOld(dir / "out.xlsx");
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &before), 0);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ExpectFailedSave(dir.path(), std::strerror(EFBIG));
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &before, nullptr);
}

}  // namespace
}  // namespace corvane
