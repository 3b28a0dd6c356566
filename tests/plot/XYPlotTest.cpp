#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PlotTestSupport.h"

namespace {

TEST(XYPlot, AutoScaleWidensTheDataRangeAtTheFittedEnds) {
    struct Case {
        const char* name;
        bool autoMin, autoMax;
        double min, max;
    };
    for (const Case& c :
         {Case{"both", true, true, -0.225, 9.225}, Case{"max only", false, true, 0, 9.225},
          Case{"min only", true, false, -0.25, 10}}) {
        SCOPED_TRACE(c.name);
        Tsp_XYPlot plot(nullptr);
        Tsp_XYLine line(nullptr);
        line.SetPlot(&plot);
        for (int x = 0; x <= 9; ++x)
            line.AddXY(x, 1);
        Tsp_Axis* a = plot.BottomAxis();
        a->SetAutoMin(c.autoMin);
        a->SetAutoMax(c.autoMax);
        EXPECT_DOUBLE_EQ(a->Min(), c.min);
        EXPECT_DOUBLE_EQ(a->Max(), c.max);
    }
}

TEST(XYPlot, TheWindowsLeftAxisFitsItsMaximumOnly) {
    Tsp_XYPlot plot(nullptr);
    plot.LeftAxis()->ReadSFlags(129);
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    line.AddXY(0, 4);
    line.AddXY(1, 10);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Min(), 0);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 10.25);
    // Switching AutoMin off while AutoMax stays on refits the maximum against the minimum.
    plot.LeftAxis()->SetAutoMin(true);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Min(), 3.85);
    plot.LeftAxis()->SetMinMax(0, 50);
    plot.LeftAxis()->SetAutoMin(false);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Min(), 0);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 10.25);
    // Switching both off keeps the range.
    plot.LeftAxis()->SetAutoMax(false);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 10.25);
}

TEST(XYPlot, AutoScaleWithoutDataLeavesTheRangeAlone) {
    Tsp_XYPlot plot(nullptr);
    Tsp_XYLine empty(nullptr);
    Tsp_XYLine inactive(nullptr);
    Tsp_XYLine onTop(nullptr);
    for (Tsp_XYLine* l : {&empty, &inactive, &onTop})
        l->SetPlot(&plot);
    inactive.AddXY(100, 100);
    inactive.SetActive(false);
    onTop.SetXAxis(dsxTop);
    onTop.AddXY(200, 200);
    plot.BottomAxis()->SetAutoMin(true);
    plot.BottomAxis()->SetAutoMax(true);
    EXPECT_FALSE(plot.AutoScaleAxis(plot.BottomAxis()));
    EXPECT_DOUBLE_EQ(plot.BottomAxis()->Min(), 0);
    EXPECT_DOUBLE_EQ(plot.BottomAxis()->Max(), 10);
}

TEST(XYPlot, ASinglePointGivesAFlatRangeWidenedByTheScale) {
    Tsp_XYPlot plot(nullptr);
    plot.LeftAxis()->SetAutoMin(true);
    plot.LeftAxis()->SetAutoMax(true);
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    line.AddXY(0, 100);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Min(), 99);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 110);
}

// A value that is not finite reaching a line leaves the axes with the range of the rest.
TEST(XYPlot, ValuesThatAreNotFiniteLeaveTheAxesFinite) {
    Tsp_XYPlot plot(nullptr);
    for (Tsp_Axis* axis : {plot.LeftAxis(), plot.BottomAxis()}) {
        axis->SetAutoMin(true);
        axis->SetAutoMax(true);
    }
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    line.AddXY(std::nan(""), std::nan(""));
    line.AddXY(0, 100);
    line.AddXY(std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Min(), 99);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 110);
    EXPECT_DOUBLE_EQ(plot.BottomAxis()->Min(), 0);
    EXPECT_DOUBLE_EQ(plot.BottomAxis()->Max(), 1);
}

TEST(XYPlot, SeriesChangeKeepsTheLayoutUnlessAnAxisMoved) {
    Tsp_XYPlot plot(nullptr);
    plot.LayoutField(7, 9);
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    line.AddXY(1, 1);  // no automatic axes: nothing moves
    EXPECT_TRUE(plot.LayoutValid());
    line.LineAttr().SetColor(clRed);
    EXPECT_TRUE(plot.LayoutValid());
    plot.LeftAxis()->SetAutoMax(true);
    EXPECT_FALSE(plot.LayoutValid());
}

TEST(XYPlot, LayoutOfTheWindowsPlot) {
    Tsp_XYPlot plot(nullptr);
    plot.SetBounds(0, 0, 369, 247);
    ApplyStoredAxes(plot);
    plot.LayoutField(7, 9);
    EXPECT_EQ(plot.FieldRect(), (TRect{29, 5, 348, 227}));
    struct Line {
        Tsp_Axis* axis;
        int x, y, length;
    };
    for (const Line& l :
         {Line{plot.LeftAxis(), 28, 226, 221}, Line{plot.RightAxis(), 348, 226, 221},
          Line{plot.BottomAxis(), 29, 227, 318}, Line{plot.TopAxis(), 29, 4, 318}}) {
        EXPECT_EQ(l.axis->LineX(), l.x) << l.axis->Flags();
        EXPECT_EQ(l.axis->LineY(), l.y) << l.axis->Flags();
        EXPECT_EQ(l.axis->LineLength(), l.length) << l.axis->Flags();
    }
}

TEST(XYPlot, ATinyPlotStillGetsAFieldThreePixelsWide) {
    Tsp_XYPlot plot(nullptr);
    plot.SetBounds(0, 0, 10, 8);
    plot.LayoutField(7, 9);
    const TRect f = plot.FieldRect();
    EXPECT_EQ(f.Width(), 3);
    EXPECT_EQ(f.Height(), 3);
    EXPECT_EQ(plot.BottomAxis()->LineLength(), 2);
}

TEST(XYPlot, ResizeAndFontChangeAskForANewLayout) {
    Tsp_XYPlot plot(nullptr);
    plot.LayoutField(7, 9);
    plot.Font().SetName("Verdana");
    EXPECT_FALSE(plot.LayoutValid());
    plot.LayoutField(7, 9);
    plot.SetBounds(0, 0, 300, 200);
    EXPECT_FALSE(plot.LayoutValid());
}

}  // namespace
