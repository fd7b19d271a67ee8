#include "objects/cvbobmonitor.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::recursive_mutex& MonitorMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// Guarded by MonitorMutex().
std::vector<cvBobMonitor*>& Monitors() {
    static std::vector<cvBobMonitor*> monitors;
    return monitors;
}

// Calls `tell` on every monitor in list order. A monitor may leave the list (or add
// others) while being told: work from a copy and skip those that are gone.
template <typename Tell>
void TellMonitors(Tell tell) {
    std::lock_guard lock(MonitorMutex());
    const std::vector<cvBobMonitor*> snapshot = Monitors();
    for (cvBobMonitor* monitor : snapshot) {
        const std::vector<cvBobMonitor*>& live = Monitors();
        if (std::find(live.begin(), live.end(), monitor) != live.end()) {
            tell(*monitor);
        }
    }
}

}  // namespace

cvBobMonitor::cvBobMonitor(bool enter_now) {
    if (enter_now) {
        StartMonitoring();
    }
}

void cvBobMonitor::StartMonitoring() {
    std::lock_guard lock(MonitorMutex());
    if (!listed_) {
        Monitors().push_back(this);
        listed_ = true;
    }
}

cvBobMonitor::~cvBobMonitor() {
    StopMonitoring();
}

void cvBobMonitor::StopMonitoring() {
    std::lock_guard lock(MonitorMutex());
    if (listed_) {
        std::erase(Monitors(), this);
        listed_ = false;
    }
}

void cvBobMonitor::ObjectDeleted(const cvRec&) {}

void AnnounceObjectSaved(cvBob& object) {
    TellMonitors([&object](cvBobMonitor& monitor) { monitor.ObjectSaved(object); });
}

void AnnounceObjectDeleted(const cvRec& record) {
    TellMonitors([&record](cvBobMonitor& monitor) { monitor.ObjectDeleted(record); });
}
