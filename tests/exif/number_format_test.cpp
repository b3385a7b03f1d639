#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "exif/number_format.h"

namespace exif {
namespace {

TEST(NumberFormat, IntText) {
    struct Case {
        std::int64_t value;
        const char* expected;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {-1, "-1"},
        {4294967295, "4294967295"},
        {-2147483648LL, "-2147483648"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
    };
    for (const Case& c : cases) EXPECT_EQ(IntText(c.value), c.expected) << c.value;
}

TEST(NumberFormat, GenText) {
    struct Case {
        const char* name;
        double value;
        const char* expected;
    } cases[] = {
        {"whole", 72, "72"},
        {"one decimal", 2.8, "2.8"},
        {"a third: 15 digits", 1.0 / 3, "0.333333333333333"},
        {"two thirds rounds the 15th digit", 2.0 / 3, "0.666666666666667"},
        {"sum error hidden by 15 digits", 0.1 + 0.2, "0.3"},
        {"negative", -0.5, "-0.5"},
        {"zero", 0.0, "0"},
        {"negative zero", -0.0, "0"},
        {"largest rational", 4294967295.0, "4294967295"},
        {"tiny quotient", 1.0 / 4294967295.0, "2.3283064370808e-10"},
        {"beyond 15 digits", 123456789012345678.0, "1.23456789012346e+17"},
        {"huge", DBL_MAX, "1.79769313486232e+308"},
        {"infinity never shows", std::numeric_limits<double>::infinity(), ""},
        {"nan never shows", std::numeric_limits<double>::quiet_NaN(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(GenText(c.value), c.expected) << c.name;
}

TEST(NumberFormat, FixText) {
    struct Case {
        const char* name;
        double value;
        int decimals;
        const char* expected;
    } cases[] = {
        {"whole", 7, 2, "7.00"},
        {"half", 0.5, 2, "0.50"},
        {"four decimals", 123.4, 4, "123.4000"},
        {"three decimals", 4000, 3, "4000.000"},
        {"minus a third", -1.0 / 3, 2, "-0.33"},
        {"tie rounds away from zero", 0.125, 2, "0.13"},
        {"negative tie rounds away from zero", -0.125, 2, "-0.13"},
        {"tie 0.375 (even neighbour would be 0.38 too)", 0.375, 2, "0.38"},
        {"tie 0.625 (even neighbour would be 0.62)", 0.625, 2, "0.63"},
        {"tie 2.5/1000 at three decimals", 0.0625, 3, "0.063"},
        {"tie at four decimals", 0.03125, 4, "0.0313"},
        {"tie with a whole part", 1023.96875, 4, "1023.9688"},
        {"2.675 is stored below the tie", 2.675, 2, "2.67"},
        {"1.005 is stored below the tie", 1.005, 2, "1.00"},
        {"0.145 is stored below the tie", 0.145, 2, "0.14"},
        {"0.135 is stored above the tie", 0.135, 2, "0.14"},
        {"2.345 is stored above the tie", 2.345, 2, "2.35"},
        {"carry into the whole part", 9.999, 2, "10.00"},
        {"negative carry", -9.999, 2, "-10.00"},
        {"negative zero", -0.0, 2, "0.00"},
        {"tiny negative rounds to zero", -0.001, 2, "0.00"},
        {"tiny negative at four decimals", -0.00004, 4, "0.0000"},
        {"negative tie to zero is not a zero", -0.005, 2, "-0.01"},
        {"large", 4294967295.0, 4, "4294967295.0000"},
        {"infinity never shows", std::numeric_limits<double>::infinity(), 2, ""},
        {"nan never shows", std::numeric_limits<double>::quiet_NaN(), 3, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FixText(c.value, c.decimals), c.expected) << c.name;
}

TEST(NumberFormat, RoundedText) {
    struct Case {
        const char* name;
        double value;
        int decimals;
        const char* expected;
    } cases[] = {
        {"rounds to one decimal", 5.5957, 1, "5.6"},
        {"whole after rounding", 2.0004, 1, "2"},
        {"trailing zero dropped", 13.7700000001, 4, "13.77"},
        {"all four decimals", 28.0468, 4, "28.0468"},
        {"tie rounds away from zero", 0.25, 1, "0.3"},
        {"negative tie rounds away from zero", -0.25, 1, "-0.3"},
        {"negative rounding to zero", -0.01, 1, "0"},
        {"carry into the whole part", 9.96, 1, "10"},
        {"whole number", 14, 4, "14"},
        {"no decimals asked", 2.5, 0, "3"},
        {"infinity never shows", std::numeric_limits<double>::infinity(), 1, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(RoundedText(c.value, c.decimals), c.expected) << c.name;
}

TEST(NumberFormat, FixTextOfTheLargestDouble) {
    const std::string text = FixText(DBL_MAX, 2);
    ASSERT_EQ(text.size(), 309u + 3u);
    EXPECT_EQ(text.substr(0, 6), "179769");
    EXPECT_EQ(text.substr(text.size() - 3), ".00");
}

TEST(NumberFormat, LeadingNumber) {
    struct Case {
        const char* name;
        std::string text;
        double expected;
    } cases[] = {
        {"version 0220", "0220", 220},
        {"version 0230", "0230", 230},
        {"version 0100", "0100", 100},
        {"digits then letters", "12ab", 12},
        {"empty", "", 0},
        {"letters", "abc", 0},
        {"leading space is not a digit", " 12", 0},
        {"sign is not a digit", "-5", 0},
        {"exponent is not read", "1e5", 1},
        {"decimal point is not read", "2.5", 2},
        {"long run", "12345678901234567890", 12345678901234567890.0},
        {"run beyond a double saturates", std::string(400, '9'), DBL_MAX},
        {"long run of zeros", std::string(5000, '0') + "7", 7},
    };
    for (const Case& c : cases) {
        const double value = LeadingNumber(c.text);
        EXPECT_TRUE(std::isfinite(value)) << c.name;
        EXPECT_EQ(value, c.expected) << c.name;
    }
}

// A GUI toolkit sets the user's locale at start-up; a decimal comma must not
// leak into the numbers ("F2,8").
TEST(NumberFormat, IgnoresTheProgramLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = name;
            break;
        }
    if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string gen = GenText(2.8);
    const std::string fix = FixText(-1.0 / 3, 2);
    const std::string tie = FixText(0.125, 2);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(gen, "2.8") << comma;
    EXPECT_EQ(fix, "-0.33") << comma;
    EXPECT_EQ(tie, "0.13") << comma;
}

}  // namespace
}  // namespace exif
