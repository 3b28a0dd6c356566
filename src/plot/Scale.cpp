#include "plot/Scale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "plot/LabelFormat.h"

namespace {

// Slightly more than ln 10, so that a range of exactly 10, 100, ... counts in the lower decade.
constexpr double kDecadeDivisor = 2.30258509299405;

double PowerOfTen(int n) {
    double p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

// The fractional part with the sign of x, as the tick lattice arithmetic expects.
double Frac(double x) {
    return x - std::trunc(x);
}

// A tick count from a computed double, within what the arrays hold.
uint8_t TickCountFrom(double n) {
    if (!(n > 0)) {
        return 0;
    }
    return static_cast<uint8_t>(std::min<double>(n, kMaxTicks));
}

int RoundHalfEven(double x) {
    return static_cast<int>(std::nearbyint(x));
}

}  // namespace

Tsp_Scale::Tsp_Scale(uint32_t flags) : FFlags(flags) {
    SetMinMax(0, 10);
}

void Tsp_Scale::SetMinMax(double AMin, double AMax) {
    if (AMin > AMax) {
        std::swap(AMin, AMax);
    }
    double lo = AMin;
    double hi = AMax;
    if (lo == hi) {
        const double v = lo;
        if (std::fabs(v) < 10) {
            hi = v + 1;
            lo = hi - 1;
        } else {
            hi = v + std::fabs(v) / 10;
            lo = hi - std::fabs(hi) / 10;
        }
    }
    // A range that is not a finite number (a bound that is not, or one too wide for a double)
    // could neither be mapped nor given ticks: the axis keeps the range it has.
    if (!std::isfinite(hi - lo)) {
        return;
    }
    FMin = lo;
    FMax = hi;
    FRange = FMax - FMin;
    double decade = std::floor(std::log(FRange) / kDecadeDivisor);
    if (!std::isfinite(decade)) {
        decade = 0;
    }
    // Keeps the factor a finite power of ten for any finite range.
    const int d = static_cast<int>(std::clamp(decade, -300.0, 300.0));
    FFactor = d <= 0 ? PowerOfTen(1 - d) : 1 / PowerOfTen(d - 1);
    FScaledLow = std::ceil(FMin * FFactor);
    FScaledHigh = std::floor(FMax * FFactor);
    CalcMapping();
    CalcTicks();
    CalcTickPixels();
}

void Tsp_Scale::CalcMapping() {
    if (GetFlag(sfInversed)) {
        FPixelsPerUnit = -FLineLength / FRange;
        FOriginValue = FMax;
    } else {
        FPixelsPerUnit = FLineLength / FRange;
        FOriginValue = FMin;
    }
    if (Vertical()) {
        FOriginPixel = FLineY;
        FPixelsPerUnit = -FPixelsPerUnit;
    } else {
        FOriginPixel = FLineX;
    }
}

int Tsp_Scale::ValueToPixel(double V) const {
    const double p = (V - FOriginValue) * FPixelsPerUnit + FOriginPixel;
    if (p < -kMaxPixel) {
        return -kMaxPixel;
    }
    if (!(p <= kMaxPixel)) {  // NaN lands here too
        return kMaxPixel;
    }
    return RoundHalfEven(p);
}

double Tsp_Scale::PixelToValue(int P) const {
    return (P - FOriginPixel) / FPixelsPerUnit + FOriginValue;
}

void Tsp_Scale::CalcTicks() {
    FTickCount = FRequestedTicks;
    const int n = FRequestedTicks;
    if (n == 0) {
        return;
    }
    if (FractionMode()) {
        for (int i = 0; i < n; ++i) {
            FTickValues[static_cast<size_t>(i)] = n == 1 ? 0.0 : static_cast<double>(i) / (n - 1);
        }
        return;
    }
    // About 10 to 100 scaled units; the bounds only matter for ranges that lost precision.
    const double span = std::clamp(FScaledHigh - FScaledLow, 0.0, 1e9);
    const auto a = static_cast<int32_t>(span);
    if (n == 1) {
        FStep = std::max(a, 1);
        FTickCount = 1;
    } else {
        FStep = std::max(a / (n - 1), 1);
        FTickCount = TickCountFrom(a / FStep + 1);
    }
    PlaceTicks();
    // The step counts in decimal parts of the range, the labels only to what their format
    // shows: ticks closer than a second on a "hh:mm:ss" axis (a short range on a wide plot)
    // would repeat a label. The step widens until neighbouring labels differ, or one tick is
    // left.
    while (FTickCount > 1 && RepeatsALabel()) {
        FStep += std::max(1, FStep / 4);
        FTickCount = TickCountFrom(a / FStep + 1);
        PlaceTicks();
    }
}

void Tsp_Scale::PlaceTicks() {
    const bool inversed = GetFlag(sfInversed);
    for (int i = 0; i < FTickCount; ++i) {
        const double offset = static_cast<double>(i) * FStep;
        FTickValues[static_cast<size_t>(i)] =
            (inversed ? FScaledHigh - offset : FScaledLow + offset) / FFactor;
    }
}

bool Tsp_Scale::RepeatsALabel() const {
    std::string previous = FormatTickLabel(0);
    for (int i = 1; i < FTickCount; ++i) {
        std::string label = FormatTickLabel(i);
        if (label == previous) {
            return true;
        }
        previous = std::move(label);
    }
    return false;
}

void Tsp_Scale::CalcTickPixels() {
    if (FRequestedTicks == 0) {
        FTickCount = 0;
        return;
    }
    const bool fractions = FractionMode();
    for (size_t i = 0; i < FTickCount; ++i) {
        int p = 0;
        if (fractions) {
            const int along = RoundHalfEven(FLineLength * FTickValues[i]);
            p = Vertical() ? FOriginPixel - along : FOriginPixel + along;
        } else {
            p = ValueToPixel(FTickValues[i]);
        }
        FTickPixels[i] = static_cast<int16_t>(std::clamp(p, -kMaxPixel, kMaxPixel));
    }
}

double Tsp_Scale::TickValue(int I) const {
    if (I < 0 || I >= kMaxTicks) {
        return 0;
    }
    const double v = FTickValues[static_cast<size_t>(I)];
    if (FractionMode()) {
        return GetFlag(sfInversed) ? FMax - FRange * v : FMin + FRange * v;
    }
    return v;
}

int Tsp_Scale::TickPixel(int I) const {
    return (I < 0 || I >= kMaxTicks) ? 0 : FTickPixels[static_cast<size_t>(I)];
}

std::string Tsp_Scale::GetTickLabel(int I) {
    return FormatTickLabel(I);
}

std::string Tsp_Scale::FormatTickLabel(int I) const {
    const double v = TickValue(I);
    return GetFlag(sfLabelAsDateTime) ? FormatDateTime(FLabelFormat, v)
                                      : FormatFloat(FLabelFormat, v);
}

void Tsp_Scale::SetLinePos(int X, int Y, int Length) {
    if (X == FLineX && Y == FLineY && Length == FLineLength) {
        return;
    }
    ReadSLinePos(X, Y, Length);
    CalcMapping();
    CalcTickPixels();
}

void Tsp_Scale::ReadSLinePos(int X, int Y, int Length) {
    FLineX = X;
    FLineY = Y;
    FLineLength = Length == 0 ? 1 : std::abs(Length);
}

void Tsp_Scale::StoreFlag(int Index, bool Value) {
    if (Value) {
        FFlags |= 1u << Index;
    } else {
        FFlags &= ~(1u << Index);
    }
}

void Tsp_Scale::SetFlag(int Index, bool Value) {
    if (GetFlag(Index) == Value) {
        return;
    }
    StoreFlag(Index, Value);
    FlagChanged(Index, Value);
}

void Tsp_Scale::FlagChanged(int Index, bool Value) {
    (void)Index;
    (void)Value;
}

bool Tsp_Scale::StoreRequestedTicks(int value) {
    const auto n = static_cast<uint8_t>(std::clamp(value, 0, kMaxTicks));
    if (n == FRequestedTicks) {
        return false;
    }
    FRequestedTicks = n;
    return true;
}

void Tsp_Scale::ScrollByPixels(int P) {
    const double delta = P / FPixelsPerUnit;
    if (delta == 0) {
        return;
    }
    FMin += delta;
    FMax = FMin + FRange;
    FOriginValue = GetFlag(sfInversed) ? FMax : FMin;
    FScaledLow = std::ceil(FMin * FFactor);
    FScaledHigh = std::floor(FMax * FFactor);
    if (std::fabs(delta) > FRange) {
        CalcTicks();
    } else if (FTickCount > 0) {
        if (FractionMode()) {
            FractionTicks(P);
        } else {
            LatticeTicks();
        }
    }
    CalcTickPixels();
}

void Tsp_Scale::LatticeTicks() {
    const double origin = FOriginValue * FFactor;
    double f = Frac((FTickValues[0] * FFactor - origin) / FStep);
    double first = 0;
    double count = 0;
    if (GetFlag(sfInversed)) {
        if (f > 0) {
            f -= 1;
        }
        first = origin + FStep * f;
        count = std::trunc((first - FMin * FFactor) / FStep) + 1;
    } else {
        if (f < 0) {
            f += 1;
        }
        first = origin + FStep * f;
        count = std::trunc((FMax * FFactor - first) / FStep) + 1;
    }
    FTickCount = TickCountFrom(count);
    const double step = GetFlag(sfInversed) ? -FStep : FStep;
    for (int i = 0; i < FTickCount; ++i) {
        FTickValues[static_cast<size_t>(i)] = (first + i * step) / FFactor;
    }
}

void Tsp_Scale::FractionTicks(int P) {
    const int n = FRequestedTicks;
    const double spacing = n == 1 ? 1.0 : 1.0 / (n - 1);
    const double shift = Vertical() ? -P : P;
    double f = Frac((FLineLength * FTickValues[0] - shift) / (FLineLength * spacing));
    if (f < 0) {
        f += 1;
    }
    FTickCount = TickCountFrom(std::trunc(1 / spacing - f) + 1);
    for (int i = 0; i < FTickCount; ++i) {
        FTickValues[static_cast<size_t>(i)] = (i + f) * spacing;
    }
}
