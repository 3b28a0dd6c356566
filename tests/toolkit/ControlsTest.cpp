// The toolkit conventions the window relies on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <chrono>
#include <functional>

#include "platform/ThreadControl.h"
#include "toolkit/Application.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"
#include "toolkit/SessionEnd.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/Thread.h"
#include "toolkit/Timer.h"

namespace {

class ControlsTest : public ::testing::Test {
protected:
    ControlsTest() : form(nullptr) { form.SetClientSize(393, 346); }
    template <typename T>
    T* Make(TControl* parent, int l, int t, int w, int h) {
        auto* c = new T(&form);
        c->SetParent(parent);
        c->SetBounds(l, t, w, h);
        return c;
    }
    TForm form;
};

TEST_F(ControlsTest, ChangesMadeFromCodeRaiseTheirEvents) {
    auto* bar = Make<TTrackBar>(&form, 0, 0, 100, 30);
    bar->SetMin(10);
    bar->SetMax(1000);
    int barChanges = 0;
    bar->OnChange = [&](TObject*) { ++barChanges; };
    bar->SetPosition(300);
    bar->SetPosition(300);
    EXPECT_EQ(barChanges, 1);
    bar->SetPosition(5);
    EXPECT_EQ(bar->Position(), 10) << "kept within the range";

    auto* box = Make<TCheckBox>(&form, 0, 40, 100, 20);
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(true);
    box->SetChecked(true);
    box->SetChecked(false);
    EXPECT_EQ(clicks, 2);

    auto* one = Make<TRadioButton>(&form, 0, 120, 100, 20);
    auto* other = Make<TRadioButton>(&form, 0, 140, 100, 20);
    int chosen = 0;
    one->OnClick = [&](TObject*) { chosen = 1; };
    other->OnClick = [&](TObject*) { chosen = 2; };
    one->SetChecked(true);
    EXPECT_EQ(chosen, 1);
    other->SetChecked(true);
    EXPECT_EQ(chosen, 2);
    EXPECT_FALSE(one->Checked()) << "one choice of a parent's";

    auto* edit = Make<TEdit>(&form, 0, 60, 100, 20);
    int edits = 0;
    edit->OnChange = [&](TObject*) { ++edits; };
    edit->SetText("45");
    EXPECT_EQ(edits, 1);

    auto* combo = Make<TComboBox>(&form, 0, 90, 100, 20);
    int comboChanges = 0;
    combo->OnChange = [&](TObject*) { ++comboChanges; };
    combo->SetText("typed by code");
    EXPECT_EQ(comboChanges, 0) << "only the user's edits count";
}

TEST_F(ControlsTest, ComboItemsLeaveTheTextAlone) {
    auto* combo = Make<TComboBox>(&form, 0, 0, 100, 20);
    combo->SetText("host.example");
    combo->Items().Assign(std::vector<std::string>{"a", "b", "c"});
    EXPECT_EQ(combo->Text(), "host.example");
    EXPECT_EQ(combo->Items().ToVector(), (std::vector<std::string>{"a", "b", "c"}));
    combo->Items().Clear();
    EXPECT_EQ(combo->Text(), "host.example");
    EXPECT_THROW(combo->Items().Get(0), EStringListError);
}

TEST_F(ControlsTest, MemoLinesSplitAddedTextAtItsBreaks) {
    auto* memo = Make<TMemo>(&form, 0, 0, 200, 100);
    EXPECT_EQ(memo->Lines().Count(), 0);
    memo->Lines().Add("h1:Addr. empty\r\nh2:Addr. empty\r\n");
    memo->Lines().Add("Average ping");
    EXPECT_EQ(memo->Lines().ToVector(),
              (std::vector<std::string>{"h1:Addr. empty", "h2:Addr. empty", "", "Average ping"}));
    memo->Lines().Clear();
    memo->Lines().Add("one");
    EXPECT_EQ(memo->Lines().Count(), 1);
    EXPECT_EQ(memo->Text(), "one\r\n");

    // Lines held together are read back as they stand and reach the widget once at the end,
    // and not at all when they end as the widget shows them.
    int changes = 0;
    memo->OnChange = [&](TObject*) { ++changes; };
    const auto rewrite = [&] {
        const TStringsUpdate update(memo->Lines());
        memo->Lines().Clear();
        memo->Lines().Add("one");
        memo->Lines().Add("two");
        memo->Lines().Insert(0, "zero");
        EXPECT_EQ(memo->Lines().Count(), 3);
        EXPECT_EQ(memo->Lines()[2], "two");
    };
    rewrite();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(memo->Text(), "zero\r\none\r\ntwo\r\n");
    rewrite();
    EXPECT_EQ(changes, 1) << "the same lines again";
}

// What the settings hand a control comes back byte for byte, also where it is not UTF-8; a
// single-line field drops the line breaks of whatever enters it, typed and pasted text included.
TEST_F(ControlsTest, TextsComeBackByteForByteLessBreaksInSingleLines) {
    struct Row {
        const char* Case;
        std::string In;
        std::string OneLine;
    } const rows[] = {
        {"ASCII", "host.example", "host.example"},
        {"UTF-8", "h\xc3\xa4st \xe2\x82\xac \xf0\x9f\x98\x80",
         "h\xc3\xa4st \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"8-bit code page", "/opt/L\xe4rm.wav", "/opt/L\xe4rm.wav"},
        {"stray and cut sequences", "\x80x\xbf\xc3", "\x80x\xbf\xc3"},
        {"overlong, surrogate, too high", "\xc0\x80 \xed\xa0\x80 \xf4\x90\x80\x80",
         "\xc0\x80 \xed\xa0\x80 \xf4\x90\x80\x80"},
        {"NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"line breaks", "x.log\r\nEdit2_Text=3\n\r", "x.logEdit2_Text=3"},
    };
    auto* edit = Make<TEdit>(&form, 0, 0, 100, 20);
    auto* combo = Make<TComboBox>(&form, 0, 30, 100, 20);
    auto* memo = Make<TMemo>(&form, 0, 60, 100, 60);
    auto* typed = static_cast<QLineEdit*>(edit->Widget());
    for (const Row& r : rows) {
        edit->SetText(r.In);
        EXPECT_EQ(edit->Text(), r.OneLine) << r.Case;
        combo->SetText(r.In);
        EXPECT_EQ(combo->Text(), r.OneLine) << r.Case;
        combo->Items().Assign(std::vector<std::string>{r.In});
        combo->Items().Insert(0, r.In);
        EXPECT_EQ(combo->Items().ToVector(), (std::vector<std::string>{r.OneLine, r.OneLine}))
            << r.Case;
        if (r.In == r.OneLine) {
            memo->Lines().Assign(std::vector<std::string>{r.In});
            EXPECT_EQ(memo->Lines().ToVector(), std::vector<std::string>{r.In}) << r.Case;
        }
        typed->clear();
        typed->insert(QString::fromUtf8(r.In.data(), static_cast<qsizetype>(r.In.size())));
        if (r.In.find_first_of("\r\n") != std::string::npos) {
            EXPECT_EQ(edit->Text(), r.OneLine) << r.Case << ": pasted";
        }
    }
}

// MaxLength bounds what the user types or pastes, in bytes as the program keeps the text: an
// edit past it is refused whole and the field says it is full. Text set from code is never cut
// (a line edit's own limit would cut it at 32767 characters, silently).
TEST_F(ControlsTest, AFullFieldRefusesTheUsersEditAndSaysSo) {
    auto* edit = Make<TEdit>(&form, 0, 0, 100, 20);
    auto* combo = Make<TComboBox>(&form, 0, 30, 100, 20);
    auto* memo = Make<TMemo>(&form, 0, 60, 100, 60);
    const auto typeInto = [](QWidget* w) {
        return [w](const char* text) {
            if (auto* line = qobject_cast<QLineEdit*>(w)) {
                line->end(false);
                line->insert(QString::fromUtf8(text));
            } else {
                QTextCursor cursor(qobject_cast<QTextEdit*>(w)->document());
                cursor.movePosition(QTextCursor::EndOfBlock);  // of the first line
                cursor.insertText(QString::fromUtf8(text));
            }
        };
    };
    struct Field {
        const char* what;
        std::function<void(const std::string&)> setText, setMaxLength;
        std::function<std::string()> text;
        std::function<void(const char*)> type;
    } const fields[] = {
        {"edit", [&](auto& t) { edit->SetText(t); },
         [&](auto& n) { edit->SetMaxLength(std::stoi(n)); }, [&] { return edit->Text(); },
         typeInto(edit->Widget())},
        {"combo box", [&](auto& t) { combo->SetText(t); },
         [&](auto& n) { combo->SetMaxLength(std::stoi(n)); }, [&] { return combo->Text(); },
         typeInto(static_cast<QComboBox*>(combo->Widget())->lineEdit())},
        {"memo", [&](auto& t) { memo->Lines().Assign(std::vector<std::string>{t}); },
         [&](auto& n) { memo->SetMaxLength(std::stoi(n)); }, [&] { return memo->Lines().Get(0); },
         typeInto(memo->Widget())},
    };
    for (const Field& f : fields) {
        const std::string longText(40000, 'x');
        f.setText(longText);
        EXPECT_EQ(f.text(), longText) << f.what;
        f.setMaxLength("8");
        f.setText("abcdef");
        QToolTip::hideText();
        f.type("\xc3\xa4\xc3\xa4");  // 10 bytes in all
        EXPECT_EQ(f.text(), "abcdef") << f.what;
        EXPECT_EQ(QToolTip::text(), QStringLiteral("Full: this field holds at most 8 bytes"))
            << f.what;
        f.type("\xc3\xa4");
        EXPECT_EQ(f.text(), "abcdef\xc3\xa4") << f.what;
    }
}

TEST_F(ControlsTest, AnchorsAndAlignmentFollowTheParent) {
    auto* pages = Make<TPageControl>(&form, 8, 32, 377, 276);
    pages->SetAnchors(akLeft | akTop | akRight | akBottom);
    auto* bottom = Make<TEdit>(&form, 8, 315, 123, 21);
    bottom->SetAnchors(akLeft | akBottom);
    auto* sheet = new TTabSheet(&form);
    sheet->SetPageControl(pages);
    sheet->SetCaption("Graph");
    auto* filler = Make<TMemo>(sheet, 0, 0, 10, 10);
    filler->SetAlign(TAlign::alClient);

    form.SetClientSize(493, 446);
    QApplication::processEvents();
    EXPECT_EQ(pages->Width(), 477);
    EXPECT_EQ(pages->Height(), 376);
    EXPECT_EQ(bottom->Top(), 415);
    EXPECT_EQ(bottom->Left(), 8);
    EXPECT_EQ(filler->Width(), sheet->ClientWidth());
    EXPECT_EQ(filler->Height(), sheet->ClientHeight());
}

TEST_F(ControlsTest, PageChangesFromCodeRaiseNoChangeEvent) {
    auto* pages = Make<TPageControl>(&form, 0, 0, 300, 200);
    auto* a = new TTabSheet(&form);
    a->SetPageControl(pages);
    auto* b = new TTabSheet(&form);
    b->SetPageControl(pages);
    int changes = 0;
    pages->OnChange = [&](TObject*) { ++changes; };
    pages->SetActivePage(b);
    EXPECT_EQ(pages->ActivePage(), b);
    EXPECT_EQ(b->PageIndex(), 1);
    EXPECT_EQ(changes, 0);
    delete a;
    EXPECT_EQ(pages->PageCount(), 1);
}

// Exit and enter events belong to focus moving between the window's own controls; another
// window (a dialog, another application) taking the focus and giving it back moves nothing.
TEST_F(ControlsTest, OnlyFocusMovingWithinTheWindowRaisesExitAndEnter) {
    auto* first = Make<TEdit>(&form, 0, 0, 100, 20);
    auto* second = Make<TEdit>(&form, 0, 30, 100, 20);
    std::vector<std::string> events;
    first->OnExit = [&](TObject*) { events.push_back("first exit"); };
    second->OnEnter = [&](TObject*) { events.push_back("second enter"); };
    second->OnExit = [&](TObject*) { events.push_back("second exit"); };
    QWidget other;
    auto* otherEdit = new QLineEdit(&other);
    form.Show();
    other.show();
    const auto focus = [](QWidget* w) {
        if (w != nullptr) {
            QApplication::setActiveWindow(w->window());
            w->setFocus();
        } else {
            QApplication::setActiveWindow(nullptr);
        }
        QApplication::processEvents();
    };
    focus(first->Widget());
    events.clear();
    struct {
        const char* step;
        QWidget* to;
        std::vector<std::string> expected;
    } const steps[] = {
        {"another window takes the focus", otherEdit, {}},
        {"the window gets it back", first->Widget(), {}},
        {"the application loses it", nullptr, {}},
        {"the application gets it back", first->Widget(), {}},
        {"a control of the same window takes it", second->Widget(), {"first exit", "second enter"}},
        {"another window again", otherEdit, {}},
    };
    for (const auto& step : steps) {
        focus(step.to);
        EXPECT_EQ(events, step.expected) << step.step;
        events.clear();
    }
}

TEST_F(ControlsTest, PublishedPropertiesAreReachableByName) {
    auto* edit = Make<TEdit>(&form, 0, 0, 100, 20);
    const TPublishedProperty* text = edit->Published().Find("text");
    ASSERT_NE(text, nullptr);
    text->SetString("45");
    EXPECT_EQ(edit->Text(), "45");
    auto* bar = Make<TTrackBar>(&form, 0, 0, 100, 20);
    bar->SetMax(1000);
    const TPublishedProperty* position = bar->Published().Find("Position");
    ASSERT_NE(position, nullptr);
    position->SetOrdinal(300);
    EXPECT_EQ(bar->Position(), 300);
    auto* box = Make<TCheckBox>(&form, 0, 0, 100, 20);
    ASSERT_NE(box->Published().Find("Checked"), nullptr);
    EXPECT_EQ(box->Published().Find("Checked")->Kind, TPropKind::pkBoolean);
    EXPECT_EQ(edit->Published().Find("Nonsense"), nullptr);
}

TEST(Timer, EnablingARunningTimerKeepsItsWait) {
    TTimer timer(nullptr);
    timer.SetInterval(1000);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    QElapsedTimer clock;
    clock.start();
    auto runUntil = [&](int ms) {
        while (ticks == 0 && clock.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
    };
    runUntil(700);
    timer.SetEnabled(true);
    // Restarted, the wait would end 1.7 s after the start.
    runUntil(1400);
    EXPECT_EQ(ticks, 1) << "no tick within " << clock.elapsed() << " ms";
}

// A question of Yes and No answers No only when No is chosen; Escape and the box's close button
// close it otherwise.
TEST(Dialogs, OnlyTheNoButtonAnswersNo) {
    struct {
        const char* name;
        std::function<void(QMessageBox*)> act;
        TModalResult answer;
    } const rows[] = {
        {"No", [](QMessageBox* box) { box->button(QMessageBox::No)->click(); }, mrNo},
        {"Yes", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }, mrYes},
        {"Escape",
         [](QMessageBox* box) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(box, &escape);
         },
         mrCancel},
        {"close button", [](QMessageBox* box) { box->close(); }, mrCancel},
    };
    for (const auto& row : rows) {
        QObject scope;
        QTimer answer;
        answer.setInterval(10);
        QObject::connect(&answer, &QTimer::timeout, &scope, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                answer.stop();
                row.act(box);
            }
        });
        answer.start();
        EXPECT_EQ(MessageDlg("Close the Latmo?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
                  row.answer)
            << row.name;
    }
}

TEST(Thread, StopsWhenAskedAndWaitsForItsBody) {
    std::atomic<int> loops{0};
    {
        TThread thread(false, [&](TThread& self) {
            while (!self.Terminated() && loops < 1000) {
                ++loops;
                self.SleepUnlessTerminated(1000);
            }
        });
        while (loops == 0) {
            std::this_thread::yield();
        }
    }
    // The destructor's stop request cut the one-second rest short.
    EXPECT_EQ(loops.load(), 1);
    TThread never(true, [&](TThread&) { loops = -1; });
    EXPECT_TRUE(never.Suspended());
}

TEST(Thread, AWaitingBodySleepsUntilWokenAndSeesTheStopSignal) {
    std::atomic<bool> ready{false};
    std::atomic<int> woken{0};
    std::atomic<bool> stopSeen{false};
    {
        TThread thread(false, [&](TThread& self) {
            while (!self.Terminated()) {
                if (self.WaitUntil([&] { return ready.load(); })) {
                    ready = false;
                    ++woken;
                }
            }
            stopSeen = StopSignalRaised(self.StopSignal());
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(woken.load(), 0);
        ready = true;
        thread.Wake();
        for (int i = 0; i < 200 && woken.load() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(woken.load(), 1);
    }  // the stop request ends the endless wait
    EXPECT_TRUE(stopSeen.load());
}

// The run ends when the main form closes; a message box answered while the main form is hidden
// (in the tray) leaves no visible window, and the run goes on all the same.
TEST(Application, EndsWithItsMainFormNotWithTheLastVisibleWindow) {
    TApplication application;
    TForm form(&application);
    QObject scope;
    bool answered = false;
    bool runningAfterwards = false;
    form.Show();
    form.Hide();
    QTimer::singleShot(0, &scope, [&] {
        QTimer::singleShot(50, &scope, [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                box->close();
            }
        });
        ShowDialog(TDialogRequest{"Latmo", "Answered while hidden", TMsgDlgType::mtError, mbOK});
        answered = true;
        QTimer::singleShot(200, &scope, [&] {
            runningAfterwards = true;
            form.Show();
            form.Close();
        });
    });
    QTimer::singleShot(5000, &scope, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(application.Run(), 0);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(runningAfterwards);
    EXPECT_TRUE(application.Terminated());
}

}  // namespace
