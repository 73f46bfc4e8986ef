// meter's own C allocation functions, linked into the program alone (never into the host library,
// which an embedding host links): each passes its call on to the next definition, the C library's
// or that of a library preloaded before it, and counts on the calling thread the calls that fail
// for want of memory. Under a sanitizer, whose run-time owns the allocator, there are none.
#pragma once

#include "host/outofmemory.h"

namespace meterprogram {

// The count to hand to countFailedAllocationsWith; null under a sanitizer.
qelhost::FailedAllocationCounter failedAllocationCounter();

} // namespace meterprogram
