#include "host/meterapp.h"

#include "dsp/prims.h"
#include "host/numbertext.h"
#include "host/outofmemory.h"
#include "host/picturefile.h"
#include "host/report.h"
#include "host/session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qelhost {

namespace {

constexpr const char* kHostVersion = "1.1.0";

// The sample rates the plug-in measures, as "8-384 kHz".
std::string rateRange()
{
    return formatNumber(DSP::kMinSampleRate / 1000.0) + "-" + formatNumber(DSP::kMaxSampleRate / 1000.0) + " kHz";
}

// A refused set-up in the user's terms when the source lies outside what the meter takes, else as
// the session tells it.
std::string setupRefusal(const AudioSource& source, const std::string& error)
{
    if (source.channels() > kMeterMaxChannels)
        return std::to_string(source.channels()) + " channels: the meter takes 1 to " +
               std::to_string(kMeterMaxChannels);
    if (!DSP::isSupportedSampleRate(source.sampleRate()))
        return formatNumber(source.sampleRate()) + " Hz: the sample rate is outside " + rateRange();
    return error;
}

// Why meter names no bundle when it cannot tell where it is: it loads none from any other folder.
constexpr const char* kNoPlace =
    "cannot tell where meter is installed, so cannot find norrik.bundle beside it: "
    "meter needs /proc, or to be started by its path (not from memory or through a descriptor)";

// The bundle the options name, else the one beside the program; empty when there is none.
std::string bundleOf(const std::string& named)
{
    return named.empty() ? defaultBundlePath() : named;
}

} // namespace

std::string meterUsage()
{
    return "usage: meter [FILE...] [--json] [--block N] [--svg OUT.svg]\n"
           "       meter --help | --version\n"
           "  Meters each FILE through the norrik plug-in and prints its readings (loudness in LUFS,\n"
           "  range in LU, true peak in dBTP, the elapsed time) apart from the controls. Without a\n"
           "  file it meters a built-in 20-second stereo test programme; '-' reads standard input.\n"
           "  Files: whatever libsndfile reads: WAV, RF64, W64, AIFF, CAF, FLAC, Ogg (Vorbis, Opus),\n"
           "  MP3 and more, 1 to " +
           std::to_string(kMeterMaxChannels) +
           " channels (the file's channel layout picks the speakers, so\n"
           "  surround channels are weighted and LFE channels left out), sample rates of " +
           rateRange() +
           ".\n"
           "  --json      one JSON object per file, one per line; no reading is null\n"
           "  --block N   host block size, 1 to 65536 (default 512)\n"
           "  --svg FILE  write the meter's display at the end as SVG; with several files one picture\n"
           "              each, numbered by the file's place before the extension: OUT-1.svg, OUT-2.svg ...;\n"
           "              a file already there is replaced only when it is an SVG picture (or empty), and\n"
           "              only whole; a pipe or character device is written into; a link to a file is refused\n"
           "  Control characters in names are shown escaped (\\n, \\x1b) in the text and messages.\n"
           "  Exit status: 0 all metered, 1 a file could not be read, the SVG not written or the\n"
           "  report lost, 2 the plug-in failed or refused the file, 3 the plug-in stopped, 64 a bad\n"
           "  command line; when several files fail, the most severe: 3 over 2 over 1.\n";
}

std::string meterVersion(const std::string& bundlePath)
{
    std::string out = std::string("meter ") + kHostVersion + "\n";
    const std::string bundle = bundleOf(bundlePath);
    if (bundle.empty())
        return out + "plug-in: " + kNoPlace + "\n";
    Session session(bundle);
    std::string error;
    if (!session.load(error))
        return out + "plug-in: " + error + "\n";
    for (const ClassRecord& c : session.classes())
        if (std::strncmp(c.info2.category, "Audio Module Class", sizeof(c.info2.category)) == 0)
            out += "plug-in: " + std::string(c.info2.name, strnlen(c.info2.name, sizeof(c.info2.name))) + " " +
                   std::string(c.info2.version, strnlen(c.info2.version, sizeof(c.info2.version))) + "\n";
    return out;
}

