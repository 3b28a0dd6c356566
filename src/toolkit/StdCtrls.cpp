#include "toolkit/StdCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextOption>
#include <QToolTip>
#include <QValidator>
#include <algorithm>
#include <limits>
#include <optional>

#include "toolkit/Dialogs.h"
#include "toolkit/QtText.h"

namespace {

QString Q(const std::string& s) {
    return ToQString(s);
}
std::string S(const QString& s) {
    return FromQString(s);
}

bool IsLineBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}

// A single-line field holds no line break, however the text comes in (typed, pasted, set from
// code): a break stored in the settings file would end the value there and start a key of its
// own.
QString OneLine(QString text) {
    text.removeIf(IsLineBreak);
    return text;
}

size_t StoredSize(const QString& text) {
    return FromQString(text).size();
}

// Where a field refuses what would go past its MaxLength.
void SayFull(QWidget* field, int maxBytes) {
    QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())),
                       QStringLiteral("Full: this field holds at most %1 bytes").arg(maxBytes),
                       field);
}

// Drops line breaks, and refuses (Invalid) a text longer than MaxBytes (0: any length). A
// line edit refuses an invalid edit of the user's whole and says so by inputRejected; a text
// set from code is taken as it is.
class TOneLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        if (std::any_of(input.cbegin(), input.cend(), IsLineBreak)) {
            pos -=
                static_cast<int>(std::count_if(input.cbegin(), input.cbegin() + pos, IsLineBreak));
            input = OneLine(input);
        }
        return MaxBytes > 0 && StoredSize(input) > static_cast<size_t>(MaxBytes) ? Invalid
                                                                                 : Acceptable;
    }
    int MaxBytes = 0;
};

// A line edit's own maximum (32767 characters by default) would cut a longer text silently,
// also one set from code; the validator bounds the user's input instead.
TOneLineValidator* LimitInput(QLineEdit* edit, const bool* settingText) {
    edit->setMaxLength(std::numeric_limits<int>::max());
    auto* validator = new TOneLineValidator(edit);
    edit->setValidator(validator);
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit, validator, settingText] {
        if (validator->MaxBytes > 0 && !*settingText) {
            SayFull(edit, validator->MaxBytes);
        }
    });
    return validator;
}

TOneLineValidator* InputLimit(const QLineEdit* edit) {
    return static_cast<TOneLineValidator*>(const_cast<QValidator*>(edit->validator()));
}

// The items of a combo box, read from and written to the widget.
class TComboBoxStrings : public TStrings {
public:
    explicit TComboBoxStrings(QComboBox* combo) : FCombo(combo) {}
    int Count() const override { return FCombo->count(); }
    std::string Get(int index) const override {
        Check(index, Count());
        return S(FCombo->itemText(index));
    }
    void Put(int index, const std::string& value) override {
        Check(index, Count());
        FCombo->setItemText(index, OneLine(Q(value)));
    }
    void Insert(int index, const std::string& value) override {
        Check(index, Count() + 1);
        // Inserting must not change what the user typed in the edit part.
        const QString text = FCombo->currentText();
        FCombo->insertItem(index, OneLine(Q(value)));
        FCombo->setEditText(text);
    }
    void Delete(int index) override {
        Check(index, Count());
        const QString text = FCombo->currentText();
        FCombo->removeItem(index);
        FCombo->setEditText(text);
    }
    void Clear() override {
        const QString text = FCombo->currentText();
        FCombo->clear();
        FCombo->setEditText(text);
    }

private:
    static void Check(int index, int limit) {
        if (index < 0 || index >= limit) {
            RaiseListIndexError(index);
        }
    }
    QComboBox* FCombo;
};

