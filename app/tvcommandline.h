#pragma once
// The command line of the `tolvane` program:
//
//   tolvane [--data DIR] [--ddf DIR] --headless
//   tolvane [--data DIR] [--ddf DIR] [--yes] COMMAND ARGUMENTS...
//     page RECIPIENT TEXT...
//     list networks|devices|groups|equipment|messages
//     add network|device|group|equipment FIELD=VALUE...
//     set options|machine FIELD=VALUE...
//     import DIRECTORY
//     init
//     check [--repair]
//     unlock-server
//
// --headless runs the paging server without windows (app/tvheadless.h) and takes no
// command. --data and --ddf name the data and dictionary directories for this run; --yes (also
// after the command) answers every question Yes; "--" ends the options, so that a
// page's text may begin with "-".

#include <optional>
#include <string>
#include <vector>

struct tvCommandLine {
    std::optional<std::string> data_directory;
    std::optional<std::string> dictionary_directory;
    bool assume_yes = false;
    bool help = false;
    bool headless = false;  // run the server; no command
    std::string command;
    std::vector<std::string> arguments;  // after the command, options removed
};

// Parses argv[1..argc-1]. Returns an empty text when the line is well formed, else
// what is wrong with it (the usage text goes with it).
std::string ParseCommandLine(int argc, const char* const* argv, tvCommandLine* line);

// The short usage text, ending with a line feed.
const char* UsageText();
