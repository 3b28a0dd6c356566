#pragma once
// The XY plot control: four axes around a rectangular field in which the attached series are
// drawn. The axes refit to the data as it changes; with the mouse the user zooms (a rubber band
// dragged with the zoom keys), pans (a drag with the pan keys) and undoes the zoom (a click with
// the zoom keys).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "plot/Axis.h"
#include "plot/DataSeries.h"
#include "toolkit/CustomControl.h"

enum Tsp_BorderStyle : uint8_t {
    bs_None,
    bs_Raised,
    bs_Lowered,
    bs_Gutter,
    bs_BlackRect,
    bs_BoldRect,
    bs_FocusRect
};

enum Tsp_zpDirections : uint8_t { zpdNone, zpdHorizontal, zpdVertical, zpdBoth };

// The mouse gesture in progress.
enum Tsp_DragState : uint8_t { dgIdle, dgZoomPending, dgZooming, dgPanPending, dgPanning };

// A subset of ssShift, ssAlt and ssCtrl.
using Tsp_ShiftKeys = TShiftState;

using TZoomAxisEvent =
    std::function<void(Tsp_Axis* Sender, double& min, double& max, bool& CanZoom)>;

class Tsp_XYPlot : public TCustomControl {
public:
    explicit Tsp_XYPlot(TComponent* AOwner);
    ~Tsp_XYPlot() override;

    std::string ClassName() const override { return "Tsp_XYPlot"; }

    Tsp_Axis* LeftAxis() const { return FLeftAxis.get(); }
    Tsp_Axis* RightAxis() const { return FRightAxis.get(); }
    Tsp_Axis* BottomAxis() const { return FBottomAxis.get(); }
    Tsp_Axis* TopAxis() const { return FTopAxis.get(); }

    // The data area, right and bottom exclusive, as the last layout placed it.
    TRect FieldRect() const { return FField; }
    // Where series draw while the plot paints.
    TCanvas& DrawingCanvas() { return Canvas(); }

    TColor FieldColor() const { return FFieldColor; }
    void SetFieldColor(TColor value);
    Tsp_BorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(Tsp_BorderStyle value);
    Tsp_zpDirections Zoom() const { return FZoom; }
    void SetZoom(Tsp_zpDirections value) { FZoom = value; }
    Tsp_zpDirections Pan() const { return FPan; }
    void SetPan(Tsp_zpDirections value) { FPan = value; }
    Tsp_ShiftKeys ZoomShiftKeys() const { return FZoomKeys & ~static_cast<unsigned>(ssLeft); }
    void SetZoomShiftKeys(Tsp_ShiftKeys value) { FZoomKeys = WithLeftButton(value); }
    Tsp_ShiftKeys PanShiftKeys() const { return FPanKeys & ~static_cast<unsigned>(ssLeft); }
    void SetPanShiftKeys(Tsp_ShiftKeys value) { FPanKeys = WithLeftButton(value); }
    TCursor PanCursor() const { return FPanCursor; }
    void SetPanCursor(TCursor value) { FPanCursor = value; }

    int SeriesCount() const { return static_cast<int>(FSeries.size()); }
    Tsp_DataSeries* Series(int index) const { return FSeries.at(static_cast<size_t>(index)); }
    // Keep the list of attached series; an active series changing it refits the axes.
    virtual void AddSeries(Tsp_DataSeries* series);
    virtual void RemoveSeries(Tsp_DataSeries* series);
    // Refits the series' two axes and repaints, recomputing the layout when a range moved.
    virtual void SeriesChanged(Tsp_DataSeries* series);
    // Fits an axis with an automatic flag to the data of its active series, widened by 2.5 %
    // at each fitted end; false when it has no such flag or no data.
    bool AutoScaleAxis(Tsp_Axis* axis);

    // Repaints with a new layout.
    void Invalidate() override;
    // Repaints, marking the chosen parts stale; without Layout the field and axes stay put.
    void Redraw(bool Layout, bool Frame, bool Field);
    // Whether the last layout still holds: nothing marked it stale and the size is the same.
    bool LayoutValid() const {
        return FLayoutValid && FLaidOutWidth == Width() && FLaidOutHeight == Height();
    }
    // Places the field and the four axis lines for a font of the given character size.
    void LayoutField(int CharW, int CharH);

    // Zooms the axes to a band in pixels (right and bottom exclusive).
    void ZoomToRect(const TRect& rect, Tsp_zpDirections zoom);
    Tsp_DragState DragState() const { return FDragState; }
    // The rubber band's corners while zooming.
    TPoint DragAnchor() const { return FAnchor; }
    TPoint DragCorner() const { return FCorner; }

    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

    TZoomAxisEvent OnAxisZoom;
    TGetTickLabelEvent OnGetTickLabel;
    TNotifyEvent OnFieldDraw;
    TNotifyEvent OnDrawEnd;

protected:
    void Paint() override;
    virtual void DoDrawEnd();
    virtual void DoFieldDraw();
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Resized() override;
    void FontChanged() override;

private:
    static TShiftState WithLeftButton(Tsp_ShiftKeys keys) {
        return (keys & (ssShift | ssAlt | ssCtrl)) | ssLeft;
    }
    std::array<Tsp_Axis*, 4> Axes() const {
        return {FLeftAxis.get(), FRightAxis.get(), FBottomAxis.get(), FTopAxis.get()};
    }
    void BuildRotatedFont();

    // Painting, in the order Paint() runs it.
    void DrawBackground(TCanvas& c);
    void DrawAxisLine(TCanvas& c, const Tsp_Axis& axis, int startExtension, int endExtension);
    void DrawTicks(TCanvas& c, Tsp_Axis& axis);
    void DrawCaptions(TCanvas& c);
    void DrawBorder(TCanvas& c);
    void DrawField(TCanvas& c);
    void DrawGrid(TCanvas& c, const Tsp_Axis& axis);
    void DrawBand(TCanvas& c);

    // Zoom and pan.
    TPoint BandCorner(int X, int Y) const;
    TRect NormalisedBand() const;
    void UpdateBand(TPoint oldAnchor, TPoint oldCorner, bool oldShown);
    void PanStep();

    std::unique_ptr<Tsp_Axis> FLeftAxis;
    std::unique_ptr<Tsp_Axis> FRightAxis;
    std::unique_ptr<Tsp_Axis> FBottomAxis;
    std::unique_ptr<Tsp_Axis> FTopAxis;
    TRect FField;
    TFont FRotatedFont;
    Tsp_BorderStyle FBorderStyle = bs_None;
    TColor FFieldColor = clWhite;
    std::vector<Tsp_DataSeries*> FSeries;
    TCursor FPanCursor = crDefault;
    Tsp_zpDirections FZoom = zpdBoth;
    Tsp_zpDirections FPan = zpdBoth;
    TShiftState FZoomKeys = ssShift | ssLeft;
    TShiftState FPanKeys = ssCtrl | ssLeft;
    // The band's anchor and corner; while panning, the current and the previous mouse point.
    TPoint FAnchor;
    TPoint FCorner;
    Tsp_DragState FDragState = dgIdle;
    bool FLayoutValid = false;
    int FLaidOutWidth = 0;
    int FLaidOutHeight = 0;
    bool FFrameValid = false;
    bool FFieldValid = false;
};
