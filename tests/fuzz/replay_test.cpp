// Replays a fuzz harness over its seed corpus and over every input that ever
// made it fail (kept as regression files): each input must go through the
// harness's entry function, which in the sanitizer build also means without
// any memory or undefined-behaviour finding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs_in(const fs::path &dir) {
  std::vector<fs::path> files;
  if (fs::is_directory(dir))
    for (const auto &e : fs::directory_iterator(dir))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

void replay(const std::vector<fs::path> &files) {
  for (const fs::path &p : files) {
    SCOPED_TRACE(p.string());
    std::ifstream in(p, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << p;
    // Sized exactly, so that a read past the input is caught in the sanitizer build.
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
  }
}

const fs::path ROOT = FUZZ_DIR;

TEST(FUZZ_TEST_NAME, SeedCorpus) {
  const auto files = inputs_in(ROOT / "corpus" / FUZZ_HARNESS);
  ASSERT_FALSE(files.empty()) << "no seeds in " << (ROOT / "corpus" / FUZZ_HARNESS);
  replay(files);
}

TEST(FUZZ_TEST_NAME, Regressions) { replay(inputs_in(ROOT / "regressions" / FUZZ_HARNESS)); }

} // namespace
