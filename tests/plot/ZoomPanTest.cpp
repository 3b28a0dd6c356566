#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlotTestSupport.h"

namespace {

constexpr TShiftState kZoom = ssShift;
constexpr TShiftState kPan = ssCtrl;

struct Range {
    double min, max;
};

Range RangeOf(const Tsp_Axis* a) {
    return {a->Min(), a->Max()};
}

void ExpectRange(const Tsp_Axis* a, Range r) {
    EXPECT_DOUBLE_EQ(a->Min(), r.min);
    EXPECT_DOUBLE_EQ(a->Max(), r.max);
}

class ZoomPan : public ::testing::Test {
protected:
    void SetUp() override {
        plot.SetBounds(0, 0, 369, 247);
        plot.LayoutField(7, 9);
        field = plot.FieldRect();
        for (Tsp_Axis* a : Axes())
            before.push_back(RangeOf(a));
    }
    void TearDown() override { TControl::SetScreenCursor(crDefault); }

    std::vector<Tsp_Axis*> Axes() {
        return {plot.LeftAxis(), plot.RightAxis(), plot.BottomAxis(), plot.TopAxis()};
    }

    // Press with the keys and the left button, move through the points, release.
    void Drag(TShiftState keys, TPoint from, const std::vector<TPoint>& moves) {
        plot.MouseDown(TMouseButton::mbLeft, keys | ssLeft, from.X, from.Y);
        TPoint at = from;
        for (TPoint p : moves) {
            plot.MouseMove(keys | ssLeft, p.X, p.Y);
            at = p;
        }
        plot.MouseUp(TMouseButton::mbLeft, keys, at.X, at.Y);
    }

    void ExpectUnchanged() {
        const auto axes = Axes();
        for (size_t i = 0; i < axes.size(); ++i)
            ExpectRange(axes[i], before[i]);
    }

