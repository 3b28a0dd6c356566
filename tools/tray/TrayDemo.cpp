// Manual check, not a test: a window with the real tray icon, dressed and wired as the main
// window dresses and wires TextTrayIcon1, for a person (or xdotool) to click, minimise and
// restore under a real tray. What happens is printed on standard output.
//
//   latmo-tray-demo [text [colour]]     colour: black, navy or maroon

#include <QApplication>
#include <cstdio>
#include <string>

#include "desktop/TextTrayIcon.h"
#include "platform/linux/LinuxTrayShell.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Menus.h"

namespace {

void Say(const std::string& what) {
    std::printf("%s\n", what.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    TLinuxTrayShell shell;
    TApplication application;
    const std::string text = argc > 1 ? argv[1] : "123";
    const std::string colour = argc > 2 ? argv[2] : "black";

    auto* form = new TForm(&application);
    form->SetCaption("Latmo tray demo");
    form->SetClientSize(320, 120);

    form->BeginLoading();
    auto* popupMenuExit = new TPopupMenu(form);
    auto* show1 = new TMenuItem(form);
    show1->SetCaption("Show");
    popupMenuExit->Add(show1);
    auto* exit1 = new TMenuItem(form);
    exit1->SetCaption("Exit");
    popupMenuExit->Add(exit1);

    auto* textTrayIcon1 = new TTextTrayIcon(form, shell);
    textTrayIcon1->SetEnabled(false);
    textTrayIcon1->SetIconVisible(true);
    textTrayIcon1->SetText("0");
    textTrayIcon1->Font().SetName("Arial");
    textTrayIcon1->Font().SetHeight(-9);
    textTrayIcon1->Font().SetColor(clLime);
    textTrayIcon1->SetColor(clBlack);
    textTrayIcon1->SetBorder(true);
    textTrayIcon1->SetBorderColor(clGreen);
    textTrayIcon1->Options().SetOffsetY(1);
    textTrayIcon1->SetPopupMenu(popupMenuExit);
    textTrayIcon1->SetMinimizeToTray(true);
    textTrayIcon1->SetWantEnterExitEvents(true);
    form->EndLoading();

    auto show1Click = [&](TObject*) {
        Say("show");
        textTrayIcon1->RestoreMainWindow();
    };
    show1->OnClick = show1Click;
    textTrayIcon1->OnClick = show1Click;
    exit1->OnClick = [&](TObject*) {
        Say("exit");
        textTrayIcon1->RestoreMainWindow();
        application.Terminate();
    };
    popupMenuExit->OnPopup = [](TObject*) { Say("menu"); };
    form->OnHide = [](TObject*) { Say("hidden"); };
    form->OnShow = [](TObject*) { Say("shown"); };

    shell.AddTaskbarCreatedHandler([] { Say("tray host appeared"); });
    textTrayIcon1->SetEnabled(true);
    textTrayIcon1->SetText(text);
    textTrayIcon1->SetHint("Ping demo: " + text + " msec.");
    textTrayIcon1->SetColor(colour == "navy" ? clNavy : colour == "maroon" ? clMaroon : clBlack);
    Say(std::string("tray ") + (shell.TrayAvailable() ? "available" : "missing") + ", menus by " +
        (shell.HostShowsMenus() ? "the host" : "the program"));
    form->Show();
    return application.Run();
}
