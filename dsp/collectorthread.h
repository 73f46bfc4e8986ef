// The worker thread that runs a gated collector's gating steps off the audio thread.
#pragma once

#include <atomic>
#include <cstdint>

#if __has_include("base/fthread.h") && __has_include("base/semaphore.h")
#include "base/fthread.h"
#include "base/semaphore.h"
namespace DSP {
typedef Calvereth::FThread WorkerThreadBase;
typedef Calvereth::Semaphore WorkerSemaphore;
} // namespace DSP
#else
#include <chrono>
#include <semaphore>
#include <thread>
namespace DSP {
// Stand-ins until the base library's threads are available.
class WorkerThreadBase
{
public:
    explicit WorkerThreadBase(const char*) {}
    virtual ~WorkerThreadBase() = default;
    virtual std::uint32_t run() { return 0; }
    void start()
    {
        running = true;
        thread = std::thread([this] { run(); });
    }
    bool join(std::int32_t = -1)
    {
        if (thread.joinable())
            thread.join();
        return true;
    }
    void cancel() {}
    bool isRunning() const { return running; }

private:
    bool running = false;
    std::thread thread;
};
class WorkerSemaphore
{
public:
    explicit WorkerSemaphore(std::uint32_t count = 0, const char* = nullptr) : sem(static_cast<std::ptrdiff_t>(count)) {}
    void signal(std::int32_t = 1) { sem.release(); }
    bool wait(std::int32_t = -1)
    {
        sem.acquire();
        return true;
    }
    bool isValid() const { return true; }

private:
    std::counting_semaphore<> sem;
};
} // namespace DSP
#endif

namespace DSP {

class CollectorOverlap;

class CollectorProcessThread : public WorkerThreadBase
{
public:
    CollectorProcessThread(const char* name, CollectorOverlap* owner);
    ~CollectorProcessThread() override;

    std::uint32_t run() override;

    // Audio thread: wakes the worker; never blocks.
    void wake() { semaphore.signal(1); }
    // Owner's thread: ends the run loop and joins it.
    void stop();
    bool isSemaphoreValid() const { return semaphore.isValid(); }
    bool isUsable() const { return semaphore.isValid() && isRunning(); }
    // Set by the worker when it has ended on its own (its semaphore failed).
    bool hasQuit() const { return quit.load(std::memory_order_acquire); }

private:
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> quit{false};
    CollectorOverlap* owner;
    WorkerSemaphore semaphore;
};

} // namespace DSP
