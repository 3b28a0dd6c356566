#pragma once
// The main window: monitoring state and the handlers that drive it.

#include <string>

#include "core/ProbeEngine.h"
#include "core/SampleStore.h"
#include "platform/Services.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"

class TForm1 : public TForm, private TSampleStore {
public:
    TForm1(TApplication& application, const TPlatformServices& services);
    ~TForm1() override;

    std::string ClassName() const override { return "TForm1"; }

    // Measures one host into the working ring (the worker's probe step).
    void PingHost(const std::string& host);

private:
    // The ping size in bytes, as the user set it.
    int PingSize() const { return FPingSize; }
    // Whether the worker has been asked to stop.
    bool StopRequested() const { return false; }
    // Tells the user once, in words, when this machine does not let us send ICMP at all.
    void ReportEchoPermission();

    TApplication& FApplication;
    const TPlatformServices FServices;
    TProbeEngine FProbe;
    int FPingSize = 1024;
};
