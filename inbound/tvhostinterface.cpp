#include "inbound/tvhostinterface.h"

#include <dlfcn.h>

#include <filesystem>
#include <utility>

namespace {

using InitializeFn = int (*)(int reserved, int machine_number, const char* dictionary_directory,
                             const char* data_directory, const char* reports_directory);
using CloseFilesFn = void (*)();
using StatusChangeFn = void (*)(int message_number);
using PollHostFn = void (*)();

struct HandleCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, HandleCloser>;

// The library from the program directory when it is there and loads, else by the
// loader's search; null when neither finds one.
LibraryHandle OpenLibrary(const std::string& program_directory) {
    if (!program_directory.empty()) {
        const std::filesystem::path beside =
            std::filesystem::path(program_directory) / tvHostInterface::kLibraryName;
        std::error_code error;
        if (std::filesystem::exists(beside, error)) {
            LibraryHandle handle(dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL));
            if (handle) {
                return handle;
            }
        }
    }
    return LibraryHandle(dlopen(tvHostInterface::kLibraryName, RTLD_NOW | RTLD_LOCAL));
}

template <typename Fn>
Fn Lookup(void* handle, const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

struct tvHostInterface::Library {
    LibraryHandle handle;
    CloseFilesFn close_files = nullptr;
    StatusChangeFn status_change = nullptr;
    PollHostFn poll_host = nullptr;
};

tvHostInterface::tvHostInterface() = default;

tvHostInterface::~tvHostInterface() {
    Unload();
}

bool tvHostInterface::LoadHostInterface(const HostInterfaceSettings& settings,
                                        const InfoRow& info_row) {
    Unload();
    const auto info = [&](const char* text) {
        if (info_row) {
            info_row(text);
        }
    };

    std::unique_ptr<Library> loaded;
    LibraryHandle handle;
    if (!settings.no_host_mode) {
        handle = OpenLibrary(settings.program_directory);
    }
    if (handle) {
        const auto initialize = Lookup<InitializeFn>(handle.get(), "tvInitialize");
        const auto close_files = Lookup<CloseFilesFn>(handle.get(), "tvCloseFiles");
        const auto status_change = Lookup<StatusChangeFn>(handle.get(), "tvOnPageMsgStatusChange");
        if (initialize != nullptr && close_files != nullptr && status_change != nullptr) {
            const int accepted =
                initialize(0, settings.machine_number, settings.dictionary_directory.c_str(),
                           settings.data_directory.c_str(), settings.reports_directory.c_str());
            if (accepted != 0) {
                info(kReadyWithHost);
                loaded = std::make_unique<Library>();
                loaded->close_files = close_files;
                loaded->status_change = status_change;
                loaded->poll_host = Lookup<PollHostFn>(handle.get(), "tvPollHost");
                info(loaded->poll_host != nullptr ? kPollingEnabled : kPollingNotSupported);
                loaded->handle = std::move(handle);
            } else {
                info(kInitializationFailed);
            }
        }
    }
    // A library that was not taken is unloaded here (the handle closes it).
    handle.reset();
    if (!loaded) {
        info(kReadyWithoutHost);
        return false;
    }
    std::lock_guard lock(mutex_);
    library_ = std::move(loaded);
    return true;
}

bool tvHostInterface::IsLoaded() const {
    std::lock_guard lock(mutex_);
    return library_ != nullptr;
}

bool tvHostInterface::CanPoll() const {
    std::lock_guard lock(mutex_);
    return library_ != nullptr && library_->poll_host != nullptr;
}

void tvHostInterface::NotifyHost(int32_t message_number) {
    std::lock_guard lock(mutex_);
    if (library_ != nullptr) {
        library_->status_change(message_number);
    }
}

void tvHostInterface::PollHost() {
    std::lock_guard lock(mutex_);
    if (library_ != nullptr && library_->poll_host != nullptr) {
        library_->poll_host();
    }
}

void tvHostInterface::Unload() {
    std::lock_guard lock(mutex_);
    if (library_ == nullptr) {
        return;
    }
    library_->close_files();
    library_.reset();
}
