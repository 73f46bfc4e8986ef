// Loudness meter: K-weighting, momentary, short-term and integrated loudness, loudness range.
#pragma once

#include <memory>
#include <vector>

#include "dsp/algo.h"
#include "dsp/collectors.h"
#include "dsp/prims.h"

// One biquad of the K-weighting filter.
struct BiquadStage
{
    bool allocated = false;
    bool released = false;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    DSP::IirStateType* state = nullptr;
};

class Loudness : public DSP::Algo<double>
{
public:
    // Speaker bits of the input arrangement that carry their own channel weights.
    static constexpr DSP::uint64 kSpeakerLfe = 1ull << 3;
    static constexpr DSP::uint64 kSpeakerLs = 1ull << 4;
    static constexpr DSP::uint64 kSpeakerRs = 1ull << 5;
    static constexpr DSP::uint64 kSpeakerLfe2 = 1ull << 18;

    enum Stage
    {
        kStageShelf = 0,
        kStageHighPass = 1,
        kStageWork = 2,
        kStageRange = 3,
        kStageIntegrated = 4,
        kStageWeights = 5
    };

    // What every loudness value reads before a window has been measured (the range reads 0).
    static constexpr float kNoReading = -80.0f;

    Loudness(DSP::int32 blockSize, bool threaded, double sampleRate);
    ~Loudness() override;

    // Both throw std::bad_alloc when memory runs out, with no stage left: the meter then measures
    // nothing until it is set up again.
    DSP::int32 setChannelConfig(DSP::int32 in, DSP::int32 out, DSP::int32 aux, DSP::uint64 inputMask) override;
    bool initialize(const Param::ParamRecord* table) override;
    DSP::int32 setChannelCount(DSP::int32, DSP::int32, DSP::int32) override { return 0; }
    bool terminate() override;
    void reset() override;
    void setOfflineProcessing(bool offline) override;

    void process(float** in, DSP::int32 n);
    // Writes the first `frames` of the filters' work buffers once, before the first block does.
    void touchWork(DSP::int32 frames);
    // Measures n samples of digital silence as if zeros had been fed: the filters ring out, the
    // windows that hold sound complete, and the windows' grid runs on. The displayed momentary and
    // short-term values hold while the silence lasts.
    void processSilence(DSP::int32 n) override;

    float getMomentary() const { return momentary; }
    float getShortTerm() const { return shortTerm; }
    // The gated values come from the workers. Reading one wakes its worker for the windows it has
    // not evaluated yet, never waiting: in real time the next read-out shows them; offline,
    // completeResults comes first.
    float getIntegrated() const;
    float getMomentaryMax() const { return momentaryMax; }
    float getShortTermMax() const { return shortTermMax; }
    float getRange() const;
    float getRangeHighEnergy() const;
    float getRangeLowEnergy() const;
    bool isBelowRelativeGate() const;
    void resetMomentaryMax() { momentaryMax = kNoReading; }
    void resetShortTermMax() { shortTermMax = kNoReading; }

    void createStage(DSP::int32 k);
    void freeStage(DSP::int32 k);

    DSP::int32 getChannelCount() const { return channelCount; }
    float getChannelWeight(DSP::int32 c) const { return weights ? weights[static_cast<size_t>(c)] : 0.0f; }
    const BiquadStage* getBiquad(DSP::int32 stage, DSP::int32 channel) const
    {
        return stage == 0 ? (shelf ? &shelf[channel] : nullptr) : (highPass ? &highPass[channel] : nullptr);
    }
    DSP::CollectorLoudnessRange* getRangeCollector() const { return rangeCollector.get(); }
    DSP::CollectorIntegrated* getIntegratedCollector() const { return integratedCollector.get(); }
    // Brings every window completed so far into the gated results, waiting for busy workers
    // `timeoutMs` at the most in all, in wall time with a stop of a second or more left out (the
    // feeding thread, or the main thread while nothing is fed). False when a worker did not answer
    // in time; false at once, with no waiting, when an offline feed had to drop a window.
    bool drain(DSP::int32 timeoutMs);
    // The same within the wait limit: what an offline read-out does first.
    bool completeResults() { return drain(waitLimitMs); }
    // How long offline processing waits for a worker at the most (default 8 s), in wall time with a
    // stop of a second or more left out.
    void setWaitLimit(DSP::int32 ms);
    // Where those waits read the time and sleep (every collector's too): the machine's monotonic
    // clock, or a test's scripted one. While nothing is fed or read out.
    void setWaitClock(DSP::WaitClock& clock);
    // Windows the workers could not take (queue full).
    std::uint32_t getDroppedWindows() const;

    static void designShelf(double fs, float taps[6]);
    static void designHighPass(double fs, float taps[6]);

private:
    using DSP::Algo<double>::process;
    // Every stage in order; on failure none is left and the exception goes on.
    void createStages();
    // One filter per channel with the stage's design; throws std::bad_alloc, with none left, when a
    // filter cannot be had.
    void createBiquads(std::unique_ptr<BiquadStage[]>& stages, bool shelfStage);
    void freeBiquads(std::unique_ptr<BiquadStage[]>& stages);
    // A rate whose hop would be empty, or whose stream of a few windows would not fit 32-bit counts,
    // gets no collector.
    static bool windowsFit(std::int64_t window, std::int64_t overlap);
    void startCollector(DSP::CollectorOverlap& collector);
    // f(collector) for each collector there is.
    template <class F>
    void forEachCollector(F f) const
    {
        if (rangeCollector)
            f(*rangeCollector);
        if (integratedCollector)
            f(*integratedCollector);
    }
    void copyWeights();
    bool isMeasuring() const;
    void clearFilterHistories();
    // Hands the squares in the work buffers to both collectors, and takes in the windows completed.
    void feedWork(DSP::int32 n, bool display);
    void takeWindows(bool display);

    bool threaded;
    bool offline = false;
    DSP::int32 waitLimitMs = DSP::CollectorOverlap::kWaitLimitMs;
    DSP::WaitClock* waitClock = &DSP::WaitClock::steady();
    DSP::int32 channelCount = 1;
    float momentary = 0.0f;
    float shortTerm = 0.0f;
    float momentaryMax = 0.0f;
    float shortTermMax = 0.0f;
    std::unique_ptr<float[]> weights;
    // The K-weighted squares of one block per channel, and the pointers handed to the collectors.
    std::vector<DSP::FloatBuffer> workBuffers;
    std::vector<float*> work;
    // The input channels of one piece of a longer block.
    std::vector<float*> pieces;
    std::unique_ptr<BiquadStage[]> shelf;
    std::unique_ptr<BiquadStage[]> highPass;
    // The filters hold the tail of sound; once they have rung out over silence, they are cleared.
    bool filtersRinging = false;
    std::unique_ptr<DSP::CollectorLoudnessRange> rangeCollector;
    std::unique_ptr<DSP::CollectorIntegrated> integratedCollector;
};
