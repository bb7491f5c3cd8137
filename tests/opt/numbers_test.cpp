// Number texts: the validity flags and the conversions with their warnings.
#include "opt_test_support.h"

#include <climits>
#include <cmath>
#include <string>

using opttest::Capture;
using opttest::OptTest;

namespace {

using OptNumbers = OptTest;

TEST_F(OptNumbers, ValidityFlagsMarkNumbersFractionsAndNegatives)
{
    struct Case {
        const char *text;
        int flags;
    } cases[] = {
        {nullptr, 0}, {"", 1},      {"   ", 1},   {"12", 1},   {" 7 ", 1},  {"+3", 1},
        {"-3", 5},    {"1.5", 3},   {"-.5", 7},   {".", 3},    {"1e5", 1},  {"1E+5", 1},
        {"1e-5", 3},  {"-1e-5", 7}, {"1e", 0},    {"e5", 0},   {"-E5", 0},  {"12abc", 0},
        {"0x10", 0},  {"1 2", 0},   {"\t-2\n", 5}, {"abc", 0}, {"1.2.3", 0}, {"--1", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(opt_isvalidnumber(c.text), c.flags) << (c.text ? c.text : "(null)");
}

// Storing a text into a variable: the value stored and the warning given (if any).
TEST_F(OptNumbers, ConversionTableStoresTheValueAndWarnsExactly)
{
    struct Case {
        opt_TYPE type;
        const char *text;
        const char *rendered;
        const char *warning;  // "" for none
    } cases[] = {
        {OPT_INT, "12abc", "12", "String [12abc] is not a valid integer, will use [12]"},
        {OPT_INT, "0x10", "16", "String [0x10] is not a valid integer, will use [16]"},
        {OPT_INT, "1.5", "1", "String [1.5] is not a valid integer, will use [1]"},
        {OPT_INT, "-1.9", "-1", "String [-1.9] is not a valid integer, will use [-1]"},
        {OPT_INT, "1e5", "100000", ""},
        {OPT_INT, "1e-5", "0", "String [1e-5] is not a valid integer, will use [0]"},
        {OPT_INT, "", "0", ""},
        {OPT_INT, " 7 ", "7", ""},
        {OPT_INT, "1 2", "1", "String [1 2] is not a valid integer, will use [1]"},
        {OPT_INT, "-42", "-42", ""},
        {OPT_LONG, "-9000000000", "-9000000000", ""},
        {OPT_SHORT, "-12", "-12", ""},
        {OPT_UINT, "-1", "4294967295",
         "String [-1] is not a valid positive integer, will use [18446744073709551615]"},
        {OPT_ULONG, "-1", "18446744073709551615",
         "String [-1] is not a valid positive integer, will use [18446744073709551615]"},
        {OPT_UINT, "2.5", "2", "String [2.5] is not a valid positive integer, will use [2]"},
        {OPT_USHORT, "65535", "65535", ""},
        {OPT_ULONG, "4000000000", "4000000000", ""},
        {OPT_DOUBLE, "1.5", "1.5", ""},
        {OPT_DOUBLE, "abc", "0", "String [abc] is not a valid number, will use [0]"},
        {OPT_DOUBLE, "-2e-3", "-0.002", ""},
        {OPT_FLOAT, "0.25", "0.25", ""},
        {OPT_CHAR, "xyz", "x", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " as type " + std::to_string(c.type));
        alignas(8) unsigned char var[8] = {};
        Capture cap;
        opt_setvalue(var, c.type, c.text);
        EXPECT_STREQ(opt_getstrval(var, c.type), c.rendered);
        const std::string expected = *c.warning ? "OPT Warning: " + std::string(c.warning) + "\n" : "";
        EXPECT_EQ(cap.take().second, expected);
    }
}

TEST_F(OptNumbers, OutOfRangeTextsSaturateInsteadOfOverflowing)
{
    Capture cap;
    EXPECT_EQ(opt_atoi("1e30"), LONG_MAX);
    EXPECT_EQ(opt_atoi("-1e30"), LONG_MIN);
    EXPECT_EQ(opt_atoi("inf"), LONG_MAX);
    EXPECT_EQ(opt_atoi("nan"), 0);
    EXPECT_EQ(opt_atou("1e30"), static_cast<unsigned long>(LLONG_MAX));
    float f = 0;
    opt_setvalue(&f, OPT_FLOAT, "1e300");
    EXPECT_TRUE(std::isinf(f));
    const std::string err = cap.take().second;
    EXPECT_EQ(err, "OPT Warning: String [inf] is not a valid integer, will use "
                   "[9223372036854775807]\n"
                   "OPT Warning: String [nan] is not a valid integer, will use [0]\n");
}

TEST_F(OptNumbers, StringValueIsALibraryCopy)
{
    char text[] = "value";
    char *s = nullptr;
    opt_setvalue(&s, OPT_STRING, text);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s, text);
    EXPECT_STREQ(s, "value");
}

}  // namespace
