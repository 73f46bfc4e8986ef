// The host's own view of the plug-in boundary: interface tables, identifiers and records, written
// from the standard's slot tables on this side of the border. The host links nothing of the plug-in,
// so these declarations are all it knows; the layout checks below keep them honest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qelhost {

using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using tresult = std::int32_t;
using char16 = char16_t;
using SpeakerArrangement = std::uint64_t;

enum : tresult
{
    kResultOk = 0,
    kResultFalse = 1,
    kInvalidArgument = 2,
    kNotImplemented = 3,
    kInternalError = 4,
    kNotInitialized = 5,
    kOutOfMemory = 6, // the call could not have the memory it needed
    kNoInterface = -1,
};

enum : int32
{
    kAudio = 0,
    kEvent = 1
};
enum : int32
{
    kInput = 0,
    kOutput = 1
};
enum : int32
{
    kSample32 = 0,
    kSample64 = 1
};
enum : int32
{
    kRealtime = 0,
    kPrefetch = 1,
    kOffline = 2
};

// The bundle's three exported entry functions. The bundle reference is the platform's opaque
// bundle object; this host has none to give and passes null.
struct PlatformBundle;
using BundleRef = PlatformBundle*;
struct IPluginFactory;
using BundleEntryProc = bool (*)(BundleRef bundle);
using BundleExitProc = bool (*)();
using GetPluginFactoryProc = IPluginFactory* (*)();

// 16 bytes in memory order, as compared by queryInterface.
struct Uid
{
    std::uint8_t b[16];
};
inline bool sameUid(const std::uint8_t* a, const std::uint8_t* b)
{
    return a && b && std::memcmp(a, b, 16) == 0;
}

// Speaker arrangements, as setBusArrangements takes them: one bit per speaker, the channels in bit
// order, as many as bits are set. The plug-in's buses are kStereo until the host arranges them; its
// loudness weighs the surround pair (kLs, kRs) 1.41 and the low-frequency speakers nothing.
namespace speaker {
inline constexpr SpeakerArrangement kL = 1ull << 0;   // front left (the one channel of mono)
inline constexpr SpeakerArrangement kR = 1ull << 1;   // front right
inline constexpr SpeakerArrangement kC = 1ull << 2;   // front centre
inline constexpr SpeakerArrangement kLfe = 1ull << 3; // low frequency
inline constexpr SpeakerArrangement kLs = 1ull << 4;  // left surround, 60 to 120 degrees from the front
inline constexpr SpeakerArrangement kRs = 1ull << 5;  // right surround
inline constexpr SpeakerArrangement kLc = 1ull << 6;  // left of centre
inline constexpr SpeakerArrangement kRc = 1ull << 7;  // right of centre
inline constexpr SpeakerArrangement kCs = 1ull << 8;  // rear centre
inline constexpr SpeakerArrangement kLb = 1ull << 9;  // rear left, behind a surround pair
inline constexpr SpeakerArrangement kRb = 1ull << 10; // rear right
inline constexpr SpeakerArrangement kTc = 1ull << 11; // top centre
inline constexpr SpeakerArrangement kTfl = 1ull << 12;
inline constexpr SpeakerArrangement kTfc = 1ull << 13;
inline constexpr SpeakerArrangement kTfr = 1ull << 14;
inline constexpr SpeakerArrangement kTrl = 1ull << 15;
inline constexpr SpeakerArrangement kTrc = 1ull << 16;
inline constexpr SpeakerArrangement kTrr = 1ull << 17;
inline constexpr SpeakerArrangement kLfe2 = 1ull << 18; // second low frequency
} // namespace speaker

namespace arrangement {
using namespace speaker;
inline constexpr SpeakerArrangement kMono = kL;
inline constexpr SpeakerArrangement kStereo = kL | kR;
inline constexpr SpeakerArrangement k30 = kStereo | kC;
inline constexpr SpeakerArrangement kQuad = kStereo | kLs | kRs;
inline constexpr SpeakerArrangement k50 = k30 | kLs | kRs;
inline constexpr SpeakerArrangement k51 = k50 | kLfe;
inline constexpr SpeakerArrangement k61 = k51 | kCs;
inline constexpr SpeakerArrangement k71 = k51 | kLb | kRb;
} // namespace arrangement