namespace {

// Whether a word of the command line names a source, once "--" has or has not ended the options.
bool isSourceArgument(const char* a, bool optionsEnded)
{
    return optionsEnded || a[0] != '-' || std::strcmp(a, "-") == 0;
}

// Whether an option takes the word after it as its value.
bool takesValue(const char* a)
{
    return std::strcmp(a, "--block") == 0 || std::strcmp(a, "--svg") == 0;
}

} // namespace

bool parseMeterArgs(int argc, char** argv, MeterOptions& o, std::string& error, bool& help, bool& version)
{
    help = version = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (isSourceArgument(argv[i], optionsEnd)) {
            o.files.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (takesValue(argv[i])) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            std::string v = argv[++i];
            if (a == "--svg") {
                if (v.empty()) {
                    error = "--svg needs a file name";
                    return false;
                }
                o.svgPath = v;
                continue;
            }
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != 0 || n < 1 || n > 65536) {
                error = "--block takes a whole number from 1 to 65536, not '" + v + "'";
                return false;
            }
            o.blockSize = static_cast<int>(n);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

void noteShortage(std::string_view source, const MeterNote& note)
{
    note("meter: ");
    putTerminalText(source, note);
    note(": ");
    note(kNoMemory);
    note("\n");
}

int refuseCommandLine(int argc, char** argv, const MeterNote& note)
{
    // The sources in the order parseMeterArgs takes them; help or version meters none.
    bool asked = false;
    int sources = 0;
    const auto eachSource = [&](bool name) {
        bool optionsEnd = false;
        for (int i = 1; i < argc; ++i) {
            const char* a = argv[i];
            if (isSourceArgument(a, optionsEnd)) {
                ++sources;
                if (name)
                    noteShortage(a, note);
            } else if (std::strcmp(a, "--") == 0) {
                optionsEnd = true;
            } else if (takesValue(a)) {
                ++i;
            } else {
                asked = asked || std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0 ||
                        std::strcmp(a, "--version") == 0;
            }
        }
    };
    eachSource(false);
    if (asked) {
        note("meter: ");
        note(kNoMemory);
        note("\n");
    } else if (sources == 0) {
        noteShortage(kTestProgrammeName, note);
    } else {
        eachSource(true);
    }
    return kMeterPluginError;
}

namespace {

struct ProgressBar
{
    bool enabled = false;
    int lastPercent = -1;
    void draw(std::int64_t done, std::int64_t total)
    {
        if (!enabled || total <= 0)
            return;
        int pct = static_cast<int>(std::min<std::int64_t>(done * 100 / total, 100));
        if (pct == lastPercent)
            return;
        lastPercent = pct;
        constexpr int kWidth = 40;
        int fill = pct * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", fill, "########################################", kWidth - fill, "",
                     pct);
        std::fflush(stderr);
    }
    void finish()
    {
        if (enabled && lastPercent >= 0) {
            std::fprintf(stderr, "\r%*s\r", 50, "");
            std::fflush(stderr);
        }
    }
};

// The picture of the n-th of several files: its number before the extension of the name given
// ("out.svg": "out-2.svg"), or after a name without one.
std::string numberedSvgPath(const std::string& path, std::size_t n)
{
    const auto slash = path.find_last_of('/');
    const auto nameAt = slash == std::string::npos ? 0 : slash + 1;
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameAt)
        dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

int meterAll(const MeterOptions& o, const std::function<void(const std::string&)>& output, const MeterNote& noteLine,
             std::size_t& next);

// The name a source is told by.
std::string_view sourceName(const std::string* file)
{
    return file ? std::string_view(*file) : std::string_view(kTestProgrammeName);
}

// Meters one source through `bundle`, its display drawn into `svgPath` unless empty, its blocks in
// `blocks`; answers its exit status. Whatever runs out of memory on the way, its report and picture
// come out whole or not at all: the picture is drawn while the plug-in runs and written, like the
// report, only once the rest of the host's call order has gone through.
int meterSource(const MeterOptions& o, const std::string& bundle, BlockMemory& blocks, const std::string* file,
                const std::string& svgPath, const std::function<void(const std::string&)>& output,
                const std::function<void(const std::string&)>& note, const MeterNote& noteLine)
{
    // Memory that either side could not have on the way: the file fails for it, with that reason,
    // whatever step noticed it, and no reading is reported.
    const std::uint64_t failuresBefore = memoryFailures();
    const auto outOfMemory = [failuresBefore] { return memoryFailures() != failuresBefore; };
    const std::string_view name = sourceName(file);
    const auto fail = [&](const std::string& why, int status) {
        // A step that could not have its memory may say how much it wanted.
        if (why.rfind("cannot allocate", 0) == 0)
            note("meter: " + std::string(name) + ": " + why + "\n");
        else if (outOfMemory() || why == kNoMemory)
            noteShortage(name, noteLine);
        else
            note("meter: " + std::string(name) + ": " + why + "\n");
        return status;
    };
    std::string error;
    std::unique_ptr<AudioSource> source = file ? openAudioFile(*file, error) : makeTestProgramme();
    if (!source) {
        note("meter: " + error + "\n");
        return kMeterInputError;
    }
    Session session(bundle, o.linkedIn, &blocks);
    if (!session.load(error) || !session.create(error))
        return fail(error, kMeterPluginError);
    if (!session.setup(source->sampleRate(), source->channels(), o.blockSize, error, source->speakers()))
        return fail(setupRefusal(*source, error), kMeterPluginError);
    // Without a picture nobody sees the display while the file is metered.
    session.displayShown = !svgPath.empty();
    if (o.onSetUp)
        o.onSetUp(session);
    // The host hands the controller's current scale to the processor with the first block.
    if (session.controller())
        session.setParameter(48, session.controller()->getParamNormalized(48));
    ProgressBar bar;
    bar.enabled = o.progress && source->frames() > static_cast<std::int64_t>(60.0 * source->sampleRate());
    const bool ran = session.run(
        *source, [&bar](std::int64_t d, std::int64_t t) { bar.draw(d, t); }, error);
    bar.finish();
    std::string warnings = source->warnings();
    for (std::size_t at = 0; at < warnings.size();) {
        std::size_t end = warnings.find('\n', at);
        note("meter: warning: " + std::string(name) + ": " + warnings.substr(at, end - at) + "\n");
        at = end + 1;
    }
    if (!ran)
        return fail(error, session.stalled() ? kMeterStalled : kMeterPluginError);
    // Offline the plug-in completes its readings before it writes them: one read-out is final.
    if (!session.readOut(&error))
        return fail(error, session.stalled() ? kMeterStalled : kMeterPluginError);

    MeterReport report;
    report.file = name;
    report.sampleRate = source->sampleRate();
    report.channels = source->channels();
    report.seconds = static_cast<double>(session.framesRead()) / source->sampleRate();
    report.params = session.values();
    if (outOfMemory())
        return fail("", kMeterPluginError);
    int status = kMeterOk;
    std::string svg;
    if (!svgPath.empty() && !session.drawSvg(svg, error)) {
        if (outOfMemory())
            return fail("", kMeterPluginError);
        note("meter: --svg: " + error + "\n");
        status = kMeterInputError;
    }

    // The rest of the host's call order: state round trip and a re-set-up with another block size.
    // Those only warn, unless memory ran out on the way.
    std::vector<std::string> warned;
    const auto warn = [&](const std::string& why) {
        warned.push_back("meter: warning: " + std::string(name) + ": " + why + "\n");
    };
    std::vector<std::uint8_t> state;
    if (!session.saveState(state) || !session.restoreState(state))
        warn("the processor's state did not survive a save and restore");
    int other = o.blockSize > 1 ? o.blockSize / 2 : 2;
    if (!session.resetup(other, error))
        warn("re-set-up failed: " + error);
    else if (session.processBlock(nullptr, other) != kResultOk)
        warn("the plug-in failed to process a block after the re-set-up");
    session.teardown();
    if (outOfMemory())
        return fail("", kMeterPluginError);
    for (const std::string& line : warned)
        note(line);

    const std::string text = o.json ? formatJson(report) : formatText(report);
    if (!svg.empty() && !writePictureFile(svgPath, svg, error)) {
        note("meter: --svg: " + error + "\n");
        status = kMeterInputError;
    }
    output(text);
    return status;
}

// meterSource(), or when memory runs out on the way, the message that says so, made without memory,
// and the status of a refused set-up.
int meterOne(const MeterOptions& o, const std::string& bundle, BlockMemory& blocks, const std::string* file,
             const std::string& svgPath, const std::function<void(const std::string&)>& output,
             const std::function<void(const std::string&)>& note, const MeterNote& noteLine)
{
    try {
        return meterSource(o, bundle, blocks, file, svgPath, output, note, noteLine);
    } catch (const std::bad_alloc&) {
        noteShortage(sourceName(file), noteLine);
        return kMeterPluginError;
    }
}

} // namespace

