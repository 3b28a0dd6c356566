#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "PlotTestSupport.h"

namespace {

struct Extents {
    bool ok;
    double xMin, xMax, yMin, yMax;
};

Extents Read(Tsp_XYDataSeries& s) {
    Extents e{true, -1, -1, -1, -1};
    e.ok = s.GetXMin(e.xMin) & s.GetXMax(e.xMax) & s.GetYMin(e.yMin) & s.GetYMax(e.yMax);
    return e;
}

TEST(Series, EmptySeriesHasNoExtentsAndLeavesTheValueAlone) {
    Tsp_XYLine line(nullptr);
    double v = 42;
    EXPECT_FALSE(line.GetXMin(v));
    EXPECT_FALSE(line.GetYMax(v));
    EXPECT_EQ(v, 42);
}

TEST(Series, ExtentsFollowAddsAndDeletes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> points;
        std::vector<int> deletes;                      // applied after all points
        std::vector<std::pair<double, double>> later;  // added after the deletes, before a read
        Extents expected;
    };
    const std::vector<Case> cases = {
        {"adds only", {{3, 30}, {1, 10}, {2, 50}}, {}, {}, {true, 1, 3, 10, 50}},
        {"a point equal to an extent", {{1, 10}, {3, 30}, {3, 10}}, {}, {}, {true, 1, 3, 10, 30}},
        {"delete of the minimum rebuilds",
         {{1, 10}, {5, 50}, {3, 30}},
         {0},
         {},
         {true, 3, 5, 30, 50}},
        {"add after delete joins the rebuild",
         {{1, 10}, {5, 50}, {3, 30}},
         {1},
         {{0.5, 70}},
         {true, 0.5, 3, 10, 70}},
        {"deleting everything", {{1, 10}, {2, 20}}, {0, 0}, {}, {false, -1, -1, -1, -1}},
        {"values that are not finite are left out",
         {{nan, 5}, {1, 10}, {2, inf}, {3, 30}, {-inf, 0}},
         {},
         {},
         {true, 1, 3, 10, 30}},
        {"nothing finite", {{nan, nan}, {1, -inf}}, {}, {}, {false, -1, -1, -1, -1}},
        {"a rebuild leaves them out too",
         {{1, 10}, {nan, 0}, {2, 20}},
         {0},
         {},
         {true, 2, 2, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tsp_XYLine line(nullptr);
        for (auto [x, y] : c.points)
            line.AddXY(x, y);
        for (int i : c.deletes)
            line.Delete(i);
        for (auto [x, y] : c.later)
            line.AddXY(x, y);
        const Extents e = Read(line);
        EXPECT_EQ(e.ok, c.expected.ok);
        if (c.expected.ok) {
            EXPECT_EQ(e.xMin, c.expected.xMin);
            EXPECT_EQ(e.xMax, c.expected.xMax);
            EXPECT_EQ(e.yMin, c.expected.yMin);
            EXPECT_EQ(e.yMax, c.expected.yMax);
        }
    }
}

TEST(Series, DeleteKeepsOrderAndIgnoresIndexesOutOfRange) {
    TCountingPlot plot;
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    for (int i = 0; i < 4; ++i)
        line.AddXY(i, 10 * i);
    plot.SeriesChangedCount = 0;
    line.Delete(-1);
    line.Delete(4);
    EXPECT_EQ(line.Count(), 4);
    EXPECT_EQ(plot.SeriesChangedCount, 0);
    line.Delete(1);
    ASSERT_EQ(line.Count(), 3);
    EXPECT_EQ(line.XValue(0), 0);
    EXPECT_EQ(line.XValue(1), 2);
    EXPECT_EQ(line.YValue(2), 30);
    EXPECT_EQ(plot.SeriesChangedCount, 1);
}

TEST(Series, PointsSurviveTheStorageGrowing) {
    Tsp_XYLine line(nullptr);
    for (int i = 0; i < 100; ++i)
        line.AddXY(i, 2 * i);
    ASSERT_EQ(line.Count(), 100);
    for (const int i : {0, 31, 32, 33, 64, 65, 99}) {
        EXPECT_EQ(line.XValue(i), i);
        EXPECT_EQ(line.YValue(i), 2 * i);
    }
}

TEST(Series, ClearTellsThePlotOnlyWhenAnActiveUnlockedSeriesHeldPoints) {
    struct Case {
        const char* name;
        int points;
        bool active;
        bool locked;
        int expected;
    };
    for (const Case& c :
         {Case{"active with points", 2, true, false, 1}, Case{"already empty", 0, true, false, 0},
          Case{"inactive", 2, false, false, 0}, Case{"locked", 2, true, true, 0}}) {
        SCOPED_TRACE(c.name);
        TCountingPlot plot;
        Tsp_XYLine line(nullptr);
        line.SetPlot(&plot);
        for (int i = 0; i < c.points; ++i)
            line.AddXY(i, i);
        line.SetActive(c.active);
        line.SetLockInvalidate(c.locked);
        plot.SeriesChangedCount = 0;
        line.Clear();
        EXPECT_EQ(line.Count(), 0);
        EXPECT_EQ(plot.SeriesChangedCount, c.expected);
    }
}

TEST(Series, ALockedBatchReachesThePlotAsOneChange) {
    TCountingPlot plot;
    Tsp_XYLine line(nullptr);
    line.SetPlot(&plot);
    plot.SeriesChangedCount = 0;
    line.SetLockInvalidate(true);
    for (int i = 0; i < 50; ++i)
        line.AddXY(i, i);
    for (int i = 0; i < 10; ++i)
        line.Delete(0);
    EXPECT_EQ(plot.SeriesChangedCount, 0);
    line.SetLockInvalidate(true);  // unchanged: nothing
    line.SetLockInvalidate(false);
    EXPECT_EQ(plot.SeriesChangedCount, 1);
    line.SetLockInvalidate(false);
    EXPECT_EQ(plot.SeriesChangedCount, 1);
}

TEST(Series, InactiveSeriesIsLeftOutOfScaling) {
    Tsp_XYPlot plot(nullptr);
    Tsp_XYLine a(nullptr);
    Tsp_XYLine b(nullptr);
    a.SetPlot(&plot);
    b.SetPlot(&plot);
    plot.LeftAxis()->SetAutoMin(true);
    plot.LeftAxis()->SetAutoMax(true);
    a.AddXY(0, 10);
    a.AddXY(1, 20);
    b.AddXY(0, 100);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 102.25);
    b.SetActive(false);
    EXPECT_DOUBLE_EQ(plot.LeftAxis()->Max(), 20.25);
}

TEST(Series, AttachingAndDestructionKeepBothSidesConsistent) {
    auto plot = std::make_unique<Tsp_XYPlot>(nullptr);
    auto line = std::make_unique<Tsp_XYLine>(nullptr);
    line->SetPlot(plot.get());
    line->SetPlot(plot.get());
    EXPECT_EQ(plot->SeriesCount(), 1);
    line.reset();
    EXPECT_EQ(plot->SeriesCount(), 0);

    line = std::make_unique<Tsp_XYLine>(nullptr);
    line->SetPlot(plot.get());
    plot.reset();
    EXPECT_EQ(line->Plot(), nullptr);
    line->AddXY(1, 1);  // must not reach the freed plot
    EXPECT_EQ(line->Count(), 1);
}

TEST(Series, OwnerDestroysPlotAndSeriesInEitherOrder) {
    for (bool plotFirst : {true, false}) {
        TComponent owner(nullptr);
        Tsp_XYPlot* plot = nullptr;
        if (plotFirst)
            plot = new Tsp_XYPlot(&owner);
        auto* line = new Tsp_XYLine(&owner);
        if (!plotFirst)
            plot = new Tsp_XYPlot(&owner);
        line->SetPlot(plot);
        line->AddXY(1, 2);
    }  // the owner frees both; the sanitizer build checks nothing dangles
    SUCCEED();
}

TEST(Series, PointAttrSizesAreKeptAsHalves) {
    Tsp_XYLine line(nullptr);
    Tsp_PointAttr& p = line.PointAttr();
    for (auto [size, readBack] :
         std::vector<std::pair<int, int>>{{5, 5}, {4, 5}, {1, 1}, {0, 1}, {-3, 1}}) {
        p.SetHSize(size);
        p.SetVSize(size);
        EXPECT_EQ(p.HSize(), readBack) << size;
        EXPECT_EQ(p.VSize(), readBack) << size;
    }
}

}  // namespace
