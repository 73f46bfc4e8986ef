// The processor's audio-thread calls neither allocate, lock nor wait, whatever the block brings:
// metering, read-outs with output changes, bypass with its crossfade, silence flags, offline
// pass-through, parameter resets, every block size and blocks longer than the set-up promised.
// The test host's own audio thread does not allocate per block either.
#include "meter_fixture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

// ---- Counting hooks -------------------------------------------------------------------------
// Heap and lock calls are counted only on a thread that has armed its own counter, so worker
// threads may allocate and lock freely. Under sanitizers, which own malloc and the pthread calls,
// only operator new/delete are counted.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define AUDIT_LIBC_HOOKS 0
#else
#define AUDIT_LIBC_HOOKS 1
#endif

namespace audit {

struct Counts
{
    long news = 0;     // operator new, every form
    long deletes = 0;  // operator delete of a non-null pointer
    long mallocs = 0;  // malloc, calloc, realloc, memalign ...
    long frees = 0;    // free of a non-null pointer
    long locks = 0;    // mutex and read-write lock acquisitions, tries included
    long waits = 0;    // condition, semaphore and futex waits, sleeps, joins
    long total() const { return news + deletes + mallocs + frees + locks + waits; }
};

// Static TLS of the executable: touching it never allocates.
constinit thread_local bool tArmed = false;
constinit thread_local Counts tCounts{};

// Allocations on other threads, counted while an OtherThreads watch is open: every thread but
// the one that opened it and the meter's named workers.
std::atomic<bool> gOthers{false};
std::atomic<long> gOtherCount{0};
std::atomic<long> gOtherLocks{0};
constinit thread_local bool tExempt = false;

inline void noteOther(std::atomic<long>& counter = gOtherCount)
{
    if (!gOthers.load(std::memory_order_relaxed) || tExempt)
        return;
    char name[17] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    if (std::strcmp(name, "CIThread") != 0 && std::strcmp(name, "LRThread") != 0)
        counter.fetch_add(1, std::memory_order_relaxed);
}
inline void noteNew()
{
    if (tArmed)
        ++tCounts.news;
    else
        noteOther();
}
inline void noteDelete(void* p)
{
    if (p && tArmed)
        ++tCounts.deletes;
}

// Counts what the calling thread does between construction and take().
class Watch
{
public:
    Watch()
    {
        tCounts = Counts{};
        tArmed = true;
    }
    ~Watch() { tArmed = false; }
    Counts take()
    {
        tArmed = false;
        Counts c = tCounts;
        tCounts = Counts{};
        return c;
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
};

class OtherThreads
{
public:
    OtherThreads()
    {
        tExempt = true;
        gOtherCount.store(0);
        gOtherLocks.store(0);
        gOthers.store(true);
    }
    ~OtherThreads()
    {
        gOthers.store(false);
        tExempt = false;
    }
    // Allocations seen; `locks` takes the mutex acquisitions.
    long take(long* locks = nullptr)
    {
        gOthers.store(false);
        if (locks)
            *locks = gOtherLocks.load();
        return gOtherCount.load();
    }
    OtherThreads(const OtherThreads&) = delete;
    OtherThreads& operator=(const OtherThreads&) = delete;
};

inline std::string describe(const Counts& c)
{
    return "new " + std::to_string(c.news) + ", delete " + std::to_string(c.deletes) + ", malloc " +
           std::to_string(c.mallocs) + ", free " + std::to_string(c.frees) + ", locks " + std::to_string(c.locks) +
           ", waits " + std::to_string(c.waits);
}

} // namespace audit

[[gnu::noinline]] void* operator new(std::size_t n)
{
    audit::noteNew();
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return ::operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    audit::noteNew();
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return ::operator new(n, std::nothrow);
}
void* operator new(std::size_t n, std::align_val_t a)
{
    audit::noteNew();
    const std::size_t al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    void* p = nullptr;
    if (posix_memalign(&p, al, n ? n : 1) == 0)
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a)
{
    return ::operator new(n, a);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    audit::noteNew();
    const std::size_t al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    void* p = nullptr;
    return posix_memalign(&p, al, n ? n : 1) == 0 ? p : nullptr;
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, a, t);
}
// Never inlined: the compiler would pair an inlined free with the new it can see and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    audit::noteDelete(p);
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}

