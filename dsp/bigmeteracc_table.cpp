// Kept apart so that programs which pass their own table need not link the plug-in's.
#include "dsp/bigmeteracc.h"

BigMeterAcc::BigMeterAcc(DSP::int32 blockSize, double sampleRate)
: BigMeterAcc(blockSize, sampleRate, Param::getProcessorParameterTable(), Param::getProcessorParameterCount(), true)
{}
