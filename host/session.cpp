#include "host/session.h"

#include "host/audiothread.h"
#include "host/numbertext.h"
#include "host/outofmemory.h"
#include "host/picturefile.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

namespace qelhost {

// ---- module ----

PluginModule::~PluginModule()
{
    close();
}

namespace {

// Whether the loader failed for want of memory, whatever its message names: an allocation of its own
// that failed leaves ENOMEM; a segment it could not map (it says no more) is out of address space
// unless the file system forbids running code from it.
bool loaderShortOfMemory(const std::string& path, int error, const char* message)
{
    struct statvfs fs
    {};
    return error == ENOMEM || (message && std::strstr(message, "failed to map segment") &&
                               statvfs(path.c_str(), &fs) == 0 && !(fs.f_flag & ST_NOEXEC));
}

// Whether a new thread's stack, of the size threads get by default, fits in the address space left.
bool threadStackFits()
{
    pthread_attr_t attr;
    std::size_t size = 0;
    if (pthread_getattr_default_np(&attr) != 0)
        return true;
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
    void* room = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        return errno != ENOMEM;
    munmap(room, size);
    return true;
}

} // namespace

bool PluginModule::open(const std::string& path, std::string& error)
{
    close();
    if (access(path.c_str(), R_OK) != 0) {
        error = "plug-in bundle not found: " + path;
        return false;
    }
    const auto refusal = [&path](int why) {
        const char* e = dlerror();
        return loaderShortOfMemory(path, why, e)
                   ? std::string(kNoMemory)
                   : std::string("cannot load ") + path + ": " + (e ? e : "unknown error");
    };
    // Opened unpinned first, so that a load that runs short is undone whole: one opened with
    // RTLD_NODELETE can stay mapped after it without the records the unwinder finds its code by, and
    // an exception thrown in it later is never caught.
    errno = 0;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error = refusal(errno);
        return false;
    }
    // Then kept mapped after dlclose: the bundle may leave exit-time handlers behind. Without the
    // pin the file is refused as for a failed load, the bundle unloaded before any entry is called.
    errno = 0;
    void* pinned = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD | RTLD_NODELETE);
    if (!pinned) {
        error = refusal(errno);
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    dlclose(pinned); // its reference only; the pin stays
    entry_ = reinterpret_cast<BundleEntryProc>(dlsym(handle_, "bundleEntry"));
    exit_ = reinterpret_cast<BundleExitProc>(dlsym(handle_, "bundleExit"));
    getFactory_ = reinterpret_cast<GetPluginFactoryProc>(dlsym(handle_, "GetPluginFactory"));
    if (!entry_ || !exit_ || !getFactory_) {
        error = path + ": the bundle lacks bundleEntry, bundleExit or GetPluginFactory";
        dlclose(handle_);
        handle_ = nullptr;
        entry_ = nullptr;
        exit_ = nullptr;
        getFactory_ = nullptr;
        return false;
    }
    // The host has no platform bundle object of the plug-in's kind to hand over; null is accepted.
    if (!entry_(nullptr)) {
        error = path + ": bundleEntry failed";
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

bool PluginModule::attach(const PluginEntries& entries, std::string& error)
{
    close();
    if (!entries.entry || !entries.exit || !entries.getFactory) {
        error = "the linked-in plug-in lacks bundleEntry, bundleExit or GetPluginFactory";
        return false;
    }
    if (!entries.entry(nullptr)) {
        error = "bundleEntry failed";
        return false;
    }
    entry_ = entries.entry;
    exit_ = entries.exit;
    getFactory_ = entries.getFactory;
    attached_ = true;
    return true;
}

void PluginModule::close()
{
    if (!isOpen())
        return;
    if (exit_)
        exit_();
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
    attached_ = false;
    entry_ = nullptr;
    exit_ = nullptr;
    getFactory_ = nullptr;
}

IPluginFactory* PluginModule::getFactory()
{
    return getFactory_ ? getFactory_() : nullptr;
}

void* PluginModule::symbol(const char* name) const
{
    return handle_ ? dlsym(handle_, name) : nullptr;
}

namespace {

// `size` bytes of `file` at `at`; false when it has fewer.
bool readAt(int file, void* to, std::size_t size, off_t at)
{
    auto* p = static_cast<char*>(to);
    while (size > 0) {
        const ssize_t n = pread(file, p, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

// Whether `file` holds the running program: its program headers and notes (the build's id among
// them) are those the program was loaded with. Without /proc nothing else tells the program's
// file, and a program started through the loader has the loader's file as its own.
bool holdsRunningProgram(int file)
{
    using Header = ElfW(Phdr);
    struct Loaded
    {
        ElfW(Addr) base = 0;
        const Header* headers = nullptr;
        ElfW(Half) count = 0;
    } self;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            *static_cast<Loaded*>(data) = {info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum};
            return 1; // the first is the program itself
        },
        &self);
    ElfW(Ehdr) header{};
    if (!self.headers || !readAt(file, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_phentsize != sizeof(Header) ||
        header.e_phnum != self.count)
        return false;
    for (ElfW(Half) i = 0; i < self.count; ++i) {
        Header h{};
        if (!readAt(file, &h, sizeof h, static_cast<off_t>(header.e_phoff + i * sizeof h)) ||
            std::memcmp(&h, &self.headers[i], sizeof h) != 0)
            return false;
        const auto* loaded = reinterpret_cast<const unsigned char*>(self.base + h.p_vaddr);
        unsigned char chunk[256];
        for (ElfW(Xword) at = 0; h.p_type == PT_NOTE && at < h.p_filesz; at += sizeof chunk) {
            const std::size_t n = std::min<ElfW(Xword)>(sizeof chunk, h.p_filesz - at);
            if (!readAt(file, chunk, n, static_cast<off_t>(h.p_offset + at)) || std::memcmp(chunk, loaded + at, n) != 0)
                return false;
        }
    }
    return true;
}

// Whether `path` is a regular file holding the running program and, when `running` is given, the
// file it describes (the /proc link's own target). That file may not be readable (an execute-only
// install): the kernel itself started it then, since the loader could not have read it.
bool isProgramFile(const char* path, const struct stat* running = nullptr)
{
    struct stat st = {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) ||
        (running && (st.st_dev != running->st_dev || st.st_ino != running->st_ino)))
        return false;
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return running && errno == EACCES;
    const bool is = holdsRunningProgram(file);
    close(file);
    return is;
}

} // namespace

std::string defaultBundlePath(const char* self, const char* started)
{
    char path[PATH_MAX] = {};
    const ssize_t n = readlink(self, path, sizeof(path) - 1);
    struct stat running = {};
    // A link to a file no longer there ("/memfd:name (deleted)", "/old/meter (deleted)") or to
    // another file names no place of the program's.
    bool found = n > 0 && path[0] == '/' && stat(self, &running) == 0 && isProgramFile(path, &running);
    if (!found) {
        // Without /proc: the path the program was started by, from the folder it was started in,
        // which it has not left. A descriptor's name was the starter's and leads nowhere now.
        if (!started)
            started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
        found = started && std::strncmp(started, "/dev/fd/", 8) != 0 && std::strncmp(started, "/proc/", 6) != 0 &&
                realpath(started, path) && isProgramFile(path);
    }
    if (!found)
        return {};
    const std::string_view file = path;
    return std::string(file.substr(0, file.find_last_of('/'))) + "/norrik.bundle/Contents/x86_64-linux/norrik.so";
}

// ---- what the audio thread reaches ----

// What taking a block back reaches, on whichever thread takes it back, and what the controller's
// edits reach from any thread. A stalled session leaves it, as it leaves the slots, to the end of
// the process: a held process() call, or a take-back held in the controller, may come back after
// the session is gone. The session drops its own pointers to the plug-in and the display at a
// stalled tear-down; the copies here are never written then.
struct Session::Shared
{
    MessageRouter router;
    DisplayHost* display = nullptr;
    IEditController* controller = nullptr;
    IConnectionPoint* procCP = nullptr;
    double sampleRate = 48000.0;
    std::int64_t framesTakenBack = 0; // the frames of every block processed and taken back
    bool takeBackFailed = false;      // out of memory on the audio thread
    std::mutex editMutex;
    std::vector<std::pair<uint32, double>> pendingEdits;
    std::vector<std::pair<uint32, double>> lastOutputs;
    std::vector<std::vector<std::pair<uint32, double>>> outputLog;

    explicit Shared(HostApplication& app) : router(app) {}
    // The block's outputs: to the log, the last outputs and the controller.
    void consume(Slot& s);
    // The host's idle: the display's, or else a request for data.
    void requestData();
    // An edit for the next block.
    void edit(uint32 id, double normalized);
    void takeEdits(HostParameterChanges& changes);
    // The display's clock in milliseconds: the audio the plug-in has processed, as far as the host
    // has taken its blocks back, so that the display moves with the audio's time and its picture
    // after a run is the same however fast the machine meters. (The blocks handed over can run
    // seconds of audio ahead of it.)
    int32 displayClock() const;
    // Sets the display clock that every session shares to this session's time: before each call into
    // the controller that may move its display.
    void showDisplayTime() const;
};

// ---- slots ----

// A block in the ring, with the buffers, parameter changes and context its data points to. A slot
// lies in the session's block memory with its channels' pointers and samples after it.
struct Session::Slot : ProcessBlock
{
    Shared& shared;
    // Every channel's input, then every channel's output, each channel on a 64-byte boundary.
    float** inPtr;
    float** outPtr;
    AudioBusBuffers inBus{};
    AudioBusBuffers outBus{};
    HostParameterChanges inChanges;
    HostParameterChanges outChanges;
    ProcessContext ctx{};

    static constexpr std::size_t aligned(std::size_t bytes)
    {
        return (bytes + BlockMemory::kAlign - 1) / BlockMemory::kAlign * BlockMemory::kAlign;
    }
    static std::size_t laneBytes(int frames) { return aligned(static_cast<std::size_t>(frames) * sizeof(float)); }
    static std::size_t pointerBytes(int channels)
    {
        return aligned(2 * static_cast<std::size_t>(channels) * sizeof(float*));
    }
    // What a slot takes with its pointers and samples; a multiple of BlockMemory::kAlign.
    static std::size_t bytes(int channels, int frames)
    {
        return aligned(sizeof(Slot)) + pointerBytes(channels) +
               2 * static_cast<std::size_t>(channels) * laneBytes(frames);
    }

    // Made on a BlockMemory::kAlign boundary with bytes(channels, frames) there; its samples silent.
    Slot(Shared& taker, int channels, int frames) : shared(taker)
    {
        std::byte* const pointers = reinterpret_cast<std::byte*>(this) + aligned(sizeof(Slot));
        std::byte* const samples = pointers + pointerBytes(channels);
        const std::size_t lanes = 2 * static_cast<std::size_t>(channels);
        std::memset(samples, 0, lanes * laneBytes(frames));
        inPtr = reinterpret_cast<float**>(pointers);
        outPtr = inPtr + channels;
        for (std::size_t lane = 0; lane < lanes; ++lane)
            inPtr[lane] = reinterpret_cast<float*>(samples + lane * laneBytes(frames));
    }
};

namespace {
// Samples handed over and not yet taken back, at most, in bytes, and the fewest blocks: the audio
// thread then reads each block while what the main thread wrote into it is still in the cache,
// rather than from memory, as it would across a ring of large blocks.
constexpr std::uint64_t kInFlightBytes = std::uint64_t(8) << 20;
constexpr std::uint64_t kMinInFlight = 16;

// Blocks in flight at most: the main thread waits once per three quarters of them.
std::uint64_t inFlightBlocks(int blockSize, int channels)
{
    const std::uint64_t bytes = static_cast<std::uint64_t>(std::max(blockSize, 1)) *
                                static_cast<std::uint64_t>(std::max(channels, 1)) * sizeof(float);
    return std::clamp(kInFlightBytes / bytes, kMinInFlight, AudioThread::kRing);
}
// A block answers kResultFalse when the plug-in could not complete its readings in time: its
// measuring threads may never return, so the session has stalled.
const char* const kReadingsIncomplete = "the plug-in could not complete its readings: its measuring threads did not "
                                        "answer in time";
constexpr std::uint64_t kBatch = 8; // blocks handed over per wake-up of the audio thread
// Audio between the host's idle calls in run() while the display is shown: the momentary loudness's
// refresh, so that the display sees every momentary value, its maximum included.
constexpr double kIdleSeconds = 0.1;

// Blocks from one idle to the next in run(): to the nearest block, every block at the least.
std::uint64_t idleBlocks(double sampleRate, int blockSize)
{
    const double blocks = std::round(kIdleSeconds * sampleRate / blockSize);
    return static_cast<std::uint64_t>(std::clamp(blocks, 1.0, static_cast<double>(1 << 30)));
}

// What the plug-in's display clock reads, in milliseconds. The plug-in keeps one frame system for
// the whole process, so the sessions alive at once share its clock: each sets it to its own audio
// time before it calls into its controller, and nothing of a session is left for the clock to read
// once the session is gone.
std::atomic<int32> gDisplayMs{0};

int32 sharedDisplayClock()
{
    return gDisplayMs.load(std::memory_order_relaxed);
}
} // namespace

// ---- session ----

Session::Session(std::string bundlePath, PluginEntries linkedIn, BlockMemory* blocks)
: bundlePath_(std::move(bundlePath)), linkedIn_(linkedIn), blocks_(blocks ? blocks : &ownBlocks_)
{
    app_ = new HostApplication;
    try {
        shared_ = std::make_unique<Shared>(*app_);
        handler_ = new ComponentHandler([shared = shared_.get()](uint32 id, double v) { shared->edit(id, v); });
        procProxy_ = new ConnectionProxy(shared_->router, true);
        ctrlProxy_ = new ConnectionProxy(shared_->router, false);
    } catch (const std::bad_alloc&) {
        // No destructor runs for a constructor that throws: what was made is given back here.
        if (procProxy_)
            procProxy_->release();
        if (handler_)
            handler_->release();
        shared_.reset();
        app_->release();
        throw;
    }
}

Session::~Session()
{
    teardown();
    if (stalled_) {
        // The plug-in may still call through the host's objects, and the audio thread take a block back.
        (void)shared_.release();
        return;
    }
    procProxy_->release();
    ctrlProxy_->release();
    handler_->release();
    shared_.reset();
    app_->release();
}

MessageRouter& Session::router()
{
    return shared_->router;
}

double Session::sampleRate() const
{
    return shared_->sampleRate;
}

bool Session::load(std::string& error)
{
    if (!(linkedIn_.getFactory ? module_.attach(linkedIn_, error) : module_.open(bundlePath_, error)))
        return false;
    display_ = std::make_unique<DisplayHost>(app_, bundlePath_);
    display_->frame().frameSystem().clock = sharedDisplayClock;
    shared_->display = display_.get();
    errno = 0;
    factory_ = module_.getFactory();
    if (!factory_) {
        error = errno == ENOMEM ? kNoMemory : "GetPluginFactory returned no factory";
        return false;
    }
    if (factory_->getFactoryInfo(&factoryInfo_) != kResultOk) {
        error = "the factory gives no factory information";
        return false;
    }
    IPluginFactory2* f2 = nullptr;
    IPluginFactory3* f3 = nullptr;
    factory_->queryInterface(iid::IPluginFactory2.b, reinterpret_cast<void**>(&f2));
    factory_->queryInterface(iid::IPluginFactory3.b, reinterpret_cast<void**>(&f3));
    if (f3)
        f3->setHostContext(app_);
    int32 count = factory_->countClasses();
    classes_.clear();
    bool found = false;
    for (int32 i = 0; i < count; ++i) {
        ClassRecord rec;
        ClassInfo info{};
        if (factory_->getClassInfo(i, &info) != kResultOk)
            continue;
        if (f2)
            rec.hasInfo2 = f2->getClassInfo2(i, &rec.info2) == kResultOk;
        if (f3)
            rec.hasUnicode = f3->getClassInfoUnicode(i, &rec.unicode) == kResultOk;
        if (!rec.hasInfo2)
            std::memcpy(&rec.info2, &info, sizeof(info));
        if (!found && std::strncmp(info.category, "Audio Module Class", sizeof(info.category)) == 0) {
            std::memcpy(processorCid_, info.cid, 16);
            found = true;
        }
        classes_.push_back(rec);
    }
    if (f2)
        f2->release();
    if (f3)
        f3->release();
    if (!found) {
        error = "the bundle offers no audio processor class";
        return false;
    }
    return true;
}

bool Session::create(std::string& error)
{
    if (!factory_) {
        error = "no factory";
        return false;
    }
    if (counted(factory_->createInstance(processorCid_, iid::IComponent.b, reinterpret_cast<void**>(&component_))) !=
            kResultOk ||
        !component_) {
        error = "the processor cannot be created";
        return false;
    }
    if (counted(component_->initialize(app_)) != kResultOk) {
        error = "the processor refused to initialize";
        return false;
    }
    if (component_->queryInterface(iid::IAudioProcessor.b, reinterpret_cast<void**>(&processor_)) != kResultOk) {
        error = "the processor has no audio processing interface";
        return false;
    }
    std::uint8_t ccid[16] = {};
    if (component_->getControllerClassId(ccid) == kResultOk) {
        if (counted(factory_->createInstance(ccid, iid::IEditController.b, reinterpret_cast<void**>(&controller_))) !=
                kResultOk ||
            !controller_) {
            controller_ = nullptr;
            error = "the controller cannot be created";
            return false;
        }
        shared_->controller = controller_;
        if (counted(controller_->initialize(display_ ? display_->context() : app_)) != kResultOk) {
            error = "the controller refused to initialize";
            return false;
        }
        controller_->setComponentHandler(handler_);
    }
    // Connect both sides through the host's proxies.
    component_->queryInterface(iid::IConnectionPoint.b, reinterpret_cast<void**>(&procCP_));
    shared_->procCP = procCP_;
    if (controller_)
        controller_->queryInterface(iid::IConnectionPoint.b, reinterpret_cast<void**>(&ctrlCP_));
    if (procCP_ && ctrlCP_) {
        procProxy_->setDestination(ctrlCP_);
        ctrlProxy_->setDestination(procCP_);
        procProxy_->connect(procCP_);
        ctrlProxy_->connect(ctrlCP_);
        procCP_->connect(procProxy_);
        ctrlCP_->connect(ctrlProxy_);
        connected_ = true;
    }
    // The controller follows the processor's state.
    if (controller_) {
        auto* stream = new MemoryStream;
        if (counted(component_->getState(stream)) == kResultOk) {
            stream->rewind();
            counted(controller_->setComponentState(stream));
        }
        stream->release();
    }
    return true;
}

namespace {
std::string hexMask(SpeakerArrangement a)
{
    char buf[24];
    std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(a));
    return buf;
}
} // namespace

bool Session::setup(double sampleRate, int channels, int blockSize, std::string& error, SpeakerArrangement speakers)
{
    if (!processor_) {
        error = "no processor";
        return false;
    }
    // The audio thread may still be inside the plug-in and read what a set-up would change.
    if (stalled_) {
        error = stallReason_;
        return false;
    }
    if (speakers == 0)
        speakers = defaultSpeakers(channels);
    if (channels < 1 || std::popcount(speakers) != channels) {
        error =
            "the speaker arrangement " + hexMask(speakers) + " does not have " + std::to_string(channels) + " channels";
        return false;
    }
    if (blockSize < 1 || blockSize > 1 << 20) {
        error = "block size out of range";
        return false;
    }
    sourceChannels_ = channels;
    SpeakerArrangement arr = speakers;
    SpeakerArrangement in = arr, out = arr;
    const tresult arranged = counted(processor_->setBusArrangements(&in, 1, &out, 1));
    if (arranged == kOutOfMemory) {
        error = kNoMemory; // no proposal comes with it
        return false;
    }
    if (arranged != kResultOk) {
        // The processor proposes what it can do through its buses: take it when it holds the same
        // channels, or stereo for a mono source (the one channel then feeds both).
        SpeakerArrangement pin = 0, pout = 0;
        processor_->getBusArrangement(kInput, 0, pin);
        processor_->getBusArrangement(kOutput, 0, pout);
        const int offered = std::popcount(pin);
        const bool fits = offered == std::popcount(pout) && (offered == channels || (channels == 1 && offered == 2));
        if (!fits || counted(processor_->setBusArrangements(&pin, 1, &pout, 1)) != kResultOk) {
            error = "the plug-in refuses " + std::to_string(channels) + "-channel audio (speakers " +
                    hexMask(speakers) + ")" +
                    (offered > 0 && pin != speakers ? "; it offers " + std::to_string(offered) + " channel" +
                                                          (offered == 1 ? "" : "s") + " (speakers " + hexMask(pin) + ")"
                                                    : std::string());
            return false;
        }
        arr = pin;
    }
    pluginChannels_ = std::popcount(arr);
    if (processor_->canProcessSampleSize(kSample32) != kResultOk) {
        error = "the plug-in cannot take 32-bit samples";
        return false;
    }
    ProcessSetup ps{processMode, kSample32, blockSize, 0, sampleRate};
    if (counted(processor_->setupProcessing(ps)) != kResultOk) {
        error = "the plug-in refuses to process at " + formatNumber(sampleRate, 17) + " Hz in blocks of up to " +
                std::to_string(blockSize) + " samples";
        return false;
    }
    shared_->sampleRate = sampleRate;
    blockSize_ = blockSize;
    if (!makeSlots(blockSize, error))
        return false;
    if (!audio_) {
        errno = 0;
        try {
            audio_ = std::make_unique<AudioThread>(processor_, *stallClock);
        } catch (const std::bad_alloc&) {
            noteMemoryFailure();
            error = kNoMemory;
            return false;
        } catch (const std::system_error& e) {
            // The system names no cause when the thread's stack or its own memory could not be had.
            const bool shortage = errno == ENOMEM || !threadStackFits();
            if (shortage)
                noteMemoryFailure();
            error = shortage ? std::string(kNoMemory) : std::string("cannot start the audio thread: ") + e.what();
            return false;
        }
    }
    component_->activateBus(kAudio, kInput, 0, true);
    component_->activateBus(kAudio, kOutput, 0, true);
    return activate(error);
}

bool Session::activate(std::string& error)
{
    const tresult answer = counted(component_->setActive(true));
    router().deliverQueued();
    if (answer != kResultOk) {
        error = "the plug-in refused to activate";
        return false;
    }
    active_ = true;
    return true;
}

bool Session::makeSlots(int blockSize, std::string& error)
{
    clearSlots();
    const std::uint64_t count = inFlightBlocks(blockSize, pluginChannels_);
    const std::size_t bytes = Slot::bytes(pluginChannels_, blockSize);
    try {
        slotBase_ = blocks_->hold(static_cast<std::size_t>(count) * bytes);
    } catch (const std::bad_alloc&) {
        noteMemoryFailure();
        // Input and output samples of each block.
        const double mib = 2.0 * static_cast<double>(count) * blockSize * pluginChannels_ * sizeof(float) / (1 << 20);
        error = "cannot allocate " + formatNumber(mib, 3) + " MiB for " + std::to_string(count) + " blocks of " +
                std::to_string(blockSize) + " frames in " + std::to_string(pluginChannels_) + " channels";
        return false;
    }
    for (std::uint64_t i = 0; i < count; ++i)
        new (slotBase_ + i * bytes) Slot(*shared_, pluginChannels_, blockSize);
    slotBytes_ = bytes;
    slotCount_ = count;
    slotFrames_ = blockSize;
    return true;
}

void Session::clearSlots()
{
    for (std::uint64_t i = 0; i < slotCount_; ++i)
        slot(i).~Slot();
    slotCount_ = 0;
    slotFrames_ = 0;
}

Session::Slot& Session::slot(std::uint64_t n)
{
    return *std::launder(reinterpret_cast<Slot*>(slotBase_ + n % slotCount_ * slotBytes_));
}

std::chrono::steady_clock::duration Session::stallBound() const
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(stallSeconds));
}