#if AUDIT_LIBC_HOOKS
// The C allocator forwards to the C library's own entry points.
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_malloc(n);
}
void free(void* p) noexcept
{
    if (p && audit::tArmed)
        ++audit::tCounts.frees;
    __libc_free(p);
}
void* calloc(std::size_t a, std::size_t b) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_calloc(a, b);
}
void* realloc(void* p, std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t a, std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_memalign(a, n);
}
void* aligned_alloc(std::size_t a, std::size_t n) noexcept
{
    return memalign(a, n);
}
void* valloc(std::size_t n) noexcept
{
    return memalign(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), n);
}
int posix_memalign(void** out, std::size_t a, std::size_t n) noexcept
{
    if (a < sizeof(void*) || (a & (a - 1)) != 0)
        return EINVAL;
    void* p = memalign(a, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
} // extern "C"

namespace audit {
inline void noteLock()
{
    if (tArmed)
        ++tCounts.locks;
    else
        noteOther(gOtherLocks);
}
inline void noteWait()
{
    if (tArmed)
        ++tCounts.waits;
}
} // namespace audit

// The next definition of a C library function, looked up on first use. The slot is a constant-
// initialised atomic, so no static guard (which may itself wait on a futex) is involved.
#define AUDIT_NEXT(Type, name)                                                                  \
    ([] {                                                                                       \
        using Fn = Type;                                                                        \
        static std::atomic<Fn> slot{nullptr};                                                   \
        Fn f = slot.load(std::memory_order_relaxed);                                            \
        if (!f) {                                                                               \
            f = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));                                   \
            slot.store(f, std::memory_order_relaxed);                                           \
        }                                                                                       \
        return f;                                                                               \
    }())

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_mutex_t*), "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_mutex_t*), "pthread_mutex_trylock")(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_rwlock_t*), "pthread_rwlock_rdlock")(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_rwlock_t*), "pthread_rwlock_wrlock")(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*), "pthread_cond_wait")(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*), "pthread_cond_timedwait")(c, m, t);
}
int pthread_cond_clockwait(pthread_cond_t* c, pthread_mutex_t* m, clockid_t k, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*, clockid_t, const timespec*), "pthread_cond_clockwait")(c, m, k, t);
}
int sem_wait(sem_t* s)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(sem_t*), "sem_wait")(s);
}
int sem_timedwait(sem_t* s, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(sem_t*, const timespec*), "sem_timedwait")(s, t);
}
int nanosleep(const timespec* t, timespec* rem)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(const timespec*, timespec*), "nanosleep")(t, rem);
}
int clock_nanosleep(clockid_t k, int flags, const timespec* t, timespec* rem)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(clockid_t, int, const timespec*, timespec*), "clock_nanosleep")(k, flags, t, rem);
}
int pthread_join(pthread_t t, void** result)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_t, void**), "pthread_join")(t, result);
}
long syscall(long number, ...) noexcept
{
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (long& x : a)
        x = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_futex) {
        const int op = static_cast<int>(a[1]) & FUTEX_CMD_MASK;
        if (op == FUTEX_WAIT || op == FUTEX_WAIT_BITSET)
            audit::noteWait();
    }
    return AUDIT_NEXT(long (*)(long, long, long, long, long, long, long), "syscall")(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
} // extern "C"
#endif
// ---------------------------------------------------------------------------------------------

namespace {

using namespace metertest;

constexpr uint32 kBypass = 0;
constexpr uint32 kResetLoudness = 4;
constexpr uint32 kResetLoudnessMax = 5;
constexpr uint32 kResetTruePeak = 7;
constexpr uint32 kScaleLU = 48;
constexpr uint32 kPositionBits = (1u << 9) | (1u << 10) | (1u << 12);

void add(audit::Counts& a, const audit::Counts& b)
{
    a.news += b.news;
    a.deletes += b.deletes;
    a.mallocs += b.mallocs;
    a.frees += b.frees;
    a.locks += b.locks;
    a.waits += b.waits;
}

// What one run of blocks asks of the processor besides metering.
struct Plan {
    int readEvery = 10;      // "PluginDataGet" before every n-th block
    bool bypass = true;      // on and off again, each with its fade
    bool silence = true;     // flagged silent stretches
    bool offline = true;     // offline blocks, some before the second position (passed through)
    bool resets = true;      // resets and switches by parameter
};

class MeterAudioThread : public BundleTest {
protected:
    // Buffers, change lists and context the host prepares before each block, outside the count.
    struct Block {
        explicit Block(int frames)
        : l(static_cast<std::size_t>(frames)), r(l.size()), ol(l.size()), orr(l.size())
        {
            in[0] = l.data();
            in[1] = r.data();
            out[0] = ol.data();
            out[1] = orr.data();
        }
        std::vector<float> l, r, ol, orr;
        float* in[2];
        float* out[2];
        AudioBusBuffers inBus{};
        AudioBusBuffers outBus{};
        HostParameterChanges inChanges;
        HostParameterChanges outChanges;
        ProcessContext ctx{};
        ProcessData data{};
    };

