#include "dsp/energyhistogram.h"

#include <algorithm>
#include <cmath>

namespace DSP {

EnergyHistogram::EnergyHistogram() : bins(std::make_unique<Bin[]>(kBins)) {}

std::int32_t EnergyHistogram::binOf(double meanSquare)
{
    const double lufs = 10.0 * std::log10(meanSquare) - 0.691;
    const double index = std::floor((lufs - kLowest) / kBinWidth);
    if (!(index >= 0.0))
        return 0;
    return index >= kBins - 1 ? kBins - 1 : static_cast<std::int32_t>(index);
}

void EnergyHistogram::add(float meanSquare)
{
    const std::int32_t b = binOf(meanSquare);
    bins[b].count += 1;
    bins[b].sum += meanSquare;
    count += 1;
    sum += meanSquare;
    lowestBin = std::min(lowestBin, b);
    highestBin = std::max(highestBin, b);
}

void EnergyHistogram::clear()
{
    if (count == 0)
        return;
    std::fill(bins.get() + lowestBin, bins.get() + highestBin + 1, Bin{0, 0.0});
    count = 0;
    sum = 0.0;
    lowestBin = kBins;
    highestBin = -1;
}

std::int32_t EnergyHistogram::firstAbove(double gate) const
{
    const std::int32_t b = std::max(binOf(gate), lowestBin);
    if (b > highestBin)
        return b;
    const Bin& bin = bins[b];
    return bin.count > 0 && bin.sum / static_cast<double>(bin.count) > gate ? b : b + 1;
}

void EnergyHistogram::addAbove(double gate, std::int64_t& gatedCount, double& gatedSum) const
{
    for (std::int32_t b = firstAbove(gate); b <= highestBin; ++b) {
        gatedCount += bins[b].count;
        gatedSum += bins[b].sum;
    }
}

float EnergyHistogram::valueAt(double gate, std::int64_t rank) const
{
    for (std::int32_t b = firstAbove(gate); b <= highestBin; ++b) {
        if (rank < bins[b].count)
            return static_cast<float>(bins[b].sum / static_cast<double>(bins[b].count));
        rank -= bins[b].count;
    }
    return 0.0f;
}

} // namespace DSP
