// The `meter` program's work, callable from tests: meter one source through the bundle.
#pragma once

#include <string>

namespace qelhost {

struct MeterOptions
{
    std::string file;       // empty: the built-in programme
    std::string bundlePath; // empty: next to the executable
    std::string svgPath;
    bool json = false;
    int blockSize = 512;
    bool progress = false; // draw a progress bar on stderr
};

// Parses the command line; on failure answers false with a message in `error`.
bool parseMeterArgs(int argc, char** argv, MeterOptions& options, std::string& error, bool& help);
std::string meterUsage();

// Meters and formats; answers the process exit code. `output` takes stdout text, `notes` stderr notes.
int runMeter(const MeterOptions& options, std::string& output, std::string& error, std::string& notes);

} // namespace qelhost
