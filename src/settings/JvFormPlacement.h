#pragma once
// Keeps a window's normal position and size in a settings store. Placed on a window, it
// restores whenever the window is shown, saves once closing has been confirmed, and saves at
// the window's destruction when nothing was saved since the last restore; the window's own
// handlers of those events still run.
//
//   auto* placement = new TJvFormPlacement(form);  // while the form is loading
//   placement->SetAppStorage(store);
//   ...form->EndLoading();                           // takes over OnShow, OnCloseQuery, OnDestroy
//
// Only the normal position is kept: whether the window was minimized or maximized and which
// control had the focus are not. Keys (under AppStoragePath): "FormVersion", "Flags",
// "PixelsPerInch", "MinMaxPos(<w>x<h>)", "MinMaxPos", "NormPos(<w>x<h>)", "NormPos",
// "Visible".

#include <cstdint>
#include <string>

#include "settings/JvAppStorage.h"
#include "toolkit/Component.h"
#include "toolkit/Form.h"

class TJvFormPlacement : public TComponent {
public:
    explicit TJvFormPlacement(TComponent* AOwner) : TComponent(AOwner) {}
    ~TJvFormPlacement() override;

    std::string ClassName() const override { return "TJvFormPlacement"; }

    // The hooks restore and save only while Active and while there is a store.
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }
    TJvCustomAppStorage* AppStorage() const { return FAppStorage; }
    void SetAppStorage(TJvCustomAppStorage* value);
    // Prefix of the version and placement keys.
    const std::string& AppStoragePath() const { return FAppStoragePath; }
    void SetAppStoragePath(const std::string& value) { FAppStoragePath = value; }
    // Written as "FormVersion"; a restore happens only where the stored number is at least this.
    int32_t Version() const { return FVersion; }
    void SetVersion(int32_t value) { FVersion = value; }

    // Reads the version and the placement from the store into the window. A version or placement
    // number that is not an integer raises EConvertError and ends the restore there.
    void RestoreFormPlacement();
    // Writes the version and the placement from the window into the store.
    void StoreFormPlacement();

    // A save has happened since the last restore.
    bool PlacementSaved() const { return FPlacementSaved; }
    // A restore has run.
    bool PlacementRestored() const { return FPlacementRestored; }

    // At the end of a save, and after a restore that found a usable version.
    TNotifyEvent OnSavePlacement;
    TNotifyEvent OnRestorePlacement;

protected:
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void StorePlacement();
    virtual void LoadPlacement();

    // The owner, when it is a window.
    TForm* Form() const { return dynamic_cast<TForm*>(Owner()); }
    // AppStoragePath and a key joined into one setting path.
    std::string StoragePath(const std::string& key) const;

private:
    void WriteWindowPlacement(TForm& form);
    void ApplyWindowPlacement(TForm& form);
    void AdjustMaximizedPosition();
    // The text under key + the screen's size where there is one, else under the plain key.
    std::string ReadPosition(const std::string& key, const std::string& screen);

    void FormShowHook(TObject* Sender);
    void FormCloseQueryHook(TObject* Sender, bool& CanClose);
    void FormDestroyHook(TObject* Sender);
    void GiveEventsBack();

    bool FActive = true;
    TJvCustomAppStorage* FAppStorage = nullptr;
    std::string FAppStoragePath;
    int32_t FVersion = 0;
    bool FPlacementSaved = false;
    bool FPlacementRestored = false;
    bool FInFormDestroy = false;

    // The window whose events the hooks hold, and its own handlers of them.
    TForm* FHookedForm = nullptr;
    TNotifyEvent FSaveFormShow;
    TCloseQueryEvent FSaveFormCloseQuery;
    TNotifyEvent FSaveFormDestroy;
};
