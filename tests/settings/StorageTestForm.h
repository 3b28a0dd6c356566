#pragma once
// A window with the main window's 17 stored controls, named and set as its design has them,
// with its settings store and form storage, on a screen the test chooses.

#include <functional>
#include <string>
#include <vector>

#include "settings/JvAppIniFileStorage.h"
#include "settings/JvFormStorage.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Form.h"
#include "toolkit/StdCtrls.h"

inline const std::vector<std::string> kHosts = {"host-a", "host-b", "host-c", "host-d",
                                                "host-e", "host-f", "host-g", "host-h"};

class TStorageTestForm : public TForm {
public:
    // The settings file is "Latmo.ini" in directory; it is read now and written when the form
    // is destroyed. wire runs before loading ends, where the window assigns its own handlers.
    explicit TStorageTestForm(const std::string& directory,
                              const std::function<void(TForm&)>& wire = {})
        : TForm(nullptr) {
        BeginLoading();
        SetName("Form1");
        Edit2 = Make<TEdit>("Edit2", "45");
        Make<TEdit>("Edithost", "host-i");
        ComboBox1 = Make<TComboBox>("ComboBox1", "host-i");
        ComboBox1->Items().Assign(kHosts);
        Make<TComboBox>("ComboBox2", "host-f");
        Make<TComboBox>("ComboBox3", "host-h");
        EditAlarm = Make<TEdit>("EditAlarm", "alarm.wav");
        Make<TEdit>("EditAlarmSec", "8000");
        TrackMaxGraph = Track("TrackMaxGraph", 10, 1000, 300);
        Make<TEdit>("EditAlarmParam", "");
        Make<TEdit>("EditTimeout", "9000");
        EditLog = Make<TEdit>("EditLog", "");
        Track("TrackBarPingSize", 15, 10000, 1024);
        TrackBarUpdate = Track("TrackBarUpdate", 1, 60, 7);
        CheckBoxAutoStart = Make<TCheckBox>("CheckBoxAutoStart");
        Make<TCheckBox>("CheckBoxOneInstance");
        host = Make<TMemo>("host");
        host->Lines().Assign(kHosts);

        JvAppIniFileStorage1 = new TJvAppIniFileStorage(this);
        JvAppIniFileStorage1->SetDefaultSection("TForm1");
        JvAppIniFileStorage1->SetLocation(TFileLocation::flCustom);
        JvAppIniFileStorage1->SetDirectory(directory);
        JvAppIniFileStorage1->SetFileName("Latmo.ini");
        JvFormStorage1 = new TJvFormStorage(this);
        JvFormStorage1->SetAppStorage(JvAppIniFileStorage1);
        JvFormStorage1->SetStoredProps(
            {"Edit2.Text", "Edithost.Text", "ComboBox1.Text", "ComboBox2.Text", "ComboBox3.Text",
             "EditAlarm.Text", "EditAlarmSec.Text", "TrackMaxGraph.Position", "EditAlarmParam.Text",
             "EditTimeout.Text", "EditLog.Text", "TrackBarPingSize.Position",
             "TrackBarUpdate.Position", "CheckBoxAutoStart.Checked", "ComboBox1.Items",
             "CheckBoxOneInstance.Checked", "host.Lines"});
        JvFormStorage1->StoredValues().Add("last", 0.0);
        if (wire) {
            wire(*this);
        }
        EndLoading();
        SetBounds(311, 197, 401, 373);
    }

    TPoint ScreenSize() const override { return Screen; }
    int ScreenPixelsPerInch() const override { return PixelsPerInch; }

    TPoint Screen{1024, 768};
    int PixelsPerInch = 96;

    TEdit* Edit2;
    TComboBox* ComboBox1;
    TEdit* EditAlarm;
    TTrackBar* TrackMaxGraph;
    TEdit* EditLog;
    TTrackBar* TrackBarUpdate;
    TCheckBox* CheckBoxAutoStart;
    TMemo* host;
    TJvAppIniFileStorage* JvAppIniFileStorage1;
    TJvFormStorage* JvFormStorage1;

private:
    template <typename T>
    T* Make(const char* name, const char* text = "") {
        auto* c = new T(this);
        c->SetName(name);
        c->SetParent(this);
        if constexpr (requires { c->SetText(""); }) {
            c->SetText(text);
        }
        return c;
    }
    TTrackBar* Track(const char* name, int min, int max, int position) {
        auto* t = Make<TTrackBar>(name);
        t->SetMax(max);
        t->SetMin(min);
        t->SetPosition(position);
        return t;
    }
};
