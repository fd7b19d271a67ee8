#pragma once
// The transport host of the modem tests: records like RecordingHost, counts the
// exclamation beeps, and can be told to raise the stop request after a while (as a
// SIGTERM would), from the waits of the code under test.

#include <algorithm>
#include <chrono>
#include <optional>

#include "tests/support/recordinghost.h"

// The code under test pumps at least every 100 ms while it waits; the longest gap a
// test accepts leaves room for a loaded machine. A wait that does not pump shows a gap
// of its whole length (the waits measured are 400 ms or more).
inline constexpr std::chrono::milliseconds kPumpGapAllowance{300};

class ModemHost : public RecordingHost {
  public:
    void Beep() override { ++beeps; }
    bool StopRequested() const override {
        if (stop_at && std::chrono::steady_clock::now() >= *stop_at) {
            return true;
        }
        return stop_requested;
    }
    // Raises the stop request `after` from now.
    void StopAfter(std::chrono::milliseconds after) {
        stop_at = std::chrono::steady_clock::now() + after;
    }
    // The longest gap between two pumps (or the first pump and the end).
    std::chrono::milliseconds LongestPumpGap() const {
        std::chrono::milliseconds longest{0};
        for (size_t i = 1; i < pumps.size(); ++i) {
            longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                            pumps[i] - pumps[i - 1]));
        }
        return longest;
    }

    // Forgets everything recorded, the beeps and the timed stop request.
    void Reset() {
        Clear();
        beeps = 0;
        stop_at.reset();
    }

    int beeps = 0;
    std::optional<std::chrono::steady_clock::time_point> stop_at;
};
