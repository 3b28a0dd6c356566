#include "platform/linux/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTimer>
#include <QtEndian>
#include <atomic>

// The D-Bus forms of what the item and the menu publish.
struct TSniPixmap {
    int Width = 0;
    int Height = 0;
    QByteArray Argb;  // 32-bit ARGB per pixel, most significant byte first

    bool operator==(const TSniPixmap&) const = default;
};
using TSniPixmaps = QList<TSniPixmap>;

struct TSniToolTip {
    QString IconName;
    TSniPixmaps Pixmaps;
    QString Title;
    QString Text;
};

struct TDBusMenuItem {
    int Id = 0;
    QVariantMap Properties;
};
using TDBusMenuItems = QList<TDBusMenuItem>;

struct TDBusMenuItemKeys {
    int Id = 0;
    QStringList Properties;
};
using TDBusMenuItemKeysList = QList<TDBusMenuItemKeys>;

struct TDBusMenuLayout {
    int Id = 0;
    QVariantMap Properties;
    QList<TDBusMenuLayout> Children;
};

struct TDBusMenuEvent {
    int Id = 0;
    QString EventId;
    QDBusVariant Data;
    uint Timestamp = 0;
};
using TDBusMenuEvents = QList<TDBusMenuEvent>;

Q_DECLARE_METATYPE(TSniPixmap)
Q_DECLARE_METATYPE(TSniToolTip)
Q_DECLARE_METATYPE(TDBusMenuItem)
Q_DECLARE_METATYPE(TDBusMenuItemKeys)
Q_DECLARE_METATYPE(TDBusMenuLayout)
Q_DECLARE_METATYPE(TDBusMenuEvent)

