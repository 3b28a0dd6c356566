#pragma once
// A scale maps data values onto the pixels of an axis line and lays out its ticks: at round
// values (a power-of-ten factor brings the range into 10..100 scaled units, ticks fall on a
// whole step of those) or, in the fraction mode, evenly over the length of the line.

#include <array>
#include <cstdint>
#include <string>

#include "plot/LineAttr.h"

// Bits of the flag word; the Boolean axis properties are views of them.
enum Tsp_ScaleFlag : int {
    sfVertical = 0,
    sfInversed = 1,
    sfNoTicksLines = 3,
    sfNoTicksLabel = 4,
    sfFarSide = 5,
    sfAutoMin = 6,
    sfAutoMax = 7,
    sfLabelAsDateTime = 8,
    sfNotTicksAdjusted = 9,
};

inline constexpr int kMaxTicks = 21;
// Pixel results stay within what the drawing layer takes.
inline constexpr int kMaxPixel = 16383;

class Tsp_Scale : public TPersistent {
public:
    explicit Tsp_Scale(uint32_t flags = 0);

    std::string ClassName() const override { return "Tsp_Scale"; }

    double Min() const { return FMin; }
    double Max() const { return FMax; }
    double Range() const { return FRange; }
    // Sets the range (swapped when reversed, widened when flat) and recomputes everything. A
    // range that is not a finite number is ignored: the axis keeps the one it has.
    void SetMinMax(double AMin, double AMax);

    int ValueToPixel(double V) const;
    double PixelToValue(int P) const;

    // Ticks as laid out: their number, values and pixels.
    int TickCount() const { return FTickCount; }
    double TickValue(int I) const;
    int TickPixel(int I) const;
    int RequestedTicks() const { return FRequestedTicks; }
    virtual std::string GetTickLabel(int I);

    double Factor() const { return FFactor; }
    int32_t Step() const { return FStep; }
    double ScaledLow() const { return FScaledLow; }
    double ScaledHigh() const { return FScaledHigh; }
    double OriginValue() const { return FOriginValue; }
    int OriginPixel() const { return FOriginPixel; }
    double PixelsPerUnit() const { return FPixelsPerUnit; }

    // The axis line: its start (the bottom end on a vertical axis) and length in pixels.
    void SetLinePos(int X, int Y, int Length);
    int LineX() const { return FLineX; }
    int LineY() const { return FLineY; }
    int LineLength() const { return FLineLength; }

    uint32_t Flags() const { return FFlags; }
    bool GetFlag(int Index) const { return (FFlags >> Index) & 1u; }
    // Sets or clears one bit; FlagChanged() hears of a real change only.
    void SetFlag(int Index, bool Value);
    bool Vertical() const { return GetFlag(sfVertical); }
    bool FarSide() const { return GetFlag(sfFarSide); }

    // Shifts the range by P pixels' worth, keeping its width and the tick spacing.
    void ScrollByPixels(int P);

    const std::string& LabelFormat() const { return FLabelFormat; }
    Tsp_LineAttr& LineAttr() { return FLineAttr; }
    const Tsp_LineAttr& LineAttr() const { return FLineAttr; }

    // The values a stored design holds besides the properties: "SFlags", "SLinePos" and
    // "fMin" are taken as they are; "fMax" sets the range with the current minimum.
    void ReadSFlags(uint32_t value) { FFlags = value; }
    void ReadSLinePos(int X, int Y, int Length);
    void ReadFMin(double value) { FMin = value; }
    void ReadFMax(double value) { SetMinMax(FMin, value); }

protected:
    virtual void FlagChanged(int Index, bool Value);
    // Ticks at fractions of the length rather than at round values.
    bool FractionMode() const { return GetFlag(sfNoTicksLabel) || GetFlag(sfNotTicksAdjusted); }
    void StoreFlag(int Index, bool Value);
    // Stores a new requested tick count, cut to kMaxTicks; false when it was the same.
    bool StoreRequestedTicks(int value);
    void CalcMapping();
    void CalcTicks();
    void CalcTickPixels();
    // Tick I's label by the format alone (GetTickLabel also offers it to the plot's event).
    std::string FormatTickLabel(int I) const;

    std::string FLabelFormat = "###0.##";
    Tsp_LineAttr FLineAttr;

private:
    // The round-value ticks from scaled low (scaled high when inverted), FStep apart.
    void PlaceTicks();
    bool RepeatsALabel() const;
    void LatticeTicks();
    void FractionTicks(int P);

    double FScaledLow = 0;
    double FScaledHigh = 0;
    double FFactor = 1;
    int32_t FStep = 1;
    uint8_t FTickCount = 0;
    int32_t FOriginPixel = 0;
    double FOriginValue = 0;
    double FPixelsPerUnit = 1;
    uint32_t FFlags = 0;
    int32_t FLineX = 10;
    int32_t FLineY = 30;
    int32_t FLineLength = 25;
    uint8_t FRequestedTicks = 5;
    double FMin = 0;
    double FMax = 10;
    double FRange = 10;
    std::array<int16_t, kMaxTicks> FTickPixels{};
    std::array<double, kMaxTicks> FTickValues{};
};
