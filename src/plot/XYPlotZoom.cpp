// The plot's mouse gestures: the rubber-band zoom, the pan and the click that undoes them.

#include <QRegion>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "plot/XYPlot.h"
#include "toolkit/Dialogs.h"

namespace {

// How far the mouse must move from the press before a band is drawn.
constexpr int kZoomThreshold = 3;

bool Moves(Tsp_zpDirections d, Tsp_zpDirections along) {
    return d == along || d == zpdBoth;
}

// The four one-pixel edges of the band's outline.
QRegion Outline(TPoint a, TPoint b) {
    const int l = std::min(a.X, b.X);
    const int t = std::min(a.Y, b.Y);
    const int w = std::abs(a.X - b.X) + 1;
    const int h = std::abs(a.Y - b.Y) + 1;
    QRegion r(l, t, w, 1);
    r += QRect(l, t + h - 1, w, 1);
    r += QRect(l, t, 1, h);
    r += QRect(l + w - 1, t, 1, h);
    return r;
}

}  // namespace

void Tsp_XYPlot::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (FDragState == dgIdle && Button == TMouseButton::mbLeft) {
        if (Shift == FZoomKeys && FZoom != zpdNone) {
            FAnchor = {X, Y};
            if (FZoom == zpdHorizontal) {
                FAnchor.Y = FField.Top;
            } else if (FZoom == zpdVertical) {
                FAnchor.X = FField.Left;
            }
            FDragState = dgZoomPending;
        } else if (Shift == FPanKeys && FPan != zpdNone) {
            FAnchor = {X, Y};
            SetScreenCursor(FPanCursor);
            FDragState = dgPanPending;
        }
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void Tsp_XYPlot::MouseMove(TShiftState Shift, int X, int Y) {
    const TPoint oldAnchor = FAnchor;
    const TPoint oldCorner = FCorner;
    switch (FDragState) {
        case dgZoomPending:
            if (std::abs(X - FAnchor.X) > kZoomThreshold ||
                std::abs(Y - FAnchor.Y) > kZoomThreshold) {
                SetScreenCursor(crCross);
                FCorner = BandCorner(X, Y);
                FDragState = dgZooming;
                UpdateBand(oldAnchor, oldCorner, false);
            }
            break;
        case dgZooming:
            FCorner = BandCorner(X, Y);
            UpdateBand(oldAnchor, oldCorner, true);
            break;
        case dgPanPending:
            if (X == FAnchor.X && Y == FAnchor.Y) {
                break;
            }
            FDragState = dgPanning;
            [[fallthrough]];
        case dgPanning:
            FCorner = FAnchor;
            FAnchor = {X, Y};
            PanStep();
            break;
        default:
            break;
    }
    TCustomControl::MouseMove(Shift, X, Y);
}

void Tsp_XYPlot::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    const Tsp_DragState state = FDragState;
    FDragState = dgIdle;
    if (state == dgZoomPending) {
        // A click with the zoom keys gives back the ranges of before the first zoom or pan.
        const auto axes = Axes();
        if (std::all_of(axes.begin(), axes.end(), [](Tsp_Axis* a) { return a->HasSavedRange(); })) {
            for (Tsp_Axis* a : axes) {
                a->RestoreRange();
            }
            Invalidate();
        }
    } else if (state == dgZooming) {
        UpdateBand(FAnchor, FCorner, true);
        ZoomToRect(NormalisedBand(), FZoom);
    }
    if (state != dgIdle) {
        SetScreenCursor(Cursor());
    }
    TCustomControl::MouseUp(Button, Shift, X, Y);
}

TPoint Tsp_XYPlot::BandCorner(int X, int Y) const {
    TPoint corner{X, Y};
    if (FZoom == zpdHorizontal) {
        corner.Y = FField.Bottom;
    } else if (FZoom == zpdVertical) {
        corner.X = FField.Right;
    }
    return corner;
}

