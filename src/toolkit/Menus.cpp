#include "toolkit/Menus.h"

#include <QAction>
#include <QFont>
#include <QMenu>

#include "toolkit/Dialogs.h"

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FAction(new QAction) {
    QObject::connect(FAction, &QAction::triggered, FAction, [this] { Click(); });
}

TMenuItem::~TMenuItem() {
    if (FMenu != nullptr) {
        std::erase(FMenu->FItems, this);
    }
    delete FAction;
}

void TMenuItem::SetCaption(const std::string& value) {
    FCaption = value;
    QString text = QString::fromLocal8Bit(value);
    FAction->setText(text);
}

void TMenuItem::SetDefault(bool value) {
    FDefault = value;
    QFont font = FAction->font();
    font.setBold(value);
    FAction->setFont(font);
}

void TMenuItem::Click() {
    if (OnClick) {
        DispatchEvent([&] { OnClick(this); });
    }
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), FMenu(std::make_unique<QMenu>()) {
    QObject::connect(FMenu.get(), &QMenu::aboutToShow, FMenu.get(), [this] {
        if (OnPopup) {
            DispatchEvent([&] { OnPopup(this); });
        }
    });
}

TPopupMenu::~TPopupMenu() {
    for (TMenuItem* item : FItems) {
        item->FMenu = nullptr;
    }
}

void TPopupMenu::Add(TMenuItem* item) {
    FMenu->addAction(item->Action());
    FItems.push_back(item);
    item->FMenu = this;
}

void TPopupMenu::Popup(int X, int Y) {
    FMenu->popup(QPoint(X, Y));
}
