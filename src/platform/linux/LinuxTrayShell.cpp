#include "platform/linux/LinuxTrayShell.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QMetaMethod>
#include <QPainter>
#include <QPixmap>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <map>
#include <optional>

#include "platform/linux/StatusNotifierClicks.h"
#include "platform/linux/StatusNotifierItem.h"

namespace {

const char* const kWatcherService = "org.kde.StatusNotifierWatcher";
const char* const kWatcherPath = "/StatusNotifierWatcher";
// How often an XEmbed tray is looked for where the display cannot say when one comes or goes.
constexpr int kTrayPollMs = 1000;
// How long a tray must stay away before it counts as gone: a panel restarting, or the display
// saying for a moment that there is none, is no end of the tray.
constexpr int kTrayGoneGraceMs = 1000;

QString Text(const char* ascii) {
    return QString::fromLatin1(ascii);
}

// One image of the entry's picture, as painted for its size.
QImage ImageOf(int side, const uint32_t* pixels, const uint8_t* mask) {
    QImage picture(side, side, QImage::Format_ARGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(picture.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const size_t at = static_cast<size_t>(y * side + x);
            line[x] = mask[at] != 0 ? 0u : 0xFF000000u | pixels[at];
        }
    }
    return picture;
}

// Gives a tray the picture painted for its size: the largest painted size that fits, enlarged by
// whole pixels where the tray is larger still, so the digits stay sharp where a smooth scaling
// would blur them.
class TSharpIconEngine : public QIconEngine {
public:
    explicit TSharpIconEngine(std::vector<QImage> images) : FImages(std::move(images)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QRect square = Square(rect);
        const QImage& image = Fitting(square.width());
        painter->drawImage(Inside(square, image.width()), image);
        painter->restore();
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        paint(&painter, canvas.rect(), mode, state);
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
        QList<QSize> sizes;
        for (const QImage& image : FImages) {
            sizes.append(image.size());
        }
        return sizes;
    }
    QIconEngine* clone() const override { return new TSharpIconEngine(FImages); }
    QString key() const override { return QStringLiteral("latmo-sharp"); }

private:
    static QRect Square(const QRect& rect) {
        const int side = std::min(rect.width(), rect.height());
        return QRect(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2,
                     side, side);
    }
    // The largest image no larger than side; the smallest where all are larger.
    const QImage& Fitting(int side) const {
        const QImage* best = &FImages.front();
        for (const QImage& image : FImages) {
            if (image.width() <= side && image.width() > best->width()) {
                best = &image;
            }
        }
        return *best;
    }
    // The image enlarged by a whole factor, centred in the square; an image larger than the
    // square is shrunk to fit it.
    static QRect Inside(const QRect& square, int imageSide) {
        const int side = square.width();
        const int drawn = imageSide > side ? side : imageSide * (side / imageSide);
        return QRect(square.x() + (side - drawn) / 2, square.y() + (side - drawn) / 2, drawn,
                     drawn);
    }
    std::vector<QImage> FImages;
};

QIcon IconOf(const TTrayImage& image) {
    std::vector<QImage> images;
    ForEachTraySize(image, [&images](int side, const uint32_t* pixels, const uint8_t* mask) {
        images.push_back(ImageOf(side, pixels, mask));
    });
    return QIcon(new TSharpIconEngine(std::move(images)));
}

// The double-click time of the desktop: the component's own clicks and the StatusNotifier
// requests turned into clicks go by the same one.
unsigned DoubleClickMs() {
    return static_cast<unsigned>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

bool OnX11() {
    return QGuiApplication::platformName() == Text("xcb");
}

// Where the entries are shown.
enum class THost {
    None,            // nowhere yet: entries are kept until a tray comes
    StatusNotifier,  // a StatusNotifier host, through its watcher on the session bus
    XEmbed,          // an XEmbed system tray on the X display
};

struct TEntry {
    std::unique_ptr<QSystemTrayIcon> Icon;
    std::unique_ptr<TStatusNotifierItem> Item;
    bool Registered = false;
    TTrayCallbackTarget* Target = nullptr;
    uint32_t CallbackMessage = 0;
    bool HasImage = false;
    // What the entry shows: the same again is not handed on, so the tray draws nothing anew
    // and nobody on the session bus hears of it.
    TTrayImage Image;
    QString Tip;
    bool HasTip = false;
};

}  // namespace

// Hears the X display say that its system tray came or went. The signal is the xcb platform's
// own; where it is missing the tray is looked for once a second instead.
class TXEmbedTrayWatch : public QObject {
    Q_OBJECT
public:
    explicit TXEmbedTrayWatch(std::function<void()> changed) : FChanged(std::move(changed)) {
        auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
        const int signal =
            native != nullptr
                ? native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)")
                : -1;
        const int slot = metaObject()->indexOfSlot("TrayWindowChanged()");
        if (signal >= 0 && slot >= 0 &&
            connect(native, native->metaObject()->method(signal), this,
                    metaObject()->method(slot))) {
            return;
        }
        FPoll.setInterval(kTrayPollMs);
        QObject::connect(&FPoll, &QTimer::timeout, this, [this] { FChanged(); });
        FPoll.start();
    }

public Q_SLOTS:
    void TrayWindowChanged() { FChanged(); }

private:
    std::function<void()> FChanged;
    QTimer FPoll;
};

