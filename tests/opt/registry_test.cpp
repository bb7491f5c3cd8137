// The registry: registrations, lookups, setters, array options, assignments and renderings.
#include "opt_test_support.h"

#include <climits>
#include <cstring>
#include <string>

using opttest::Capture;
using opttest::Merge;
using opttest::Mend;
using opttest::OptTest;

namespace {

using OptRegistry = OptTest;

TEST_F(OptRegistry, RepairToolRegistrationsAreFourDelimitedEntries)
{
    Mend m;
    Capture cap;
    m.reg();
    const auto [out, err] = cap.take();
    EXPECT_EQ(err, "");
    ASSERT_EQ(opt_nreg, 4);
    const char *tags[] = {"<STRING>", "<INT>", "<INT>", "<INT>"};
    const char names[] = {'i', 'm', 'e', 'v'};
    const char *longs[] = {"in", "maxscans", "eat", "verbose"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(optlist[i].mode, OPT_DELIMITED);
        EXPECT_STREQ(optstrtyp(i), tags[i]);
        EXPECT_EQ(optlist[i].name, names[i]);
        EXPECT_STREQ(optlist[i].longname, longs[i]);
        EXPECT_EQ(optlist[i].invoked, 0);
        EXPECT_EQ(optlist[i].hook, nullptr);
        EXPECT_EQ(optlist[i].array, nullptr);
        EXPECT_EQ(optlist[i].help, nullptr);
    }
    EXPECT_STREQ(optlist[0].descript, "Input AVF File");
    EXPECT_STREQ(optstrval(0), "\"\"");  // null string
    EXPECT_STREQ(optstrval(1), "64");
    EXPECT_EQ(opt_number(&m.EatRec), 2);
    EXPECT_EQ(opt_char_number('v'), 3);
    EXPECT_EQ(opt_longname_number("maxscans"), 1);
    EXPECT_EQ(opt_longname_number("Maxscans"), -1);
    EXPECT_EQ(opt_longname_number(""), -1);
    EXPECT_EQ(opt_longname_number(nullptr), -1);
}

TEST_F(OptRegistry, MergeToolRegistrationIsOneStringArray)
{
    Merge m;
    m.reg();
    ASSERT_EQ(opt_nreg, 1);
    EXPECT_STREQ(optstrtyp(0), "<STRING ARRAY>");
    EXPECT_EQ(*static_cast<char **>(optlist[0].value), nullptr);  // the holder holds nothing
    EXPECT_STREQ(optstrval(0), "\"\"");
    ASSERT_NE(optlist[0].array, nullptr);
    EXPECT_EQ(optlist[0].array->delim, ',');
    EXPECT_EQ(optlist[0].array->base_type, OPT_STRING);
    EXPECT_EQ(optlist[0].type, OPT_STRING);
    EXPECT_EQ(opt_number(&m.AvfFile), 0);  // found through its descriptor
}

TEST_F(OptRegistry, ArrayValueReplacesTheWholeArray)
{
    Merge m;
    m.reg();
    opt_lineprocess("-i a.avf,b.avf,c.avf");
    EXPECT_EQ(m.files(), (std::vector<std::string>{"a.avf", "b.avf", "c.avf"}));
    EXPECT_STREQ(optstrval(0), "\"a.avf,b.avf,c.avf\"");
    opt_lineprocess("-i d.avf");
    EXPECT_EQ(m.files(), (std::vector<std::string>{"d.avf"}));
    EXPECT_EQ(optinvoked(&m.AvfFile), 2);
}

TEST_F(OptRegistry, ArraySplittingOfEmptyAndSeparatorEdgeTexts)
{
    struct Case {
        const char *text;
        std::vector<std::string> elements;
    } cases[] = {
        {"", {}},
        {"a,,b", {"a", "", "b"}},
        {",a", {"", "a"}},
        {"a,", {"a"}},
        {",", {""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        opt_free();
        Merge m;
        m.reg();
        optarray_action(optlist[0].array, c.text);
        EXPECT_EQ(m.files(), c.elements);
        if (c.elements.empty()) {
            EXPECT_EQ(m.AvfFile, nullptr);
        }
    }
}

TEST_F(OptRegistry, NumericArrayRendersInitialValuesAndLeavesTheProgramsBlockAlone)
{
    int initial[3] = {4, -5, 6};
    int *values = initial;
    int n = 3;
    optrega_array(&n, &values, OPT_INT, 'n', "nums", "numbers");
    EXPECT_STREQ(optstrval(0), "\"4,-5,6\"");
    opt_lineprocess("--nums=7,8");
    ASSERT_EQ(n, 2);
    EXPECT_NE(values, initial);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[1], 8);
    EXPECT_EQ(initial[0], 4);  // never released nor written: it is the program's
    opt_lineprocess("--nums=9");  // the library's own block is replaced
    ASSERT_EQ(n, 1);
    EXPECT_EQ(values[0], 9);
}

TEST_F(OptRegistry, ChangingTheSeparatorReRendersTheHolder)
{
    Merge m;
    m.reg();
    opt_lineprocess("-i a,b");
    optarraydelim(&m.AvfFile, ';');
    EXPECT_EQ(optlist[0].array->delim, ';');
    EXPECT_STREQ(optstrval(0), "\"\"a\";\"b\"\"");  // elements rendered in quotes, then joined
    opt_lineprocess("-i c;d,e");
    EXPECT_EQ(m.files(), (std::vector<std::string>{"c", "d,e"}));

    // A null address changes the default and every registered array option.
    optarraydelim(nullptr, ':');
    EXPECT_EQ(opt_array_delim, ':');
    EXPECT_EQ(optlist[0].array->delim, ':');
    int n = 0;
    double *d = nullptr;
    optrega_array(&n, &d, OPT_DOUBLE, 'd', "dbl", "doubles");
    EXPECT_EQ(optlist[1].array->delim, ':');
}

TEST_F(OptRegistry, DuplicateNamesWarnAndTheFirstRegistrationWins)
{
    int a = 0, b = 0, c = 0;
    Capture cap;
    optrega(&a, OPT_INT, 'i', "in", "first");
    optrega(&b, OPT_INT, 'i', "other", "second");
    optrega(&c, OPT_INT, 'x', "in", "third");
    const auto [out, err] = cap.take();
    EXPECT_EQ(err, "OPT Warning: optrega: Duplicate option name 'i'\n"
                   "OPT Warning: optrega: Duplicate option longname \"in\"\n");
    EXPECT_EQ(opt_nreg, 3);
    EXPECT_EQ(opt_char_number('i'), 0);
    EXPECT_EQ(opt_longname_number("in"), 0);
    opt_lineprocess("-i 5 --in 6");
    EXPECT_EQ(a, 6);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);
}

TEST_F(OptRegistry, RegistrationShapesSetNamesModesAndDescriptions)
{
    int v[8] = {};
    EXPECT_EQ(optreg(&v[0], OPT_INT, 'a', "desc a"), 0);
    optregcb(&v[1], OPT_INT, 'b', "desc b");
    optregc(&v[2], OPT_INT, 'c');
    optregs(&v[3], OPT_INT, "dee");
    optregp(&v[4], OPT_INT, "pos", "a positional");
    optregf(&v[5], OPT_INT, 'f', "flex", "a flexible");
    optrega(&v[6], OPT_INT, '\0', nullptr, "unnamed");
    EXPECT_EQ(optexec("cmd", nullptr, "a command"), 7);

    EXPECT_EQ(optlist[0].longname, nullptr);
    EXPECT_STREQ(optlist[0].descript, "desc a");
    EXPECT_EQ(optlist[2].descript, nullptr);
    EXPECT_STREQ(optlist[3].longname, "dee");
    EXPECT_STREQ(optlist[3].descript, "dee");
    EXPECT_EQ(optlist[3].name, '\0');
    const opt_MODE modes[] = {OPT_DELIMITED, OPT_DELIMITED, OPT_DELIMITED, OPT_DELIMITED,
                              OPT_POSITIONAL, OPT_FLEXIBLE, OPT_POSITIONAL, OPT_DELIMITED};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(optlist[i].mode, modes[i]) << i;
    EXPECT_EQ(optlist[7].type, OPT_NUL);
    EXPECT_EQ(optlist[7].value, nullptr);
    EXPECT_STREQ(optstrtyp(7), "<NUL>");
    EXPECT_STREQ(optstrval(7), "");
}

TEST_F(OptRegistry, SettersWorkByNumberAndByAddressAndIgnoreUnknownOptions)
{
    int x = 0, y = 0;
    optrega(&x, OPT_INT, 'x', "ex", "old");
    optchar(&x, 'q');
    optlongname(&x, "queue");
    optdescript(&x, "new description");
    opthelp(&x, "some help");
    EXPECT_EQ(opt_char_number('q'), 0);
    EXPECT_EQ(opt_char_number('x'), -1);
    EXPECT_EQ(opt_longname_number("queue"), 0);
    EXPECT_STREQ(optlist[0].descript, "new description");
    EXPECT_STREQ(optlist[0].help, "some help");

    optchar(&y, 'z');  // not registered: nothing happens
    optchar_n(5, 'z');
    optchar_n(-1, 'z');
    EXPECT_EQ(opt_char_number('z'), -1);
    EXPECT_EQ(optinvoked(&y), 0);
    EXPECT_EQ(optinvoked_n(9), 0);

    Capture cap;
    optmode(&x, static_cast<opt_MODE>(7));
    EXPECT_EQ(cap.take().second, "OPT Warning: optmode() was passed an invalid mode\n");
    EXPECT_EQ(optlist[0].mode, 7);
    optmode_n(0, OPT_FLEXIBLE);
    EXPECT_EQ(optlist[0].mode, OPT_FLEXIBLE);
}

TEST_F(OptRegistry, DeprecatedTypesWarnAndRegisterAsPositionalStrings)
{
    char *s = nullptr;
    char c[80] = {};
    Capture cap;
    optrega(&s, OPT_UNDELIM, 'u', "und", "d");
    optrega(&c, OPT_UNDELIMC, 'w', "undc", "d");
    const std::string undelim = "OPT Warning: OPT_UNDELIM and OPT_UNDELIMC are deprecated...\n"
                                "OPT Warning: You should use positional options instead.\n"
                                "OPT Warning: If this warning message is a problem, then "
                                "recompile the source\n"
                                "OPT Warning: with the symbol OPT_DEPRECATED_OK defined.\n";
    EXPECT_EQ(cap.take().second, undelim + undelim);
    EXPECT_EQ(optlist[0].type, OPT_STRING);
    EXPECT_EQ(optlist[0].mode, OPT_POSITIONAL);
    EXPECT_EQ(optlist[1].type, OPT_CSTRING);
    EXPECT_EQ(optlist[1].mode, OPT_POSITIONAL);
}

TEST_F(OptRegistry, UnsupportedArrayElementTypesWarn)
{
    int n = 0;
    void *p = nullptr;
    Capture cap;
    optrega_array(&n, &p, OPT_NUL, 'a', "a", "d");
    EXPECT_EQ(cap.take().second, "OPT Warning: Undefined behavior for <STRING> array\n");
    Capture cap2;
    optrega_array(&n, &p, OPT_BOOL, 'b', "b", "d");
    const std::string err = cap2.take().second;
    EXPECT_NE(err.find("OPT Warning: OPT_UNDELIM and OPT_UNDELIMC are deprecated...\n"),
              std::string::npos);
    EXPECT_TRUE(err.ends_with("OPT Warning: Undefined behavior for <STRING> array\n")) << err;
    EXPECT_STREQ(optstrtyp(1), "<BOOL ARRAY>");
}

// One-letter flags, levels and characters: the value after a line of options.
TEST_F(OptRegistry, FlagsLevelsAndCharactersFollowTheirSignCharacters)
{
    struct Case {
        opt_TYPE type;
        int initial;
        const char *line;
        int expected;
    } cases[] = {
        {OPT_BOOL, 0, "-f", 1},          {OPT_BOOL, 1, "-f-", 0},
        {OPT_BOOL, 1, "-f0", 0},         {OPT_BOOL, 0, "-f+", 1},
        {OPT_BOOL, 1, "-f -f", 1},       {OPT_NEGBOOL, 1, "-f", 0},
        {OPT_NEGBOOL, 0, "-f-", 1},      {OPT_NEGBOOL, 1, "-f+", 0},
        {OPT_TOGGLE, 0, "-f", 1},        {OPT_TOGGLE, 0, "-f -f", 0},
        {OPT_TOGGLE, 0, "-ff", 0},       {OPT_TOGGLE, 5, "-f", 1},
        {OPT_TOGGLE, 1, "-f1", 1},       {OPT_NEGTOGGLE, 1, "-f", 0},
        {OPT_NEGTOGGLE, 0, "-f+", 0},    {OPT_NEGTOGGLE, 0, "-f0", 1},
        {OPT_INTLEVEL, 0, "-f -f", 2},   {OPT_INTLEVEL, 0, "-ff", 2},
        {OPT_INTLEVEL, 0, "-f3", 3},     {OPT_INTLEVEL, 5, "-f-", 0},
        {OPT_INTLEVEL, 4, "-f+", 5},     {OPT_INTLEVEL, INT_MAX, "-f", INT_MAX},
        {OPT_BOOL, 0, "--flag=-", 0},    {OPT_BOOL, 1, "--flag=-", 0},
        {OPT_NEGBOOL, 0, "--flag=+", 0}, {OPT_TOGGLE, 0, "--flag", 1},
        {OPT_INTLEVEL, 0, "--flag=7", 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.line) + " type " + std::to_string(c.type));
        opt_free();
        int v = c.initial;
        optrega(&v, c.type, 'f', "flag", "a flag");
        Capture cap;
        opt_lineprocess(c.line);
        EXPECT_EQ(cap.take().second, "");
        EXPECT_EQ(v, c.expected);
    }
}

