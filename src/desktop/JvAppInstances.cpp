#include "desktop/JvAppInstances.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>

#include "platform/ThreadControl.h"
#include "toolkit/Application.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"
#include "toolkit/Messages.h"

namespace {

// The refused copy's end: what the program's own clean-up would do for the guard (the
// registry entry goes, the other copies hear of it), then the process ends at once, so that
// no window is destroyed, no closing handler runs and no settings are written.
void DefaultProcessEnd() {
    if (auto instances = TJclAppInstances::Current()) {
        try {
            instances->UnregisterProcess();
        } catch (...) {
            // The next copy drops the entry of a process that is gone.
        }
    }
    std::fflush(nullptr);
    EndProcessNow(0);
}

TJvAppInstances::TProcessEnd gProcessEnd = DefaultProcessEnd;

// Messages handled in one turn of the event loop; the rest wait for the next turn, so a flood
// of them cannot hold the window up.
constexpr int kMessagesPerTurn = 64;

// An error's "<system text>\r<step>" as one line: "<step> (<system text>)".
std::string OneLine(const std::string& text) {
    const auto cr = text.find('\r');
    return cr == std::string::npos ? text : text.substr(cr + 1) + " (" + text.substr(0, cr) + ")";
}

std::string Unchecked(const std::string& reason) {
    return "Only one instance cannot be checked: " + reason +
           ". This copy of Latmo runs without the check.";
}

// The error's words, and where the system has no place at all for the guard, what holds the
// places (another user may have taken every name): that, the user or an administrator can
// change.
std::string Unchecked(const std::exception& error, const TInterProcess& ipc) {
    const std::string blocked = ipc.ObjectsBlocked();
    return Unchecked(OneLine(error.what()) + (blocked.empty() ? "" : ": " + blocked));
}

}  // namespace

// FWindow: the port and the event loop's watch on it.
class TJvAppInstancesWindow {
public:
    TJvAppInstancesWindow(TJvAppInstances& owner, std::unique_ptr<TMessagePort> port)
        : FPort(std::move(port)) {
        if (FPort && FPort->Descriptor() < 0) {
            FPort->SetArrivalHandler([&owner] { owner.ProcessMessages(); });
        } else if (FPort) {
            FNotifier =
                std::make_unique<QSocketNotifier>(FPort->Descriptor(), QSocketNotifier::Read);
            QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                             [&owner] { owner.ProcessMessages(); });
        }
    }
    TMessagePort* Port() const { return FPort.get(); }

private:
    std::unique_ptr<TMessagePort> FPort;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

TJvAppInstances::TProcessEnd TJvAppInstances::SetProcessEnd(TProcessEnd end) {
    TProcessEnd previous = std::move(gProcessEnd);
    gProcessEnd = end ? std::move(end) : TProcessEnd(DefaultProcessEnd);
    return previous;
}

TJvAppInstances::TJvAppInstances(TComponent* AOwner, TInterProcess& ipc) : TComponent(AOwner) {
    // Whatever keeps the guard from working (another user's names, a stuck copy), the program
    // runs: unguarded, and saying so.
    try {
        FInstances = TJclAppInstances::Instance(ipc);
    } catch (const std::exception& e) {
        Report(Unchecked(e, ipc));
        return;
    }
    if (IsDesigning()) {
        return;
    }
    // The port first: a copy that can be found in the registry must be reachable, or what a
    // refused copy hands over would not arrive. (A copy killed in between leaves a port that
    // the next start removes.)
    FWindow = std::make_unique<TJvAppInstancesWindow>(
        *this, ipc.OpenPort(FInstances->Channel(), FInstances->ProcessId()));
    if (FWindow->Port() == nullptr) {
        Report(
            "Only one instance: this copy of Latmo cannot be reached, so a later start will "
            "not bring its window forward.");
    }
    // The first guard of the process puts it into the registry, whatever its settings.
    try {
        if (!FInstances->Registered()) {
            FInstances->RegisterProcess(0xFFFF);
        }
    } catch (const std::exception& e) {
        Report(Unchecked(e, ipc));
    }
    if (!FInstances->Registered() && FProblems.empty()) {
        Report(Unchecked(std::to_string(kMaxRegisteredProcesses) +
                         " copies of this program file run already"));
    }
}

