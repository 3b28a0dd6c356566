#include "toolkit/Application.h"

#include <QApplication>

#include "toolkit/Dialogs.h"

TApplication::TApplication() : TComponent(nullptr) { SetDialogCaption(FTitle); }

void TApplication::SetTitle(const std::string& value) {
    FTitle = value;
    SetDialogCaption(value);
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }

void TApplication::Terminate() {
    FTerminated = true;
    QCoreApplication::quit();
}

int TApplication::Run() {
    if (FTerminated) {
        return 0;
    }
    const int code = QApplication::exec();
    FTerminated = true;
    return code;
}
