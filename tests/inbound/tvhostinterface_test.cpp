#include "inbound/tvhostinterface.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

// The directory holding the test library of that name.
std::string LibraryDir(const std::string& name) {
    return std::string(HOSTLIB_DIR) + name + "/";
}

// Whether the process has the library at `path` loaded (asking does not load it).
bool Loaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

class tvHostInterfaceTest : public ::testing::Test {
  protected:
    HostInterfaceSettings Settings(const std::string& library) const {
        HostInterfaceSettings settings;
        settings.machine_number = 7;
        settings.dictionary_directory = "/srv/tolvane/ddf/";
        settings.data_directory = "/srv/tolvane/data/";
        settings.reports_directory = "/srv/tolvane/reports/";
        settings.program_directory = library.empty() ? scratch.dir() : LibraryDir(library);
        return settings;
    }
    std::string LibraryPath(const std::string& library) const {
        return LibraryDir(library) + tvHostInterface::kLibraryName;
    }
    tvHostInterface::InfoRow Collect() {
        return [this](const std::string& text) { rows.push_back(text); };
    }
    // The calls the library recorded, one line each.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        std::ifstream in(call_log);
        for (std::string line; std::getline(in, line);) {
            calls.push_back(line);
        }
        return calls;
    }

    TempDir scratch;
    std::string call_log = scratch.file("calls.log");
    ScopedEnv log_env{"TVAPI_TEST_LOG", call_log};
    std::vector<std::string> rows;
};

const std::string kInitializeCall =
    "tvInitialize 0 7 /srv/tolvane/ddf/ /srv/tolvane/data/ /srv/tolvane/reports/";

TEST_F(tvHostInterfaceTest, ALibraryWithEveryEntryPointIsInitialisedNotifiedPolledAndClosed) {
    {
        tvHostInterface host;
        ASSERT_TRUE(host.LoadHostInterface(Settings("hostlib_full"), Collect()));
        EXPECT_TRUE(host.IsLoaded());
        EXPECT_TRUE(host.CanPoll());
        EXPECT_TRUE(Loaded(LibraryPath("hostlib_full")));
        EXPECT_EQ(rows, (std::vector<std::string>{"Tolvane Ready (Host Interface Enabled)",
                                                  "Host Polling Enabled"}));
        host.NotifyHost(42);
        host.PollHost();
        host.NotifyHost(43);
        EXPECT_EQ(Calls(), (std::vector<std::string>{kInitializeCall, "tvOnPageMsgStatusChange 42",
                                                     "tvPollHost", "tvOnPageMsgStatusChange 43"}));
    }
    // Destruction closes the host's files, then unloads the library.
    EXPECT_EQ(Calls().back(), "tvCloseFiles");
    EXPECT_EQ(Calls().size(), 5u);
    EXPECT_FALSE(Loaded(LibraryPath("hostlib_full")));
}

TEST_F(tvHostInterfaceTest, UnloadClosesOnceAndAfterwardsNothingReachesTheLibrary) {
    tvHostInterface host;
    ASSERT_TRUE(host.LoadHostInterface(Settings("hostlib_full"), Collect()));
    host.Unload();
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_FALSE(Loaded(LibraryPath("hostlib_full")));
    host.NotifyHost(1);
    host.PollHost();
    host.Unload();
    EXPECT_EQ(Calls(), (std::vector<std::string>{kInitializeCall, "tvCloseFiles"}));
}

TEST_F(tvHostInterfaceTest, LoadingAgainClosesTheLibraryFirst) {
    tvHostInterface host;
    ASSERT_TRUE(host.LoadHostInterface(Settings("hostlib_full"), Collect()));
    ASSERT_TRUE(host.LoadHostInterface(Settings("hostlib_nopoll"), Collect()));
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{kInitializeCall, "tvCloseFiles", kInitializeCall}));
    EXPECT_FALSE(Loaded(LibraryPath("hostlib_full")));
}

TEST_F(tvHostInterfaceTest, OutcomesOtherThanAFullLibraryLeaveTheServerInNoHostMode) {
    struct Case {
        const char* what;
        std::string library;  // empty: none in the program directory
        bool no_host_mode;
        bool loaded;
        std::vector<std::string> rows;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"no host mode", "hostlib_full", true, false, {"Tolvane Ready (No Host Mode)"}, {}},
        {"two entry points",
         "hostlib_twoentry",
         false,
         false,
         {"Tolvane Ready (No Host Mode)"},
         {}},
        {"initialisation refused",
         "hostlib_refusing",
         false,
         false,
         {"Host Interface Initialization Failed)", "Tolvane Ready (No Host Mode)"},
         {kInitializeCall}},
        {"no library", "", false, false, {"Tolvane Ready (No Host Mode)"}, {}},
        {"no poll entry point",
         "hostlib_nopoll",
         false,
         true,
         {"Tolvane Ready (Host Interface Enabled)", "Host Polling Not Supported"},
         {kInitializeCall}},
    };
    for (const Case& c : cases) {
        rows.clear();
        std::filesystem::remove(call_log);
        HostInterfaceSettings settings = Settings(c.library);
        settings.no_host_mode = c.no_host_mode;
        tvHostInterface host;
        EXPECT_EQ(host.LoadHostInterface(settings, Collect()), c.loaded) << c.what;
        EXPECT_EQ(host.IsLoaded(), c.loaded) << c.what;
        EXPECT_FALSE(host.CanPoll()) << c.what;
        EXPECT_EQ(rows, c.rows) << c.what;
        if (!c.library.empty()) {
            EXPECT_EQ(Loaded(LibraryPath(c.library)), c.loaded) << c.what;
        }
        host.NotifyHost(5);
        host.PollHost();
        if (c.loaded) {
            std::vector<std::string> calls = c.calls;
            calls.push_back("tvOnPageMsgStatusChange 5");
            EXPECT_EQ(Calls(), calls) << c.what;
        } else {
            EXPECT_EQ(Calls(), c.calls) << c.what;
        }
    }
}

TEST_F(tvHostInterfaceTest, NoCallReachesTheLibraryOnceItsFilesAreClosed) {
    tvHostInterface host;
    ASSERT_TRUE(host.LoadHostInterface(Settings("hostlib_full"), Collect()));
    std::thread engine([&host] {
        for (int i = 0; i < 200; ++i) {
            host.NotifyHost(i);
            host.PollHost();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    host.Unload();
    engine.join();
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "tvCloseFiles");
}

}  // namespace
