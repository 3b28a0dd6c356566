#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "PlotTestSupport.h"
#include "toolkit/SysUtils.h"

namespace {

TColor PixelAt(const QImage& img, int x, int y) {
    return FromQColor(img.pixelColor(x, y));
}

QImage Render(Tsp_XYPlot& plot) {
    return plot.Widget()->grab().toImage();
}

// The window's plot with four lines of latency-like data, one point every 45 seconds.
class LatencyPlot {
public:
    LatencyPlot() {
        plot.SetBounds(0, 0, 600, 400);
        plot.Font().SetName("Verdana");
        plot.Font().SetHeight(-9);
        plot.SetFieldColor(clWindow);
        ApplyStoredAxes(plot);
        const struct {
            TColor color;
            int width;
        } styles[] = {{clNavy, 2}, {clMaroon, 1}, {clGreen, 1}, {clRed, 2}};
        for (const auto& s : styles) {
            lines.push_back(std::make_unique<Tsp_XYLine>(nullptr));
            Tsp_XYLine& l = *lines.back();
            l.LineAttr().SetColor(s.color);
            l.LineAttr().SetWidth(static_cast<uint16_t>(s.width));
            l.PointAttr().SetVisible(false);
            l.SetPlot(&plot);
        }
        const double start = EncodeDate(2024, 5, 17) + EncodeTime(14, 0, 0, 0);
        for (int i = 0; i < kPoints; ++i) {
            const double x = start + i * 45.0 / 86400.0;
            for (auto& l : lines)
                l->SetLockInvalidate(true);
            lines[0]->AddXY(x, 42 + 12 * std::sin(i / 4.0));
            lines[1]->AddXY(x, 70 + 8 * std::cos(i / 3.0));
            lines[2]->AddXY(x, i < kPoints / 2 ? 25 : 27);  // flat: easy to find
            lines[3]->AddXY(x, i == 20 ? 30 : 0);
            for (auto& l : lines)
                l->SetLockInvalidate(false);
        }
    }
    static constexpr int kPoints = 40;
    Tsp_XYPlot plot{nullptr};
    std::vector<std::unique_ptr<Tsp_XYLine>> lines;
};

// A field pixel away from grid lines and series.
TPoint QuietFieldPixel(Tsp_XYPlot& plot) {
    const TRect f = plot.FieldRect();
    auto onTick = [](const Tsp_Axis* a, int p) {
        for (int i = 0; i < a->TickCount(); ++i)
            if (std::abs(a->TickPixel(i) - p) <= 1)
                return true;
        return false;
    };
    int x = f.Left + 2;
    while (onTick(plot.BottomAxis(), x))
        ++x;
    int y = f.Top + 2;
    while (onTick(plot.LeftAxis(), y))
        ++y;
    return {x, y};
}

TEST(Render, TheWindowsPlotLooksLikeALatencyGraph) {
    LatencyPlot g;
    const QImage img = Render(g.plot);
    ASSERT_EQ(img.width(), 600);
    const TRect f = g.plot.FieldRect();
    const TColor face = ColorToRGB(clBtnFace);
    const TColor window = ColorToRGB(clWindow);

    // The two outer rings show the background.
    for (TPoint p : {TPoint{0, 0}, TPoint{599, 399}, TPoint{1, 200}, TPoint{300, 398}})
        EXPECT_EQ(PixelAt(img, p.X, p.Y), face) << p.X << "," << p.Y;
    const TPoint quiet = QuietFieldPixel(g.plot);
    EXPECT_EQ(PixelAt(img, quiet.X, quiet.Y), window);

    // The frame: left axis column, and the row under the field is the bottom axis line.
    EXPECT_EQ(PixelAt(img, f.Left - 1, (f.Top + f.Bottom) / 2), clBlack);
    for (int x = f.Left; x < f.Right; x += 37)
        EXPECT_EQ(PixelAt(img, x, f.Bottom), clBlack) << x;
    EXPECT_EQ(PixelAt(img, f.Right, (f.Top + f.Bottom) / 2), clBlack);

    // A grid column at an inner bottom tick, grey where no line crosses it.
    const Tsp_Axis* b = g.plot.BottomAxis();
    ASSERT_GE(b->TickCount(), 3);
    EXPECT_EQ(PixelAt(img, b->TickPixel(1), quiet.Y), clGray);

    // The flat green line, halfway between two of its points.
    const Tsp_Axis* l = g.plot.LeftAxis();
    const Tsp_XYLine& green = *g.lines[2];
    const int gx = (b->ValueToPixel(green.XValue(5)) + b->ValueToPixel(green.XValue(6))) / 2;
    EXPECT_EQ(PixelAt(img, gx, l->ValueToPixel(25)), clGreen);
    // The lost-echo line lies at 0 on top of everything.
    const int ry = l->ValueToPixel(0);
    const int rx = (b->ValueToPixel(green.XValue(30)) + b->ValueToPixel(green.XValue(31))) / 2;
    EXPECT_TRUE(PixelAt(img, rx, ry) == clRed || PixelAt(img, rx, ry - 1) == clRed);
}

// A caption shows whole in its margin or not at all: the window's "time" under a margin of 5
// left only its top rows at the bottom edge, two stray dots under the time axis.
TEST(Render, ACaptionShowsWholeOrNotAtAll) {
    struct {
        int bottomMargin;
        int leftMargin;
        bool shown;
    } const rows[] = {
        {5, 2, false},  // the window's margins
        {20, 20, true},
    };
    for (const auto& row : rows) {
        LatencyPlot g;
        g.plot.BottomAxis()->SetMargin(row.bottomMargin);
        g.plot.LeftAxis()->SetMargin(row.leftMargin);
        const QImage img = Render(g.plot);
        const TRect f = g.plot.FieldRect();
        const TColor face = ColorToRGB(clBtnFace);
        int under = 0;  // drawn pixels in the bottom margin, below the field
        for (int y = img.height() - row.bottomMargin; y < img.height(); ++y)
            for (int x = f.Left; x < f.Right; ++x)
                under += PixelAt(img, x, y) != face ? 1 : 0;
        int beside = 0;  // and in the left margin, beside it
        for (int y = f.Top; y < f.Bottom; ++y)
            for (int x = 0; x < row.leftMargin; ++x)
                beside += PixelAt(img, x, y) != face ? 1 : 0;
        EXPECT_EQ(under > 10, row.shown) << row.bottomMargin << ": " << under;
        EXPECT_EQ(under == 0, !row.shown) << row.bottomMargin << ": " << under;
        EXPECT_EQ(beside > 10, row.shown) << row.leftMargin << ": " << beside;
        EXPECT_EQ(beside == 0, !row.shown) << row.leftMargin << ": " << beside;
    }
}

TEST(Render, TheRubberBandInvertsWhatLiesUnderItAndLeavesNoTrace) {
    LatencyPlot g;
    const QImage clean = Render(g.plot);
    const TPoint quiet = QuietFieldPixel(g.plot);
    const TPoint a{quiet.X, quiet.Y};
    const TPoint c{a.X + 60, a.Y + 40};
    g.plot.MouseDown(TMouseButton::mbLeft, ssShift | ssLeft, a.X, a.Y);
    g.plot.MouseMove(ssShift | ssLeft, c.X, c.Y);
    const QImage banded = Render(g.plot);
    int inverted = 0;
    int unchanged = 0;
    for (int x = a.X; x <= c.X; ++x) {
        const QRgb before = clean.pixel(x, a.Y);
        const QRgb now = banded.pixel(x, a.Y);
        inverted += (now & 0xFFFFFF) == (~before & 0xFFFFFF) ? 1 : 0;
        unchanged += now == before ? 1 : 0;
    }
    EXPECT_GT(inverted, 20);  // dotted: every other pixel
    EXPECT_GT(unchanged, 20);
    EXPECT_EQ(banded.pixel(a.X + 5, a.Y + 5), clean.pixel(a.X + 5, a.Y + 5));
    // Narrowed to two pixels the band zooms nothing, so the release must leave the plot as
    // it was before the band appeared.
    g.plot.MouseMove(ssShift | ssLeft, a.X + 2, c.Y);
    g.plot.MouseUp(TMouseButton::mbLeft, 0, a.X + 2, c.Y);
    EXPECT_EQ(g.plot.DragState(), dgIdle);
    const QImage after = Render(g.plot);
    int differing = 0;
    for (int y = 0; y < clean.height(); ++y)
        for (int x = 0; x < clean.width(); ++x)
            if (after.pixel(x, y) != clean.pixel(x, y)) {
                if (differing++ < 5)
                    ADD_FAILURE() << "differs at " << x << "," << y;
            }
    EXPECT_EQ(differing, 0);
}

TEST(Render, SegmentsOutsideTheAxesOrFarOutAreSkipped) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> points;
        bool drawn;
    };
    // Axes 0..10 both ways; the field is about 300 pixels, so 1e5 units lie far beyond 16000.
    const std::vector<Case> cases = {
        {"left of the axis", {{-5, 5}, {-1, 5}}, false},
        {"both ends far", {{-1e5, 5}, {1e5, 5}}, false},
        {"inside to far", {{5, 5}, {1e5, 5}}, true},
        {"inside", {{2, 5}, {8, 5}}, true},
        {"to a value that is not a number", {{5, 5}, {std::nan(""), 5}}, false},
        {"from minus infinity", {{-std::numeric_limits<double>::infinity(), 5}, {5, 5}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tsp_XYPlot plot(nullptr);
        plot.SetBounds(0, 0, 360, 240);
        Tsp_XYLine line(nullptr);
        line.LineAttr().SetColor(clRed);
        line.SetPlot(&plot);
        for (auto [x, y] : c.points)
            line.AddXY(x, y);
        const QImage img = Render(plot);
        const int row = plot.LeftAxis()->ValueToPixel(5);
        const TRect f = plot.FieldRect();
        int red = 0;
        for (int x = f.Left; x < f.Right; ++x)
            red += PixelAt(img, x, row) == clRed ? 1 : 0;
        EXPECT_EQ(red > 0, c.drawn) << red;
        // Nothing leaves the field.
        EXPECT_NE(PixelAt(img, f.Right + 1, row), clRed);
        EXPECT_NE(PixelAt(img, f.Left - 2, row), clRed);
    }
}

}  // namespace
