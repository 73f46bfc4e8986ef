// The objects the host hands to the plug-in: application context, messages and their attributes,
// parameter change lists, a memory stream, the component handler and the connection proxies.
#pragma once

#include "host/qelabi.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace qelhost {

std::u16string toU16(const std::string& s);
std::string toUtf8(const char16* s, std::size_t max = 128);

// Reference-counted host object; deletes itself when the last reference goes.
template <class... Interfaces>
class RefCounted : public Interfaces...
{
public:
    virtual ~RefCounted() = default;
    uint32 addRef() override { return ++refs_; }
    uint32 release() override
    {
        uint32 n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    uint32 refCount() const { return refs_.load(); }

private:
    std::atomic<uint32> refs_{1};
};

// A host object its holder owns (as a member or on the stack): references are not counted, and it
// answers no interface.
template <class Interface>
class Uncounted : public Interface
{
public:
    tresult queryInterface(const std::uint8_t*, void** obj) override
    {
        if (obj)
            *obj = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
};

// Answers `asked` when it is `id`: `as` in *obj, with one more reference of `object`.
template <class Object>
bool answerInterface(Object* object, const std::uint8_t* asked, const Uid& id, FUnknown* as, void** obj)
{
    if (!sameUid(asked, id.b))
        return false;
    object->addRef();
    *obj = as;
    return true;
}

// One interface an object answers for, and the pointer it answers with.
struct Answer
{
    const Uid& id;
    FUnknown* as;
};

// queryInterface of an object that answers for `answers`: the first whose identifier is `asked`,
// with one more reference; else null and kNoInterface (kInvalidArgument without `obj`).
template <class Object>
tresult answerQuery(Object* object, const std::uint8_t* asked, void** obj, std::initializer_list<Answer> answers)
{
    if (!obj)
        return kInvalidArgument;
    for (const Answer& a : answers)
        if (answerInterface(object, asked, a.id, a.as, obj))
            return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

// Owned by its message: the reference count of the message covers it.
class HostAttributeList final : public Uncounted<IMessageAttributes>
{
public:
    using Value = std::variant<int64, double, std::u16string, std::vector<std::uint8_t>>;

    tresult queryInterface(const std::uint8_t* iid, void** obj) override;

    tresult setInt(const char* id, int64 value) override;
    tresult getInt(const char* id, int64& value) override;
    tresult setFloat(const char* id, double value) override;
    tresult getFloat(const char* id, double& value) override;
    tresult setString(const char* id, const char16* string) override;
    tresult getString(const char* id, char16* string, uint32 sizeInBytes) override;
    tresult setBinary(const char* id, const void* data, uint32 sizeInBytes) override;
    tresult getBinary(const char* id, const void*& data, uint32& sizeInBytes) override;

    const std::map<std::string, Value>& values() const { return values_; }

private:
    // kInvalidArgument without an id.
    tresult store(const char* id, Value value);
    // The value under `id` when it has type T, else null.
    template <class T>
    const T* find(const char* id) const;
    // Copies the value under `id` to `value` when it has type T, else kResultFalse.
    template <class T>
    tresult fetch(const char* id, T& value) const;

    std::map<std::string, Value> values_;
};

class HostMessage final : public RefCounted<IMessage>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    const char* getMessageId() override { return hasId_ ? id_.c_str() : nullptr; }
    void setMessageId(const char* id) override;
    IMessageAttributes* getAttributes() override { return &attributes_; }
    HostAttributeList& attributes() { return attributes_; }

private:
    bool hasId_ = false;
    std::string id_;
    HostAttributeList attributes_;
};

// One message as it crossed the host, for the log: the record holds the message itself, so that
// logging copies none of its attributes.
class MessageRecord
{
public:
    MessageRecord(HostMessage& message, bool toController, bool offMainThread);
    MessageRecord(const MessageRecord& other);
    MessageRecord& operator=(const MessageRecord& other);
    ~MessageRecord();

    const std::map<std::string, HostAttributeList::Value>& attributes() const;
    std::string id;
    bool toController = false;
    bool offMainThread = false;

private:
    HostMessage* message_;
};

class HostApplication final : public RefCounted<IHostApplication>
{
public:
    HostApplication();
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult getName(char16* name) override;
    tresult createInstance(const std::uint8_t* cid, const std::uint8_t* iid, void** obj) override;

