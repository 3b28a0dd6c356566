#include "plot/XYPlot.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Axis flags as the plot creates its axes.
constexpr uint32_t kLeftFlags = 1u << sfVertical;
constexpr uint32_t kRightFlags =
    (1u << sfVertical) | (1u << sfNoTicksLines) | (1u << sfNoTicksLabel) | (1u << sfFarSide);
constexpr uint32_t kBottomFlags = 0;
constexpr uint32_t kTopFlags = (1u << sfNoTicksLines) | (1u << sfNoTicksLabel) | (1u << sfFarSide);

// Outward from the field: left and up for the left and top axes, right and down otherwise.
int Outward(const Tsp_Axis& axis) {
    return axis.Vertical() != axis.FarSide() ? -1 : 1;
}

int VisibleWidth(const Tsp_Axis& axis) {
    return axis.LineAttr().Visible() ? axis.LineAttr().Width() : 0;
}

void SolidPen(TCanvas& c, TColor color) {
    c.Pen().SetColor(color);
    c.Pen().SetStyle(psSolid);
    c.Pen().SetWidth(1);
    c.Pen().SetMode(pmCopy);
}

// One ring of pixels inset from the control's edge, its top and left in one colour, its bottom
// and right in another.
void DrawRing(TCanvas& c, int inset, int w, int h, TColor topLeft, TColor bottomRight) {
    const int right = w - 1 - inset;
    const int bottom = h - 1 - inset;
    SolidPen(c, topLeft);
    c.MoveTo(inset, bottom);
    c.LineTo(inset, inset);
    c.LineTo(right, inset);
    SolidPen(c, bottomRight);
    c.LineTo(right, bottom);
    c.LineTo(inset - 1, bottom);
}

}  // namespace

Tsp_XYPlot::Tsp_XYPlot(TComponent* AOwner)
    : TCustomControl(AOwner),
      FLeftAxis(std::make_unique<Tsp_Axis>(this, kLeftFlags)),
      FRightAxis(std::make_unique<Tsp_Axis>(this, kRightFlags)),
      FBottomAxis(std::make_unique<Tsp_Axis>(this, kBottomFlags)),
      FTopAxis(std::make_unique<Tsp_Axis>(this, kTopFlags)) {
    FLeftAxis->GridAttr().SetVisible(true);
    FBottomAxis->GridAttr().SetVisible(true);
    SetColor(clBtnFace);
    SetBounds(Left(), Top(), 180, 120);
    BuildRotatedFont();
    FLayoutValid = false;
}

Tsp_XYPlot::~Tsp_XYPlot() {
    // The series outlive this plot's list; tell them now rather than from the base destructor.
    const std::vector<Tsp_DataSeries*> attached = FSeries;
    FSeries.clear();
    for (Tsp_DataSeries* s : attached) {
        s->SetPlot(nullptr);
    }
}

void Tsp_XYPlot::BuildRotatedFont() {
    FRotatedFont.Assign(Font());
    FRotatedFont.SetStyle(Font().Style() | fsBold);
    FRotatedFont.SetOrientation(900);
}

void Tsp_XYPlot::SetFieldColor(TColor value) {
    if (value != FFieldColor) {
        FFieldColor = value;
        Redraw(false, false, true);
    }
}

void Tsp_XYPlot::SetBorderStyle(Tsp_BorderStyle value) {
    if (value != FBorderStyle) {
        FBorderStyle = value;
        Redraw(false, true, false);
    }
}

void Tsp_XYPlot::AddSeries(Tsp_DataSeries* series) {
    if (series == nullptr || std::find(FSeries.begin(), FSeries.end(), series) != FSeries.end()) {
        return;
    }
    FSeries.push_back(series);
    if (series->Active()) {
        SeriesChanged(series);
    }
}

void Tsp_XYPlot::RemoveSeries(Tsp_DataSeries* series) {
    const auto it = std::find(FSeries.begin(), FSeries.end(), series);
    if (it == FSeries.end()) {
        return;
    }
    FSeries.erase(it);
    if (series->Active()) {
        SeriesChanged(series);
    }
}

void Tsp_XYPlot::SeriesChanged(Tsp_DataSeries* series) {
    Tsp_Axis* xAxis = series->XAxis() == dsxTop ? TopAxis() : BottomAxis();
    Tsp_Axis* yAxis = series->YAxis() == dsyRight ? RightAxis() : LeftAxis();
    const bool xMoved = AutoScaleAxis(xAxis);
    const bool yMoved = AutoScaleAxis(yAxis);
    if (xMoved || yMoved) {
        Invalidate();
    } else {
        Redraw(false, true, true);
    }
}