bool Session::waitFor(std::uint64_t target, std::string& error)
{
    if (audio_->waitFor(target, stallBound()))
        return true;
    stall("the plug-in stopped processing: no block done in " + formatNumber(stallSeconds, 6) + " s");
    error = stallReason_;
    return false;
}

void Session::stall(std::string reason)
{
    if (stalled_)
        return;
    stalled_ = true;
    stallReason_ = std::move(reason);
}

int32 Session::Shared::displayClock() const
{
    const double ms = static_cast<double>(framesTakenBack) * 1000.0 / sampleRate;
    // Wraps as a tick count does.
    return static_cast<int32>(static_cast<std::uint32_t>(static_cast<std::int64_t>(ms)));
}

void Session::Shared::showDisplayTime() const
{
    gDisplayMs.store(displayClock(), std::memory_order_relaxed);
}

void Session::fillContext(ProcessContext& ctx, std::int64_t pos, bool playing)
{
    ctx = ProcessContext{};
    ctx.state = playing ? static_cast<uint32>(kPlaying) : 0u;
    ctx.sampleRate = shared_->sampleRate;
    ctx.projectTimeSamples = pos;
    ctx.continuousTimeSamples = pos;
    ctx.tempo = 120.0;
    ctx.projectTimeMusic = static_cast<double>(pos) / shared_->sampleRate * ctx.tempo / 60.0;
    ctx.timeSigNumerator = 4;
    ctx.timeSigDenominator = 4;
}

