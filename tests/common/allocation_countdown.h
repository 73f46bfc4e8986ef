// Fails one chosen allocation of a step: while a countdown::Fail is in scope, allocation N after it
// (counted from 0) fails. Include it in exactly one source file of a test program of its own.
#pragma once

#include "tests/common/fail_nth_allocation.h"

namespace countdown {

class Fail
{
public:
    explicit Fail(long n) { failnth::arm(n + 1); }
    ~Fail() { failnth::disarm(); }
    // Whether the step reached the allocation that was to fail.
    bool failed() const { return failnth::failed(); }
    Fail(const Fail&) = delete;
    Fail& operator=(const Fail&) = delete;
};

} // namespace countdown
