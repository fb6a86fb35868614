// Runs a fuzzing harness over inputs without libFuzzer: every file named, and every file in
// each folder named, goes once through LLVMFuzzerTestOneInput. The test build links each
// harness with this, so the seeds and the kept findings are replayed under its sanitizers by
// the compiler the tests use, without a fuzzing build.
//   <harness>_replay PATH...
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& file, size_t& runs) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    std::exit(2);
  }
  // A copy of its own, exactly as long as the input, so that a read past its end is caught.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  static const uint8_t kNothing = 0;  // as libFuzzer, never a null pointer
  LLVMFuzzerTestOneInput(data.empty() ? &kNothing : data.data(), data.size());
  ++runs;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      std::vector<std::filesystem::path> files;
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) RunFile(f, runs);
    } else if (std::filesystem::is_regular_file(p)) {
      RunFile(p, runs);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 2;
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return 0;
}