class TLinuxTrayShell::TImpl {
public:
    TImpl() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            FWatcher = std::make_unique<QDBusServiceWatcher>(
                Text(kWatcherService), bus, QDBusServiceWatcher::WatchForOwnerChange);
            QObject::connect(FWatcher.get(), &QDBusServiceWatcher::serviceOwnerChanged,
                             FWatcher.get(),
                             [this](const QString&, const QString&, const QString& owner) {
                                 WatcherChanged(!owner.isEmpty());
                             });
        }
        if (WatcherPresent()) {
            FHost = THost::StatusNotifier;
        } else if (OnX11()) {
            // Asked only while no StatusNotifier host is there: the toolkit settles on the kind
            // of tray at its first question and shows an XEmbed icon from then on.
            FHost = QSystemTrayIcon::isSystemTrayAvailable() ? THost::XEmbed : THost::None;
            FXEmbedWatch = std::make_unique<TXEmbedTrayWatch>([this] { XEmbedChanged(); });
        }
        FClock.start();
        FGoneCheck.setSingleShot(true);
        FGoneCheck.setInterval(kTrayGoneGraceMs);
        QObject::connect(&FGoneCheck, &QTimer::timeout, &FGoneCheck, [this] { CheckTrayGone(); });
    }

    ~TImpl() {
        FXEmbedWatch.reset();
        FEntries.clear();
    }

    bool Available() const {
        switch (FHost) {
            case THost::StatusNotifier:
                return HostRegistered();
            case THost::XEmbed:
                return true;
            case THost::None:
                break;
        }
        return false;
    }
    bool StatusNotifier() const { return FHost == THost::StatusNotifier; }

    bool Notify(TNotifyIconMessage message, const TNotifyIconData& data) {
        const auto it = FEntries.find(data.uID);
        switch (message) {
            case NIM_ADD: {
                if (it != FEntries.end()) {
                    return false;
                }
                TEntry& added = *FEntries.emplace(data.uID, Create(data.uID)).first->second;
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
        // Only a StatusNotifier host shows the menu itself; an XEmbed tray reports the right
        // button and the component opens its own menu.
        const auto it = FEntries.find(id);
        if (it != FEntries.end() && it->second->Item != nullptr) {
            it->second->Item->SetMenu(std::move(items));
        }
    }

    // Handlers of a host that came (true) or of the last one gone (false).
    int AddHandler(bool came, std::function<void()> handler) {
        const int key = FNextKey++;
        (came ? FHandlers : FGoneHandlers).emplace(key, std::move(handler));
        return key;
    }
    void RemoveHandler(bool came, int key) { (came ? FHandlers : FGoneHandlers).erase(key); }

    // While a StatusNotifier request is handled, the position the host named.
    const std::optional<QPoint>& RequestPosition() const { return FRequestPosition; }

private:
    bool WatcherPresent() const {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.isConnected() && bus.interface() != nullptr &&
               bus.interface()->isServiceRegistered(Text(kWatcherService)).value();
    }

    // Whether a host shows what the watcher collects. Asked when it matters (as the window is
    // minimised) rather than followed.
    static bool HostRegistered() {
        QDBusInterface watcher(Text(kWatcherService), Text(kWatcherPath), Text(kWatcherService),
                               QDBusConnection::sessionBus());
        return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
    }

    std::unique_ptr<TEntry> Create(uintptr_t id) {
        auto entry = std::make_unique<TEntry>();
        if (FHost == THost::StatusNotifier) {
            entry->Item = std::make_unique<TStatusNotifierItem>(
                QGuiApplication::applicationName(), QGuiApplication::applicationDisplayName());
            entry->Item->OnRequest = [this, id](TStatusNotifierRequest request, int x, int y) {
                const std::vector<uint32_t> codes =
                    FClicks.Codes(request, FClock.elapsed(), DoubleClickMs());
                FRequestPosition = QPoint(x, y);
                Deliver(id, codes);
                FRequestPosition.reset();
            };
        } else if (FHost == THost::XEmbed) {
            entry->Icon = std::make_unique<QSystemTrayIcon>();
            Connect(id, entry->Icon.get());
        }
        return entry;
    }

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
        const bool newImage = (data.uFlags & NIF_ICON) != 0 && data.hIcon != nullptr &&
                              !(entry.HasImage && *data.hIcon == entry.Image);
        const QString tip = QString::fromLocal8Bit(data.szTip);
        const bool newTip = (data.uFlags & NIF_TIP) != 0 && !(entry.HasTip && tip == entry.Tip);
        if (newImage) {
            entry.HasImage = true;
            entry.Image = *data.hIcon;
        }
        if (newTip) {
            entry.HasTip = true;
            entry.Tip = tip;
        }
        if (entry.Icon != nullptr) {
            if (newImage) {
                entry.Icon->setIcon(IconOf(*data.hIcon));
            }
            if (newTip) {
                entry.Icon->setToolTip(tip);
            }
            // An entry without an image yet is kept back until it has one.
            if (entry.HasImage && !entry.Icon->isVisible()) {
                entry.Icon->show();
            }
        }
        if (entry.Item != nullptr) {
            if (newImage) {
                entry.Item->SetImage(*data.hIcon);
            }
            if (newTip) {
                entry.Item->SetToolTip(tip);
            }
            if (entry.HasImage && !entry.Registered) {
                entry.Registered = true;
                entry.Item->RegisterWithWatcher();
            }
        }
    }

    // Each code looks the entry up again: a handler of the one before may have removed it.
    void Deliver(uintptr_t id, const std::vector<uint32_t>& codes) {
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
        // Removed from inside one of its own events: what raised the event cannot be destroyed
        // while it is still being handled, so the entry leaves the tray as soon as that event
        // is through.
        if (entry->Icon != nullptr) {
            entry->Icon->disconnect();
        }
        if (entry->Item != nullptr) {
            entry->Item->OnRequest = nullptr;
        }
        TEntry* gone = entry.release();
        QTimer::singleShot(0, QCoreApplication::instance(), [gone] { delete gone; });
    }

    void WatcherChanged(bool present) {
        if (present) {
            SwitchTo(THost::StatusNotifier);
        } else if (OnX11()) {
            SwitchTo(QSystemTrayIcon::isSystemTrayAvailable() ? THost::XEmbed : THost::None);
            if (FXEmbedWatch == nullptr) {
                FXEmbedWatch = std::make_unique<TXEmbedTrayWatch>([this] { XEmbedChanged(); });
            }
        } else {
            SwitchTo(THost::None);
        }
    }

    void XEmbedChanged() {
        if (FHost == THost::StatusNotifier) {
            return;
        }
        const bool present = QSystemTrayIcon::isSystemTrayAvailable();
        if (present && FHost == THost::None) {
            SwitchTo(THost::XEmbed);
        } else if (!present && FHost == THost::XEmbed) {
            // The toolkit docks its icons again by itself when the tray comes back quickly;
            // until then there is no tray to minimise into.
            FHost = THost::None;
            FGoneCheck.start();
        }
    }

    // No tray came back within the grace: its users are told, unless the display has one
    // after all.
    void CheckTrayGone() {
        if (FHost != THost::None) {
            return;
        }
        if (OnX11() && QSystemTrayIcon::isSystemTrayAvailable()) {
            SwitchTo(THost::XEmbed);
            return;
        }
        Announce(FGoneHandlers);
    }

    // A new host knows none of the old entries: forget them, and let their owners add them
    // afresh with their current image and tip. A StatusNotifier watcher that comes back (a
    // panel restarted) is such a new host too.
    void SwitchTo(THost host) {
        FHost = host;
        while (!FEntries.empty()) {
            Remove(FEntries.begin());
        }
        if (host == THost::None) {
            FGoneCheck.start();
            return;
        }
        Announce(FHandlers);
    }

    // A handler may add or remove handlers.
    static void Announce(const std::map<int, std::function<void()>>& handlers) {
        const auto copy = handlers;
        for (const auto& [key, handler] : copy) {
            handler();
        }
    }

    THost FHost = THost::None;
    std::unique_ptr<QDBusServiceWatcher> FWatcher;
    std::unique_ptr<TXEmbedTrayWatch> FXEmbedWatch;
    std::map<uintptr_t, std::unique_ptr<TEntry>> FEntries;
    std::map<int, std::function<void()>> FHandlers;
    std::map<int, std::function<void()>> FGoneHandlers;
    int FNextKey = 1;
    int FDispatching = 0;
    TStatusNotifierClicks FClicks;
    QElapsedTimer FClock;
    QTimer FGoneCheck;
    std::optional<QPoint> FRequestPosition;
};

