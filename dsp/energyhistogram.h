// What a gated collector keeps of its windows once its exact store is full: their mean squares in
// bins 0.005 LU wide, so that integrated loudness and loudness range stay right for programmes of
// any length in bounded memory.
#pragma once

#include <cstdint>
#include <memory>

namespace DSP {

class EnergyHistogram
{
public:
    // Bins span the absolute gate (-70 LUFS) to +50 LUFS; louder windows share the top bin.
    static constexpr double kLowest = -70.0;
    static constexpr double kBinWidth = 0.005;
    static constexpr std::int32_t kBins = 24000;

    // Allocates the bins (set-up, not the audio thread).
    EnergyHistogram();

    void add(float meanSquare);
    void clear();
    std::int64_t getCount() const { return count; }
    double getSum() const { return sum; }

    // Adds the count and exact sum of the windows above `gate` to `gatedCount` and `gatedSum`. Each
    // bin counts whole: the bin holding the gate counts when its mean lies above it.
    void addAbove(double gate, std::int64_t& gatedCount, double& gatedSum) const;
    // The windows above `gate`, in ascending order, stand for their bin's mean: the one at `rank`
    // (from 0), or 0 when there are not that many.
    float valueAt(double gate, std::int64_t rank) const;

private:
    struct Bin
    {
        std::int64_t count;
        double sum;
    };
    static std::int32_t binOf(double meanSquare);
    // The first bin that counts above `gate`.
    std::int32_t firstAbove(double gate) const;

    std::unique_ptr<Bin[]> bins;
    std::int64_t count = 0;
    double sum = 0.0;
    // Occupied bins lie within [lowestBin, highestBin].
    std::int32_t lowestBin = kBins;
    std::int32_t highestBin = -1;
};

} // namespace DSP