TEST_F(OptRegistry, CharacterOptionTakesTheNextCharacterOfItsWordOnly)
{
    char c = 'a';
    char *word = nullptr;
    optrega(&c, OPT_CHAR, 'c', "chr", "a character");
    optregp(&word, OPT_STRING, "word", "a positional");
    opt_lineprocess("-cx");
    EXPECT_EQ(c, 'x');
    opt_lineprocess("-c next");
    EXPECT_EQ(c, '\0');
    ASSERT_NE(word, nullptr);  // the next word was left for the positional option
    EXPECT_STREQ(word, "next");
}

TEST_F(OptRegistry, StringAsTheLastWordReceivesTheEmptyString)
{
    Mend m;
    m.reg();
    opt_lineprocess("-i");
    ASSERT_NE(m.AvfFile, nullptr);
    EXPECT_STREQ(m.AvfFile, "");
    EXPECT_EQ(optinvoked(&m.AvfFile), 1);
}

TEST_F(OptRegistry, RepeatedStringReleasesOnlyWhatTheLibraryStored)
{
    char initial[] = "initial";
    char *s = initial;
    optrega(&s, OPT_STRING, 's', "str", "a string");
    opt_lineprocess("-s first");
    EXPECT_STREQ(s, "first");
    opt_lineprocess("-s second");
    EXPECT_STREQ(s, "second");
    char program_value[] = "the program's own";
    s = program_value;  // the program changes its variable between two assignments
    opt_lineprocess("-s third");
    EXPECT_STREQ(s, "third");
    EXPECT_STREQ(program_value, "the program's own");
}

