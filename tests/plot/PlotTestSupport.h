#pragma once
// A plot that counts what its series tell it, and the window's stored design for the axes.

#include "plot/XYLine.h"
#include "plot/XYPlot.h"

class TCountingPlot : public Tsp_XYPlot {
public:
    explicit TCountingPlot(TComponent* owner = nullptr) : Tsp_XYPlot(owner) {}
    void SeriesChanged(Tsp_DataSeries* series) override {
        ++SeriesChangedCount;
        Tsp_XYPlot::SeriesChanged(series);
    }
    int SeriesChangedCount = 0;
};

// The axes as the window's stored design leaves them, line positions included.
inline void ApplyStoredAxes(Tsp_XYPlot& plot) {
    Tsp_Axis& l = *plot.LeftAxis();
    l.SetMargin(2);
    l.SetCaption("Ping time (msec)");
    l.SetTicksCount(6);
    l.ReadSFlags(129);
    l.ReadSLinePos(28, 226, 221);
    l.ReadFMax(10.25);
    Tsp_Axis& r = *plot.RightAxis();
    r.SetMargin(1);
    r.ReadSLinePos(348, 226, 221);
    r.ReadFMax(10);
    Tsp_Axis& b = *plot.BottomAxis();
    b.SetMargin(5);
    b.SetCaption("time");
    b.SetLabelFormat("hh:mm:ss");
    b.ReadSFlags(448);
    b.ReadSLinePos(29, 227, 318);
    b.ReadFMin(-0.225);
    b.ReadFMax(9.225);
    Tsp_Axis& t = *plot.TopAxis();
    t.ReadSLinePos(29, 4, 318);
    t.ReadFMax(10);
}
