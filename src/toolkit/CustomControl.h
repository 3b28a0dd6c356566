#pragma once
// A control that draws itself: its widget paints through the virtual Paint() on the control's
// canvas inside Qt's paint cycle, and hands mouse presses, moves, releases and double clicks to
// the control's mouse hooks.

#include "toolkit/Canvas.h"
#include "toolkit/Control.h"

class TCustomControlWidget;

class TCustomControl : public TControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;

    std::string ClassName() const override { return "TCustomControl"; }

    TCanvas& Canvas() { return FCanvas; }

protected:
    // Paints the whole control on Canvas(); the widget is opaque and is not erased first, so
    // every pixel must be covered. The base fills the control with its Color.
    virtual void Paint();

private:
    friend class TCustomControlWidget;
    void PaintWidget(QPainter& painter);
    void WidgetMousePress(TMouseButton button, TShiftState shift, int x, int y, bool doubleClick);
    void WidgetMouseRelease(TMouseButton button, TShiftState shift, int x, int y);

    TCanvas FCanvas;
    // A double click ends with its release; DblClick() follows that release.
    bool FDblClickPending = false;
};
