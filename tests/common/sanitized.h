// NORRIK_TEST_SANITIZED is 1 in a build under AddressSanitizer or ThreadSanitizer, whose shadow
// memory multiplies what a test maps and whose run-times own malloc and the pthread calls. GCC
// names the sanitizers with macros, clang through __has_feature.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NORRIK_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NORRIK_TEST_SANITIZED 1
#endif
#endif
#ifndef NORRIK_TEST_SANITIZED
#define NORRIK_TEST_SANITIZED 0
#endif

// NORRIK_TEST_THREAD_SANITIZED is 1 under ThreadSanitizer, which runs a signal's handler only at its
// own points in the thread that caught it: a thread that ends first may never run it.
#if defined(__SANITIZE_THREAD__)
#define NORRIK_TEST_THREAD_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define NORRIK_TEST_THREAD_SANITIZED 1
#endif
#endif
#ifndef NORRIK_TEST_THREAD_SANITIZED
#define NORRIK_TEST_THREAD_SANITIZED 0
#endif

// For code that runs where a sanitizer's checks cannot: inside the allocation functions, which run
// before the sanitizer is set up (it allocates while it starts) and in a new thread before the
// sanitizer has set the thread up. Nothing on its way may be instrumented, hence atomics through
// the compiler's built-ins there.
#define NORRIK_TEST_UNINSTRUMENTED __attribute__((no_sanitize("address", "thread", "undefined")))
