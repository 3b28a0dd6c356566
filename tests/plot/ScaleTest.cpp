#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>
#include <vector>

#include "plot/Axis.h"
#include "plot/LabelFormat.h"
#include "toolkit/SysUtils.h"

namespace {

std::vector<double> Ticks(const Tsp_Scale& s) {
    std::vector<double> v;
    for (int i = 0; i < s.TickCount(); ++i)
        v.push_back(s.TickValue(i));
    return v;
}

void ExpectTicks(const Tsp_Scale& s, const std::vector<double>& expected) {
    const std::vector<double> got = Ticks(s);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], 1e-9) << i;
}

TEST(Scale, SetMinMaxSwapsAndWidensFlatRanges) {
    struct Case {
        double a, b, min, max;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Ranges that are not finite leave the scale's first range, 0 .. 10.
    for (const Case& c :
         {Case{5, 5, 5, 6}, Case{100, 100, 99, 110}, Case{-100, -100, -99, -90}, Case{10, 2, 2, 10},
          Case{0, 0, 0, 1}, Case{nan, 5, 0, 10}, Case{0, inf, 0, 10}, Case{-inf, -inf, 0, 10},
          Case{-1e308, 1e308, 0, 10}, Case{1.7e308, 1.7e308, 0, 10}}) {
        Tsp_Scale s;
        s.SetMinMax(c.a, c.b);
        EXPECT_DOUBLE_EQ(s.Min(), c.min) << c.a << " " << c.b;
        EXPECT_DOUBLE_EQ(s.Max(), c.max) << c.a << " " << c.b;
    }
}

TEST(Scale, FactorBringsTheRangeIntoTenToAHundredScaledUnits) {
    struct Case {
        double min, max, factor;
    };
    for (const Case& c :
         {Case{0, 10, 10}, Case{0, 10.25, 1}, Case{0, 100, 1}, Case{0, 1000, 0.1},
          Case{0, 0.5, 100}, Case{-0.225, 9.225, 10}, Case{45000, 45000.01, 1000}}) {
        Tsp_Scale s;
        s.SetMinMax(c.min, c.max);
        EXPECT_DOUBLE_EQ(s.Factor(), c.factor) << c.min << ".." << c.max;
        const double scaled = s.Range() * s.Factor();
        EXPECT_GE(scaled, 10 - 1e-9);
        EXPECT_LE(scaled, 100 + 1e-9);
    }
}

TEST(Scale, RoundValueTicks) {
    struct Case {
        const char* name;
        double min, max;
        int requested;
        bool inversed;
        std::vector<double> ticks;
    };
    const std::vector<Case> cases = {
        {"0..10.25 with 6", 0, 10.25, 6, false, {0, 2, 4, 6, 8, 10}},
        {"-0.225..9.225 with 5", -0.225, 9.225, 5, false, {-0.2, 2.1, 4.4, 6.7, 9.0}},
        {"0..10 with 5", 0, 10, 5, false, {0, 2.5, 5, 7.5, 10}},
        {"one tick at scaled low", 0.05, 10.25, 1, false, {1}},
        {"one tick inverted at scaled high", 0.05, 10.25, 1, true, {10}},
        {"none", 0, 10, 0, false, {}},
        {"uneven division gives more", 0, 10.25, 4, false, {0, 3, 6, 9}},
        {"inverted runs down", 0, 10, 5, true, {10, 7.5, 5, 2.5, 0}},
        {"capped at 21", 0, 100, 21, false, {0,  5,  10, 15, 20, 25, 30, 35, 40, 45, 50,
                                             55, 60, 65, 70, 75, 80, 85, 90, 95, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tsp_Axis a(nullptr, 0);
        a.SetInversed(c.inversed);
        a.SetTicksCount(c.requested);
        a.SetMinMax(c.min, c.max);
        ExpectTicks(a, c.ticks);
    }
}

// Ticks never closer than their labels resolve: a time axis a few seconds long on a maximised
// window (14 ticks asked for) showed each second three or four times.
TEST(Scale, NeighbouringTickLabelsNeverRepeat) {
    std::setlocale(LC_ALL, "C");
    const double noon = EncodeDate(2024, 5, 17) + 0.5;
    const double second = 1 / 86400.0;
    struct Case {
        const char* name;
        const char* format;
        double min, max;
        int requested;
        bool inversed;
        int fewest;  // ticks still laid out
    };
    const std::vector<Case> cases = {
        {"3 s on a maximised window", "hh:mm:ss", noon, noon + 3.15 * second, 14, false, 3},
        {"the same inverted", "hh:mm:ss", noon, noon + 3.15 * second, 14, true, 3},
        {"25 s", "hh:mm:ss", noon, noon + 25 * second, 14, false, 8},
        {"half a second", "hh:mm:ss", noon, noon + 0.5 * second, 14, false, 1},
        {"one point: a flat range widened to months", "hh:mm:ss", noon, noon, 14, false, 1},
        {"hundredths of a millisecond", "###0.##", 0.331, 0.334, 18, false, 1},
        {"the window's left axis", "###0.##", 0, 10.25, 6, false, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tsp_Axis a(nullptr, 0);
        a.SetLabelFormat(c.format);
        a.SetLabelAsDataTime(std::string(c.format) == "hh:mm:ss");
        a.SetInversed(c.inversed);
        a.SetTicksCount(c.requested);
        a.SetMinMax(c.min, c.max);
        ASSERT_GE(a.TickCount(), c.fewest);
        for (int i = 0; i < a.TickCount(); ++i) {
            EXPECT_GE(a.TickValue(i), a.Min() - 1e-9) << i;
            EXPECT_LE(a.TickValue(i), a.Max() + 1e-9) << i;
            if (i > 0) {
                EXPECT_NE(a.GetTickLabel(i), a.GetTickLabel(i - 1))
                    << "ticks " << i - 1 << ", " << i;
            }
        }
    }
}

TEST(Scale, TicksCountWritesTheRequestAndReadsWhatIsLaidOut) {
    Tsp_Axis a(nullptr, 0);
    a.SetMinMax(0, 10.25);
    a.SetTicksCount(5);
    EXPECT_EQ(a.TicksCount(), 6);  // step 10 div 4 = 2 gives 0..10 in 6
    a.SetTicksCount(30);
    EXPECT_EQ(a.RequestedTicks(), 21);
    EXPECT_LE(a.TicksCount(), 21);
    a.SetTicksCount(0);
    EXPECT_EQ(a.TicksCount(), 0);
    EXPECT_EQ(a.AxisThickness(7, 9), 1);
}

TEST(Scale, FractionModeSpacesTicksOverTheLength) {
    Tsp_Axis a(nullptr, 1u << sfNoTicksLabel);
    a.SetLinePos(0, 100, 100);
    a.SetMinMax(0, 8);
    ExpectTicks(a, {0, 2, 4, 6, 8});
    EXPECT_EQ(a.TickPixel(4), 100);
    a.SetTicksCount(1);
    ExpectTicks(a, {0});
}

TEST(Scale, MappingClampsAndRoundsHalfToEven) {
    Tsp_Scale h;
    h.SetLinePos(10, 0, 100);
    h.SetMinMax(0, 100);
    Tsp_Scale v(1u << sfVertical);
    v.SetLinePos(0, 200, 100);
    v.SetMinMax(0, 100);
    Tsp_Scale inv(1u << sfInversed);
    inv.SetLinePos(10, 0, 100);
    inv.SetMinMax(0, 100);
    struct Case {
        const Tsp_Scale* s;
        double value;
        int pixel;
    };
    for (const Case& c :
         {Case{&h, 0, 10}, Case{&h, 100, 110}, Case{&h, 50.5, 60}, Case{&h, 51.5, 62},
          Case{&h, 1e9, 16383}, Case{&h, -1e9, -16383}, Case{&v, 0, 200}, Case{&v, 100, 100},
          Case{&v, 1e12, -16383}, Case{&inv, 0, 110}, Case{&inv, 100, 10}}) {
        EXPECT_EQ(c.s->ValueToPixel(c.value), c.pixel) << c.value;
    }
    EXPECT_DOUBLE_EQ(h.PixelToValue(60), 50);
    EXPECT_DOUBLE_EQ(v.PixelToValue(150), 50);
    EXPECT_DOUBLE_EQ(h.PixelToValue(20000), 19990);  // no clamping this way
}

TEST(Scale, SmallPanKeepsTheLatticeLargePanRestartsIt) {
    Tsp_Scale s;
    s.SetLinePos(0, 0, 100);
    s.SetMinMax(0, 10);     // ticks 0, 2.5, ... 10; 10 pixels a unit
    s.ScrollByPixels(-10);  // content right: one unit less
    EXPECT_DOUBLE_EQ(s.Min(), -1);
    EXPECT_DOUBLE_EQ(s.Max(), 9);
    ExpectTicks(s, {0, 2.5, 5, 7.5});
    EXPECT_EQ(s.TickPixel(0), 10);
    s.ScrollByPixels(13);
    EXPECT_DOUBLE_EQ(s.Min(), 0.3);
    ExpectTicks(s, {2.5, 5, 7.5, 10});
    EXPECT_EQ(s.Step(), 25);

    s.ScrollByPixels(-13);
    s.ScrollByPixels(115);  // more than the range: ticks chosen anew from scaled low
    EXPECT_DOUBLE_EQ(s.Min(), 10.5);
    ExpectTicks(s, {10.5, 13, 15.5, 18, 20.5});
}

TEST(Scale, PanOfAnInvertedAxisMovesItsLatticeToo) {
    Tsp_Scale s(1u << sfInversed);
    s.SetLinePos(0, 0, 100);
    s.SetMinMax(0, 10);
    s.ScrollByPixels(10);  // pixels per unit are negative: the range goes down
    EXPECT_DOUBLE_EQ(s.Min(), -1);
    ExpectTicks(s, {7.5, 5, 2.5, 0});
}

TEST(Scale, FractionTicksMoveWithTheContent) {
    Tsp_Scale s(1u << sfNoTicksLabel);
    s.SetLinePos(0, 0, 100);
    s.SetMinMax(0, 10);  // ticks every 25 pixels
    s.ScrollByPixels(10);
    ASSERT_EQ(s.TickCount(), 4);
    EXPECT_EQ(s.TickPixel(0), 15);
    EXPECT_EQ(s.TickPixel(3), 90);
}

TEST(Scale, StoredDesignValues) {
    Tsp_Axis a(nullptr, 0);
    a.ReadSFlags(448);
    a.ReadSLinePos(29, 227, 318);
    a.ReadFMin(-0.225);
    EXPECT_DOUBLE_EQ(a.Min(), -0.225);
    EXPECT_EQ(a.OriginPixel(), 10);  // nothing recomputed yet
    a.ReadFMax(9.225);
    EXPECT_TRUE(a.AutoMin());
    EXPECT_TRUE(a.AutoMax());
    EXPECT_TRUE(a.LabelAsDataTime());
    EXPECT_EQ(a.OriginPixel(), 29);
    EXPECT_EQ(a.ValueToPixel(9.225), 347);
}

TEST(Scale, BoundSettersSwitchTheirAutomaticFlagOffAndForgetTheSavedRange) {
    Tsp_Axis a(nullptr, (1u << sfAutoMin) | (1u << sfAutoMax));
    a.SaveRange();
    a.SetMin(-5);
    EXPECT_FALSE(a.AutoMin());
    EXPECT_TRUE(a.AutoMax());
    EXPECT_FALSE(a.HasSavedRange());
    EXPECT_DOUBLE_EQ(a.Min(), -5);
    a.SetMax(20);
    EXPECT_FALSE(a.AutoMax());
    EXPECT_DOUBLE_EQ(a.Max(), 20);
}

TEST(Scale, SaveRangeKeepsTheFirstRestoreGivesItBackOnce) {
    Tsp_Axis a(nullptr, 0);
    a.SetMinMax(1, 2);
    a.SaveRange();
    a.SetMinMax(3, 4);
    a.SaveRange();
    a.RestoreRange();
    EXPECT_DOUBLE_EQ(a.Min(), 1);
    EXPECT_DOUBLE_EQ(a.Max(), 2);
    a.SetMinMax(5, 6);
    a.RestoreRange();
    EXPECT_DOUBLE_EQ(a.Min(), 5);
}

TEST(Scale, OverhangsOfTheWindowsAxes) {
    Tsp_Axis left(nullptr, 129);
    left.SetTicksCount(6);
    left.SetLinePos(28, 226, 221);
    left.SetMinMax(0, 10.25);
    EXPECT_EQ(left.AxisThickness(7, 9), 1 + 2 * 7 + 5);
    EXPECT_EQ(left.StartOverhang(7, 9), 4);
    EXPECT_EQ(left.EndOverhang(7, 9), 0);  // 10 lies 5 pixels below the end
    Tsp_Axis bottom(nullptr, 448);
    bottom.SetLabelFormat("hh:mm:ss");
    bottom.SetLinePos(29, 227, 318);
    bottom.SetMinMax(-0.225, 9.225);
    EXPECT_EQ(bottom.AxisThickness(7, 9), 1 + 9 + 5);
    EXPECT_EQ(bottom.StartOverhang(7, 9), 28 - 1);
    EXPECT_EQ(bottom.EndOverhang(7, 9), 28 - 8);
}

class LabelTest : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(LabelTest, NumberPattern) {
    struct Case {
        double value;
        const char* text;
    };
    for (const Case& c : {Case{0, "0"}, Case{2.5, "2.5"}, Case{10.25, "10.25"}, Case{-0.2, "-0.2"},
                          Case{10, "10"}, Case{1234567, "1234567"}, Case{0.004, "0"},
                          Case{-0.004, "0"}, Case{0.999, "1"}, Case{7.125, "7.12"}}) {
        EXPECT_EQ(FormatFloat("###0.##", c.value), c.text) << c.value;
    }
    EXPECT_EQ(FormatFloat("0.00", 2.5), "2.50");
    EXPECT_EQ(FormatFloat("#.#", 0.5), ".5");
}

TEST_F(LabelTest, TimeOfDayPattern) {
    struct Case {
        double value;
        const char* text;
    };
    const double day = EncodeDate(2024, 5, 17);
    for (const Case& c : {Case{day, "00:00:00"}, Case{day + EncodeTime(13, 4, 5, 0), "13:04:05"},
                          Case{day + EncodeTime(23, 59, 59, 400), "23:59:59"},
                          Case{0.5, "12:00:00"}, Case{-0.2, "04:48:00"}}) {
        EXPECT_EQ(FormatDateTime("hh:mm:ss", c.value), c.text) << c.value;
    }
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", day + 0.75), "2024-05-17 18:00");
}

TEST_F(LabelTest, AxisLabelsChooseTheirFormatter) {
    Tsp_Axis a(nullptr, 0);
    a.SetMinMax(-0.225, 9.225);
    EXPECT_EQ(a.GetTickLabel(0), "-0.2");
    a.SetLabelFormat("hh:mm:ss");
    a.SetLabelAsDataTime(true);
    EXPECT_EQ(a.GetTickLabel(1), "02:24:00");  // 2.1 days
}

}  // namespace
