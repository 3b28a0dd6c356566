#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <string>
#include <vector>

#include "toolkit/Canvas.h"
#include "toolkit/CustomControl.h"

namespace {

// A white image with a canvas drawing on it.
class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        image.fill(Qt::white);
        painter.begin(&image);
        canvas.Begin(&painter);
    }
    const QImage& Done() {
        canvas.End();
        painter.end();
        return image;
    }
    static bool Black(const QImage& img, int x, int y) { return img.pixel(x, y) == 0xFF000000u; }
    // The columns of row y that are not white.
    static std::vector<int> Marked(const QImage& img, int y) {
        std::vector<int> xs;
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != 0xFFFFFFFFu)
                xs.push_back(x);
        return xs;
    }

    QImage image{40, 40, QImage::Format_RGB32};
    QPainter painter;
    TCanvas canvas;
};

TEST_F(CanvasTest, LinesLeaveOutTheirEndPixelInEveryDirection) {
    canvas.MoveTo(2, 1);
    canvas.LineTo(6, 1);
    canvas.MoveTo(6, 3);
    canvas.LineTo(2, 3);
    canvas.MoveTo(10, 9);
    canvas.LineTo(10, 5);
    const QImage& img = Done();
    EXPECT_EQ(Marked(img, 1), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(Marked(img, 3), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_TRUE(Black(img, 10, 6));
    EXPECT_FALSE(Black(img, 10, 5));
    EXPECT_TRUE(Black(img, 10, 9));
}

TEST_F(CanvasTest, RectanglesExcludeTheirRightAndBottomEdges) {
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect({2, 2, 5, 4});
    canvas.Brush().SetStyle(bsClear);
    canvas.Rectangle(10, 10, 14, 13);
    const QImage& img = Done();
    EXPECT_EQ(Marked(img, 2), (std::vector<int>{2, 3, 4}));
    EXPECT_TRUE(Black(img, 2, 3));
    EXPECT_FALSE(Black(img, 2, 4));
    EXPECT_EQ(Marked(img, 10), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(Marked(img, 11), (std::vector<int>{10, 13}));
    EXPECT_TRUE(Black(img, 10, 12));
    EXPECT_FALSE(Black(img, 10, 13));
}

TEST_F(CanvasTest, NotXorDrawnTwiceRestoresThePixels) {
    canvas.Brush().SetColor(RGB(10, 200, 30));
    canvas.FillRect({0, 0, 20, 20});
    const QImage before = image.copy();
    canvas.Pen().SetMode(pmNotXor);
    canvas.Pen().SetStyle(psDot);
    canvas.MoveTo(0, 5);
    canvas.LineTo(20, 5);
    EXPECT_EQ(image.pixel(0, 5) & 0xFFFFFF, ~before.pixel(0, 5) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(1, 5), before.pixel(1, 5));  // dotted
    canvas.MoveTo(0, 5);
    canvas.LineTo(20, 5);
    EXPECT_EQ(Done(), before);
}

TEST_F(CanvasTest, ClipNarrowsAndIsGivenBack) {
    const TCanvasClip saved = canvas.SaveClip();
    canvas.IntersectClipRect({5, 5, 10, 10});
    EXPECT_EQ(canvas.ClipRect(), (TRect{5, 5, 10, 10}));
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect({0, 0, 40, 40});
    canvas.RestoreClip(saved);
    canvas.MoveTo(0, 20);
    canvas.LineTo(40, 20);
    const QImage& img = Done();
    EXPECT_EQ(Marked(img, 7), (std::vector<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(Marked(img, 20).size(), 40u);
}

TEST_F(CanvasTest, TextIsTransparentWithAClearBrushAndRotatesUpwards) {
    canvas.Font().SetName("DejaVu Sans");
    canvas.Font().SetHeight(-12);
    canvas.Font().SetColor(clBlack);
    const int w = canvas.TextWidth("88");
    const int h = canvas.TextHeight("8");
    ASSERT_GT(w, 0);
    canvas.Brush().SetStyle(bsClear);
    canvas.TextOut(0, 0, "88");
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(RGB(0, 0, 255));
    canvas.TextOut(20, 0, "88");
    canvas.Brush().SetStyle(bsClear);
    canvas.Font().SetOrientation(900);
    canvas.TextOut(0, 39, "88");
    const QImage& img = Done();
    EXPECT_EQ(img.pixel(0, h - 1), 0xFFFFFFFFu);   // a corner of the box stays white
    EXPECT_EQ(img.pixel(20, h - 1), 0xFF0000FFu);  // filled with the brush
    // Upwards: ink above y 39 within h pixels to the right of x 0, none below the text's start.
    int ink = 0;
    for (int y = 39 - w; y < 39; ++y)
        for (int x = 0; x < h; ++x)
            ink += img.pixel(x, y) != 0xFFFFFFFFu ? 1 : 0;
    EXPECT_GT(ink, 10);
}

// A plotted line is drawn as many segments at once; it must look exactly as if each had been
// drawn with MoveTo and LineTo, and a thin solid straight line exactly like the stroked line
// that leaves out its end pixel, also on a shifted device and against a clip.
TEST(CanvasSegments, DrawWhatLineToDrawsForEveryPen) {
    struct Case {
        const char* name;
        TPenStyle style;
        int width;
        TPenMode mode;
    };
    const Case cases[] = {
        {"solid", psSolid, 1, pmCopy},
        {"wide", psSolid, 2, pmCopy},
        {"dotted", psDot, 1, pmCopy},
        {"not-xor", psSolid, 1, pmNotXor},
    };
    const std::vector<TSegment> segments = {
        {{2, 2}, {9, 2}},    {{9, 4}, {2, 4}},   {{3, 12}, {3, 6}}, {{5, 6}, {5, 13}},
        {{7, 7}, {8, 7}},    {{7, 9}, {7, 10}},  {{6, 6}, {6, 6}},  {{10, 3}, {14, 17}},
        {{14, 17}, {15, 2}}, {{1, 15}, {30, 8}}, {{2, 2}, {30, 2}}, {{12, 1}, {12, 30}},
    };
    auto draw = [&](const Case& c, bool together, bool reference) {
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(1, 2);
        painter.setClipRect(0, 0, 29, 27);
        if (reference) {
            // The stroke that a thin straight line stands for: square ends, end pixel cut.
            QPen pen(ToQColor(clMaroon));
            pen.setWidth(1);
            pen.setCapStyle(Qt::SquareCap);
            painter.setPen(pen);
            for (const TSegment& s : segments) {
                const int dx = s.To.X > s.From.X ? 1 : (s.To.X < s.From.X ? -1 : 0);
                const int dy = s.To.Y > s.From.Y ? 1 : (s.To.Y < s.From.Y ? -1 : 0);
                if ((dx == 0) != (dy == 0)) {
                    painter.drawLine(s.From.X, s.From.Y, s.To.X - dx, s.To.Y - dy);
                }
            }
            return image;
        }
        TCanvas canvas;
        canvas.Begin(&painter);
        canvas.Pen().SetColor(clMaroon);
        canvas.Pen().SetStyle(c.style);
        canvas.Pen().SetWidth(c.width);
        canvas.Pen().SetMode(c.mode);
        if (together) {
            canvas.Segments(segments);
        } else {
            for (const TSegment& s : segments) {
                canvas.MoveTo(s.From.X, s.From.Y);
                canvas.LineTo(s.To.X, s.To.Y);
            }
        }
        canvas.End();
        return image;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(draw(c, true, false), draw(c, false, false));
    }
    // Only the straight segments, thin and solid: the filled pixels are the stroked ones.
    const Case solid = cases[0];
    QImage straight(32, 32, QImage::Format_RGB32);
    {
        straight.fill(Qt::white);
        QPainter painter(&straight);
        painter.translate(1, 2);
        painter.setClipRect(0, 0, 29, 27);
        TCanvas canvas;
        canvas.Begin(&painter);
        canvas.Pen().SetColor(clMaroon);
        for (const TSegment& s : segments) {
            if ((s.From.X == s.To.X) != (s.From.Y == s.To.Y)) {
                canvas.MoveTo(s.From.X, s.From.Y);
                canvas.LineTo(s.To.X, s.To.Y);
            }
        }
        canvas.End();
    }
    EXPECT_EQ(straight, draw(solid, false, true));
}

class TRecordingControl : public TCustomControl {
public:
    TRecordingControl() : TCustomControl(nullptr) {}
    std::vector<std::string> Events;
    void MouseDown(TMouseButton, TShiftState Shift, int X, int Y) override {
        Events.push_back("down " + std::to_string(Shift) + " " + std::to_string(X) + "," +
                         std::to_string(Y));
    }
    void MouseMove(TShiftState Shift, int, int) override {
        Events.push_back("move " + std::to_string(Shift));
    }
    void MouseUp(TMouseButton, TShiftState Shift, int, int) override {
        Events.push_back("up " + std::to_string(Shift));
    }
    void DblClick() override { Events.push_back("dblclick"); }
    int Paints = 0;

protected:
    void Paint() override {
        ++Paints;
        TCustomControl::Paint();
    }
};

void Send(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers mods) {
    QMouseEvent e(type, QPointF(3, 4), w->mapToGlobal(QPointF(3, 4)), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

TEST(CustomControl, RoutesMouseEventsAndEndsADoubleClickWithDblClick) {
    TRecordingControl c;
    QWidget* w = c.Widget();
    const std::string left = std::to_string(ssLeft);
    const std::string shiftLeft = std::to_string(ssShift | ssLeft);
    Send(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    Send(w, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    Send(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    Send(w, QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    Send(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    EXPECT_EQ(c.Events,
              (std::vector<std::string>{"down " + shiftLeft + " 3,4", "move " + shiftLeft, "up 0",
                                        "down " + std::to_string(ssLeft | ssDouble) + " 3,4",
                                        "up 0", "dblclick"}));
}

TEST(CustomControl, PaintsThroughPaintAndIsOpaque) {
    TRecordingControl c;
    c.SetBounds(0, 0, 20, 10);
    c.SetColor(clRed);
    const QImage img = c.Widget()->grab().toImage();
    EXPECT_GE(c.Paints, 1);
    EXPECT_EQ(FromQColor(img.pixelColor(19, 9)), clRed);
    EXPECT_TRUE(c.Widget()->testAttribute(Qt::WA_OpaquePaintEvent));
}

}  // namespace
