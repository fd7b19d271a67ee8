/* A host library for the host-interface tests. Each build exports the entry points
 * its definitions ask for and appends one line per call to the file named by
 * TVAPI_TEST_LOG. */

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

static void record(const char* format, ...) {
    const char* path = getenv("TVAPI_TEST_LOG");
    if (path == NULL) {
        return;
    }
    FILE* file = fopen(path, "a");
    if (file == NULL) {
        return;
    }
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

int tvInitialize(int reserved, int machine_number, const char* dictionary_directory,
                 const char* data_directory, const char* reports_directory) {
    record("tvInitialize %d %d %s %s %s", reserved, machine_number, dictionary_directory,
           data_directory, reports_directory);
    return HOSTLIB_ACCEPT;
}

void tvOnPageMsgStatusChange(int message_number) {
    record("tvOnPageMsgStatusChange %d", message_number);
}

#ifdef HOSTLIB_CLOSE
void tvCloseFiles(void) {
    record("tvCloseFiles");
}
#endif

#ifdef HOSTLIB_POLL
void tvPollHost(void) {
    record("tvPollHost");
}
#endif
