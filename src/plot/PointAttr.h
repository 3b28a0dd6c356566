#pragma once
// How a series marks its points: a shape, its size and border, filled with the brush part.

#include <cstdint>

#include "toolkit/Canvas.h"

enum TPointKind {
    ptRectangle,
    ptEllipse,
    ptDiamond,
    ptCross,
    ptCustom,
    ptTriangle,
    ptDownTriangle
};

class Tsp_PointAttr : public TBrush {
public:
    std::string ClassName() const override { return "Tsp_PointAttr"; }

    TPointKind Kind() const { return FKind; }
    void SetKind(TPointKind value);
    // Kept as two halves around the point, so an even size reads back one larger.
    int HSize() const { return FLeft + FRight; }
    void SetHSize(int value);
    int VSize() const { return FTop + FBottom; }
    void SetVSize(int value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor value);

    // The marker's box around a point's pixel, right and bottom exclusive.
    TRect MarkerRect(int x, int y) const { return {x - FLeft, y - FTop, x + FRight, y + FBottom}; }

    // The owner's callback for a changed value; the brush's own changes use OnChange.
    void SetOnAttrChange(TNotifyEvent callback) { FOnAttrChange = std::move(callback); }

private:
    void AttrChanged();
    void SetHalves(int size, int& before, int& after);

    TNotifyEvent FOnAttrChange;
    TPointKind FKind = ptRectangle;
    int FLeft = 2;
    int FRight = 3;
    int FTop = 2;
    int FBottom = 3;
    bool FVisible = true;
    int FBorderWidth = 1;
    TColor FBorderColor = clBlack;
};
