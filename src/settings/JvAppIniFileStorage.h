#pragma once
// The settings store of the main window: "Latmo.ini" held in memory, read once when the
// window gives it its file name, and written whole when the window flushes it after a change
// and when the store is destroyed.
//
//   auto* store = new TJvAppIniFileStorage(window);
//   store->SetDefaultSection("TForm1");
//   store->SetFileName("Latmo.ini");  // reads the file; EFOpenError when it cannot be read
//                                     // whole (also for a text that is no settings file)
//   ...
//   store->Flush();                   // writes the file if the document changed
//
// Another copy of the program may write the file meanwhile: every later write then keeps what
// the other copy changed where this one did not change the same key (IniMerge.h). The document
// keeps this copy's own values, which its window shows; the file holds both.
//
// A failure to write is reported in words (diagnostic log, standard error, and OnSaveError
// where the owner wants to show it) and the program goes on; a file that could not be read is
// never written over.

#include <string>

#include "settings/JvAppIniStorage.h"

class TJvAppIniFileStorage final : public TJvCustomAppIniStorage {
public:
    explicit TJvAppIniFileStorage(TComponent* AOwner) : TJvCustomAppIniStorage(AOwner) {}
    ~TJvAppIniFileStorage() override { SaveOnDestroy(); }

    std::string ClassName() const override { return "TJvAppIniFileStorage"; }

protected:
    void LoadDocument(const std::string& FileName, const std::string& Text) override;
    std::string SaveDocument(const std::string& FileName) override;
    void DocumentWritten(const std::string& Text) override;
    bool Modified() const override;

private:
    // The document as this store last read or wrote it, and the file's bytes at that moment;
    // whether those bytes were the document alone, nothing merged in from another writer.
    std::string FSyncedText;
    std::string FFileText;
    bool FFileHoldsOwn = false;
    // The document's text SaveDocument gave last, before any merge.
    std::string FSavingText;
};
