#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"

namespace {

// The border the frame adds where the window manager has not told us its own yet (or draws
// none): the stored design's outer size less its client size.
constexpr int kNominalFrameWidth = 8;
constexpr int kNominalFrameHeight = 27;

}  // namespace

class TFormWindow : public QWidget {
public:
    explicit TFormWindow(TForm* form) : FForm(form) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        // Closed by the user through the window manager, not by the program: the window's
        // procedure may take that over before anything is asked. (Not every platform marks
        // the window manager's close as coming from outside, so the program marks its own.)
        if (!FForm->FClosingFromCode) {
            TMessage message{WM_SYSCOMMAND, SC_CLOSE, 0, 0};
            FForm->Perform(message);
            if (message.Result != 0) {
                event->ignore();
                return;
            }
        }
        bool accept = true;
        FForm->WindowCloseRequested(accept);
        event->setAccepted(accept);
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        FForm->WindowMovedOrResized();
        FForm->WindowResized();
    }
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        FForm->WindowMovedOrResized();
    }
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::ActivationChange) {
            FForm->WindowActivationChanged(isActiveWindow());
        }
        if (event->type() == QEvent::WindowStateChange) {
            const auto* change = static_cast<QWindowStateChangeEvent*>(event);
            FForm->WindowStateChanged((change->oldState() & Qt::WindowMinimized) != 0);
        }
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        FForm->WindowShown();
    }
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        FForm->WindowHidden();
    }

private:
    TForm* FForm;
};

TForm::TForm(TComponent* AOwner) : TControl(AOwner, new TFormWindow(this)) {
    SetVisible(false);
    FWindowProc = [this](TMessage& Message) { WndProc(Message); };
    if (TApplication* application = Application()) {
        application->FormCreated(this);
    }
}

TForm::~TForm() {
    DoDestroy();
    // The components go while the window they sit on still exists.
    DestroyComponents();
}

TFormWindow* TForm::Window() const {
    return static_cast<TFormWindow*>(Widget());
}

void TForm::SetCaption(const std::string& value) {
    FCaption = value;
    Window()->setWindowTitle(QString::fromLocal8Bit(value));
}

bool TForm::Unframed() const {
    return Window()->frameGeometry() == Window()->geometry();
}

bool TForm::KeepsBounds() const {
    return FKeepBounds && Unframed();
}

QMargins TForm::FrameMargins() const {
    if (!Unframed()) {
        const QRect frame = Window()->frameGeometry();
        const QRect client = Window()->geometry();
        return {client.left() - frame.left(), client.top() - frame.top(),
                frame.right() - client.right(), frame.bottom() - client.bottom()};
    }
    // The window manager gives a window the same frame each time it takes it back.
    if (!FNormalMargins.isNull()) {
        return FNormalMargins;
    }
    constexpr int side = kNominalFrameWidth / 2;
    return {side, kNominalFrameHeight - side, side, side};
}

int TForm::FrameWidth() const {
    const QMargins m = FrameMargins();
    return m.left() + m.right();
}

int TForm::FrameHeight() const {
    const QMargins m = FrameMargins();
    return m.top() + m.bottom();
}

int TForm::Left() const {
    return KeepsBounds() ? FKeptBounds.Left : Window()->frameGeometry().x();
}
int TForm::Top() const {
    return KeepsBounds() ? FKeptBounds.Top : Window()->frameGeometry().y();
}
int TForm::Width() const {
    return KeepsBounds() ? FKeptBounds.Width() : Window()->width() + FrameWidth();
}
int TForm::Height() const {
    return KeepsBounds() ? FKeptBounds.Height() : Window()->height() + FrameHeight();
}

void TForm::SetBounds(int left, int top, int width, int height) {
    Window()->move(left, top);
    SetClientSize(std::max(1, width - FrameWidth()), std::max(1, height - FrameHeight()));
    FKeptBounds = {left, top, left + width, top + height};
    // Until the window manager has framed the window for the first time, its frame is a guess;
    // the outer size asked for is made good once the real frame is known, or a window placed at
    // every start would shrink or grow by the difference each time.
    FSizeFromGuessedFrame = Unframed() && FNormalMargins.isNull();
}