// The lines of a memo. The widget's text is the truth, each line followed by its break; a
// last line without a break (as typed by the user) counts as well. Between BeginUpdate and
// EndUpdate the lines are kept here and the widget gets them once at the end, and only when
// they differ from what it shows: each rewrite lays the whole text out again.
class TMemoStrings : public TStrings {
public:
    TMemoStrings(QTextEdit* editor, bool* fromCode) : FEditor(editor), FFromCode(fromCode) {}
    int Count() const override { return static_cast<int>(Read().size()); }
    std::string Get(int index) const override {
        const auto lines = Read();
        Check(index, static_cast<int>(lines.size()));
        return lines[static_cast<size_t>(index)];
    }
    void Put(int index, const std::string& value) override {
        auto lines = Read();
        Check(index, static_cast<int>(lines.size()));
        lines[static_cast<size_t>(index)] = value;
        Write(lines);
    }
    void Insert(int index, const std::string& value) override {
        auto lines = Read();
        Check(index, static_cast<int>(lines.size()) + 1);
        auto parts = SplitKeepingLast(value);
        lines.insert(lines.begin() + index, parts.begin(), parts.end());
        Write(lines);
    }
    void Delete(int index) override {
        auto lines = Read();
        Check(index, static_cast<int>(lines.size()));
        lines.erase(lines.begin() + index);
        Write(lines);
    }
    void Clear() override { Write({}); }
    // The whole text at once, rather than one rewrite of it per line.
    void Assign(const std::vector<std::string>& lines) override { Write(lines); }
    using TStrings::Assign;
    void BeginUpdate() override {
        if (FUpdates++ == 0) {
            FEditor->setUpdatesEnabled(false);
        }
    }
    void EndUpdate() override {
        if (FUpdates == 0 || --FUpdates > 0) {
            return;
        }
        if (FPending) {
            const std::vector<std::string> lines = std::move(*FPending);
            FPending.reset();
            if (lines != Read()) {
                Write(lines);
            }
        }
        FEditor->setUpdatesEnabled(true);
    }

private:
    static void Check(int index, int limit) {
        if (index < 0 || index >= limit) {
            RaiseListIndexError(index);
        }
    }
    static std::vector<std::string> SplitKeepingLast(const std::string& value) {
        std::vector<std::string> parts = SplitLines(value);
        if (value.empty() || value.back() == '\n' || value.back() == '\r') {
            parts.emplace_back();
        }
        return parts;
    }
    std::vector<std::string> Read() const {
        if (FPending) {
            return *FPending;
        }
        const QString text = FEditor->toPlainText();
        if (text.isEmpty()) {
            return {};
        }
        std::vector<std::string> lines;
        for (const QString& line : text.split(QChar(u'\n'))) {
            lines.push_back(S(line));
        }
        if (text.endsWith(QChar(u'\n'))) {
            lines.pop_back();
        }
        return lines;
    }
    void Write(const std::vector<std::string>& lines) {
        if (FUpdates > 0) {
            FPending = lines;
            return;
        }
        QString text;
        for (const std::string& line : lines) {
            text += Q(line);
            text += QChar(u'\n');
        }
        *FFromCode = true;
        FEditor->setPlainText(text);
        *FFromCode = false;
    }
    QTextEdit* FEditor;
    bool* FFromCode;
    int FUpdates = 0;
    // The lines written since BeginUpdate, until EndUpdate hands them to the widget.
    std::optional<std::vector<std::string>> FPending;
};

}  // namespace

// ---- TLabel

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, new QLabel) {
    Label()->setTextFormat(Qt::PlainText);
    RouteMouseEvents();
    Publish().AddString(
        "Caption", [this] { return Caption(); }, [this](const std::string& v) { SetCaption(v); });
}

QLabel* TLabel::Label() const {
    return static_cast<QLabel*>(Widget());
}

void TLabel::SetCaption(const std::string& value) {
    FCaption = value;
    Label()->setText(Q(value));
    AdjustSize();
}

void TLabel::SetAutoSize(bool value) {
    FAutoSize = value;
    AdjustSize();
}

void TLabel::FontChanged() {
    TControl::FontChanged();
    AdjustSize();
}

void TLabel::AdjustSize() {
    if (FAutoSize) {
        const QSize hint = Label()->sizeHint();
        Widget()->resize(hint);
    }
}

void TLabel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TControl::MouseUp(Button, Shift, X, Y);
    if (Button == TMouseButton::mbLeft) {
        Click();
    }
}

// ---- TButton

TButton::TButton(TComponent* AOwner) : TControl(AOwner, new QPushButton) {
    QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, Widget(),
                     [this] { Click(); });
}

void TButton::SetCaption(const std::string& value) {
    FCaption = value;
    static_cast<QPushButton*>(Widget())->setText(Q(value));
}

// ---- TEdit

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner, new QLineEdit) {
    SetColor(clWindow);
    LimitInput(Edit(), &FSettingText);
    QObject::connect(Edit(), &QLineEdit::textChanged, Widget(), [this] {
        if (OnChange) {
            DispatchEvent([&] { OnChange(this); });
        }
    });
    Publish().AddString(
        "Text", [this] { return Text(); }, [this](const std::string& v) { SetText(v); });
}

QLineEdit* TEdit::Edit() const {
    return static_cast<QLineEdit*>(Widget());
}
std::string TEdit::Text() const {
    return S(Edit()->text());
}
void TEdit::SetText(const std::string& value) {
    FSettingText = true;
    Edit()->setText(Q(value));
    FSettingText = false;
}
int TEdit::MaxLength() const {
    return InputLimit(Edit())->MaxBytes;
}
void TEdit::SetMaxLength(int bytes) {
    InputLimit(Edit())->MaxBytes = bytes;
}

// ---- TComboBox

TComboBox::TComboBox(TComponent* AOwner) : TControl(AOwner, new QComboBox) {
    SetColor(clWindow);
    Combo()->setEditable(true);
    Combo()->setInsertPolicy(QComboBox::NoInsert);
    LimitInput(Combo()->lineEdit(), &FSettingText);
    FItems = std::make_unique<TComboBoxStrings>(Combo());
    QObject::connect(Combo(), &QComboBox::editTextChanged, Widget(), [this] {
        if (!FSettingText && OnChange) {
            DispatchEvent([&] { OnChange(this); });
        }
    });
    Publish().AddString(
        "Text", [this] { return Text(); }, [this](const std::string& v) { SetText(v); });
    Publish().AddStrings("Items", [this] { return FItems.get(); });
}

