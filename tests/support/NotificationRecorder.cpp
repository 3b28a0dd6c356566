#include "support/NotificationRecorder.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <atomic>
#include <mutex>

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";

QString Text(const char* ascii) {
    return QString::fromLatin1(ascii);
}

}  // namespace

// The service's object, answering its calls by hand (the connection's thread may call it).
class TNotificationRecorder::TObject : public QDBusVirtualObject {
public:
    explicit TObject(bool markup) : FMarkup(markup) {}

    QString introspect(const QString&) const override { return QString(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != Text(kService)) {
            return false;
        }
        const QString member = message.member();
        if (member == Text("GetCapabilities")) {
            QStringList capabilities{Text("body")};
            if (FMarkup) {
                capabilities << Text("body-markup");
            }
            return connection.send(message.createReply(QVariant(capabilities)));
        }
        if (member == Text("GetServerInformation")) {
            return connection.send(message.createReply(
                QVariantList{Text("recorder"), Text("latmo tests"), Text("1"), Text("1.2")}));
        }
        if (member != Text("Notify") || message.arguments().size() != 8) {
            return false;
        }
        const QVariantList args = message.arguments();
        TRecordedNotice notice;
        notice.App = args[0].toString().toStdString();
        notice.Icon = args[2].toString().toStdString();
        notice.Summary = args[3].toString().toStdString();
        notice.Body = args[4].toString().toStdString();
        const QVariantMap hints = qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>());
        if (hints.contains(Text("urgency"))) {
            notice.Urgency = hints.value(Text("urgency")).toInt();
        }
        uint id = 0;
        {
            const std::lock_guard<std::mutex> lock(FLock);
            FNotices.push_back(notice);
            id = static_cast<uint>(FNotices.size());
        }
        return connection.send(message.createReply(QVariant(id)));
    }

    std::vector<TRecordedNotice> Notices() const {
        const std::lock_guard<std::mutex> lock(FLock);
        return FNotices;
    }

private:
    const bool FMarkup;
    mutable std::mutex FLock;
    std::vector<TRecordedNotice> FNotices;
};

TNotificationRecorder::TNotificationRecorder(const std::string& busAddress, bool markup)
    : FObject(std::make_unique<TObject>(markup)) {
    static std::atomic<int> count{0};
    FConnection = "latmo-notice-recorder-" + std::to_string(++count);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress),
                                                        QString::fromStdString(FConnection));
    FRegistered =
        bus.isConnected() &&
        bus.registerVirtualObject(Text(kPath), FObject.get(), QDBusConnection::SingleNode) &&
        bus.registerService(Text(kService));
}

TNotificationRecorder::~TNotificationRecorder() {
    QDBusConnection bus(QString::fromStdString(FConnection));
    if (bus.isConnected()) {
        bus.unregisterService(Text(kService));
        bus.unregisterObject(Text(kPath));
    }
    QDBusConnection::disconnectFromBus(QString::fromStdString(FConnection));
}

std::vector<TRecordedNotice> TNotificationRecorder::Notices() const {
    return FObject->Notices();
}
