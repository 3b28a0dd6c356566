// The Graph page: the plot with its four lines, and the window's handling of its size.

#include "core/Unit1.h"
#include "plot/Axis.h"
#include "plot/XYLine.h"
#include "plot/XYPlot.h"
#include "toolkit/SysUtils.h"

namespace {

Tsp_XYLine* MakeLine(TForm1* form, const char* name, Tsp_XYPlot* plot, const char* legend,
                     TColor color, int width) {
    auto* line = new Tsp_XYLine(form);
    line->SetName(name);
    line->SetLegend(legend);
    line->LineAttr().SetColor(color);
    line->LineAttr().SetWidth(static_cast<uint16_t>(width));
    line->PointAttr().SetKind(ptRectangle);
    line->PointAttr().SetVisible(false);
    line->SetPlot(plot);
    return line;
}

}  // namespace

void TForm1::BuildGraphPage() {
    XYPlot1 = new Tsp_XYPlot(this);
    XYPlot1->SetName("XYPlot1");
    XYPlot1->SetParent(TabSheet1);
    XYPlot1->SetBounds(0, 0, 369, 247);
    XYPlot1->SetAlign(TAlign::alClient);
    XYPlot1->SetColor(clBtnFace);
    XYPlot1->SetFieldColor(clWindow);
    XYPlot1->SetBorderStyle(bs_None);
    XYPlot1->Font().SetName("Verdana");
    XYPlot1->Font().SetHeight(-9);
    XYPlot1->SetHint("press Shift for zoom; press Ctrl for pan.\nDouble click for fit.");
    struct {
        Tsp_Axis* Axis;
        int Margin;
        const char* Caption;
        int Ticks;
        bool Grid;
        const char* Format;
        uint32_t Flags;
        int LineX, LineY, LineLength;
        double Min, Max;
    } const axes[4] = {
        {XYPlot1->LeftAxis(), 2, "Ping time (msec)", 6, true, "###0.##", 129, 28, 226, 221, 0,
         10.25},
        {XYPlot1->RightAxis(), 1, "", 5, false, "###0.##", 57, 348, 226, 221, 0, 10},
        {XYPlot1->BottomAxis(), 5, "time", 5, true, "hh:mm:ss", 448, 29, 227, 318, -0.225, 9.225},
        {XYPlot1->TopAxis(), 4, "", 5, false, "###0.##", 56, 29, 4, 318, 0, 10},
    };
    for (const auto& a : axes) {
        a.Axis->SetMargin(a.Margin);
        a.Axis->SetCaption(a.Caption);
        a.Axis->SetTicksCount(a.Ticks);
        a.Axis->GridAttr().SetVisible(a.Grid);
        a.Axis->SetLabelFormat(a.Format);
        a.Axis->ReadSFlags(a.Flags);
        a.Axis->ReadSLinePos(a.LineX, a.LineY, a.LineLength);
        if (a.Min != 0) {
            a.Axis->ReadFMin(a.Min);
        }
        a.Axis->ReadFMax(a.Max);
    }

    Line1 = MakeLine(this, "Line1", XYPlot1, "ping", clNavy, 2);
    Line2 = MakeLine(this, "Line2", XYPlot1, "", clMaroon, 1);
    Line3 = MakeLine(this, "Line3", XYPlot1, "", clGreen, 1);
    LineLostPing = MakeLine(this, "LineLostPing", XYPlot1, "Lost ping packet", clRed, 2);
}

void TForm1::AddLinePoint(Tsp_XYLine* line, double y) {
    line->SetLockInvalidate(true);
    line->AddXY(Now(), y);
    line->SetTag(line->Tag() + 1);
    while (line->Tag() > TrackMaxGraph->Position()) {
        line->Delete(0);
        line->SetTag(line->Tag() - 1);
    }
    line->SetLockInvalidate(false);
}

void TForm1::ClearLine(Tsp_XYLine* line) {
    line->Clear();
    line->SetTag(0);
}

void TForm1::FormResize(TObject*) {
    if (Width() < 394) {
        SetWidth(394);
    }
    if (Height() < 250) {
        SetHeight(250);
    }
    XYPlot1->BottomAxis()->SetTicksCount(PageControl1->Width() / 95 + 1);
    XYPlot1->LeftAxis()->SetTicksCount((PageControl1->Height() - 16) / 26 + 1);
    if (XYPlot1->LeftAxis()->TicksCount() > 18) {
        XYPlot1->LeftAxis()->SetTicksCount(18);
    }
    if (XYPlot1->BottomAxis()->TicksCount() > 14) {
        XYPlot1->BottomAxis()->SetTicksCount(14);
    }
}

void TForm1::SetAutoRanges(bool automatic) {
    for (Tsp_Axis* axis : {XYPlot1->LeftAxis(), XYPlot1->BottomAxis()}) {
        axis->SetAutoMin(automatic);
        axis->SetAutoMax(automatic);
    }
}

void TForm1::XYPlot1AxisZoom(Tsp_Axis*, double&, double&, bool&) {
    // The user's view holds for a while before new points may move it again.
    SetAutoRanges(false);
    TimerZoom->SetEnabled(true);
}

void TForm1::TimerZoomTimer(TObject*) {
    SetAutoRanges(true);
    TimerZoom->SetEnabled(false);
}

void TForm1::XYPlot1DblClick(TObject*) {
    SetAutoRanges(true);
    FPingRequest = true;
}
