#include "plot/DataSeries.h"

#include "plot/XYPlot.h"

Tsp_DataSeries::Tsp_DataSeries(TComponent* AOwner) : TComponent(AOwner) {}

Tsp_DataSeries::~Tsp_DataSeries() {
    // Leave the plot's list while this series can still answer for its axes.
    SetPlot(nullptr);
}

void Tsp_DataSeries::SetPlot(Tsp_XYPlot* value) {
    if (value == FPlot) {
        return;
    }
    if (FPlot != nullptr) {
        Tsp_XYPlot* old = FPlot;
        old->RemoveFreeNotification(this);
        old->RemoveSeries(this);
    }
    FPlot = value;
    if (FPlot != nullptr) {
        FPlot->AddSeries(this);
        FPlot->FreeNotification(this);
    }
}

void Tsp_DataSeries::AxisSelectionChanged(Tsp_Axis* axisLeft) {
    if (FPlot == nullptr || !FActive) {
        return;
    }
    // The axis left behind refits without this series, the ones it now uses with it.
    const bool refitted = FPlot->AutoScaleAxis(axisLeft);
    FPlot->SeriesChanged(this);
    if (refitted) {
        FPlot->Invalidate();
    }
}

void Tsp_DataSeries::SetXAxis(Tsp_WhatXAxis value) {
    if (value == FXAxis) {
        return;
    }
    const Tsp_WhatXAxis old = FXAxis;
    FXAxis = value;
    if (FPlot != nullptr) {
        AxisSelectionChanged(old == dsxTop ? FPlot->TopAxis() : FPlot->BottomAxis());
    }
}

void Tsp_DataSeries::SetYAxis(Tsp_WhatYAxis value) {
    if (value == FYAxis) {
        return;
    }
    const Tsp_WhatYAxis old = FYAxis;
    FYAxis = value;
    if (FPlot != nullptr) {
        AxisSelectionChanged(old == dsyRight ? FPlot->RightAxis() : FPlot->LeftAxis());
    }
}

void Tsp_DataSeries::SetLegend(const std::string& value) {
    if (value != FLegend) {
        FLegend = value;
        LegendChanged();
    }
}

void Tsp_DataSeries::LegendChanged() {}

void Tsp_DataSeries::DrawLegendMarker(TCanvas& canvas, const TRect& rect) {
    (void)canvas;
    (void)rect;
}

void Tsp_DataSeries::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent != nullptr &&
        AComponent == static_cast<TComponent*>(FPlot)) {
        FPlot = nullptr;
    }
}
