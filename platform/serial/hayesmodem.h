#pragma once
// A Hayes-compatible modem on an open serial port: commands from a profile, answers
// awaited with a time-out, dialling, line reads with a time budget and carrier
// presence.
//
// A command goes out as the profile's prefix ("AT"), the command text and the
// terminator (carriage return); a string sent as it is (the hang-up string) has no
// prefix. In both, each "~" is not sent but is a pause of the pause length (500 ms).
// After every command the modem object waits for the expected answer ("OK", or the
// numeric "0") up to the answer time-out; "ERROR" (or "4") ends the wait at once with
// kSerialModemRefused. The dial command is not waited on: the caller reads the
// outcome of the call with ReadLine.
//
// Every wait (answers, pauses, line reads) runs the wait hook at least every
// kSerialWaitSlice; when the hook returns false the wait ends at once (a command
// then fails with kSerialAbandoned, a read returns as if its time were up).
//
// Not thread-safe; the port must outlive the modem object.

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial/serialport.h"

namespace platform {

// The strings the modem object sends.
struct HayesProfile {
    std::string name = "Hayes compatible";
    std::string prefix = "AT";
    char terminator = '\r';
    std::string init = "X1 V1 S0=0";
    std::string tone_dial = "DT";
    std::string pulse_dial = "DP";
    std::string hang_up = "~~~+++~~~ATH0";
    std::string reset = "Z";
    std::string set_register = "S%d=%d";
    std::string query_register = "S%d?";
    std::string auto_answer_on = "S0=1";
    std::string auto_answer_off = "S0=0";
    std::string answer = "A";
    std::string online = "O";
    std::string echo_on = "E1";
    std::string echo_off = "E0";
    std::string on_hook = "H0";
    std::string off_hook = "H1";
    std::string numeric_codes = "V0";
    std::string verbose_codes = "V1";
    std::array<std::string, 3> speaker = {"M0", "M1", "M2"};
    std::array<std::string, 8> result_sets = {"X0", "X1", "X2", "X3", "X4", "X5", "X6", "X7"};
};

// The longest initialisation string a profile takes.
inline constexpr size_t kHayesInitLimit = 250;

class HayesModem {
  public:
    explicit HayesModem(SerialPort& port);

    const HayesProfile& profile() const { return profile_; }
    void SetProfile(const HayesProfile& profile) { profile_ = profile; }

    // How long to wait for the answer after a command, and the answer awaited.
    void SetAnswer(std::chrono::milliseconds timeout, std::string expected);
    // The length of one "~" pause.
    void SetPause(std::chrono::milliseconds pause) { pause_ = pause; }
    // How long the reset settles (input discarded) before the initialisation string.
    void SetResetSettle(std::chrono::milliseconds settle) { reset_settle_ = settle; }
    void SetWaitHook(SerialWaitHook hook) { hook_ = std::move(hook); }

    // Reset, settle discarding input, then the profile's initialisation string as a
    // command; notes whether the modem echoes. kSerialOk or the first failure.
    [[nodiscard]] int Initialise();
    // Prefix + text + terminator, then waits for the answer.
    [[nodiscard]] int Command(std::string_view text);
    // The text as it is plus the terminator, with its pauses; no answer awaited.
    [[nodiscard]] int SendString(std::string_view text);
    // The profile's hang-up string.
    [[nodiscard]] int SendHangUp() { return SendString(profile_.hang_up); }
    // Prefix + tone or pulse dial + number + terminator; no answer awaited.
    [[nodiscard]] int Dial(bool tone, std::string_view number);

    // Collects one line: characters up to a carriage return (not stored; line feeds
    // are dropped), at most size - 1 characters taken. The budget is consumed only
    // while nothing is waiting. Returns the time left in ms (0 when the time ran out
    // or the hook gave up; the line then holds what arrived), or -1 when the line
    // failed (the port's LastError says how).
    long ReadLine(std::string* line, size_t size, std::chrono::milliseconds budget);

    // Waits, running the hook; false when the hook gave up.
    bool Pause(std::chrono::milliseconds length);
    // Waits, discarding whatever arrives meanwhile; false when the hook gave up or
    // the line failed.
    bool DiscardFor(std::chrono::milliseconds length);

    // Whether the carrier is present, read from the line now; none when the line
    // cannot tell.
    std::optional<bool> CarrierPresent();
    // True when the last initialisation showed the modem echoing commands.
    bool Echoes() const { return echoes_; }

  private:
    // Writes `text`, pausing at each "~".
    int WriteWithPauses(std::string_view text);
    // Reads lines until the expected answer, a refusal or the time-out.
    int AwaitAnswer(std::string_view sent);
    // Runs the hook; false (and abandoned_ set) once it has asked to give up.
    bool RunHook();

    SerialPort& port_;
    HayesProfile profile_;
    std::chrono::milliseconds answer_timeout_{5000};
    std::string expected_ = "OK";
    std::chrono::milliseconds pause_{500};
    std::chrono::milliseconds reset_settle_{250};
    SerialWaitHook hook_;
    bool echoes_ = false;
    bool abandoned_ = false;  // the hook gave up during the current wait
};

}  // namespace platform