    Tsp_XYPlot plot{nullptr};
    TRect field;
    std::vector<Range> before;
};

TEST_F(ZoomPan, PressesThatStartNothing) {
    struct Case {
        const char* name;
        TMouseButton button;
        TShiftState shift;
    };
    for (const Case& c : {Case{"shift and ctrl", TMouseButton::mbLeft, ssShift | ssCtrl | ssLeft},
                          Case{"right button", TMouseButton::mbRight, ssShift | ssRight},
                          Case{"double click", TMouseButton::mbLeft, ssShift | ssLeft | ssDouble},
                          Case{"no key", TMouseButton::mbLeft, ssLeft},
                          Case{"alt", TMouseButton::mbLeft, ssAlt | ssLeft}}) {
        plot.MouseDown(c.button, c.shift, 100, 100);
        EXPECT_EQ(plot.DragState(), dgIdle) << c.name;
        plot.MouseMove(c.shift, 150, 150);
        plot.MouseUp(c.button, 0, 150, 150);
    }
    ExpectUnchanged();
}

TEST_F(ZoomPan, TheBandAppearsOnlyPastThreePixels) {
    plot.MouseDown(TMouseButton::mbLeft, kZoom | ssLeft, 100, 100);
    EXPECT_EQ(plot.DragState(), dgZoomPending);
    plot.MouseMove(kZoom | ssLeft, 103, 97);
    EXPECT_EQ(plot.DragState(), dgZoomPending);
    plot.MouseMove(kZoom | ssLeft, 100, 104);
    EXPECT_EQ(plot.DragState(), dgZooming);
    EXPECT_EQ(TControl::ScreenCursor(), crCross);
    // Keys pressed or released during the drag change nothing.
    plot.MouseMove(ssLeft, 150, 140);
    EXPECT_EQ(plot.DragCorner(), (TPoint{150, 140}));
    plot.MouseUp(TMouseButton::mbLeft, 0, 150, 140);
    EXPECT_EQ(plot.DragState(), dgIdle);
    EXPECT_EQ(TControl::ScreenCursor(), plot.Cursor());
}

TEST_F(ZoomPan, ABandZoomsEveryAxisToItsEdges) {
    const Tsp_Axis* b = plot.BottomAxis();
    const Tsp_Axis* l = plot.LeftAxis();
    const Range x{b->PixelToValue(100), b->PixelToValue(200)};
    const Range y{l->PixelToValue(150), l->PixelToValue(50)};
    const Range t{plot.TopAxis()->PixelToValue(100), plot.TopAxis()->PixelToValue(200)};
    Drag(kZoom, {100, 50}, {{120, 70}, {200, 150}});
    ExpectRange(b, x);
    ExpectRange(l, y);
    ExpectRange(plot.TopAxis(), t);
    EXPECT_FALSE(plot.LayoutValid());
}

TEST_F(ZoomPan, ABackwardDragZoomsLikeAForwardOneShiftedByAPixel) {
    Tsp_XYPlot forward(nullptr);
    forward.SetBounds(0, 0, 369, 247);
    forward.LayoutField(7, 9);
    forward.ZoomToRect({101, 51, 201, 151}, zpdBoth);
    Drag(kZoom, {200, 150}, {{100, 50}});
    for (auto [mine, theirs] : {std::pair{plot.BottomAxis(), forward.BottomAxis()},
                                std::pair{plot.LeftAxis(), forward.LeftAxis()}}) {
        ExpectRange(mine, RangeOf(theirs));
    }
}

TEST_F(ZoomPan, ABandTwoPixelsWideChangesNothing) {
    Drag(kZoom, {100, 100}, {{102, 140}});
    ExpectUnchanged();
    Drag(kZoom, {100, 100}, {{150, 102}});
    ExpectUnchanged();
}

TEST_F(ZoomPan, AHandlerMayRefuseOneAxisWhileTheOthersZoom) {
    std::vector<Tsp_Axis*> asked;
    plot.OnAxisZoom = [&](Tsp_Axis* sender, double&, double&, bool& canZoom) {
        asked.push_back(sender);
        canZoom = sender != plot.LeftAxis();
    };
    Drag(kZoom, {100, 50}, {{200, 150}});
    EXPECT_EQ(asked, (std::vector<Tsp_Axis*>{plot.BottomAxis(), plot.TopAxis(), plot.LeftAxis(),
                                             plot.RightAxis()}));
    ExpectRange(plot.LeftAxis(), before[0]);
    EXPECT_NE(plot.BottomAxis()->Min(), before[2].min);
    EXPECT_NE(plot.RightAxis()->Min(), before[1].min);
}

TEST_F(ZoomPan, AHandlerMayChangeTheRangeItIsOffered) {
    plot.OnAxisZoom = [](Tsp_Axis*, double& min, double& max, bool&) {
        min = 1;
        max = 3;
    };
    Drag(kZoom, {100, 50}, {{200, 150}});
    for (Tsp_Axis* a : Axes())
        ExpectRange(a, {1, 3});
}

TEST_F(ZoomPan, LaterAxesZoomToWhatTheUserSawEvenWhenAHandlerMovesThem) {
    const Range y{plot.LeftAxis()->PixelToValue(150), plot.LeftAxis()->PixelToValue(50)};
    // As the window's handler may: refitting the left axis while the bottom one is asked.
    plot.OnAxisZoom = [&](Tsp_Axis* sender, double&, double&, bool&) {
        if (sender == plot.BottomAxis())
            plot.LeftAxis()->SetMinMax(500, 900);
    };
    Drag(kZoom, {100, 50}, {{200, 150}});
    ExpectRange(plot.LeftAxis(), y);
}

TEST_F(ZoomPan, HorizontalZoomSpansTheFieldsHeightAndMovesOnlyTheHorizontalAxes) {
    plot.SetZoom(zpdHorizontal);
    plot.MouseDown(TMouseButton::mbLeft, kZoom | ssLeft, 100, 100);
    plot.MouseMove(kZoom | ssLeft, 200, 101);
    EXPECT_EQ(plot.DragAnchor(), (TPoint{100, field.Top}));
    EXPECT_EQ(plot.DragCorner(), (TPoint{200, field.Bottom}));
    plot.MouseUp(TMouseButton::mbLeft, 0, 200, 101);
    ExpectRange(plot.LeftAxis(), before[0]);
    ExpectRange(plot.RightAxis(), before[1]);
    EXPECT_NE(plot.BottomAxis()->Max(), before[2].max);
}

TEST_F(ZoomPan, APanMovesTheRangeWithTheMouseAndKeepsTheTickSpacing) {
    Tsp_Axis* b = plot.BottomAxis();
    const double unitsPerPixel = 1 / b->PixelsPerUnit();
    const int step = b->Step();
    plot.MouseDown(TMouseButton::mbLeft, kPan | ssLeft, 100, 100);
    EXPECT_EQ(plot.DragState(), dgPanPending);
    plot.MouseMove(kPan | ssLeft, 100, 100);
    EXPECT_EQ(plot.DragState(), dgPanPending);
    plot.MouseMove(kPan | ssLeft, 104, 100);
    plot.MouseMove(kPan | ssLeft, 110, 100);
    EXPECT_EQ(plot.DragState(), dgPanning);
    plot.MouseUp(TMouseButton::mbLeft, 0, 110, 100);
    EXPECT_NEAR(b->Min(), before[2].min - 10 * unitsPerPixel, 1e-9);
    EXPECT_NEAR(b->Max(), before[2].max - 10 * unitsPerPixel, 1e-9);
    EXPECT_EQ(b->Step(), step);
    ExpectRange(plot.LeftAxis(), before[0]);
    EXPECT_TRUE(plot.LayoutValid());
}

TEST_F(ZoomPan, AShiftClickGivesBackTheRangesOfBeforeTheFirstZoom) {
    Drag(kZoom, {0, 0}, {});  // nothing saved yet: nothing happens
    ExpectUnchanged();
    Drag(kZoom, {100, 50}, {{200, 150}});
    Drag(kPan, {150, 100}, {{170, 90}});
    Drag(kZoom, {120, 60}, {{180, 130}});
    Drag(kZoom, {150, 100}, {{152, 98}});
    ExpectUnchanged();
    for (Tsp_Axis* a : Axes())
        EXPECT_FALSE(a->HasSavedRange());
}

TEST_F(ZoomPan, MouseEventsStillReachTheirHandlers) {
    std::string seen;
    plot.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { seen += "d"; };
    plot.OnMouseMove = [&](TObject*, TShiftState, int, int) { seen += "m"; };
    plot.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { seen += "u"; };
    Drag(kZoom, {100, 50}, {{200, 150}});
    EXPECT_EQ(seen, "dmu");
}

TEST_F(ZoomPan, PanningShowsThePanCursor) {
    plot.SetPanCursor(crSizeAll);
    plot.MouseDown(TMouseButton::mbLeft, kPan | ssLeft, 100, 100);
    EXPECT_EQ(TControl::ScreenCursor(), crSizeAll);
    plot.MouseUp(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_EQ(TControl::ScreenCursor(), crDefault);
}

}  // namespace