bool Tsp_XYPlot::AutoScaleAxis(Tsp_Axis* axis) {
    const bool autoMin = axis->AutoMin();
    const bool autoMax = axis->AutoMax();
    if (!autoMin && !autoMax) {
        return false;
    }
    const bool vertical = axis->Vertical();
    double lo = 0;
    double hi = 0;
    bool haveLo = false;
    bool haveHi = false;
    for (Tsp_DataSeries* s : FSeries) {
        const bool mapped = vertical ? (s->YAxis() == dsyLeft) == (axis == LeftAxis())
                                     : (s->XAxis() == dsxBottom) == (axis == BottomAxis());
        if (!s->Active() || !mapped) {
            continue;
        }
        double v = 0;
        if (autoMin && (vertical ? s->GetYMin(v) : s->GetXMin(v)) && (!haveLo || v < lo)) {
            lo = v;
            haveLo = true;
        }
        if (autoMax && (vertical ? s->GetYMax(v) : s->GetXMax(v)) && (!haveHi || v > hi)) {
            hi = v;
            haveHi = true;
        }
    }
    if (!haveLo && !haveHi) {
        return false;
    }
    lo = haveLo ? lo : axis->Min();
    hi = haveHi ? hi : axis->Max();
    const double pad = (hi - lo) * 0.025;
    lo -= haveLo ? pad : 0;
    hi += haveHi ? pad : 0;
    if (lo != axis->Min() || hi != axis->Max()) {
        axis->SetMinMax(lo, hi);
    }
    return true;
}

void Tsp_XYPlot::Invalidate() {
    Redraw(true, true, true);
}

void Tsp_XYPlot::Redraw(bool Layout, bool Frame, bool Field) {
    FLayoutValid = FLayoutValid && !Layout;
    FFrameValid = FFrameValid && !Frame;
    FFieldValid = FFieldValid && !Field;
    TCustomControl::Invalidate();
}

void Tsp_XYPlot::LayoutField(int CharW, int CharH) {
    Tsp_Axis& l = *FLeftAxis;
    Tsp_Axis& r = *FRightAxis;
    Tsp_Axis& b = *FBottomAxis;
    Tsp_Axis& t = *FTopAxis;
    int left = std::max({l.AxisThickness(CharW, CharH), b.StartOverhang(CharW, CharH),
                         t.StartOverhang(CharW, CharH)}) +
               l.Margin();
    const int bottomInset = std::max({b.AxisThickness(CharW, CharH), l.StartOverhang(CharW, CharH),
                                      r.StartOverhang(CharW, CharH)}) +
                            b.Margin();
    const int rightInset = std::max({r.AxisThickness(CharW, CharH), b.EndOverhang(CharW, CharH),
                                     t.EndOverhang(CharW, CharH)}) +
                           r.Margin();
    int top = std::max({t.AxisThickness(CharW, CharH), l.EndOverhang(CharW, CharH),
                        r.EndOverhang(CharW, CharH)}) +
              t.Margin();
    int right = Width() - rightInset;
    int bottom = Height() - bottomInset;
    // A field too small to draw in is widened, even over the axes.
    right = std::max(right, left + 3);
    bottom = std::max(bottom, top + 3);
    FField = {left, top, right, bottom};
    FLaidOutWidth = Width();
    FLaidOutHeight = Height();
    l.SetLinePos(left - 1, bottom - 1, bottom - top - 1);
    r.SetLinePos(right, bottom - 1, bottom - top - 1);
    b.SetLinePos(left, bottom, right - left - 1);
    t.SetLinePos(left, top - 1, right - left - 1);
    FLayoutValid = true;
}

void Tsp_XYPlot::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomControl::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) {
        return;
    }
    for (Tsp_DataSeries* s : FSeries) {
        if (static_cast<TComponent*>(s) == AComponent) {
            RemoveSeries(s);
            break;
        }
    }
}

void Tsp_XYPlot::Resized() {
    TCustomControl::Resized();
    // Qt repeats the resize event of a hidden widget each time it is rendered.
    if (Width() != FLaidOutWidth || Height() != FLaidOutHeight) {
        Invalidate();
    }
}

void Tsp_XYPlot::FontChanged() {
    FLayoutValid = false;
    BuildRotatedFont();
    TCustomControl::FontChanged();
}

void Tsp_XYPlot::DoDrawEnd() {
    if (OnDrawEnd) {
        OnDrawEnd(this);
    }
}