void Session::Shared::edit(uint32 id, double normalized)
{
    std::lock_guard<std::mutex> lock(editMutex);
    pendingEdits.emplace_back(id, normalized);
}

void Session::Shared::takeEdits(HostParameterChanges& changes)
{
    std::lock_guard<std::mutex> lock(editMutex);
    for (auto& e : pendingEdits)
        changes.add(e.first, e.second, 0);
    pendingEdits.clear();
}

void Session::prepareSlot(Slot& s, int n, bool inPlace, bool playing)
{
    s.inChanges.clear();
    s.outChanges.clear();
    shared_->takeEdits(s.inChanges);
    fillContext(s.ctx, samplesProcessed_, playing);
    samplesProcessed_ += n;
    s.inBus.numChannels = pluginChannels_;
    s.inBus.channelBuffers32 = s.inPtr;
    s.inBus.silenceFlags = 0;
    for (int c = 0; c < pluginChannels_; ++c) {
        const float* p = s.inPtr[static_cast<std::size_t>(c)];
        bool silent = n > 0 && std::all_of(p, p + n, [](float v) { return v == 0.0f; });
        if (silent)
            s.inBus.silenceFlags |= 1ull << c;
    }
    s.outBus.numChannels = pluginChannels_;
    // Metering a file, nobody listens: the plug-in writes over its input instead of copying it.
    s.outBus.channelBuffers32 = inPlace ? s.inPtr : s.outPtr;
    s.outBus.silenceFlags = 0;
    s.data = ProcessData{};
    s.data.processMode = processMode;
    s.data.symbolicSampleSize = kSample32;
    s.data.numSamples = n;
    s.data.numInputs = 1;
    s.data.numOutputs = 1;
    s.data.inputs = &s.inBus;
    s.data.outputs = &s.outBus;
    s.data.inputParameterChanges = &s.inChanges;
    s.data.outputParameterChanges = &s.outChanges;
    s.data.processContext = &s.ctx;
}

