#include "settings/JvFormPlacement.h"

#include <cstdio>
#include <vector>

#include "toolkit/Dialogs.h"
#include "toolkit/StrUtils.h"

namespace {

std::string FourNumbers(int a, int b, int c, int d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", a, b, c, d);
    return buf;
}

// Words are separated by any run of blanks and commas.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text + ' ') {
        if (c == ' ' || c == ',') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else {
            word += c;
        }
    }
    return words;
}

int WordAsInt(const std::vector<std::string>& words, size_t index, int fallback) {
    int32_t value = 0;
    return index < words.size() && TryStrToInt(words[index], value) ? value : fallback;
}

}  // namespace

TJvFormPlacement::~TJvFormPlacement() {
    GiveEventsBack();
}

void TJvFormPlacement::SetAppStorage(TJvCustomAppStorage* value) {
    if (value == FAppStorage) {
        return;
    }
    if (FAppStorage != nullptr) {
        RemoveFreeNotification(FAppStorage);
    }
    FAppStorage = value;
    if (value != nullptr) {
        FreeNotification(value);
    }
}

void TJvFormPlacement::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FAppStorage) {
        FAppStorage = nullptr;
    }
}

std::string TJvFormPlacement::StoragePath(const std::string& key) const {
    return TJvCustomAppStorage::NormalizePath({FAppStoragePath, key});
}

void TJvFormPlacement::Loaded() {
    TComponent::Loaded();
    TForm* form = Form();
    if (form == nullptr || IsDesigning() || FHookedForm != nullptr) {
        return;
    }
    FHookedForm = form;
    FSaveFormShow = std::move(form->OnShow);
    FSaveFormCloseQuery = std::move(form->OnCloseQuery);
    FSaveFormDestroy = std::move(form->OnDestroy);
    form->OnShow = [this](TObject* Sender) { FormShowHook(Sender); };
    form->OnCloseQuery = [this](TObject* Sender, bool& CanClose) {
        FormCloseQueryHook(Sender, CanClose);
    };
    form->OnDestroy = [this](TObject* Sender) { FormDestroyHook(Sender); };
}

void TJvFormPlacement::GiveEventsBack() {
    if (FHookedForm == nullptr) {
        return;
    }
    FHookedForm->OnShow = std::move(FSaveFormShow);
    FHookedForm->OnCloseQuery = std::move(FSaveFormCloseQuery);
    FHookedForm->OnDestroy = std::move(FSaveFormDestroy);
    FHookedForm = nullptr;
}

void TJvFormPlacement::FormShowHook(TObject* Sender) {
    if (FActive && FAppStorage != nullptr) {
        DispatchEvent([&] { RestoreFormPlacement(); });
    }
    if (FSaveFormShow) {
        FSaveFormShow(Sender);
    }
}

void TJvFormPlacement::FormCloseQueryHook(TObject* Sender, bool& CanClose) {
    if (FSaveFormCloseQuery) {
        FSaveFormCloseQuery(Sender, CanClose);
    }
    if (CanClose && FActive && FAppStorage != nullptr) {
        DispatchEvent([&] { StoreFormPlacement(); });
    }
}

void TJvFormPlacement::FormDestroyHook(TObject* Sender) {
    if (FActive && FAppStorage != nullptr && !FPlacementSaved) {
        FInFormDestroy = true;
        DispatchEvent([&] { StoreFormPlacement(); });
        FInFormDestroy = false;
    }
    if (FSaveFormDestroy) {
        FSaveFormDestroy(Sender);
    }
}

void TJvFormPlacement::StoreFormPlacement() {
    if (FAppStorage == nullptr) {
        return;
    }
    FAppStorage->WriteIntegerValue(StoragePath("FormVersion"), FVersion);
    StorePlacement();
    if (OnSavePlacement) {
        OnSavePlacement(this);
    }
    FPlacementSaved = true;
}

void TJvFormPlacement::StorePlacement() {
    if (TForm* form = Form()) {
        WriteWindowPlacement(*form);
        FAppStorage->WriteIntegerValue(StoragePath("Visible"), FInFormDestroy ? 1 : 0);
    }
}

void TJvFormPlacement::RestoreFormPlacement() {
    FPlacementSaved = false;
    if (FAppStorage != nullptr) {
        if (FAppStorage->ReadIntegerValue(StoragePath("FormVersion"), 0) >= FVersion) {
            LoadPlacement();
            FPlacementRestored = true;
            if (OnRestorePlacement) {
                OnRestorePlacement(this);
            }
        }
        FPlacementRestored = true;
    }
    AdjustMaximizedPosition();
}

