// The help, options-file, menu and interface-description faces of the two programs, run from
// their own command lines as child processes in a scratch directory.
#include "opt_test_support.h"

#include <string>
#include <vector>

#if defined(AVFMEND_PATH) && defined(AVFMERGE_PATH)

using opttest::ProbeResult;
using opttest::TempDir;
using opttest::file_exists;
using opttest::read_file;
using opttest::run_program;

namespace {

ProbeResult mend(const TempDir &dir, const std::vector<std::string> &args,
                 const std::string &input = "")
{
    return run_program(AVFMEND_PATH, "avfmend", args, {input, dir.path(), {}});
}

ProbeResult merge(const TempDir &dir, const std::vector<std::string> &args,
                  const std::string &input = "")
{
    return run_program(AVFMERGE_PATH, "avfmerge", args, {input, dir.path(), {}});
}

const std::string summary_mend =
    "\t- Options delimiter   \n"
    "\t? Help                \n"
    "\t= Run program and return to menu\n"
    "\t! Shell to Operating System\n"
    "\t$ Invoke menu         \n"
    "\t+ Additional options  \n"
    "\t@<filename> Get options from file [avfmend.opt]\n"
    "\t@@ Get options from file [avfmend.opt]\n"
    "\t%<filename> Put options in file \n"
    "\t%% Put options in file [avfmend.opt]\n"
    "\t. Quit                \n";

const std::string mend_file =
    ";Options file created by: [avfmend];\n"
    ";----------------------------------;\n"
    "-i \"in.avf\"                          ; Input AVF File\n"
    "                                     ; -i == --in\n"
    "-m 64                                ; Max no of scans\n"
    "                                     ; -m == --maxscans\n"
    "-e 0                                 ; Records to eat\n"
    "                                     ; -e == --eat\n"
    "-v 0                                 ; verbose\n"
    "                                     ; -v == --verbose\n";

TEST(OptPrograms, HelpTextOfBothPrograms)
{
    TempDir dir;
    const auto m = mend(dir, {"-m", "5", "--help", "-e", "3"});
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.out,
              "\"Cleans\" up format errors AVF Files\n"
              "Usage: avfmend Usage: avfmend -i InputAvfFile [-m (maxscans)][-e (eat)][-v "
              "(verbose)]\n"
              "\n"
              "To invoke the menu, type:\n"
              "\tavfmend --menu\n"
              "The options are:\n"
              " -i, --in             <STRING>        Input AVF File\n"
              " -m, --maxscans       <INT>           Max no of scans\n"
              " -e, --eat            <INT>           Records to eat\n"
              " -v, --verbose        <INT>           verbose\n");
    EXPECT_EQ(m.err, "");

    const auto g = merge(dir, {"--help"});
    EXPECT_EQ(g.status, 0);
    EXPECT_EQ(g.out,
              "Combines AVF files\n"
              "Usage: avfmerge Usage: avfmerge -i InputAvfFile1[,File2[,File3...]\n"
              "\n"
              "To invoke the menu, type:\n"
              "\tavfmerge --menu\n"
              "The options are:\n"
              " -i, --in             <STRING ARRAY>  Input AVF Files\n");
    EXPECT_EQ(g.err, "");
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));  // nothing was run
    EXPECT_FALSE(file_exists(dir.file("avfmerge_out.avf")));
}

TEST(OptPrograms, CommandSummaryAndOptionHelp)
{
    TempDir dir;
    const auto alone = mend(dir, {"?"});
    EXPECT_TRUE(alone.out.starts_with(summary_mend)) << alone.out;

    struct Case {
        bool merge;
        const char *word, *out;
    } cases[] = {
        {false, "?i", "Help unavailable for 'i'\n"},
        {false, "?in", "Help unavailable for: [in]\n"},
        {false, "?x", "Help unavailable for 'x'\n"},
        {true, "?i", "Help unavailable for 'i'\n"},
        {true, "?in", "Help unavailable for: [in]\n"},
        {true, "?x", "Help unavailable for 'x'\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.merge ? "avfmerge " : "avfmend ") + c.word);
        // "%%" after it ends the program before the tool runs, so the help is all there is.
        TempDir own;
        const auto r = c.merge ? merge(own, {c.word, "%%"}) : mend(own, {c.word, "%%"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(OptPrograms, InterfaceDescriptionOfBothPrograms)
{
    TempDir dir;
    const auto m = mend(dir, {"--xml-opt-interface"});
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.out,
              "<opt-interface program=\"avfmend\">\n"
              "  <option type=\"STRING\">\n"
              "    <short>i</short>\n"
              "    <long>in</long>\n"
              "    <description>Input AVF File</description>\n"
              "  </option>\n"
              "  <option type=\"INT\">\n"
              "    <short>m</short>\n"
              "    <long>maxscans</long>\n"
              "    <description>Max no of scans</description>\n"
              "  </option>\n"
              "  <option type=\"INT\">\n"
              "    <short>e</short>\n"
              "    <long>eat</long>\n"
              "    <description>Records to eat</description>\n"
              "  </option>\n"
              "  <option type=\"INT\">\n"
              "    <short>v</short>\n"
              "    <long>verbose</long>\n"
              "    <description>verbose</description>\n"
              "  </option>\n"
              "</opt-interface>\n");

    const auto g = merge(dir, {"--xml-opt-interface"});
    EXPECT_EQ(g.status, 0);
    EXPECT_EQ(g.out,
              "<opt-interface program=\"avfmerge\">\n"
              "  <option type=\"STRING ARRAY\">\n"
              "    <short>i</short>\n"
              "    <long>in</long>\n"
              "    <description>Input AVF Files</description>\n"
              "    <array-delimiter>,</array-delimiter>\n"
              "  </option>\n"
              "</opt-interface>\n");
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));
}

TEST(OptPrograms, OptionsFileWrittenBackedUpAndReadBack)
{
    TempDir dir;
    const auto first = mend(dir, {"-i", "in.avf", "%%", "-m", "3"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, "");
    EXPECT_EQ(read_file(dir.file("avfmend.opt")), mend_file);
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));  // no repair

    const auto again = mend(dir, {"-i", "other.avf", "%%"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "Options file [avfmend.opt~] has been overwritten\n");
    EXPECT_EQ(read_file(dir.file("avfmend.opt~")), mend_file);

    // "@@" reads the current file; "%name" then writes its values under a new name.
    const auto back = mend(dir, {"-m", "5", "@avfmend.opt~", "%copy.opt"});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.err, "");
    EXPECT_EQ(read_file(dir.file("copy.opt")), mend_file);
    const auto atat = mend(dir, {"-m", "5", "@@", "%copy2.opt"});
    EXPECT_EQ(atat.status, 0);
    const std::string other = read_file(dir.file("copy2.opt"));
    EXPECT_NE(other.find("-i \"other.avf\" "), std::string::npos) << other;
    EXPECT_NE(other.find("-m 64 "), std::string::npos) << other;
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));
}