namespace iid {
inline constexpr Uid FUnknown{
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Uid IPluginBase{
    {0x22, 0x88, 0x8D, 0xDB, 0x15, 0x6E, 0x45, 0xAE, 0x83, 0x58, 0xB3, 0x48, 0x08, 0x19, 0x06, 0x25}};
inline constexpr Uid IPluginFactory{
    {0x7A, 0x4D, 0x81, 0x1C, 0x52, 0x11, 0x4A, 0x1F, 0xAE, 0xD9, 0xD2, 0xEE, 0x0B, 0x43, 0xBF, 0x9F}};
inline constexpr Uid IPluginFactory2{
    {0x00, 0x07, 0xB6, 0x50, 0xF2, 0x4B, 0x4C, 0x0B, 0xA4, 0x64, 0xED, 0xB9, 0xF0, 0x0B, 0x2A, 0xBB}};
inline constexpr Uid IPluginFactory3{
    {0x45, 0x55, 0xA2, 0xAB, 0xC1, 0x23, 0x4E, 0x57, 0x9B, 0x12, 0x29, 0x10, 0x36, 0x87, 0x89, 0x31}};
inline constexpr Uid IPlugView{
    {0x5B, 0xC3, 0x25, 0x07, 0xD0, 0x60, 0x49, 0xEA, 0xA6, 0x15, 0x1B, 0x52, 0x2B, 0x75, 0x5B, 0x29}};
inline constexpr Uid IComponent{
    {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01, 0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02}};
inline constexpr Uid IAudioProcessor{
    {0x42, 0x04, 0x3F, 0x99, 0xB7, 0xDA, 0x45, 0x3C, 0xA5, 0x69, 0xE7, 0x9D, 0x9A, 0xAE, 0xC3, 0x3D}};
inline constexpr Uid IConnectionPoint{
    {0x70, 0xA4, 0x15, 0x6F, 0x6E, 0x6E, 0x40, 0x26, 0x98, 0x91, 0x48, 0xBF, 0xAA, 0x60, 0xD8, 0xD1}};
inline constexpr Uid IEditController{
    {0xDC, 0xD7, 0xBB, 0xE3, 0x77, 0x42, 0x44, 0x8D, 0xA8, 0x74, 0xAA, 0xCC, 0x97, 0x9C, 0x75, 0x9E}};
inline constexpr Uid IEditController2{
    {0x7F, 0x4E, 0xFE, 0x59, 0xF3, 0x20, 0x49, 0x67, 0xAC, 0x27, 0xA3, 0xAE, 0xAF, 0xB6, 0x30, 0x38}};
inline constexpr Uid IUnitInfo{
    {0x3D, 0x4B, 0xD6, 0xB5, 0x91, 0x3A, 0x4F, 0xD2, 0xA8, 0x86, 0xE7, 0x68, 0xA5, 0xEB, 0x92, 0xC1}};
inline constexpr Uid IHostApplication{
    {0x58, 0xE5, 0x95, 0xCC, 0xDB, 0x2D, 0x49, 0x69, 0x8B, 0x6A, 0xAF, 0x8C, 0x36, 0xA6, 0x64, 0xE5}};
inline constexpr Uid IMessage{
    {0x93, 0x6F, 0x03, 0x3B, 0xC6, 0xC0, 0x47, 0xDB, 0xBB, 0x08, 0x82, 0xF8, 0x13, 0xC1, 0xE6, 0x13}};
inline constexpr Uid IComponentHandler2{
    {0xF0, 0x40, 0xB4, 0xB3, 0xA3, 0x60, 0x45, 0xEC, 0xAB, 0xCD, 0xC0, 0x45, 0xB4, 0xD5, 0xA2, 0xCC}};
} // namespace iid

// ---- records (little-endian, fixed layout) ----

struct FactoryInfo
{
    char vendor[64];
    char url[256];
    char email[128];
    int32 flags;
};

struct ClassInfo
{
    std::uint8_t cid[16];
    int32 cardinality;
    char category[32];
    char name[64];
};

struct ClassInfo2
{
    std::uint8_t cid[16];
    int32 cardinality;
    char category[32];
    char name[64];
    uint32 classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct ClassInfoUnicode
{
    std::uint8_t cid[16];
    int32 cardinality;
    char category[32];
    char16 name[64];
    uint32 classFlags;
    char subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

struct BusInfo
{
    int32 mediaType;
    int32 direction;
    int32 channelCount;
    char16 name[128];
    int32 busType;
    uint32 flags;
};

struct ProcessSetup
{
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    int32 padding;
    double sampleRate;
};

struct ParameterInfo
{
    uint32 id;
    char16 title[128];
    char16 shortTitle[128];
    char16 units[128];
    int32 stepCount;
    double defaultNormalizedValue;
    int32 unitId;
    int32 flags;
};

struct UnitInfo
{
    int32 id;
    int32 parentUnitId;
    char16 name[128];
    int32 programListId;
};

struct ViewRect
{
    int32 left, top, right, bottom;
};

struct AudioBusBuffers
{
    int32 numChannels;
    uint64 silenceFlags;
    float** channelBuffers32;
};

// Transport state bits read by the meter.
enum : uint32
{
    kPlaying = 0x2,
    kProjectTimeMusicValid = 0x200,
    kTempoValid = 0x400,
    kCycleValid = 0x1000,
};

struct ProcessContext
{
    uint32 state;
    double sampleRate;
    int64 projectTimeSamples;
    int64 systemTime;
    int64 continuousTimeSamples;
    double projectTimeMusic;
    double barPositionMusic;
    double cycleStartMusic;
    double cycleEndMusic;
    double tempo;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    int32 reserved[8];
};

struct IParameterChanges;

struct ProcessData
{
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    void* inputEvents;
    void* outputEvents;
    ProcessContext* processContext;
};

// ---- interfaces: pure tables of operations, no destructors (they would take slots) ----

struct FUnknown
{
    virtual tresult queryInterface(const std::uint8_t* iid, void** obj) = 0;
    virtual uint32 addRef() = 0;
    virtual uint32 release() = 0;
};

struct IBStream : FUnknown
{
    virtual tresult read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult tell(int64* pos) = 0;
};

struct IPluginFactory : FUnknown
{
    virtual tresult getFactoryInfo(FactoryInfo* info) = 0;
    virtual int32 countClasses() = 0;
    virtual tresult getClassInfo(int32 index, ClassInfo* info) = 0;
    virtual tresult createInstance(const std::uint8_t* cid, const std::uint8_t* iid, void** obj) = 0;
};

struct IPluginFactory2 : IPluginFactory
{
    virtual tresult getClassInfo2(int32 index, ClassInfo2* info) = 0;
};

struct IPluginFactory3 : IPluginFactory2
{
    virtual tresult getClassInfoUnicode(int32 index, ClassInfoUnicode* info) = 0;
    virtual tresult setHostContext(FUnknown* context) = 0;
};

struct IPluginBase : FUnknown
{
    virtual tresult initialize(FUnknown* context) = 0;
    virtual tresult terminate() = 0;
};

struct IComponent : IPluginBase
{
    virtual tresult getControllerClassId(std::uint8_t* classId) = 0;
    virtual tresult slot6() = 0;
    virtual int32 getBusCount(int32 type, int32 dir) = 0;
    virtual tresult getBusInfo(int32 type, int32 dir, int32 index, BusInfo& bus) = 0;
    virtual tresult slot9() = 0;
    virtual tresult activateBus(int32 type, int32 dir, int32 index, bool state) = 0;
    virtual tresult setActive(bool state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;
};

struct IAudioProcessor : FUnknown
{
    virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                       int32 numOuts) = 0;
    virtual tresult getBusArrangement(int32 dir, int32 index, SpeakerArrangement& arr) = 0;
    virtual tresult canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 getLatencySamples() = 0;
    virtual tresult setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult slot8() = 0;
    virtual tresult process(ProcessData& data) = 0;
    virtual uint32 getTailSamples() = 0;
};

struct IMessageAttributes : FUnknown
{
    virtual tresult setInt(const char* id, int64 value) = 0;
    virtual tresult getInt(const char* id, int64& value) = 0;
    virtual tresult setFloat(const char* id, double value) = 0;
    virtual tresult getFloat(const char* id, double& value) = 0;
    virtual tresult setString(const char* id, const char16* string) = 0;
    virtual tresult getString(const char* id, char16* string, uint32 sizeInBytes) = 0;
    virtual tresult setBinary(const char* id, const void* data, uint32 sizeInBytes) = 0;
    virtual tresult getBinary(const char* id, const void*& data, uint32& sizeInBytes) = 0;
};

struct IMessage : FUnknown
{
    virtual const char* getMessageId() = 0;
    virtual void setMessageId(const char* id) = 0;
    virtual IMessageAttributes* getAttributes() = 0;
};

struct IConnectionPoint : FUnknown
{
    virtual tresult connect(IConnectionPoint* other) = 0;
    virtual tresult disconnect(IConnectionPoint* other) = 0;
    virtual tresult notify(IMessage* message) = 0;
};

struct IHostApplication : FUnknown
{
    virtual tresult getName(char16* name) = 0;
    virtual tresult createInstance(const std::uint8_t* cid, const std::uint8_t* iid, void** obj) = 0;
};

struct IComponentHandler : FUnknown
{
    virtual tresult beginEdit(uint32 id) = 0;
    virtual tresult performEdit(uint32 id, double valueNormalized) = 0;
    virtual tresult endEdit(uint32 id) = 0;
    virtual tresult restartComponent(int32 flags) = 0;
};

struct IPlugView : FUnknown
{};

struct IEditController : IPluginBase
{
    virtual tresult setComponentState(IBStream* state) = 0;
    virtual tresult slot6(IBStream* state) = 0;
    virtual tresult slot7(IBStream* state) = 0;
    virtual int32 getParameterCount() = 0;
    virtual tresult getParameterInfo(int32 index, ParameterInfo& info) = 0;
    virtual tresult getParamStringByValue(uint32 id, double valueNormalized, char16* string) = 0;
    virtual tresult getParamValueByString(uint32 id, char16* string, double& valueNormalized) = 0;
    virtual double normalizedParamToPlain(uint32 id, double valueNormalized) = 0;
    virtual double plainParamToNormalized(uint32 id, double plainValue) = 0;
    virtual double getParamNormalized(uint32 id) = 0;
    virtual tresult setParamNormalized(uint32 id, double value) = 0;
    virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* createView(const char* name) = 0;
};

struct IParameterChangeQueue : FUnknown
{
    virtual uint32 getParameterId() = 0;
    virtual int32 getPointCount() = 0;
    virtual tresult getPoint(int32 index, int32& sampleOffset, double& value) = 0;
    virtual tresult addPoint(int32 sampleOffset, double value, int32& index) = 0;
};

struct IParameterChanges : FUnknown
{
    virtual int32 getParameterCount() = 0;
    virtual IParameterChangeQueue* getParameterData(int32 index) = 0;
    virtual IParameterChangeQueue* addParameterData(const uint32& id, int32& index) = 0;
};

// Layout of every record as the standard fixes it.
static_assert(sizeof(FactoryInfo) == 452 && offsetof(FactoryInfo, url) == 64 && offsetof(FactoryInfo, email) == 320 &&
              offsetof(FactoryInfo, flags) == 448);
static_assert(sizeof(ClassInfo) == 116 && offsetof(ClassInfo, category) == 20 && offsetof(ClassInfo, name) == 52);
static_assert(sizeof(ClassInfo2) == 440 && offsetof(ClassInfo2, classFlags) == 116 &&
              offsetof(ClassInfo2, subCategories) == 120 && offsetof(ClassInfo2, vendor) == 248 &&
              offsetof(ClassInfo2, version) == 312 && offsetof(ClassInfo2, sdkVersion) == 376);
static_assert(sizeof(ClassInfoUnicode) == 696 && offsetof(ClassInfoUnicode, name) == 52 &&
              offsetof(ClassInfoUnicode, classFlags) == 180 && offsetof(ClassInfoUnicode, subCategories) == 184 &&
              offsetof(ClassInfoUnicode, vendor) == 312 && offsetof(ClassInfoUnicode, version) == 440 &&
              offsetof(ClassInfoUnicode, sdkVersion) == 568);
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 &&
              offsetof(BusInfo, flags) == 272);
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, title) == 4 &&
              offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 && offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, programListId) == 264);
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, silenceFlags) == 8 &&
              offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(offsetof(ProcessContext, sampleRate) == 8 && offsetof(ProcessContext, projectTimeMusic) == 40 &&
              offsetof(ProcessContext, cycleStartMusic) == 56 && offsetof(ProcessContext, tempo) == 72);
static_assert(offsetof(ProcessData, numSamples) == 8 && offsetof(ProcessData, inputs) == 24 &&
              offsetof(ProcessData, outputs) == 32 && offsetof(ProcessData, inputParameterChanges) == 40 &&
              offsetof(ProcessData, outputParameterChanges) == 48 && offsetof(ProcessData, processContext) == 72);

} // namespace qelhost