void Session::Shared::consume(Slot& s)
{
    showDisplayTime();
    // Once the log is full, no batch is gathered (nor allocated) per block.
    const bool logging = outputLog.size() < 20000;
    std::vector<std::pair<uint32, double>> batch;
    for (int32 i = 0; i < s.outChanges.getParameterCount(); ++i) {
        HostParamQueue* q = s.outChanges.queue(i);
        int32 n = q->getPointCount();
        for (int32 p = 0; logging && p < n; ++p) {
            int32 off = 0;
            double v = 0.0;
            if (q->getPoint(p, off, v) == kResultOk)
                batch.emplace_back(q->getParameterId(), v);
        }
        int32 off = 0;
        double v = 0.0;
        if (n > 0 && q->getPoint(n - 1, off, v) == kResultOk) {
            uint32 id = q->getParameterId();
            auto it = std::find_if(lastOutputs.begin(), lastOutputs.end(), [id](auto& e) { return e.first == id; });
            if (it == lastOutputs.end())
                lastOutputs.emplace_back(id, v);
            else
                it->second = v;
            if (controller)
                counted(controller->setParamNormalized(id, v));
        }
    }
    if (logging && !batch.empty())
        outputLog.push_back(std::move(batch));
    framesTakenBack += s.data.numSamples;
}

