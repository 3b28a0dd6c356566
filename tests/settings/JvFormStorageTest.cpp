// The form storage on a window with the main window's stored controls: the file a run leaves,
// the restore rules, the hooks, and the window's placement (offscreen here; the same tests run
// on X11 with QT_QPA_PLATFORM=xcb).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "StorageTestForm.h"
#include "TempDir.h"
#include "toolkit/Dialogs.h"
#include "toolkit/StrUtils.h"
#include "toolkit/SysUtils.h"

namespace {

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
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

    TStorageTestForm& Open(const std::function<void(TForm&)>& wire = {}) {
        Form = std::make_unique<TStorageTestForm>(Dir.Path(), wire);
        return *Form;
    }
    // Ends the run as the window does; the store writes the file.
    std::string Exit() {
        Form.reset();
        return ReadAll(Ini());
    }
    std::string Ini() const { return Dir.File("Latmo.ini"); }
    TJvFormStorage& Storage() { return *Form->JvFormStorage1; }
    std::vector<std::string> Section(const std::string& name) {
        return Form->JvAppIniFileStorage1->IniFile().ReadSectionLines(name);
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
    WriteAll(Ini(), Lines({"[.host_Lines]", "Count=2", "Item0=x", "Item1=y", "[Other]", "k=v",
                           "[TForm1]", "Edit2_Text=30"}));
    Open();
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->host->Lines().ToVector(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(Form->Edit2->Text(), "30");
    Storage().StoreFormPlacement();
    EXPECT_EQ(Form->JvAppIniFileStorage1->IniFile().ReadSections(),
              (std::vector<std::string>{"Other", "TForm1", ".ComboBox1_Items", ".host_Lines"}));

    // A shorter list leaves no items behind; an emptied one leaves no section.
    Form->ComboBox1->Items().Assign(std::vector<std::string>{"p", "q", "r"});
    Form->host->Lines().Clear();
    Storage().StoreFormPlacement();
    EXPECT_EQ(Section(".ComboBox1_Items"),
              (std::vector<std::string>{"Count=3", "Item0=p", "Item1=q", "Item2=r"}));
    EXPECT_FALSE(Form->JvAppIniFileStorage1->IniFile().SectionExists(".host_Lines"));
    Exit();

    // ... so at the next start the emptied list keeps its design content.
    Open();
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->host->Lines().ToVector(), kHosts);
    EXPECT_EQ(Form->ComboBox1->Items().ToVector(), (std::vector<std::string>{"p", "q", "r"}));
}

TEST_F(TFormStorageTest, StoredTextsMeetTheirControls) {
    struct Row {
        const char* key;
        const char* stored;
        std::function<bool(TStorageTestForm&)> restored;
        const char* saved;  // what the next save writes
    } rows[] = {
        {"CheckBoxAutoStart_Checked", "1", [](auto& f) { return !f.CheckBoxAutoStart->Checked(); },
         "False"},
        {"CheckBoxAutoStart_Checked", "yes",
         [](auto& f) { return !f.CheckBoxAutoStart->Checked(); }, "False"},
        {"CheckBoxAutoStart_Checked", "TRUE",
         [](auto& f) { return f.CheckBoxAutoStart->Checked(); }, "True"},
        {"TrackMaxGraph_Position", "abc", [](auto& f) { return f.TrackMaxGraph->Position() == 10; },
         "10"},
        {"TrackMaxGraph_Position", "$20", [](auto& f) { return f.TrackMaxGraph->Position() == 32; },
         "32"},
        {"TrackBarUpdate_Position", "99",
         [](auto& f) { return f.TrackBarUpdate->Position() == 60; }, "60"},
        {"Edit2_Text", "", [](auto& f) { return f.Edit2->Text().empty(); }, ""},
        {"Edit2_Text", "a=b ; [c]", [](auto& f) { return f.Edit2->Text() == "a=b ; [c]"; },
         "a=b ; [c]"},
        {"last", "46362,5",
         [](auto& f) { return f.JvFormStorage1->ReadStoredValue("LAST") == TVariant("46362,5"); },
         "46362,5"},
    };
    for (const Row& r : rows) {
        WriteAll(Ini(), "[TForm1]\r\n" + std::string(r.key) + "=" + r.stored + "\r\n");
        Open();
        Form->JvAppIniFileStorage1->SetFileName("");  // the next row needs the file again
        Storage().RestoreFormPlacement();
        EXPECT_TRUE(r.restored(*Form)) << r.key << "=" << r.stored;
        Storage().StoreFormPlacement();
        EXPECT_EQ(Form->JvAppIniFileStorage1->ReadStringValue(r.key, "?"), r.saved) << r.stored;
        Exit();
    }
    // Nothing stored: a stored value becomes its own value as text.
    std::filesystem::remove(Ini());
    Open();
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant("0"));
}

