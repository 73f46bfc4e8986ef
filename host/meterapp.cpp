#include "host/meterapp.h"

#include "host/session.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qelhost {

std::string meterUsage()
{
    return "usage: meter [FILE] [--json] [--block N] [--svg FILE]\n"
           "  Meters FILE (WAV, FLAC or AIFF; mono or stereo) through the norrik plug-in,\n"
           "  or a built-in 20-second stereo test programme when no file is given.\n";
}

bool parseMeterArgs(int argc, char** argv, MeterOptions& o, std::string& error, bool& help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json") {
            o.json = true;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--block" || a == "--svg") {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            std::string v = argv[++i];
            if (a == "--svg") {
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
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            error = "unknown option " + a;
            return false;
        } else if (o.file.empty()) {
            o.file = a;
        } else {
            error = "only one file can be metered at a time";
            return false;
        }
    }
    return true;
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
        int pct = static_cast<int>(done * 100 / total);
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

} // namespace

int runMeter(const MeterOptions& o, std::string& output, std::string& error, std::string& notes)
{
    std::unique_ptr<AudioSource> source;
    if (o.file.empty()) {
        source = makeTestProgramme();
    } else {
        source = openAudioFile(o.file, error);
        if (!source)
            return 1;
    }
    Session session(o.bundlePath.empty() ? defaultBundlePath() : o.bundlePath);
    if (!session.load(error) || !session.create(error) ||
        !session.setup(source->sampleRate(), source->channels(), o.blockSize, error))
        return 2;

    // The host hands the controller's current scale to the processor with the first block.
    if (session.controller())
        session.setParameter(48, session.controller()->getParamNormalized(48));
    ProgressBar bar;
    bar.enabled = o.progress && source->frames() > static_cast<std::int64_t>(60.0 * source->sampleRate());
    if (!session.run(
            *source, [&bar](std::int64_t d, std::int64_t t) { bar.draw(d, t); }, error)) {
        bar.finish();
        return 2;
    }
    bar.finish();
    session.readOut(true);

    MeterReport report;
    report.file = o.file.empty() ? source->name() : o.file;
    report.sampleRate = source->sampleRate();
    report.channels = source->channels();
    report.seconds = static_cast<double>(session.samplesProcessed()) / source->sampleRate();
    report.params = session.values();
    if (!o.svgPath.empty() && !session.writeSvg(o.svgPath, error)) {
        notes += "meter: --svg: " + error + "\n";
        error.clear();
    }

    // The rest of the host's call order: state round trip and a re-set-up with another block size.
    std::vector<std::uint8_t> state;
    if (!session.saveState(state) || !session.restoreState(state))
        notes += "meter: the processor's state did not survive a save and restore\n";
    int other = o.blockSize > 1 ? o.blockSize / 2 : 2;
    if (!session.resetup(other, error)) {
        notes += "meter: re-set-up failed: " + error + "\n";
        error.clear();
    } else {
        session.processBlock(nullptr, other);
    }
    session.teardown();

    output = o.json ? formatJson(report) : formatText(report);
    return 0;
}

} // namespace qelhost
