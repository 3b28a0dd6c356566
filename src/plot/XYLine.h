#pragma once
// The plotted line: a series drawn as segments between consecutive points, with optional
// point markers.

#include <functional>
#include <vector>

#include "plot/PointAttr.h"
#include "plot/XYDataSeries.h"

class Tsp_XYLine;

using TDrawCustomPointEvent =
    std::function<void(Tsp_XYLine* XYLine, double xv, double yv, int x, int y)>;

class Tsp_XYLine : public Tsp_XYDataSeries {
public:
    explicit Tsp_XYLine(TComponent* AOwner);
    ~Tsp_XYLine() override;

    std::string ClassName() const override { return "Tsp_XYLine"; }

    Tsp_PointAttr& PointAttr() { return FPointAttr; }
    const Tsp_PointAttr& PointAttr() const { return FPointAttr; }

    void Draw() override;
    void DrawLegendMarker(TCanvas& canvas, const TRect& rect) override;

    // Draws the markers of kind ptCustom.
    TDrawCustomPointEvent OnDrawCustomPoint;

protected:
    void AttrChanged(TObject* Sender) override;

private:
    void DrawPoint(TCanvas& canvas, int x, int y, double xv, double yv);

    Tsp_PointAttr FPointAttr;
    // The line's segments as pixels, kept between paints to spare an allocation per paint.
    std::vector<TSegment> FSegments;
    // Set while the legend marker borrows the canvas, so attribute changes repaint nothing.
    bool FDrawingLegend = false;
};
