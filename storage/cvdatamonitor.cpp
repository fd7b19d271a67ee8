#include "storage/cvdatamonitor.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "storage/cvstorageapp.h"

namespace {

std::recursive_mutex& MonitorMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// Guarded by MonitorMutex().
std::vector<cvDataMonitor*>& Monitors() {
    static std::vector<cvDataMonitor*> monitors;
    return monitors;
}

}  // namespace

cvDataMonitor::cvDataMonitor() {
    std::lock_guard lock(MonitorMutex());
    Monitors().push_back(this);
}

cvDataMonitor::~cvDataMonitor() {
    std::lock_guard lock(MonitorMutex());
    std::erase(Monitors(), this);
}

void AnnounceDataChange(const std::string& data_directory, const cvRec* before,
                        const cvRec* after) {
    StorageApp().DataChanged(data_directory, before, after);
    std::lock_guard lock(MonitorMutex());
    // A monitor may leave the list (or add others) while being told: work from a copy
    // and skip those that are gone.
    const std::vector<cvDataMonitor*> snapshot = Monitors();
    for (cvDataMonitor* monitor : snapshot) {
        const auto& live = Monitors();
        if (std::find(live.begin(), live.end(), monitor) != live.end()) {
            monitor->DataChanged(data_directory, before, after);
        }
    }
}
