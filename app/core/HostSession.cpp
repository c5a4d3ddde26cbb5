#include "app/core/HostSession.h"

#include <algorithm>
#include <cstring>

namespace orvo {

namespace {

HostSession* gCurrent = nullptr;

constexpr uint32_t kHostSignature = FP_FOURCC('O', 'R', 'V', 'O');

DocRect toDoc(const FpRect16& r) { return {r.top, r.left, r.bottom, r.right}; }
DocRect toDoc(const FpRect32& r) { return {r.top, r.left, r.bottom, r.right}; }

// 8 <-> 16-bit sample conversion (16-bit samples hold 0..32768).
uint16_t convertSample(uint32_t v, int fromDepth, int toDepth)
{
    if (fromDepth == toDepth)
        return static_cast<uint16_t>(v);
    if (fromDepth == 8)
        return static_cast<uint16_t>((v * 32768 + 127) / 255);
    return static_cast<uint16_t>((v * 255 + 16384) / 32768);
}

// Checked view of caller memory described by a pixel-memory description.
struct PixelMemory {
    uint8_t* data;
    int64_t rowBytes, colBytes, offset;
    int depth;

    static bool make(const FpPixelMemoryDesc* d, PixelMemory& out)
    {
        if (!d || !d->data || (d->depth != 8 && d->depth != 16))
            return false;
        if (d->rowBits % 8 || d->colBits % 8 || d->bitOffset % 8 || d->bitOffset < 0)
            return false;
        out = {static_cast<uint8_t*>(d->data), d->rowBits / 8, d->colBits / 8, d->bitOffset / 8, d->depth};
        return true;
    }
    uint8_t* at(int64_t x, int64_t y) const { return data + offset + y * rowBytes + x * colBytes; }
    uint32_t get(int64_t x, int64_t y) const
    {
        if (depth == 8)
            return *at(x, y);
        uint16_t v;
        std::memcpy(&v, at(x, y), 2);
        return v;
    }
    void set(int64_t x, int64_t y, uint16_t v) const
    {
        if (depth == 8)
            *at(x, y) = static_cast<uint8_t>(v);
        else
            std::memcpy(at(x, y), &v, 2);
    }
};

// Channel c of the document rectangle r to or from caller memory, row by row, with the depth
// branches taken once per call. Values from the caller are capped at its full scale before the
// conversion and at the document's after it.
template <class MemSample>
void readRowsAs(const Document& doc, const DocRect& r, int c, const PixelMemory& mem)
{
    const int32_t width = r.right - r.left;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const uint16_t* samples = doc.samples().data() + doc.index(r.left, y, c);
        uint8_t* bytes = mem.at(0, y - r.top);
        for (int32_t i = 0; i < width; ++i, bytes += mem.colBytes) {
            const auto v = static_cast<MemSample>(
                convertSample(samples[static_cast<size_t>(i) * Document::kChannels], doc.depth(), mem.depth));
            std::memcpy(bytes, &v, sizeof v);
        }
    }
}

template <class MemSample>
void writeRowsAs(Document& doc, const DocRect& r, int c, const PixelMemory& mem)
{
    const uint32_t memMax = mem.depth == 16 ? 32768 : 255;
    const uint32_t docMax = doc.maxValue();
    const int32_t width = r.right - r.left;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint16_t* samples = &doc.at(r.left, y, c);
        const uint8_t* bytes = mem.at(0, y - r.top);
        for (int32_t i = 0; i < width; ++i, bytes += mem.colBytes) {
            MemSample v;
            std::memcpy(&v, bytes, sizeof v);
            const uint32_t w = convertSample(std::min<uint32_t>(v, memMax), mem.depth, doc.depth());
            samples[static_cast<size_t>(i) * Document::kChannels] = static_cast<uint16_t>(std::min(w, docMax));
        }
    }
}

void readRows(const Document& doc, const DocRect& r, int c, const PixelMemory& mem)
{
    if (mem.depth == 8)
        readRowsAs<uint8_t>(doc, r, c, mem);
    else
        readRowsAs<uint16_t>(doc, r, c, mem);
}

void writeRows(Document& doc, const DocRect& r, int c, const PixelMemory& mem)
{
    if (mem.depth == 8)
        writeRowsAs<uint8_t>(doc, r, c, mem);
    else
        writeRowsAs<uint16_t>(doc, r, c, mem);
}

} // namespace

HostSession* HostSession::current() { return gCurrent; }

struct HostSession::Impl {
    static HostSession* s() { return gCurrent; }

    // The record a plug-in's id stands for in one of the session's tables, or null when the id is
    // null or unknown (the host never trusts an id it is handed).
    template <class Map, class Key>
    static typename Map::mapped_type::element_type* lookup(Map HostSession::*table, Key id)
    {
        HostSession* self = s();
        if (!self || !id)
            return nullptr;
        auto& map = self->*table;
        auto it = map.find(id);
        return it == map.end() ? nullptr : it->second.get();
    }

