#include "platform/linux/LinuxTrayShell.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QFont>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <initializer_list>
#include <map>

namespace {

const char* const kWatcherService = "org.kde.StatusNotifierWatcher";
const char* const kWatcherPath = "/StatusNotifierWatcher";
// How often an XEmbed tray is looked for; a tray that comes back faster is re-docked by Qt.
constexpr int kTrayPollMs = 1000;

// Scales the 16 x 16 image to whatever size the tray asks for by repeating pixels, so the
// painted digits stay sharp where a smooth scaling would blur them.
class TSharpIconEngine : public QIconEngine {
public:
    explicit TSharpIconEngine(QImage image) : FImage(std::move(image)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter->drawImage(Square(rect), FImage);
        painter->restore();
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(Square(canvas.rect()), FImage);
        painter.end();
        return QPixmap::fromImage(canvas);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap result = pixmap(size * scale, mode, state);
        result.setDevicePixelRatio(scale);
        return result;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24),
                QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    }
    QIconEngine* clone() const override { return new TSharpIconEngine(FImage); }
    QString key() const override { return QStringLiteral("latmo-sharp"); }

private:
    static QRect Square(const QRect& rect) {
        const int side = std::min(rect.width(), rect.height());
        return QRect(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2,
                     side, side);
    }
    QImage FImage;
};

QIcon IconOf(const TTrayImage& image) {
    QImage picture(kTrayImageSize, kTrayImageSize, QImage::Format_ARGB32);
    for (int y = 0; y < kTrayImageSize; ++y) {
        for (int x = 0; x < kTrayImageSize; ++x) {
            const size_t at = static_cast<size_t>(y * kTrayImageSize + x);
            picture.setPixel(x, y, image.Mask[at] != 0 ? 0u : 0xFF000000u | image.Pixels[at]);
        }
    }
    return QIcon(new TSharpIconEngine(picture));
}

// What Qt itself asks before it chooses a StatusNotifier item over an XEmbed icon.
bool StatusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusInterface watcher(QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
                           QString::fromLatin1(kWatcherService), bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

struct TEntry {
    // The menu goes after the icon that shows it.
    std::unique_ptr<QMenu> Menu;
    std::unique_ptr<QSystemTrayIcon> Icon;
    TTrayCallbackTarget* Target = nullptr;
    uint32_t CallbackMessage = 0;
    bool HasImage = false;
};

}  // namespace

class TLinuxTrayShell::TImpl {
public:
    TImpl() : FStatusNotifier(StatusNotifierHostRegistered()) {
        if (FStatusNotifier) {
            FAvailable = true;
            FWatcher = std::make_unique<QDBusServiceWatcher>(
                QString::fromLatin1(kWatcherService), QDBusConnection::sessionBus(),
                QDBusServiceWatcher::WatchForRegistration |
                    QDBusServiceWatcher::WatchForUnregistration);
            QObject::connect(FWatcher.get(), &QDBusServiceWatcher::serviceRegistered,
                             FWatcher.get(), [this] { TrayPresence(true); });
            QObject::connect(FWatcher.get(), &QDBusServiceWatcher::serviceUnregistered,
                             FWatcher.get(), [this] { TrayPresence(false); });
        } else {
            FAvailable = QSystemTrayIcon::isSystemTrayAvailable();
            FPoll.setInterval(kTrayPollMs);
            QObject::connect(&FPoll, &QTimer::timeout, &FPoll,
                             [this] { TrayPresence(QSystemTrayIcon::isSystemTrayAvailable()); });
            FPoll.start();
        }
    }

    ~TImpl() {
        FPoll.stop();
        FEntries.clear();
    }

    bool Available() const { return FAvailable; }
    bool StatusNotifier() const { return FStatusNotifier; }

    bool Notify(TNotifyIconMessage message, const TNotifyIconData& data) {
        const auto it = FEntries.find(data.uID);
        switch (message) {
            case NIM_ADD: {
                if (it != FEntries.end()) {
                    return false;
                }
                auto entry = std::make_unique<TEntry>();
                entry->Icon = std::make_unique<QSystemTrayIcon>();
                Connect(data.uID, entry->Icon.get());
                TEntry& added = *FEntries.emplace(data.uID, std::move(entry)).first->second;
                Apply(added, data);
                return true;
            }
            case NIM_MODIFY:
                if (it == FEntries.end()) {
                    return false;
                }
                Apply(*it->second, data);
                return true;
            case NIM_DELETE:
                if (it == FEntries.end()) {
                    return false;
                }
                Remove(it);
                return true;
            case NIM_SETVERSION:
                // Both versions report the same codes here: the context request comes as the
                // right button going down and up.
                return it != FEntries.end();
        }
        return false;
    }

    void SetMenu(uintptr_t id, std::vector<TTrayMenuItem> items) {
        const auto it = FEntries.find(id);
        if (it == FEntries.end() || !FStatusNotifier) {
            return;
        }
        TEntry& entry = *it->second;
        if (items.empty()) {
            entry.Icon->setContextMenu(nullptr);
            entry.Menu.reset();
            return;
        }
        if (entry.Menu == nullptr) {
            entry.Menu = std::make_unique<QMenu>();
        }
        entry.Menu->clear();
        for (TTrayMenuItem& item : items) {
            QAction* action = entry.Menu->addAction(QString::fromLocal8Bit(item.Caption));
            QFont font = action->font();
            font.setBold(item.Default);
            action->setFont(font);
            QObject::connect(action, &QAction::triggered, action,
                             [onClick = std::move(item.OnClick)] {
                                 if (onClick) {
                                     onClick();
                                 }
                             });
        }
        entry.Icon->setContextMenu(entry.Menu.get());
    }

