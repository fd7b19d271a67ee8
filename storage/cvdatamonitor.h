#pragma once
// Observers of stored rows. A data monitor enters itself in a process-wide list when
// constructed and leaves it when destroyed; every insert, update and delete that a
// record's Save or Delete performs is announced first to the application's
// data-change hook and then to every monitor, in the order they were constructed.
//
// Announcements run on the thread that made the change, under the list's recursive
// mutex: a monitor is never destroyed on another thread while it is being told, and a
// monitor may construct or destroy monitors from inside DataChanged.

#include <string>

class cvRec;

class cvDataMonitor {
  public:
    cvDataMonitor();
    virtual ~cvDataMonitor();
    cvDataMonitor(const cvDataMonitor&) = delete;
    cvDataMonitor& operator=(const cvDataMonitor&) = delete;

    // `data_directory` names the database; `before` is null for an insert, `after`
    // null for a delete. Both are only valid during the call.
    virtual void DataChanged(const std::string& data_directory, const cvRec* before,
                             const cvRec* after) = 0;
};

// Tells the application's hook, then every monitor.
void AnnounceDataChange(const std::string& data_directory, const cvRec* before, const cvRec* after);
