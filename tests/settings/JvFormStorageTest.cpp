// The form storage on a window with the main window's stored controls: the file a run leaves,
// the restore rules, the hooks, and the window's placement (offscreen here; the same tests run
// on X11 with QT_QPA_PLATFORM=xcb).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "StorageTestForm.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/StrUtils.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

const std::string kHostSection =
    Lines({"Count=8", "Item0=host-a", "Item1=host-b", "Item2=host-c", "Item3=host-d",
           "Item4=host-e", "Item5=host-f", "Item6=host-g", "Item7=host-h", ""});

const std::string kExample = Lines({"[TForm1]",
                                    "FormVersion=0",
                                    "Flags=0",
                                    "PixelsPerInch=96",
                                    "MinMaxPos(1024x768)=-1,-1,-4,-4",
                                    "MinMaxPos=-1,-1,-4,-4",
                                    "NormPos(1024x768)=311,197,712,570",
                                    "NormPos=311,197,712,570",
                                    "Visible=0",
                                    "Edit2_Text=45",
                                    "Edithost_Text=host-i",
                                    "ComboBox1_Text=host-i",
                                    "ComboBox2_Text=host-f",
                                    "ComboBox3_Text=host-h",
                                    "EditAlarm_Text=alarm.wav",
                                    "EditAlarmSec_Text=8000",
                                    "TrackMaxGraph_Position=300",
                                    "EditAlarmParam_Text=",
                                    "EditTimeout_Text=9000",
                                    "EditLog_Text=",
                                    "TrackBarPingSize_Position=1024",
                                    "TrackBarUpdate_Position=7",
                                    "CheckBoxAutoStart_Checked=False",
                                    "CheckBoxOneInstance_Checked=False",
                                    "last=46362.5327893519",
                                    "",
                                    "[.ComboBox1_Items]"}) +
                             kHostSection + "[.host_Lines]\r\n" + kHostSection;

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class TFormStorageTest : public ::testing::Test {
protected:
    TFormStorageTest() {
        FOldHook = SetDialogHook([this](const TDialogRequest& r) {
            Reports.push_back(r.Text);
            return mrOk;
        });
    }
    ~TFormStorageTest() override {
        Form.reset();
        SetDialogHook(FOldHook);
    }

    // A run over the file holding these lines (none: no file); Exit() ends it.
    void Open(std::initializer_list<std::string> file = {},
              const std::function<void(TForm&)>& wire = {}) {
        if (file.size() > 0) {
            WriteAll(Ini(), Lines(file));
        }
        Form = std::make_unique<TStorageTestForm>(Dir.Path(), wire);
    }
    // Ends the run as the window does; the store writes the file.
    std::string Exit() {
        Form.reset();
        return ReadAll(Ini());
    }
    std::string Ini() const { return Dir.File("Latmo.ini"); }
    TJvFormStorage& Storage() { return *Form->JvFormStorage1; }
    TMemIniFile& Document() { return Form->JvAppIniFileStorage1->IniFile(); }
    std::string Stored(const std::string& key) {
        return Form->JvAppIniFileStorage1->ReadStringValue(key, "?");
    }
    TRect Bounds() const {
        return {Form->Left(), Form->Top(), Form->Left() + Form->Width(),
                Form->Top() + Form->Height()};
    }
    bool ShowAndSettle() {
        Form->Show();
        return WaitUntil([&] { return Form->Visible(); });
    }

    TTempDir Dir;
    std::unique_ptr<TStorageTestForm> Form;
    std::vector<std::string> Reports;

private:
    TDialogHook FOldHook;
};

TEST_F(TFormStorageTest, AFreshRunLeavesTheExampleFile) {
    // The window stays hidden, so that its frame is the design's and not the one the test
    // platform draws once it is shown.
    Open();
    Storage().RestoreFormPlacement();                      // the creation handler
    Storage().WriteStoredValue("last", 46362.5327893519);  // it launched the update checker
    Storage().RestoreFormPlacement();                      // what the first showing does
    Form->Close();                                         // closing confirmed: saves
    EXPECT_TRUE(Reports.empty());
    EXPECT_EQ(Exit(), kExample);
}

