// The `meter` program's work, callable from tests: meter sources through the bundle.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/session.h"

namespace qelhost {

struct MeterOptions
{
    std::vector<std::string> files; // none: the built-in programme; "-" is standard input
    std::string bundlePath;         // empty: next to the executable
    std::string svgPath;            // empty: no picture; with several files one each, numbered
    bool json = false;
    int blockSize = 512;
    bool progress = false; // draw a progress bar on stderr
    // Tests: a plug-in linked into the process instead of the bundle's, and a look into each
    // session once it is set up.
    PluginEntries linkedIn;
    std::function<void(Session&)> onSetUp;
};

// Where warnings and errors go: each call a piece of text, each line ended by '\n'.
using MeterNote = std::function<void(std::string_view)>;

// Parses the command line; on failure answers false with a message in `error`. `help` and
// `version` say that those were asked for.
bool parseMeterArgs(int argc, char** argv, MeterOptions& options, std::string& error, bool& help, bool& version);
// When memory is short before the command line could be taken: names each source it gives as not
// metered (`meter: FILE: cannot allocate memory`, or without a file the built-in programme; only
// `meter: cannot allocate memory` when it asks for help or the version) through `note`, allocating
// nothing. Answers kMeterPluginError.
int refuseCommandLine(int argc, char** argv, const MeterNote& note);
// `meter: SOURCE: cannot allocate memory`, the name escaped as terminalText does, through `note`,
// allocating nothing.
void noteShortage(std::string_view source, const MeterNote& note);
std::string meterUsage();
// The host's version and, when the bundle loads, the plug-in's name and version.
std::string meterVersion(const std::string& bundlePath);

// The most channels the plug-in takes.
constexpr int kMeterMaxChannels = 14;

// Exit statuses: 0 every source metered, 1 a source could not be read, the SVG not written or
// (in `meter`) the report lost,
// 2 the plug-in could not be loaded or refused the set-up, 3 the plug-in stopped in a process call
// (its thread cannot be ended: the process should end at once), 64 a bad command line. Each is more
// severe than the one before.
enum MeterStatus
{
    kMeterOk = 0,
    kMeterInputError = 1,
    kMeterPluginError = 2,
    kMeterStalled = 3,
    kMeterUsage = 64
};

// Meters every source in turn: `output` takes each report (stdout) as it is done, `note` each
// warning and error line (stderr, prefixed "meter: ", control characters in it escaped as
// terminalText does). Answers the exit status: the most severe of the sources' (0 when none
// failed), whatever their order. A stalled plug-in ends the run. Out of memory, a source gets no
// report and no picture (an earlier picture of its name stays): it is named with the cause, even
// when memory stays short, and the status is kMeterPluginError.
int runMeter(const MeterOptions& options, const std::function<void(const std::string&)>& output, const MeterNote& note);

} // namespace qelhost
