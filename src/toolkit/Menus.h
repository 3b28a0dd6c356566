#pragma once
// Popup menus and their items.

#include <memory>
#include <string>
#include <vector>

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
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    // Runs OnClick as a user's choice of the item does.
    void Click();
    QAction* Action() const { return FAction; }

    TNotifyEvent OnClick;

private:
    friend class TPopupMenu;
    QAction* FAction;
    std::string FCaption;
    bool FDefault = false;
    TPopupMenu* FMenu = nullptr;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;
    std::string ClassName() const override { return "TPopupMenu"; }

    void Add(TMenuItem* item);
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
    // Whether the menu opens by itself when its owner's mouse button asks for it.
    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool value) { FAutoPopup = value; }
    // The component the menu was last opened for.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* value) { FPopupComponent = value; }
    // Shows the menu with its top-left corner at a screen point.
    void Popup(int X, int Y);
    QMenu* Menu() const { return FMenu.get(); }

    TNotifyEvent OnPopup;

private:
    friend class TMenuItem;
    std::unique_ptr<QMenu> FMenu;
    std::vector<TMenuItem*> FItems;
    bool FAutoPopup = true;
    TComponent* FPopupComponent = nullptr;
};