TJvAppInstances::~TJvAppInstances() {
    FWindow.reset();
    FInstances.reset();
}

void TJvAppInstances::Report(const std::string& problem) {
    if (std::find(FProblems.begin(), FProblems.end(), problem) != FProblems.end()) {
        return;
    }
    FProblems.push_back(problem);
    // Start-up holds the log back until its "Start" line, so what the window's building finds
    // follows it.
    WriteDiagLog(problem);
}

void TJvAppInstances::ShowProblems() {
    // Once, and only where the user asked for the guard: the box is ticked.
    if (FProblemsShown || FProblems.empty() || !FActive) {
        return;
    }
    FProblemsShown = true;
    std::string text;
    for (const std::string& problem : FProblems) {
        text += (text.empty() ? "" : "\n") + problem;
    }
    MessageDlg(text, TMsgDlgType::mtWarning, mbOK);
}

uint64_t TJvAppInstances::WindowId() const {
    return FWindow && FWindow->Port() != nullptr ? FInstances->ProcessId() : 0;
}

void TJvAppInstances::Loaded() {
    TComponent::Loaded();
    CheckInstances();
}

TApplication* TJvAppInstances::Application() const {
    for (TComponent* c = Owner(); c != nullptr; c = c->Owner()) {
        if (auto* app = dynamic_cast<TApplication*>(c)) {
            return app;
        }
    }
    return nullptr;
}

void TJvAppInstances::ProcessMessages() {
    TMessagePort* port = FWindow ? FWindow->Port() : nullptr;
    if (port == nullptr) {
        return;
    }
    for (int i = 0; i < kMessagesPerTurn; ++i) {
        TCopyMessage message;
        const auto received = port->Receive(message);
        if (received == TMessagePort::TReceive::rNone) {
            return;
        }
        if (received != TMessagePort::TReceive::rMessage) {
            continue;
        }
        DispatchEvent([&] {
            if (message.Msg == FInstances->InstanceMessage() || message.Msg == WM_COPYDATA) {
                WndProc(message);
            } else {
                ApplicationWindowProc(message);
            }
        });
    }
}

void TJvAppInstances::WndProc(const TCopyMessage& message) {
    if (message.Msg == FInstances->InstanceMessage()) {
        switch (message.WParam) {
            case AI_INSTANCECREATED:
                if (message.LParam != FInstances->ProcessId()) {
                    DoInstanceCreated(static_cast<uint32_t>(message.LParam));
                }
                break;
            case AI_INSTANCEDESTROYED:
                DoInstanceDestroyed(static_cast<uint32_t>(message.LParam));
                break;
            case AI_USERMSG:
                DoUserNotify(static_cast<int64_t>(message.LParam));
                break;
            case AI_QUERYACTIVE:
                // The answer goes back on the asking connection: the asker's window is the
                // other end of it.
                if (FWindow && FWindow->Port() != nullptr) {
                    FWindow->Port()->Reply(TCopyMessage{
                        FInstances->InstanceMessage(), AI_ACTIVEREPLY, FActive ? 1u : 0u, {}});
                }
                break;
            case AI_ACTIVEREPLY:
                SetActive(message.LParam != 0);
                break;
            default:
                break;
        }
        return;
    }
    if (message.Msg == WM_COPYDATA && message.WParam != WindowId()) {
        if (message.LParam == CommandLineData) {
            if (OnCmdLineReceived) {
                TStringList lines;
                lines.SetText(message.Data);
                DoCmdLineReceived(&lines);
            }
        } else if (OnDataAvailable) {
            const std::string copy = message.Data;
            DoDataAvailable(message.LParam, reinterpret_cast<const uint8_t*>(copy.data()),
                            copy.size());
        }
    }
}

void TJvAppInstances::ApplicationWindowProc(const TCopyMessage& message) {
    TApplication* app = Application();
    TForm* form = app != nullptr ? app->MainForm() : nullptr;
    if (form == nullptr) {
        return;
    }
    if (message.Msg == WM_SYSCOMMAND && message.WParam == SC_RESTORE) {
        const bool minimized = form->WindowState() == TWindowState::wsMinimized;
        if (!minimized && form->Visible()) {
            return;
        }
        // The application's hooks hear of it first (the tray brings a hidden window back).
        TMessage restore{WM_SYSCOMMAND, SC_RESTORE, 0, 0};
        app->WndProc(restore);
        if (form->WindowState() == TWindowState::wsMinimized) {
            form->SetWindowState(TWindowState::wsNormal);
        }
        if (!form->Visible()) {
            form->Show();
        }
    } else if (message.Msg == WM_ACTIVATEAPP && form->Visible()) {
        form->BringToFront();
    }
}