// Fills the slot for the next block and answers true, or false when there is none; the pipeline
// hands each block back in order.
struct Session::Feed
{
    virtual ~Feed() = default;
    // The feed's blocks are numbered from 1.
    virtual bool fill(Slot& s, std::uint64_t n) = 0;
    virtual void taken(Slot& /*s*/, std::uint64_t /*n*/) {}
};

bool Session::pipeline(Feed& feed, bool stopOnFailure, tresult& first, std::string& error)
{
    std::uint64_t published = audio_->done(), consumed = published;
    const std::uint64_t base = published;
    const std::uint64_t depth = slotCount_; // as many as can be in flight
    bool ended = false, stop = false, incomplete = false;
    first = kResultOk;
    // Out of memory in the feed: nothing of the session may unwind while blocks it handed over are
    // still being processed.
    struct Drain
    {
        Session& self;
        const std::uint64_t& published;
        const int uncaught = std::uncaught_exceptions();
        ~Drain()
        {
            if (std::uncaught_exceptions() > uncaught && !self.audio_->waitFor(published, self.stallBound()))
                self.stalled_ = true;
        }
    } drain{*this, published};
    for (;;) {
        const std::uint64_t d = audio_->done();
        while (consumed < d) {
            Slot& s = slot(consumed++);
            if (counted(s.result) != kResultOk) {
                if (first == kResultOk)
                    first = s.result;
                // A plug-in that could not complete its readings gets no more blocks.
                incomplete = incomplete || s.result == kResultFalse;
                stop = stop || stopOnFailure || incomplete;
            }
            if (!audioRunsDisplay_)
                shared_->consume(s);
            feed.taken(s, consumed - base);
        }
        if (!audioRunsDisplay_)
            router().deliverQueued();
        if (!ended && !stop && published - consumed < depth) {
            Slot& s = slot(published);
            if (!feed.fill(s, published - base + 1)) {
                ended = true;
                continue;
            }
            s.takeBack = audioRunsDisplay_ ? &Session::takeBackOnAudioThread : nullptr;
            audio_->submit(&s);
            ++published;
            if ((published - base) % kBatch == 0)
                audio_->kick();
            continue;
        }
        const bool ending = ended || stop;
        if (ending && consumed == published)
            break;
        // Wake once the audio thread has taken three quarters of those in flight (or finished), not at
        // every block: refilling them takes the feed a fraction of the time the last quarter keeps it busy.
        if (!waitFor(ending ? published : std::min(published, consumed + depth * 3 / 4), error))
            return false;
    }
    if (incomplete)
        stall(kReadingsIncomplete);
    return true;
}