    // ---- handles ----
    static HandleRec* handle(FpHandle h)
    {
        return lookup(&HostSession::handles_, h);
    }
    static int16_t newHandle(int32_t size, FpHandle* out)
    {
        HostSession* self = s();
        if (!self || !out)
            return kFpBadParametersErr;
        *out = nullptr;
        if (size < 0)
            return kFpBadParametersErr;
        if (!self->allocationAllowed(size))
            return kFpMemFullErr;
        auto rec = std::make_unique<HandleRec>();
        rec->bytes = std::make_unique<char[]>(static_cast<size_t>(size) + 1);
        rec->size = size;
        FpHandle h = reinterpret_cast<FpHandle>(rec.get());
        self->handles_[h] = std::move(rec);
        *out = h;
        return kFpNoErr;
    }
    static int16_t disposeHandle(FpHandle h)
    {
        if (!handle(h))
            return kFpBadParametersErr;
        s()->handles_.erase(h);
        return kFpNoErr;
    }
    static int16_t getSize(FpHandle h, int32_t* size)
    {
        HandleRec* r = handle(h);
        if (!r || !size)
            return kFpBadParametersErr;
        *size = r->size;
        return kFpNoErr;
    }
    static int16_t setSize(FpHandle h, int32_t size)
    {
        HandleRec* r = handle(h);
        if (!r || size < 0 || r->locks > 0)
            return kFpBadParametersErr;
        if (!s()->allocationAllowed(size))
            return kFpMemFullErr;
        auto bytes = std::make_unique<char[]>(static_cast<size_t>(size) + 1);
        std::memcpy(bytes.get(), r->bytes.get(), static_cast<size_t>(std::min(size, r->size)));
        r->bytes = std::move(bytes);
        r->size = size;
        return kFpNoErr;
    }
    static int16_t lock(FpHandle h, uint8_t, char** data)
    {
        HandleRec* r = handle(h);
        if (data)
            *data = nullptr;
        if (!r || !data)
            return kFpBadParametersErr;
        ++r->locks;
        *data = r->bytes.get();
        return kFpNoErr;
    }
    static int16_t unlock(FpHandle h)
    {
        HandleRec* r = handle(h);
        if (!r || r->locks == 0)
            return kFpBadParametersErr;
        --r->locks;
        return kFpNoErr;
    }

    // ---- buffer procedures ----
    static BufferRec* buffer(FpBufferID id)
    {
        return lookup(&HostSession::buffers_, id);
    }
    static std::unique_ptr<BufferRec> makeBlock(int32_t size)
    {
        auto rec = std::make_unique<BufferRec>();
        rec->bytes = std::make_unique<uint8_t[]>(static_cast<size_t>(size) + 1);
        rec->size = size;
        return rec;
    }
    static int16_t bufferAllocate(int32_t size, FpBufferID* out)
    {
        HostSession* self = s();
        if (!self || !out)
            return kFpBadParametersErr;
        *out = nullptr;
        if (size < 0)
            return kFpBadParametersErr;
        if (!self->allocationAllowed(size))
            return kFpMemFullErr;
        auto rec = makeBlock(size);
        FpBufferID id = reinterpret_cast<FpBufferID>(rec.get());
        self->buffers_[id] = std::move(rec);
        *out = id;
        return kFpNoErr;
    }
    static int16_t bufferLock(FpBufferID id, uint8_t, void** data)
    {
        BufferRec* r = buffer(id);
        if (data)
            *data = nullptr;
        if (!r || !data)
            return kFpBadParametersErr;
        r->locked = true;
        *data = r->bytes.get();
        return kFpNoErr;
    }
    static int16_t bufferUnlock(FpBufferID id)
    {
        BufferRec* r = buffer(id);
        if (!r || !r->locked)
            return kFpBadParametersErr;
        r->locked = false;
        return kFpNoErr;
    }
    static int16_t bufferFree(FpBufferID id)
    {
        if (!buffer(id))
            return kFpBadParametersErr;
        s()->buffers_.erase(id);
        return kFpNoErr;
    }
    static int32_t bufferSpace()
    {
        HostSession* self = s();
        return self ? self->options_.maxAllocation : 0;
    }