void Tsp_XYPlot::DoFieldDraw() {
    if (OnFieldDraw) {
        OnFieldDraw(this);
    }
}

void Tsp_XYPlot::Paint() {
    TCanvas& c = Canvas();
    if (!LayoutValid()) {
        c.Font().Assign(Font());
        LayoutField(c.TextWidth("0"), std::abs(Font().Height()));
    }
    DrawBackground(c);
    c.Brush().SetStyle(bsClear);
    // Each line reaches over the corner it shares with the next one round, so the frame closes.
    DrawAxisLine(c, *FTopAxis, 0, VisibleWidth(*FRightAxis));
    DrawAxisLine(c, *FRightAxis, VisibleWidth(*FBottomAxis), 0);
    DrawAxisLine(c, *FBottomAxis, VisibleWidth(*FLeftAxis), 0);
    DrawAxisLine(c, *FLeftAxis, 0, VisibleWidth(*FTopAxis));
    c.Font().Assign(Font());
    for (Tsp_Axis* axis : {FTopAxis.get(), FRightAxis.get(), FLeftAxis.get(), FBottomAxis.get()}) {
        DrawTicks(c, *axis);
    }
    DrawCaptions(c);
    DrawBorder(c);
    FFrameValid = true;
    DrawField(c);
    FFieldValid = true;
    DoDrawEnd();
    DrawBorder(c);
    DrawBand(c);
}

void Tsp_XYPlot::DrawBackground(TCanvas& c) {
    const int w = Width();
    const int h = Height();
    const TRect& f = FField;
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    // Row f.Bottom between the field's sides is the bottom axis line's.
    c.FillRect({0, 0, w, f.Top});
    c.FillRect({0, f.Bottom + 1, w, h});
    c.FillRect({0, f.Top, f.Left, f.Bottom + 1});
    c.FillRect({f.Right, f.Top, w, f.Bottom + 1});
}

void Tsp_XYPlot::DrawAxisLine(TCanvas& c, const Tsp_Axis& axis, int startExtension,
                              int endExtension) {
    const Tsp_LineAttr& attr = axis.LineAttr();
    if (!attr.Visible()) {
        return;
    }
    c.Pen().SetColor(attr.Color());
    c.Pen().SetStyle(attr.Style());
    c.Pen().SetWidth(1);
    c.Pen().SetMode(pmCopy);
    const int outward = Outward(axis);
    for (int k = 0; k < attr.Width(); ++k) {
        if (axis.Vertical()) {
            const int x = axis.LineX() + k * outward;
            c.MoveTo(x, axis.LineY() - axis.LineLength() - endExtension);
            c.LineTo(x, axis.LineY() + 1 + startExtension);
        } else {
            const int y = axis.LineY() + k * outward;
            c.MoveTo(axis.LineX() - startExtension, y);
            c.LineTo(axis.LineX() + axis.LineLength() + 1 + endExtension, y);
        }
    }
}

void Tsp_XYPlot::DrawTicks(TCanvas& c, Tsp_Axis& axis) {
    const bool marks = axis.TicksLines();
    const bool labels = !axis.NoTicksLabel();
    if (!marks && !labels) {
        return;
    }
    SolidPen(c, Font().Color());
    c.Brush().SetStyle(bsClear);
    const int outward = Outward(axis);
    const int textHeight = c.TextHeight("8");
    const int w = axis.LineAttr().Width();
    for (int i = 0; i < axis.TickCount(); ++i) {
        const int p = axis.TickPixel(i);
        const std::string text = labels ? axis.GetTickLabel(i) : std::string();
        const int textWidth = labels ? c.TextWidth(text) : 0;
        if (axis.Vertical()) {
            const int edge = axis.LineX() + w * outward;
            if (marks) {
                c.MoveTo(edge, p);
                c.LineTo(edge + 4 * outward, p);
            }
            if (labels) {
                const int x = outward < 0 ? edge - 5 - textWidth : edge + 5;
                c.TextOut(x, p - textHeight / 2, text);
            }
        } else {
            const int edge = axis.LineY() + w * outward;
            if (marks) {
                c.MoveTo(p, edge);
                c.LineTo(p, edge + 4 * outward);
            }
            if (labels) {
                const int y = outward > 0 ? edge + 5 : edge - textHeight - 5;
                c.TextOut(p - textWidth / 2, y, text);
            }
        }
    }
}

