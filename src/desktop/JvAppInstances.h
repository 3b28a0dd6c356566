#pragma once
// The instance guard as a component of the main window: how many copies of the program may run
// (MaxInstances), whether this copy enforces it (Active), whether a refused copy brings the
// running one to the front (AutoActivate) and hands it its command line (SendCmdLine), and the
// events for what other copies do. Its hidden window, FWindow, is this copy's port: it takes
// the instance message and WM_COPYDATA for the component, and the requests to restore and come
// to the front for the application.
//
//   auto* guard = new TJvAppInstances(form, ipc);   // registers the process
//   guard->OnRejected = [](TObject*) { ... };        // just before a refused copy ends
//   guard->SetActive(true);
//   guard->CheckInstances();                         // ends this process when it is refused

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/JclAppInstances.h"
#include "platform/InterProcess.h"
#include "toolkit/Classes.h"
#include "toolkit/Component.h"
#include "toolkit/Strings.h"

class TApplication;
class TJvAppInstancesWindow;

using TInstanceChangeEvent = std::function<void(TObject* Sender, uint32_t ProcessId)>;
using TUserNotifyEvent = std::function<void(TObject* Sender, int64_t Param)>;
using TDataAvailableEvent =
    std::function<void(TObject* Sender, uint64_t Kind, const uint8_t* Data, size_t Size)>;
using TCmdLineReceivedEvent = std::function<void(TObject* Sender, TStrings* CmdLine)>;

class TJvAppInstances : public TComponent {
public:
    // The services outlive the component. Throws what opening the registry throws.
    TJvAppInstances(TComponent* AOwner, TInterProcess& ipc);
    ~TJvAppInstances() override;

    std::string ClassName() const override { return "TJvAppInstances"; }

    // Plain values: assigning them does nothing else.
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }
    bool AutoActivate() const { return FAutoActivate; }
    void SetAutoActivate(bool value) { FAutoActivate = value; }
    int MaxInstances() const { return FMaxInstances; }
    void SetMaxInstances(int value) { FMaxInstances = value; }
    bool SendCmdLine() const { return FSendCmdLine; }
    void SetSendCmdLine(bool value) { FSendCmdLine = value; }

    TInstanceChangeEvent OnInstanceCreated;
    TInstanceChangeEvent OnInstanceDestroyed;
    TUserNotifyEvent OnUserNotify;
    TDataAvailableEvent OnDataAvailable;
    TCmdLineReceivedEvent OnCmdLineReceived;
    TNotifyEvent OnRejected;

    // Refuses this copy when more than MaxInstances run and the others enforce the limit too:
    // raises OnRejected, activates the copy that runs on, hands over the command line and ends
    // the process (it does not return then). Of copies that check at the same moment, exactly
    // MaxInstances run on. Where the guard cannot work, the copy runs on; what keeps the guard
    // from working is written to the diagnostic log when it is found, and shown once in a box
    // by the first check (the user ticked the box).
    void CheckInstances();

    // The window's id that messages from this component carry; 0 when it has none.
    uint64_t WindowId() const;
    // Handles every message waiting at the port (also what the event loop does).
    void ProcessMessages();

    // How a refused copy ends: the process's clean-up (the registry entry goes), then an exit
    // with code 0 that neither destroys the windows nor saves anything. Tests put in their own;
    // the previous one is returned.
    using TProcessEnd = std::function<void()>;
    static TProcessEnd SetProcessEnd(TProcessEnd end);

    // How long a copy asked whether it enforces the limit may take to answer.
    static constexpr int kQueryTimeoutMs = 2000;

protected:
    void Loaded() override;
    // FWindow's window procedure.
    virtual void WndProc(const TCopyMessage& message);
    // The event dispatchers; each raises its event only when one is assigned.
    virtual void DoInstanceCreated(uint32_t ProcessId);
    virtual void DoInstanceDestroyed(uint32_t ProcessId);
    virtual void DoUserNotify(int64_t Param);
    virtual void DoDataAvailable(uint64_t Kind, const uint8_t* Data, size_t Size);
    virtual void DoCmdLineReceived(TStrings* CmdLine);
    virtual void DoRejected();

private:
    // Asks the other copies whether they enforce the limit; those that do are added to
    // answeredActive. False when one does not (this copy's Active is then off).
    bool QueryOthersActive(std::vector<uint32_t>& answeredActive);
    // A problem of the guard, written to the diagnostic log once.
    void Report(const std::string& problem);
    void ShowProblems();
    // The application-window part of the port: restore and come to the front.
    void ApplicationWindowProc(const TCopyMessage& message);
    TApplication* Application() const;
    void EndProcess();

    std::shared_ptr<TJclAppInstances> FInstances;
    std::unique_ptr<TJvAppInstancesWindow> FWindow;
    bool FActive = true;
    bool FAutoActivate = true;
    int FMaxInstances = 1;
    bool FSendCmdLine = true;
    std::vector<std::string> FProblems;
    bool FProblemsShown = false;
};
