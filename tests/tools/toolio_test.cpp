// Output runs: records copied by the system from an input file, with their
// changed bytes written over the copy, between bytes written from memory;
// and the same through a buffer where the system cannot copy.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tempfile.h"
#include "tool_runner.h"
#include "toolio.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr std::size_t RECL = 6000;

Bytes input_bytes() {
  Bytes b(4 * RECL);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + i / 251);
  return b;
}

// Writes a header from memory, then records 0 to 3 of the input: record 1
// with two changed spans taken from a record that holds only them, record 2
// with two spans from a whole changed record, record 3 unchanged.
Bytes write_runs(const std::string &out_path, const fixture::TempFile &in, const Bytes &src) {
  const Bytes hdr = {'H', 'E', 'A', 'D', 'E', 'R'};
  Bytes only_spans(RECL, '#'), whole(src.begin() + 2 * RECL, src.begin() + 3 * RECL);
  for (std::size_t i = 0; i < 4; ++i) only_spans[i] = 'A';
  for (std::size_t i = 2000; i < 2008; ++i) only_spans[i] = 'B';
  for (std::size_t i = 0; i < 4; ++i) whole[i] = 'C';
  for (std::size_t i = 3000; i < 3008; ++i) whole[i] = 'D';

  fixture::File out(std::fopen(out_path.c_str(), "wb"));
  EXPECT_TRUE(out);
  if (!out) return {};
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  const int fd = open(in.path().c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  toolio::RunWriter w(out.get());
  EXPECT_TRUE(w.add(hdr.data(), hdr.size()));
  EXPECT_TRUE(w.add_copy(fd, 0, RECL));
  EXPECT_TRUE(w.add_copy(fd, RECL, RECL, only_spans.data(), {{0, 4}, {2000, 8}}, false));
  EXPECT_TRUE(w.add_copy(fd, 2 * RECL, RECL, whole.data(), {{0, 4}, {3000, 8}}));
  EXPECT_TRUE(w.add_copy(fd, 3 * RECL, RECL, whole.data(), {{0, 0}}));
  EXPECT_TRUE(w.flush());
  close(fd);

  Bytes want = hdr;
  want.insert(want.end(), src.begin(), src.end());
  for (std::size_t i = 0; i < 4; ++i) want[6 + RECL + i] = 'A';
  for (std::size_t i = 2000; i < 2008; ++i) want[6 + RECL + i] = 'B';
  for (std::size_t i = 0; i < 4; ++i) want[6 + 2 * RECL + i] = 'C';
  for (std::size_t i = 3000; i < 3008; ++i) want[6 + 2 * RECL + i] = 'D';
  return want;
}

TEST(RunWriter, CopiedRecordsWithTheirChangedBytes) {
  const Bytes src = input_bytes();
  fixture::TempFile in(src), out;
  const Bytes want = write_runs(out.path(), in, src);
  EXPECT_EQ(want, out.read());
}

TEST(RunWriter, ThroughABufferWhereTheSystemCannotCopy) {
  const Bytes src = input_bytes();
  fixture::TempFile in(src);
  const std::filesystem::path elsewhere = e2e::other_file_system(in.path());
  if (elsewhere.empty()) GTEST_SKIP() << "no second file system";
  const std::string out = (elsewhere / ("avftest-runwriter-" + std::to_string(getpid()))).string();
  const Bytes want = write_runs(out, in, src);
  fixture::File f(std::fopen(out.c_str(), "rb"));
  ASSERT_TRUE(f);
  Bytes got(want.size() + 1);
  got.resize(std::fread(got.data(), 1, got.size(), f.get()));
  std::remove(out.c_str());
  EXPECT_EQ(want, got);
}

} // namespace