void TJvFormPlacement::LoadPlacement() {
    if (TForm* form = Form()) {
        ApplyWindowPlacement(*form);
    }
    FPlacementRestored = true;
}

namespace {

std::string ScreenText(const TForm& form) {
    const TPoint size = form.ScreenSize();
    char buf[48];
    std::snprintf(buf, sizeof buf, "(%dx%d)", size.X, size.Y);
    return buf;
}

}  // namespace

void TJvFormPlacement::WriteWindowPlacement(TForm& form) {
    const TWindowPlacement p = form.WindowPlacement();
    const std::string screen = ScreenText(form);
    FAppStorage->WriteIntegerValue(StoragePath("Flags"), static_cast<int32_t>(p.Flags));
    FAppStorage->WriteIntegerValue(StoragePath("PixelsPerInch"), form.ScreenPixelsPerInch());
    const std::string minMax =
        FourNumbers(p.MinPosition.X, p.MinPosition.Y, p.MaxPosition.X, p.MaxPosition.Y);
    FAppStorage->WriteStringValue(StoragePath("MinMaxPos" + screen), minMax);
    FAppStorage->WriteStringValue(StoragePath("MinMaxPos"), minMax);
    const TRect& r = p.NormalPosition;
    const std::string norm = FourNumbers(r.Left, r.Top, r.Right, r.Bottom);
    FAppStorage->WriteStringValue(StoragePath("NormPos" + screen), norm);
    FAppStorage->WriteStringValue(StoragePath("NormPos"), norm);
}

std::string TJvFormPlacement::ReadPosition(const std::string& key, const std::string& screen) {
    if (FAppStorage->HasValue(StoragePath(key + screen))) {
        return FAppStorage->ReadStringValue(StoragePath(key + screen), std::string());
    }
    return FAppStorage->ReadStringValue(StoragePath(key), std::string());
}

void TJvFormPlacement::ApplyWindowPlacement(TForm& form) {
    TWindowPlacement p = form.WindowPlacement();
    if (!form.Visible()) {
        p.ShowCmd = swHide;
    }
    p.Flags = static_cast<unsigned>(
        FAppStorage->ReadIntegerValue(StoragePath("Flags"), static_cast<int32_t>(p.Flags)));
    const std::string screen = ScreenText(form);
    bool found = false;
    std::string text = ReadPosition("MinMaxPos", screen);
    if (!text.empty()) {
        found = true;
        const auto w = Words(text);
        p.MinPosition = {WordAsInt(w, 0, 0), WordAsInt(w, 1, 0)};
        p.MaxPosition = {WordAsInt(w, 2, 0), WordAsInt(w, 3, 0)};
    }
    text = ReadPosition("NormPos", screen);
    if (!text.empty()) {
        found = true;
        const auto w = Words(text);
        p.NormalPosition.Left = WordAsInt(w, 0, form.Left());
        p.NormalPosition.Top = WordAsInt(w, 1, form.Top());
        p.NormalPosition.Right = WordAsInt(w, 2, form.Left() + form.Width());
        p.NormalPosition.Bottom = WordAsInt(w, 3, form.Top() + form.Height());
    }
    if (found) {
        // A position saved at another resolution would put the window elsewhere than meant.
        const int ppi = form.ScreenPixelsPerInch();
        found = FAppStorage->ReadIntegerValue(StoragePath("PixelsPerInch"), ppi) == ppi;
    }
    // Every window of this toolkit has a sizeable frame, so the stored size is used; and a
    // window is centred once, when it is built, so nothing moves it back after this.
    if (found && p.NormalPosition.Right > p.NormalPosition.Left) {
        form.SetWindowPlacement(p);
    }
    form.Invalidate();
}

void TJvFormPlacement::AdjustMaximizedPosition() {
    TForm* form = Form();
    if (form == nullptr || IsLoading()) {
        return;
    }
    TWindowPlacement p = form->WindowPlacement();
    if (!form->Visible()) {
        p.ShowCmd = swHide;
    }
    // A maximized window puts its borders just off the screen.
    const TPoint border = form->FrameBorder();
    p.MaxPosition = {-border.X, -border.Y};
    form->SetWindowPlacement(p);
}
