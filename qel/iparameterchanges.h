// Parameter changes of one audio block: one queue of points per parameter id.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {
namespace Qel {

class IParameterChangeQueue : public FUnknown
{
public:
    virtual uint32_t getParameterId() = 0;                                             // 3
    virtual int32_t getPointCount() = 0;                                               // 4
    virtual int32_t getPoint(int32_t index, int32_t& sampleOffset, double& value) = 0; // 5: 0 ok
    virtual int32_t addPoint(int32_t sampleOffset, double value, int32_t& index) = 0;  // 6
};

class IParameterChangeList : public FUnknown
{
public:
    virtual int32_t getParameterCount() = 0;                                                 // 3
    virtual IParameterChangeQueue* getParameterData(int32_t index) = 0;                      // 4
    virtual IParameterChangeQueue* addParameterData(const uint32_t& id, int32_t& index) = 0; // 5
};

} // namespace Qel
} // namespace Calvereth
