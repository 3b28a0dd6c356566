#pragma once
// Popup menus and their items.

#include <memory>
#include <string>

#include "toolkit/Component.h"

class QMenu;
class QAction;
class TPopupMenu;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;
    std::string ClassName() const override { return "TMenuItem"; }

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    // The default item is shown in bold.
    void SetDefault(bool value);
    // Runs OnClick as a user's choice of the item does.
    void Click();
    QAction* Action() const { return FAction; }

    TNotifyEvent OnClick;

private:
    QAction* FAction;
    std::string FCaption;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;
    std::string ClassName() const override { return "TPopupMenu"; }

    void Add(TMenuItem* item);
    int Count() const { return FCount; }
    // Shows the menu with its top-left corner at a screen point.
    void Popup(int X, int Y);
    QMenu* Menu() const { return FMenu.get(); }

    TNotifyEvent OnPopup;

private:
    std::unique_ptr<QMenu> FMenu;
    int FCount = 0;
};
