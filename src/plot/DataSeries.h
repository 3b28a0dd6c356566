#pragma once
// A series of plotted data: a non-visual component attached to one plot, mapped through one
// horizontal and one vertical axis of it.

#include <cstdint>
#include <string>

#include "toolkit/Canvas.h"
#include "toolkit/Component.h"

class Tsp_Axis;
class Tsp_XYPlot;

enum Tsp_WhatXAxis : uint8_t { dsxBottom, dsxTop };
enum Tsp_WhatYAxis : uint8_t { dsyLeft, dsyRight };

class Tsp_DataSeries : public TComponent {
public:
    explicit Tsp_DataSeries(TComponent* AOwner);
    ~Tsp_DataSeries() override;

    std::string ClassName() const override { return "Tsp_DataSeries"; }

    Tsp_XYPlot* Plot() const { return FPlot; }
    void SetPlot(Tsp_XYPlot* value);
    Tsp_WhatXAxis XAxis() const { return FXAxis; }
    void SetXAxis(Tsp_WhatXAxis value);
    Tsp_WhatYAxis YAxis() const { return FYAxis; }
    void SetYAxis(Tsp_WhatYAxis value);
    const std::string& Legend() const { return FLegend; }
    void SetLegend(const std::string& value);
    // An inactive series is neither scaled to nor drawn.
    bool Active() const { return FActive; }

    // Draws the series on its plot's drawing canvas, inside the field.
    virtual void Draw() = 0;
    // The extents of the data; false, and the value untouched, when there is none.
    virtual bool GetXMin(double& value) = 0;
    virtual bool GetXMax(double& value) = 0;
    virtual bool GetYMin(double& value) = 0;
    virtual bool GetYMax(double& value) = 0;
    virtual void DrawLegendMarker(TCanvas& canvas, const TRect& rect);

protected:
    virtual void LegendChanged();
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // Rescales the axes a changed axis selection moves between.
    void AxisSelectionChanged(Tsp_Axis* axisLeft);

    bool FActive = true;

private:
    Tsp_XYPlot* FPlot = nullptr;
    Tsp_WhatXAxis FXAxis = dsxBottom;
    Tsp_WhatYAxis FYAxis = dsyLeft;
    std::string FLegend;
};