    // ---- Buffer suite ----
    static void* suiteNewBuffer(int32_t* requestedSize, int32_t minimumSize)
    {
        HostSession* self = s();
        if (!self || minimumSize < 0)
            return nullptr;
        int32_t size = minimumSize;
        if (requestedSize && *requestedSize > size && self->allocationAllowed(*requestedSize))
            size = *requestedSize;
        if (!self->allocationAllowed(size))
            return nullptr;
        auto rec = makeBlock(size);
        void* p = rec->bytes.get();
        self->suiteBuffers_[p] = std::move(rec);
        if (requestedSize)
            *requestedSize = size;
        return p;
    }
    static int16_t suiteDispose(void** buffer)
    {
        HostSession* self = s();
        if (!self || !buffer || !*buffer || !self->suiteBuffers_.erase(*buffer))
            return kFpBadParametersErr;
        *buffer = nullptr;
        return kFpNoErr;
    }
    static int16_t suiteGetSize(const void* buffer, int32_t* size)
    {
        HostSession* self = s();
        if (!self || !size)
            return kFpBadParametersErr;
        auto it = self->suiteBuffers_.find(buffer);
        if (it == self->suiteBuffers_.end())
            return kFpBadParametersErr;
        *size = it->second->size;
        return kFpNoErr;
    }
    static int32_t suiteGetSpace() { return bufferSpace(); }

    // ---- ChannelPorts suite ----
    static int channelOf(const void* port, const char* ports)
    {
        for (int c = 0; c < Document::kChannels; ++c)
            if (port == &ports[c])
                return c;
        return -1;
    }
    static int32_t readPixels(FpReadPort port, int32_t level, const FpRect32* rect, const FpPixelMemoryDesc* dest)
    {
        HostSession* self = s();
        PixelMemory mem;
        if (!self || !rect || level != 0 || !PixelMemory::make(dest, mem))
            return kFpBadParametersErr;
        const int c = channelOf(port, self->readPorts_);
        const DocRect r = toDoc(*rect);
        const Document& doc = self->source();
        if (c < 0 || r.empty() || !r.inside(doc.bounds()))
            return kFpBadParametersErr;
        readRows(doc, r, c, mem);
        return kFpNoErr;
    }
    static int32_t writePixels(FpWritePort port, const FpRect32* rect, const FpPixelMemoryDesc* source)
    {
        HostSession* self = s();
        PixelMemory mem;
        if (!self || !rect || !PixelMemory::make(source, mem))
            return kFpBadParametersErr;
        const int c = channelOf(port, self->writePorts_);
        const DocRect r = toDoc(*rect);
        Document& doc = self->document_;
        if (c < 0 || r.empty() || !r.inside(doc.filterRect()))
            return kFpBadParametersErr;
        writeRows(doc, r, c, mem);
        return kFpNoErr;
    }
    static int32_t readScaled(FpReadPort port, const FpRect32* sourceRect, const FpRect32* destRect,
                              const FpPixelMemoryDesc* dest)
    {
        HostSession* self = s();
        PixelMemory mem;
        if (!self || !sourceRect || !destRect || !PixelMemory::make(dest, mem))
            return kFpBadParametersErr;
        const int c = channelOf(port, self->readPorts_);
        const DocRect src = toDoc(*sourceRect), dst = toDoc(*destRect);
        const Document& doc = self->source();
        if (c < 0 || src.empty() || dst.empty() || !src.inside(doc.bounds()) || dst.top < 0 || dst.left < 0)
            return kFpBadParametersErr;
        auto spans = [](int32_t start, int64_t m, int64_t n) {
            std::vector<std::pair<int32_t, int32_t>> v(static_cast<size_t>(n));
            for (int64_t i = 0; i < n; ++i) {
                int32_t first = static_cast<int32_t>(start + i * m / n);
                int32_t last = static_cast<int32_t>(start + (i + 1) * m / n);
                v[static_cast<size_t>(i)] = {first, std::max(last, first + 1)};
            }
            return v;
        };
        const auto xs = spans(src.left, src.width(), dst.width());
        const auto ys = spans(src.top, src.height(), dst.height());
        for (int32_t j = 0; j < dst.height(); ++j) {
            const auto [y0, y1] = ys[static_cast<size_t>(j)];
            for (int32_t i = 0; i < dst.width(); ++i) {
                const auto [x0, x1] = xs[static_cast<size_t>(i)];
                uint64_t sum = 0;
                for (int32_t y = y0; y < y1; ++y)
                    for (int32_t x = x0; x < x1; ++x)
                        sum += doc.at(x, y, c);
                const uint64_t count = uint64_t(y1 - y0) * uint64_t(x1 - x0);
                const auto avg = static_cast<uint32_t>((sum + count / 2) / count);
                mem.set(dst.left + i, dst.top + j, convertSample(avg, doc.depth(), mem.depth));
            }
        }
        return kFpNoErr;
    }
    static int32_t countLevels(FpReadPort port, int32_t* levels)
    {
        HostSession* self = s();
        if (!self || !levels || channelOf(port, self->readPorts_) < 0)
            return kFpBadParametersErr;
        *levels = 1;
        return kFpNoErr;
    }
    static int32_t getDepth(FpReadPort port, int32_t* depth)
    {
        HostSession* self = s();
        if (!self || !depth || channelOf(port, self->readPorts_) < 0)
            return kFpBadParametersErr;
        *depth = self->document_.depth();
        return kFpNoErr;
    }