void TForm::WindowMovedOrResized() {
    if (Unframed()) {
        return;
    }
    // A window manager may draw a maximized window without borders.
    if (WindowState() == TWindowState::wsNormal) {
        FNormalMargins = FrameMargins();
        if (Window()->isVisible()) {
            FKeepBounds = false;
        }
    }
    if (FSizeFromGuessedFrame) {
        FSizeFromGuessedFrame = false;
        // The first move after framing may still report the window at the screen's corner; a
        // resize alone would send that position along, so the place asked for goes too.
        const TRect wanted = FKeptBounds;
        Window()->move(wanted.Left, wanted.Top);
        SetClientSize(std::max(1, wanted.Width() - FrameWidth()),
                      std::max(1, wanted.Height() - FrameHeight()));
    }
}

void TForm::SetClientSize(int width, int height) {
    Window()->resize(width, height);
    FKeptBounds.Right = FKeptBounds.Left + width + FrameWidth();
    FKeptBounds.Bottom = FKeptBounds.Top + height + FrameHeight();
    if (!Window()->isVisible()) {
        Resized();
    }
}

int TForm::ScreenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().width() : 0;
}

int TForm::ScreenHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().height() : 0;
}

void TForm::CenterOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    Window()->move(area.x() + (area.width() - Width()) / 2,
                   area.y() + (area.height() - Height()) / 2);
}

TPoint TForm::FrameBorder() const {
    const QMargins m = FrameMargins();
    return {m.left(), m.bottom()};
}

TRect TForm::NormalBounds() const {
    if (KeepsBounds()) {
        return FKeptBounds;
    }
    if (WindowState() == TWindowState::wsNormal) {
        return {Left(), Top(), Left() + Width(), Top() + Height()};
    }
    const QMargins m = FNormalMargins.isNull() ? FrameMargins() : FNormalMargins;
    const QRect frame = Window()->normalGeometry().marginsAdded(m);
    return {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

TWindowPlacement TForm::WindowPlacement() const {
    TWindowPlacement p;
    p.Flags = FPlacementFlags;
    switch (WindowState()) {
        case TWindowState::wsNormal:
            p.ShowCmd = swShowNormal;
            break;
        case TWindowState::wsMinimized:
            p.ShowCmd = swShowMinimized;
            break;
        case TWindowState::wsMaximized:
            p.ShowCmd = swShowMaximized;
            break;
    }
    p.MinPosition = FMinPosition;
    p.MaxPosition = FMaxPosition;
    p.NormalPosition = NormalBounds();
    return p;
}

void TForm::SetWindowPlacement(const TWindowPlacement& placement) {
    FPlacementFlags = placement.Flags;
    FMinPosition = placement.MinPosition;
    FMaxPosition = placement.MaxPosition;
    // A minimized or maximized window would leave its state to take a new geometry, so its
    // normal position stays as it is. Bounds that are already the window's are left alone, so
    // that a size the design gave as a client size stays one.
    const TRect& r = placement.NormalPosition;
    if (WindowState() == TWindowState::wsNormal && !(r == NormalBounds())) {
        SetBounds(r.Left, r.Top, r.Width(), r.Height());
    }
    if (placement.ShowCmd == swHide) {
        if (Visible()) {
            Hide();
        }
        return;
    }
    const TWindowState state = placement.ShowCmd == swShowMinimized   ? TWindowState::wsMinimized
                               : placement.ShowCmd == swShowMaximized ? TWindowState::wsMaximized
                                                                      : TWindowState::wsNormal;
    if (!Visible()) {
        Show();
    }
    if (WindowState() != state) {
        SetWindowState(state);
    }
}

TPoint TForm::ScreenSize() const {
    return {ScreenWidth(), ScreenHeight()};
}

int TForm::ScreenPixelsPerInch() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? qRound(screen->logicalDotsPerInch()) : 96;
}

bool TForm::Visible() const {
    return Window()->isVisible();
}
void TForm::Show() {
    TControl::SetVisible(true);
    Window()->show();
}
void TForm::Hide() {
    Window()->hide();
}

void TForm::Close() {
    if (FClosing) {
        return;
    }
    FClosingFromCode = true;
    Window()->close();
    FClosingFromCode = false;
}

TWindowState TForm::WindowState() const {
    if (Window()->isMinimized()) {
        return TWindowState::wsMinimized;
    }
    return Window()->isMaximized() ? TWindowState::wsMaximized : TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
    switch (state) {
        case TWindowState::wsNormal:
            Window()->showNormal();
            break;
        case TWindowState::wsMinimized:
            Window()->showMinimized();
            break;
        case TWindowState::wsMaximized:
            Window()->showMaximized();
            break;
    }
}

void TForm::BringToFront() {
    Window()->raise();
    Window()->activateWindow();
}

void TForm::DoCreate() {
    if (OnCreate) {
        DispatchEvent([&] { OnCreate(this); });
    }
}

void TForm::DoDestroy() {
    if (FDestroyDone) {
        return;
    }
    FDestroyDone = true;
    if (OnDestroy) {
        DispatchEvent([&] { OnDestroy(this); });
    }
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) {
        DispatchEvent([&] { OnCloseQuery(this, canClose); });
    }
    return canClose;
}

