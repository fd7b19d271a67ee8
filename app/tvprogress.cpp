#include "app/tvprogress.h"

#include <algorithm>

tvProgress::~tvProgress() = default;

void tvProgress::Pump() {}

tvConsoleProgress::tvConsoleProgress(std::FILE* stream, const std::atomic<bool>* cancel_flag)
    : stream_(stream), cancel_flag_(cancel_flag) {}

void tvConsoleProgress::Begin(const std::string& title) {
    shown_tenth_ = -1;
    std::fprintf(stream_, "%s\n", title.c_str());
    std::fflush(stream_);
}

void tvConsoleProgress::SetText(const std::string& text) {
    shown_tenth_ = -1;
    std::fprintf(stream_, "%s\n", text.c_str());
    std::fflush(stream_);
}

void tvConsoleProgress::SetPercent(int percent) {
    percent = std::clamp(percent, 0, 100);
    const int tenth = percent / 10;
    if (tenth == shown_tenth_) {
        return;
    }
    shown_tenth_ = tenth;
    std::fprintf(stream_, "%d%%\n", percent);
    std::fflush(stream_);
}

bool tvConsoleProgress::Cancelled() const {
    return cancel_flag_ && cancel_flag_->load();
}

void tvConsoleProgress::End() {
    shown_tenth_ = -1;
}
