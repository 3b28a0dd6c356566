#pragma once
// One of the plot's four axes: a scale with its place on the plot, its automatic range flags,
// caption, margin and grid, and the range saved before a zoom so it can be given back.

#include <functional>
#include <string>

#include "plot/Scale.h"

class Tsp_Axis;
class Tsp_XYPlot;

using TGetTickLabelEvent =
    std::function<void(Tsp_Axis* Sender, int LabelNum, double LabelVal, std::string& LS)>;

class Tsp_Axis : public Tsp_Scale {
public:
    Tsp_Axis(Tsp_XYPlot* plot, uint32_t flags);
    ~Tsp_Axis() override;

    std::string ClassName() const override { return "Tsp_Axis"; }

    Tsp_XYPlot* Plot() const { return FPlot; }

    // Writing a bound switches its automatic flag off (quietly) and forgets the saved range.
    void SetMin(double value);
    void SetMax(double value);

    // Reading gives the number laid out, writing the number asked for (at most 21).
    int TicksCount() const { return TickCount(); }
    void SetTicksCount(int value);

    bool AutoMin() const { return GetFlag(sfAutoMin); }
    void SetAutoMin(bool value) { SetFlag(sfAutoMin, value); }
    bool AutoMax() const { return GetFlag(sfAutoMax); }
    void SetAutoMax(bool value) { SetFlag(sfAutoMax, value); }
    bool LabelAsDataTime() const { return GetFlag(sfLabelAsDateTime); }
    void SetLabelAsDataTime(bool value) { SetFlag(sfLabelAsDateTime, value); }
    bool Inversed() const { return GetFlag(sfInversed); }
    void SetInversed(bool value) { SetFlag(sfInversed, value); }
    bool NoTicksLabel() const { return GetFlag(sfNoTicksLabel); }
    void SetNoTicksLabel(bool value) { SetFlag(sfNoTicksLabel, value); }
    bool TicksAdjusted() const { return !GetFlag(sfNotTicksAdjusted); }
    void SetTicksAdjusted(bool value) { SetFlag(sfNotTicksAdjusted, !value); }
    bool TicksLines() const { return !GetFlag(sfNoTicksLines); }
    void SetTicksLines(bool value) { SetFlag(sfNoTicksLines, !value); }

    int Margin() const { return FMargin; }
    void SetMargin(int value);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    // The caption has something to show: a character above the blank.
    bool CaptionVisible() const { return FCaptionVisible; }
    void SetLabelFormat(const std::string& value);
    Tsp_LineAttr& GridAttr() { return FGridAttr; }
    const Tsp_LineAttr& GridAttr() const { return FGridAttr; }

    // The range before the first zoom or pan step; RestoreRange() returns to it once.
    void SaveRange();
    void RestoreRange();
    bool HasSavedRange() const { return FHasSavedRange; }

    // Room the axis needs across its line, and how far its first and last labels reach past
    // the ends of the line, for a font of character width CharW and height CharH.
    int AxisThickness(int CharW, int CharH);
    int StartOverhang(int CharW, int CharH);
    int EndOverhang(int CharW, int CharH);

    std::string GetTickLabel(int I) override;
    void Assign(const Tsp_Axis& source);

protected:
    void FlagChanged(int Index, bool Value) override;

private:
    void InvalidatePlot();
    int Overhang(int tick, double end, int CharW, int CharH);

    double FSavedMin = 0;
    double FSavedMax = 0;
    int FMargin = 4;
    std::string FCaption;
    bool FCaptionVisible = false;
    Tsp_XYPlot* FPlot;
    Tsp_LineAttr FGridAttr;
    bool FHasSavedRange = false;
};
