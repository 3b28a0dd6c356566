#pragma once
// Visible components: a control is a component with a widget, placed in its parent's client
// area by bounds, alignment and anchors, with a font, colours, a hint, a cursor and the
// mouse and focus events the window uses.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "toolkit/Component.h"
#include "toolkit/Graphics.h"

class TControlEventFilter;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAnchorKind : unsigned {
    akLeft = 1u << 0,
    akTop = 1u << 1,
    akRight = 1u << 2,
    akBottom = 1u << 3
};
using TAnchors = unsigned;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned;

// Cursor ids as the window's design numbers them.
enum TCursor : int {
    crDefault = 0,
    crNone = -1,
    crArrow = -2,
    crCross = -3,
    crIBeam = -4,
    crSizeNESW = -6,
    crSizeNS = -7,
    crSizeNWSE = -8,
    crSizeWE = -9,
    crHourGlass = -11,
    crNo = -18,
    crHandPoint = -21,
    crSizeAll = -22,
};

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

class TControl : public TComponent {
public:
    // Takes ownership of the widget.
    TControl(TComponent* AOwner, QWidget* widget);
    ~TControl() override;

    std::string ClassName() const override { return "TControl"; }

    QWidget* Widget() const { return FWidget.data(); }
    // Where child controls are placed; the widget itself unless the control has a separate
    // client area.
    virtual QWidget* ClientWidget() const { return Widget(); }

    TControl* Parent() const { return FParent; }
    void SetParent(TControl* parent);

    // Runs `call` from the message loop once the handlers running now have returned (so that a
    // dialog it shows does not hold up the timer that asked for it); dropped when the control
    // goes first.
    void PostCall(std::function<void()> call);

    virtual int Left() const;
    virtual int Top() const;
    virtual int Width() const;
    virtual int Height() const;
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int value) { SetBounds(value, Top(), Width(), Height()); }
    void SetTop(int value) { SetBounds(Left(), value, Width(), Height()); }
    void SetWidth(int value) { SetBounds(Left(), Top(), value, Height()); }
    void SetHeight(int value) { SetBounds(Left(), Top(), Width(), value); }
    int ClientWidth() const;
    int ClientHeight() const;

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);
    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors value);

    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    bool Enabled() const;
    void SetEnabled(bool value);

    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);

    TFont& Font() { return *FFont; }
    const TFont& Font() const { return *FFont; }
    void SetFont(const TFont& value) { FFont->Assign(value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor value);

    // Asks for a repaint in the next paint cycle; Update() paints what is pending at once.
    virtual void Invalidate();
    void Update();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // The toolkit's mouse hooks; controls override them and pass the event on afterwards.
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void Click();
    virtual void DblClick();
    // Focus entered or left this control or one inside it.
    virtual void DoEnter();
    virtual void DoExit();

    // The whole screen's cursor, which overrides every control's while it is not crDefault.
    static void SetScreenCursor(TCursor cursor);
    static TCursor ScreenCursor();

protected:
    // The control's client area changed size: align and anchor the children.
    virtual void Resized();
    // The font changed; the base applies it to the widget.
    virtual void FontChanged();
    void ApplyPalette();
    // Lets the widget's mouse events reach the mouse hooks above (for widgets that do not
    // deliver them through a painting subclass of their own).
    void RouteMouseEvents() { FRouteMouse = true; }
    // Puts a child's widget into this control; a control that places its children itself
    // (pages of a page control) overrides both.
    virtual void InsertChildWidget(TControl* child);
    virtual bool ArrangesChildren() const { return false; }

private:
    friend class TControlEventFilter;
    void InsertChild(TControl* child);
    void RemoveChild(TControl* child);
    void RememberAnchorDistances();
    void ArrangeInParent();

    QPointer<QWidget> FWidget;
    std::unique_ptr<TControlEventFilter> FFilter;
    TControl* FParent = nullptr;
    std::vector<TControl*> FChildren;
    TAlign FAlign = TAlign::alNone;
    TAnchors FAnchors = akLeft | akTop;
    // Distances kept from the parent's right and bottom edges for right or bottom anchors.
    int FRightDistance = 0;
    int FBottomDistance = 0;
    bool FVisible = true;
    std::string FHint;
    bool FShowHint = true;
    std::unique_ptr<TFont> FFont;
    TColor FColor = clBtnFace;
    TCursor FCursor = crDefault;
    bool FRouteMouse = false;
};

// Maps Qt's keyboard modifiers and mouse buttons into a shift state.
TShiftState ShiftStateFromQt(unsigned modifiers, unsigned buttons);