TRect Tsp_XYPlot::NormalisedBand() const {
    TRect r{FAnchor.X, FAnchor.Y, FCorner.X, FCorner.Y};
    // A band dragged backwards covers the same pixels as one dragged forwards.
    if (FCorner.X < FAnchor.X) {
        r.Left = FCorner.X + 1;
        r.Right = FAnchor.X + 1;
    }
    if (FCorner.Y < FAnchor.Y) {
        r.Top = FCorner.Y + 1;
        r.Bottom = FAnchor.Y + 1;
    }
    return r;
}

void Tsp_XYPlot::UpdateBand(TPoint oldAnchor, TPoint oldCorner, bool oldShown) {
    // The band is painted last in Paint(); repainting its old and new outline moves it.
    QRegion dirty;
    if (oldShown) {
        dirty += Outline(oldAnchor, oldCorner);
    }
    if (FDragState == dgZooming) {
        dirty += Outline(FAnchor, FCorner);
    }
    if (Widget() != nullptr) {
        Widget()->update(dirty);
    }
}

void Tsp_XYPlot::DrawBand(TCanvas& c) {
    if (FDragState != dgZooming) {
        return;
    }
    // Inverting the pixels under a dotted outline keeps whatever lies beneath readable.
    c.Pen().SetColor(clBlack);
    c.Pen().SetStyle(psDot);
    c.Pen().SetWidth(1);
    c.Pen().SetMode(pmNotXor);
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clWhite);
    const std::array<TPoint, 5> outline{
        {FAnchor, {FCorner.X, FAnchor.Y}, FCorner, {FAnchor.X, FCorner.Y}, FAnchor}};
    c.Polyline(outline);
    c.Pen().SetMode(pmCopy);
}

void Tsp_XYPlot::ZoomToRect(const TRect& rect, Tsp_zpDirections zoom) {
    if (zoom == zpdNone || rect.Right - rect.Left <= 2 || rect.Bottom - rect.Top <= 2) {
        return;
    }
    for (Tsp_Axis* a : Axes()) {
        a->SaveRange();
    }
    struct Target {
        Tsp_Axis* Axis;
        double Min;
        double Max;
    };
    std::vector<Target> targets;
    auto add = [&](Tsp_Axis* axis, int p, int q) {
        double a = axis->PixelToValue(p);
        double b = axis->PixelToValue(q);
        targets.push_back({axis, std::min(a, b), std::max(a, b)});
    };
    // Every band edge is read as the user saw it, before a handler can move any axis.
    if (Moves(zoom, zpdHorizontal)) {
        add(BottomAxis(), rect.Left, rect.Right);
        add(TopAxis(), rect.Left, rect.Right);
    }
    if (Moves(zoom, zpdVertical)) {
        add(LeftAxis(), rect.Bottom, rect.Top);
        add(RightAxis(), rect.Bottom, rect.Top);
    }
    for (Target& t : targets) {
        bool canZoom = true;
        if (OnAxisZoom) {
            DispatchEvent([&] { OnAxisZoom(t.Axis, t.Min, t.Max, canZoom); });
        }
        if (canZoom) {
            t.Axis->SetMinMax(t.Min, t.Max);
        }
    }
    Invalidate();
}

void Tsp_XYPlot::PanStep() {
    for (Tsp_Axis* a : Axes()) {
        a->SaveRange();
    }
    // The previous point is in the corner, the current one in the anchor: content follows.
    const int dx = FCorner.X - FAnchor.X;
    if (dx != 0 && Moves(FPan, zpdHorizontal)) {
        BottomAxis()->ScrollByPixels(dx);
        TopAxis()->ScrollByPixels(dx);
        Redraw(false, true, true);
    }
    const int dy = FCorner.Y - FAnchor.Y;
    if (dy != 0 && Moves(FPan, zpdVertical)) {
        LeftAxis()->ScrollByPixels(dy);
        RightAxis()->ScrollByPixels(dy);
        Redraw(false, true, true);
    }
}