bool TJvAppInstances::QueryOthersActive(std::vector<uint32_t>& answeredActive) {
    TInterProcess& ipc = FInstances->Ipc();
    for (const auto& [pid, state] : FInstances->CheckStates()) {
        if (!FActive) {
            break;
        }
        // A copy that is ending has nothing to say; nor has one without a port.
        if (pid == 0 || pid == FInstances->ProcessId() || state == TJclCheckState::csLeaving ||
            !ipc.PortExists(FInstances->Channel(), pid)) {
            continue;
        }
        TCopyMessage answer;
        const TCopyMessage query{FInstances->InstanceMessage(), AI_QUERYACTIVE, WindowId(), {}};
        // A copy that does not answer in time counts as one that was not asked.
        if (ipc.SendMessage(FInstances->Channel(), pid, query, answer, kQueryTimeoutMs,
                            FWindow ? FWindow->Port() : nullptr, [this] { ProcessMessages(); }) &&
            answer.Msg == FInstances->InstanceMessage() && answer.WParam == AI_ACTIVEREPLY) {
            WndProc(answer);
            if (answer.LParam != 0) {
                answeredActive.push_back(pid);
            }
        }
    }
    return FActive;
}

void TJvAppInstances::CheckInstances() {
    if (!FActive || IsDesigning() || FMaxInstances <= 0) {
        return;
    }
    ShowProblems();
    if (!FInstances || !FInstances->Registered()) {
        return;
    }
    // Copies that start at the same moment all hear from each other that they enforce the
    // limit. Which of them stays is decided under the lock, one after the other, by what the
    // others decided before: so exactly one runs on, and no two refuse each other.
    uint32_t keeper = 0;
    try {
        if (!FInstances->BeginCheck(FMaxInstances)) {
            return;
        }
        std::vector<uint32_t> answeredActive;
        if (!QueryOthersActive(answeredActive)) {
            FInstances->SetCheckState(TJclCheckState::csNone);
            return;
        }
        keeper = FInstances->DecideCheck(FMaxInstances, answeredActive);
    } catch (const std::exception& e) {
        Report(Unchecked(OneLine(e.what())));
        ShowProblems();
        return;
    }
    if (keeper == 0) {
        return;
    }
    DoRejected();
    try {
        if (FAutoActivate) {
            FInstances->ActivateInstance(FInstances->IndexOf(keeper));
        }
        if (FSendCmdLine) {
            FInstances->SendCommandLine("JvAppInstances_WindowClass", WindowId());
        }
    } catch (const std::exception&) {
        // The copy that runs on was told what could be told; this one ends all the same.
    }
    EndProcess();
}

void TJvAppInstances::EndProcess() {
    // The port goes first, so that nothing more is delivered to a copy that is ending.
    FWindow.reset();
    gProcessEnd();
    // Only a test's replacement returns; the real end never does.
}

void TJvAppInstances::DoInstanceCreated(uint32_t ProcessId) {
    if (OnInstanceCreated) {
        OnInstanceCreated(this, ProcessId);
    }
}
void TJvAppInstances::DoInstanceDestroyed(uint32_t ProcessId) {
    if (OnInstanceDestroyed) {
        OnInstanceDestroyed(this, ProcessId);
    }
}
void TJvAppInstances::DoUserNotify(int64_t Param) {
    if (OnUserNotify) {
        OnUserNotify(this, Param);
    }
}
void TJvAppInstances::DoDataAvailable(uint64_t Kind, const uint8_t* Data, size_t Size) {
    if (OnDataAvailable) {
        OnDataAvailable(this, Kind, Data, Size);
    }
}
void TJvAppInstances::DoCmdLineReceived(TStrings* CmdLine) {
    if (OnCmdLineReceived) {
        OnCmdLineReceived(this, CmdLine);
    }
}
void TJvAppInstances::DoRejected() {
    if (OnRejected) {
        OnRejected(this);
    }
}