bool Session::run(AudioSource& source, const std::function<void(std::int64_t, std::int64_t)>& progress,
                  std::string& error)
{
    if (!audio_ || !active_ || stalled_) {
        error = "processing is not set up";
        return false;
    }
    struct SourceFeed : Feed
    {
        Session& self;
        AudioSource& source;
        const std::function<void(std::int64_t, std::int64_t)>& progress;
        const std::int64_t total;
        std::int64_t pos = 0;
        std::int64_t tailLeft;
        std::uint64_t idleEvery;
        bool eof = false;
        std::vector<float*> readPtr;

        SourceFeed(Session& session, AudioSource& src, const std::function<void(std::int64_t, std::int64_t)>& prog)
        : self(session), source(src), progress(prog), total(src.frames()), tailLeft(std::max(0, session.tailFrames)),
          idleEvery(session.idleEveryBlocks > 0 ? static_cast<std::uint64_t>(session.idleEveryBlocks)
                                                : idleBlocks(session.sampleRate(), session.blockSize_)),
          readPtr(static_cast<std::size_t>(session.sourceChannels_))
        {}
        bool fill(Slot& s, std::uint64_t n) override
        {
            std::int64_t got = 0;
            if (!eof) {
                for (int c = 0; c < self.sourceChannels_; ++c)
                    readPtr[static_cast<std::size_t>(c)] = s.inPtr[static_cast<std::size_t>(c)];
                got = source.read(readPtr.data(), self.blockSize_);
                eof = got <= 0;
                if (got > 0 && self.sourceChannels_ == 1 && self.pluginChannels_ == 2)
                    std::copy_n(s.inPtr[0], got, s.inPtr[1]);
                pos += std::max<std::int64_t>(got, 0);
            }
            if (eof) {
                // The tail: silence after the last block lets the plug-in's filters flush.
                got = std::min<std::int64_t>(tailLeft, self.blockSize_);
                tailLeft -= got;
                if (got == 0)
                    return false;
                for (int c = 0; c < self.pluginChannels_; ++c)
                    std::fill_n(s.inPtr[static_cast<std::size_t>(c)], got, 0.0f);
            }
            self.prepareSlot(s, static_cast<int>(got), true);
            // The host's idle comes as every idleEvery-th block is taken back, and only every
            // idleEvery-th block carries an output list: the read-out the idle asks for lands in the
            // next such block. The audio thread, which takes the blocks back, idles before it goes on,
            // so the read-outs, and what the display sees between them, sit at audio positions fixed
            // by the file and the block size: the same file gives the same display every run.
            // Unshown, the display takes no idle and the run no read-out: the one after it reads the whole.
            if (!(self.displayShown && n % idleEvery == 0))
                s.data.outputParameterChanges = nullptr;
            return true;
        }
        void taken(Slot&, std::uint64_t n) override
        {
            if (progress && n % idleEvery == 0)
                progress(pos, total);
        }
    };
    SourceFeed feed(*this, source, progress);
    framesRead_ = 0;
    tresult first = kResultOk;
    // Shown, the display runs on the audio thread until every block has come back.
    struct DisplayOnAudioThread
    {
        Session& self;
        explicit DisplayOnAudioThread(Session& s) : self(s)
        {
            self.audioRunsDisplay_ = self.displayShown;
            if (self.audioRunsDisplay_)
                self.app_->setMainThread(self.audio_->id());
        }
        ~DisplayOnAudioThread()
        {
            if (self.audioRunsDisplay_)
                self.app_->setMainThread(std::this_thread::get_id());
            self.audioRunsDisplay_ = false;
        }
    };
    shared_->takeBackFailed = false;
    {
        DisplayOnAudioThread shown(*this);
        if (!pipeline(feed, false, first, error))
            return false;
    }
    framesRead_ = feed.pos;
    router().deliverQueued();
    if (progress)
        progress(feed.pos, feed.total);
    if (stalled_) {
        error = stallReason_;
        return false;
    }
    if (shared_->takeBackFailed) {
        // The display's read-outs of some block could not be had.
        noteMemoryFailure();
        error = kNoMemory;
        return false;
    }
    if (first != kResultOk) {
        error = "the plug-in failed to process a block";
        return false;
    }
    return true;
}

