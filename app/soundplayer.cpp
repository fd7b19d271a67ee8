#include "app/soundplayer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace {

// The full path of an executable on the PATH, or empty.
std::string FindOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    if (!path) {
        return {};
    }
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view directory = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (directory.empty()) {
            continue;
        }
        std::string candidate = std::string(directory) + "/" + std::string(program);
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

bool PlaySoundFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::string player = FindOnPath("paplay");
    if (player.empty()) {
        player = FindOnPath("aplay");
    }
    if (player.empty()) {
        return false;
    }
    // Two forks: the grandchild plays and is adopted by init, so nothing is left for
    // this process to reap and nothing waits for the sound.
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        if (fork() == 0) {
            const int null_fd = open("/dev/null", O_RDWR);
            if (null_fd >= 0) {
                dup2(null_fd, STDIN_FILENO);
                dup2(null_fd, STDOUT_FILENO);
                dup2(null_fd, STDERR_FILENO);
            }
            execl(player.c_str(), player.c_str(), path.c_str(), static_cast<char*>(nullptr));
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}
