#include "plot/XYDataSeries.h"

#include <algorithm>
#include <cmath>

#include "plot/XYPlot.h"

namespace {

// Widens [lo, hi] to take v; a value below lo cannot also be above hi.
void Widen(double v, double& lo, double& hi) {
    if (v < lo) {
        lo = v;
    } else if (v > hi) {
        hi = v;
    }
}

bool Finite(double x, double y) {
    return std::isfinite(x) && std::isfinite(y);
}

}  // namespace

Tsp_XYDataSeries::Tsp_XYDataSeries(TComponent* AOwner)
    : Tsp_DataSeries(AOwner),
      FXV(static_cast<size_t>(FCapacityBound) + 1),
      FYV(static_cast<size_t>(FCapacityBound) + 1) {
    FLineAttr.SetOnChange([this](TObject* sender) { AttrChanged(sender); });
}

Tsp_XYDataSeries::~Tsp_XYDataSeries() {
    FLineAttr.SetOnChange(nullptr);
    // Leave the plot while the points can still be asked for; the base would do it too late.
    SetPlot(nullptr);
}

void Tsp_XYDataSeries::AddXY(double X, double Y) {
    if (FCount >= FCapacityBound) {
        FCapacityBound += FGrowthStep;
        FXV.resize(static_cast<size_t>(FCapacityBound) + 1);
        FYV.resize(static_cast<size_t>(FCapacityBound) + 1);
    }
    FXV[static_cast<size_t>(FCount)] = X;
    FYV[static_cast<size_t>(FCount)] = Y;
    if (FCount == 0) {
        FHasExtents = false;
        FExtentsValid = true;
    }
    if (FExtentsValid) {
        TakeExtents(X, Y);
    }
    ++FCount;
    ValuesChanged();
}

void Tsp_XYDataSeries::Delete(int32_t Index) {
    if (Index < 0 || Index >= FCount) {
        return;
    }
    FExtentsValid = false;
    const auto from = static_cast<ptrdiff_t>(Index) + 1;
    std::copy(FXV.begin() + from, FXV.begin() + FCount, FXV.begin() + from - 1);
    std::copy(FYV.begin() + from, FYV.begin() + FCount, FYV.begin() + from - 1);
    --FCount;
    ValuesChanged();
}

void Tsp_XYDataSeries::Clear() {
    const bool held = FCount > 0;
    FCount = 0;
    if (held && FActive && !FLockInvalidate && Plot() != nullptr) {
        Plot()->SeriesChanged(this);
    }
}

void Tsp_XYDataSeries::ValuesChanged() {
    if (FLockInvalidate || Plot() == nullptr) {
        return;
    }
    if (FActive) {
        Plot()->SeriesChanged(this);
    }
    Plot()->Update();
}

// A point that is not a number or infinite in either value takes no part in the extents: one
// such point would leave the axes without a range and the plot blank.
void Tsp_XYDataSeries::TakeExtents(double X, double Y) {
    if (!Finite(X, Y)) {
        return;
    }
    if (!FHasExtents) {
        FXMin = FXMax = X;
        FYMin = FYMax = Y;
        FHasExtents = true;
    } else {
        Widen(X, FXMin, FXMax);
        Widen(Y, FYMin, FYMax);
    }
}

bool Tsp_XYDataSeries::ValidExtents() {
    if (FCount == 0) {
        return false;
    }
    if (!FExtentsValid) {
        FHasExtents = false;
        for (int32_t i = 0; i < FCount; ++i) {
            TakeExtents(FXV[static_cast<size_t>(i)], FYV[static_cast<size_t>(i)]);
        }
        FExtentsValid = true;
    }
    return FHasExtents;
}

bool Tsp_XYDataSeries::Extent(double Tsp_XYDataSeries::*field, double& value) {
    if (!ValidExtents()) {
        return false;
    }
    value = this->*field;
    return true;
}

bool Tsp_XYDataSeries::GetXMin(double& value) {
    return Extent(&Tsp_XYDataSeries::FXMin, value);
}
bool Tsp_XYDataSeries::GetXMax(double& value) {
    return Extent(&Tsp_XYDataSeries::FXMax, value);
}
bool Tsp_XYDataSeries::GetYMin(double& value) {
    return Extent(&Tsp_XYDataSeries::FYMin, value);
}
bool Tsp_XYDataSeries::GetYMax(double& value) {
    return Extent(&Tsp_XYDataSeries::FYMax, value);
}

void Tsp_XYDataSeries::SetLockInvalidate(bool value) {
    if (value == FLockInvalidate) {
        return;
    }
    FLockInvalidate = value;
    if (!FLockInvalidate && Plot() != nullptr && FActive) {
        Plot()->SeriesChanged(this);
    }
}

void Tsp_XYDataSeries::SetActive(bool value) {
    if (value == FActive) {
        return;
    }
    FActive = value;
    if (Plot() != nullptr) {
        Plot()->SeriesChanged(this);
    }
}

void Tsp_XYDataSeries::AttrChanged(TObject* Sender) {
    (void)Sender;
    if (!FLockInvalidate && Plot() != nullptr && FActive) {
        Plot()->Redraw(false, false, true);
    }
}
