// tolvane: runs Tolvane's commands on a database without windows (app/tvcommands.h).

#include <csignal>

#include "app/cvwinapp.h"
#include "app/tvcommands.h"

namespace {

std::atomic<bool> g_interrupted{false};

// The first interrupt asks an upgrade in progress to stop at its next row; a second one
// ends the program as usual.
void OnInterrupt(int) {
    g_interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnInterrupt);
    tvRunOptions options;
    options.program_directory = cvWinApp::ProgramDirectory(argc > 0 ? argv[0] : nullptr);
    options.cancel = &g_interrupted;
    return RunTolvane(argc, argv, options);
}
