// Usage text, the command summary, option help, text justification and the XML interface
// description, produced in-process for chosen registries.
#include "opt_test_support.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using opttest::Capture;
using opttest::OptTest;

namespace {

class OptUsage : public OptTest {};

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

std::string justified(const char *s, int width, int indent, int initial, const char *prefix)
{
    char *p = opt_justify(s, width, indent, initial, prefix);
    std::string r = p;
    std::free(p);
    return r;
}

TEST_F(OptUsage, JustifyCases)
{
    struct Case {
        const char *text;
        int width, indent, initial;
        const char *prefix;
        std::string want;
    } cases[] = {
        {"  a   b ", 43, 38, 0, nullptr, "a b"},
        {"", 43, 38, 0, nullptr, ""},
        {nullptr, 43, 38, 20, "; ", ""},
        {"one two", 55, 20, 20, "; ", sp(20) + "; one two"},
        {"a\tb\r\nc", 43, 38, 0, nullptr, "a b c"},
        // A line holds at most width-1 characters: 9 fit, 10 do not.
        {"aaaa bbbb cccc", 10, 2, 0, nullptr, "aaaa bbbb\n  cccc"},
        {"aaaa bbbbb", 10, 2, 0, nullptr, "aaaa\n  bbbbb"},
        // A word longer than a line stands alone; continuation lines carry the prefix.
        {"abcdefghijk xy", 5, 1, 0, "> ", "> abcdefghijk\n > xy"},
        {"xy abcdefghijk", 5, 1, 0, "> ", "> xy\n > abcdefghijk"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        EXPECT_EQ(justified(c.text, c.width, c.indent, c.initial, c.prefix), c.want);
    }
}

TEST_F(OptUsage, SixtyWordsWrapAtWidth43Indent38)
{
    std::string text;
    std::vector<std::string> words;
    for (int i = 0; i < 60; ++i) {
        words.emplace_back(static_cast<std::size_t>(i % 9 + 1), static_cast<char>('a' + i % 26));
        text += (i ? " " : "") + words.back();
    }
    const std::string r = justified(text.c_str(), 43, 38, 0, nullptr);
    std::vector<std::string> lines;
    std::istringstream in(r);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_GT(lines.size(), 5u);
    std::string rejoined;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::string body = lines[k];
        if (k > 0) {
            ASSERT_EQ(body.substr(0, 38), sp(38)) << k;
            body = body.substr(38);
        }
        ASSERT_NE(body[0], ' ') << k;
        EXPECT_LE(body.size(), 42u) << k;
        if (k + 1 < lines.size()) {  // the next line's first word did not fit on this one
            const std::string next = lines[k + 1].substr(38);
            EXPECT_GE(body.size() + 1 + next.substr(0, next.find(' ')).size(), 43u) << k;
        }
        rejoined += (k ? " " : "") + body;
    }
    EXPECT_EQ(rejoined, text);
}

TEST_F(OptUsage, UsageListsArgumentsThenOptions)
{
    int count = 0, bare = 0, quiet = 0, longish = 0, lonely = 0, fifteen = 0, fourteen = 0;
    double flex = 0;
    char prog[] = "prog";
    optProgName(prog);
    optTitle("A title\n");
    optregp(&count, OPT_INT, "count", "How many");
    optrega(&bare, OPT_INT, '\0', nullptr, nullptr);
    optregf(&flex, OPT_DOUBLE, 'f', "flex", "Flexible one");
    optrega(&quiet, OPT_BOOL, 'q', nullptr, "Quiet");
    optrega(&longish, OPT_INT, 'l', "averyverylongname", "Long named option");
    optrega(&lonely, OPT_INT, '\0', "lonely",
            "Long only option with a description that wraps onto a second line");
    optrega(&fifteen, OPT_INT, '\0', "fifteencharname", "Fifteen");
    optrega(&fourteen, OPT_INT, 'k', "fourteenchars1", "Fourteen");
    optAdditionalUsage([] {
        std::printf("extra\n");
        return 0;
    });
    Capture cap;
    optPrintUsage();
    const auto [out, err] = cap.take();
    EXPECT_EQ(out,
              std::string("A title\n")
              + "Usage: prog [options] \n"
              "To invoke the menu, type:\n"
              "\tprog --menu\n"
              "The arguments are:\n"
              " count                <INT>           How many\n" +
              " <INT>" + sp(35) + "\n" +
              " flex                 <DOUBLE>        Flexible one\n"
              "The options are:\n"
              " -f, --flex           <DOUBLE>        (See argument description above)\n"
              " -q                   <BOOL>          Quiet\n"
              " -l, --averyverylongname <INT>           \n" +
                  sp(38) + "Long named option\n" +
                  "     --lonely         <INT>           Long only option with a description that\n" +
                  sp(38) + "wraps onto a second line\n" +
                  "     --fifteencharname <INT>           \n" + sp(38) + "Fifteen\n" +
                  " -k, --fourteenchars1 <INT>           Fourteen\n"
                  " --\n"
                  "extra\n");
    EXPECT_EQ(err, "");
}

TEST_F(OptUsage, NoMenuHintWhenTheMenuIsDisabledAndNoHeaderWithoutEntries)
{
    char prog[] = "prog";
    optProgName(prog);
    optUsage("-x\n");
    optDisableMenu();
    Capture cap;
    long_usage();
    EXPECT_EQ(cap.take().first, "Usage: prog -x\n\n");
}

TEST_F(OptUsage, HelpOnOneOption)
{
    int a = 0, b = 0, dup = 0;
    optrega(&a, OPT_INT, 'a', "alpha", "A");
    optrega(&b, OPT_INT, 'b', "beta", "B");
    opthelp(&b, "Sets beta");
    opt_setstring(&opt_filename, "prog.opt");
    {
        Capture cap;
        optrega(&dup, OPT_INT, 'b', "beta2", "B2");  // a later 'b' is never the one shown
        opthelp(&dup, "Not this one");
    }
    struct Case {
        const char *text;
        const char *out;
    } cases[] = {
        {"b", "b: Sets beta\n"},
        {"a", "Help unavailable for 'a'\n"},
        {"x", "Help unavailable for 'x'\n"},
        {"ab", "Help unavailable for: [ab]\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        Capture cap;
        opt_help(c.text);
        EXPECT_EQ(cap.take().first, c.out);
    }
}

TEST_F(OptUsage, CommandSummaryInTheMenuOffersToLeaveIt)
{
    opt_setstring(&opt_filename, "prog.opt");
    opt_menuflag = 1;
    Capture cap;
    opt_lineprocess("?");
    EXPECT_EQ(cap.take().first,
              "\t- Options delimiter   \n"
              "\t? Help                \n"
              "\t= Run program and return to menu\n"
              "\t! Shell to Operating System\n"
              "\t$ Exit menu           \n"
              "\t+ Additional options  \n"
              "\t@<filename> Get options from file [prog.opt]\n"
              "\t@@ Get options from file [prog.opt]\n"
              "\t%<filename> Put options in file \n"
              "\t%% Put options in file [prog.opt]\n"
              "\t. Quit                \n");
}

TEST_F(OptUsage, InterfaceDescriptionCoversModesNamesAndTexts)
{
    int count = 0, z = 0;
    double flex = 0;
    char prog[] = "prog";
    optProgName(prog);
    optregp(&count, OPT_INT, "count", "How many");
    optregf(&flex, OPT_DOUBLE, 'f', "flex", "Flexible one");
    opthelp(&flex, "More <b>text</b>");
    optrega(&z, OPT_INT, 'z', "", nullptr);
    optexec("go", [](void *) { return 0; }, "Goes");
    Capture cap;
    opt_write_xml_file(stdout);
    EXPECT_EQ(cap.take().first,
              "<opt-interface program=\"prog\">\n"
              "  <option type=\"INT\" mode=\"POSITIONAL\">\n"
              "    <long>count</long>\n"
              "    <description>How many</description>\n"
              "  </option>\n"
              "  <option type=\"DOUBLE\" mode=\"FLEXIBLE\">\n"
              "    <short>f</short>\n"
              "    <long>flex</long>\n"
              "    <description>Flexible one</description>\n"
              "    <help>More <b>text</b></help>\n"
              "  </option>\n"
              "  <option type=\"INT\">\n"
              "    <short>z</short>\n"
              "    <long></long>\n"
              "  </option>\n"
              "  <option type=\"NUL\">\n"
              "    <long>go</long>\n"
              "    <description>Goes</description>\n"
              "  </option>\n"
              "</opt-interface>\n");
}

}  // namespace

namespace {

// Names, values and descriptions far longer than any line: every face writes them whole.
TEST_F(OptUsage, LongTextsAreWrittenWhole)
{
    const std::string name(3000, 'n');
    const std::string word(3000, 'w');
    const std::string descript = word + " " + word;
    char *value = nullptr;
    char prog[] = "prog";
    optProgName(prog);
    optrega(&value, OPT_STRING, 'a', name.c_str(), descript.c_str());
    optrega(&value, OPT_STRING, '\0', (name + "2").c_str(), descript.c_str());
    for (int i = 0; i < 200; ++i)
        optrega(&value, OPT_STRING, '\0', ("x" + std::to_string(i)).c_str(), "d");
    opt_lineprocess(("-a " + word).c_str());

    Capture cap;
    long_usage();
    opt_write_xml_file(stdout);
    for (int i = 0; i < 2; ++i) {
        char *line = opt_mstring(i);
        std::printf("%s\n", line);
        std::free(line);
    }
    const std::string out = cap.take().first;
    EXPECT_NE(out.find(" -a, --" + name + " <STRING>        \n" + sp(38) + word + "\n" + sp(38) +
                       word + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("    <long>" + name + "2</long>\n"), std::string::npos);
    // The value renders cut to 79 characters; the padding is |32 - 3001 - 79| = 3048.
    EXPECT_NE(out.find("--" + name + "2=\"" + word.substr(0, 78) + sp(3048) + word + "\n" +
                       sp(35) + word + "\n"),
              std::string::npos);
}

}  // namespace