void Tsp_XYPlot::DrawCaptions(TCanvas& c) {
    const TRect& f = FField;
    // A caption is drawn only where it shows whole: one whose margin is smaller than its text
    // (the window's "time" under a margin of 5) would leave a few of its top rows at the
    // control's edge, read as stray dots.
    const TRect control{0, 0, Width(), Height()};
    const auto inside = [&control](const TRect& r) {
        return r.Left >= control.Left && r.Top >= control.Top && r.Right <= control.Right &&
               r.Bottom <= control.Bottom;
    };
    c.Brush().SetStyle(bsClear);
    c.Font().Assign(Font());
    c.Font().SetStyle(Font().Style() | fsBold);
    const auto across = [&](const Tsp_Axis& axis, int top) {
        const std::string& text = axis.Caption();
        const int width = c.TextWidth(text);
        const int left = (f.Right + f.Left - width) / 2;
        if (axis.CaptionVisible() && inside({left, top, left + width, top + c.TextHeight(text)})) {
            c.TextOut(left, top, text);
        }
    };
    across(*FBottomAxis, Height() - FBottomAxis->Margin());
    across(*FTopAxis, FTopAxis->Margin() - 1 - c.TextHeight("8"));
    if (!FLeftAxis->CaptionVisible() && !FRightAxis->CaptionVisible()) {
        return;
    }
    // Vertical captions run upwards from their reference point, the text's top facing left.
    c.Font().Assign(FRotatedFont);
    const auto upwards = [&](const Tsp_Axis& axis, int left) {
        const std::string& text = axis.Caption();
        const int length = c.TextWidth(text);
        const int bottom = (f.Bottom + f.Top + length) / 2;
        if (axis.CaptionVisible() &&
            inside({left, bottom - length, left + c.TextHeight(text), bottom})) {
            c.TextOut(left, bottom, text);
        }
    };
    upwards(*FLeftAxis, FLeftAxis->Margin() - 1 - c.TextHeight("8"));
    upwards(*FRightAxis, Width() - FRightAxis->Margin());
}

void Tsp_XYPlot::DrawBorder(TCanvas& c) {
    const int w = Width();
    const int h = Height();
    const TColor face = Color();
    // Top-left and bottom-right colours of the outer ring, then of the inner one. Without a
    // frame the two rings show the background.
    std::array<TColor, 4> rings{face, face, face, face};
    switch (FBorderStyle) {
        case bs_Raised:
            rings = {clBtnHighlight, clBtnShadow, face, face};
            break;
        case bs_Lowered:
            rings = {clBtnShadow, clBtnHighlight, face, face};
            break;
        case bs_Gutter:
            rings = {clBtnShadow, clBtnHighlight, clBtnHighlight, clBtnShadow};
            break;
        case bs_BlackRect:
            rings = {clBlack, clBlack, face, face};
            break;
        case bs_BoldRect:
            rings = {clBlack, clBlack, clBlack, clBlack};
            break;
        default:
            break;
    }
    DrawRing(c, 0, w, h, rings[0], rings[1]);
    DrawRing(c, 1, w, h, rings[2], rings[3]);
    if (FBorderStyle == bs_FocusRect) {
        c.Pen().SetStyle(psDot);
        c.Brush().SetStyle(bsClear);
        c.Rectangle(0, 0, w, h);
    }
}

void Tsp_XYPlot::DrawField(TCanvas& c) {
    const TCanvasClip saved = c.SaveClip();
    c.IntersectClipRect(FField);
    if (FFieldColor != clNone) {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(FFieldColor);
        c.FillRect(FField);
    }
    DoFieldDraw();
    c.Brush().SetStyle(bsClear);
    for (Tsp_Axis* axis : {FLeftAxis.get(), FBottomAxis.get(), FRightAxis.get(), FTopAxis.get()}) {
        DrawGrid(c, *axis);
    }
    for (Tsp_DataSeries* s : FSeries) {
        if (s->Active()) {
            s->Draw();
        }
    }
    c.RestoreClip(saved);
}

void Tsp_XYPlot::DrawGrid(TCanvas& c, const Tsp_Axis& axis) {
    if (!axis.GridAttr().Visible() || axis.TickCount() == 0) {
        return;
    }
    axis.GridAttr().ApplyTo(c.Pen());
    const TRect& f = FField;
    for (int i = 0; i < axis.TickCount(); ++i) {
        const int p = axis.TickPixel(i);
        if (axis.Vertical() && p > f.Top && p < f.Bottom - 1) {
            c.MoveTo(f.Left, p);
            c.LineTo(f.Right, p);
        } else if (!axis.Vertical() && p > f.Left && p < f.Right - 1) {
            c.MoveTo(p, f.Top);
            c.LineTo(p, f.Bottom);
        }
    }
}
