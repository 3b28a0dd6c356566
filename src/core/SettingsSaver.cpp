#include "core/SettingsSaver.h"

#include <QApplication>
#include <QEvent>

TSettingsSaver::TSettingsSaver(QWidget* window, std::function<void()> save)
    : FWindow(window), FSave(std::move(save)) {
    FTimer.setSingleShot(true);
    FTimer.setInterval(kDelayMs);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] { FSave(); });
    // Input goes to whichever control has it; the application sees all of it first.
    qApp->installEventFilter(this);
}

TSettingsSaver::~TSettingsSaver() {
    qApp->removeEventFilter(this);
}

bool TSettingsSaver::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::Wheel:
        case QEvent::InputMethod: {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (FWindow && widget != nullptr && widget->window() == FWindow) {
                FTimer.start();
            }
            break;
        }
        case QEvent::WindowStateChange:
            if (FWindow && watched == FWindow && FWindow->isMinimized()) {
                FTimer.stop();
                FSave();
            }
            break;
        default:
            break;
    }
    return false;
}
