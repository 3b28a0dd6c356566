#pragma once
// The end of the desktop session as the window hears of it. The session manager first asks the
// program to save (a log-out that the user may still cancel): that becomes one call. The end
// itself, and the system's requests to end the process (platform/EndRequests.h), become
// another, on the user-interface thread, so the program can close in order and keep its
// settings instead of being killed mid-way.

#include <functional>
#include <memory>

#include <QMetaObject>

#include "platform/EndRequests.h"

class TSessionEnd {
public:
    // onSave: the session manager's request to save; the program keeps running. onEnd: the
    // session or the process is ending; called once.
    TSessionEnd(std::function<void()> onSave, std::function<void()> onEnd);
    ~TSessionEnd();
    TSessionEnd(const TSessionEnd&) = delete;
    TSessionEnd& operator=(const TSessionEnd&) = delete;

private:
    void Ended();

    std::function<void()> FOnSave;
    std::function<void()> FOnEnd;
    std::unique_ptr<TEndRequests> FRequests;
    QMetaObject::Connection FCommitConnection;
    bool FEnded = false;
};
