#include "toolkit/CustomControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <optional>

namespace {

std::optional<TMouseButton> ButtonFromQt(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return TMouseButton::mbLeft;
        case Qt::RightButton:
            return TMouseButton::mbRight;
        case Qt::MiddleButton:
            return TMouseButton::mbMiddle;
        default:
            return std::nullopt;
    }
}

TShiftState ShiftOf(const QMouseEvent* e) {
    return ShiftStateFromQt(static_cast<unsigned>(e->modifiers().toInt()),
                            static_cast<unsigned>(e->buttons().toInt()));
}

}  // namespace

class TCustomControlWidget : public QWidget {
public:
    explicit TCustomControlWidget(TCustomControl* control) : FControl(control) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAutoFillBackground(false);
        // Moves without a button held reach the control as well.
        setMouseTracking(true);
    }

    void Detach() { FControl = nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (FControl != nullptr) {
            QPainter painter(this);
            FControl->PaintWidget(painter);
        }
    }

    void mousePressEvent(QMouseEvent* e) override { Press(e, false); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { Press(e, true); }

    void mouseMoveEvent(QMouseEvent* e) override {
        if (FControl != nullptr) {
            const QPoint p = e->position().toPoint();
            FControl->MouseMove(ShiftOf(e), p.x(), p.y());
        }
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        const auto button = ButtonFromQt(e->button());
        if (FControl != nullptr && button) {
            const QPoint p = e->position().toPoint();
            FControl->WidgetMouseRelease(*button, ShiftOf(e), p.x(), p.y());
        }
    }

private:
    void Press(QMouseEvent* e, bool doubleClick) {
        const auto button = ButtonFromQt(e->button());
        if (FControl != nullptr && button) {
            const QPoint p = e->position().toPoint();
            FControl->WidgetMousePress(*button, ShiftOf(e), p.x(), p.y(), doubleClick);
        }
    }

    TCustomControl* FControl;
};

TCustomControl::TCustomControl(TComponent* AOwner)
    : TControl(AOwner, new TCustomControlWidget(this)) {}

TCustomControl::~TCustomControl() {
    if (auto* w = static_cast<TCustomControlWidget*>(Widget())) {
        w->Detach();
    }
}

void TCustomControl::Paint() {
    FCanvas.Brush().SetColor(Color());
    FCanvas.Brush().SetStyle(bsSolid);
    FCanvas.FillRect({0, 0, Width(), Height()});
}

void TCustomControl::PaintWidget(QPainter& painter) {
    FCanvas.Begin(&painter);
    Paint();
    FCanvas.End();
}

void TCustomControl::WidgetMousePress(TMouseButton button, TShiftState shift, int x, int y,
                                      bool doubleClick) {
    if (doubleClick) {
        shift |= ssDouble;
        FDblClickPending = true;
    }
    MouseDown(button, shift, x, y);
}

void TCustomControl::WidgetMouseRelease(TMouseButton button, TShiftState shift, int x, int y) {
    MouseUp(button, shift, x, y);
    if (FDblClickPending) {
        FDblClickPending = false;
        DblClick();
    }
}