void TForm::WindowCloseRequested(bool& accept) {
    FClosing = true;
    accept = CloseQuery();
    if (accept) {
        TCloseAction action = TCloseAction::caHide;
        if (OnClose) {
            DispatchEvent([&] { OnClose(this, action); });
        }
        if (action == TCloseAction::caNone) {
            accept = false;
        } else if (action == TCloseAction::caMinimize) {
            accept = false;
            Window()->showMinimized();
        }
    }
    FClosing = false;
    // Closing the main form ends the run.
    TApplication* application = Application();
    if (accept && application != nullptr && application->MainForm() == this) {
        application->Terminate();
    }
}

void TForm::WindowResized() {
    if (OnResize) {
        DispatchEvent([&] { OnResize(this); });
    }
}

void TForm::WindowActivationChanged(bool active) {
    const TNotifyEvent& handler = active ? OnActivate : OnDeactivate;
    if (handler) {
        DispatchEvent([&] { handler(this); });
    }
}

TApplication* TForm::Application() const {
    return dynamic_cast<TApplication*>(Owner());
}

void TForm::Perform(TMessage& Message) {
    if (FWindowProc) {
        FWindowProc(Message);
    }
}

void TForm::WndProc(TMessage& Message) {
    TApplication* application = Application();
    if (application == nullptr || application->MainForm() != this) {
        return;
    }
    if (Message.Msg == WM_SYSCOMMAND && Message.WParam == SC_MINIMIZE) {
        TMessage size{WM_SIZE, SIZE_MINIMIZED, 0, 0};
        application->WndProc(size);
    }
}

void TForm::WindowStateChanged(bool wasMinimized) {
    const bool minimized = Window()->isMinimized();
    if (!wasMinimized && minimized) {
        // Told once the state change is through: showing minimised from code shows the window
        // right after changing its state, which would undo a handler that hides it.
        QTimer::singleShot(0, Window(), [this] {
            if (Window()->isMinimized()) {
                TMessage message{WM_SYSCOMMAND, SC_MINIMIZE, 0, 0};
                Perform(message);
            }
        });
    } else if (wasMinimized && !minimized && Window()->isVisible()) {
        // Only a window that is on the screen can have been restored. Some window managers
        // (xfwm4) drop the minimised state of a window that was just withdrawn; taken for a
        // restore, that would bring a window straight back out of the tray.
        TApplication* application = Application();
        if (application != nullptr && application->MainForm() == this) {
            TMessage message{WM_SYSCOMMAND, SC_RESTORE, 0, 0};
            application->WndProc(message);
        }
    }
}

void TForm::WindowShown() {
    TMessage message{WM_SHOWWINDOW, 1, 0, 0};
    Perform(message);
    if (OnShow) {
        DispatchEvent([&] { OnShow(this); });
    }
}

void TForm::WindowHidden() {
    // Taken while the window still has its frame: the window manager is about to let go of it.
    if (!FNormalMargins.isNull()) {
        FKeptBounds = NormalBounds();
        FKeepBounds = true;
    }
    TMessage message{WM_SHOWWINDOW, 0, 0, 0};
    Perform(message);
    if (OnHide) {
        DispatchEvent([&] { OnHide(this); });
    }
}