    bool onMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }
    int messagesCreatedOffMainThread() const { return offMain_.load(); }
    // The thread that stands for the main thread: the one that made the application, or one the
    // host lets run the controller for a while (its audio thread, while it also runs the display).
    void setMainThread(std::thread::id id) { mainThread_.store(id); }

private:
    std::atomic<std::thread::id> mainThread_;
    std::atomic<int> offMain_{0};
};

class HostParamQueue final : public Uncounted<IParameterChangeQueue>
{
public:
    static constexpr int32 kMaxPoints = 64;
    uint32 getParameterId() override { return id_; }
    int32 getPointCount() override { return count_; }
    tresult getPoint(int32 index, int32& sampleOffset, double& value) override;
    tresult addPoint(int32 sampleOffset, double value, int32& index) override;

    void reset(uint32 id)
    {
        id_ = id;
        count_ = 0;
    }

private:
    uint32 id_ = 0;
    int32 count_ = 0;
    int32 offsets_[kMaxPoints] = {};
    double values_[kMaxPoints] = {};
};

// Fixed capacity: filling it on the audio thread never allocates.
class HostParameterChanges final : public Uncounted<IParameterChanges>
{
public:
    static constexpr int32 kMaxQueues = 64;
    int32 getParameterCount() override { return count_; }
    IParameterChangeQueue* getParameterData(int32 index) override;
    IParameterChangeQueue* addParameterData(const uint32& id, int32& index) override;

    void clear() { count_ = 0; }
    // Host side: one point for id.
    bool add(uint32 id, double value, int32 offset = 0);
    HostParamQueue* queue(int32 index) { return index >= 0 && index < count_ ? &queues_[index] : nullptr; }

private:
    int32 count_ = 0;
    HostParamQueue queues_[kMaxQueues];
};

class MemoryStream final : public RefCounted<IBStream>
{
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult read(void* buffer, int32 numBytes, int32* numBytesRead) override;
    tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
    tresult seek(int64 pos, int32 mode, int64* result) override;
    tresult tell(int64* pos) override;

    const std::vector<std::uint8_t>& data() const { return data_; }
    void rewind() { pos_ = 0; }

private:
    std::vector<std::uint8_t> data_;
    int64 pos_ = 0;
};

// Edits from the controller reach the processor as input parameter changes of a later block.
class ComponentHandler final : public RefCounted<IComponentHandler>
{
public:
    using EditSink = std::function<void(uint32, double)>;
    explicit ComponentHandler(EditSink sink) : sink_(std::move(sink)) {}
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult beginEdit(uint32) override { return kResultOk; }
    tresult performEdit(uint32 id, double valueNormalized) override;
    tresult endEdit(uint32) override { return kResultOk; }
    tresult restartComponent(int32) override { return kResultOk; }

private:
    EditSink sink_;
};

class MessageRouter;

// Stands between processor and controller: each side is connected to a proxy, which passes its
// messages to the other side on the host's main thread.
class ConnectionProxy final : public RefCounted<IConnectionPoint>
{
public:
    ConnectionProxy(MessageRouter& router, bool toController) : router_(router), toController_(toController) {}
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult connect(IConnectionPoint* other) override;
    tresult disconnect(IConnectionPoint* other) override;
    tresult notify(IMessage* message) override;

    void setDestination(IConnectionPoint* dest) { dest_ = dest; }
    IConnectionPoint* destination() const { return dest_; }

private:
    MessageRouter& router_;
    bool toController_;
    IConnectionPoint* source_ = nullptr;
    IConnectionPoint* dest_ = nullptr;
};

class MessageRouter
{
public:
    explicit MessageRouter(HostApplication& app) : app_(app) {}
    ~MessageRouter();
    // A message from one side; delivered at once on the main thread, else queued.
    tresult route(ConnectionProxy& proxy, IMessage* message, bool toController);
    // Main thread: delivers what other threads queued.
    void deliverQueued();
    // Messages the host itself sends to the processor (its idle requests).
    tresult sendToProcessor(IConnectionPoint* processor, const char* id, const char* intKey, int64 value);

    std::vector<MessageRecord> log() const;
    void clearLog();
    int offMainThreadMessages() const { return offMain_.load(); }
    std::function<void(const MessageRecord&)> onMessage;

private:
    struct Pending
    {
        IConnectionPoint* dest;
        IMessage* message;
    };
    void record(IMessage* message, bool toController, bool offMain);
    HostApplication& app_;
    mutable std::mutex mutex_;
    std::vector<Pending> pending_;
    std::vector<MessageRecord> log_;
    std::atomic<int> offMain_{0};
};

} // namespace qelhost
