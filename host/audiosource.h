// Where the host's audio comes from: a file read through libsndfile, or the built-in programme.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelhost {

class AudioSource
{
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual double sampleRate() const = 0;
    virtual std::int64_t frames() const = 0; // total length in frames, -1 when unknown (a pipe)
    // The plug-in's speaker arrangement for the source's channels; read() delivers the channels in
    // the order of its bits.
    virtual std::uint64_t speakers() const;
    // Reads up to maxFrames frames into one buffer per channel; answers the frames read (0 at the end).
    // Throws std::bad_alloc when memory runs short, in a decoder beneath the library too (as
    // openAudioFile tells it).
    virtual std::int64_t read(float* const* channels, std::int64_t maxFrames) = 0;
    virtual std::string name() const = 0;
    // What the report should warn of, one line each, without the source's name: a file shorter than
    // its header says or with no audio at all, samples the plug-in measures as silence (NaN,
    // infinite or too large); complete once read() has answered 0.
    virtual std::string warnings() const { return {}; }
};

// The arrangement taken for a file that names no channel layout: mono, stereo, L R C, quadro,
// 5.0, 5.1, 6.1, 7.1, beyond that the first speakers in order.
std::uint64_t defaultSpeakers(int channels);

// Opens any file libsndfile reads ("-" is standard input). A source that cannot seek (a pipe) is
// first copied to its end into an unnamed temporary file in TMPDIR (else /tmp) and read from there,
// as a file. On failure (a missing file, a folder, a format libsndfile does not read, standard
// input closed or empty, no room for the copy or a file-size limit met) answers null and says why
// in `error`; out of memory throws std::bad_alloc: in the library, or in a decoder beneath it that
// hides its shortage, when the program counts failed allocations (countFailedAllocationsWith in
// host/outofmemory.h). A path of any length the system opens is read as a short one. What is read
// is the file opened here, though another be renamed over its name meanwhile, and (where /proc is)
// no file in the working folder changes how.
std::unique_ptr<AudioSource> openAudioFile(const std::string& path, std::string& error);

// The built-in programme's name, as its reports and messages give it.
constexpr const char* kTestProgrammeName = "(built-in test programme)";

// The built-in 20-second stereo programme at 48 kHz: a 997 Hz tone at -20 dBFS, decorrelated noise,
// a quiet passage and a loud low tone with a short peak, always the same samples.
std::unique_ptr<AudioSource> makeTestProgramme(double seconds = 20.0, double sampleRate = 48000.0);

// Writes interleaved float samples as a 32-bit float WAV file (used by tests and benchmarks).
bool writeWavFile(const std::string& path, const std::vector<float>& interleaved, int channels, int sampleRate,
                  std::string& error);

} // namespace qelhost
