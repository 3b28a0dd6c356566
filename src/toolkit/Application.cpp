#include "toolkit/Application.h"

#include <QApplication>
#include <QGuiApplication>

#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"

TApplication::TApplication() : TComponent(nullptr) {
    SetDialogCaption(FTitle);
    // The run ends with its main form, not with the last visible window: while the main form
    // sits in the tray, the last one may be a message box.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

TApplication::~TApplication() {
    // Forms and their components may unhook themselves while they go.
    DestroyComponents();
}

void TApplication::SetTitle(const std::string& value) {
    FTitle = value;
    SetDialogCaption(value);
}

void TApplication::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TApplication::Terminate() {
    FTerminated = true;
    // exit(), not quit(): quitting would first ask every window to close, and the main form is
    // usually the one calling from its own closing.
    QCoreApplication::exit(0);
}

int TApplication::Run() {
    if (FTerminated) {
        return 0;
    }
    const int code = QApplication::exec();
    FTerminated = true;
    return code;
}

void TApplication::FormCreated(TForm* form) {
    if (FMainForm == nullptr) {
        FMainForm = form;
    }
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == static_cast<TComponent*>(FMainForm)) {
        FMainForm = nullptr;
    }
}

int TApplication::HookMainWindow(TWindowHook Hook) {
    const int key = FNextHookKey++;
    FHooks.emplace_back(key, std::move(Hook));
    return key;
}

void TApplication::UnhookMainWindow(int key) {
    std::erase_if(FHooks, [key](const auto& h) { return h.first == key; });
}

void TApplication::WndProc(TMessage& Message) {
    // A copy: a hook may add or remove hooks.
    const auto hooks = FHooks;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        if (it->second(Message)) {
            return;
        }
    }
}