    // ---- SP Plug-ins suite ----
    static int32_t pluginFile(FpPluginRef plugin, char* path, int32_t capacity)
    {
        HostSession* self = s();
        if (!self || !path || plugin != reinterpret_cast<FpPluginRef>(&self->pluginRef_) || capacity < 1 ||
            self->modulePath_.size() + 1 > static_cast<size_t>(capacity))
            return kFpBadParametersErr;
        std::memcpy(path, self->modulePath_.c_str(), self->modulePath_.size() + 1);
        return kFpNoErr;
    }

    // ---- action descriptors ----
    static Descriptor* action(FpActionDescriptor d)
    {
        return lookup(&HostSession::actionDescriptors_, d);
    }
    static FpActionDescriptor addAction(Descriptor d)
    {
        auto p = std::make_unique<Descriptor>(std::move(d));
        auto id = reinterpret_cast<FpActionDescriptor>(p.get());
        s()->actionDescriptors_[id] = std::move(p);
        return id;
    }
    static int32_t adMake(FpActionDescriptor* out)
    {
        if (!s() || !out)
            return kFpBadParametersErr;
        *out = addAction({});
        return kFpNoErr;
    }
    static int32_t adFree(FpActionDescriptor d)
    {
        if (!action(d))
            return kFpBadParametersErr;
        s()->actionDescriptors_.erase(d);
        return kFpNoErr;
    }
    static int32_t adHasKey(FpActionDescriptor d, FpDescriptorKey key, uint8_t* has)
    {
        Descriptor* a = action(d);
        if (!a || !has)
            return kFpBadParametersErr;
        *has = a->find(key) ? 1 : 0;
        return kFpNoErr;
    }
    static int32_t adPutData(FpActionDescriptor d, FpDescriptorKey key, int32_t length, const void* data)
    {
        Descriptor* a = action(d);
        if (!a || length < 0 || (length > 0 && !data))
            return kFpBadParametersErr;
        if (!s()->allocationAllowed(length))
            return kFpMemFullErr;
        a->put(key, FP_FOURCC('t', 'd', 't', 'a'),
               {static_cast<const uint8_t*>(data), static_cast<size_t>(length)});
        return kFpNoErr;
    }
    static int32_t adGetDataLength(FpActionDescriptor d, FpDescriptorKey key, int32_t* length)
    {
        Descriptor* a = action(d);
        const DescriptorItem* item = a ? a->find(key) : nullptr;
        if (!item || !length)
            return kFpBadParametersErr;
        *length = static_cast<int32_t>(item->bytes.size());
        return kFpNoErr;
    }
    static int32_t adGetData(FpActionDescriptor d, FpDescriptorKey key, void* value, int32_t capacity)
    {
        Descriptor* a = action(d);
        const DescriptorItem* item = a ? a->find(key) : nullptr;
        if (!item || capacity < 0 || static_cast<size_t>(capacity) < item->bytes.size() ||
            (!value && !item->bytes.empty()))
            return kFpBadParametersErr;
        if (!item->bytes.empty())
            std::memcpy(value, item->bytes.data(), item->bytes.size());
        return kFpNoErr;
    }
    static int32_t adPutInteger(FpActionDescriptor d, FpDescriptorKey key, int32_t value)
    {
        Descriptor* a = action(d);
        if (!a)
            return kFpBadParametersErr;
        a->putInteger(key, value);
        return kFpNoErr;
    }
    static int32_t adGetInteger(FpActionDescriptor d, FpDescriptorKey key, int32_t* value)
    {
        Descriptor* a = action(d);
        std::optional<int32_t> v = a ? a->integer(key) : std::nullopt;
        if (!v || !value)
            return kFpBadParametersErr;
        *value = *v;
        return kFpNoErr;
    }

    // ---- descriptor registry ----
    static int32_t regRegister(const char* key, FpActionDescriptor d, uint8_t persistent)
    {
        Descriptor* a = action(d);
        if (!a || !key || !*key)
            return kFpBadParametersErr;
        return s()->registry_.put(key, *a, persistent != 0) ? kFpNoErr : kFpHostCallFailedErr;
    }
    static int32_t regErase(const char* key)
    {
        HostSession* self = s();
        if (!self || !key)
            return kFpBadParametersErr;
        return self->registry_.erase(key) ? kFpNoErr : kFpBadParametersErr;
    }
    static int32_t regGet(const char* key, FpActionDescriptor* out)
    {
        HostSession* self = s();
        if (out)
            *out = nullptr;
        if (!self || !key || !out)
            return kFpBadParametersErr;
        const Descriptor* d = self->registry_.find(key);
        if (!d)
            return kFpHostCallFailedErr;
        *out = addAction(*d);
        return kFpNoErr;
    }

