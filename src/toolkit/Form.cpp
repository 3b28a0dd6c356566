#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

void TForm::WindowShown() {
    if (OnShow) {
        DispatchEvent([&] { OnShow(this); });
    }
}

void TForm::WindowHidden() {
    if (OnHide) {
        DispatchEvent([&] { OnHide(this); });
    }
}
