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

inline const std::vector<std::string> kStoredProps = {"Edit2.Text",
                                                      "Edithost.Text",
                                                      "ComboBox1.Text",
                                                      "ComboBox2.Text",
                                                      "ComboBox3.Text",
                                                      "EditAlarm.Text",
                                                      "EditAlarmSec.Text",
                                                      "TrackMaxGraph.Position",
                                                      "EditAlarmParam.Text",
                                                      "EditTimeout.Text",
                                                      "EditLog.Text",
                                                      "TrackBarPingSize.Position",
                                                      "TrackBarUpdate.Position",
                                                      "CheckBoxAutoStart.Checked",
                                                      "ComboBox1.Items",
                                                      "CheckBoxOneInstance.Checked",
                                                      "host.Lines"};

class TStorageTestForm : public TForm {
public:
    // The settings file is "Latmo.ini" in directory; it is read now and written when the form
    // is destroyed. wire runs before loading ends, where the window assigns its own handlers.
    explicit TStorageTestForm(const std::string& directory,
                              const std::function<void(TForm&)>& wire = {})
        : TForm(nullptr) {
        BeginLoading();
        SetName("Form1");
        SetClientSize(393, 346);
        Edit2 = Edit("Edit2", "45");
        Edithost = Edit("Edithost", "host-i");
        ComboBox1 = Combo("ComboBox1", "host-i");
        ComboBox1->Items().Assign(kHosts);
        ComboBox2 = Combo("ComboBox2", "host-f");
        ComboBox3 = Combo("ComboBox3", "host-h");
        EditAlarm = Edit("EditAlarm", "alarm.wav");
        EditAlarmSec = Edit("EditAlarmSec", "8000");
        TrackMaxGraph = TrackBar("TrackMaxGraph", 10, 1000, 300);
        EditAlarmParam = Edit("EditAlarmParam", "");
        EditTimeout = Edit("EditTimeout", "9000");
        EditLog = Edit("EditLog", "");
        TrackBarPingSize = TrackBar("TrackBarPingSize", 15, 10000, 1024);
        TrackBarUpdate = TrackBar("TrackBarUpdate", 1, 60, 7);
        CheckBoxAutoStart = Child<TCheckBox>("CheckBoxAutoStart");
        CheckBoxOneInstance = Child<TCheckBox>("CheckBoxOneInstance");
        host = Child<TMemo>("host");
        host->Lines().Assign(kHosts);

        JvAppIniFileStorage1 = new TJvAppIniFileStorage(this);
        JvAppIniFileStorage1->SetName("JvAppIniFileStorage1");
        JvAppIniFileStorage1->SetDefaultSection("TForm1");
        JvAppIniFileStorage1->SetLocation(TFileLocation::flCustom);
        JvAppIniFileStorage1->SetDirectory(directory);
        JvAppIniFileStorage1->SetFileName("Latmo.ini");
        JvFormStorage1 = new TJvFormStorage(this);
        JvFormStorage1->SetName("JvFormStorage1");
        JvFormStorage1->SetAppStorage(JvAppIniFileStorage1);
        JvFormStorage1->SetStoredProps(kStoredProps);
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
    TEdit* Edithost;
    TComboBox* ComboBox1;
    TComboBox* ComboBox2;
    TComboBox* ComboBox3;
    TEdit* EditAlarm;
    TEdit* EditAlarmSec;
    TTrackBar* TrackMaxGraph;
    TEdit* EditAlarmParam;
    TEdit* EditTimeout;
    TEdit* EditLog;
    TTrackBar* TrackBarPingSize;
    TTrackBar* TrackBarUpdate;
    TCheckBox* CheckBoxAutoStart;
    TCheckBox* CheckBoxOneInstance;
    TMemo* host;
    TJvAppIniFileStorage* JvAppIniFileStorage1;
    TJvFormStorage* JvFormStorage1;

private:
    template <typename T>
    T* Child(const char* name) {
        auto* c = new T(this);
        c->SetName(name);
        c->SetParent(this);
        return c;
    }
    TEdit* Edit(const char* name, const char* text) {
        auto* e = Child<TEdit>(name);
        e->SetText(text);
        return e;
    }
    TComboBox* Combo(const char* name, const char* text) {
        auto* c = Child<TComboBox>(name);
        c->SetText(text);
        return c;
    }
    TTrackBar* TrackBar(const char* name, int min, int max, int position) {
        auto* t = Child<TTrackBar>(name);
        t->SetMax(max);
        t->SetMin(min);
        t->SetPosition(position);
        return t;
    }
};