TEST_F(OptRegistry, HookRunsAfterEachAssignmentWithTheValueAddress)
{
    static int calls;
    static void *seen;
    calls = 0;
    seen = nullptr;
    int v = 0;
    optrega(&v, OPT_INT, 'n', "num", "number");
    opthook(&v, [](void *p) {
        ++calls;
        seen = p;
        return *static_cast<int *>(p) == 2 ? 0 : 1;  // ordinary results: processing goes on
    });
    opt_lineprocess("-n 2 -n 3");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(seen, &v);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(optinvoked(&v), 2);
}

TEST_F(OptRegistry, ActionOnAnUnknownNumberWarnsAndDoesNothing)
{
    Capture cap;
    EXPECT_EQ(opt_action(5, nullptr), 0);
    EXPECT_EQ(opt_action(-1, nullptr), 0);
    EXPECT_EQ(cap.take().second, "OPT Warning: opt_action: invalid number 5\n\n"
                                 "OPT Warning: opt_action: invalid number -1\n\n");
}

TEST_F(OptRegistry, RenderingsFollowTheirTypes)
{
    int i = -3, tog = 1, neg = 1, lvl = 7;
    short sh = -2;
    long l = 1234567890123L;
    unsigned int u = 4000000000u;
    unsigned short us = 65535;
    unsigned long ul = ULONG_MAX;
    char c = 'z';
    unsigned char uc = 'y';
    float f = 1.5f;
    double d = 2.25e-10;
    char str[] = "text";
    char *s = str;
    struct Case {
        void *v;
        opt_TYPE t;
        const char *expected;
    } cases[] = {
        {&i, OPT_INT, "-3"},
        {&sh, OPT_SHORT, "-2"},
        {&l, OPT_LONG, "1234567890123"},
        {&u, OPT_UINT, "4000000000"},
        {&us, OPT_USHORT, "65535"},
        {&ul, OPT_ULONG, "18446744073709551615"},
        {&c, OPT_CHAR, "z"},
        {&uc, OPT_UCHAR, "y"},
        {&f, OPT_FLOAT, "1.5"},
        {&d, OPT_DOUBLE, "2.25e-10"},
        {&tog, OPT_TOGGLE, "+"},
        {&tog, OPT_BOOL, "+"},
        {&i, OPT_BOOL, "-"},
        {&neg, OPT_NEGTOGGLE, "-"},
        {&neg, OPT_NEGBOOL, "-"},
        {&i, OPT_NEGBOOL, "+"},
        {&lvl, OPT_INTLEVEL, "7"},
        {&s, OPT_STRING, "\"text\""},
        {nullptr, OPT_NUL, ""},
    };
    for (const auto &cs : cases)
        EXPECT_STREQ(opt_getstrval(cs.v, cs.t), cs.expected) << cs.t;
}

