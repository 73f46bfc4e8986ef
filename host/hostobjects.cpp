#include "host/hostobjects.h"

#include "host/outofmemory.h"

#include <algorithm>
#include <cstring>

namespace qelhost {

namespace {

constexpr std::size_t kMaxLog = 4096;

} // namespace

std::u16string toU16(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        std::size_t len = 1;
        if (c >= 0xF0 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
            len = 4;
        } else if (c >= 0xE0 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
            len = 3;
        } else if (c >= 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
            len = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16>(cp));
        }
        i += len;
    }
    return out;
}

std::string toUtf8(const char16* s, std::size_t max)
{
    std::string out;
    if (!s)
        return out;
    for (std::size_t i = 0; i < max && s[i]; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < max && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// ---- attributes ----

tresult HostAttributeList::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}});
}

tresult HostAttributeList::store(const char* id, Value value)
{
    if (!id)
        return kInvalidArgument;
    values_[id] = std::move(value);
    return kResultOk;
}

template <class T>
const T* HostAttributeList::find(const char* id) const
{
    auto it = id ? values_.find(id) : values_.end();
    return it == values_.end() ? nullptr : std::get_if<T>(&it->second);
}

template <class T>
tresult HostAttributeList::fetch(const char* id, T& value) const
{
    const T* v = find<T>(id);
    if (!v)
        return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult HostAttributeList::setInt(const char* id, int64 value)
{
    return answerForPlugIn([&] { return store(id, value); });
}

tresult HostAttributeList::getInt(const char* id, int64& value)
{
    return fetch(id, value);
}

tresult HostAttributeList::setFloat(const char* id, double value)
{
    return answerForPlugIn([&] { return store(id, value); });
}

tresult HostAttributeList::getFloat(const char* id, double& value)
{
    return fetch(id, value);
}

tresult HostAttributeList::setString(const char* id, const char16* string)
{
    if (!string)
        return kInvalidArgument;
    return answerForPlugIn([&] { return store(id, std::u16string(string)); });
}

tresult HostAttributeList::getString(const char* id, char16* string, uint32 sizeInBytes)
{
    if (!id || !string)
        return kInvalidArgument;
    const std::u16string* s = find<std::u16string>(id);
    std::size_t units = sizeInBytes / sizeof(char16);
    if (!s || units == 0)
        return kResultFalse;
    std::size_t n = std::min(s->size(), units - 1);
    std::copy_n(s->data(), n, string);
    string[n] = 0;
    return kResultOk;
}

tresult HostAttributeList::setBinary(const char* id, const void* data, uint32 sizeInBytes)
{
    if (!data && sizeInBytes)
        return kInvalidArgument;
    auto p = static_cast<const std::uint8_t*>(data);
    return answerForPlugIn([&] { return store(id, std::vector<std::uint8_t>(p, p + sizeInBytes)); });
}

tresult HostAttributeList::getBinary(const char* id, const void*& data, uint32& sizeInBytes)
{
    const auto* v = find<std::vector<std::uint8_t>>(id);
    if (!v)
        return kResultFalse;
    data = v->data();
    sizeInBytes = static_cast<uint32>(v->size());
    return kResultOk;
}

void HostMessage::setMessageId(const char* id)
{
    answerForPlugIn([&] {
        id_ = id ? id : "";
        hasId_ = id != nullptr;
        return kResultOk;
    });
}

tresult HostMessage::queryInterface(const std::uint8_t* asked, void** obj)
{
    return answerQuery(this, asked, obj, {{iid::FUnknown, this}, {iid::IMessage, this}});
}

// ---- application ----

HostApplication::HostApplication() : mainThread_(std::this_thread::get_id()) {}

tresult HostApplication::queryInterface(const std::uint8_t* asked, void** obj)
{
    return answerQuery(this, asked, obj, {{iid::FUnknown, this}, {iid::IHostApplication, this}});
}

tresult HostApplication::getName(char16* name)
{
    if (!name)
        return kInvalidArgument;
    static const char16 kName[] = u"norrik meter host";
    std::copy(std::begin(kName), std::end(kName), name);
    return kResultOk;
}

tresult HostApplication::createInstance(const std::uint8_t* cid, const std::uint8_t* asked, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!sameUid(cid, iid::IMessage.b) || !sameUid(asked, iid::IMessage.b))
        return kNoInterface;
    if (!onMainThread())
        ++offMain_;
    return answerForPlugIn([&] {
        *obj = static_cast<IMessage*>(new HostMessage);
        return kResultOk;
    });
}

