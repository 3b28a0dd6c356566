#pragma once
// An echo service that answers from a script, records every call and can hold a send until
// the test lets it go (to stand for a probe that waits for its time-out).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/IcmpEcho.h"

struct TFakeEchoOutcome {
    int Error = 0;        // the call's error code
    uint32_t Status = 0;  // the reply record's status
    uint32_t RoundTripMs = 0;
};

class TFakeIcmpEcho : public TIcmpEcho {
public:
    TEchoHandle CreateFile() override;
    void CloseHandle(TEchoHandle handle) override;
    // A blocked send gives up with ECHO_ERROR_CANCELLED when `stop` is raised.
    int SendEcho(TEchoHandle handle, const TIpAddress& destination,
                 std::span<const uint8_t> payload, uint32_t timeoutMs, TEchoReply& reply,
                 TStopSignal stop = kNoStopSignal) override;
    std::string PermissionProblem() const override { return Problem; }
    TEchoEngine Engine() const override { return EngineInUse; }
    std::string EngineChoice() const override { return "Echo engine: the fake."; }

    // Outcomes handed out in order; when none is left, DefaultOutcome.
    std::deque<TFakeEchoOutcome> Script;
    TFakeEchoOutcome DefaultOutcome{0, 0, 10};
    bool CreateFails = false;
    std::string Problem;
    TEchoEngine EngineInUse = TEchoEngine::DatagramSocket;

    // While blocked, SendEcho waits until Release() (or the object goes away).
    void Block();
    void Release();
    // Waits until a send is waiting in a block; false after timeoutMs.
    bool WaitUntilBlocked(int timeoutMs);

    struct TCall {
        TEchoHandle Handle;
        TIpAddress Destination;
        size_t PayloadSize;
        uint32_t TimeoutMs;
    };
    std::vector<TCall> Calls() const;
    int OpenHandles() const;
    int CreateCalls() const;

private:
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    bool FBlocked = false;
    int FWaiting = 0;
    std::vector<TCall> FCalls;
    int FOpen = 0;
    int FCreates = 0;
    TEchoHandle FNext = 100;
};
