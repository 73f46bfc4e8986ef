// The host's side of one plug-in run: loading the bundle, creating and connecting processor and
// controller, set-up, processing on an audio thread, read-out, state, re-set-up and tear-down.
#pragma once

#include "host/audiosource.h"
#include "host/blockmemory.h"
#include "host/frame_display.h"
#include "host/hostobjects.h"
#include "platform/waitbound.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelhost {

class AudioThread;
struct ProcessBlock;

// The three entry functions of a plug-in linked into the process (tests reach inside it).
struct PluginEntries
{
    BundleEntryProc entry = nullptr;
    BundleExitProc exit = nullptr;
    GetPluginFactoryProc getFactory = nullptr;
};

// The bundle binary with its three entry functions.
class PluginModule
{
public:
    PluginModule() = default;
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    bool open(const std::string& path, std::string& error);        // dlopen, entry points, bundleEntry
    bool attach(const PluginEntries& entries, std::string& error); // a linked-in plug-in: bundleEntry
    void close();                                                  // bundleExit, dlclose
    IPluginFactory* getFactory();                                  // a new reference, or null
    bool isOpen() const { return handle_ != nullptr || attached_; }
    void* symbol(const char* name) const;
    // Forgets the bundle without calling into it or unloading it (its code is still running).
    void abandon()
    {
        handle_ = nullptr;
        attached_ = false;
    }

private:
    void* handle_ = nullptr;
    bool attached_ = false;
    BundleEntryProc entry_ = nullptr;
    BundleExitProc exit_ = nullptr;
    GetPluginFactoryProc getFactory_ = nullptr;
};

// One parameter as the controller reports it.
struct ParamValue
{
    uint32 id = 0;
    std::string title;
    std::string shortTitle;
    std::string units;
    std::string text;
    double normalized = 0.0;
    double plain = 0.0;
    int32 stepCount = 0;
    int32 flags = 0;
    int32 unitId = 0;
};

struct ClassRecord
{
    ClassInfo2 info2{};
    ClassInfoUnicode unicode{};
    bool hasInfo2 = false;
    bool hasUnicode = false;
};

// The bundle beside the running program's file, as `self` (a link to it) names it, else as the path
// it was started by names it (`started`; null: the one the kernel keeps), from the working folder,
// which the program has not changed by then. Each is taken only when it leads to the running
// program's file. Empty when neither does: the program cannot tell where it is, and no other
// folder is the program's.
std::string defaultBundlePath(const char* self = "/proc/self/exe", const char* started = nullptr);

