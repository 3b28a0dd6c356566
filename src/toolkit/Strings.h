#pragma once
// Lists of text lines as the controls expose them (a combo box's items, a memo's lines). A
// control's list reads and writes the widget itself, so what the user typed is what the list
// holds.

#include <string>
#include <vector>

#include "toolkit/Classes.h"

class TStrings : public TPersistent {
public:
    std::string ClassName() const override { return "TStrings"; }

    virtual int Count() const = 0;
    virtual std::string Get(int index) const = 0;
    virtual void Put(int index, const std::string& value) = 0;
    virtual void Insert(int index, const std::string& value) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;

    std::string operator[](int index) const { return Get(index); }
    int Add(const std::string& value);
    // Every line, each followed by CR LF.
    std::string Text() const;
    // Replaces the lines by the text split at CR LF, CR or LF (a final break adds no line).
    void SetText(const std::string& value);
    int IndexOf(const std::string& value) const;
    std::vector<std::string> ToVector() const;
    void Assign(const TStrings& source);
    // Replaces every line; a widget-backed list may do it in one step.
    virtual void Assign(const std::vector<std::string>& lines);
    // Batches changes (a widget-backed list may skip repainting meanwhile).
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}

    static std::vector<std::string> SplitLines(const std::string& text);
};

// Holds a list's changes together for as long as it lives.
class TStringsUpdate {
public:
    explicit TStringsUpdate(TStrings& strings) : FStrings(strings) { FStrings.BeginUpdate(); }
    ~TStringsUpdate() { FStrings.EndUpdate(); }
    TStringsUpdate(const TStringsUpdate&) = delete;
    TStringsUpdate& operator=(const TStringsUpdate&) = delete;

private:
    TStrings& FStrings;
};

// A list held in memory.
class TStringList : public TStrings {
public:
    TStringList() = default;
    explicit TStringList(std::vector<std::string> lines) : FLines(std::move(lines)) {}
    std::string ClassName() const override { return "TStringList"; }

    int Count() const override { return static_cast<int>(FLines.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& value) override;
    void Insert(int index, const std::string& value) override;
    void Delete(int index) override;
    void Clear() override;

    TNotifyEvent OnChange;

private:
    void Changed();
    std::vector<std::string> FLines;
};

// A list index outside the list: the system's own message.
class EStringListError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EStringListError"; }
};
void RaiseListIndexError(int index);