TEST_F(TFormStorageTest, ListsAreWrittenAnewAtTheEnd) {
    Open({"[.host_Lines]", "Count=2", "Item0=x", "Item1=y", "[Other]", "[TForm1]"});
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->host->Lines().ToVector(), (std::vector<std::string>{"x", "y"}));
    Storage().StoreFormPlacement();
    EXPECT_EQ(Document().ReadSections(),
              (std::vector<std::string>{"Other", "TForm1", ".ComboBox1_Items", ".host_Lines"}));

    // A shorter list leaves no items behind; an emptied one leaves no section...
    Form->ComboBox1->Items().Assign(std::vector<std::string>{"p", "q", "r"});
    Form->host->Lines().Clear();
    Storage().StoreFormPlacement();
    EXPECT_EQ(Document().ReadSectionLines(".ComboBox1_Items"),
              (std::vector<std::string>{"Count=3", "Item0=p", "Item1=q", "Item2=r"}));
    EXPECT_FALSE(Document().SectionExists(".host_Lines"));
    Exit();

    // ... so at the next start the emptied list keeps its design content.
    Open();
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->host->Lines().ToVector(), kHosts);
    EXPECT_EQ(Form->ComboBox1->Items().ToVector(), (std::vector<std::string>{"p", "q", "r"}));
}

// What a control makes of a stored text shows in what the next save writes.
TEST_F(TFormStorageTest, StoredTextsMeetTheirControls) {
    struct Row {
        const char* key;
        const char* stored;
        const char* saved;
    } rows[] = {
        // Hand-written yes in its usual spellings; Latmo writes True and False.
        {"CheckBoxAutoStart_Checked", "1", "True"},
        {"CheckBoxAutoStart_Checked", "yes", "True"},
        {"CheckBoxAutoStart_Checked", "true", "True"},
        {"CheckBoxAutoStart_Checked", "TRUE", "True"},
        {"CheckBoxAutoStart_Checked", "on", "False"},  // not understood: the box stays as it is
        {"TrackMaxGraph_Position", "abc", "10"},       // 0, which the track bar raises to its least
        {"TrackMaxGraph_Position", "$20", "32"},
        {"TrackBarUpdate_Position", "99", "60"},
        {"Edit2_Text", "", ""},
        {"Edit2_Text", "a=b ; [c]", "a=b ; [c]"},
        {"last", "46362,5", "46362,5"},  // a text, whatever the locale's separator
    };
    for (const Row& r : rows) {
        Open({"[TForm1]", std::string(r.key) + "=" + r.stored});
        Form->JvAppIniFileStorage1->SetFileName("");  // the next row writes its own file
        Storage().RestoreFormPlacement();
        Storage().StoreFormPlacement();
        EXPECT_EQ(Stored(r.key), r.saved) << r.key << "=" << r.stored;
        Exit();
    }
    // ... and no in its usual spellings, on a box that was ticked.
    for (const char* no : {"0", "no", "False"}) {
        Open({"[TForm1]", std::string("CheckBoxAutoStart_Checked=") + no});
        Form->JvAppIniFileStorage1->SetFileName("");
        Form->CheckBoxAutoStart->SetChecked(true);
        Storage().RestoreFormPlacement();
        EXPECT_FALSE(Form->CheckBoxAutoStart->Checked()) << no;
        Exit();
    }
    Open();
    Form->EditAlarm->SetText("  my alarm.wav \t");
    Storage().StoreFormPlacement();
    EXPECT_EQ(Stored("EditAlarm_Text"), "my alarm.wav");
}

