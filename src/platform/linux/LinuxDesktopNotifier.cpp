#include "platform/linux/LinuxDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <vector>

#include "platform/Utf8.h"

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";

QString Text(const char* ascii) {
    return QString::fromLatin1(ascii);
}

}  // namespace

class TLinuxDesktopNotifier::TState {
public:
    enum class TMarkup { Unknown, Asking, Yes, No };

    QString ConnectionName;
    std::string Unavailable;
    std::function<void()> OnChanged;
    std::unique_ptr<QDBusServiceWatcher> Watcher;
    // Whether the service reads the body as mark-up, where a host text's "<" or "&" would be
    // taken for a tag; asked once a service is there and a notice is to go.
    TMarkup Markup = TMarkup::Unknown;
    std::vector<TDesktopNotice> Waiting;
    // Owns what waits for the service's answers, so that none comes back to a notifier gone.
    std::unique_ptr<QObject> Calls = std::make_unique<QObject>();

    QDBusConnection Bus() const { return QDBusConnection(ConnectionName); }

    void Refresh() {
        const std::string before = Unavailable;
        QDBusConnection bus = Bus();
        QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
        if (daemon == nullptr) {
            Unavailable = "No session bus: the desktop cannot be notified.";
        } else if (!daemon->isServiceRegistered(Text(kService)).value() &&
                   !daemon->activatableServiceNames().value().contains(Text(kService))) {
            Unavailable = "No notification service runs on this desktop.";
        } else {
            Unavailable.clear();
        }
        if (before != Unavailable && OnChanged) {
            OnChanged();
        }
    }

    // Calls the service; done(reply) runs once it answered or the call failed.
    void Call(QDBusMessage call, const std::function<void(const QDBusMessage&)>& done) {
        auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(call), Calls.get());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, Calls.get(),
                         [done](QDBusPendingCallWatcher* w) {
                             done(w->reply());
                             w->deleteLater();
                         });
    }

    void AskMarkup() {
        Markup = TMarkup::Asking;
        Call(QDBusMessage::createMethodCall(Text(kService), Text(kPath), Text(kService),
                                            Text("GetCapabilities")),
             [this](const QDBusMessage& reply) {
                 const bool markup =
                     reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                     reply.arguments().front().toStringList().contains(Text("body-markup"));
                 Markup = markup ? TMarkup::Yes : TMarkup::No;
                 std::vector<TDesktopNotice> waiting;
                 waiting.swap(Waiting);
                 for (const TDesktopNotice& notice : waiting) {
                     Send(notice);
                 }
             });
    }

    void Send(const TDesktopNotice& notice) {
        const QString title =
            QString::fromUtf8(Utf8Cut(notice.Title, TDesktopNotice::kMaxTitle).c_str());
        QString body = QString::fromUtf8(Utf8Cut(notice.Text, TDesktopNotice::kMaxText).c_str());
        if (Markup == TMarkup::Yes) {
            body = body.toHtmlEscaped();
        }
        QVariantMap hints;
        hints.insert(Text("urgency"), QVariant::fromValue<uchar>(notice.Warning ? 1 : 0));
        hints.insert(Text("desktop-entry"), Text("latmo"));
        QDBusMessage call = QDBusMessage::createMethodCall(Text(kService), Text(kPath),
                                                           Text(kService), Text("Notify"));
        call << Text("Latmo") << uint(0) << Text("latmo") << title << body << QStringList() << hints
             << int(-1);
        // A service that went away meanwhile is noticed here.
        Call(call, [this](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                Refresh();
            }
        });
    }
};

TLinuxDesktopNotifier::TLinuxDesktopNotifier(const std::string& busAddress)
    : FState(std::make_unique<TState>()) {
    static std::atomic<int> count{0};
    FState->ConnectionName = QStringLiteral("latmo-notify-%1").arg(++count);
    QDBusConnection bus =
        busAddress.empty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, FState->ConnectionName)
            : QDBusConnection::connectToBus(QString::fromUtf8(busAddress.c_str()),
                                            FState->ConnectionName);
    if (bus.isConnected()) {
        // A service that starts or ends later changes what the window may offer.
        FState->Watcher = std::make_unique<QDBusServiceWatcher>(
            Text(kService), bus, QDBusServiceWatcher::WatchForOwnerChange);
        QObject::connect(FState->Watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged,
                         FState->Calls.get(), [this] {
                             // Another service may read the body otherwise.
                             if (FState->Markup != TState::TMarkup::Asking) {
                                 FState->Markup = TState::TMarkup::Unknown;
                             }
                             FState->Refresh();
                         });
    }
    FState->Refresh();
}

TLinuxDesktopNotifier::~TLinuxDesktopNotifier() {
    FState->Calls.reset();
    FState->Watcher.reset();
    QDBusConnection::disconnectFromBus(FState->ConnectionName);
}

std::string TLinuxDesktopNotifier::Unavailable() const {
    return FState->Unavailable;
}

bool TLinuxDesktopNotifier::Notify(const TDesktopNotice& notice) {
    if (!FState->Unavailable.empty()) {
        return false;
    }
    if (FState->Markup == TState::TMarkup::Yes || FState->Markup == TState::TMarkup::No) {
        FState->Send(notice);
        return true;
    }
    FState->Waiting.push_back(notice);
    if (FState->Markup == TState::TMarkup::Unknown) {
        FState->AskMarkup();
    }
    return true;
}

void TLinuxDesktopNotifier::SetAvailabilityChanged(std::function<void()> handler) {
    FState->OnChanged = std::move(handler);
}