    // ---- read and write descriptor procedures ----
    static int16_t openReader(FpHandle descriptor, const FpDescriptorKey* keys, FpReadDescriptor* out)
    {
        HostSession* self = s();
        if (out)
            *out = nullptr;
        HandleRec* h = handle(descriptor);
        if (!h || !out)
            return kFpBadParametersErr;
        auto parsed = Descriptor::parse({reinterpret_cast<const uint8_t*>(h->bytes.get()), static_cast<size_t>(h->size)});
        if (!parsed)
            return kFpBadParametersErr;
        auto r = std::make_unique<Reader>();
        r->descriptor = std::move(*parsed);
        if (keys) {
            r->all = false;
            for (size_t i = 0; keys[i] != 0 && i < 4096; ++i)
                r->keys.push_back(keys[i]);
        }
        auto id = reinterpret_cast<FpReadDescriptor>(r.get());
        self->readers_[id] = std::move(r);
        *out = id;
        return kFpNoErr;
    }
    static Reader* reader(FpReadDescriptor r)
    {
        return lookup(&HostSession::readers_, r);
    }
    static int16_t closeReader(FpReadDescriptor r)
    {
        if (!reader(r))
            return kFpBadParametersErr;
        s()->readers_.erase(r);
        return kFpNoErr;
    }
    static uint8_t getKey(FpReadDescriptor rd, FpDescriptorKey* key, FpDescriptorType* type, int32_t* flags)
    {
        Reader* r = reader(rd);
        if (!r || !key || !type)
            return 0;
        while (r->next < r->descriptor.items.size()) {
            const DescriptorItem& item = r->descriptor.items[r->next++];
            if (r->all || std::find(r->keys.begin(), r->keys.end(), item.key) != r->keys.end()) {
                r->current = &item;
                *key = item.key;
                *type = item.type;
                if (flags)
                    *flags = 0;
                return 1;
            }
        }
        r->current = nullptr;
        return 0;
    }
    static int16_t getText(FpReadDescriptor rd, FpHandle* text)
    {
        Reader* r = reader(rd);
        if (text)
            *text = nullptr;
        if (!r || !text || !r->current || r->current->type != kFpTypeText)
            return kFpBadParametersErr;
        if (!s()->allocationAllowed(static_cast<int64_t>(r->current->bytes.size())))
            return kFpMemFullErr;
        *text = s()->makeHandle(r->current->bytes);
        return kFpNoErr;
    }
    static int16_t getInteger(FpReadDescriptor rd, int32_t* value)
    {
        Reader* r = reader(rd);
        if (!r || !value || !r->current || r->current->type != kFpTypeInteger || r->current->bytes.size() != 4)
            return kFpBadParametersErr;
        *value = static_cast<int32_t>(readLE32(r->current->bytes.data()));
        return kFpNoErr;
    }
    static Writer* writer(FpWriteDescriptor w)
    {
        return lookup(&HostSession::writers_, w);
    }
    static int16_t openWriter(FpWriteDescriptor* out)
    {
        HostSession* self = s();
        if (!self || !out)
            return kFpBadParametersErr;
        auto w = std::make_unique<Writer>();
        auto id = reinterpret_cast<FpWriteDescriptor>(w.get());
        self->writers_[id] = std::move(w);
        *out = id;
        return kFpNoErr;
    }
    static int16_t closeWriter(FpWriteDescriptor wd, FpHandle* descriptor)
    {
        Writer* w = writer(wd);
        if (descriptor)
            *descriptor = nullptr;
        if (!w || !descriptor)
            return kFpBadParametersErr;
        *descriptor = s()->makeHandle(w->descriptor.serialize());
        s()->writers_.erase(wd);
        return kFpNoErr;
    }
    static int16_t putText(FpWriteDescriptor wd, FpDescriptorKey key, FpHandle text)
    {
        Writer* w = writer(wd);
        HandleRec* h = handle(text);
        if (!w || !h)
            return kFpBadParametersErr;
        w->descriptor.put(key, kFpTypeText, {reinterpret_cast<const uint8_t*>(h->bytes.get()), static_cast<size_t>(h->size)});
        return kFpNoErr;
    }
    static int16_t putInteger(FpWriteDescriptor wd, FpDescriptorKey key, int32_t value)
    {
        Writer* w = writer(wd);
        if (!w)
            return kFpBadParametersErr;
        w->descriptor.putInteger(key, value);
        return kFpNoErr;
    }

