#include "tests/support/childprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace testing_support {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

std::string BuiltProgram(const std::string& name) {
    const char* binary_dir = std::getenv("TOLVANE_TEST_BINARY_DIR");
    return std::string(binary_dir ? binary_dir : ".") + "/bin/" + name;
}

ProgramResult RunProgram(const std::vector<std::string>& arguments) {
    ChildProcess child;
    ProgramResult result;
    if (child.Start(arguments)) {
        result.exit_status = child.Wait(std::chrono::seconds(60));
    }
    result.out = child.Output();
    result.err = child.Errors();
    return result;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    CloseFd(out_fd_);
    CloseFd(err_fd_);
}

bool ChildProcess::Start(const std::vector<std::string>& arguments) {
    if (pid_ > 0 || arguments.empty()) {
        return false;
    }
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
        return false;
    }
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
        return false;
    }
    // Everything exec needs is made before the fork: the child only duplicates and execs.
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], STDOUT_FILENO);
        ::dup2(err_pipe[1], STDERR_FILENO);
        const int null_input = ::open("/dev/null", O_RDONLY);
        if (null_input >= 0) {
            ::dup2(null_input, STDIN_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (pid < 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        return false;
    }
    pid_ = pid;
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    return true;
}

bool ChildProcess::Pump(std::chrono::milliseconds wait) {
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (out_fd_ < 0 && err_fd_ < 0) {
        return false;
    }
    if (::poll(fds, 2, static_cast<int>(wait.count())) <= 0) {
        return true;
    }
    int* descriptors[2] = {&out_fd_, &err_fd_};
    std::string* sinks[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (*descriptors[i] < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ::read(*descriptors[i], buffer, sizeof buffer);
        if (got > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(got));
        } else {
            CloseFd(*descriptors[i]);
        }
    }
    return out_fd_ >= 0 || err_fd_ >= 0;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Pump(std::min(left, std::chrono::milliseconds(100)))) {
            return out_.find(text) != std::string::npos;
        }
    }
    return true;
}

void ChildProcess::Signal(int signal_number) const {
    if (pid_ > 0) {
        ::kill(pid_, signal_number);
    }
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            while (Pump(std::chrono::milliseconds(0))) {
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        static_cast<void>(Pump(std::chrono::milliseconds(20)));
    }
    return -1;  // still running: the destructor kills it
}

}  // namespace testing_support
