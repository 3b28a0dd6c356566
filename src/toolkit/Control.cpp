#include "toolkit/Control.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <map>

#include "toolkit/Dialogs.h"

namespace {

const char* const kControlProperty = "latmoControl";

TControl* ControlOf(QWidget* w) {
    if (w == nullptr) {
        return nullptr;
    }
    return static_cast<TControl*>(w->property(kControlProperty).value<void*>());
}

// The controls that hold a widget, innermost first.
std::vector<TControl*> ControlChain(QWidget* w) {
    std::vector<TControl*> chain;
    for (; w != nullptr; w = w->parentWidget()) {
        if (TControl* c = ControlOf(w)) {
            if (chain.empty() || chain.back() != c) {
                chain.push_back(c);
            }
        }
    }
    return chain;
}

// Each window keeps the widget that had its focus last, as the window's own focus: leaving the
// window (for a dialog, another application, the tray) and coming back leaves it untouched.
// Only focus moving from one control of a window to another of the same window becomes exit
// events for the controls it left and enter events for the controls it reached, so a container
// hears of focus entering or leaving it as a whole.
void InstallFocusTracker() {
    static bool installed = false;
    static std::map<QWidget*, QPointer<QWidget>> windowFocus;
    if (installed || qApp == nullptr) {
        return;
    }
    installed = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        if (now == nullptr) {
            return;  // the application lost the focus; every window keeps its own
        }
        QWidget* window = now->window();
        auto [it, first] = windowFocus.try_emplace(window);
        if (first) {
            QObject::connect(window, &QObject::destroyed, qApp,
                             [window] { windowFocus.erase(window); });
        }
        QWidget* before = it->second.data();
        it->second = now;
        if (before == now) {
            return;
        }
        const std::vector<TControl*> left = ControlChain(before);
        const std::vector<TControl*> reached = ControlChain(now);
        for (TControl* c : left) {
            if (std::find(reached.begin(), reached.end(), c) == reached.end()) {
                c->DoExit();
            }
        }
        for (auto it2 = reached.rbegin(); it2 != reached.rend(); ++it2) {
            if (std::find(left.begin(), left.end(), *it2) == left.end()) {
                (*it2)->DoEnter();
            }
        }
    });
}

Qt::CursorShape CursorShape(TCursor cursor) {
    switch (cursor) {
        case crNone:
            return Qt::BlankCursor;
        case crCross:
            return Qt::CrossCursor;
        case crIBeam:
            return Qt::IBeamCursor;
        case crSizeNESW:
            return Qt::SizeBDiagCursor;
        case crSizeNS:
            return Qt::SizeVerCursor;
        case crSizeNWSE:
            return Qt::SizeFDiagCursor;
        case crSizeWE:
            return Qt::SizeHorCursor;
        case crHourGlass:
            return Qt::WaitCursor;
        case crNo:
            return Qt::ForbiddenCursor;
        case crHandPoint:
            return Qt::PointingHandCursor;
        case crSizeAll:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

TCursor gScreenCursor = crDefault;

}  // namespace

// Resizes of a control's client area reach the control so it can place its children.
class TControlEventFilter : public QObject {
public:
    explicit TControlEventFilter(TControl* control) : FControl(control) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == FControl->ClientWidget()) {
            FControl->Resized();
        }
        if (FControl->FRouteMouse && watched == FControl->Widget()) {
            RouteMouse(event);
        }
        return false;
    }

private:
    static TMouseButton Button(Qt::MouseButton b) {
        return b == Qt::RightButton    ? TMouseButton::mbRight
               : b == Qt::MiddleButton ? TMouseButton::mbMiddle
                                       : TMouseButton::mbLeft;
    }
    void RouteMouse(QEvent* event) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: {
                auto* e = static_cast<QMouseEvent*>(event);
                TShiftState shift = ShiftStateFromQt(e->modifiers(), e->buttons());
                if (event->type() == QEvent::MouseButtonDblClick) {
                    shift |= ssDouble;
                }
                FControl->MouseDown(Button(e->button()), shift, e->position().toPoint().x(),
                                    e->position().toPoint().y());
                break;
            }
            case QEvent::MouseMove: {
                auto* e = static_cast<QMouseEvent*>(event);
                FControl->MouseMove(ShiftStateFromQt(e->modifiers(), e->buttons()),
                                    e->position().toPoint().x(), e->position().toPoint().y());
                break;
            }
            case QEvent::MouseButtonRelease: {
                auto* e = static_cast<QMouseEvent*>(event);
                FControl->MouseUp(Button(e->button()),
                                  ShiftStateFromQt(e->modifiers(), e->buttons()),
                                  e->position().toPoint().x(), e->position().toPoint().y());
                break;
            }
            default:
                break;
        }
    }

    TControl* FControl;
};