    // ---- SP basic ----
    static const void* suiteTable(const std::string& name, int32_t version);
    static int32_t acquire(const char* name, int32_t version, const void** suite)
    {
        HostSession* self = s();
        if (suite)
            *suite = nullptr;
        if (!self || !name || !suite)
            return kFpBadParametersErr;
        if (self->options_.withheldSuites.count(name))
            return kFpHostCallFailedErr;
        const void* table = suiteTable(name, version);
        if (!table)
            return kFpHostCallFailedErr;
        ++self->acquired_[std::string(name) + "/" + std::to_string(version)];
        *suite = table;
        return kFpNoErr;
    }
    static int32_t release(const char* name, int32_t version)
    {
        HostSession* self = s();
        if (!self || !name)
            return kFpBadParametersErr;
        auto it = self->acquired_.find(std::string(name) + "/" + std::to_string(version));
        if (it == self->acquired_.end() || it->second == 0)
            return kFpBadParametersErr;
        --it->second;
        return kFpNoErr;
    }
    static uint8_t isEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
    static int32_t allocateBlock(int32_t size, void** block)
    {
        HostSession* self = s();
        if (block)
            *block = nullptr;
        if (!self || !block || size < 0)
            return kFpBadParametersErr;
        if (!self->allocationAllowed(size))
            return kFpMemFullErr;
        auto rec = makeBlock(size);
        *block = rec->bytes.get();
        self->blocks_[*block] = std::move(rec);
        return kFpNoErr;
    }
    static int32_t freeBlock(void* block)
    {
        HostSession* self = s();
        if (!self || !block || !self->blocks_.erase(block))
            return kFpBadParametersErr;
        return kFpNoErr;
    }

    // ---- abort, progress, display ----
    static uint8_t abortProc()
    {
        HostSession* self = s();
        return self && self->options_.abort && self->options_.abort() ? 1 : 0;
    }
    static void progressProc(int32_t done, int32_t total)
    {
        HostSession* self = s();
        if (self && self->options_.progress)
            self->options_.progress(done, total);
    }
    static int16_t advanceState()
    {
        HostSession* self = s();
        return self ? self->advance() : static_cast<int16_t>(kFpBadParametersErr);
    }
    static int16_t displayPixels(const FpPixelMap* source, const FpRect32* srcRect, int32_t, int32_t, void*)
    {
        // There is no screen: check the request and show nothing.
        if (!s() || !source || !srcRect || source->version != 1 || !source->baseAddr || toDoc(*srcRect).empty() ||
            !toDoc(*srcRect).inside(toDoc(source->bounds)))
            return kFpBadParametersErr;
        return kFpNoErr;
    }

    static const FpSPBasicSuite basic;
    static const FpSPPluginsSuite4 plugins;
    static const FpBufferSuite1 bufferSuite;
    static const FpChannelPortsSuite2 portsSuite;
    static const FpActionDescriptorSuite2 actionSuite;
    static const FpDescriptorRegistrySuite1 registrySuite;
};

const FpSPBasicSuite HostSession::Impl::basic = {acquire, release, isEqual, allocateBlock, freeBlock};
const FpSPPluginsSuite4 HostSession::Impl::plugins = {pluginFile};
const FpBufferSuite1 HostSession::Impl::bufferSuite = {suiteNewBuffer, suiteDispose, suiteGetSize, suiteGetSpace};
const FpChannelPortsSuite2 HostSession::Impl::portsSuite = {readPixels, writePixels, readScaled, countLevels, getDepth};
const FpActionDescriptorSuite2 HostSession::Impl::actionSuite = {
    adMake, adFree, adHasKey, adPutData, adGetDataLength, adGetData, adPutInteger, adGetInteger};
const FpDescriptorRegistrySuite1 HostSession::Impl::registrySuite = {regRegister, regErase, regGet};

const void* HostSession::Impl::suiteTable(const std::string& name, int32_t version)
{
    if (name == kFpSPPluginsSuite && version == kFpSPPluginsSuiteVersion)
        return &plugins;
    if (name == kFpBufferSuite && version == kFpBufferSuiteVersion)
        return &bufferSuite;
    if (name == kFpChannelPortsSuite && version == kFpChannelPortsSuiteVersion)
        return &portsSuite;
    if (name == kFpActionDescriptorSuite && version == kFpActionDescriptorSuiteVersion)
        return &actionSuite;
    if (name == kFpDescriptorRegistrySuite && version == kFpDescriptorRegistrySuiteVersion)
        return &registrySuite;
    return nullptr;
}

// ---- HostSession ----

HostSession::HostSession(Document& document, HostOptions options)
    : document_(document),
      options_(std::move(options)),
      registry_(options_.registryFolder.empty() ? DescriptorRegistry::defaultFolder() : options_.registryFolder),
      previous_(gCurrent)
{
    gCurrent = this;
    buildRecord();
}

HostSession::~HostSession()
{
    if (gCurrent == this)
        gCurrent = previous_;
}