int runMeter(const MeterOptions& o, const std::function<void(const std::string&)>& output, const MeterNote& noteLine)
{
    // Out of memory before or between the files (a file's own shortage is that file's failure):
    // each source not yet metered is named.
    std::size_t next = 0;
    try {
        return meterAll(o, output, noteLine, next);
    } catch (const std::bad_alloc&) {
        if (o.files.empty())
            noteShortage(kTestProgrammeName, noteLine);
        for (std::size_t i = next; i < o.files.size(); ++i)
            noteShortage(o.files[i], noteLine);
        return kMeterPluginError;
    }
}

namespace {

int meterAll(const MeterOptions& o, const std::function<void(const std::string&)>& output, const MeterNote& noteLine,
             std::size_t& next)
{
    // One line each, whatever the names in them hold.
    const std::function<void(const std::string&)> note = [&noteLine](const std::string& line) {
        const bool ended = !line.empty() && line.back() == '\n';
        noteLine(terminalText(ended ? line.substr(0, line.size() - 1) : line) + (ended ? "\n" : ""));
    };
    // One picture per file: several are told apart by their place on the command line.
    const auto svgOf = [&o](std::size_t i) {
        return o.files.size() > 1 && !o.svgPath.empty() ? numberedSvgPath(o.svgPath, i + 1) : o.svgPath;
    };
    if (!o.svgPath.empty()) {
        // Every name is checked before anything is metered, the name given too when only numbered
        // ones are written: a picture must not take a file's place.
        std::vector<std::string> names;
        if (o.files.size() > 1)
            names.push_back(o.svgPath);
        for (std::size_t i = 0; i < std::max<std::size_t>(o.files.size(), 1); ++i)
            names.push_back(svgOf(i));
        bool makesFiles = false;
        for (const std::string& name : names) {
            std::string problem;
            const PictureSite site = pictureSite(name, problem);
            if (site == PictureSite::Refused) {
                note("meter: --svg: " + problem + "\n");
                return kMeterUsage;
            }
            makesFiles = makesFiles || site != PictureSite::Stream;
        }
        if (std::string why = makesFiles ? pictureFolderProblem(o.svgPath) : ""; !why.empty()) {
            note("meter: cannot write " + o.svgPath + ": " + why + "\n");
            return kMeterInputError;
        }
    }
    const std::string bundle = bundleOf(o.bundlePath);
    if (bundle.empty()) {
        note(std::string("meter: ") + kNoPlace + "\n");
        return kMeterPluginError;
    }
    // Each file's set-up takes the memory of the blocks in flight that the one before it had.
    BlockMemory blocks;
    if (o.files.empty())
        return meterOne(o, bundle, blocks, nullptr, o.svgPath, output, note, noteLine);
    int status = kMeterOk;
    for (; next < o.files.size(); ++next) {
        int rc = meterOne(o, bundle, blocks, &o.files[next], svgOf(next), output, note, noteLine);
        if (rc == kMeterStalled)
            return rc;
        status = std::max(status, rc);
    }
    return status;
}

} // namespace

} // namespace qelhost
