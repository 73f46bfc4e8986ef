// Named thread object with a virtual body and a priority table.
#pragma once

#include "base/fstring.h"

#include <cstdint>

namespace Platform {
struct Thread;
}

namespace Calvereth {

class FThread;

// Told of every thread object made and destroyed; installed process-wide by the application.
class ThreadObserver
{
public:
    virtual void threadCreated(FThread* thread) = 0;
    virtual void threadDestroyed(FThread* thread) = 0;

protected:
    ~ThreadObserver() = default;
};

class FThread
{
public:
    // Priority levels: 0 lowest (also every level above 5), 2 normal, 3..5 real-time round robin.
    enum
    {
        kPriorityLowest = 0,
        kPriorityLow = 1,
        kPriorityNormal = 2,
        kPriorityHigh = 3,
        kPriorityHigher = 4,
        kPriorityHighest = 5
    };

    explicit FThread(const char* name);
    virtual ~FThread();
    FThread(const FThread&) = delete;
    FThread& operator=(const FThread&) = delete;

    // Stores the level; applies it to a started thread. False before start; otherwise true, also
    // when the system refuses the level (for example real-time levels without privileges).
    virtual bool setPriority(uint32_t priority);
    virtual void reserved() {}
    // The thread body; runs once on the new thread.
    virtual uint32_t run() { return 0; }

    // Creates the thread suspended, applies the priority, then lets it run. Called once.
    void start();
    // Waits for the end of run (timeoutMs < 0: without limit). True at once when never started or
    // already joined; false on a time-out (the thread stays joinable) or a failed system join.
    bool join(int32_t timeoutMs = -1);
    void cancel();
    bool setAffinity(int32_t affinity);
    bool isCurrentThread() const;
    Platform::Thread* getHandle() const { return handle; }

    uint32_t getPriority() const { return priority; }
    int32_t getAffinity() const { return affinity; }
    bool isRunning() const { return running; }
    const char* getName() const { return name.text8() ? name.text8() : ""; }

    // Maps a level onto the platform's scheduling class and priority.
    static void priorityToSchedule(uint32_t priority, int32_t& policy, int32_t& schedPriority);
    static void setThreadObserver(ThreadObserver* observer);
    static ThreadObserver* getThreadObserver();

private:
    static uint32_t threadEntry(void* argument);

    uint32_t priority = kPriorityNormal;
    int32_t affinity = -1;
    bool running = false;
    Platform::Thread* handle = nullptr;
    String name;
};

} // namespace Calvereth
