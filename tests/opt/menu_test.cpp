// The menu: option lines and pages in-process; whole sessions on a scripted standard input in
// the child test program (the menu ends the process at '.' and at the end of its input).
#include "opt_test_support.h"

#include <cstdlib>
#include <string>
#include <vector>

using opttest::Capture;
using opttest::OptTest;
using opttest::run_probe;

namespace {

class OptMenu : public OptTest {};

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

std::string mstring(int i)
{
    char *p = opt_mstring(i);
    if (!p)
        return "(none)";
    std::string s = p;
    std::free(p);
    return s;
}

TEST_F(OptMenu, OptionLinesShowValuesInTheirMenuForm)
{
    int level0 = 0, level1 = 1, level5 = 5, on = 1, off = 0, neg = 1, d = 0, depth = 7, pos = 0,
        nameless = 0;
    char c0 = '\0', ctab = '\t', cnl = '\n', cspace = ' ', cx = 'x';
    char *wide = nullptr;
    Capture cap;
    optrega(&level0, OPT_INTLEVEL, 'a', nullptr, "L0");
    optrega(&level1, OPT_INTLEVEL, 'b', nullptr, "L1");
    optrega(&level5, OPT_INTLEVEL, 'c', nullptr, "L5");
    optrega(&c0, OPT_CHAR, 'e', nullptr, "C");
    optrega(&ctab, OPT_CHAR, 'f', nullptr, "C");
    optrega(&cnl, OPT_CHAR, 'g', nullptr, "C");
    optrega(&cspace, OPT_CHAR, 'h', nullptr, "C");
    optrega(&cx, OPT_CHAR, 'j', nullptr, "C");
    optrega(&on, OPT_BOOL, 'k', nullptr, "B");
    optrega(&off, OPT_TOGGLE, 'l', nullptr, "B");
    optrega(&neg, OPT_NEGBOOL, 'n', nullptr, "B");  // 1 renders as '-'
    optrega(&d, OPT_INT, 'd', nullptr, "A rather long description of this option that wraps");
    optrega(&depth, OPT_INT, '\0', "depth", "Depth");
    optrega(&wide, OPT_STRING, 'w', nullptr, "Wide");
    optregp(&pos, OPT_INT, "pos", "Positional");
    optrega(&nameless, OPT_INT, '\0', "", "No name");
    optrega(&nameless, OPT_INT, 'z', nullptr, nullptr);
    opt_lineprocess(("-w " + std::string(40, 'v')).c_str());
    const std::vector<std::string> want = {
        "-a OFF" + sp(29) + "L0",
        "-b ON" + sp(30) + "L1",
        "-c ON:5" + sp(28) + "L5",
        "-e '\\0'" + sp(28) + "C",
        "-f '\\t'" + sp(28) + "C",
        "-g '\\n'" + sp(28) + "C",
        "-h '  '" + sp(28) + "C",
        "-j x" + sp(31) + "C",
        "-k TRUE" + sp(28) + "B",
        "-l FALSE" + sp(27) + "B",
        "-n FALSE" + sp(27) + "B",
        "-d 0" + sp(31) + "A rather long description of this\n" + sp(35) + "option that wraps",
        "--depth=7" + sp(26) + "Depth",
        // Wider than its field: the negative width pads by its magnitude all the same.
        "-w \"" + std::string(40, 'v') + "\"" + sp(10) + "Wide",
        "(none)",
        "(none)",
        "-z 0" + sp(31),
    };
    ASSERT_EQ(opt_nreg, static_cast<int>(want.size()));
    for (int i = 0; i < opt_nreg; ++i)
        EXPECT_EQ(mstring(i), want[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(mstring(-1), "(none)");
    EXPECT_EQ(mstring(opt_nreg), "(none)");
    cap.take();
}

TEST_F(OptMenu, PagesHaveAHeaderUnlessTheyHoldTheWholeMenu)
{
    opttest::Mend m;
    m.reg();
    struct Case {
        int from, to;
        std::string out;
    } cases[] = {
        {0, 4,
         "-i \"\"" + sp(30) + "Input AVF File\n-m 64" + sp(30) + "Max no of scans\n-e 0" +
             sp(31) + "Records to eat\n-v 0" + sp(31) + "verbose\n(Type ? for Help)\n"},
        {1, 3,
         "menu: 1->3 [4]\n-m 64" + sp(30) + "Max no of scans\n-e 0" + sp(31) +
             "Records to eat\n+ Additional options\n(Type ? for Help)\n"},
        {3, 9,  // an end past the last option stops at it
         "menu: 3->4 [4]\n-v 0" + sp(31) + "verbose\n+ Additional options\n(Type ? for Help)\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.from);
        Capture cap;
        write_the_menu(c.from, c.to);
        EXPECT_EQ(cap.take().first, c.out);
    }
}

// ---- sessions in the child test program (the repair tool's registrations) ----

const char *const title = "\"Cleans\" up format errors AVF Files\n\n";

std::string first_page()
{
    return std::string(title) + "-i \"\"" + sp(30) + "Input AVF File\n-m 64" + sp(30) +
           "Max no of scans\n-e 0" + sp(31) + "Records to eat\n-v 0" + sp(31) +
           "verbose\n(Type ? for Help)\n";
}

TEST(OptMenuSession, RunCommandRunsTheToolAndComesBack)
{
    const auto r = run_probe({"mend", "avfmend", "--menu"}, {}, "m 3\n= a b\n=\n$\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, first_page() +
                         "-> -> tool ran: argc=3 [=] [a] [b]\n"
                         "-> tool ran: argc=1 [=]\n"
                         "-> in=[(null)] m=3 e=0 v=0\n"
                         "tool ran: argc=1 [avfmend]\n");
    EXPECT_EQ(r.err, "");
}

TEST(OptMenuSession, QuitAndTheEndOfInputEndTheProgramWithoutRunningTheTool)
{
    for (const char *input : {".\n", ". trailing\n", "m 3\n", "m 3", ""}) {
        SCOPED_TRACE(input);
        const auto r = run_probe({"mend", "avfmend", "--menu", "-e", "1"}, {}, input);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out.ends_with("-> quit fn\n")) << r.out;
        EXPECT_EQ(r.out.find("tool ran"), std::string::npos) << r.out;
    }
}

TEST(OptMenuSession, ResponsesOfTheTable)
{
    const auto r = run_probe({"mend", "avfmend", "$"}, {},
                             "~\n"
                             ".x\n"
                             "!echo from the shell\n"
                             "-e 4\n"
                             "v 2\n"
                             "i x.avf\n"
                             "zzz\n"
                             "$\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, first_page() +
                         "-> Option Information: To be implemented.\n"
                         "\n   Name:        "
                         "\n   Type:        "
                         "\n   Reason:      "
                         "-> Invalid line: [.x]\n"
                         "-> from the shell\n"
                         "-> -> -> -> -> in=[x.avf] m=64 e=4 v=2\n"
                         "tool ran: argc=1 [avfmend]\n");
}

TEST(OptMenuSession, LongResponsesAreCutAndTheirRestIsDiscarded)
{
    // Characters 281 on of the typed line would set the scan limit if they were kept, or if
    // they were read as a line of their own.
    const std::string line = "e 1" + sp(277) + "-m 9";
    ASSERT_EQ(line.size(), 284u);
    const auto r = run_probe({"mend", "avfmend", "--menu"}, {}, line + "\n$\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("-> -> in=[(null)] m=64 e=1 v=0\ntool ran: argc=1 [avfmend]\n"))
        << r.out;
}

TEST(OptMenuSession, PagingThroughFourOptions)
{
    const auto r = run_probe({"mend", "avfmend", "--menu"}, {}, "+\n+2\n+\n+\n+abc\n$\n");
    const std::string page0 = "menu: 0->2 [4]\n-i \"\"" + sp(30) + "Input AVF File\n-m 64" +
                              sp(30) + "Max no of scans\n+ Additional options\n(Type ? for Help)\n";
    const std::string page1 = "menu: 2->4 [4]\n-e 0" + sp(31) + "Records to eat\n-v 0" + sp(31) +
                              "verbose\n+ Additional options\n(Type ? for Help)\n";
    const std::string whole = first_page().substr(std::string(title).size());
    EXPECT_EQ(r.out, first_page() + "-> " + whole +       // '+': the whole menu again
                         "-> Scroll 2 options\n" + page0 +  //
                         "-> " + page1 +                  //
                         "-> " + page0 +                  //
                         "-> Scroll 4 options\n" + whole +  // no digits: every option
                         "-> in=[(null)] m=64 e=0 v=0\ntool ran: argc=1 [avfmend]\n");
}

std::vector<std::string> headers(const std::string &out)
{
    std::vector<std::string> h;
    for (std::size_t p = out.find("menu: "); p != std::string::npos; p = out.find("menu: ", p + 1))
        h.push_back(out.substr(p, out.find('\n', p) - p));
    return h;
}

TEST(OptMenuSession, FortyOptionsPageByTwenty)
{
    const auto r = run_probe({"many", "40", "prog", "--menu"}, {}, "+\n+\n+\n$\n");
    EXPECT_EQ(headers(r.out), (std::vector<std::string>{"menu: 0->20 [40]", "menu: 20->40 [40]",
                                                        "menu: 0->20 [40]", "menu: 20->40 [40]"}));
    const std::size_t second = r.out.find("menu: 20->40 [40]\n");
    ASSERT_NE(second, std::string::npos);
    const std::string start =
        "menu: 20->40 [40]\n--opt20=0" + sp(26) + "d\n--opt21=0" + sp(26) + "d\n";
    EXPECT_EQ(r.out.substr(second, start.size()), start);
}

TEST(OptMenuSession, PageSizeIsKeptWhenTheMenuStartsAgain)
{
    const auto r = run_probe({"many", "40", "prog", "--menu", "$"}, {}, "+5\n$\n$\n");
    EXPECT_EQ(headers(r.out),
              (std::vector<std::string>{"menu: 0->20 [40]", "menu: 0->5 [40]", "menu: 0->5 [40]"}));
    EXPECT_TRUE(r.out.ends_with("tool ran: argc=1 [prog]\n"));
}

TEST(OptMenuSession, NestedMenuIsLeftWithTheOuterOne)
{
    const auto r = run_probe({"mend", "avfmend", "--menu"}, {}, "--menu\n$\n");
    EXPECT_EQ(r.out, first_page() + "-> " + first_page() +
                         "-> in=[(null)] m=64 e=0 v=0\ntool ran: argc=1 [avfmend]\n");
}

}  // namespace
