#pragma once
// A D-Bus bus of a test's own: a dbus-daemon that lives as long as the object, with no service
// to start on demand, so that what answers on it is only what the test puts there.

#include <sys/types.h>

#include <string>

class TPrivateBus {
public:
    // Starts the bus; Address() is empty, and Problem() says why, when that failed.
    TPrivateBus();
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    const std::string& Address() const { return FAddress; }
    const std::string& Problem() const { return FProblem; }

private:
    std::string FDir;
    std::string FAddress;
    std::string FProblem;
    pid_t FPid = -1;
};
