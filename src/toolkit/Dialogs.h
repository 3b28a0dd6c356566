#pragma once
// Message dialogs and the standard report of an exception that escaped an event handler.
// Every dialog goes through one replaceable hook, so tests answer dialogs instead of a user.

#include <functional>
#include <string>

#include "toolkit/Classes.h"

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
};
using TMsgDlgButtons = unsigned;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct TDialogRequest {
    std::string Caption;
    std::string Text;
    TMsgDlgType Type = TMsgDlgType::mtInformation;
    TMsgDlgButtons Buttons = mbOK;
};

using TDialogHook = std::function<TModalResult(const TDialogRequest&)>;

// Shows a modal dialog (through the hook when one is set) and returns the button chosen.
TModalResult ShowDialog(const TDialogRequest& request);
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);

// Replaces the dialogs (tests); returns the previous hook. An empty hook restores real dialogs.
TDialogHook SetDialogHook(TDialogHook hook);

// The title dialogs carry; the application object keeps it current.
void SetDialogCaption(const std::string& caption);
const std::string& DialogCaption();

// The toolkit's standard report: a message box with the error text. The program goes on.
void ShowException(const std::exception& e);

// Runs an event handler the way the toolkit dispatches every event: an exception that escapes
// it is reported with ShowException and goes no further.
template <typename F>
void DispatchEvent(F&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unknown error"));
    }
}
