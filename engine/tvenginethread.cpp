#include "engine/tvenginethread.h"

#include <algorithm>
#include <utility>

#include "log/cveventlog.h"

tvEngineThread::tvEngineThread(tvEngineTimer& timer, tvEngineThreadOptions options)
    : timer_(timer), options_(std::move(options)) {}

tvEngineThread::~tvEngineThread() {
    Shutdown();
}

bool tvEngineThread::Start() {
    if (thread_.joinable()) {
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    bool came_up = false;
    {
        std::unique_lock lock(mutex_);
        came_up = event_.wait_for(lock, options_.handshake_timeout, [this] { return started_; });
    }
    if (!came_up) {
        static_cast<void>(EventLog().MessageBox(kInitializationError));
    }
    return came_up;
}

void tvEngineThread::Kick() {
    {
        std::lock_guard lock(mutex_);
        kicked_ = true;
    }
    wake_.notify_all();
}

void tvEngineThread::Shutdown() {
    timer_.RequestStop();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

uint64_t tvEngineThread::Firings() const {
    std::lock_guard lock(mutex_);
    return firings_;
}

bool tvEngineThread::WaitForFirings(uint64_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    event_.wait_for(lock, timeout, [&] { return firings_ >= count || (started_ && !running_); });
    return firings_ >= count;
}

bool tvEngineThread::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void tvEngineThread::CountFiring() {
    {
        std::lock_guard lock(mutex_);
        ++firings_;
    }
    event_.notify_all();
}

void tvEngineThread::Run() {
    if (options_.on_thread_start) {
        options_.on_thread_start();
    }
    timer_.Arm();
    {
        std::lock_guard lock(mutex_);
        started_ = true;
        running_ = true;
    }
    event_.notify_all();

    while (timer_.Armed()) {
        bool quit = false;
        {
            std::unique_lock lock(mutex_);
            if (!quit_ && !kicked_) {
                // Never sleep longer than one period, so that a clock that moved
                // without a kick is noticed within a period.
                const auto wait = std::min(timer_.TimeUntilFiring(), timer_.Period());
                if (wait.count() > 0) {
                    wake_.wait_for(lock, wait, [this] { return quit_ || kicked_; });
                }
            }
            kicked_ = false;
            quit = quit_;
        }
        if (quit) {
            // The stop is already requested: acknowledge it now instead of waiting
            // for the next firing.
            if (timer_.IsInitialised() && !timer_.IsStopped()) {
                timer_.TimerProc();
                CountFiring();
            }
            break;
        }
        if (timer_.FireIfDue()) {
            CountFiring();
        }
    }

    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    event_.notify_all();
}
