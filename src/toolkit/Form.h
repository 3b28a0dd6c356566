#pragma once
// A top-level window as a component: caption, outer bounds, client size, showing and closing,
// and the window events. Sizes are those of the outer frame, as the window's stored design
// gives them; the client area is the frame less a border.

#include <functional>
#include <memory>
#include <string>

#include "toolkit/Control.h"
#include "toolkit/Messages.h"

class TApplication;
class TFormWindow;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TCanResizeEvent = std::function<void(TObject* Sender, int& NewWidth, int& NewHeight,
                                           bool& Resize)>;

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

    bool Visible() const;
    void Show();
    void Hide();
    // Asks CloseQuery, then runs OnClose and hides the window (or what OnClose decides).
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

    // The application that owns the form; nullptr for a form owned otherwise.
    TApplication* Application() const;

    // Every message to the window passes through WindowProc, which starts as WndProc. A
    // component subclasses the window by putting its own procedure in and passing on to the one
    // it replaced whatever it does not handle. Messages: WM_SHOWWINDOW as the window is shown or
    // hidden, WM_SYSCOMMAND with SC_MINIMIZE once it has been minimised.
    const TWndMethod& WindowProc() const { return FWindowProc; }
    void SetWindowProc(TWndMethod value) { FWindowProc = std::move(value); }
    void Perform(TMessage& Message);
    // What the window does with a message itself: the main form hands its minimising to the
    // application.
    virtual void WndProc(TMessage& Message);

protected:
    // Runs OnCreate; a window class calls it once its components are built and loaded.
    void DoCreate();
    virtual bool CloseQuery();

private:
    friend class TFormWindow;
    void WindowCloseRequested(bool& accept);
    void WindowResized();
    void WindowActivationChanged(bool active);
    void WindowShown();
    void WindowHidden();
    void WindowStateChanged(bool wasMinimized);

    TFormWindow* Window() const;

    std::string FCaption;
    bool FClosing = false;
    TWndMethod FWindowProc;
};
