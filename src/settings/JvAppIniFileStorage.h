#pragma once
// The settings store of the main window: "Latmo.ini" held in memory, read once when the
// window gives it its file name and written once, whole, when the store is destroyed.
//
//   auto* store = new TJvAppIniFileStorage(window);
//   store->SetDefaultSection("TForm1");
//   store->SetFileName("Latmo.ini");  // reads the file; EFOpenError when it cannot be read
//                                     // whole (also for a text that is no settings file)
//
// A failure to write at destruction is reported in words (diagnostic log, standard error, and
// OnSaveError where the owner wants to show it) and the program goes on ending; a file that
// could not be read is never written over.

#include <string>

#include "settings/JvAppIniStorage.h"

class TJvAppIniFileStorage final : public TJvCustomAppIniStorage {
public:
    explicit TJvAppIniFileStorage(TComponent* AOwner) : TJvCustomAppIniStorage(AOwner) {}
    ~TJvAppIniFileStorage() override { SaveOnDestroy(); }

    std::string ClassName() const override { return "TJvAppIniFileStorage"; }

protected:
    void LoadDocument(const std::string& FileName, const std::string& Text) override {
        if (const std::string problem = TMemIniFile::TextProblem(Text); !problem.empty()) {
            throw EFOpenError(FileName, problem);
        }
        IniFile().Rename(FileName);
        IniFile().SetText(Text);
    }
    std::string SaveDocument(const std::string& FileName) override {
        IniFile().Rename(FileName);
        return IniFile().GetText();
    }
};
