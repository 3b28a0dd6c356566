#pragma once
// One tray entry as a StatusNotifier item on the session bus: the item object with its image in
// every size, its tooltip and the requests a host sends, and the entry's menu as a D-Bus menu
// that the host shows itself. Each item has a connection and a bus name of its own, so the
// host drops it the moment it goes.

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "platform/TrayShell.h"
#include "platform/linux/StatusNotifierClicks.h"

class QObject;

class TStatusNotifierItem {
public:
    // Connects to the session bus; Connected() says whether that worked.
    TStatusNotifierItem(const QString& id, const QString& title);
    ~TStatusNotifierItem();
    TStatusNotifierItem(const TStatusNotifierItem&) = delete;
    TStatusNotifierItem& operator=(const TStatusNotifierItem&) = delete;

    bool Connected() const;
    // The item's bus name, as the watcher lists it.
    QString ServiceName() const;
    // Announces the item to the host's watcher; the watcher forgets it when the item goes.
    void RegisterWithWatcher();

    void SetImage(const TTrayImage& image);
    void SetToolTip(const QString& text);
    // An empty list takes the menu away; the host then asks for it with ContextMenu.
    void SetMenu(std::vector<TTrayMenuItem> items);

    // A host's request with the screen position it names. Raised from the event loop once the
    // host's call has been answered, so the handler may do anything, even free the item.
    std::function<void(TStatusNotifierRequest request, int x, int y)> OnRequest;

    class TState;

private:
    std::unique_ptr<TState> FState;
};
