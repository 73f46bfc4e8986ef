// meter: meters an audio file (or a built-in test programme) through the norrik plug-in bundle.
#include "host/meterapp.h"

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv)
{
    qelhost::MeterOptions options;
    std::string error;
    bool help = false;
    if (!qelhost::parseMeterArgs(argc, argv, options, error, help)) {
        std::fprintf(stderr, "meter: %s\n%s", error.c_str(), qelhost::meterUsage().c_str());
        return 64;
    }
    if (help) {
        std::fputs(qelhost::meterUsage().c_str(), stdout);
        return 0;
    }
    options.progress = isatty(STDERR_FILENO) != 0;
    std::string output, notes;
    int rc = qelhost::runMeter(options, output, error, notes);
    std::fputs(notes.c_str(), stderr);
    if (rc != 0) {
        std::fprintf(stderr, "meter: %s\n", error.c_str());
        return rc;
    }
    std::fputs(output.c_str(), stdout);
    return 0;
}