// A file read whole comes back whole at the end, however long its values; one that cannot be
// read whole (a NUL would end the text there, and the next save would drop every later
// setting) is refused, naming the line, and left exactly as it was.
TEST_F(TFormStorageTest, TheFileIsReadWholeOrRefusedAndKept) {
    std::mt19937 random(17);
    std::string bytes(4096, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    const std::string value(40000, 'v');
    struct Row {
        const char* what;
        std::string file;
        const char* problem;  // none: read whole, and Edit2's value survives the run
    } const rows[] = {
        {"a NUL",
         Lines({"[TForm1]", "ComboBox2_Text=lab", std::string("Edit2_Text=6\0", 13),
                "ComboBox3_Text=lab"}),
         "line 3 holds a NUL byte"},
        {"a control character", Lines({"[TForm1]", "Edit2_Text=6\x1b"}),
         "line 2 holds the control character 0x1B"},
        {"random bytes", bytes, "line "},
        {"a line past the limit", Lines({"[TForm1]", "Edit2_Text=" + std::string(70000, 'x')}),
         "line 2 is longer than 65536 bytes"},
        {"a 40 000-character value", Lines({"[TForm1]", "Edit2_Text=" + value}), nullptr},
    };
    SetDiagLogPath(Dir.File("diag.log"));
    for (const Row& r : rows) {
        WriteAll(Ini(), r.file);
        ::testing::internal::CaptureStderr();
        try {
            Open();
            EXPECT_EQ(r.problem, nullptr) << r.what << ": read";
            Storage().RestoreFormPlacement();
            EXPECT_EQ(Form->Edit2->Text(), value) << r.what;
            Storage().StoreFormPlacement();
            EXPECT_NE(Exit().find("\r\nEdit2_Text=" + value + "\r\n"), std::string::npos);
        } catch (const EFOpenError& e) {
            ASSERT_NE(r.problem, nullptr) << r.what << ": " << e.what();
            const std::string start =
                "Cannot open file \"" + Ini() + "\". Not a settings file: " + r.problem;
            EXPECT_EQ(std::string(e.what()).substr(0, start.size()), start) << r.what;
            EXPECT_EQ(ReadAll(Ini()), r.file) << r.what << ": the file was changed";
        }
        ::testing::internal::GetCapturedStderr();
    }
    SetDiagLogPath("");
}

TEST_F(TFormStorageTest, ABadNumberEndsTheRestore) {
    struct Row {
        const char* line;
        const char* error;  // none: nothing is restored either, as the version is too old
    } rows[] = {
        {"FormVersion=abc", "'abc' is not a valid integer value"},
        {"Flags=1.5", "'1.5' is not a valid integer value"},
        {"PixelsPerInch=96dpi", "'96dpi' is not a valid integer value"},
        {"FormVersion=-1", nullptr},
    };
    for (const Row& r : rows) {
        Open({"[TForm1]", r.line, "NormPos=5,5,500,500", "Edit2_Text=30", "last=7"});
        Form->JvAppIniFileStorage1->SetFileName("");
        try {
            Storage().RestoreFormPlacement();
            EXPECT_EQ(r.error, nullptr) << r.line << ": no error";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), r.error);
        }
        EXPECT_EQ(Form->Edit2->Text(), "45") << r.line;
        EXPECT_EQ(Form->Left(), 311) << r.line;
        EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant(0.0)) << r.line;
        // At a showing the error is reported, and the window shows all the same.
        ASSERT_TRUE(ShowAndSettle());
        EXPECT_EQ(Reports, r.error ? std::vector<std::string>{std::string(r.error) + "."}
                                   : std::vector<std::string>{})
            << r.line;
        Reports.clear();
        Storage().StoreFormPlacement();
        EXPECT_EQ(Stored("FormVersion"), "0");
        Exit();
    }
}

TEST_F(TFormStorageTest, AStoredValueWrittenSinceTheLastSaveOutlivesARestore) {
    Open({"[TForm1]", "last=40000.25"});
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Storage().ReadStoredValue("LAST"), TVariant("40000.25"));
    Storage().WriteStoredValue("last", 46000.5);
    ASSERT_TRUE(ShowAndSettle());  // restores again
    EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant(46000.5));
    Storage().StoreFormPlacement();
    // Once saved, a restore reads back what the save wrote.
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant(FloatToStr(46000.5)));
    EXPECT_TRUE(Storage().ReadStoredValue("never").IsNull());
}

TEST_F(TFormStorageTest, HooksRunTheWindowsOwnHandlers) {
    std::vector<std::string> calls;
    bool answer = false;
    Open({}, [&](TForm& form) {
        form.OnShow = [&](TObject*) { calls.push_back("show"); };
        form.OnCloseQuery = [&](TObject*, bool& canClose) {
            calls.push_back(Storage().PlacementSaved() ? "query after save" : "query");
            canClose = answer;
        };
        form.OnDestroy = [&](TObject*) { calls.push_back("destroy"); };
    });
    ASSERT_TRUE(ShowAndSettle());
    EXPECT_TRUE(Storage().PlacementRestored());
    Form->Close();
    EXPECT_FALSE(Storage().PlacementSaved()) << "closing was refused";
    answer = true;
    Form->Close();
    EXPECT_TRUE(Storage().PlacementSaved());
    EXPECT_EQ(calls, (std::vector<std::string>{"show", "query", "query"}));

    // Destroyed with nothing saved since the last restore: the destruction saves.
    Storage().RestoreFormPlacement();
    const std::string file = Exit();
    EXPECT_NE(file.find("Visible=1\r\n"), std::string::npos);
    EXPECT_EQ(calls.back(), "destroy");

    // Without the form storage the window's events are its own again.
    calls.clear();
    Open({}, [&](TForm& form) { form.OnShow = [&](TObject*) { calls.push_back("show"); }; });
    delete Form->JvFormStorage1;
    ASSERT_TRUE(ShowAndSettle());
    EXPECT_EQ(calls, std::vector<std::string>{"show"});
    EXPECT_EQ(Exit(), file) << "nothing was restored or saved";
}

TEST_F(TFormStorageTest, EntriesAreBoundToTheComponentsTheyName) {
    Open();
    Storage().SetStoredProps({"NoDot", "Missing.Text", " Edit2 . Text ", ".Text", "EditLog.",
                              "EditAlarm.Text", "EditLog.Text", "Edit2.Nothing"});
    delete Form->EditLog;
    Form->EditAlarm->SetName("EditSound");
    EXPECT_EQ(Storage().StoredProps(),
              (std::vector<std::string>{"Edit2.Text", "EditSound.Text", "Edit2.Nothing"}));
    Storage().StoreFormPlacement();
    const auto lines = Document().ReadSectionLines("TForm1");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.end() - 1),
              (std::vector<std::string>{"Edit2_Text=45", "EditSound_Text=alarm.wav"}));
}

