#include "toolkit/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <cstdio>

namespace {

TDialogHook& Hook() {
    static TDialogHook hook;
    return hook;
}

std::string& Caption() {
    static std::string caption = "Latmo";
    return caption;
}

QMessageBox::Icon IconFor(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::mtWarning:
            return QMessageBox::Warning;
        case TMsgDlgType::mtError:
            return QMessageBox::Critical;
        case TMsgDlgType::mtInformation:
            return QMessageBox::Information;
        case TMsgDlgType::mtConfirmation:
            return QMessageBox::Question;
        case TMsgDlgType::mtCustom:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

TDialogHook SetDialogHook(TDialogHook hook) {
    TDialogHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

void SetDialogCaption(const std::string& caption) {
    Caption() = caption;
}
const std::string& DialogCaption() {
    return Caption();
}

TModalResult ShowDialog(const TDialogRequest& request) {
    if (Hook()) {
        return Hook()(request);
    }
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", request.Caption.c_str(), request.Text.c_str());
        return (request.Buttons & mbOK) ? mrOk : mrCancel;
    }
    QMessageBox box(IconFor(request.Type), QString::fromLocal8Bit(request.Caption),
                    QString::fromLocal8Bit(request.Text));
    if (request.Buttons & mbYes)
        box.addButton(QMessageBox::Yes);
    if (request.Buttons & mbNo)
        box.addButton(QMessageBox::No);
    if (request.Buttons & mbOK)
        box.addButton(QMessageBox::Ok);
    if (request.Buttons & mbCancel)
        box.addButton(QMessageBox::Cancel);
    // Escape and the box's close button close a question otherwise than by its buttons; left
    // to itself the box would take them for No.
    if ((request.Buttons & (mbYes | mbNo)) != 0 && (request.Buttons & mbCancel) == 0) {
        QPushButton* closed = box.addButton(QMessageBox::Cancel);
        closed->hide();
        box.setEscapeButton(closed);
    }
    box.raise();
    box.activateWindow();
    switch (box.exec()) {
        case QMessageBox::Yes:
            return mrYes;
        case QMessageBox::No:
            return mrNo;
        case QMessageBox::Ok:
            return mrOk;
        case QMessageBox::Cancel:
            return mrCancel;
        default:
            break;
    }
    // Closed without a button.
    return (request.Buttons & (mbCancel | mbYes | mbNo)) != 0 ? mrCancel : mrOk;
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    return ShowDialog(TDialogRequest{Caption(), text, type, buttons});
}

void ShowException(const std::exception& e) {
    std::string text = e.what();
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    ShowDialog(TDialogRequest{Caption(), text, TMsgDlgType::mtError, mbOK});
}
