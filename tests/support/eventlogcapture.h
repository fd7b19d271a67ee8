#pragma once
// Opens the process's event log on every category for one test and hands back the
// texts logged meanwhile, without their time prefix. Closes nothing it did not open:
// the lines are cleared on both ends.

#include <string>
#include <vector>

#include "log/cveventlog.h"

class EventLogCapture {
  public:
    EventLogCapture() {
        EventLog().Clear();
        EventLog().OpenLog();
        EventLog().SetCategoryMask(kLogAllCategories);
    }
    ~EventLogCapture() {
        EventLog().Clear();
        EventLog().SetCategoryMask(0);
    }
    EventLogCapture(const EventLogCapture&) = delete;
    EventLogCapture& operator=(const EventLogCapture&) = delete;

    // Each line without its "Tue 9:05 PM " prefix.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : EventLog().Lines()) {
            size_t at = 0;
            for (int word = 0; word < 3 && at != std::string::npos; ++word) {
                at = line.find(' ', at);
                at = at == std::string::npos ? at : at + 1;
            }
            texts.push_back(at == std::string::npos ? line : line.substr(at));
        }
        return texts;
    }
    void Clear() { EventLog().Clear(); }
};
