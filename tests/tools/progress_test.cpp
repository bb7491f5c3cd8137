// The progress line of long runs: shown on a terminal only, and erased.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tool_runner.h"

namespace {

// avfgen records of 19700 bytes: 2 scans of 2000 records make 75 MiB.
const std::vector<std::string> LARGE = {"-o", "large.avf", "-a", "4", "-c", "64", "-n", "2", "-r", "2000"};

TEST(Progress, ShownOnATerminalAndErased) {
  if (!std::filesystem::exists("/usr/bin/script")) GTEST_SKIP() << "no script(1) for a pseudo-terminal";
  e2e::Scratch s;
  ASSERT_EQ(0, e2e::avfgen(s, LARGE).status);
  // script runs the program on a pseudo-terminal and copies what it shows.
  e2e::Result mend = s.run("/usr/bin/script", {"-qec", std::string(AVFMEND_PATH) + " -i large.avf", "/dev/null"});
  EXPECT_EQ(0, mend.status);
  EXPECT_NE(std::string::npos, mend.out.find("\ravfmend: 0.")) << mend.out;
  EXPECT_NE(std::string::npos, mend.out.find(" GiB (")) << mend.out;
  const std::size_t erase = mend.out.rfind("\r\033[K");
  ASSERT_NE(std::string::npos, erase);
  EXPECT_EQ(std::string::npos, mend.out.find("avfmend: ", erase)) << "the line is left standing";
  EXPECT_NE(std::string::npos, mend.out.find("SCAN 001: SRC0001      [2000 recs]"));

  e2e::Result merge =
      s.run("/usr/bin/script", {"-qec", std::string(AVFMERGE_PATH) + " -i large.avf,large.avf", "/dev/null"});
  EXPECT_EQ(0, merge.status);
  EXPECT_NE(std::string::npos, merge.out.find("\ravfmerge: ")) << merge.out;
}

TEST(Progress, NeverInCapturedOutput) {
  e2e::Scratch s;
  ASSERT_EQ(0, e2e::avfgen(s, LARGE).status);
  e2e::Result mend = e2e::avfmend(s, {"-i", "large.avf"});
  EXPECT_EQ(0, mend.status);
  EXPECT_EQ("", mend.err);
  EXPECT_EQ("SCAN 000: SRC0000      [2000 recs]\nSCAN 001: SRC0001      [2000 recs]\n", mend.out);
  e2e::Result merge = e2e::avfmerge(s, {"-i", "large.avf"});
  EXPECT_EQ(0, merge.status);
  EXPECT_EQ("", merge.err);
  EXPECT_EQ(std::string::npos, merge.out.find('\r'));
}

} // namespace
