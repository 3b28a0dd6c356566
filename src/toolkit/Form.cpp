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
        bool accept = true;
        FForm->WindowCloseRequested(accept);
        event->setAccepted(accept);
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        FForm->WindowResized();
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
    // The components go while the window they sit on still exists.
    DestroyComponents();
}

TFormWindow* TForm::Window() const { return static_cast<TFormWindow*>(Widget()); }

void TForm::SetCaption(const std::string& value) {
    FCaption = value;
    Window()->setWindowTitle(QString::fromLocal8Bit(value));
}

int TForm::FrameWidth() const {
    const int w = Window()->frameGeometry().width() - Window()->width();
    return w > 0 ? w : kNominalFrameWidth;
}

int TForm::FrameHeight() const {
    const int h = Window()->frameGeometry().height() - Window()->height();
    return h > 0 ? h : kNominalFrameHeight;
}

int TForm::Left() const { return Window()->frameGeometry().x(); }
int TForm::Top() const { return Window()->frameGeometry().y(); }
int TForm::Width() const { return Window()->width() + FrameWidth(); }
int TForm::Height() const { return Window()->height() + FrameHeight(); }

void TForm::SetBounds(int left, int top, int width, int height) {
    Window()->move(left, top);
    SetClientSize(std::max(1, width - FrameWidth()), std::max(1, height - FrameHeight()));
}

void TForm::SetClientSize(int width, int height) {
    Window()->resize(width, height);
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
    Window()->move(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2);
}

bool TForm::Visible() const { return Window()->isVisible(); }
void TForm::Show() {
    TControl::SetVisible(true);
    Window()->show();
}
void TForm::Hide() { Window()->hide(); }

void TForm::Close() {
    if (FClosing) {
        return;
    }
    Window()->close();
}

TWindowState TForm::WindowState() const {
    if (Window()->isMinimized()) {
        return TWindowState::wsMinimized;
    }
    return Window()->isMaximized() ? TWindowState::wsMaximized : TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
    switch (state) {
        case TWindowState::wsNormal: Window()->showNormal(); break;
        case TWindowState::wsMinimized: Window()->showMinimized(); break;
        case TWindowState::wsMaximized: Window()->showMaximized(); break;
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
    } else if (wasMinimized && !minimized) {
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
    TMessage message{WM_SHOWWINDOW, 0, 0, 0};
    Perform(message);
    if (OnHide) {
        DispatchEvent([&] { OnHide(this); });
    }
}