TEST(OptPrograms, MergeOptionsFileKeepsTheList)
{
    TempDir dir;
    const auto w = merge(dir, {"-i", "a.avf,b.avf", "%%"});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(read_file(dir.file("avfmerge.opt")),
              ";Options file created by: [avfmerge];\n"
              ";-----------------------------------;\n"
              "-i \"a.avf,b.avf\"                     ; Input AVF Files\n"
              "                                     ; -i == --in\n");
    // Read back, the list is two files again: written out once more, it is unchanged.
    const auto r = merge(dir, {"@@", "%copy.opt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("copy.opt")), read_file(dir.file("avfmerge.opt")));
}

TEST(OptPrograms, MissingOptionsFileAndEmptyName)
{
    TempDir dir;
    {
        TempDir scratch;  // the tools then run, without an input
        const auto m = mend(scratch, {"@@"});
        EXPECT_TRUE(m.err.starts_with("OPT Warning: Cannot open options file [avfmend.opt]\n\n"))
            << m.err;
        const auto g = merge(scratch, {"@@"});
        EXPECT_TRUE(g.err.starts_with("OPT Warning: Cannot open options file [avfmerge.opt]\n\n"))
            << g.err;
    }
    const auto empty = mend(dir, {"-i", "in.avf", "%"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "cant open opt file [] for writing\n");
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));
}

const std::string mend_page =
    "\"Cleans\" up format errors AVF Files\n"
    "\n"
    "-i \"\"                              Input AVF File\n"
    "-m 64                              Max no of scans\n"
    "-e 0                               Records to eat\n"
    "-v 0                               verbose\n"
    "(Type ? for Help)\n";

TEST(OptPrograms, MenuOfTheRepairTool)
{
    TempDir dir;
    const auto quit = mend(dir, {"--menu"}, ".\n");
    EXPECT_EQ(quit.status, 0);
    EXPECT_EQ(quit.out, mend_page + "-> ");
    EXPECT_EQ(quit.err, "");

    const auto set = mend(dir, {"$"}, "m 10\n\n.\n");
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, mend_page + "-> -> " +
                           "-i \"\"                              Input AVF File\n"
                           "-m 10                              Max no of scans\n"
                           "-e 0                               Records to eat\n"
                           "-v 0                               verbose\n"
                           "(Type ? for Help)\n"
                           "-> ");

    // Writing from the menu stays in it, under the name written last.
    const auto write = mend(dir, {"--menu"}, "%mine.opt\n?\n.\n");
    EXPECT_EQ(write.status, 0);
    EXPECT_TRUE(file_exists(dir.file("mine.opt")));
    EXPECT_NE(write.out.find("\t%% Put options in file [mine.opt]\n"), std::string::npos);
    EXPECT_NE(write.out.find("\t$ Exit menu           \n"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("avfmend_out.avf")));
}

#ifdef AVFGEN_PATH
TEST(OptPrograms, RunFromTheMenuRepairsAndComesBack)
{
    TempDir dir;
    const auto gen = run_program(AVFGEN_PATH, "avfgen", {"-o", "in.avf", "-n", "2"},
                                 {"", dir.path(), {}});
    ASSERT_EQ(gen.status, 0) << gen.err;

    const auto run = mend(dir, {"-i", "in.avf", "--menu"}, "=\n.\n");
    EXPECT_EQ(run.status, 0);
    const std::string page = "\"Cleans\" up format errors AVF Files\n\n-i \"in.avf\"";
    ASSERT_TRUE(run.out.starts_with(page)) << run.out;
    const std::size_t scans = run.out.find("(Type ? for Help)\n-> SCAN 000:");
    ASSERT_NE(scans, std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("]\n-> ")) << run.out;  // back at the prompt after the repair
    EXPECT_TRUE(file_exists(dir.file("avfmend_out.avf")));

    std::filesystem::remove(dir.file("avfmend_out.avf"));
    const auto leave = mend(dir, {"--menu"}, "i in.avf\n$\n");
    EXPECT_EQ(leave.status, 0);
    EXPECT_NE(leave.out.find("-> SCAN 000:"), std::string::npos) << leave.out;
    EXPECT_TRUE(file_exists(dir.file("avfmend_out.avf")));
}
#endif

}  // namespace

#endif
