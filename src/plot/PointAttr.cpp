#include "plot/PointAttr.h"

void Tsp_PointAttr::SetHalves(int size, int& before, int& after) {
    // A negative size counts as 1.
    const int s = size < 0 ? 1 : size;
    if (s / 2 != before || s / 2 + 1 != after) {
        before = s / 2;
        after = s / 2 + 1;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetKind(TPointKind value) {
    if (value != FKind) {
        FKind = value;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetHSize(int value) {
    SetHalves(value, FLeft, FRight);
}

void Tsp_PointAttr::SetVSize(int value) {
    SetHalves(value, FTop, FBottom);
}

void Tsp_PointAttr::SetVisible(bool value) {
    if (value != FVisible) {
        FVisible = value;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetBorderWidth(int value) {
    if (value != FBorderWidth) {
        FBorderWidth = value;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetBorderColor(TColor value) {
    if (value != FBorderColor) {
        FBorderColor = value;
        AttrChanged();
    }
}

void Tsp_PointAttr::AttrChanged() {
    if (FOnAttrChange) {
        FOnAttrChange(this);
    }
}