void HostSession::buildRecord()
{
    FilterRecord& r = record_;
    const DocRect fr = document_.filterRect();
    r.serialNumber = 0;
    r.abortProc = Impl::abortProc;
    r.progressProc = Impl::progressProc;
    r.imageSize = {static_cast<int16_t>(document_.height()), static_cast<int16_t>(document_.width())};
    r.planes = Document::kChannels;
    r.filterRect = {static_cast<int16_t>(fr.top), static_cast<int16_t>(fr.left), static_cast<int16_t>(fr.bottom),
                    static_cast<int16_t>(fr.right)};
    r.background = {65535, 65535, 65535};
    r.foreground = {0, 0, 0};
    r.maxSpace = options_.maxAllocation;
    r.bufferSpace = options_.maxAllocation;
    r.hostSig = kHostSignature;
    r.imageMode = document_.depth() == 16 ? kFpModeRGB48 : kFpModeRGB;
    r.depth = document_.depth();
    r.platformData = &platformData_;
    r.displayPixels = Impl::displayPixels;

    handleProcs_ = {1, 6, Impl::newHandle, Impl::disposeHandle, Impl::getSize, Impl::setSize, Impl::lock, Impl::unlock};
    r.handleProcs = &handleProcs_;
    bufferProcs_ = {1, 5, Impl::bufferAllocate, Impl::bufferLock, Impl::bufferUnlock, Impl::bufferFree,
                    Impl::bufferSpace};
    r.bufferProcs = options_.withholdBufferProcs ? nullptr : &bufferProcs_;
    r.advanceState = options_.withholdAdvanceState ? nullptr : Impl::advanceState;
    r.inputRate = 0x10000;
    r.maskRate = 0x10000;
    r.outTileHeight = options_.tileHeight;
    r.outTileWidth = options_.tileWidth;
    r.outTileOrigin = {options_.tileOriginV, options_.tileOriginH};
    r.inTileHeight = options_.tileHeight;
    r.inTileWidth = options_.tileWidth;
    r.inTileOrigin = r.outTileOrigin;

    readProcs_ = {1, 5, Impl::openReader, Impl::closeReader, Impl::getKey, Impl::getText, Impl::getInteger};
    writeProcs_ = {1, 4, Impl::openWriter, Impl::closeWriter, Impl::putText, Impl::putInteger};
    descriptorParameters_ = {1, kFpDialogOptional, kFpDialogOptional, 0, nullptr, &writeProcs_, &readProcs_};
    r.descriptorParameters = options_.withholdDescriptorParameters ? nullptr : &descriptorParameters_;
    r.errorString = errorString_;

    static const char* const names[Document::kChannels] = {"Red", "Green", "Blue"};
    for (int c = 0; c < Document::kChannels; ++c) {
        FpChannelDesc& d = channels_[c];
        d.size = sizeof(FpChannelDesc);
        d.depth = document_.depth();
        d.bounds = {0, 0, document_.height(), document_.width()};
        d.target = 1;
        d.shown = 1;
        d.channelType = static_cast<int16_t>(kFpChannelRed + c);
        d.port = reinterpret_cast<FpReadPort>(&readPorts_[c]);
        d.writePort = reinterpret_cast<FpWritePort>(&writePorts_[c]);
        d.next = c + 1 < Document::kChannels ? &channels_[c + 1] : nullptr;
        d.name = names[c];
    }
    documentInfo_ = {1, 1, r.imageMode, document_.depth(), {0, 0, document_.height(), document_.width()},
                     72 << 16, 72 << 16, &channels_[0], nullptr};
    r.documentInfo = options_.withholdDocumentInfo ? nullptr : &documentInfo_;
    r.sSPBasic = const_cast<FpSPBasicSuite*>(&Impl::basic);
    r.plugInRef = reinterpret_cast<FpPluginRef>(&pluginRef_);
}

FpHandle HostSession::makeHandle(const std::vector<uint8_t>& bytes)
{
    auto rec = std::make_unique<HandleRec>();
    rec->bytes = std::make_unique<char[]>(bytes.size() + 1);
    if (!bytes.empty())
        std::memcpy(rec->bytes.get(), bytes.data(), bytes.size());
    rec->size = static_cast<int32_t>(bytes.size());
    FpHandle h = reinterpret_cast<FpHandle>(rec.get());
    handles_[h] = std::move(rec);
    return h;
}

bool HostSession::isHandle(FpHandle h) const { return h && handles_.count(h); }

std::optional<std::vector<uint8_t>> HostSession::handleBytes(FpHandle h) const
{
    auto it = handles_.find(h);
    if (!h || it == handles_.end())
        return std::nullopt;
    const char* p = it->second->bytes.get();
    return std::vector<uint8_t>(p, p + it->second->size);
}

void HostSession::freeHandle(FpHandle h) { handles_.erase(h); }

std::string HostSession::errorText() const
{
    return std::string(reinterpret_cast<const char*>(errorString_ + 1), errorString_[0]);
}

int32_t HostSession::outstandingSuites() const
{
    int32_t n = 0;
    for (const auto& [name, count] : acquired_)
        n += count;
    return n;
}

bool HostSession::hasRequest() const
{
    return !toDoc(record_.inRect).empty() || !toDoc(record_.outRect).empty();
}

