#include <gtest/gtest.h>

#include <cmath>

#include "settings/JvStoredValues.h"
#include "toolkit/StrUtils.h"
#include "toolkit/Strings.h"

namespace {

TEST(Variant, NumberTexts) {
    struct Row {
        double value;
        const char* text;
    } rows[] = {
        {0.0, "0"},
        {46362.5327893519, "46362.5327893519"},
        {46362.532789351848, "46362.5327893518"},  // 15 digits of the number itself
        {-100.0, "-100"},
        {1234567890123456.0, "1.23456789012346E15"},
        {0.00001, "0.00001"},
        {0.000001234, "1.234E-6"},
        {0.1 + 0.2, "0.3"},
        {INFINITY, "INF"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FloatToStr(r.value, '.'), r.text) << r.value;
        double back = 0;
        EXPECT_EQ(TryStrToFloat(r.text, back, '.'), std::isfinite(r.value)) << r.text;
    }
    EXPECT_EQ(FloatToStr(46362.5, ','), "46362,5");
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(" +1,5e1 ", v, ','));
    EXPECT_EQ(v, 15.0);
    for (const char* bad : {"46362.5", "1,2,3", "", "e5", "1e", "nan", "1e999", "0x10"}) {
        EXPECT_FALSE(TryStrToFloat(bad, v, ',')) << bad;
    }
}

TEST(Variant, Kinds) {
    EXPECT_EQ(TVariant::Null().AsText(), "");
    EXPECT_EQ(TVariant().AsFloat(), 0.0);
    EXPECT_EQ(TVariant(FloatToStr(2.25)).AsFloat(), 2.25);
    EXPECT_THROW(TVariant::Null().AsFloat(), EVariantError);
    EXPECT_THROW(TVariant("soon").AsFloat(), EConvertError);
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
    other.SetName("OTHER");
    values.Write("Next", "t");
    EXPECT_EQ(values.Count(), 3);
    EXPECT_EQ(values.Read("next"), TVariant("t"));
}

}  // namespace
