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

TForm::TForm(TComponent* AOwner) : TComponent(AOwner), FWindow(std::make_unique<TFormWindow>(this)) {}

TForm::~TForm() {
    // The components go while the window they sit on still exists.
    DestroyComponents();
    FWindow.reset();
}

QWidget* TForm::Handle() const { return FWindow.get(); }

void TForm::SetCaption(const std::string& value) {
    FCaption = value;
    FWindow->setWindowTitle(QString::fromLocal8Bit(value));
}

int TForm::FrameWidth() const {
    const int w = FWindow->frameGeometry().width() - FWindow->width();
    return w > 0 ? w : kNominalFrameWidth;
}

int TForm::FrameHeight() const {
    const int h = FWindow->frameGeometry().height() - FWindow->height();
    return h > 0 ? h : kNominalFrameHeight;
}

int TForm::Left() const { return FWindow->frameGeometry().x(); }
int TForm::Top() const { return FWindow->frameGeometry().y(); }
int TForm::Width() const { return FWindow->width() + FrameWidth(); }
int TForm::Height() const { return FWindow->height() + FrameHeight(); }
int TForm::ClientWidth() const { return FWindow->width(); }
int TForm::ClientHeight() const { return FWindow->height(); }

void TForm::SetBounds(int left, int top, int width, int height) {
    FWindow->move(left, top);
    FWindow->resize(std::max(1, width - FrameWidth()), std::max(1, height - FrameHeight()));
}

void TForm::SetClientSize(int width, int height) { FWindow->resize(width, height); }

void TForm::CenterOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    FWindow->move(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2);
}

bool TForm::Visible() const { return FWindow->isVisible(); }
void TForm::Show() { FWindow->show(); }
void TForm::Hide() { FWindow->hide(); }

void TForm::Close() {
    if (FClosing) {
        return;
    }
    FWindow->close();
}

TWindowState TForm::WindowState() const {
    if (FWindow->isMinimized()) {
        return TWindowState::wsMinimized;
    }
    return FWindow->isMaximized() ? TWindowState::wsMaximized : TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
    switch (state) {
        case TWindowState::wsNormal: FWindow->showNormal(); break;
        case TWindowState::wsMinimized: FWindow->showMinimized(); break;
        case TWindowState::wsMaximized: FWindow->showMaximized(); break;
    }
}

void TForm::BringToFront() {
    FWindow->raise();
    FWindow->activateWindow();
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
            FWindow->showMinimized();
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
