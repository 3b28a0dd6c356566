#include "core/Unit1.h"

#include <cstdio>

#include "toolkit/DiagLog.h"

namespace {

constexpr int kClientWidth = 393;
constexpr int kClientHeight = 346;

}  // namespace

TForm1::TForm1(TApplication& application, const TPlatformServices& services)
    : TForm(&application), FApplication(application), FServices(services), FProbe(services) {
    SetName("Form1");
    BeginLoading();
    SetCaption("Latmo");
    SetClientSize(kClientWidth, kClientHeight);
    CenterOnDesktop();
    EndLoading();
    ReportEchoPermission();
    DoCreate();
}

TForm1::~TForm1() { DestroyComponents(); }

void TForm1::PingHost(const std::string& host) {
    FProbe.PingHost(*this, host, PingSize(), StopRequested());
}

void TForm1::ReportEchoPermission() {
    const std::string problem = FServices.Echo.PermissionProblem();
    if (problem.empty()) {
        return;
    }
    WriteDiagLog(problem);
    std::fprintf(stderr, "latmo: %s\n", problem.c_str());
}