void Session::takeBackOnAudioThread(ProcessBlock& block)
{
    Slot& s = static_cast<Slot&>(block);
    Shared& shared = s.shared;
    try {
        shared.consume(s);
        if (s.data.outputParameterChanges) {
            shared.router.deliverQueued();
            shared.requestData();
        }
    } catch (const std::bad_alloc&) {
        shared.takeBackFailed = true; // read after the run, once every block has come back
    }
}

// Blocks cut from planar input, their outputs copied out as they come back.
struct Session::StretchFeed : Feed
{
    Session& self;
    const float* const* in;
    float* const* out;
    std::int64_t frames;
    bool emptyBlock; // one block of no samples when there are no frames
    bool playing;
    std::int64_t pos = 0, outPos = 0;

    StretchFeed(Session& session, const float* const* input, std::int64_t n, float* const* output, bool empty,
                bool play)
    : self(session), in(input), out(output), frames(n), emptyBlock(empty), playing(play)
    {}
    bool fill(Slot& s, std::uint64_t) override
    {
        if (pos >= frames && !emptyBlock)
            return false;
        emptyBlock = false;
        const int n = static_cast<int>(std::min<std::int64_t>(self.blockSize_, frames - pos));
        for (int c = 0; c < self.pluginChannels_; ++c) {
            float* dst = s.inPtr[static_cast<std::size_t>(c)];
            if (in && in[c])
                std::copy_n(in[c] + pos, n, dst);
            else
                std::fill_n(dst, n, 0.0f);
        }
        self.prepareSlot(s, n, false, playing);
        pos += n;
        return true;
    }
    void taken(Slot& s, std::uint64_t) override
    {
        const int n = s.data.numSamples;
        if (out)
            for (int c = 0; c < self.pluginChannels_; ++c)
                if (out[c])
                    std::copy_n(s.outPtr[static_cast<std::size_t>(c)], n, out[c] + outPos);
        outPos += n;
    }
};

tresult Session::processFed(const float* const* in, std::int64_t frames, float* const* out, bool emptyBlock,
                            bool playing)
{
    if (!audio_ || stalled_ || slotCount_ == 0)
        return kInvalidArgument;
    StretchFeed feed(*this, in, frames, out, emptyBlock, playing);
    tresult first = kResultOk;
    std::string error;
    if (!pipeline(feed, true, first, error))
        return kResultFalse;
    router().deliverQueued();
    return first;
}

tresult Session::processStretch(const float* const* in, std::int64_t frames, float* const* out)
{
    return frames < 0 ? kInvalidArgument : processFed(in, frames, out, false);
}

tresult Session::processBlock(const float* const* in, int numSamples, float* const* out)
{
    return numSamples < 0 || numSamples > blockSize_ ? kInvalidArgument : processFed(in, numSamples, out, true);
}

void Session::requestData()
{
    // A stalled session's controller may still be busy on the audio thread, in a take-back.
    if (!stalled_)
        shared_->requestData();
}

void Session::Shared::requestData()
{
    showDisplayTime();
    // Idle time: a controller that takes it asks the processor for data itself.
    if (display && display->hasIdleHandlers())
        display->idle();
    else
        router.sendToProcessor(procCP, "PluginDataGet", "PluginDataGet", 0);
}

bool Session::drawSvg(std::string& svg, std::string& error)
{
    if (!display_ || !controller_) {
        error = "no controller to draw";
        return false;
    }
    shared_->showDisplayTime();
    return display_->drawSvg(controller_, svg, error);
}

bool Session::writeSvg(const std::string& path, std::string& error)
{
    std::string svg;
    return drawSvg(svg, error) && writePictureFile(path, svg, error);
}

