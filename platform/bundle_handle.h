#pragma once
// A bundle reference that crosses the host boundary. Its creator supplies how it is freed, so either
// side may drop the last retain; the count is atomic because host threads may retain it too.
#include <atomic>
#include <cstdint>

namespace Platform {

struct BundleHandle
{
	int32_t retainCount;                 // 1 when created
	void (*destroy) (BundleHandle* self); // called once the count reaches 0; may be null
	const char* path;                    // the bundle's folder, or null
};

inline BundleHandle* bundleRetain (BundleHandle* bundle)
{
	if (bundle)
		std::atomic_ref<int32_t> (bundle->retainCount).fetch_add (1, std::memory_order_seq_cst);
	return bundle;
}

inline void bundleRelease (BundleHandle* bundle)
{
	if (!bundle)
		return;
	if (std::atomic_ref<int32_t> (bundle->retainCount).fetch_sub (1, std::memory_order_acq_rel) == 1 && bundle->destroy)
		bundle->destroy (bundle);
}

inline int32_t bundleRetainCount (const BundleHandle* bundle)
{
	return bundle ? std::atomic_ref<int32_t> (const_cast<BundleHandle*> (bundle)->retainCount).load () : 0;
}

} // namespace Platform