// Threads. Sessions are made, used and destroyed on one thread, the main thread, and any number
// may be alive at once, set up and torn down in any order: they share the plug-in's display
// services and the host's frame host behind them (see DisplayHost), which take no lock. Every call
// below belongs to the main thread. The session runs the plug-in's process calls on its own audio
// thread and hands blocks to it itself; what the plug-in does from its threads reaches the session
// safely: messages sent from the audio thread or the plug-in's workers wait in the router for the
// main thread (delivered as blocks come back, or by router().deliverQueued()), and edits the
// controller reports from any thread wait under a lock for the next block. While run() meters a
// source with the display shown, the audio thread stands in for the main thread: it takes each
// block back as soon as it has processed it, and gives the display its idle time, so that no
// read-out needs the two threads to meet; the main thread reads the source ahead and bounds the
// wait for a plug-in that stops. run() hands the main thread's part back before it returns.
// A stalled session, torn down or destroyed, leaves what the plug-in and the audio thread may still
// reach (the slots, the audio thread, what taking a block back touches) to the end of the process.
class Session
{
public:
    // The bundle at `bundlePath`, or with `linkedIn` a plug-in linked into the process (the bundle
    // then only lends the display its skin). The blocks in flight are laid out in `blocks`, which
    // must outlive the session and serve one session at a time; without it, in the session's own.
    explicit Session(std::string bundlePath, PluginEntries linkedIn = {}, BlockMemory* blocks = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Call order: load, create, setup, run (or processBlock), readOut, ..., teardown.
    bool load(std::string& error);
    bool create(std::string& error);
    // Arranges the buses for `speakers` (the plug-in's speaker arrangement of the audio; 0 takes the
    // usual one for `channels`), sets up processing, makes the slots for the blocks in flight (input
    // and output samples), activates the buses and the processor. False with the reason when the
    // plug-in refuses the arrangement or the set-up, or the slots cannot be had ("cannot allocate …").
    bool setup(double sampleRate, int channels, int blockSize, std::string& error, SpeakerArrangement speakers = 0);
    // Meters the whole source on the audio thread, then `tailFrames` of silence. progress(done,
    // total) runs on the main thread, as the blocks come back. False when a block fails, or when the
    // plug-in stops processing (no block done in `stallSeconds`) or cannot complete its readings: it
    // has stalled.
    bool run(AudioSource& source, const std::function<void(std::int64_t, std::int64_t)>& progress, std::string& error);
    // One block on the audio thread (synchronously). `in` has pluginChannels() channels; null means silence.
    // Output samples land in `out` when given.
    tresult processBlock(const float* const* in, int numSamples, float* const* out = nullptr);
    // `frames` of planar input (pluginChannels() channels; a null `in` or channel is silence) in blocks
    // of blockSize() on the audio thread, handed over as run() hands over a source: the main thread
    // waits only when the most blocks are in flight (all the slots: 8 MiB of input samples, at least 16
    // blocks and at most 128). Outputs land in `out` (each channel when not null) when given. Answers
    // kResultOk; the first block's result that is not, after which no block is handed over
    // (kResultFalse: the plug-in could not complete its readings, or stopped processing for
    // `stallSeconds`: the session has stalled); kInvalidArgument when not set up, stalled, or frames < 0.
    // No frames process no block.
    tresult processStretch(const float* const* in, std::int64_t frames, float* const* out = nullptr);
    // Asks for data, runs an empty block with output changes and passes them to the controller.
    // The block's transport says the host has stopped: that is the programme's end, and offline the
    // plug-in completes its readings first, so one read-out after the last block reads the whole
    // programme. With `playing` the transport says the host plays on, as it does between blocks of
    // a programme that goes on. False when the block fails (with the reason in `error`); when the
    // plug-in could not complete its readings, the session has stalled.
    bool readOut(std::string* error = nullptr, bool playing = false);
    std::vector<ParamValue> values();

    // Queues an input parameter change (normalized) for the next block and tells the controller.
    void setParameter(uint32 id, double normalized);
    void requestData(); // "PluginDataGet" from the host's idle

    bool saveState(std::vector<std::uint8_t>& out);
    bool restoreState(const std::vector<std::uint8_t>& bytes);
    // Deactivates, sets up anew and activates again; left inactive when the new slots cannot be had.
    bool resetup(int blockSize, std::string& error);
    void teardown();

    // Access for tests.
    PluginModule& module() { return module_; }
    IPluginFactory* factory() { return factory_; }
    IComponent* component() { return component_; }
    IAudioProcessor* processor() { return processor_; }
    IEditController* controller() { return controller_; }
    AudioThread* audioThread() { return audio_.get(); } // null before setup
    // The drawing services the controller starts its display on (null before load).
    DisplayHost* display() { return display_.get(); }
    // The editor's display, drawn from the skin, as SVG (DisplayHost::drawSvg), or as an SVG file
    // (writePictureFile). Both throw std::bad_alloc, the file then not written, when the display
    // could not be opened or drawn whole for want of memory.
    bool drawSvg(std::string& svg, std::string& error);
    bool writeSvg(const std::string& path, std::string& error);
    IConnectionPoint* processorConnection() { return procCP_; }
    IConnectionPoint* controllerConnection() { return ctrlCP_; }
    HostApplication& app() { return *app_; }
    MessageRouter& router();
    const std::vector<ClassRecord>& classes() const { return classes_; }
    const FactoryInfo& factoryInfo() const { return factoryInfo_; }
    int pluginChannels() const { return pluginChannels_; }
    int blockSize() const { return blockSize_; }
    double sampleRate() const;
    std::int64_t samplesProcessed() const { return samplesProcessed_; }
    // Last normalized value the processor wrote for an id (NaN when none yet).
    double lastOutput(uint32 id) const;
    // Every output point batch in arrival order: (id, value) per point, one vector per block.
    std::vector<std::vector<std::pair<uint32, double>>> outputLog() const;
    void clearOutputLog();
    // While the display is shown, run() gives idle time as every idleEveryBlocks-th block comes back
    // (0: every 0.1 s of audio, the momentary loudness's refresh, to the nearest block, and every
    // block where a block is longer), and only those blocks carry an output list: the read-out an
    // idle asks for lands in the next of them. So the read-outs land at fixed places in the audio.
    int idleEveryBlocks = 0;
    // Whether the display is shown (its picture drawn): else run() gives it no idle time and reads
    // nothing out, and the read-out after the run reads the whole programme.
    bool displayShown = true;
    int processMode = kOffline;
    // Offline, the plug-in waits for its gating workers rather than drop windows: no pacing is needed.
    // Silence played after the end of a source. None by default: the meter counts digital silence as
    // part of the programme, so a tail would add windows the file does not have.
    int tailFrames = 0;
    double stallSeconds = 10.0; // a plug-in that finishes no block for this long has stopped
    // Where that bound reads the time: the machine's monotonic clock, or a test's own. Set before
    // the first setup.
    Platform::WaitClock* stallClock = &Platform::WaitClock::steady();
    bool stalled() const { return stalled_; }
    std::int64_t framesRead() const { return framesRead_; } // by the last run(), without the tail

private:
    struct Shared;
    struct Slot;
    struct Feed;
    struct StretchFeed;

    // Every block but a final read-out's says the host is playing.
    void fillContext(ProcessContext& ctx, std::int64_t pos, bool playing);
    void prepareSlot(Slot& s, int n, bool inPlace, bool playing = true);
    // setActive(true) and the messages it sends; false with the reason when the plug-in refuses.
    bool activate(std::string& error);
    // The audio thread's take-back while it runs the display: the block's outputs to the controller,
    // then, after a block that carries an output list, the display's idle.
    static void takeBackOnAudioThread(ProcessBlock& block);
    // Slots for the blocks that can be in flight at `blockSize`. False, with the memory it could not
    // get, when out of memory.
    bool makeSlots(int blockSize, std::string& error);
    void clearSlots();
    Slot& slot(std::uint64_t n);                            // the slot of the n-th block handed over
    std::chrono::steady_clock::duration stallBound() const; // stallSeconds
    bool waitFor(std::uint64_t target, std::string& error);
    // The pipeline behind run(), processStretch() and processBlock(). `first` is the first result that
    // is not ok; after it no block is handed over when `stopOnFailure`, after kResultFalse never (the
    // session then stalls). False when the plug-in stopped processing (stalled, with `error`).
    bool pipeline(Feed& feed, bool stopOnFailure, tresult& first, std::string& error);
    // processStretch(), or with `emptyBlock` one block even of no frames (processBlock()).
    tresult processFed(const float* const* in, std::int64_t frames, float* const* out, bool emptyBlock,
                       bool playing = true);
    // The plug-in may still be running code: from now on it is abandoned, not torn down.
    void stall(std::string reason);

    std::string bundlePath_;
    PluginEntries linkedIn_;
    PluginModule module_;
    HostApplication* app_ = nullptr;
    std::unique_ptr<Shared> shared_; // what taking a block back reaches, the router among it
    std::unique_ptr<DisplayHost> display_;
    ComponentHandler* handler_ = nullptr;
    ConnectionProxy* procProxy_ = nullptr; // the processor talks to it
    ConnectionProxy* ctrlProxy_ = nullptr; // the controller talks to it
    IPluginFactory* factory_ = nullptr;
    FactoryInfo factoryInfo_{};
    std::vector<ClassRecord> classes_;
    std::uint8_t processorCid_[16] = {};
    IComponent* component_ = nullptr;
    IAudioProcessor* processor_ = nullptr;
    IEditController* controller_ = nullptr;
    IConnectionPoint* procCP_ = nullptr;
    IConnectionPoint* ctrlCP_ = nullptr;
    bool connected_ = false;
    bool active_ = false;

    int blockSize_ = 512;
    int sourceChannels_ = 2;
    int pluginChannels_ = 2;
    std::int64_t samplesProcessed_ = 0;
    std::int64_t framesRead_ = 0;
    bool stalled_ = false;
    std::string stallReason_;

    BlockMemory ownBlocks_;
    BlockMemory* blocks_;
    std::byte* slotBase_ = nullptr; // in blocks_: the slots, one after another
    std::size_t slotBytes_ = 0;
    std::uint64_t slotCount_ = 0; // as many as can be in flight
    int slotFrames_ = 0;          // the most frames a slot takes
    std::unique_ptr<AudioThread> audio_;
    bool audioRunsDisplay_ = false; // run() with the display shown: the audio thread takes blocks back
};

} // namespace qelhost
