#include "plot/Axis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "plot/XYPlot.h"

Tsp_Axis::Tsp_Axis(Tsp_XYPlot* plot, uint32_t flags) : Tsp_Scale(flags), FPlot(plot) {
    FGridAttr.SetColor(clGray);
    FGridAttr.SetVisible(false);
    FLineAttr.SetOnChange([this](TObject*) { InvalidatePlot(); });
    FGridAttr.SetOnChange([this](TObject*) {
        if (FPlot != nullptr) {
            FPlot->Redraw(false, false, true);
        }
    });
}

Tsp_Axis::~Tsp_Axis() {
    FLineAttr.SetOnChange(nullptr);
    FGridAttr.SetOnChange(nullptr);
}

void Tsp_Axis::InvalidatePlot() {
    if (FPlot != nullptr) {
        FPlot->Invalidate();
    }
}

void Tsp_Axis::SetMin(double value) {
    StoreFlag(sfAutoMin, false);
    FHasSavedRange = false;
    if (value != Min()) {
        SetMinMax(value, Max());
        InvalidatePlot();
    }
}

void Tsp_Axis::SetMax(double value) {
    StoreFlag(sfAutoMax, false);
    FHasSavedRange = false;
    if (value != Max()) {
        SetMinMax(Min(), value);
        InvalidatePlot();
    }
}

void Tsp_Axis::SetTicksCount(int value) {
    if (StoreRequestedTicks(value)) {
        CalcTicks();
        CalcTickPixels();
        InvalidatePlot();
    }
}

void Tsp_Axis::SetMargin(int value) {
    if (value != FMargin) {
        FMargin = value;
        InvalidatePlot();
    }
}

void Tsp_Axis::SetCaption(const std::string& value) {
    if (value == FCaption) {
        return;
    }
    FCaption = value;
    FCaptionVisible = std::any_of(FCaption.begin(), FCaption.end(),
                                  [](char c) { return static_cast<unsigned char>(c) > 32; });
    InvalidatePlot();
}

void Tsp_Axis::SetLabelFormat(const std::string& value) {
    if (value != FLabelFormat) {
        FLabelFormat = value;
        // The ticks keep their labels apart, so they follow the format.
        CalcTicks();
        CalcTickPixels();
        InvalidatePlot();
    }
}

void Tsp_Axis::SaveRange() {
    if (!FHasSavedRange) {
        FSavedMin = Min();
        FSavedMax = Max();
        FHasSavedRange = true;
    }
}

void Tsp_Axis::RestoreRange() {
    if (FHasSavedRange) {
        SetMinMax(FSavedMin, FSavedMax);
        FHasSavedRange = false;
    }
}

void Tsp_Axis::FlagChanged(int Index, bool Value) {
    (void)Value;
    switch (Index) {
        case sfInversed:
            CalcMapping();
            CalcTicks();
            CalcTickPixels();
            InvalidatePlot();
            break;
        case sfNoTicksLines:
        case sfNoTicksLabel:
        case sfNotTicksAdjusted:
        case sfLabelAsDateTime:
            CalcTicks();
            CalcTickPixels();
            InvalidatePlot();
            break;
        case sfAutoMin:
        case sfAutoMax:
            // Switching automatic scaling off keeps the range as it is.
            if (FPlot != nullptr && FPlot->AutoScaleAxis(this)) {
                FPlot->Invalidate();
            }
            break;
        default:
            InvalidatePlot();
            break;
    }
}

std::string Tsp_Axis::GetTickLabel(int I) {
    std::string text = Tsp_Scale::GetTickLabel(I);
    if (FPlot != nullptr && FPlot->OnGetTickLabel) {
        FPlot->OnGetTickLabel(this, I, TickValue(I), text);
    }
    return text;
}

int Tsp_Axis::AxisThickness(int CharW, int CharH) {
    int thickness = LineAttr().Width();
    if (TickCount() == 0) {
        return thickness;
    }
    if (!NoTicksLabel()) {
        if (Vertical()) {
            size_t longest = 0;
            for (int i = 0; i < TickCount(); ++i) {
                longest = std::max(longest, GetTickLabel(i).size());
            }
            thickness += static_cast<int>(longest) * CharW + 5;
        } else {
            thickness += CharH + 5;
        }
    } else if (TicksLines()) {
        thickness += 4;
    }
    return thickness;
}

int Tsp_Axis::Overhang(int tick, double end, int CharW, int CharH) {
    if (TickCount() == 0 || NoTicksLabel()) {
        return 0;
    }
    const int gap =
        std::abs(static_cast<int>(std::nearbyint((end - TickValue(tick)) * PixelsPerUnit())));
    const int half =
        Vertical() ? CharH / 2 : static_cast<int>(GetTickLabel(tick).size()) * CharW / 2;
    return std::max(0, half - gap);
}

int Tsp_Axis::StartOverhang(int CharW, int CharH) {
    return Overhang(0, OriginValue(), CharW, CharH);
}

int Tsp_Axis::EndOverhang(int CharW, int CharH) {
    return Overhang(TickCount() - 1, Inversed() ? Min() : Max(), CharW, CharH);
}

void Tsp_Axis::Assign(const Tsp_Axis& source) {
    ReadSFlags(source.Flags());
    ReadSLinePos(source.LineX(), source.LineY(), source.LineLength());
    StoreRequestedTicks(source.RequestedTicks());
    FLabelFormat = source.FLabelFormat;
    FMargin = source.FMargin;
    FCaption = source.FCaption;
    FCaptionVisible = source.FCaptionVisible;
    SetMinMax(source.Min(), source.Max());
    FLineAttr.Assign(source.FLineAttr);
    FGridAttr.Assign(source.FGridAttr);
    FHasSavedRange = false;
}
