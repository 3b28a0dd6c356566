#include <gtest/gtest.h>

#include <cmath>

#include "settings/JvStoredValues.h"
#include "toolkit/StrUtils.h"
#include "toolkit/Strings.h"

namespace {

TEST(Variant, FloatTexts) {
    struct Row {
        double value;
        const char* text;
    } rows[] = {
        {0.0, "0"},
        {46362.5327893519, "46362.5327893519"},
        {46362.532789351848, "46362.5327893518"},
        {-2.5, "-2.5"},
        {100.0, "100"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {0.00001, "0.00001"},
        {0.000001234, "1.234E-6"},
        {0.1 + 0.2, "0.3"},
        {1e300, "1E300"},
        {INFINITY, "INF"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FloatToStr(r.value, '.'), r.text) << r.value;
    }
    EXPECT_EQ(FloatToStr(46362.5, ','), "46362,5");
}

TEST(Variant, NumberTexts) {
    struct Row {
        const char* text;
        bool ok;
        double value;
    } rows[] = {
        {" 46362.5 ", true, 46362.5},
        {"-1.5E3", true, -1500},
        {"+.5", true, 0.5},
        {"7.", true, 7},
        {"46362,5", false, 0},
        {"1.2.3", false, 0},
        {"", false, 0},
        {"e5", false, 0},
        {"1e", false, 0},
        {"nan", false, 0},
        {"1e999", false, 0},
        {"0x10", false, 0},
    };
    for (const Row& r : rows) {
        double v = -99;
        EXPECT_EQ(TryStrToFloat(r.text, v, '.'), r.ok) << r.text;
        if (r.ok) {
            EXPECT_DOUBLE_EQ(v, r.value) << r.text;
        }
    }
    double v = 0;
    EXPECT_TRUE(TryStrToFloat("46362,5", v, ','));
    EXPECT_FALSE(TryStrToFloat("46362.5", v, ','));
}

TEST(Variant, Kinds) {
    EXPECT_EQ(TVariant().AsText(), "");
    EXPECT_EQ(TVariant::Null().AsText(), "");
    EXPECT_EQ(TVariant("x").AsText(), "x");
    EXPECT_DOUBLE_EQ(TVariant().AsFloat(), 0.0);
    EXPECT_DOUBLE_EQ(TVariant(FloatToStr(2.25)).AsFloat(), 2.25);
    EXPECT_THROW(TVariant::Null().AsFloat(), EVariantError);
    try {
        TVariant("soon").AsFloat();
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'soon' is not a valid floating point value");
    }
    EXPECT_NE(TVariant("0"), TVariant(0.0)) << "a text stays a text";
}

TEST(StoredValues, NamesAreUniqueIgnoringCase) {
    TJvStoredValues values;
    values.Add("last", 0.0);
    TJvStoredValue& other = values.Add("other");
    try {
        values.Add("LAST");
        ADD_FAILURE();
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    EXPECT_THROW(other.SetName("Last"), EStringListError);
    other.SetName("OTHER");  // its own name in another case
    values.Write("Next", "t");
    EXPECT_EQ(values.Count(), 3);
    EXPECT_EQ(values.Read("next"), TVariant("t"));
    EXPECT_TRUE(values.Read("none").IsNull());
}

}  // namespace