TEST_F(TFormStorageTest, AListCountIsReadWithinBounds) {
    struct Row {
        const char* count;
        int lines;
    } rows[] = {{"Count=abc", 8},
                {"Count=-3", 8},
                {"Count=3", 3},
                {"Count=2000000000", TJvFormStorage::kMaxListLines}};
    for (const Row& r : rows) {
        Open({"[.host_Lines]", r.count, "Item0=x", "Item2=z"});
        Form->JvAppIniFileStorage1->SetFileName("");
        Storage().RestoreFormPlacement();
        const auto lines = Form->host->Lines().ToVector();
        ASSERT_EQ(static_cast<int>(lines.size()), r.lines) << r.count;
        if (r.lines != 8) {
            EXPECT_EQ((std::vector<std::string>(lines.begin(), lines.begin() + 3)),
                      (std::vector<std::string>{"x", "", "z"}));
        }
        Exit();
    }
}

TEST_F(TFormStorageTest, APlacementComesBack) {
    // As at a start: restored while hidden, then shown and framed; the stored outer size holds
    // whatever frame the window manager draws. (Inactive at the showing, whose restore would
    // size a window that is framed by then.)
    Open({"[TForm1]", "NormPos=100,120,600,520"});
    Storage().RestoreFormPlacement();
    Storage().SetActive(false);
    ASSERT_TRUE(ShowAndSettle());
    QWidget* window = Form->Widget();
    ASSERT_TRUE(WaitUntil([&] { return window->frameGeometry() != window->geometry(); }));
    EXPECT_TRUE(WaitUntil([&] { return Form->Width() == 500 && Form->Height() == 400; }))
        << Form->Width() << "x" << Form->Height();
    Storage().SetActive(true);

    // Moved and resized while shown: a save and a restore bring it back.
    const TRect saved{150, 160, 600, 510};
    Form->SetBounds(150, 160, 450, 350);
    ASSERT_TRUE(WaitUntil([&] { return Bounds() == saved; }));
    Storage().StoreFormPlacement();
    Form->SetBounds(10, 10, 300, 300);
    ASSERT_TRUE(WaitUntil([&] { return Bounds() == TRect{10, 10, 310, 310}; }));
    Storage().RestoreFormPlacement();
    EXPECT_TRUE(WaitUntil([&] { return Bounds() == saved; }));

    // Maximized, it keeps its normal position, and a restore leaves it maximized.
    Form->SetWindowState(TWindowState::wsMaximized);
    ASSERT_TRUE(WaitUntil([&] { return Form->Width() > 500; }));
    Storage().StoreFormPlacement();
    EXPECT_EQ(Stored("NormPos"), "150,160,600,510");
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->WindowState(), TWindowState::wsMaximized);
}

TEST_F(TFormStorageTest, WhichStoredPositionApplies) {
    const TRect design{311, 197, 712, 570};
    struct Row {
        std::string line1, line2;
        TPoint screen;
        TRect expected;
    } rows[] = {
        {"NormPos(1280x1024)=20,30,520,430",
         "NormPos=40,50,440,450",
         {1280, 1024},
         {20, 30, 520, 430}},
        {"NormPos(1280x1024)=20,30,520,430",
         "NormPos=40,50,440,450",
         {1024, 768},
         {40, 50, 440, 450}},
        {"NormPos=40,50,440,450", "PixelsPerInch=120", {1024, 768}, design},
        {"NormPos=440,50,440,450", "", {1024, 768}, design},
        // Missing and bad words keep the window's own edges.
        {"NormPos= 40 ,, x", "", {1024, 768}, {40, 197, 712, 570}},
    };
    for (const Row& r : rows) {
        Open({"[TForm1]", r.line1, r.line2});
        Form->JvAppIniFileStorage1->SetFileName("");
        Form->Screen = r.screen;
        Storage().RestoreFormPlacement();
        EXPECT_EQ(Bounds(), r.expected) << r.line1;
        EXPECT_FALSE(Form->Visible()) << "a restore does not show the window";
        Exit();
    }
    // The next save adds the key of the screen it runs on.
    Open({"[TForm1]", "NormPos(1280x1024)=20,30,520,430"});
    Storage().StoreFormPlacement();
    EXPECT_EQ(Document().ReadSectionLines("TForm1")[0], "NormPos(1280x1024)=20,30,520,430");
    EXPECT_EQ(Stored("NormPos(1024x768)"), "311,197,712,570");
}

}  // namespace
