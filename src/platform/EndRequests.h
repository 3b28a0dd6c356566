#pragma once
// Requests from outside to end the process in order: on Linux SIGTERM, SIGHUP and SIGINT (what a
// shutdown, a closed terminal or Ctrl+C send), on Windows the end of the session
// (WM_ENDSESSION). They reach the user-interface thread as one call, made while the request is
// being handled: on Windows the session may end the process as soon as that call returns, so
// whatever has to be saved is saved within it.

#include <functional>
#include <memory>

class TEndRequests {
public:
    virtual ~TEndRequests() = default;
};

// Calls onEnd on the user-interface thread for every request from now on, until the watch is
// destroyed; requests after that are dropped rather than ending the process. Needs the
// application object. nullptr where no request can be watched.
std::unique_ptr<TEndRequests> WatchEndRequests(std::function<void()> onEnd);
