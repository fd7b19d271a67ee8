// `tolvane check [--repair]` and `tolvane unlock-server`: the commands an operator runs
// when something went wrong underneath the server, a damaged data file or the lock of
// a server that died on another computer.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/tvapp.h"
#include "app/tvcommands.h"
#include "engine/tvserver.h"
#include "log/messagebox.h"
#include "platform/core/filelock.h"
#include "platform/recman/filecheck.h"
#include "storage/cvrec.h"
#include "storage/dbstatus.h"
#include "storage/packeddatetime.h"

namespace {

namespace fs = std::filesystem;

bool IsDataFileName(const std::string& name) {
    if (name.size() <= 4) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == ".DAT";
}

// The data files of the directory, by name.
std::vector<std::string> DataFileNames(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(error) && IsDataFileName(name)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "damaged-20261211-163501" in the data directory: where damaged files are copied.
std::string AsideDirectory(const std::string& data_directory) {
    const uint32_t date = TodayDate();
    const uint32_t time = NowTime();
    char name[64];
    std::snprintf(name, sizeof name, "damaged-%04d%02d%02d-%02d%02d%02d", DateYear(date),
                  DateMonth(date), DateDay(date), TimeHour(time), TimeMinute(time),
                  TimeSecond(time));
    return data_directory + name;
}

std::string RowsText(int64_t rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

}  // namespace

int tvCommands::Check(bool repair) {
    const std::string directory = app_.DataDirectory();
    if (repair && platform::FileLock::IsHeld(directory + tvServer::kServerLockFile)) {
        return Refuse("A server is running on this database; stop it before repairing.",
                      kMbOk | kMbIconWarning);
    }
    const std::vector<std::string> names = DataFileNames(directory);
    std::string aside;
    int damaged = 0;
    int unmended = 0;
    for (const std::string& name : names) {
        const std::string path = directory + name;
        const recman::FileCheck check = recman::CheckDataFile(path);
        if (check.status != 0) {
            std::fprintf(out_, "%s: cannot be examined: %s\n", name.c_str(),
                         StatusText(check.status).c_str());
            ++damaged;
            ++unmended;
            continue;
        }
        if (check.Sound()) {
            std::fprintf(out_, "%s: sound, %s\n", name.c_str(), RowsText(check.rows).c_str());
            continue;
        }
        ++damaged;
        for (const std::string& problem : check.problems) {
            std::fprintf(out_, "%s: %s\n", name.c_str(), problem.c_str());
        }
        if (!repair) {
            continue;
        }
        // The damaged file is kept as it was before anything is changed in it.
        if (aside.empty()) {
            aside = AsideDirectory(directory);
        }
        std::error_code error;
        fs::create_directories(aside, error);
        const std::string copy = aside + "/" + name;
        if (error || !fs::copy_file(path, copy, fs::copy_options::overwrite_existing, error)) {
            std::fprintf(out_, "%s: not repaired: it could not be copied to %s (%s)\n",
                         name.c_str(), copy.c_str(), error.message().c_str());
            ++unmended;
            continue;
        }
        const recman::FileCheck mended = recman::RepairDataFile(path);
        if (mended.Sound() && mended.rows == check.rows) {
            std::fprintf(out_, "%s: mended, %s kept; the damaged file is kept as %s\n",
                         name.c_str(), RowsText(mended.rows).c_str(), copy.c_str());
            continue;
        }
        ++unmended;
        std::fprintf(
            out_, "%s: could not be mended: %s; the damaged file is kept as %s\n", name.c_str(),
            mended.problems.empty() ? "rows were lost" : mended.problems[0].c_str(), copy.c_str());
    }
    if (damaged == 0) {
        std::fprintf(out_, "All %zu data files are sound\n", names.size());
        return kExitOk;
    }
    if (!repair) {
        std::fprintf(out_,
                     "%d of %zu data files are damaged; \"tolvane check --repair\" mends what "
                     "can be mended without losing rows\n",
                     damaged, names.size());
        return kExitRefused;
    }
    if (unmended > 0) {
        std::fprintf(out_, "%d of %d damaged data files could not be mended\n", unmended, damaged);
        return kExitRefused;
    }
    std::fprintf(out_, "All %d damaged data files were mended\n", damaged);
    return kExitOk;
}

int tvCommands::UnlockServer() {
    cvRec* server = app_.ServerRecord();
    if (server == nullptr || server->Reread() != 0) {
        return kExitRefused;  // the file layer said why
    }
    const int32_t holder = server->GetInt("MACHINENBR");
    if (holder == 0) {
        std::fprintf(out_, "The server lock is free\n");
        return kExitOk;
    }
    if (platform::FileLock::IsHeld(app_.DataDirectory() + tvServer::kServerLockFile)) {
        return Refuse(
            "A server is running on this database on this computer; stop it instead "
            "of clearing its lock.",
            kMbOk | kMbIconWarning);
    }
    const std::string question =
        "Computer " + std::to_string(holder) +
        " holds the server lock. Two servers must never run on one database: clear the lock "
        "only when no server runs on that computer.\n\nClear the server lock?";
    if (app_.MessageBox(question, kMbYesNo | kMbIconWarning | kMbDefButton2) != kIdYes) {
        std::fprintf(out_, "The server lock was left as it was\n");
        return kExitRefused;
    }
    if (server->PutInt("MACHINENBR", 0) == 0 || server->PutDate("LOGINDATE", 0) == 0 ||
        server->PutTime("LOGINTIME", 0) == 0 || server->Save() != 0) {
        return kExitRefused;
    }
    std::fprintf(out_, "The server lock of computer %d was cleared\n", holder);
    return kExitOk;
}