    // Runs `blocks` blocks of `frames` samples straight into the processor on this thread and
    // answers what the process calls did; `written` counts the read-outs that wrote values.
    audit::Counts drive(int frames, int blocks, const Plan& plan, int& written)
    {
        IAudioProcessor* proc = session.processor();
        EXPECT_NE(proc, nullptr);
        audit::Counts total;
        if (!proc)
            return total;
        auto block = std::make_unique<Block>(frames);
        Block& b = *block;
        const double rate = session.sampleRate();
        Stereo tone = sine(static_cast<double>(frames) / rate, rate, 997.0, 0.5, 0.3);
        std::int64_t pos = 0;
        written = 0;
        for (int k = 0; k < blocks; ++k) {
            const int phase = k % 40;
            // Host side of the block.
            b.inChanges.clear();
            b.outChanges.clear();
            const bool silent = plan.silence && (phase == 7 || phase == 8);
            for (int i = 0; i < frames; ++i) {
                const float g = 0.2f + 0.05f * static_cast<float>(k % 7);
                b.l[static_cast<std::size_t>(i)] = silent ? 0.0f : tone.l[static_cast<std::size_t>(i)] * g;
                b.r[static_cast<std::size_t>(i)] = silent ? 0.0f : tone.r[static_cast<std::size_t>(i)] * g;
            }
            if (plan.bypass && phase == 12)
                b.inChanges.add(kBypass, 1.0);
            if (plan.bypass && phase == 20)
                b.inChanges.add(kBypass, 0.0);
            if (plan.resets) {
                if (phase == 3)
                    b.inChanges.add(kResetLoudness, 1.0);
                if (phase == 4)
                    b.inChanges.add(kResetLoudness, 0.0);
                if (phase == 25) {
                    b.inChanges.add(kResetLoudnessMax, 1.0);
                    b.inChanges.add(kResetTruePeak, 1.0);
                }
                if (phase == 26) {
                    b.inChanges.add(kResetLoudnessMax, 0.0);
                    b.inChanges.add(kResetTruePeak, 0.0);
                }
                if (phase == 30)
                    b.inChanges.add(kScaleLU, (k / 40) % 2 ? 0.0 : 1.0);
            }
            const bool readOut = plan.readEvery > 0 && k % plan.readEvery == 0;
            if (readOut)
                session.requestData();
            b.ctx = ProcessContext{};
            b.ctx.state = kPlaying;
            b.ctx.sampleRate = rate;
            b.ctx.projectTimeSamples = pos;
            b.ctx.continuousTimeSamples = pos;
            b.ctx.tempo = 120.0;
            b.ctx.projectTimeMusic = static_cast<double>(pos) / rate * 2.0;
            const bool offline = plan.offline && phase >= 36;
            if (offline) {
                // Blocks 36 and 37 lie wholly before the second position and pass unmeasured.
                b.ctx.state |= kPositionBits;
                b.ctx.cycleStartMusic = phase < 38 ? b.ctx.projectTimeMusic + 1000.0 : 0.0;
            }
            b.inBus.numChannels = 2;
            b.inBus.channelBuffers32 = b.in;
            b.inBus.silenceFlags = silent ? 3 : 0;
            b.outBus.numChannels = 2;
            b.outBus.channelBuffers32 = b.out;
            b.outBus.silenceFlags = 0;
            b.data = ProcessData{};
            b.data.processMode = offline ? kOffline : kRealtime;
            b.data.symbolicSampleSize = kSample32;
            b.data.numSamples = frames;
            b.data.numInputs = 1;
            b.data.numOutputs = 1;
            b.data.inputs = &b.inBus;
            b.data.outputs = &b.outBus;
            b.data.inputParameterChanges = &b.inChanges;
            b.data.outputParameterChanges = phase == 15 ? nullptr : &b.outChanges;
            b.data.processContext = phase == 16 ? nullptr : &b.ctx;

            audit::Watch watch;
            const tresult result = proc->process(b.data);
            add(total, watch.take());

            EXPECT_EQ(result, kResultOk) << "block " << k;
            if (readOut && b.outChanges.getParameterCount() > 0)
                ++written;
            // Whatever the path, the outputs carry finite samples.
            EXPECT_TRUE(std::isfinite(b.ol[0]) && std::isfinite(b.orr[static_cast<std::size_t>(frames - 1)]));
            pos += frames;
        }
        // An empty block that only carries parameter changes and a read-out, as hosts flush them.
        session.requestData();
        b.inChanges.clear();
        b.outChanges.clear();
        b.inChanges.add(kResetTruePeak, 1.0);
        b.inChanges.add(kBypass, 0.0);  // a bypassed meter writes no values
        b.data.numSamples = 0;
        b.data.outputParameterChanges = &b.outChanges;
        b.data.processContext = &b.ctx;
        audit::Watch watch;
        EXPECT_EQ(proc->process(b.data), kResultOk);
        add(total, watch.take());
        EXPECT_GT(b.outChanges.getParameterCount(), 0);
        return total;
    }
};

TEST_F(MeterAudioThread, ProcessIsFreeOfAllocationLocksAndWaitsAtEveryBlockSize)
{
    for (int frames : {1, 64, 512, 4096}) {
        SCOPED_TRACE("block " + std::to_string(frames));
        std::string error;
        if (frames == 1)
            setupStereo(1);
        else
            ASSERT_TRUE(session.resetup(frames, error)) << error;
        // About two seconds of audio; blocks of one sample cover a shorter stretch.
        const int blocks = frames == 1 ? 12000 : std::max(80, 96000 / frames);
        Plan plan;
        plan.readEvery = frames == 1 ? 500 : 10;
        int written = 0;
        audit::Counts c = drive(frames, blocks, plan, written);
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
        EXPECT_GT(written, 0);
    }
}

TEST_F(MeterAudioThread, BlockLongerThanTheSetUpIsMeteredWithoutAllocating)
{
    setupStereo(512);
    Plan plan;
    int written = 0;
    audit::Counts c = drive(4096 + 3, 60, plan, written);
    EXPECT_EQ(c.total(), 0) << audit::describe(c);
    EXPECT_GT(written, 0);
    // The meter really measured the long blocks.
    session.readOut();
    EXPECT_GT(session.lastOutput(1), meterNorm(-30.0));
}

// The bundle's own allocations reach the hooks, or the tests above would prove nothing: a new
// set-up rebuilds the meter.
TEST_F(MeterAudioThread, HooksSeeTheBundlesAllocations)
{
    setupStereo(512);
    ProcessSetup ps{kRealtime, kSample32, 1024, 0, 48000.0};
    audit::Watch watch;
    EXPECT_EQ(session.processor()->setupProcessing(ps), kResultOk);
    audit::Counts c = watch.take();
    EXPECT_GT(c.news, 10);
    EXPECT_GT(c.deletes, 10);
#if AUDIT_LIBC_HOOKS
    EXPECT_GT(c.mallocs, c.news);  // the aligned buffers besides every new
#endif
    // A thread of the host's kind is seen; the meter's workers are not.
    audit::OtherThreads others;
    std::thread t([] { delete new int(3); });
    t.join();
    EXPECT_GT(others.take(), 0);
}

TEST_F(MeterAudioThread, ReadOutsAloneAndPlainMetering)
{
    setupStereo(256);
    Plan plain;
    plain.bypass = plain.silence = plain.offline = plain.resets = false;
    plain.readEvery = 1;
    int written = 0;
    audit::Counts c = drive(256, 400, plain, written);
    EXPECT_EQ(c.total(), 0) << audit::describe(c);
    EXPECT_EQ(written, 390);  // every 40th block has no output list: its read-out waits for the next
}

// The host's audio thread runs the blocks that Session::processBlock hands it; the hooks see its
// allocations while the main thread and the meter's workers are left out.
TEST_F(MeterAudioThread, HostAudioThreadNeitherAllocatesNorLocks)
{
    setupStereo(512);
    Stereo s = sine(0.5, 48000.0, 440.0, 0.3);
    audit::OtherThreads watch;
    for (int round = 0; round < 6; ++round) {
        session.setParameter(kScaleLU, round % 2 ? 1.0 : 0.0);
        session.setParameter(kBypass, round == 3 ? 1.0 : 0.0);
        session.requestData();
        feed(s, 512);
    }
    session.readOut(false);
    // Metering a whole source pipelines the blocks through the ring, with the host's idle read-outs.
    session.maxSpeed = 0.0;
    auto programme = makeTestProgramme(4.0);
    std::string error;
    ASSERT_TRUE(session.run(*programme, nullptr, error)) << error;
    long locks = 0;
    const long seen = watch.take(&locks);
    EXPECT_EQ(seen, 0) << "allocations on the host's audio thread";
    EXPECT_EQ(locks, 0) << "locks on the host's audio thread";
    session.readOut();
    EXPECT_GT(session.lastOutput(3), meterNorm(-40.0));
}

} // namespace
