#pragma once
// The host interface: an optional library, libtvapi.so, through which a host
// application learns where the database lives, is polled once a minute, hears of
// every change of a message's status and is told to close its files when the engine
// ends.
//
// The library is looked for in the program directory first, then by the loader's
// usual search. It is used only when it exports tvInitialize, tvCloseFiles and
// tvOnPageMsgStatusChange and tvInitialize accepts; tvPollHost is optional. A library
// that falls short of that is unloaded at once and the engine runs without a host.
//
// States: not loaded, or loaded (entered only by LoadHostInterface, left only by
// Unload or destruction, which call tvCloseFiles and then unload the library).
//
// Threads: LoadHostInterface and Unload run on the user-interface thread, NotifyHost
// and PollHost on the engine thread. `mutex_` guards the handle and the entry points
// and is held during every call into the library, so the library is never unloaded
// while one of its functions runs.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct HostInterfaceSettings {
    bool no_host_mode = false;         // "NoHostMode" of the profile is non-zero
    int32_t machine_number = 0;        // MACHINENBR of this computer's "MACHINE" record
    std::string dictionary_directory;  // each directory ends with '/'
    std::string data_directory;
    std::string reports_directory;
    std::string program_directory;  // looked in first for the library; may be empty
};

class tvHostInterface {
  public:
    // Receives the info rows of LoadHostInterface (the message log's).
    using InfoRow = std::function<void(const std::string& text)>;

    static constexpr const char* kLibraryName = "libtvapi.so";
    static constexpr const char* kReadyWithHost = "Tolvane Ready (Host Interface Enabled)";
    static constexpr const char* kPollingEnabled = "Host Polling Enabled";
    static constexpr const char* kPollingNotSupported = "Host Polling Not Supported";
    static constexpr const char* kInitializationFailed = "Host Interface Initialization Failed)";
    static constexpr const char* kReadyWithoutHost = "Tolvane Ready (No Host Mode)";

    tvHostInterface();
    // Unload.
    ~tvHostInterface();
    tvHostInterface(const tvHostInterface&) = delete;
    tvHostInterface& operator=(const tvHostInterface&) = delete;

    // Unloads any library, then, unless in no-host mode, loads the library and
    // initialises it with the machine number and the three directories. Writes the
    // info rows of the outcome. Returns whether the library is now loaded.
    bool LoadHostInterface(const HostInterfaceSettings& settings, const InfoRow& info_row);

    bool IsLoaded() const;
    // The library is loaded and exports tvPollHost.
    bool CanPoll() const;

    // tvOnPageMsgStatusChange(message number) when loaded; otherwise nothing.
    void NotifyHost(int32_t message_number);
    // tvPollHost() when loaded and exported; otherwise nothing.
    void PollHost();
    // tvCloseFiles() when loaded, then unloads the library. Nothing when not loaded.
    void Unload();

  private:
    struct Library;

    mutable std::mutex mutex_;
    std::unique_ptr<Library> library_;  // guarded by mutex_; null when not loaded
};
