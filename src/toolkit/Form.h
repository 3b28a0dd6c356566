#pragma once
// A top-level window as a component: caption, outer bounds, client size, showing and closing,
// and the window events. Sizes are those of the outer frame, as the window's stored design
// gives them; the client area is the frame less a border.

#include <QMargins>
#include <functional>
#include <memory>
#include <string>

#include "toolkit/Canvas.h"
#include "toolkit/Control.h"
#include "toolkit/Messages.h"

class TApplication;
class TFormWindow;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// How a window placement shows the window; the numbers are those stored settings use.
enum TShowCommand : int { swHide = 0, swShowNormal = 1, swShowMinimized = 2, swShowMaximized = 3 };

// Where a window lies in each of its states. The normal position is the outer frame's rectangle
// while the window is neither minimized nor maximized, right and bottom exclusive.
struct TWindowPlacement {
    unsigned Flags = 0;
    TShowCommand ShowCmd = swShowNormal;
    TPoint MinPosition{-1, -1};
    TPoint MaxPosition{-1, -1};
    TRect NormalPosition;
};

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TCanResizeEvent =
    std::function<void(TObject* Sender, int& NewWidth, int& NewHeight, bool& Resize)>;

class TForm : public TControl {
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    std::string ClassName() const override { return "TForm"; }

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);

    int Left() const override;
    int Top() const override;
    int Width() const override;
    int Height() const override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetClientSize(int width, int height);
    // Frame less client: what the window manager adds around the client area.
    int FrameWidth() const;
    int FrameHeight() const;
    // The primary screen's size in pixels.
    static int ScreenWidth();
    static int ScreenHeight();
    // Places the window in the middle of the desktop's work area.
    void CenterOnDesktop();

    // The window's placement. The window manager keeps no flags and no minimized or maximized
    // positions, so the window keeps what it was last given (none: 0 and -1,-1). Virtual, so
    // that tests can stand in for a window manager they do not have.
    virtual TWindowPlacement WindowPlacement() const;
    // Moves and sizes the window to the normal position, then shows it as ShowCmd says;
    // swHide leaves a hidden window hidden.
    virtual void SetWindowPlacement(const TWindowPlacement& placement);
    // The primary screen's size in pixels and its logical dots per inch.
    virtual TPoint ScreenSize() const;
    virtual int ScreenPixelsPerInch() const;
    // The thickness of the frame's side and bottom borders.
    TPoint FrameBorder() const;

    bool Visible() const;
    void Show();
    void Hide();
    // Asks CloseQuery, then runs OnClose and hides the window (or what OnClose decides); the
    // application's main form closing ends the application's run.
    void Close();
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    void BringToFront();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnResize;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TCanResizeEvent OnCanResize;
    // The window is being destroyed; its components still exist.
    TNotifyEvent OnDestroy;

    // The application that owns the form; nullptr for a form owned otherwise.
    TApplication* Application() const;

    // Every message to the window passes through WindowProc, which starts as WndProc. A
    // component subclasses the window by putting its own procedure in and passing on to the one
    // it replaced whatever it does not handle. Messages: WM_SHOWWINDOW as the window is shown or
    // hidden, WM_SYSCOMMAND with SC_MINIMIZE once it has been minimised, and with SC_CLOSE when
    // the user closes it through the window manager, before anything is asked.
    const TWndMethod& WindowProc() const { return FWindowProc; }
    void SetWindowProc(TWndMethod value) { FWindowProc = std::move(value); }
    void Perform(TMessage& Message);
    // What the window does with a message itself: the main form hands its minimising to the
    // application.
    virtual void WndProc(TMessage& Message);

protected:
    // Runs OnCreate; a window class calls it once its components are built and loaded.
    void DoCreate();
    // Runs OnDestroy, once. ~TForm calls it before the components go; a window class that
    // frees its components in its own destructor calls it first there.
    void DoDestroy();
    virtual bool CloseQuery();

private:
    friend class TFormWindow;
    void WindowCloseRequested(bool& accept);
    void WindowResized();
    void WindowActivationChanged(bool active);
    void WindowShown();
    void WindowHidden();
    void WindowStateChanged(bool wasMinimized);
    void WindowMovedOrResized();

    TFormWindow* Window() const;

    // The normal position, also while the window is minimized or maximized.
    TRect NormalBounds() const;
    // The toolkit reports no frame: the window manager has not framed the window yet, has let
    // go of it (hidden), or draws none.
    bool Unframed() const;
    // What the window manager adds around the client area, on each side; while unframed, the
    // frame it had last.
    QMargins FrameMargins() const;
    // Whether the bounds the window was last hidden with, or last given, stand for its own.
    bool KeepsBounds() const;

    std::string FCaption;
    bool FClosing = false;
    // Close() is closing the window, rather than the user through the window manager.
    bool FClosingFromCode = false;
    TWndMethod FWindowProc;
    bool FDestroyDone = false;
    // The last SetBounds sized the client by a guessed frame (the window was never framed
    // yet); the bounds asked for are in FKeptBounds.
    bool FSizeFromGuessedFrame = false;
    // The frame around the client area as last seen in the normal state.
    QMargins FNormalMargins;
    // The outer bounds last given, or those the window was last hidden with. A window the
    // window manager has let go of is reported by the toolkit as a bare client area wherever
    // it happens to see it: at the window's own place, or, asked in the middle of the
    // unframing, at the frame's corner. Placing it by that would move it on every round
    // through the tray, so until it is framed again it keeps these bounds (FKeepBounds).
    TRect FKeptBounds;
    bool FKeepBounds = false;
    unsigned FPlacementFlags = 0;
    TPoint FMinPosition{-1, -1};
    TPoint FMaxPosition{-1, -1};
};
