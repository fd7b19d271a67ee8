// tolvane-ddf: writes the product's dictionary files (TVFILE.DDF, TVFIELD.DDF,
// TVINDEX.DDF) into a directory. The build runs it for the program directory.

#include <cstdio>
#include <string>

#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/tolvaneschema.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    std::string failure;
    const int status =
        WriteDictionaryFiles(argv[1], "TV", BuildDictionaryRows(TolvaneSchema()), &failure);
    if (status != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[0], failure.c_str());
        return 1;
    }
    return 0;
}
