// Thread helpers for the concurrency tests.
#pragma once

#include <chrono>
#include <thread>
#include <vector>

namespace testthreads {

// Runs body(index) on `count` threads at once and joins them all.
template <class Body>
void runThreads(int count, Body body)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(body, i);
    for (auto& t : threads)
        t.join();
}

// Signals until `done` holds: a signal reaches only the threads waiting at that moment.
template <class Done, class Signal>
void signalUntil(Done done, Signal signal)
{
    while (!done()) {
        signal();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace testthreads
