#include "toolkit/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>

#include "toolkit/Dialogs.h"

TSessionEnd::TSessionEnd(std::function<void()> onSave, std::function<void()> onEnd)
    : FOnSave(std::move(onSave)), FOnEnd(std::move(onEnd)) {
    FRequests = WatchEndRequests([this] { Ended(); });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        FCommitConnection = QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                                             [this](QSessionManager&) {
                                                 // A log-out can still be cancelled: save, but keep
                                                 // running.
                                                 if (FOnSave) {
                                                     DispatchEvent([this] { FOnSave(); });
                                                 }
                                             });
    }
}

TSessionEnd::~TSessionEnd() {
    FRequests.reset();
    QObject::disconnect(FCommitConnection);
}

void TSessionEnd::Ended() {
    // A second request while closing changes nothing; the first one is being handled.
    if (FEnded || !FOnEnd) {
        return;
    }
    FEnded = true;
    DispatchEvent([this] { FOnEnd(); });
}
