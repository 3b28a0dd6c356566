#pragma once
// The standard controls of the window: label, button, edit, editable combo box, memo and check
// box. Events follow the window's conventions: an edit raises OnChange for every change of its
// text, a combo box only for the user's, a check box raises OnClick whenever Checked changes.
// Edits and combo boxes hold one line: CR and LF are dropped from whatever text enters them.
// Every control gives back the bytes it was given (see QtText.h), however long: a text set from
// code is never cut. MaxLength (in bytes of the text as the program holds it, 0 for no limit)
// bounds what the user types or pastes: an edit that would go past it is refused whole, and a
// tip at the field says it is full.

#include <memory>
#include <string>

#include "toolkit/Control.h"
#include "toolkit/Strings.h"

class QLabel;
class QPushButton;
class QLineEdit;
class QComboBox;
class QTextEdit;
class QCheckBox;
class QRadioButton;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* AOwner);
    std::string ClassName() const override { return "TLabel"; }

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);

    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

protected:
    void FontChanged() override;

private:
    QLabel* Label() const;
    void AdjustSize();
    std::string FCaption;
    bool FAutoSize = true;
};

class TButton : public TControl {
public:
    explicit TButton(TComponent* AOwner);
    std::string ClassName() const override { return "TButton"; }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);

private:
    std::string FCaption;
};

class TEdit : public TControl {
public:
    explicit TEdit(TComponent* AOwner);
    std::string ClassName() const override { return "TEdit"; }
    std::string Text() const;
    void SetText(const std::string& value);
    int MaxLength() const;
    void SetMaxLength(int bytes);
    TNotifyEvent OnChange;

private:
    QLineEdit* Edit() const;
    bool FSettingText = false;
};

class TComboBox : public TControl {
public:
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;
    std::string ClassName() const override { return "TComboBox"; }

    std::string Text() const;
    void SetText(const std::string& value);
    int MaxLength() const;
    void SetMaxLength(int bytes);
    TStrings& Items() { return *FItems; }
    TNotifyEvent OnChange;

private:
    QComboBox* Combo() const;
    std::unique_ptr<TStrings> FItems;
    bool FSettingText = false;
};

class TMemo : public TControl {
public:
    explicit TMemo(TComponent* AOwner);
    ~TMemo() override;
    std::string ClassName() const override { return "TMemo"; }

    // One entry per line; adding a text that holds line breaks adds one line per part, so a
    // text ending in a break leaves an empty line after it.
    TStrings& Lines() { return *FLines; }
    std::string Text() const;
    void SetText(const std::string& value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    void SetScrollBars(TScrollStyle value);
    void SetWordWrap(bool value);
    // The most bytes one line may hold by the user's typing or pasting (0: no limit).
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int bytes) { FMaxLength = bytes; }
    TNotifyEvent OnChange;

private:
    QTextEdit* Editor() const;
    void TextChanged();
    std::unique_ptr<TStrings> FLines;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    int FMaxLength = 0;
    QString FAccepted;       // the text before the user's latest edit
    bool FFromCode = false;  // the text is being set from code, not edited
    bool FRefusing = false;
};

class TCheckBox : public TControl {
public:
    explicit TCheckBox(TComponent* AOwner);
    std::string ClassName() const override { return "TCheckBox"; }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool Checked() const;
    void SetChecked(bool value);

private:
    QCheckBox* Box() const;
    std::string FCaption;
};

// One of a set of choices: the radio buttons of one parent exclude each other. OnClick is raised
// when a button becomes the checked one, by the user or from code.
class TRadioButton : public TControl {
public:
    explicit TRadioButton(TComponent* AOwner);
    std::string ClassName() const override { return "TRadioButton"; }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool Checked() const;
    void SetChecked(bool value);

private:
    QRadioButton* Button() const;
    std::string FCaption;
};
