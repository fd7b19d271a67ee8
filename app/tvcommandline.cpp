#include "app/tvcommandline.h"

#include <algorithm>
#include <string_view>

namespace {

struct CommandShape {
    std::string_view name;
    size_t minimum;  // arguments after the command
    size_t maximum;
    std::vector<std::string_view> first_words;  // what the first argument may be (any: empty)
};

const std::vector<CommandShape>& Commands() {
    static const std::vector<CommandShape> commands = {
        {"page", 1, SIZE_MAX, {}},
        {"list", 1, 1, {"networks", "devices", "groups", "equipment", "messages"}},
        {"add", 1, SIZE_MAX, {"network", "device", "group", "equipment"}},
        {"set", 2, SIZE_MAX, {"options", "machine"}},
        {"import", 1, 1, {}},
        {"init", 0, 0, {}},
        {"check", 0, 1, {"--repair"}},
        {"unlock-server", 0, 0, {}},
    };
    return commands;
}

const CommandShape* FindCommand(std::string_view name) {
    for (const CommandShape& shape : Commands()) {
        if (shape.name == name) {
            return &shape;
        }
    }
    return nullptr;
}

bool IsOwnOption(std::string_view word) {
    const std::string_view name = word.substr(0, word.find('='));
    return name == "--" || name == "--yes" || name == "--help" || name == "--data" ||
           name == "--ddf" || name == "--headless";
}

}  // namespace

const char* UsageText() {
    return "usage: tolvane [--data DIR] [--ddf DIR] [--yes] COMMAND ...\n"
           "       tolvane [--data DIR] [--ddf DIR] --headless           run the server\n"
           "  page RECIPIENT TEXT...                                queue a page\n"
           "  list networks|devices|groups|equipment|messages\n"
           "  add network|device|group|equipment FIELD=VALUE...\n"
           "  set options|machine FIELD=VALUE...\n"
           "  import DIRECTORY                                      import older files\n"
           "  init                                                  create the database\n"
           "  check [--repair]                                      examine the data files\n"
           "  unlock-server                                         clear a dead server's lock\n";
}

std::string ParseCommandLine(int argc, const char* const* argv, tvCommandLine* line) {
    *line = {};
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        // After the command only the program's own options are options, so that a
        // page's text may hold words like "-5".
        const bool is_option = !options_ended && word.size() > 1 && word.front() == '-' &&
                               (line->command.empty() || IsOwnOption(word));
        if (!is_option) {
            if (line->command.empty()) {
                line->command = word;
            } else {
                line->arguments.emplace_back(word);
            }
            continue;
        }
        if (word == "--") {
            options_ended = true;
            continue;
        }
        if (word == "--yes") {
            line->assume_yes = true;
            continue;
        }
        if (word == "--headless") {
            if (!line->command.empty()) {
                return "--headless goes before any command";
            }
            line->headless = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            line->help = true;
            continue;
        }
        // The directories belong before the command, with their value as the next
        // word or after "=".
        std::optional<std::string>* directory = nullptr;
        std::string_view name = word;
        std::optional<std::string_view> value;
        if (const size_t equals = word.find('='); equals != std::string_view::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
        }
        if (name == "--data") {
            directory = &line->data_directory;
        } else if (name == "--ddf") {
            directory = &line->dictionary_directory;
        }
        if (!directory) {
            return "unknown option " + std::string(word);
        }
        if (!line->command.empty()) {
            return std::string(name) + " goes before the command";
        }
        if (!value) {
            if (i + 1 >= argc) {
                return std::string(name) + " needs a directory";
            }
            value = argv[++i];
        }
        if (value->empty()) {
            return std::string(name) + " needs a directory";
        }
        *directory = std::string(*value);
    }
    if (line->help) {
        return {};
    }
    if (line->headless) {
        return line->command.empty() ? std::string() : "--headless takes no command";
    }
    if (line->command.empty()) {
        return "no command given";
    }
    const CommandShape* shape = FindCommand(line->command);
    if (!shape) {
        return "unknown command " + line->command;
    }
    const size_t count = line->arguments.size();
    if (count < shape->minimum || count > shape->maximum) {
        return "wrong number of arguments for " + line->command;
    }
    if (!shape->first_words.empty() && count > 0 &&
        std::find(shape->first_words.begin(), shape->first_words.end(), line->arguments[0]) ==
            shape->first_words.end()) {
        return "unknown " + line->command + " " + line->arguments[0];
    }
    return {};
}