// ---- parameter changes ----

tresult HostParamQueue::getPoint(int32 index, int32& sampleOffset, double& value)
{
    if (index < 0 || index >= count_)
        return kResultFalse;
    sampleOffset = offsets_[index];
    value = values_[index];
    return kResultOk;
}

tresult HostParamQueue::addPoint(int32 sampleOffset, double value, int32& index)
{
    if (count_ >= kMaxPoints) {
        index = -1;
        return kResultFalse;
    }
    // Points stay in time order; a point at an existing offset replaces it.
    int32 i = 0;
    while (i < count_ && offsets_[i] < sampleOffset)
        ++i;
    if (i < count_ && offsets_[i] == sampleOffset) {
        values_[i] = value;
    } else {
        for (int32 k = count_; k > i; --k) {
            offsets_[k] = offsets_[k - 1];
            values_[k] = values_[k - 1];
        }
        offsets_[i] = sampleOffset;
        values_[i] = value;
        ++count_;
    }
    index = i;
    return kResultOk;
}

IParameterChangeQueue* HostParameterChanges::getParameterData(int32 index)
{
    return queue(index);
}

IParameterChangeQueue* HostParameterChanges::addParameterData(const uint32& id, int32& index)
{
    for (int32 i = 0; i < count_; ++i) {
        if (queues_[i].getParameterId() == id) {
            index = i;
            return &queues_[i];
        }
    }
    if (count_ >= kMaxQueues) {
        index = -1;
        return nullptr;
    }
    queues_[count_].reset(id);
    index = count_;
    return &queues_[count_++];
}

bool HostParameterChanges::add(uint32 id, double value, int32 offset)
{
    int32 index = 0;
    IParameterChangeQueue* q = addParameterData(id, index);
    int32 p = 0;
    return q && q->addPoint(offset, value, p) == kResultOk;
}

// ---- stream ----

tresult MemoryStream::queryInterface(const std::uint8_t* asked, void** obj)
{
    return answerQuery(this, asked, obj, {{iid::FUnknown, this}});
}

tresult MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    if (numBytesRead)
        *numBytesRead = 0;
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    int64 avail = static_cast<int64>(data_.size()) - pos_;
    int32 n = static_cast<int32>(std::max<int64>(0, std::min<int64>(avail, numBytes)));
    if (n > 0)
        std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    if (numBytesRead)
        *numBytesRead = n;
    return n == numBytes ? kResultOk : kResultFalse;
}

tresult MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    if (numBytesWritten)
        *numBytesWritten = 0;
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    std::size_t end = static_cast<std::size_t>(pos_) + static_cast<std::size_t>(numBytes);
    if (end > data_.size() && answerForPlugIn([&] {
                                  data_.resize(end);
                                  return kResultOk;
                              }) != kResultOk)
        return kOutOfMemory;
    std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(numBytes));
    pos_ = static_cast<int64>(end);
    if (numBytesWritten)
        *numBytesWritten = numBytes;
    return kResultOk;
}

tresult MemoryStream::seek(int64 pos, int32 mode, int64* result)
{
    int64 base = mode == 0 ? 0 : mode == 1 ? pos_ : mode == 2 ? static_cast<int64>(data_.size()) : -1;
    if (base < 0 || base + pos < 0) {
        if (result)
            *result = pos_;
        return kInvalidArgument;
    }
    pos_ = base + pos;
    if (result)
        *result = pos_;
    return kResultOk;
}

tresult MemoryStream::tell(int64* pos)
{
    if (!pos)
        return kInvalidArgument;
    *pos = pos_;
    return kResultOk;
}

