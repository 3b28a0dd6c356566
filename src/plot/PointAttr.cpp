#include "plot/PointAttr.h"

void Tsp_PointAttr::Halves(int size, int& before, int& after) {
    if (size < 0) {
        size = 1;
    }
    before = size / 2;
    after = size / 2 + 1;
}

void Tsp_PointAttr::SetKind(TPointKind value) {
    if (value != FKind) {
        FKind = value;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetHSize(int value) {
    int before = 0;
    int after = 0;
    Halves(value, before, after);
    if (before != FLeft || after != FRight) {
        FLeft = before;
        FRight = after;
        AttrChanged();
    }
}

void Tsp_PointAttr::SetVSize(int value) {
    int before = 0;
    int after = 0;
    Halves(value, before, after);
    if (before != FTop || after != FBottom) {
        FTop = before;
        FBottom = after;
        AttrChanged();
    }
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