TEST_F(OptRegistry, LongStringRenderingIsCutTo79Characters)
{
    const std::string text(78, 'x');
    char *s = const_cast<char *>(text.c_str());
    const char *r = opt_getstrval(&s, OPT_STRING);
    EXPECT_EQ(std::strlen(r), 79u);
    EXPECT_EQ(std::string(r), "\"" + text);  // no closing quote
    const std::string shorter(77, 'y');
    s = const_cast<char *>(shorter.c_str());
    EXPECT_EQ(std::string(opt_getstrval(&s, OPT_STRING)), "\"" + shorter + "\"");
}

TEST_F(OptRegistry, LevelAboveNineWarnsAndRendersNothing)
{
    int lvl = 12;
    Capture cap;
    EXPECT_STREQ(opt_getstrval(&lvl, OPT_INTLEVEL), "");
    EXPECT_EQ(cap.take().second, "OPT Warning: Cannot set string for OPT_INTLEVEL v=12 > 9\n");
}

TEST_F(OptRegistry, FixedCharacterArrayCopiesAtMost80Characters)
{
    struct {
        char text[80];
        char guard[8];
    } var;
    std::memset(&var, '#', sizeof var);
    optrega(var.text, OPT_CSTRING, 'c', "cs", "fixed");
    const std::string long_text(100, 'L');
    Capture cap;
    opt_lineprocess(("-c " + long_text).c_str());
    EXPECT_EQ(std::string(var.text, 80), std::string(80, 'L'));
    EXPECT_EQ(std::string(var.guard, 8), "########");  // nothing written past the array
    // The rendering reads no further than the 80 characters either.
    EXPECT_EQ(std::string(optstrval(0)), "\"" + std::string(78, 'L'));
    opt_lineprocess("-c ab");
    EXPECT_STREQ(var.text, "ab");
    EXPECT_EQ(var.text[79], '\0');
    const std::string err = cap.take().second;
    EXPECT_NE(err.find("OPT Warning: OPT_CSTRING is deprecated...you should use OPT_STRING "
                       "instead\n"),
              std::string::npos);
}

TEST_F(OptRegistry, FreeEmptiesTheRegistryAndTheSettings)
{
    Mend m;
    m.reg();
    optTitle("title\n");
    optUsage("usage");
    optVersion("1.0");
    opt_free();
    EXPECT_EQ(opt_nreg, 0);
    EXPECT_EQ(optlist, nullptr);
    EXPECT_EQ(opt_titlestring, nullptr);
    EXPECT_EQ(opt_usagestring, nullptr);
    EXPECT_EQ(opt_pkg_version, nullptr);
    EXPECT_EQ(opt_char_number('i'), -1);
    int x = 0;
    EXPECT_EQ(optrega(&x, OPT_INT, 'i', "in", "again"), 0);
}

TEST_F(OptRegistry, VersionIgnoresEmptyText)
{
    optVersion("2.1");
    optVersion("");
    optVersion(nullptr);
    EXPECT_STREQ(opt_pkg_version, "2.1");
}

}  // namespace
