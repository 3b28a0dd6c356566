#include "plot/XYLine.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "plot/Axis.h"
#include "plot/XYPlot.h"

namespace {

// Beyond this a mapped point is too far out to be worth a segment of its own.
constexpr int kFarPixels = 16000;

bool IsFar(const TPoint& p) {
    return std::abs(p.X) > kFarPixels || std::abs(p.Y) > kFarPixels;
}

}  // namespace

Tsp_XYLine::Tsp_XYLine(TComponent* AOwner) : Tsp_XYDataSeries(AOwner) {
    auto changed = [this](TObject* sender) { AttrChanged(sender); };
    FPointAttr.SetOnAttrChange(changed);
    FPointAttr.OnChange = changed;
}

Tsp_XYLine::~Tsp_XYLine() {
    FPointAttr.SetOnAttrChange(nullptr);
    FPointAttr.OnChange = nullptr;
}

void Tsp_XYLine::AttrChanged(TObject* Sender) {
    if (!FDrawingLegend) {
        Tsp_XYDataSeries::AttrChanged(Sender);
    }
}

void Tsp_XYLine::Draw() {
    Tsp_XYPlot* plot = Plot();
    if (plot == nullptr || Count() == 0) {
        return;
    }
    const bool lineShown = Count() >= 2 && LineAttr().Visible();
    if (!FPointAttr.Visible() && !lineShown) {
        return;
    }
    const Tsp_Axis* xAxis = XAxis() == dsxTop ? plot->TopAxis() : plot->BottomAxis();
    const Tsp_Axis* yAxis = YAxis() == dsyRight ? plot->RightAxis() : plot->LeftAxis();
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    // Without a finite point there is nothing to draw.
    if (!GetXMin(xMin) || !GetXMax(xMax) || !GetYMin(yMin) || !GetYMax(yMax)) {
        return;
    }
    if (xMin > xAxis->Max() || xMax < xAxis->Min() || yMin > yAxis->Max() || yMax < yAxis->Min()) {
        return;
    }
    auto pixel = [&](int32_t i) {
        return TPoint{xAxis->ValueToPixel(XValue(i)), yAxis->ValueToPixel(YValue(i))};
    };
    // A point that is not finite has no place: the line breaks there.
    auto finite = [&](int32_t i) { return std::isfinite(XValue(i)) && std::isfinite(YValue(i)); };
    TCanvas& canvas = plot->DrawingCanvas();
    if (lineShown && LineAttr().Style() != psClear) {
        LineAttr().ApplyTo(canvas.Pen());
        canvas.Brush().SetStyle(bsClear);
        FSegments.clear();
        TPoint from = pixel(0);
        for (int32_t i = 1; i < Count(); ++i) {
            const TPoint to = pixel(i);
            if ((!IsFar(from) || !IsFar(to)) && finite(i - 1) && finite(i)) {
                FSegments.push_back({from, to});
            }
            from = to;
        }
        canvas.Segments(FSegments);
    }
    if (FPointAttr.Visible()) {
        const TRect field = plot->FieldRect();
        for (int32_t i = 0; i < Count(); ++i) {
            const TPoint p = pixel(i);
            if (finite(i) && field.Contains(p.X, p.Y)) {
                DrawPoint(canvas, p.X, p.Y, XValue(i), YValue(i));
            }
        }
    }
}

void Tsp_XYLine::DrawPoint(TCanvas& canvas, int x, int y, double xv, double yv) {
    if (FPointAttr.Kind() == ptCustom) {
        if (OnDrawCustomPoint) {
            OnDrawCustomPoint(this, xv, yv, x, y);
        }
        return;
    }
    canvas.Pen().SetColor(FPointAttr.BorderColor());
    canvas.Pen().SetWidth(FPointAttr.BorderWidth());
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetMode(pmCopy);
    canvas.Brush().Assign(FPointAttr);
    const TRect r = FPointAttr.MarkerRect(x, y);
    const int right = r.Right - 1;
    const int bottom = r.Bottom - 1;
    switch (FPointAttr.Kind()) {
        case ptEllipse:
            canvas.Ellipse(r.Left, r.Top, r.Right, r.Bottom);
            break;
        case ptDiamond: {
            const std::array<TPoint, 4> pts{{{x, r.Top}, {right, y}, {x, bottom}, {r.Left, y}}};
            canvas.Polygon(pts);
            break;
        }
        case ptCross:
            canvas.MoveTo(r.Left, y);
            canvas.LineTo(r.Right, y);
            canvas.MoveTo(x, r.Top);
            canvas.LineTo(x, r.Bottom);
            break;
        case ptTriangle: {
            const std::array<TPoint, 3> pts{{{r.Left, bottom}, {x, r.Top}, {right, bottom}}};
            canvas.Polygon(pts);
            break;
        }
        case ptDownTriangle: {
            const std::array<TPoint, 3> pts{{{r.Left, r.Top}, {right, r.Top}, {x, bottom}}};
            canvas.Polygon(pts);
            break;
        }
        default:
            canvas.Rectangle(r);
            break;
    }
}

void Tsp_XYLine::DrawLegendMarker(TCanvas& canvas, const TRect& rect) {
    FDrawingLegend = true;
    const int y = (rect.Top + rect.Bottom) / 2;
    if (LineAttr().Shown()) {
        LineAttr().ApplyTo(canvas.Pen());
        canvas.MoveTo(rect.Left, y);
        canvas.LineTo(rect.Right, y);
    }
    if (FPointAttr.Visible()) {
        DrawPoint(canvas, (rect.Left + rect.Right) / 2, y, 0, 0);
    }
    FDrawingLegend = false;
}
