#include <gtest/gtest.h>

#include "toolkit/StrUtils.h"

namespace {

TEST(StrUtils, IntegerConversion) {
    struct Row {
        const char* text;
        bool ok;
        int32_t value;
    } const rows[] = {
        {"0", true, 0},
        {"0012", true, 12},
        {"  42", true, 42},
        {"+7", true, 7},
        {"-7", true, -7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$1F", true, 31},
        {"x1f", true, 31},
        {"X1F", true, 31},
        {"0x1F", true, 31},
        {"0XaB", true, 171},
        {"-$10", true, -16},
        {" -0x10", true, -16},
        {"$7FFFFFFF", true, INT32_MAX},
        {"$FFFFFFFF", true, -1},  // a 32-bit pattern
        {"$100000000", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"12 ", false, 0},  // nothing may follow the digits
        {"\t5", false, 0},  // only blanks lead
        {"- 1", false, 0},
        {"+-1", false, 0},
        {"1.5", false, 0},
        {"1e3", false, 0},
        {"$G", false, 0},
        {"1F", false, 0},
        {"0x$1", false, 0},
    };
    for (const Row& r : rows) {
        int32_t value = 12345;
        EXPECT_EQ(TryStrToInt(r.text, value), r.ok) << '"' << r.text << '"';
        if (r.ok) {
            EXPECT_EQ(value, r.value) << '"' << r.text << '"';
            EXPECT_EQ(StrToInt(r.text), r.value);
        } else {
            EXPECT_THROW(StrToInt(r.text), EConvertError) << '"' << r.text << '"';
        }
    }
}

TEST(StrUtils, ConversionErrorQuotesTheTextAsGiven) {
    try {
        StrToInt(" 12a");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "' 12a' is not a valid integer value");
        EXPECT_EQ(e.ClassName(), "EConvertError");
    }
}

TEST(StrUtils, TrimAndCase) {
    EXPECT_EQ(Trim(std::string("\x01\t a b \x1f\x20", 8)), "a b");
    EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
    EXPECT_EQ(Trim("\x7f"
                   "a\x7f"),
              "\x7f"
              "a\x7f");  // DEL is above 32
    EXPECT_EQ(Trim(" \r\n "), "");
    EXPECT_EQ(UpperCase("Edit2_Text \xe4"), "EDIT2_TEXT \xe4");
    EXPECT_TRUE(SameText("TForm1", "tform1"));
    EXPECT_FALSE(SameText("TForm1", "TForm"));
}

}  // namespace
