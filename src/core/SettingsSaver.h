#pragma once
// Saves the window's settings soon after the user changes something in it: once the user's
// typing, clicking and scrolling in the window has rested for kDelayMs, and at once when the
// window is minimised. Costs nothing while nobody uses the window: it waits on one timer that
// only input starts.
//
//   TSettingsSaver saver(form->Widget(), [&] { SaveSettings(); });

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class TSettingsSaver : public QObject {
public:
    TSettingsSaver(QWidget* window, std::function<void()> save);
    ~TSettingsSaver() override;
    TSettingsSaver(const TSettingsSaver&) = delete;
    TSettingsSaver& operator=(const TSettingsSaver&) = delete;

    // Whether a save waits for the input to rest.
    bool Pending() const { return FTimer.isActive(); }

    static constexpr int kDelayMs = 2000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> FWindow;
    std::function<void()> FSave;
    QTimer FTimer;
};