TLinuxTrayShell::TLinuxTrayShell() : FImpl(std::make_unique<TImpl>()) {}
TLinuxTrayShell::~TLinuxTrayShell() = default;

bool TLinuxTrayShell::TrayAvailable() const {
    return FImpl->Available();
}
bool TLinuxTrayShell::MinimizeSeen() const {
    // A Wayland compositor keeps a window's minimised state to itself (and may ignore the
    // request altogether).
    return !QGuiApplication::platformName().startsWith(Text("wayland"));
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
    return FImpl->AddHandler(true, std::move(handler));
}

void TLinuxTrayShell::RemoveTaskbarCreatedHandler(int key) {
    FImpl->RemoveHandler(true, key);
}

int TLinuxTrayShell::AddTrayGoneHandler(std::function<void()> handler) {
    return FImpl->AddHandler(false, std::move(handler));
}

void TLinuxTrayShell::RemoveTrayGoneHandler(int key) {
    FImpl->RemoveHandler(false, key);
}

bool TLinuxTrayShell::GetCursorPos(int& x, int& y) const {
    // A StatusNotifier host names where its click was; elsewhere the pointer is asked.
    const QPoint pos = FImpl->RequestPosition().value_or(QCursor::pos());
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
    return DoubleClickMs();
}

#include "LinuxTrayShell.moc"
