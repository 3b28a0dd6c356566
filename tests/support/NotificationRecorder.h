#pragma once
// A notification service for tests: it takes the name org.freedesktop.Notifications on a bus
// and records every notice it is given, as the desktop's service would receive it.

#include <memory>
#include <string>
#include <vector>

struct TRecordedNotice {
    std::string App;
    std::string Icon;
    std::string Summary;
    std::string Body;
    int Urgency = -1;  // the "urgency" hint; -1 when none came
};

class TNotificationRecorder {
public:
    // Joins the bus at busAddress and takes the service's name; markup: whether it says that it
    // reads mark-up in a body.
    explicit TNotificationRecorder(const std::string& busAddress, bool markup = false);
    // Gives the name up and leaves the bus.
    ~TNotificationRecorder();
    TNotificationRecorder(const TNotificationRecorder&) = delete;
    TNotificationRecorder& operator=(const TNotificationRecorder&) = delete;

    bool Registered() const { return FRegistered; }
    // What came so far (a copy: the service may take more meanwhile).
    std::vector<TRecordedNotice> Notices() const;

    class TObject;

private:
    std::unique_ptr<TObject> FObject;
    std::string FConnection;
    bool FRegistered = false;
};
