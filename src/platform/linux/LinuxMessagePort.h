#pragma once
// The receiving end of one copy on Linux: a listening Unix-domain sequenced-packet socket, and
// the connections it has taken in whose packet has not come yet. Nothing here ever waits: a
// connection is taken in when it is there, its packet read when it has come, and a connection
// that sends nothing within kPacketTimeoutMs is dropped. Descriptor() is one descriptor that is
// readable whenever any of that has something to do (the socket, each connection, and a timer
// for the oldest connection's time), so the event loop watches one thing and never polls.
// Connections from another user's processes are refused by their peer credentials.

#include <chrono>
#include <string>
#include <vector>

#include "platform/InterProcess.h"

class TLinuxMessagePort : public TMessagePort {
public:
    // Takes over the listening socket; removes path when it goes.
    TLinuxMessagePort(int listenFd, std::string path);
    ~TLinuxMessagePort() override;
    TLinuxMessagePort(const TLinuxMessagePort&) = delete;
    TLinuxMessagePort& operator=(const TLinuxMessagePort&) = delete;

    int Descriptor() const override { return FEvents; }
    TReceive Receive(TCopyMessage& message) override;
    void Reply(const TCopyMessage& answer) override;

    // How long a sender may take to send its packet once connected.
    static constexpr int kPacketTimeoutMs = 2000;
    // Connections waiting for their packet at most; the oldest goes when another comes.
    static constexpr size_t kMaxWaiting = 16;

private:
    struct TWaiting {
        int Fd;
        std::chrono::steady_clock::time_point Deadline;
    };
    TReceive ReceiveOne(TCopyMessage& message);
    // A connection that waits to be taken in, or -1.
    int AcceptOne();
    // Reads the packet waiting on fd; rNone when none has come yet (fd stays open). Takes fd
    // over otherwise.
    TReceive Take(int fd, TCopyMessage& message);
    void Forget(size_t index);
    void ArmTimer();
    void CloseCurrent();

    int FListen;
    int FEvents = -1;
    int FTimer = -1;
    std::string FPath;
    std::vector<TWaiting> FWaiting;
    int FCurrent = -1;
};
