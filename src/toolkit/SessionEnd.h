#pragma once
// The end of the desktop session as the window hears of it: the session manager's request to
// save before logging out, and SIGTERM, SIGHUP and SIGINT (what a shutdown, a closed terminal
// or Ctrl+C send), all become one call on the user-interface thread, so the program can close
// in order and keep its settings instead of being killed mid-way.

#include <functional>
#include <memory>

#include <QMetaObject>

class QSocketNotifier;

class TSessionEnd {
public:
    explicit TSessionEnd(std::function<void()> onEnd);
    ~TSessionEnd();
    TSessionEnd(const TSessionEnd&) = delete;
    TSessionEnd& operator=(const TSessionEnd&) = delete;

private:
    void Ended();

    std::function<void()> FOnEnd;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QMetaObject::Connection FCommitConnection;
    bool FEnded = false;
};
