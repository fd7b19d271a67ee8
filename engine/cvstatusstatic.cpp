#include "engine/cvstatusstatic.h"

#include <utility>

cvStatusStatic::cvStatusStatic(std::string text) : text_(std::move(text)) {}

bool cvStatusStatic::SetText(const std::string& text) {
    std::lock_guard notify_lock(notify_mutex_);
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            return false;
        }
        text_ = text;
    }
    if (listener_) {
        listener_(text);
    }
    return true;
}

std::string cvStatusStatic::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void cvStatusStatic::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

bool cvStatusStatic::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

void cvStatusStatic::SetListener(Listener listener) {
    std::lock_guard notify_lock(notify_mutex_);
    listener_ = std::move(listener);
}
