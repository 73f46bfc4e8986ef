// meter: meters audio files (or a built-in test programme) through the norrik plug-in bundle.
#include "host/meterapp.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    qelhost::MeterOptions options;
    std::string error;
    bool help = false, version = false;
    if (!qelhost::parseMeterArgs(argc, argv, options, error, help, version)) {
        std::fprintf(stderr, "meter: %s\n%s", error.c_str(), qelhost::meterUsage().c_str());
        return qelhost::kMeterUsage;
    }
    if (help || version) {
        std::fputs(help ? qelhost::meterUsage().c_str() : qelhost::meterVersion(options.bundlePath).c_str(), stdout);
        return 0;
    }
    options.progress = isatty(STDERR_FILENO) != 0;
    const int status = qelhost::runMeter(
        options,
        [](const std::string& s) {
            std::fputs(s.c_str(), stdout);
            std::fflush(stdout);
        },
        [](const std::string& s) { std::fputs(s.c_str(), stderr); });
    if (status == qelhost::kMeterStalled) {
        // The audio thread is stuck inside the plug-in: end without running its exit handlers.
        std::fflush(stdout);
        std::_Exit(status);
    }
    return status;
}
