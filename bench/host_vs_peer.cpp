// `meter` against a scanner built on libebur128, on a 30-minute stereo 48 kHz float file: the CPU
// time, wall time and peak memory of each process, and meter's share of the peer's. The file is
// generated once into /tmp (never committed); both programs read it from the page cache.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const std::string kFile = "/tmp/norrik-bench-30min-stereo48k.wav";
constexpr int kRate = 48000;
constexpr std::int64_t kFrames = 30LL * 60 * kRate;
// Many short files, as a batch scan meets them.
constexpr int kShortFiles = 40;
constexpr std::int64_t kShortFrames = 3LL * kRate;
// Many shorter files of every channel count and several rates.
constexpr int kMixedFiles = 200;

std::string shortFile(int k)
{
    return "/tmp/norrik-bench-short-" + std::to_string(k) + ".wav";
}

std::string mixedFile(int k)
{
    return "/tmp/norrik-bench-mixed-" + std::to_string(k) + ".wav";
}

// A programme with a changing level: noise and tones whose gain steps every `step` seconds, from a
// fixed seed; 16-bit samples with `pcm16`, else float.
bool makeProgramme(const std::string& path, std::int64_t frames, std::uint32_t seed, std::int64_t step,
                   int channels = 2, int rate = kRate, bool pcm16 = false)
{
    struct stat st
    {};
    if (stat(path.c_str(), &st) == 0 && st.st_size > frames * (pcm16 ? 2 : 4) * channels)
        return true;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | (pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
    const std::string tmp = path + ".part";
    SNDFILE* f = sf_open(tmp.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<float> buf(static_cast<std::size_t>(channels) * static_cast<std::size_t>(rate));
    for (std::int64_t at = 0; at < frames; at += rate) {
        const std::int64_t second = at / rate;
        const int chunk = static_cast<int>(std::min<std::int64_t>(rate, frames - at));
        const double gain = std::pow(10.0, (-30.0 + 6.0 * static_cast<double>((second / step + seed) % 5)) / 20.0);
        for (int i = 0; i < chunk; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double n = static_cast<double>(seed) / 2147483648.0 - 1.0;
            const double t = static_cast<double>(at + i) / rate;
            for (int c = 0; c < channels; ++c)
                buf[static_cast<std::size_t>(channels * i + c)] =
                    static_cast<float>(gain * (0.5 * n + 0.5 * std::sin(6.283185307179586 * (440.0 + 220.0 * c) * t)));
        }
        if (sf_writef_float(f, buf.data(), chunk) != chunk) {
            sf_close(f);
            return false;
        }
    }
    sf_close(f);
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

struct Usage
{
    double cpu = 0.0, sys = 0.0, wall = 0.0, peakMiB = 0.0, faults = 0.0;
    int status = -1;
};

// Runs a program with its output discarded, or written to `out`; its CPU time (user + system),
// system time, wall time, peak resident memory and page faults (minor: memory had from the system).
Usage runProgram(const std::vector<std::string>& args, const std::string& out = "/dev/null")
{
    Usage u;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return u;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    u.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    u.sys = static_cast<double>(ru.ru_stime.tv_sec) + static_cast<double>(ru.ru_stime.tv_usec) * 1e-6;
    u.peakMiB = static_cast<double>(ru.ru_maxrss) / 1024.0;
    u.faults = static_cast<double>(ru.ru_minflt);
    u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return u;
}

// Another build of meter to pair with, from NORRIK_BENCH_BASELINE (a path), run in the same
// iterations in alternating order; none when unset.
std::string baselineMeter()
{
    const char* path = std::getenv("NORRIK_BENCH_BASELINE");
    return path && *path ? path : "";
}

// `args` with the baseline in place of the program.
std::vector<std::string> withProgram(std::vector<std::string> args, const std::string& program)
{
    args.front() = program;
    return args;
}

// Runs `ours` and, when there is a baseline, `theirs`: the baseline first in every other iteration
// (the `k`th), so that neither has the machine's warmer or cooler moments to itself.
template <class Ours, class Theirs>
void inTurn(std::size_t k, const std::string& baseline, Ours ours, Theirs theirs)
{
    if (!baseline.empty() && k % 2 == 1)
        theirs();
    ours();
    if (!baseline.empty() && k % 2 == 0)
        theirs();
}

void MeterVsPeer(benchmark::State& state)
{
    const std::string peer = NORRIK_PEER_PATH;
    if (peer.empty()) {
        state.SkipWithError("libebur128 was not found when building: no peer to compare with");
        return;
    }
    if (!makeProgramme(kFile, kFrames, 20261207u, 10)) {
        state.SkipWithError("cannot write the test file in /tmp");
        return;
    }
    Usage m{}, p{};
    double meterPeak = 0.0, peerPeak = 0.0;
    for (auto _ : state) {
        // Side by side in each iteration, the peer first and then meter on the same file.
        Usage pu = runProgram({peer, kFile});
        Usage mu = runProgram({NORRIK_METER_PATH, kFile});
        if (pu.status != 0 || mu.status != 0) {
            state.SkipWithError("a program failed");
            return;
        }
        state.SetIterationTime(mu.wall);
        m.cpu += mu.cpu;
        m.wall += mu.wall;
        p.cpu += pu.cpu;
        p.wall += pu.wall;
        meterPeak = std::max(meterPeak, mu.peakMiB);
        peerPeak = std::max(peerPeak, pu.peakMiB);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["meter_cpu_s"] = m.cpu / n;
    state.counters["meter_wall_s"] = m.wall / n;
    state.counters["meter_peak_MiB"] = meterPeak;
    state.counters["peer_cpu_s"] = p.cpu / n;
    state.counters["peer_wall_s"] = p.wall / n;
    state.counters["peer_peak_MiB"] = peerPeak;
    state.counters["cpu_ratio"] = m.cpu / p.cpu;    // target at most 0.30
    state.counters["wall_ratio"] = m.wall / p.wall; // target at most 0.25
}
BENCHMARK(MeterVsPeer)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

// Runs of meter over many files, each iteration beside a run of the first file alone (or whatever
// `firstArgs` say) and, `withPeer`, the peer scanning each file in a process of its own: the counters
// the many-file cases report, the faults the run makes beyond the first run spread over `added`
// files (all but the first unless given). With a baseline build, the same runs of it in each
// iteration, in turn before and after meter's, and its counters beside meter's. False when meter
// did not end with `status` (the state then says so).
bool measureManyFiles(benchmark::State& state, const std::vector<std::string>& meterArgs,
                      const std::vector<std::string>& firstArgs, const std::vector<std::string>& files,
                      bool withPeer = true, int status = 0, std::size_t added = 0)
{
    const std::string peer = withPeer ? NORRIK_PEER_PATH : "";
    const std::string baseline = baselineMeter();
    Usage m{}, one{}, p{}, b{}, bone{};
    double peak = 0.0, basePeak = 0.0;
    std::size_t iteration = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < files.size() && !peer.empty(); ++k) {
            const Usage pu = runProgram({peer, files[k]});
            p.cpu += pu.cpu;
            p.wall += pu.wall;
        }
        Usage ou{}, mu{}, bou{}, bu{};
        inTurn(
            iteration++, baseline,
            [&] {
                ou = runProgram(firstArgs);
                mu = runProgram(meterArgs);
            },
            [&] {
                bou = runProgram(withProgram(firstArgs, baseline));
                bu = runProgram(withProgram(meterArgs, baseline));
            });
        if (mu.status != status || ou.status != status ||
            (!baseline.empty() && (bu.status != status || bou.status != status))) {
            state.SkipWithError("meter failed");
            return false;
        }
        state.SetIterationTime(mu.wall);
        m.cpu += mu.cpu;
        m.sys += mu.sys;
        m.wall += mu.wall;
        m.faults += mu.faults;
        one.faults += ou.faults;
        peak = std::max(peak, mu.peakMiB);
        b.cpu += bu.cpu;
        b.wall += bu.wall;
        b.faults += bu.faults;
        bone.faults += bou.faults;
        basePeak = std::max(basePeak, bu.peakMiB);
    }
    const double n = static_cast<double>(state.iterations());
    // What each file after the first adds: the run beyond a run of the first file alone, which every
    // run makes once.
    const double others = static_cast<double>(added > 0 ? added : files.size() - 1);
    state.counters["meter_cpu_s"] = m.cpu / n;
    state.counters["meter_sys_s"] = m.sys / n;
    state.counters["meter_wall_s"] = m.wall / n;
    state.counters["meter_peak_MiB"] = peak;
    state.counters["wall_over_cpu"] = m.wall / m.cpu;
    state.counters["faults_per_file"] = (m.faults - one.faults) / others / n;
    state.counters["meter_faults"] = m.faults / n; // the whole run's
    if (!peer.empty()) {
        state.counters["peer_cpu_s"] = p.cpu / n;
        state.counters["cpu_ratio"] = m.cpu / p.cpu;
    }
    if (!baseline.empty()) {
        state.counters["base_cpu_s"] = b.cpu / n;
        state.counters["base_wall_s"] = b.wall / n;
        state.counters["base_peak_MiB"] = basePeak;
        state.counters["base_faults_per_file"] = (b.faults - bone.faults) / others / n;
        state.counters["base_faults"] = b.faults / n;
        state.counters["cpu_vs_base"] = m.cpu / b.cpu;
        state.counters["wall_vs_base"] = m.wall / b.wall;
    }
    return true;
}

// 40 three-second files in one run of meter: a run that sleeps between or after files shows as wall
// time beyond CPU time, and one whose files each have memory from the system anew, rather than what
// the file before them had, as page faults per file. The peer scans the same files, one process each.
void ManyShortFiles(benchmark::State& state)
{
    std::vector<std::string> meterArgs = {NORRIK_METER_PATH}, files;
    for (int k = 0; k < kShortFiles; ++k) {
        if (!makeProgramme(shortFile(k), kShortFrames, 1000u + static_cast<std::uint32_t>(k), 1)) {
            state.SkipWithError("cannot write the test files in /tmp");
            return;
        }
        files.push_back(shortFile(k));
        meterArgs.push_back(shortFile(k));
    }
    // Targets: wall time at most 1.15 of CPU time; at most 100 faults a file (the blocks in flight of
    // one file are some 3400 pages).
    measureManyFiles(state, meterArgs, {NORRIK_METER_PATH, shortFile(0)}, files);
}
BENCHMARK(ManyShortFiles)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(5);

// 200 files of 1 to 3 s, 1 to 14 channels at 44.1, 48 and 96 kHz, in one run of meter, with its
// picture (svg 1) or without: memory a file has from the system anew, rather than what the file
// before it had, shows as system time and page faults per file. The peer scans the same files, one
// process each.
void ManyMixedFiles(benchmark::State& state)
{
    const bool svg = state.range(0) != 0;
    const std::string pictures = "/tmp/norrik-bench-mixed-pictures";
    std::vector<std::string> options = {NORRIK_METER_PATH, "--json"};
    if (svg) {
        mkdir(pictures.c_str(), 0755);
        options.insert(options.end(), {"--svg", pictures + "/out.svg"});
    }
    std::vector<std::string> meterArgs = options, files;
    std::uint32_t pick = 20261208u;
    const auto next = [&pick](std::uint32_t n) {
        pick = pick * 1664525u + 1013904223u;
        return (pick >> 8) % n;
    };
    for (int k = 0; k < kMixedFiles; ++k) {
        const int rates[] = {44100, 48000, 96000};
        const int channels = 1 + static_cast<int>(next(14));
        const int rate = rates[next(3)];
        const std::int64_t frames = rate + static_cast<std::int64_t>(next(2 * static_cast<std::uint32_t>(rate)));
        if (!makeProgramme(mixedFile(k), frames, 2000u + static_cast<std::uint32_t>(k), 1, channels, rate, true)) {
            state.SkipWithError("cannot write the test files in /tmp");
            return;
        }
        files.push_back(mixedFile(k));
        meterArgs.push_back(mixedFile(k));
    }
    std::vector<std::string> firstArgs = options;
    firstArgs.push_back(mixedFile(0));
    // Faults a file: mostly the memory of a larger shape than any before it, the first time one comes.
    measureManyFiles(state, meterArgs, firstArgs, files);
}
BENCHMARK(ManyMixedFiles)->ArgName("svg")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

// Many files of every shape: 30 files a run, each of `channels` channels at `rate` Hz, 1 to 3 s
// long (`ms` 0) or `ms` milliseconds, in blocks of `block` frames, with the picture (`svg` 1) or
// without. A file after the first should add next to no page faults, whatever its shape: its set-up
// has the memory of the file before it. 15 channels are refused, file after file.
constexpr int kShapeFiles = 30;

std::string shapeFile(int channels, int rate, std::int64_t frames, int k)
{
    return "/tmp/norrik-bench-shape-" + std::to_string(channels) + "ch-" + std::to_string(rate) + "-" +
           std::to_string(frames) + "-" + std::to_string(k) + ".wav";
}

// meter's options for a block and, `svg`, pictures in a folder of the benchmark's.
std::vector<std::string> shapeOptions(int block, bool svg)
{
    std::vector<std::string> options = {NORRIK_METER_PATH, "--json", "--block", std::to_string(block)};
    if (svg) {
        const std::string pictures = "/tmp/norrik-bench-shape-pictures";
        mkdir(pictures.c_str(), 0755);
        options.insert(options.end(), {"--svg", pictures + "/out.svg"});
    }
    return options;
}

struct Shape
{
    int channels;
    int rate;
    std::int64_t ms; // 0: 1 to 3 s
};

// The files of one run, the k-th of the shape `shapeOf(k)`.
template <class ShapeOf>
bool makeShapeFiles(std::vector<std::string>& files, int count, std::uint32_t seed, ShapeOf shapeOf)
{
    std::uint32_t pick = seed;
    for (int k = 0; k < count; ++k) {
        const Shape shape = shapeOf(k);
        pick = pick * 1664525u + 1013904223u;
        const std::int64_t frames =
            shape.ms > 0
                ? shape.rate * shape.ms / 1000
                : shape.rate + static_cast<std::int64_t>((pick >> 8) % (2u * static_cast<std::uint32_t>(shape.rate)));
        const std::string file = shapeFile(shape.channels, shape.rate, frames, k);
        if (!makeProgramme(file, frames, seed + static_cast<std::uint32_t>(k), 1, shape.channels, shape.rate, true))
            return false;
        files.push_back(file);
    }
    return true;
}

// One run of meter over `files`, beside a run of the first alone; or, `twice`, a run over them
// twice beside a run over them once, so that the faults count what each file of the second pass has
// anew, rather than what the largest shape of the first needs once.
bool measureShapeRun(benchmark::State& state, const std::vector<std::string>& files, int block, bool svg,
                     int status = 0, bool twice = false)
{
    const std::vector<std::string> options = shapeOptions(block, svg);
    std::vector<std::string> meterArgs = options, firstArgs = options;
    meterArgs.insert(meterArgs.end(), files.begin(), files.end());
    if (twice) {
        firstArgs = meterArgs;
        meterArgs.insert(meterArgs.end(), files.begin(), files.end());
    } else {
        firstArgs.push_back(files.front());
    }
    return measureManyFiles(state, meterArgs, firstArgs, files, false, status, twice ? files.size() : 0);
}

void ManyFilesOfOneShape(benchmark::State& state)
{
    const Shape shape{static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), state.range(2)};
    std::vector<std::string> files;
    if (!makeShapeFiles(files, kShapeFiles, 3000u + static_cast<std::uint32_t>(shape.channels),
                        [&](int) { return shape; })) {
        state.SkipWithError("cannot write the test files in /tmp");
        return;
    }
    // Every file refused at 15 channels: meter ends with status 2.
    measureShapeRun(state, files, static_cast<int>(state.range(3)), state.range(4) != 0, shape.channels > 14 ? 2 : 0);
}
BENCHMARK(ManyFilesOfOneShape)
    ->ArgNames({"ch", "rate", "ms", "block", "svg"})
    ->ArgsProduct({benchmark::CreateDenseRange(1, 15, 1), {48000}, {0}, {512}, {0}})
    ->Args({2, 48000, 0, 4096, 0})
    ->Args({6, 48000, 0, 4096, 0})
    ->Args({14, 48000, 0, 4096, 0})
    ->Args({6, 48000, 0, 512, 1})
    ->Args({14, 48000, 0, 4096, 1})
    ->ArgsProduct({{2, 6}, {44100, 88200, 96000, 176400, 192000}, {0}, {512}, {0}})
    ->Args({2, 48000, 200, 512, 0})
    ->Args({6, 48000, 200, 512, 0})
    ->Args({14, 48000, 200, 512, 0})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(3);

// Shapes that change from file to file: 2 and 14 channels in turn (`mixed` 0), or any of 1 to 14
// channels at any of six rates from 44.1 to 192 kHz, 0.2 to 3 s long, in no order (`mixed` 1). The
// files are metered twice in one run: the faults a file adds are those of the second pass.
void ManyFilesOfChangingShape(benchmark::State& state)
{
    const bool mixed = state.range(0) != 0;
    std::uint32_t pick = 20261209u;
    const auto next = [&pick](std::uint32_t n) {
        pick = pick * 1664525u + 1013904223u;
        return static_cast<int>((pick >> 8) % n);
    };
    const int rates[] = {44100, 48000, 88200, 96000, 176400, 192000};
    std::vector<std::string> files;
    const bool made = mixed ? makeShapeFiles(files, 60, 5000u,
                                             [&](int) {
                                                 return Shape{1 + next(14), rates[next(6)], 200 + next(2801)};
                                             })
                            : makeShapeFiles(files, kShapeFiles, 4000u, [](int k) {
                                  return Shape{k % 2 ? 14 : 2, 48000, 0};
                              });
    if (!made) {
        state.SkipWithError("cannot write the test files in /tmp");
        return;
    }
    measureShapeRun(state, files, static_cast<int>(state.range(1)), state.range(2) != 0, 0, true);
}
BENCHMARK(ManyFilesOfChangingShape)
    ->ArgNames({"mixed", "block", "svg"})
    ->ArgsProduct({{0, 1}, {512, 4096}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(3);

// meter's peak memory on a 3-second file of `channels` channels at `rate` Hz in blocks of `block`
// frames, the median of the iterations; with a baseline build, its peak on the same file in the same
// iterations, in turn before and after meter's. Targets: at most 160 MiB for 8 channels and 280 MiB
// for 14 at 48 kHz and 65536 frames, under 64 MiB at the default 512; no higher than the baseline's.
void PeakMemory(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    const std::string block = std::to_string(state.range(2));
    std::string file = "/tmp/norrik-bench-3s-" + std::to_string(channels) + "ch";
    if (rate != kRate)
        file += '-' + std::to_string(rate);
    file += ".wav";
    if (!makeProgramme(file, 3LL * rate, 77u, 1, channels, rate)) {
        state.SkipWithError("cannot write the test file in /tmp");
        return;
    }
    const std::string baseline = baselineMeter();
    std::vector<double> peaks, basePeaks;
    for (auto _ : state) {
        const std::vector<std::string> args = {NORRIK_METER_PATH, file, "--block", block};
        Usage u{}, base{};
        inTurn(
            peaks.size(), baseline, [&] { u = runProgram(args); },
            [&] { base = runProgram(withProgram(args, baseline)); });
        if (u.status != 0 || (!baseline.empty() && base.status != 0)) {
            state.SkipWithError("meter failed");
            return;
        }
        state.SetIterationTime(u.wall);
        peaks.push_back(u.peakMiB);
        basePeaks.push_back(base.peakMiB);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["peak_MiB"] = median(peaks);
    if (!baseline.empty()) {
        state.counters["base_peak_MiB"] = median(basePeaks);
        state.counters["peak_vs_base"] = median(peaks) / median(basePeaks);
    }
}
BENCHMARK(PeakMemory)
    ->ArgNames({"channels", "rate", "block"})
    ->ArgsProduct({{1, 2, 6, 8, 14}, {44100, 96000, 192000}, {512, 4096, 65536}})
    ->Args({2, 48000, 512})
    ->Args({2, 48000, 65536})
    ->Args({8, 48000, 65536})
    ->Args({14, 48000, 65536})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The costliest process call of a stream, driven as a real-time host drives it (`offline` 0) or
// offline, by bench_realtime_probe on a thread of its own in a fresh process: its first 4 s after
// set-up, after a re-set-up and after a stop and start, against a steady stretch, in minor page
// faults and thread CPU. With a baseline build, its bundle (beside it) in the same iterations, in turn
// before and after this one's; the counters are the medians of the iterations.
struct CallCosts
{
    double v[8] = {};
    bool ok = false;
};

CallCosts probeCalls(const std::string& bundle, const std::vector<std::string>& shape)
{
    CallCosts c;
    const std::string out = "/tmp/norrik-bench-probe.txt";
    std::vector<std::string> args = {NORRIK_PROBE_PATH, bundle};
    args.insert(args.end(), shape.begin(), shape.end());
    if (runProgram(args, out).status != 0)
        return c;
    FILE* f = std::fopen(out.c_str(), "r");
    if (!f)
        return c;
    c.ok = std::fscanf(f, "%lf %lf %lf %lf %lf %lf %lf %lf", &c.v[0], &c.v[1], &c.v[2], &c.v[3], &c.v[4], &c.v[5],
                       &c.v[6], &c.v[7]) == 8;
    std::fclose(f);
    return c;
}

void CostliestCall(benchmark::State& state)
{
    const std::vector<std::string> shape = {std::to_string(state.range(0)), std::to_string(state.range(1)),
                                            std::to_string(state.range(2)), std::to_string(state.range(3))};
    const std::string ours = NORRIK_BUNDLE_BINARY;
    const std::string baseline = baselineMeter();
    const std::string theirs = baseline.empty() ? ""
                                                : baseline.substr(0, baseline.find_last_of('/') + 1) +
                                                      "norrik.bundle/Contents/x86_64-linux/norrik.so";
    std::vector<CallCosts> mine, base;
    for (auto _ : state) {
        CallCosts m, b;
        inTurn(
            mine.size(), theirs, [&] { m = probeCalls(ours, shape); }, [&] { b = probeCalls(theirs, shape); });
        if (!m.ok || (!theirs.empty() && !b.ok)) {
            state.SkipWithError("the probe failed");
            return;
        }
        state.SetIterationTime(1.0);
        mine.push_back(m);
        base.push_back(b);
    }
    const char* names[8] = {"first_faults",   "first_us",   "resetup_faults", "resetup_us",
                            "restart_faults", "restart_us", "steady_faults",  "steady_us"};
    for (int i = 0; i < 8; ++i) {
        const auto median = [i](const std::vector<CallCosts>& runs) {
            std::vector<double> v;
            for (const CallCosts& r : runs)
                v.push_back(r.v[i]);
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        state.counters[names[i]] = median(mine);
        if (!theirs.empty())
            state.counters[std::string("base_") + names[i]] = median(base);
    }
}
BENCHMARK(CostliestCall)
    ->ArgNames({"ch", "rate", "block", "offline"})
    ->Args({1, 8000, 1, 0})
    ->Args({2, 48000, 64, 0})
    ->Args({6, 48000, 128, 0})
    ->Args({6, 96000, 256, 0})
    ->Args({14, 192000, 64, 0})
    ->Args({14, 192000, 512, 0})
    ->Args({14, 192000, 8192, 0})
    ->Args({14, 384000, 8192, 0})
    ->Args({2, 44100, 512, 1})
    ->Args({14, 192000, 512, 1})
    ->Args({14, 192000, 8192, 1})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(3);

} // namespace
