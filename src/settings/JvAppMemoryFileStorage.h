#pragma once
// A store that holds its whole file in memory: where the file is, reading it once when its
// name is given, and writing it whole, safely, when asked to (the concrete store does so when
// it is destroyed, and whenever its owner flushes it).

#include <functional>
#include <string>

#include "settings/FileIO.h"
#include "settings/JvAppStorage.h"

enum class TFileLocation {
    flCustom,   // in Directory (the current directory when that is empty)
    flExeFile,  // beside the running program, or in the user's config directory
};

// Told the words of a save that failed (at destruction or in a flush), after standard error and
// the diagnostic log have them.
using TSaveErrorEvent = std::function<void(TObject* Sender, const std::string& Message)>;

class TJvCustomAppMemoryFileStorage : public TJvCustomAppStorage {
public:
    explicit TJvCustomAppMemoryFileStorage(TComponent* AOwner) : TJvCustomAppStorage(AOwner) {}

    std::string ClassName() const override { return "TJvCustomAppMemoryFileStorage"; }

    // The largest file taken for a settings file; a larger one is refused without reading it,
    // which would cost many times its size in memory.
    static constexpr size_t kMaxFileSize = size_t{16} << 20;

    // Giving any of these a new value reads the file at the new place (LoadFromDisk), so each
    // setter can raise what LoadFromDisk raises. Only the file-name part of FileName is used.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value);
    TFileLocation Location() const { return FLocation; }
    void SetLocation(TFileLocation Value);
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& Value);

    // The file's directory with a trailing "/", then the file-name part of FileName (the text
    // after its last "/", "\" or ":"); empty when that part is empty. Decided when the file is
    // read (whenever one of the three is given), and written back to the same place, even where
    // the directory's rights change during the run.
    const std::string& FullFileName() const { return FFullFileName; }
    // Where flExeFile puts the file of that name: programDir where it can be written and it and
    // the file are the user's own, else the user's config directory (an installed copy, a
    // folder others may write); the diagnostic log says why a writable programDir was passed
    // over.
    static std::string ExeFileDirectory(const std::string& programDir, const std::string& name);

    // Rebuilds the document from FullFileName when something of that name exists; otherwise
    // leaves it as it is. Raises EFOpenError when it exists but cannot be read (a directory, no
    // permission, an I/O error) or is no settings file (larger than kMaxFileSize, or
    // LoadDocument refuses it); the store then remembers not to write that file over.
    void LoadFromDisk();
    // Replaces FullFileName with the whole document, or raises EFCreateError and leaves the old
    // file whole. Refused with EJVCLAppStorageError while the last load failed.
    void SaveToDisk();
    bool LoadFailed() const { return FLoadFailed; }
    // SaveToDisk when the document changed since the file was last read or written, so that a
    // change reaches the file while the program runs. Never raises: a failure is told as at
    // destruction, each one once (a read-only file is not reported at every flush).
    void Flush() noexcept;

    // Lets tests fail a step of the file's replacement.
    void SetWriteFault(const TWriteFault& Fault) { FWriteFault = Fault; }

    TSaveErrorEvent OnSaveError;

protected:
    // Raises EFOpenError for a text that cannot be read whole.
    virtual void LoadDocument(const std::string& FileName, const std::string& Text) = 0;
    virtual std::string SaveDocument(const std::string& FileName) = 0;
    // The text SaveDocument gave has been written.
    virtual void DocumentWritten(const std::string& /*Text*/) {}
    // Whether the document differs from what was last read or written.
    virtual bool Modified() const { return true; }
    // SaveToDisk for a destructor: a failure is told to the diagnostic log, standard error and
    // OnSaveError, never raised, so the program still ends in order. Unless a flush told the
    // same failure already.
    void SaveOnDestroy() noexcept;

private:
    std::string PlaceFile() const;
    // SaveToDisk; a failure is told unless it is the one told last.
    void SaveAndTell() noexcept;

    std::string FFileName;
    std::string FFullFileName;
    TFileLocation FLocation = TFileLocation::flExeFile;
    std::string FDirectory;
    bool FLoadFailed = false;
    TWriteFault FWriteFault;
    // The failure told last; empty once a save succeeds.
    std::string FToldFailure;
};