// ---- component handler ----

tresult ComponentHandler::queryInterface(const std::uint8_t* asked, void** obj)
{
    // Only the plain handler: the second handler interface is refused.
    return answerQuery(this, asked, obj, {{iid::FUnknown, this}});
}

tresult ComponentHandler::performEdit(uint32 id, double valueNormalized)
{
    return answerForPlugIn([&] {
        if (sink_)
            sink_(id, valueNormalized);
        return kResultOk;
    });
}

// ---- connection ----

tresult ConnectionProxy::queryInterface(const std::uint8_t* asked, void** obj)
{
    return answerQuery(this, asked, obj, {{iid::FUnknown, this}, {iid::IConnectionPoint, this}});
}

tresult ConnectionProxy::connect(IConnectionPoint* other)
{
    if (!other)
        return kInvalidArgument;
    if (source_)
        return kResultFalse;
    source_ = other;
    return kResultOk;
}

tresult ConnectionProxy::disconnect(IConnectionPoint* other)
{
    if (!source_ || other != source_)
        return kResultFalse;
    source_ = nullptr;
    return kResultOk;
}

tresult ConnectionProxy::notify(IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    if (!dest_)
        return kResultFalse;
    return answerForPlugIn([&] { return router_.route(*this, message, toController_); });
}

MessageRouter::~MessageRouter()
{
    for (auto& p : pending_)
        p.message->release();
}

MessageRecord::MessageRecord(HostMessage& message, bool to, bool offMain)
: id(message.getMessageId() ? message.getMessageId() : ""), toController(to), offMainThread(offMain), message_(&message)
{
    message_->addRef();
}

MessageRecord::MessageRecord(const MessageRecord& other)
: id(other.id), toController(other.toController), offMainThread(other.offMainThread), message_(other.message_)
{
    message_->addRef();
}

MessageRecord& MessageRecord::operator=(const MessageRecord& other)
{
    if (this != &other) {
        id = other.id;
        other.message_->addRef();
        message_->release();
        message_ = other.message_;
        toController = other.toController;
        offMainThread = other.offMainThread;
    }
    return *this;
}

MessageRecord::~MessageRecord()
{
    message_->release();
}

const std::map<std::string, HostAttributeList::Value>& MessageRecord::attributes() const
{
    return message_->attributes().values();
}

void MessageRouter::record(IMessage* message, bool toController, bool offMain)
{
    // Only the host's own messages are logged; a log that cannot grow leaves the message out.
    auto* own = dynamic_cast<HostMessage*>(message);
    if (!own)
        return;
    try {
        MessageRecord rec(*own, toController, offMain);
        std::function<void(const MessageRecord&)> cb;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (log_.size() < kMaxLog)
                log_.push_back(rec);
            cb = onMessage;
        }
        if (cb)
            cb(rec);
    } catch (const std::bad_alloc&) {
    }
}

tresult MessageRouter::route(ConnectionProxy& proxy, IMessage* message, bool toController)
{
    bool offMain = !app_.onMainThread();
    record(message, toController, offMain);
    if (!offMain)
        return counted(proxy.destination()->notify(message));
    ++offMain_;
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({proxy.destination(), message}); // out of memory: not kept, and answered so
    message->addRef();
    return kResultOk;
}

void MessageRouter::deliverQueued()
{
    std::vector<Pending> todo;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        todo.swap(pending_);
    }
    for (auto& p : todo) {
        counted(p.dest->notify(p.message));
        p.message->release();
    }
}

tresult MessageRouter::sendToProcessor(IConnectionPoint* processor, const char* id, const char* intKey, int64 value)
{
    if (!processor)
        return kResultFalse;
    auto* msg = new HostMessage;
    tresult r = kResultOk;
    msg->setMessageId(id);
    if (intKey)
        r = msg->attributes().setInt(intKey, value);
    if (r == kResultOk && msg->getMessageId())
        r = counted(processor->notify(msg));
    msg->release();
    return r;
}

std::vector<MessageRecord> MessageRouter::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

void MessageRouter::clearLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

} // namespace qelhost