bool Session::readOut(std::string* error, bool playing)
{
    requestData();
    const tresult result = processFed(nullptr, 0, nullptr, true, playing);
    if (result == kResultOk)
        return true;
    if (error)
        *error = stalled_ ? stallReason_ : "the plug-in failed to read out its values";
    return false;
}

double Session::lastOutput(uint32 id) const
{
    for (auto& e : shared_->lastOutputs)
        if (e.first == id)
            return e.second;
    return std::numeric_limits<double>::quiet_NaN();
}

std::vector<std::vector<std::pair<uint32, double>>> Session::outputLog() const
{
    return shared_->outputLog;
}

void Session::clearOutputLog()
{
    shared_->outputLog.clear();
}

std::vector<ParamValue> Session::values()
{
    std::vector<ParamValue> out;
    if (!controller_)
        return out;
    int32 n = controller_->getParameterCount();
    for (int32 i = 0; i < n; ++i) {
        ParameterInfo info{};
        if (counted(controller_->getParameterInfo(i, info)) != kResultOk)
            continue;
        ParamValue v;
        v.id = info.id;
        v.title = toUtf8(info.title);
        v.shortTitle = toUtf8(info.shortTitle);
        v.units = toUtf8(info.units);
        v.stepCount = info.stepCount;
        v.flags = info.flags;
        v.unitId = info.unitId;
        v.normalized = controller_->getParamNormalized(info.id);
        v.plain = controller_->normalizedParamToPlain(info.id, v.normalized);
        char16 text[128] = {};
        if (counted(controller_->getParamStringByValue(info.id, v.normalized, text)) == kResultOk)
            v.text = toUtf8(text, 127);
        out.push_back(std::move(v));
    }
    return out;
}

void Session::setParameter(uint32 id, double normalized)
{
    shared_->showDisplayTime();
    if (controller_)
        controller_->setParamNormalized(id, normalized);
    shared_->edit(id, normalized);
}

bool Session::saveState(std::vector<std::uint8_t>& out)
{
    if (!component_)
        return false;
    auto* stream = new MemoryStream;
    bool ok = counted(component_->getState(stream)) == kResultOk;
    out = stream->data();
    stream->release();
    return ok;
}

bool Session::restoreState(const std::vector<std::uint8_t>& bytes)
{
    if (!component_)
        return false;
    auto* stream = new MemoryStream(bytes);
    bool ok = counted(component_->setState(stream)) == kResultOk;
    if (ok && controller_) {
        stream->rewind();
        ok = counted(controller_->setComponentState(stream)) == kResultOk;
    }
    stream->release();
    return ok;
}

bool Session::resetup(int blockSize, std::string& error)
{
    if (!processor_ || !active_ || stalled_) {
        error = "processing is not set up";
        return false;
    }
    component_->setActive(false);
    active_ = false;
    router().deliverQueued();
    ProcessSetup ps{processMode, kSample32, blockSize, 0, shared_->sampleRate};
    if (blockSize < 1 || counted(processor_->setupProcessing(ps)) != kResultOk) {
        std::string again;
        activate(again);
        error = "the processor refused the new set-up";
        return false;
    }
    blockSize_ = blockSize;
    // Slots made for larger blocks take the smaller ones as they are: laid out anew, more of them
    // would touch memory the run never did, while the plug-in's freed memory is still kept.
    if (blockSize > slotFrames_ && !makeSlots(blockSize, error))
        return false; // left inactive: nothing is processed until a set-up succeeds
    return activate(error);
}

void Session::teardown()
{
    if (stalled_) {
        // The audio thread is inside the plug-in: nothing of it may be touched or unloaded. Leave it
        // all to the end of the process.
        (void)audio_.release();
        blocks_->abandon(); // the block the audio thread is in still points into its slot
        slotCount_ = 0;
        slotFrames_ = 0;
        (void)display_.release();
        component_ = nullptr;
        processor_ = nullptr;
        controller_ = nullptr;
        procCP_ = ctrlCP_ = nullptr;
        factory_ = nullptr;
        connected_ = active_ = false;
        module_.abandon();
        return;
    }
    if (component_ && active_) {
        component_->setActive(false);
        active_ = false;
    }
    audio_.reset();
    if (component_) {
        component_->activateBus(kAudio, kInput, 0, false);
        component_->activateBus(kAudio, kOutput, 0, false);
    }
    router().deliverQueued();
    if (connected_) {
        procCP_->disconnect(procProxy_);
        ctrlCP_->disconnect(ctrlProxy_);
        procProxy_->disconnect(procCP_);
        ctrlProxy_->disconnect(ctrlCP_);
        procProxy_->setDestination(nullptr);
        ctrlProxy_->setDestination(nullptr);
        connected_ = false;
    }
    if (procCP_) {
        procCP_->release();
        procCP_ = shared_->procCP = nullptr;
    }
    if (ctrlCP_) {
        ctrlCP_->release();
        ctrlCP_ = nullptr;
    }
    if (display_)
        display_->closeEditor();
    if (controller_) {
        controller_->setComponentHandler(nullptr);
        controller_->terminate();
        controller_->release();
        controller_ = shared_->controller = nullptr;
    }
    if (processor_) {
        processor_->release();
        processor_ = nullptr;
    }
    if (component_) {
        component_->terminate();
        component_->release();
        component_ = nullptr;
    }
    // Nothing of the plug-in may stay with the host once the bundle is closed.
    shared_->display = nullptr;
    display_.reset();
    if (factory_) {
        factory_->release();
        factory_ = nullptr;
    }
    clearSlots();
    module_.close();
}

} // namespace qelhost
