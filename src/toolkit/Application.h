#pragma once
// The application object: its title, the message loop and the run's end, its main form and the
// hooks that see what happens to the main form before anything else does.

#include <string>
#include <utility>
#include <vector>

#include "toolkit/Component.h"
#include "toolkit/Messages.h"

class TForm;

// Sees a message to the application before normal processing; true stops it there.
using TWindowHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
public:
    // Needs a QApplication that outlives it.
    TApplication();
    ~TApplication() override;
    std::string ClassName() const override { return "TApplication"; }

    // The application's own title (the task-bar text on platforms that keep one apart from the
    // window caption). Dialogs carry it as their caption.
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& value);

    // Handles what is waiting in the event queue, then returns.
    void ProcessMessages();
    // Ends the message loop at its next turn, nested loops (a dialog's) included.
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Runs the message loop until Terminate(), which closing the main form calls; returns the
    // exit code. Other windows coming and going (a message box answered while the main form
    // is hidden) never end it.
    int Run();

    // The first form created with the application as its owner.
    TForm* MainForm() const { return FMainForm; }

    // Adds a hook; the key returned takes it out again.
    int HookMainWindow(TWindowHook Hook);
    void UnhookMainWindow(int key);
    // The application's own message handling: the main form minimised (WM_SIZE with
    // SIZE_MINIMIZED) or restored (WM_SYSCOMMAND with SC_RESTORE), and what components broadcast.
    // The newest hook sees a message first.
    void WndProc(TMessage& Message);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    friend class TForm;
    void FormCreated(TForm* form);

    std::string FTitle = "Latmo";
    bool FTerminated = false;
    TForm* FMainForm = nullptr;
    std::vector<std::pair<int, TWindowHook>> FHooks;
    int FNextHookKey = 1;
};