    int AddHandler(std::function<void()> handler) {
        const int key = FNextKey++;
        FHandlers.emplace(key, std::move(handler));
        return key;
    }
    void RemoveHandler(int key) { FHandlers.erase(key); }

private:
    void Connect(uintptr_t id, QSystemTrayIcon* icon) {
        QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                         [this, id](QSystemTrayIcon::ActivationReason reason) {
                             switch (reason) {
                                 case QSystemTrayIcon::Trigger:
                                     Deliver(id, {WM_LBUTTONDOWN, WM_LBUTTONUP});
                                     break;
                                 case QSystemTrayIcon::DoubleClick:
                                     Deliver(id, {WM_LBUTTONDBLCLK, WM_LBUTTONUP});
                                     break;
                                 case QSystemTrayIcon::Context:
                                     Deliver(id, {WM_RBUTTONDOWN, WM_RBUTTONUP});
                                     break;
                                 case QSystemTrayIcon::MiddleClick:
                                     Deliver(id, {WM_MBUTTONDOWN, WM_MBUTTONUP});
                                     break;
                                 default:
                                     break;
                             }
                         });
        QObject::connect(icon, &QSystemTrayIcon::messageClicked, icon,
                         [this, id] { Deliver(id, {NIN_BALLOONUSERCLICK}); });
    }

    void Apply(TEntry& entry, const TNotifyIconData& data) {
        if ((data.uFlags & NIF_MESSAGE) != 0) {
            entry.Target = data.hWnd;
            entry.CallbackMessage = data.uCallbackMessage;
        }
        if ((data.uFlags & NIF_ICON) != 0 && data.hIcon != nullptr) {
            entry.Icon->setIcon(IconOf(*data.hIcon));
            entry.HasImage = true;
        }
        if ((data.uFlags & NIF_TIP) != 0) {
            entry.Icon->setToolTip(QString::fromLocal8Bit(data.szTip));
        }
        // An entry without an image yet is kept back until it has one.
        if (entry.HasImage && !entry.Icon->isVisible()) {
            entry.Icon->show();
        }
    }

    // Each code looks the entry up again: a handler of the one before may have removed it.
    void Deliver(uintptr_t id, std::initializer_list<uint32_t> codes) {
        ++FDispatching;
        for (const uint32_t code : codes) {
            const auto it = FEntries.find(id);
            if (it == FEntries.end() || it->second->Target == nullptr) {
                break;
            }
            it->second->Target->TrayMessage(it->second->CallbackMessage, id, code);
        }
        --FDispatching;
    }

    void Remove(std::map<uintptr_t, std::unique_ptr<TEntry>>::iterator it) {
        std::unique_ptr<TEntry> entry = std::move(it->second);
        FEntries.erase(it);
        if (FDispatching == 0) {
            return;  // destroyed here, which takes it out of the tray
        }
        // Removed from inside one of its own events: the tray icon cannot be destroyed while its
        // event is still being handled, so it leaves the tray as soon as that event is through.
        entry->Icon->setContextMenu(nullptr);
        entry->Icon->disconnect();
        QSystemTrayIcon* icon = entry->Icon.release();
        QMenu* menu = entry->Menu.release();
        QTimer::singleShot(0, icon, [icon, menu] {
            delete icon;
            delete menu;
        });
    }

    void TrayPresence(bool present) {
        const bool appeared = present && !FAvailable;
        FAvailable = present;
        if (!appeared) {
            return;
        }
        // A new host knows none of the old entries: forget them, and let their owners add them
        // afresh with their current image and tip.
        while (!FEntries.empty()) {
            Remove(FEntries.begin());
        }
        const auto handlers = FHandlers;
        for (const auto& [key, handler] : handlers) {
            handler();
        }
    }

    const bool FStatusNotifier;
    bool FAvailable = false;
    QTimer FPoll;
    std::unique_ptr<QDBusServiceWatcher> FWatcher;
    std::map<uintptr_t, std::unique_ptr<TEntry>> FEntries;
    std::map<int, std::function<void()>> FHandlers;
    int FNextKey = 1;
    int FDispatching = 0;
};

TLinuxTrayShell::TLinuxTrayShell() : FImpl(std::make_unique<TImpl>()) {}
TLinuxTrayShell::~TLinuxTrayShell() = default;

bool TLinuxTrayShell::TrayAvailable() const {
    return FImpl->Available();
}
bool TLinuxTrayShell::HostShowsMenus() const {
    return FImpl->StatusNotifier();
}

bool TLinuxTrayShell::NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) {
    return FImpl->Notify(message, data);
}

void TLinuxTrayShell::SetEntryMenu(uintptr_t id, std::vector<TTrayMenuItem> items) {
    FImpl->SetMenu(id, std::move(items));
}

int TLinuxTrayShell::AddTaskbarCreatedHandler(std::function<void()> handler) {
    return FImpl->AddHandler(std::move(handler));
}

void TLinuxTrayShell::RemoveTaskbarCreatedHandler(int key) {
    FImpl->RemoveHandler(key);
}

bool TLinuxTrayShell::GetCursorPos(int& x, int& y) const {
    const QPoint pos = QCursor::pos();
    x = pos.x();
    y = pos.y();
    return true;
}

bool TLinuxTrayShell::KeyDown(TVirtualKey key) const {
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    switch (key) {
        case VK_SHIFT:
            return held.testFlag(Qt::ShiftModifier);
        case VK_CONTROL:
            return held.testFlag(Qt::ControlModifier);
        case VK_MENU:
            return held.testFlag(Qt::AltModifier);
    }
    return false;
}

unsigned TLinuxTrayShell::DoubleClickTime() const {
    return static_cast<unsigned>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}