namespace {

const char* const kItemPath = "/StatusNotifierItem";
const char* const kMenuPath = "/MenuBar";
// What hosts are told when there is no menu to show: they ask with ContextMenu instead.
const char* const kNoMenuPath = "/NO_DBUSMENU";
const char* const kWatcherService = "org.kde.StatusNotifierWatcher";
const char* const kWatcherPath = "/StatusNotifierWatcher";

QString Text(const char* ascii) {
    return QString::fromLatin1(ascii);
}

// A D-Bus structure of the given fields, in their order.
template <typename... TField>
QDBusArgument& PutStructure(QDBusArgument& arg, const TField&... fields) {
    arg.beginStructure();
    (arg << ... << fields);
    arg.endStructure();
    return arg;
}
template <typename... TField>
const QDBusArgument& GetStructure(const QDBusArgument& arg, TField&... fields) {
    arg.beginStructure();
    (arg >> ... >> fields);
    arg.endStructure();
    return arg;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const TSniPixmap& p) {
    return PutStructure(arg, p.Width, p.Height, p.Argb);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TSniPixmap& p) {
    return GetStructure(arg, p.Width, p.Height, p.Argb);
}
QDBusArgument& operator<<(QDBusArgument& arg, const TSniToolTip& t) {
    return PutStructure(arg, t.IconName, t.Pixmaps, t.Title, t.Text);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TSniToolTip& t) {
    return GetStructure(arg, t.IconName, t.Pixmaps, t.Title, t.Text);
}
QDBusArgument& operator<<(QDBusArgument& arg, const TDBusMenuItem& item) {
    return PutStructure(arg, item.Id, item.Properties);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TDBusMenuItem& item) {
    return GetStructure(arg, item.Id, item.Properties);
}
QDBusArgument& operator<<(QDBusArgument& arg, const TDBusMenuItemKeys& keys) {
    return PutStructure(arg, keys.Id, keys.Properties);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TDBusMenuItemKeys& keys) {
    return GetStructure(arg, keys.Id, keys.Properties);
}
QDBusArgument& operator<<(QDBusArgument& arg, const TDBusMenuLayout& layout) {
    arg.beginStructure();
    arg << layout.Id << layout.Properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const TDBusMenuLayout& child : layout.Children) {
        arg << QDBusVariant(QVariant::fromValue(child));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TDBusMenuLayout& layout) {
    arg.beginStructure();
    arg >> layout.Id >> layout.Properties;
    arg.beginArray();
    layout.Children.clear();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        layout.Children.append(qdbus_cast<TDBusMenuLayout>(child.variant()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const TDBusMenuEvent& event) {
    return PutStructure(arg, event.Id, event.EventId, event.Data, event.Timestamp);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TDBusMenuEvent& event) {
    return GetStructure(arg, event.Id, event.EventId, event.Data, event.Timestamp);
}

class TStatusNotifierItem::TState {
public:
    QString Id;
    QString Title;
    QString ConnectionName;
    QString Service;
    bool Connected = false;
    TSniPixmaps Pixmaps;
    QString Tip;
    // What the host was last told of; it hears of a change once the program is through with
    // it, so that a text and a colour set one after the other cost one announcement.
    TSniPixmaps AnnouncedPixmaps;
    QString AnnouncedTip;
    bool AnnouncePending = false;
    std::vector<TTrayMenuItem> Menu;
    uint MenuRevision = 1;
    std::unique_ptr<QObject> ItemObject;
    std::unique_ptr<QObject> MenuObject;
    class TItemAdaptor* ItemAdaptor = nullptr;
    class TMenuAdaptor* MenuAdaptor = nullptr;
    TStatusNotifierItem* Owner = nullptr;

    QDBusConnection Bus() const { return QDBusConnection(ConnectionName); }

    // Runs what a host asked for once its call has been answered.
    void Later(std::function<void()> action) {
        QTimer::singleShot(0, ItemObject.get(), std::move(action));
    }
    void Request(TStatusNotifierRequest request, int x, int y) {
        Later([this, request, x, y] {
            if (Owner->OnRequest) {
                Owner->OnRequest(request, x, y);
            }
        });
    }
    void Announce();
    // Items are numbered from 1; 0 is the menu itself.
    QVariantMap ItemProperties(int id) const {
        QVariantMap properties;
        if (id == 0) {
            properties.insert(Text("children-display"), Text("submenu"));
            return properties;
        }
        const TTrayMenuItem& item = Menu[static_cast<size_t>(id - 1)];
        // An underscore marks the access key in these menus; the captions carry none.
        properties.insert(
            Text("label"),
            QString::fromLocal8Bit(item.Caption).replace(QLatin1Char('_'), QLatin1String("__")));
        properties.insert(Text("enabled"), true);
        properties.insert(Text("visible"), true);
        return properties;
    }
    bool KnownItem(int id) const { return id >= 0 && id <= static_cast<int>(Menu.size()); }
    void Clicked(int id) {
        if (id < 1 || !KnownItem(id)) {
            return;
        }
        Later([onClick = Menu[static_cast<size_t>(id - 1)].OnClick] {
            if (onClick) {
                onClick();
            }
        });
    }
};

class TItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconThemePath READ Empty)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QString IconName READ Empty)
    Q_PROPERTY(TSniPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ Empty)
    Q_PROPERTY(TSniPixmaps OverlayIconPixmap READ NoPixmaps)
    Q_PROPERTY(QString AttentionIconName READ Empty)
    Q_PROPERTY(TSniPixmaps AttentionIconPixmap READ NoPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ Empty)
    Q_PROPERTY(TSniToolTip ToolTip READ ToolTip)

public:
    TItemAdaptor(QObject* object, TStatusNotifierItem::TState& state)
        : QDBusAbstractAdaptor(object), FState(state) {}

    QString Category() const { return Text("ApplicationStatus"); }
    QString Id() const { return FState.Id; }
    QString Title() const { return FState.Title; }
    QString Status() const { return Text("Active"); }
    int WindowId() const { return 0; }
    QString Empty() const { return QString(); }
    QDBusObjectPath Menu() const {
        return QDBusObjectPath(Text(FState.Menu.empty() ? kNoMenuPath : kMenuPath));
    }
    bool ItemIsMenu() const { return false; }
    TSniPixmaps IconPixmap() const { return FState.Pixmaps; }
    TSniPixmaps NoPixmaps() const { return {}; }
    TSniToolTip ToolTip() const { return TSniToolTip{QString(), {}, FState.Tip, QString()}; }

public Q_SLOTS:
    void Activate(int x, int y) { FState.Request(TStatusNotifierRequest::Activate, x, y); }
    void ContextMenu(int x, int y) { FState.Request(TStatusNotifierRequest::ContextMenu, x, y); }
    void SecondaryActivate(int x, int y) {
        FState.Request(TStatusNotifierRequest::SecondaryActivate, x, y);
    }
    // The wheel over the icon means nothing here.
    void Scroll(int, const QString&) {}

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    TStatusNotifierItem::TState& FState;
};

class TMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

public:
    TMenuAdaptor(QObject* object, TStatusNotifierItem::TState& state)
        : QDBusAbstractAdaptor(object), FState(state) {}

    uint Version() const { return 3; }
    QString TextDirection() const { return Text("ltr"); }
    QString Status() const { return Text("normal"); }
    QStringList IconThemePath() const { return {}; }

    void Changed() { Q_EMIT LayoutUpdated(++FState.MenuRevision, 0); }

public Q_SLOTS:
    // The menu is one level deep: the items hang from the menu itself (id 0).
    uint GetLayout(int parentId, int recursionDepth, const QStringList&, TDBusMenuLayout& layout) {
        layout = TDBusMenuLayout{parentId, {}, {}};
        if (!FState.KnownItem(parentId)) {
            return FState.MenuRevision;
        }
        layout.Properties = FState.ItemProperties(parentId);
        if (parentId == 0 && recursionDepth != 0) {
            for (int id = 1; id <= static_cast<int>(FState.Menu.size()); ++id) {
                layout.Children.append(TDBusMenuLayout{id, FState.ItemProperties(id), {}});
            }
        }
        return FState.MenuRevision;
    }
    TDBusMenuItems GetGroupProperties(const QList<int>& ids, const QStringList&) {
        TDBusMenuItems items;
        for (const int id : ids) {
            if (FState.KnownItem(id)) {
                items.append(TDBusMenuItem{id, FState.ItemProperties(id)});
            }
        }
        return items;
    }
    QDBusVariant GetProperty(int id, const QString& name) {
        return QDBusVariant(FState.KnownItem(id) ? FState.ItemProperties(id).value(name)
                                                 : QVariant());
    }
    void Event(int id, const QString& eventId, const QDBusVariant&, uint) {
        if (eventId == Text("clicked")) {
            FState.Clicked(id);
        }
    }
    QList<int> EventGroup(const TDBusMenuEvents& events) {
        QList<int> unknown;
        for (const TDBusMenuEvent& event : events) {
            if (!FState.KnownItem(event.Id)) {
                unknown.append(event.Id);
            } else if (event.EventId == Text("clicked")) {
                FState.Clicked(event.Id);
            }
        }
        return unknown;
    }
    bool AboutToShow(int) { return false; }
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
        for (const int id : ids) {
            if (!FState.KnownItem(id)) {
                idErrors.append(id);
            }
        }
        return {};
    }

Q_SIGNALS:
    void ItemsPropertiesUpdated(const TDBusMenuItems& updated,
                                const TDBusMenuItemKeysList& removed);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    TStatusNotifierItem::TState& FState;
};

namespace {

void RegisterTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TSniPixmap>();
        qDBusRegisterMetaType<TSniPixmaps>();
        qDBusRegisterMetaType<TSniToolTip>();
        qDBusRegisterMetaType<TDBusMenuItem>();
        qDBusRegisterMetaType<TDBusMenuItems>();
        qDBusRegisterMetaType<TDBusMenuItemKeys>();
        qDBusRegisterMetaType<TDBusMenuItemKeysList>();
        qDBusRegisterMetaType<TDBusMenuLayout>();
        qDBusRegisterMetaType<TDBusMenuEvent>();
        qDBusRegisterMetaType<TDBusMenuEvents>();
        // The adaptors' methods name the lists by these names.
        qRegisterMetaType<TSniPixmaps>("TSniPixmaps");
        qRegisterMetaType<TDBusMenuItems>("TDBusMenuItems");
        qRegisterMetaType<TDBusMenuItemKeysList>("TDBusMenuItemKeysList");
        qRegisterMetaType<TDBusMenuEvents>("TDBusMenuEvents");
        return true;
    }();
    (void)registered;
}

