// A second process for the record manager's sharing tests. Files hold 16-byte records
// whose first 4 bytes are key 0 (a unique integer). Each command prints its results on
// standard output, one line each, flushed at once:
//
//   hold <path> <mode>      open, print "open <status>", wait for a line or end of input,
//                           close, print "closed"
//   insert <path> <n>       open, insert record n, print the status
//   get <path> <n>          open, Get Equal n, print the status
//   txn-loop <a> <b>        open both; for n = 1, 2, ...: begin, insert n into each, end,
//                           print n; until killed
//   idle <path>             open, print "ready", wait until killed

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/platform/recman/recmantesting.h"

using namespace recman_testing;

namespace {

Bytes Numbered(int32_t number) {
    Bytes record(16, 0);
    Put32(record, 0, number);
    return record;
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int Hold(const std::string& path, int mode) {
    RecmanFile file;
    const int status = file.Open(path, static_cast<int8_t>(mode));
    Say("open " + std::to_string(status));
    char line[64];
    static_cast<void>(std::fgets(line, sizeof line, stdin));
    if (status == 0) {
        static_cast<void>(file.Close());
    }
    Say("closed");
    return 0;
}

int Insert(const std::string& path, int32_t number) {
    RecmanFile file;
    int status = file.Open(path);
    if (status == 0) {
        Bytes record = Numbered(number);
        status = file.Insert(record);
    }
    Say(std::to_string(status));
    return 0;
}

int Get(const std::string& path, int32_t number) {
    RecmanFile file;
    int status = file.Open(path);
    if (status == 0) {
        Bytes key(4);
        Put32(key, 0, number);
        Bytes record(16);
        status = file.Get(RECMAN_GET_EQUAL, 0, key, record);
    }
    Say(std::to_string(status));
    return 0;
}

int TransactionLoop(const std::string& first_path, const std::string& second_path) {
    RecmanFile first;
    RecmanFile second;
    if (first.Open(first_path) != 0 || second.Open(second_path) != 0) {
        Say("open failed");
        return 1;
    }
    for (int32_t number = 1;; ++number) {
        Bytes a = Numbered(number);
        Bytes b = Numbered(number);
        if (first.Begin() != 0 || first.Insert(a) != 0 || second.Insert(b) != 0 ||
            first.End() != 0) {
            Say("failed");
            return 1;
        }
        Say(std::to_string(number));
    }
}

int Idle(const std::string& path) {
    RecmanFile file;
    const int status = file.Open(path);
    Say(status == 0 ? "ready" : "open " + std::to_string(status));
    for (;;) {
        pause();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "hold" && argc == 4) {
        return Hold(argv[2], std::atoi(argv[3]));
    }
    if (command == "insert" && argc == 4) {
        return Insert(argv[2], std::atoi(argv[3]));
    }
    if (command == "get" && argc == 4) {
        return Get(argv[2], std::atoi(argv[3]));
    }
    if (command == "txn-loop" && argc == 4) {
        return TransactionLoop(argv[2], argv[3]);
    }
    if (command == "idle" && argc == 3) {
        return Idle(argv[2]);
    }
    std::fprintf(stderr, "usage: recman_helper hold|insert|get|txn-loop|idle ...\n");
    return 2;
}
