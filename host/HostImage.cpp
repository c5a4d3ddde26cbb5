#include "host/HostImage.h"

#include "imaging/resample/Resample.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace orvo::host {

namespace {

constexpr const char* kAdvanceStateIs8Bit =
    "16-bit documents need the host's Buffer and ChannelPorts suites: this host offers only advance state, "
    "which carries 8-bit pixels";

FpRect16 toRect16(const fx::Rect& r)
{
    auto fits = [](int32_t v) { return v >= std::numeric_limits<int16_t>::min() && v <= std::numeric_limits<int16_t>::max(); };
    if (r.empty())
        return FpRect16{};
    if (!fits(r.top) || !fits(r.left) || !fits(r.bottom) || !fits(r.right))
        throw std::out_of_range("rectangle outside the host's 16-bit coordinates");
    return {static_cast<int16_t>(r.top), static_cast<int16_t>(r.left), static_cast<int16_t>(r.bottom),
            static_cast<int16_t>(r.right)};
}

FpRect32 toRect32(const fx::Rect& r) { return {r.top, r.left, r.bottom, r.right}; }

bool sameRect(const FpRect16& a, const fx::Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// Holds one acquired suite and releases it on every exit path.
template <class Suite>
class SuiteRef {
public:
    SuiteRef(FpSPBasicSuite* sp, const char* name, int32_t version) : sp_(sp), name_(name), version_(version)
    {
        const void* table = nullptr;
        if (!sp_ || !sp_->acquireSuite || sp_->acquireSuite(name_, version_, &table) != kFpNoErr || !table)
            throw HostCallFailure{kFpHostCallFailedErr};
        suite_ = static_cast<const Suite*>(table);
    }
    SuiteRef(const SuiteRef&) = delete;
    SuiteRef& operator=(const SuiteRef&) = delete;
    ~SuiteRef()
    {
        if (sp_->releaseSuite)
            sp_->releaseSuite(name_, version_);
    }
    const Suite* operator->() const { return suite_; }

private:
    FpSPBasicSuite* sp_;
    const char* name_;
    int32_t version_;
    const Suite* suite_ = nullptr;
};

void check(int32_t err)
{
    if (err != kFpNoErr)
        throw HostCallFailure{err};
}

} // namespace

void HostBufferFree::operator()(HostPixelBuffer* buffer) const
{
    if (buffer && buffer->owner)
        buffer->owner->free(buffer);
    else
        delete buffer;
}

HostImage::HostImage(FilterRecord& record) : record_(record)
{
    if (const FpChannelDesc* list = channelList()) {
        channels_ = 0;
        for (; list; list = list->next)
            ++channels_;
    } else {
        channels_ = record.planes;
    }
    const void* table = nullptr;
    FpSPBasicSuite* sp = record.sSPBasic;
    if (sp && sp->acquireSuite && sp->acquireSuite(kFpBufferSuite, kFpBufferSuiteVersion, &table) == kFpNoErr && table) {
        suites_ = true;
        if (sp->releaseSuite)
            sp->releaseSuite(kFpBufferSuite, kFpBufferSuiteVersion);
    }
}

const FpChannelDesc* HostImage::channelList() const
{
    const FpDocumentInfo* doc = record_.documentInfo;
    if (!doc)
        return nullptr;
    return doc->targetCompositeChannels ? doc->targetCompositeChannels : doc->alphaChannels;
}

FilterLayout HostImage::filterLayout() const
{
    FilterLayout l;
    const FpRect16& fr = record_.filterRect;
    l.filterRect = {fr.top, fr.left, fr.bottom, fr.right};
    l.tileOrigin = {record_.outTileOrigin.h, record_.outTileOrigin.v};
    l.tileHeight = record_.outTileHeight;
    l.tileWidth = record_.outTileWidth;
    if (l.tileHeight <= 0 || l.tileWidth <= 0) {
        l.tileHeight = 256;
        l.tileWidth = l.filterRect.width();
    }
    return l;
}

fx::Rect HostImage::imageBounds() const
{
    return {0, 0, record_.imageSize.v, record_.imageSize.h};
}

void HostImage::requireAdvanceState(int32_t bytesPerChannel) const
{
    if (bytesPerChannel != 1 || record_.depth == 16)
        throw std::runtime_error(kAdvanceStateIs8Bit);
    if (!record_.advanceState)
        throw HostCallFailure{kFpHostCallFailedErr};
}

void HostImage::request(const fx::Rect& in, const fx::Rect& out)
{
    if (suites_)
        return;
    if (!record_.advanceState)
        throw HostCallFailure{kFpHostCallFailedErr};
    record_.inLoPlane = record_.outLoPlane = 0;
    record_.inHiPlane = record_.outHiPlane = 2;
    record_.inRect = toRect16(in);
    record_.outRect = toRect16(out);
    if (int16_t err = record_.advanceState())
        throw HostResult{err};
}

HostBufferPtr HostImage::allocate(const fx::Rect& rect, int32_t channels, int32_t bytesPerChannel, int16_t imageMode)
{
    if (channels == 3)
        channels = 4;
    if (rect.empty() || channels < 1 || channels > 4 || (bytesPerChannel != 1 && bytesPerChannel != 2))
        return nullptr;
    const int64_t rowBytes = int64_t{rect.width()} * channels * bytesPerChannel;
    const int64_t size = rowBytes * rect.height();
    if (size > std::numeric_limits<int32_t>::max())
        return nullptr;

    HostBufferPtr buffer(new HostPixelBuffer);
    buffer->rect = rect;
    buffer->channels = channels;
    buffer->bytesPerChannel = bytesPerChannel;
    buffer->pixelBytes = channels * bytesPerChannel;
    buffer->rowBytes = static_cast<int32_t>(rowBytes);
    buffer->imageMode = imageMode;
    buffer->capacity = static_cast<std::size_t>(size);
    if (suites_) {
        SuiteRef<FpBufferSuite1> suite(record_.sSPBasic, kFpBufferSuite, kFpBufferSuiteVersion);
        buffer->suiteBlock = suite->newBuffer(nullptr, static_cast<int32_t>(size));
        buffer->data = static_cast<uint8_t*>(buffer->suiteBlock);
    } else {
        const FpBufferProcs* procs = record_.bufferProcs;
        if (!procs || !procs->allocate || !procs->lock || !procs->unlock || !procs->free)
            throw HostCallFailure{kFpHostCallFailedErr};
        FpBufferID id = nullptr;
        if (procs->allocate(static_cast<int32_t>(size), &id) != kFpNoErr || !id)
            return nullptr;
        void* bytes = nullptr;
        if (procs->lock(id, 1, &bytes) != kFpNoErr || !bytes) {
            procs->free(id);
            return nullptr;
        }
        buffer->bufferId = id;
        buffer->data = static_cast<uint8_t*>(bytes);
    }
    if (!buffer->data)
        return nullptr;
    buffer->owner = this;
    std::memset(buffer->data, 0, buffer->capacity);
    allocated_ += static_cast<int32_t>(size);
    setDescriptors(*buffer);
    return buffer;
}

void HostImage::free(HostPixelBuffer* buffer)
{
    if (!buffer)
        return;
    if (buffer->suiteBlock) {
        // Disposal failures cannot be reported from here; the block is the host's to reclaim.
        const void* table = nullptr;
        FpSPBasicSuite* sp = record_.sSPBasic;
        if (sp && sp->acquireSuite(kFpBufferSuite, kFpBufferSuiteVersion, &table) == kFpNoErr && table) {
            static_cast<const FpBufferSuite1*>(table)->dispose(&buffer->suiteBlock);
            sp->releaseSuite(kFpBufferSuite, kFpBufferSuiteVersion);
        }
    } else if (buffer->bufferId && record_.bufferProcs) {
        record_.bufferProcs->unlock(buffer->bufferId);
        record_.bufferProcs->free(buffer->bufferId);
    }
    if (buffer->data)
        allocated_ -= static_cast<int32_t>(buffer->capacity);
    delete buffer;
}

void HostImage::setRect(HostPixelBuffer& buffer, const fx::Rect& rect)
{
    const int64_t rowBytes = int64_t{std::max(rect.width(), 0)} * buffer.pixelBytes;
    if (rect.empty() || static_cast<uint64_t>(rowBytes * rect.height()) > buffer.capacity)
        throw std::logic_error("pixel buffer rectangle larger than its block");
    buffer.rect = rect;
    buffer.rowBytes = static_cast<int32_t>(rowBytes);
    for (ChannelDescriptor& d : buffer.descriptors) {
        d.memory.rowBits = buffer.rowBytes * 8;
    }
}

void HostImage::setDescriptors(HostPixelBuffer& buffer) const
{
    buffer.descriptors.assign(static_cast<std::size_t>(buffer.channels), ChannelDescriptor{});
    for (int32_t k = 0; k < buffer.channels; ++k)
        buffer.descriptors[static_cast<std::size_t>(k)].memory =
            FpPixelMemoryDesc{buffer.data + k * buffer.bytesPerChannel, buffer.rowBytes * 8, buffer.pixelBytes * 8, 0,
                              buffer.bytesPerChannel * 8};
}

FpPixelMemoryDesc HostImage::memoryAt(HostPixelBuffer& buffer, int32_t k, fx::Point offset) const
{
    FpPixelMemoryDesc d{};
    d.data = buffer.row(offset.y) + static_cast<std::size_t>(offset.x) * buffer.pixelBytes +
             static_cast<std::size_t>(k) * buffer.bytesPerChannel;
    d.rowBits = buffer.rowBytes * 8;
    d.colBits = buffer.pixelBytes * 8;
    d.bitOffset = 0;
    d.depth = buffer.bytesPerChannel * 8;
    return d;
}

void HostImage::readRect(HostPixelBuffer& buffer, const fx::Rect& rect)
{
    if (rect.width() != buffer.rect.width() || rect.height() != buffer.rect.height() || rect.empty())
        throw std::logic_error("readRect: rectangle and buffer differ in size");
    if (suites_) {
        SuiteRef<FpChannelPortsSuite2> ports(record_.sSPBasic, kFpChannelPortsSuite, kFpChannelPortsSuiteVersion);
        const FpRect32 r = toRect32(rect);
        int32_t k = 0;
        for (const FpChannelDesc* ch = channelList(); ch && k < buffer.channels; ch = ch->next, ++k) {
            buffer.descriptors[static_cast<std::size_t>(k)].channelType = ch->channelType;
            int32_t levels = 0, depth = 0;
            ports->countLevels(ch->port, &levels);
            ports->getDepth(ch->port, &depth);
            const FpPixelMemoryDesc memory = memoryAt(buffer, k, {0, 0});
            check(ports->readPixelsFromLevel(ch->port, 0, &r, &memory));
        }
        return;
    }
    requireAdvanceState(buffer.bytesPerChannel);
    if (!record_.inData || !sameRect(record_.inRect, rect) || record_.inRowBytes < rect.width() * 3 ||
        buffer.channels != 4)
        throw HostCallFailure{kFpHostCallFailedErr};
    const auto* in = static_cast<const uint8_t*>(record_.inData);
    for (int32_t y = 0; y < rect.height(); ++y) {
        const uint8_t* src = in + static_cast<std::size_t>(y) * static_cast<std::size_t>(record_.inRowBytes);
        uint8_t* dst = buffer.row(y);
        for (int32_t x = 0; x < rect.width(); ++x, src += 3, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 255;
        }
    }
}

void HostImage::writeRect(HostPixelBuffer& buffer, const fx::Rect& band, fx::Point offset)
{
    if (band.empty() || offset.x < 0 || offset.y < 0 || offset.x + band.width() > buffer.rect.width() ||
        offset.y + band.height() > buffer.rect.height())
        throw std::logic_error("writeRect: band outside the buffer");
    if (suites_) {
        SuiteRef<FpChannelPortsSuite2> ports(record_.sSPBasic, kFpChannelPortsSuite, kFpChannelPortsSuiteVersion);
        const FpRect32 r = toRect32(band);
        int32_t k = 0;
        for (const FpChannelDesc* ch = channelList(); ch && k < buffer.channels; ch = ch->next, ++k) {
            const FpPixelMemoryDesc memory = memoryAt(buffer, k, offset);
            check(ports->writeBasePixels(ch->writePort, &r, &memory));
        }
        return;
    }
    requireAdvanceState(buffer.bytesPerChannel);
    if (!record_.outData || !sameRect(record_.outRect, band) || record_.outRowBytes < band.width() * 3 ||
        buffer.channels != 4)
        throw HostCallFailure{kFpHostCallFailedErr};
    auto* out = static_cast<uint8_t*>(record_.outData);
    for (int32_t i = 0; i < band.height(); ++i) {
        const uint8_t* src = buffer.row(offset.y + i) + static_cast<std::size_t>(offset.x) * 4;
        uint8_t* dst = out + static_cast<std::size_t>(i) * static_cast<std::size_t>(record_.outRowBytes);
        for (int32_t x = 0; x < band.width(); ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
}

void HostImage::copy(HostPixelBuffer& dst, const HostPixelBuffer& src)
{
    if (&dst == &src)
        return;
    if (dst.byteSize() != src.byteSize() || dst.rowBytes != src.rowBytes)
        throw std::logic_error("copy: buffers differ in size");
    std::memcpy(dst.data, src.data, src.byteSize());
    for (std::size_t k = 0; k < dst.descriptors.size() && k < src.descriptors.size(); ++k)
        dst.descriptors[k].channelType = src.descriptors[k].channelType;
}

void HostImage::copyWithOffset(HostPixelBuffer& dst, const HostPixelBuffer& src, const fx::Rect& size, fx::Point offset)
{
    if (dst.pixelBytes != src.pixelBytes)
        throw std::logic_error("copyWithOffset: buffers differ in pixel format");
    if (offset.x < 0 || offset.y < 0)
        return;
    const int32_t w = std::min({size.width(), src.rect.width() - offset.x, dst.rect.width()});
    const int32_t h = std::min({size.height(), src.rect.height() - offset.y, dst.rect.height()});
    if (w <= 0 || h <= 0)
        return;
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(dst.row(y), src.row(offset.y + y) + static_cast<std::size_t>(offset.x) * src.pixelBytes,
                    static_cast<std::size_t>(w) * src.pixelBytes);
    for (std::size_t k = 0; k < dst.descriptors.size() && k < src.descriptors.size(); ++k)
        dst.descriptors[k].channelType = src.descriptors[k].channelType;
}

void HostImage::clear(HostPixelBuffer& buffer)
{
    if (buffer.data)
        std::memset(buffer.data, 0, buffer.byteSize());
}

void HostImage::readScaled(HostPixelBuffer& buffer, const fx::Rect& sourceRect, const fx::Rect& destRect)
{
    const fx::Rect whole{0, 0, buffer.rect.height(), buffer.rect.width()};
    if (sourceRect.empty() || destRect.empty() || destRect.top < 0 || destRect.left < 0 ||
        destRect.bottom > whole.bottom || destRect.right > whole.right)
        throw std::logic_error("readScaled: destination outside the buffer");
    if (destRect != whole)
        clear(buffer);
    if (suites_) {
        SuiteRef<FpChannelPortsSuite2> ports(record_.sSPBasic, kFpChannelPortsSuite, kFpChannelPortsSuiteVersion);
        const FpRect32 s = toRect32(sourceRect), d = toRect32(destRect);
        int32_t k = 0;
        for (const FpChannelDesc* ch = channelList(); ch && k < buffer.channels; ch = ch->next, ++k) {
            buffer.descriptors[static_cast<std::size_t>(k)].channelType = ch->channelType;
            const FpPixelMemoryDesc memory = memoryAt(buffer, k, {0, 0});
            check(ports->readScaledPixels(ch->port, &s, &d, &memory));
        }
        return;
    }
    requireAdvanceState(buffer.bytesPerChannel);
    if (buffer.channels != 4)
        throw std::logic_error("readScaled: the advance-state transport fills 4-channel buffers");
    if (sourceRect.width() == destRect.width() && sourceRect.height() == destRect.height()) {
        record_.inputRate = 0x10000;
        request(sourceRect, {});
        if (!record_.inData || record_.inRowBytes < sourceRect.width() * 3)
            throw HostCallFailure{kFpHostCallFailedErr};
        const auto* in = static_cast<const uint8_t*>(record_.inData);
        for (int32_t y = 0; y < destRect.height(); ++y) {
            const uint8_t* src = in + static_cast<std::size_t>(y) * static_cast<std::size_t>(record_.inRowBytes);
            uint8_t* dst = buffer.row(destRect.top + y) + static_cast<std::size_t>(destRect.left) * 4;
            for (int32_t x = 0; x < destRect.width(); ++x, src += 3, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
            }
        }
    } else {
        PSImageInterface document(*this);
        BufferInterface target(buffer);
        const imaging::ResampleFilter& triangle = *imaging::findFilter("triangle");
        imaging::zoomRect(document, {sourceRect.left, sourceRect.top, sourceRect.right - 1, sourceRect.bottom - 1},
                          target, {destRect.left, destRect.top, destRect.right - 1, destRect.bottom - 1}, triangle,
                          triangle);
    }
    request({}, {});
}

// ---- resampler row access ----

void PSImageInterface::size(int* width, int* height) const
{
    const fx::Rect b = image_.imageBounds();
    *width = b.width();
    *height = b.height();
}

void PSImageInterface::readRow(int y, int x, int count, uint8_t* rgbaOut)
{
    const fx::Rect bounds = image_.imageBounds();
    if (count <= 0)
        return;
    std::memset(rgbaOut, 0, static_cast<std::size_t>(count) * 4);
    const int32_t x0 = std::max(x, 0), x1 = std::min(x + count, bounds.right);
    if (y < 0 || y >= bounds.bottom || x0 >= x1)
        return;
    if (!band_.contains(x0, y) || !band_.contains(x1 - 1, y)) {
        band_ = {y, x0, std::min(y + BandRows, bounds.bottom), x1};
        image_.record().inputRate = 0x10000;
        image_.request(band_, {});
    }
    const FilterRecord& r = image_.record();
    if (!r.inData || r.inRowBytes < band_.width() * 3)
        throw HostCallFailure{kFpHostCallFailedErr};
    const uint8_t* src = static_cast<const uint8_t*>(r.inData) +
                         static_cast<std::size_t>(y - band_.top) * static_cast<std::size_t>(r.inRowBytes) +
                         static_cast<std::size_t>(x0 - band_.left) * 3;
    uint8_t* dst = rgbaOut + static_cast<std::size_t>(x0 - x) * 4;
    for (int32_t i = x0; i < x1; ++i, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
    }
}

void BufferInterface::size(int* width, int* height) const
{
    *width = buffer_.rect.width();
    *height = buffer_.rect.height();
}

void BufferInterface::writeRow(int y, int x, int count, const uint8_t* rgbaIn)
{
    if (buffer_.channels != 4 || buffer_.bytesPerChannel != 1 || y < 0 || y >= buffer_.rect.height())
        return;
    const int32_t x0 = std::max(x, 0), x1 = std::min(x + count, buffer_.rect.width());
    if (x0 >= x1)
        return;
    std::memcpy(buffer_.row(y) + static_cast<std::size_t>(x0) * 4, rgbaIn + static_cast<std::size_t>(x0 - x) * 4,
                static_cast<std::size_t>(x1 - x0) * 4);
}

} // namespace orvo::host