void HostSession::finishAdvance()
{
    if (advanceOut_) {
        const AdvanceBuffer& out = *advanceOut_;
        const int bytes = document_.depth() == 16 ? 2 : 1;
        const int planes = out.hi - out.lo + 1;
        const size_t rowBytes = static_cast<size_t>(out.rect.width()) * planes * bytes;
        const uint32_t maxValue = document_.maxValue();
        for (int32_t y = 0; y < out.rect.height(); ++y)
            for (int32_t x = 0; x < out.rect.width(); ++x)
                for (int p = 0; p < planes; ++p) {
                    const uint8_t* src = out.bytes.data() + y * rowBytes + (static_cast<size_t>(x) * planes + p) * bytes;
                    uint16_t v = *src;
                    if (bytes == 2)
                        std::memcpy(&v, src, 2);
                    document_.at(out.rect.left + x, out.rect.top + y, out.lo + p) =
                        static_cast<uint16_t>(std::min<uint32_t>(v, maxValue));
                }
    }
    advanceIn_.reset();
    advanceOut_.reset();
    record_.inData = nullptr;
    record_.outData = nullptr;
    record_.inRowBytes = 0;
    record_.outRowBytes = 0;
}

int16_t HostSession::advance()
{
    // Output of the previous request goes into the document first.
    finishAdvance();
    FilterRecord& r = record_;
    const DocRect in = toDoc(r.inRect), out = toDoc(r.outRect);
    auto planesOk = [&](int lo, int hi) { return lo >= 0 && lo <= hi && hi < Document::kChannels; };
    if (!in.empty() && (!in.inside(document_.bounds()) || !planesOk(r.inLoPlane, r.inHiPlane)))
        return kFpBadParametersErr;
    if (!out.empty() && (!out.inside(document_.filterRect()) || !planesOk(r.outLoPlane, r.outHiPlane)))
        return kFpBadParametersErr;
    if (!in.empty() && r.inputRate != 0x10000)
        return kFpBadParametersErr;
    const int bytes = document_.depth() == 16 ? 2 : 1;
    auto fill = [&](const Document& from, const DocRect& rect, int lo, int hi) {
        AdvanceBuffer b;
        b.rect = rect;
        b.lo = lo;
        b.hi = hi;
        const int planes = hi - lo + 1;
        const size_t rowBytes = static_cast<size_t>(rect.width()) * planes * bytes;
        b.bytes.resize(rowBytes * static_cast<size_t>(rect.height()));
        for (int32_t y = 0; y < rect.height(); ++y)
            for (int32_t x = 0; x < rect.width(); ++x)
                for (int p = 0; p < planes; ++p) {
                    uint16_t v = from.at(rect.left + x, rect.top + y, lo + p);
                    uint8_t* dst = b.bytes.data() + y * rowBytes + (static_cast<size_t>(x) * planes + p) * bytes;
                    if (bytes == 2)
                        std::memcpy(dst, &v, 2);
                    else
                        *dst = static_cast<uint8_t>(v);
                }
        return b;
    };
    if (!in.empty()) {
        const int64_t size = int64_t(in.width()) * in.height() * (r.inHiPlane - r.inLoPlane + 1) * bytes;
        if (!allocationAllowed(size))
            return kFpMemFullErr;
        advanceIn_ = fill(source(), in, r.inLoPlane, r.inHiPlane);
        r.inData = advanceIn_->bytes.data();
        r.inRowBytes = in.width() * (r.inHiPlane - r.inLoPlane + 1) * bytes;
    }
    if (!out.empty()) {
        const int64_t size = int64_t(out.width()) * out.height() * (r.outHiPlane - r.outLoPlane + 1) * bytes;
        if (!allocationAllowed(size)) {
            finishAdvance();
            return kFpMemFullErr;
        }
        advanceOut_ = fill(document_, out, r.outLoPlane, r.outHiPlane);
        r.outData = advanceOut_->bytes.data();
        r.outRowBytes = out.width() * (r.outHiPlane - r.outLoPlane + 1) * bytes;
    }
    return kFpNoErr;
}

void HostSession::setPlayScript(const Descriptor* script, int16_t playInfo)
{
    if (descriptorParameters_.descriptor)
        freeHandle(descriptorParameters_.descriptor);
    descriptorParameters_.descriptor = script ? makeHandle(script->serialize()) : nullptr;
    descriptorParameters_.playInfo = playInfo;
    descriptorParameters_.recordInfo = kFpDialogOptional;
}

std::optional<Descriptor> HostSession::takeRecordedScript()
{
    FpHandle h = descriptorParameters_.descriptor;
    descriptorParameters_.descriptor = nullptr;
    auto bytes = handleBytes(h);
    if (!bytes)
        return std::nullopt;
    freeHandle(h);
    return Descriptor::parse(*bytes);
}

} // namespace orvo