TShiftState ShiftStateFromQt(unsigned modifiers, unsigned buttons) {
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier)
        s |= ssShift;
    if (modifiers & Qt::AltModifier)
        s |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        s |= ssCtrl;
    if (buttons & Qt::LeftButton)
        s |= ssLeft;
    if (buttons & Qt::RightButton)
        s |= ssRight;
    if (buttons & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

TControl::TControl(TComponent* AOwner, QWidget* widget)
    : TComponent(AOwner),
      FWidget(widget),
      FFilter(std::make_unique<TControlEventFilter>(this)),
      FFont(std::make_unique<TFont>()) {
    InstallFocusTracker();
    FWidget->setProperty(kControlProperty, QVariant::fromValue<void*>(this));
    FWidget->installEventFilter(FFilter.get());
    FFont->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() {
    for (TControl* child : FChildren) {
        child->FParent = nullptr;
    }
    if (FParent != nullptr) {
        FParent->RemoveChild(this);
    }
    if (FWidget) {
        FWidget->removeEventFilter(FFilter.get());
        FWidget->setProperty(kControlProperty, QVariant());
        delete FWidget.data();
    }
}

void TControl::SetParent(TControl* parent) {
    if (parent == FParent) {
        return;
    }
    if (FParent != nullptr) {
        FParent->RemoveChild(this);
    }
    FParent = parent;
    if (!FWidget) {
        return;
    }
    if (parent == nullptr) {
        FWidget->setParent(nullptr);
        return;
    }
    parent->InsertChildWidget(this);
    parent->InsertChild(this);
    if (parent->ClientWidget() != parent->Widget()) {
        parent->ClientWidget()->installEventFilter(parent->FFilter.get());
    }
    if (!parent->ArrangesChildren()) {
        FWidget->setVisible(FVisible);
    }
    ArrangeInParent();
    RememberAnchorDistances();
}

void TControl::InsertChild(TControl* child) {
    FChildren.push_back(child);
}

void TControl::InsertChildWidget(TControl* child) {
    const QRect geometry = child->FWidget->geometry();
    child->FWidget->setParent(ClientWidget());
    child->FWidget->setGeometry(geometry);
}

void TControl::RemoveChild(TControl* child) {
    FChildren.erase(std::remove(FChildren.begin(), FChildren.end(), child), FChildren.end());
}

int TControl::Left() const {
    return FWidget ? FWidget->x() : 0;
}
int TControl::Top() const {
    return FWidget ? FWidget->y() : 0;
}
int TControl::Width() const {
    return FWidget ? FWidget->width() : 0;
}
int TControl::Height() const {
    return FWidget ? FWidget->height() : 0;
}
int TControl::ClientWidth() const {
    return ClientWidget() ? ClientWidget()->width() : 0;
}
int TControl::ClientHeight() const {
    return ClientWidget() ? ClientWidget()->height() : 0;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (!FWidget) {
        return;
    }
    FWidget->setGeometry(left, top, std::max(0, width), std::max(0, height));
    RememberAnchorDistances();
    // A hidden widget hears of its new size only when shown; its children are placed now.
    if (!FWidget->isVisible()) {
        Resized();
    }
}

void TControl::RememberAnchorDistances() {
    if (FParent == nullptr || !FWidget) {
        return;
    }
    FRightDistance = FParent->ClientWidth() - (Left() + Width());
    FBottomDistance = FParent->ClientHeight() - (Top() + Height());
}

void TControl::SetAlign(TAlign value) {
    FAlign = value;
    ArrangeInParent();
}

void TControl::SetAnchors(TAnchors value) {
    FAnchors = value;
    RememberAnchorDistances();
}

void TControl::ArrangeInParent() {
    if (FParent == nullptr || !FWidget || FParent->ArrangesChildren()) {
        return;
    }
    const int pw = FParent->ClientWidth();
    const int ph = FParent->ClientHeight();
    QRect r = FWidget->geometry();
    switch (FAlign) {
        case TAlign::alClient:
            r = QRect(0, 0, pw, ph);
            break;
        case TAlign::alTop:
            r = QRect(0, 0, pw, r.height());
            break;
        case TAlign::alBottom:
            r = QRect(0, ph - r.height(), pw, r.height());
            break;
        case TAlign::alLeft:
            r = QRect(0, 0, r.width(), ph);
            break;
        case TAlign::alRight:
            r = QRect(pw - r.width(), 0, r.width(), ph);
            break;
        case TAlign::alNone:
            if (FAnchors & akRight) {
                if (FAnchors & akLeft) {
                    r.setWidth(std::max(0, pw - FRightDistance - r.x()));
                } else {
                    r.moveLeft(pw - FRightDistance - r.width());
                }
            }
            if (FAnchors & akBottom) {
                if (FAnchors & akTop) {
                    r.setHeight(std::max(0, ph - FBottomDistance - r.y()));
                } else {
                    r.moveTop(ph - FBottomDistance - r.height());
                }
            }
            break;
    }
    FWidget->setGeometry(r);
    if (!FWidget->isVisible()) {
        Resized();
    }
}

void TControl::Resized() {
    for (TControl* child : FChildren) {
        child->ArrangeInParent();
    }
}

void TControl::SetVisible(bool value) {
    FVisible = value;
    if (FWidget && (FParent != nullptr || !value)) {
        FWidget->setVisible(value);
    }
}

bool TControl::Enabled() const {
    return FWidget && FWidget->isEnabled();
}
void TControl::SetEnabled(bool value) {
    if (FWidget) {
        FWidget->setEnabled(value);
    }
}

void TControl::SetHint(const std::string& value) {
    FHint = value;
    if (FWidget) {
        FWidget->setToolTip(FShowHint ? QString::fromLocal8Bit(value) : QString());
    }
}

void TControl::SetShowHint(bool value) {
    FShowHint = value;
    SetHint(FHint);
}

void TControl::FontChanged() {
    if (FWidget) {
        FWidget->setFont(FFont->ToQFont());
        ApplyPalette();
    }
}

void TControl::SetColor(TColor value) {
    FColor = value;
    ApplyPalette();
}

void TControl::ApplyPalette() {
    if (!FWidget) {
        return;
    }
    QPalette p = FWidget->palette();
    if (FFont->Color() != clWindowText) {
        p.setColor(QPalette::WindowText, ToQColor(FFont->Color()));
        p.setColor(QPalette::Text, ToQColor(FFont->Color()));
        p.setColor(QPalette::ButtonText, ToQColor(FFont->Color()));
    }
    if (FColor != clBtnFace && FColor != clNone) {
        p.setColor(QPalette::Window, ToQColor(FColor));
    }
    FWidget->setPalette(p);
}

void TControl::SetCursor(TCursor value) {
    FCursor = value;
    if (FWidget) {
        FWidget->setCursor(QCursor(CursorShape(value)));
    }
}

void TControl::Invalidate() {
    if (FWidget) {
        FWidget->update();
    }
}

void TControl::Update() {
    if (FWidget && FWidget->isVisible()) {
        FWidget->repaint();
    }
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) {
        DispatchEvent([&] { OnMouseDown(this, Button, Shift, X, Y); });
    }
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) {
        DispatchEvent([&] { OnMouseMove(this, Shift, X, Y); });
    }
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) {
        DispatchEvent([&] { OnMouseUp(this, Button, Shift, X, Y); });
    }
}

void TControl::Click() {
    if (OnClick) {
        DispatchEvent([&] { OnClick(this); });
    }
}

void TControl::DblClick() {
    if (OnDblClick) {
        DispatchEvent([&] { OnDblClick(this); });
    }
}

void TControl::DoEnter() {
    if (OnEnter) {
        DispatchEvent([&] { OnEnter(this); });
    }
}

void TControl::DoExit() {
    if (OnExit) {
        DispatchEvent([&] { OnExit(this); });
    }
}

void TControl::SetScreenCursor(TCursor cursor) {
    if (cursor == gScreenCursor) {
        return;
    }
    if (gScreenCursor != crDefault) {
        QApplication::restoreOverrideCursor();
    }
    gScreenCursor = cursor;
    if (cursor != crDefault) {
        QApplication::setOverrideCursor(QCursor(CursorShape(cursor)));
    }
}

TCursor TControl::ScreenCursor() {
    return gScreenCursor;
}

void TControl::PostCall(std::function<void()> call) {
    QMetaObject::invokeMethod(
        FWidget.data(), [call = std::move(call)] { DispatchEvent(call); }, Qt::QueuedConnection);
}