TComboBox::~TComboBox() = default;

QComboBox* TComboBox::Combo() const {
    return static_cast<QComboBox*>(Widget());
}
std::string TComboBox::Text() const {
    return S(Combo()->currentText());
}

void TComboBox::SetText(const std::string& value) {
    FSettingText = true;
    Combo()->setEditText(Q(value));
    FSettingText = false;
}
int TComboBox::MaxLength() const {
    return InputLimit(Combo()->lineEdit())->MaxBytes;
}
void TComboBox::SetMaxLength(int bytes) {
    InputLimit(Combo()->lineEdit())->MaxBytes = bytes;
}

// ---- TMemo

TMemo::TMemo(TComponent* AOwner) : TControl(AOwner, new QTextEdit) {
    SetColor(clWindow);
    Editor()->setAcceptRichText(false);
    Editor()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Editor()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FLines = std::make_unique<TMemoStrings>(Editor(), &FFromCode);
    QObject::connect(Editor(), &QTextEdit::textChanged, Widget(), [this] { TextChanged(); });
    Publish().AddStrings("Lines", [this] { return FLines.get(); });
}

TMemo::~TMemo() = default;

QTextEdit* TMemo::Editor() const {
    return static_cast<QTextEdit*>(Widget());
}
std::string TMemo::Text() const {
    return FLines->Text();
}
void TMemo::SetText(const std::string& value) {
    FFromCode = true;
    Editor()->setPlainText(Q(value));
    FFromCode = false;
}

void TMemo::TextChanged() {
    if (FRefusing) {
        return;
    }
    const QString text = Editor()->toPlainText();
    if (!FFromCode && FMaxLength > 0) {
        for (const QString& line : text.split(QChar(u'\n'))) {
            if (StoredSize(line) > static_cast<size_t>(FMaxLength)) {
                // The user's edit goes whole, as a line edit refuses one.
                // Where the edit began, for one that added text.
                const auto position = std::clamp<qsizetype>(
                    Editor()->textCursor().position() - (text.size() - FAccepted.size()), 0,
                    FAccepted.size());
                FRefusing = true;
                Editor()->setPlainText(FAccepted);
                QTextCursor cursor = Editor()->textCursor();
                cursor.setPosition(static_cast<int>(position));
                Editor()->setTextCursor(cursor);
                FRefusing = false;
                SayFull(Editor(), FMaxLength);
                return;
            }
        }
    }
    FAccepted = text;
    if (OnChange) {
        DispatchEvent([&] { OnChange(this); });
    }
}

void TMemo::SetAlignment(TAlignment value) {
    FAlignment = value;
    QTextOption option = Editor()->document()->defaultTextOption();
    option.setAlignment(value == TAlignment::taCenter         ? Qt::AlignHCenter
                        : value == TAlignment::taRightJustify ? Qt::AlignRight
                                                              : Qt::AlignLeft);
    Editor()->document()->setDefaultTextOption(option);
}

void TMemo::SetScrollBars(TScrollStyle value) {
    const bool h = value == TScrollStyle::ssHorizontal || value == TScrollStyle::ssBoth;
    const bool v = value == TScrollStyle::ssVertical || value == TScrollStyle::ssBoth;
    Editor()->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    Editor()->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetWordWrap(bool value) {
    Editor()->setLineWrapMode(value ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

// ---- TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TControl(AOwner, new QCheckBox) {
    QObject::connect(Box(), &QCheckBox::toggled, Widget(), [this] { Click(); });
    Publish().AddBoolean(
        "Checked", [this] { return Checked(); }, [this](bool v) { SetChecked(v); });
}

QCheckBox* TCheckBox::Box() const {
    return static_cast<QCheckBox*>(Widget());
}

void TCheckBox::SetCaption(const std::string& value) {
    FCaption = value;
    Box()->setText(Q(value));
}

bool TCheckBox::Checked() const {
    return Box()->isChecked();
}
void TCheckBox::SetChecked(bool value) {
    Box()->setChecked(value);
}

// ---- TRadioButton

TRadioButton::TRadioButton(TComponent* AOwner) : TControl(AOwner, new QRadioButton) {
    QObject::connect(Button(), &QRadioButton::toggled, Widget(), [this](bool on) {
        if (on) {
            Click();
        }
    });
}

QRadioButton* TRadioButton::Button() const {
    return static_cast<QRadioButton*>(Widget());
}

void TRadioButton::SetCaption(const std::string& value) {
    FCaption = value;
    Button()->setText(Q(value));
}

bool TRadioButton::Checked() const {
    return Button()->isChecked();
}

void TRadioButton::SetChecked(bool value) {
    Button()->setChecked(value);
}
