#pragma once
// The end of the desktop session as the window hears of it. The session manager first asks the
// program to save (a log-out that the user may still cancel): that becomes one call. The end
// itself, and SIGTERM, SIGHUP and SIGINT (what a shutdown, a closed terminal or Ctrl+C send),
// become another, on the user-interface thread, so the program can close in order and keep its
// settings instead of being killed mid-way. The signals stay caught until the process ends.

#include <functional>
#include <memory>

#include <QMetaObject>

class QSocketNotifier;

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
    std::unique_ptr<QSocketNotifier> FNotifier;
    QMetaObject::Connection FCommitConnection;
    bool FEnded = false;
};