TEST_F(TFormStorageTest, TextsAreSavedWithoutOuterBlanks) {
    Open();
    Form->EditAlarm->SetText("  my alarm.wav \t");
    Storage().StoreFormPlacement();
    EXPECT_EQ(Form->JvAppIniFileStorage1->ReadStringValue("EditAlarm_Text", "?"), "my alarm.wav");
}

TEST_F(TFormStorageTest, ABadNumberEndsTheRestore) {
    struct Row {
        const char* line;
        const char* error;  // empty: no error, but nothing is restored either
    } rows[] = {
        {"FormVersion=abc", "'abc' is not a valid integer value"},
        {"Flags=1.5", "'1.5' is not a valid integer value"},
        {"PixelsPerInch=96dpi", "'96dpi' is not a valid integer value"},
        {"FormVersion=-1", ""},
    };
    for (const Row& r : rows) {
        WriteAll(Ini(), Lines({"[TForm1]", r.line, "NormPos=5,5,500,500", "Edit2_Text=30"}));
        Open();
        Form->JvAppIniFileStorage1->SetFileName("");
        if (*r.error != '\0') {
            try {
                Storage().RestoreFormPlacement();
                ADD_FAILURE() << r.line << ": no error";
            } catch (const EConvertError& e) {
                EXPECT_STREQ(e.what(), r.error);
            }
        } else {
            Storage().RestoreFormPlacement();
        }
        EXPECT_EQ(Form->Edit2->Text(), "45") << r.line;
        EXPECT_EQ(Form->Left(), 311) << r.line;
        // At a showing the error is reported, and the window shows all the same.
        Reports.clear();
        ASSERT_TRUE(ShowAndSettle());
        EXPECT_EQ(Reports, *r.error != '\0' ? std::vector<std::string>{std::string(r.error) + "."}
                                            : std::vector<std::string>{})
            << r.line;
        Storage().StoreFormPlacement();
        EXPECT_EQ(Form->JvAppIniFileStorage1->ReadStringValue("FormVersion", "?"), "0");
        Exit();
    }
}

TEST_F(TFormStorageTest, AStoredValueWrittenSinceTheLastSaveOutlivesARestore) {
    WriteAll(Ini(), Lines({"[TForm1]", "last=40000.25"}));
    Open();
    Storage().RestoreFormPlacement();
    EXPECT_DOUBLE_EQ(Storage().ReadStoredValue("last").AsFloat(), 40000.25);
    Storage().WriteStoredValue("last", 46000.5);
    ASSERT_TRUE(ShowAndSettle());  // restores again
    EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant(46000.5));
    Storage().StoreFormPlacement();
    // Once saved, a restore reads back what the save wrote, as text.
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Storage().ReadStoredValue("last"), TVariant(FloatToStr(46000.5)));
    EXPECT_TRUE(Storage().ReadStoredValue("never").IsNull());
    EXPECT_NE(Exit().find("last=" + FloatToStr(46000.5) + "\r\n"), std::string::npos);
}

TEST_F(TFormStorageTest, HooksRunTheWindowsOwnHandlers) {
    std::vector<std::string> calls;
    bool answer = false;
    Open([&](TForm& form) {
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
    Open([&](TForm& form) { form.OnShow = [&](TObject*) { calls.push_back("show"); }; });
    delete Form->JvFormStorage1;
    ASSERT_TRUE(ShowAndSettle());
    EXPECT_EQ(calls, std::vector<std::string>{"show"});
    EXPECT_EQ(Exit(), file) << "nothing was restored or saved";
}

TEST_F(TFormStorageTest, EntriesAreBoundToTheComponentsTheyName) {
    Open();
    Storage().SetStoredProps({"NoDot", "Missing.Text", " Edit2 . Text ", ".Text", "EditLog.",
                              "EditAlarm.Text", "EditLog.Text", "Edit2.Nothing"});
    EXPECT_EQ(Storage().StoredProps(), (std::vector<std::string>{"Edit2.Text", "EditAlarm.Text",
                                                                 "EditLog.Text", "Edit2.Nothing"}));
    delete Form->EditLog;
    Form->EditAlarm->SetName("EditSound");
    EXPECT_EQ(Storage().StoredProps(),
              (std::vector<std::string>{"Edit2.Text", "EditSound.Text", "Edit2.Nothing"}));
    Storage().StoreFormPlacement();
    const auto lines = Section("TForm1");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.end() - 1),
              (std::vector<std::string>{"Edit2_Text=45", "EditSound_Text=alarm.wav"}));
}

