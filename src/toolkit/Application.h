#pragma once
// The application object: its title, the message loop and the run's end.

#include <string>

#include "toolkit/Component.h"

class TApplication : public TComponent {
public:
    // Needs a QApplication that outlives it.
    TApplication();
    std::string ClassName() const override { return "TApplication"; }

    // The application's own title (the task-bar text on platforms that keep one apart from the
    // window caption). Dialogs carry it as their caption.
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& value);

    // Handles what is waiting in the event queue, then returns.
    void ProcessMessages();
    // Ends the message loop at its next turn.
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Runs the message loop until Terminate() or the last window closes; returns the exit code.
    int Run();

private:
    std::string FTitle = "Latmo";
    bool FTerminated = false;
};