TSniPixmap PixmapOf(int side, const uint32_t* pixels, const uint8_t* mask) {
    TSniPixmap pixmap{side, side, QByteArray(side * side * 4, '\0')};
    auto* out = reinterpret_cast<uchar*>(pixmap.Argb.data());
    for (int i = 0; i < side * side; ++i) {
        const uint32_t argb = mask[i] != 0 ? 0u : 0xFF000000u | pixels[i];
        qToBigEndian(argb, out + 4 * i);
    }
    return pixmap;
}

}  // namespace

void TStatusNotifierItem::TState::Announce() {
    if (AnnouncePending) {
        return;
    }
    AnnouncePending = true;
    Later([this] {
        AnnouncePending = false;
        if (Pixmaps != AnnouncedPixmaps) {
            AnnouncedPixmaps = Pixmaps;
            Q_EMIT ItemAdaptor->NewIcon();
        }
        if (Tip != AnnouncedTip) {
            AnnouncedTip = Tip;
            Q_EMIT ItemAdaptor->NewToolTip();
        }
    });
}

TStatusNotifierItem::TStatusNotifierItem(const QString& id, const QString& title)
    : FState(std::make_unique<TState>()) {
    RegisterTypes();
    static std::atomic<int> count{0};
    const int number = ++count;
    FState->Owner = this;
    FState->Id = id;
    FState->Title = title;
    FState->ConnectionName = QStringLiteral("latmo-tray-%1").arg(number);
    FState->Service = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                          .arg(QCoreApplication::applicationPid())
                          .arg(number);
    FState->ItemObject = std::make_unique<QObject>();
    FState->MenuObject = std::make_unique<QObject>();
    FState->ItemAdaptor = new TItemAdaptor(FState->ItemObject.get(), *FState);
    FState->MenuAdaptor = new TMenuAdaptor(FState->MenuObject.get(), *FState);

    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, FState->ConnectionName);
    FState->Connected = bus.isConnected() &&
                        bus.registerObject(Text(kItemPath), FState->ItemObject.get(),
                                           QDBusConnection::ExportAdaptors) &&
                        bus.registerObject(Text(kMenuPath), FState->MenuObject.get(),
                                           QDBusConnection::ExportAdaptors) &&
                        bus.registerService(FState->Service);
}

TStatusNotifierItem::~TStatusNotifierItem() {
    QDBusConnection bus = FState->Bus();
    if (bus.isConnected()) {
        bus.unregisterService(FState->Service);
        bus.unregisterObject(Text(kMenuPath));
        bus.unregisterObject(Text(kItemPath));
    }
    QDBusConnection::disconnectFromBus(FState->ConnectionName);
}

bool TStatusNotifierItem::Connected() const {
    return FState->Connected;
}

QString TStatusNotifierItem::ServiceName() const {
    return FState->Service;
}

void TStatusNotifierItem::RegisterWithWatcher() {
    if (!FState->Connected) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(Text(kWatcherService), Text(kWatcherPath),
                                       Text(kWatcherService), Text("RegisterStatusNotifierItem"));
    call << FState->Service;
    FState->Bus().asyncCall(call);
}

void TStatusNotifierItem::SetImage(const TTrayImage& image) {
    TSniPixmaps pixmaps;
    ForEachTraySize(image, [&pixmaps](int side, const uint32_t* pixels, const uint8_t* mask) {
        pixmaps.append(PixmapOf(side, pixels, mask));
    });
    FState->Pixmaps = pixmaps;
    FState->Announce();
}

void TStatusNotifierItem::SetToolTip(const QString& text) {
    FState->Tip = text;
    FState->Announce();
}

void TStatusNotifierItem::SetMenu(std::vector<TTrayMenuItem> items) {
    FState->Menu = std::move(items);
    FState->MenuAdaptor->Changed();
}

#include "StatusNotifierItem.moc"