TEST_F(TFormStorageTest, AListCountIsReadWithinBounds) {
    struct Row {
        const char* count;
        int lines;
    } rows[] = {{"Count=abc", 8},
                {"Count=0", 8},
                {"Count=-3", 8},
                {"Count=3", 3},
                {"Count=2000000000", TJvFormStorage::kMaxListLines}};
    for (const Row& r : rows) {
        WriteAll(Ini(), Lines({"[.host_Lines]", r.count, "Item0=x", "Item2=z"}));
        Open();
        Form->JvAppIniFileStorage1->SetFileName("");
        Storage().RestoreFormPlacement();
        const auto lines = Form->host->Lines().ToVector();
        ASSERT_EQ(static_cast<int>(lines.size()), r.lines) << r.count;
        if (r.lines != 8) {
            EXPECT_EQ(lines[0], "x");
            EXPECT_EQ(lines[1], "") << "a missing item is an empty line";
            EXPECT_EQ(lines[2], "z");
        }
        Exit();
    }
}

TEST_F(TFormStorageTest, APlacementComesBack) {
    // As at a start: restored while hidden, then shown and framed; the stored outer size holds
    // whatever frame the window manager draws. (Inactive at the showing, whose restore would
    // size a window that is framed by then.)
    WriteAll(Ini(), Lines({"[TForm1]", "NormPos=100,120,600,520"}));
    Open();
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
    EXPECT_TRUE(WaitUntil([&] { return Bounds() == saved; }))
        << Bounds().Left << "," << Bounds().Top << "," << Bounds().Right << "," << Bounds().Bottom;
    EXPECT_TRUE(Form->Visible());

    // Maximized, it keeps its normal position, and a restore leaves it maximized.
    Form->SetWindowState(TWindowState::wsMaximized);
    ASSERT_TRUE(WaitUntil([&] { return Form->Width() > 500; }));
    Storage().StoreFormPlacement();
    EXPECT_EQ(Form->JvAppIniFileStorage1->ReadStringValue("NormPos", ""), "150,160,600,510");
    Storage().RestoreFormPlacement();
    EXPECT_EQ(Form->WindowState(), TWindowState::wsMaximized);
}

TEST_F(TFormStorageTest, WhichStoredPositionApplies) {
    struct Row {
        std::initializer_list<const char*> lines;
        TPoint screen;
        int pixelsPerInch;
        TRect expected;
    } rows[] = {
        {{"NormPos(1280x1024)=20,30,520,430", "NormPos=40,50,440,450"},
         {1280, 1024},
         96,
         {20, 30, 520, 430}},
        {{"NormPos(1280x1024)=20,30,520,430", "NormPos=40,50,440,450"},
         {1024, 768},
         96,
         {40, 50, 440, 450}},
        {{"NormPos=40,50,440,450", "PixelsPerInch=120"}, {1024, 768}, 96, {311, 197, 712, 570}},
        {{"NormPos=440,50,440,450"}, {1024, 768}, 96, {311, 197, 712, 570}},
        // Missing and bad words keep the window's own edges.
        {{"NormPos= 40 ,, x"}, {1024, 768}, 96, {40, 197, 712, 570}},
        {{"MinMaxPos=1,2,3,4"}, {1024, 768}, 96, {311, 197, 712, 570}},
    };
    for (const Row& r : rows) {
        std::string text = "[TForm1]\r\n";
        for (const char* line : r.lines) {
            text += std::string(line) + "\r\n";
        }
        WriteAll(Ini(), text);
        Open();
        Form->JvAppIniFileStorage1->SetFileName("");
        Form->Screen = r.screen;
        Form->PixelsPerInch = r.pixelsPerInch;
        Storage().RestoreFormPlacement();
        EXPECT_EQ(Bounds(), r.expected) << *r.lines.begin();
        EXPECT_FALSE(Form->Visible()) << "a restore does not show the window";
        Exit();
    }
    // The next save adds the key of the screen it runs on.
    WriteAll(Ini(), Lines({"[TForm1]", "NormPos(1280x1024)=20,30,520,430"}));
    Open();
    Storage().StoreFormPlacement();
    EXPECT_NE(Exit().find("NormPos(1280x1024)=20,30,520,430\r\n"), std::string::npos);
}

}  // namespace
