#include "engine/tvenginehost.h"

#include <utility>

tvEngineHost::tvEngineHost(tvEngineReporter& reporter, tvEngineTimer& timer,
                           std::function<void()> beep)
    : reporter_(reporter), timer_(timer), beep_(std::move(beep)) {}

void tvEngineHost::SetStatusLine(const std::string& text) {
    reporter_.SetStatusLine(text);
}

void tvEngineHost::LogRow(const std::string& device, const std::string& service,
                          const std::string& status, const std::string& attempts,
                          const std::string& info) {
    reporter_.LogRow(device, service, status, attempts, info);
}

void tvEngineHost::LogComm(const std::string& direction, const std::string& text) {
    reporter_.LogComm(direction, text);
}

bool tvEngineHost::StopRequested() const {
    return timer_.StopRequested();
}

void tvEngineHost::PumpWhileWaiting() {
    timer_.PumpWhileWaiting();
}

void tvEngineHost::Beep() {
    if (beep_) {
        beep_();
    }
}
