// Four small filters that exercise the host through the protocol only:
//   PIMAIN_InvertAdvance  inverts the filter rectangle through advanceState (bands of the host tile)
//   PIMAIN_InvertSuites   inverts through the Buffer and ChannelPorts suites, 4-channel buffers
//   PIMAIN_Remember       keeps a counter in the parameters handle, the registry and the script
//   PIMAIN_Countdown      clears row by row, reporting progress and honouring abort
#include "platform/ModuleResources.h"
#include "tests/support/MinimalPipl.h"
#include "platform/Suites.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using testpipl::minimalPipl;

#define TEST_FILTER_RESOURCE(var, id, menu, entry)                                                 \
    constexpr auto var##Pipl = minimalPipl(menu, entry);                                           \
    FP_MODULE_RESOURCE(var, fp::resourceEntry<sizeof(entry) - 1, var##Pipl.size()>(kFpResourcePiPL, \
                                                                                   id, entry, var##Pipl))

TEST_FILTER_RESOURCE(invertAdvanceRes, 16000, "Test Invert Advance...", "PIMAIN_InvertAdvance");
TEST_FILTER_RESOURCE(invertSuitesRes, 16001, "Test Invert Suites...", "PIMAIN_InvertSuites");
TEST_FILTER_RESOURCE(rememberRes, 16002, "Test Remember...", "PIMAIN_Remember");
TEST_FILTER_RESOURCE(countdownRes, 16003, "Test Countdown...", "PIMAIN_Countdown");

const char* const kRememberGuid = "7d0c4b2e-3f1a-4e5b-9c6d-1a2b3c4d5e6f";

void setError(FilterRecord* r, const char* text, int16_t* result)
{
    const std::size_t n = std::min<std::size_t>(std::strlen(text), 255);
    r->errorString[0] = static_cast<uint8_t>(n);
    std::memcpy(r->errorString + 1, text, n);
    *result = kFpErrorStringErr;
}

int bandRows(const FilterRecord* r) { return r->outTileHeight > 0 ? r->outTileHeight : 256; }

uint32_t sample(const uint8_t* p, int bytes)
{
    if (bytes == 1)
        return *p;
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void setSample(uint8_t* p, int bytes, uint32_t v)
{
    if (bytes == 1) {
        *p = static_cast<uint8_t>(v);
    } else {
        const auto s = static_cast<uint16_t>(v);
        std::memcpy(p, &s, 2);
    }
}

void invertAdvance(FilterRecord* r, int16_t* result)
{
    if (!r->advanceState) {
        *result = kFpHostCallFailedErr;
        return;
    }
    const FpRect16 fr = r->filterRect;
    const int bytes = r->depth == 16 ? 2 : 1;
    const uint32_t maxValue = r->depth == 16 ? 32768 : 255;
    const int width = fr.right - fr.left;
    for (int top = fr.top; top < fr.bottom; top += bandRows(r)) {
        const FpRect16 band{static_cast<int16_t>(top), fr.left,
                            static_cast<int16_t>(std::min(top + bandRows(r), int(fr.bottom))), fr.right};
        r->inRect = r->outRect = band;
        r->inLoPlane = r->outLoPlane = 0;
        r->inHiPlane = r->outHiPlane = 2;
        if (int16_t err = r->advanceState()) {
            *result = err;
            return;
        }
        for (int y = 0; y < band.bottom - band.top; ++y) {
            const auto* in = static_cast<const uint8_t*>(r->inData) + y * r->inRowBytes;
            auto* out = static_cast<uint8_t*>(r->outData) + y * r->outRowBytes;
            for (int i = 0; i < width * 3; ++i)
                setSample(out + i * bytes, bytes, maxValue - sample(in + i * bytes, bytes));
        }
    }
    r->inRect = r->outRect = FpRect16{};
    *result = r->advanceState();
}

void invertSuites(FilterRecord* r, int16_t* result)
{
    FpSPBasicSuite* sp = r->sSPBasic;
    const FpBufferSuite1* buffers = nullptr;
    const FpChannelPortsSuite2* ports = nullptr;
    if (!sp || !r->documentInfo ||
        sp->acquireSuite(kFpBufferSuite, kFpBufferSuiteVersion, reinterpret_cast<const void**>(&buffers)) != 0) {
        *result = kFpHostCallFailedErr;
        return;
    }
    if (sp->acquireSuite(kFpChannelPortsSuite, kFpChannelPortsSuiteVersion,
                         reinterpret_cast<const void**>(&ports)) != 0) {
        sp->releaseSuite(kFpBufferSuite, kFpBufferSuiteVersion);
        *result = kFpHostCallFailedErr;
        return;
    }
    const FpRect16 fr = r->filterRect;
    const int bytes = r->depth / 8 == 2 ? 2 : 1;
    const uint32_t maxValue = bytes == 2 ? 32768 : 255;
    const int width = fr.right - fr.left;
    const int pixelBytes = 4 * bytes;
    for (int top = fr.top; top < fr.bottom && *result == 0; top += bandRows(r)) {
        const FpRect32 band{top, fr.left, std::min(top + bandRows(r), int(fr.bottom)), fr.right};
        const int rows = band.bottom - band.top;
        auto* buffer = static_cast<uint8_t*>(buffers->newBuffer(nullptr, width * rows * pixelBytes));
        if (!buffer) {
            *result = kFpMemFullErr;
            break;
        }
        auto describe = [&](int k) {
            return FpPixelMemoryDesc{buffer + k * bytes, width * pixelBytes * 8, pixelBytes * 8, 0, bytes * 8};
        };
        int k = 0;
        for (FpChannelDesc* ch = r->documentInfo->targetCompositeChannels; ch && k < 4; ch = ch->next, ++k) {
            int32_t levels = 0, depth = 0;
            ports->countLevels(ch->port, &levels);
            ports->getDepth(ch->port, &depth);
            const FpPixelMemoryDesc d = describe(k);
            if (ports->readPixelsFromLevel(ch->port, 0, &band, &d) != 0)
                *result = kFpHostCallFailedErr;
        }
        for (int i = 0; i < width * rows && *result == 0; ++i) {
            uint8_t* px = buffer + i * pixelBytes;
            if (sample(px + 3 * bytes, bytes) != 0)
                setError(r, "the fourth channel was written", result);
            for (int c = 0; c < 3; ++c)
                setSample(px + c * bytes, bytes, maxValue - sample(px + c * bytes, bytes));
        }
        k = 0;
        for (FpChannelDesc* ch = r->documentInfo->targetCompositeChannels; ch && k < 4 && *result == 0;
             ch = ch->next, ++k) {
            const FpPixelMemoryDesc d = describe(k);
            if (ports->writeBasePixels(ch->writePort, &band, &d) != 0)
                *result = kFpHostCallFailedErr;
        }
        void* p = buffer;
        buffers->dispose(&p);
        r->progressProc(band.bottom - fr.top, fr.bottom - fr.top);
    }
    sp->releaseSuite(kFpChannelPortsSuite, kFpChannelPortsSuiteVersion);
    sp->releaseSuite(kFpBufferSuite, kFpBufferSuiteVersion);
}

// Remember's parameters handle: int32 counter, int32 "the dialog would be shown".
struct RememberValues {
    int32_t counter = 0;
    int32_t showDialog = 0;
};

bool readValues(FilterRecord* r, RememberValues& v)
{
    char* p = nullptr;
    int32_t size = 0;
    if (!r->parameters || r->handleProcs->getSize(r->parameters, &size) != 0 || size != sizeof v ||
        r->handleProcs->lock(r->parameters, 1, &p) != 0)
        return false;
    std::memcpy(&v, p, sizeof v);
    r->handleProcs->unlock(r->parameters);
    return true;
}

void writeValues(FilterRecord* r, const RememberValues& v)
{
    char* p = nullptr;
    if (!r->parameters && r->handleProcs->newHandle(sizeof v, &r->parameters) != 0)
        return;
    if (r->handleProcs->lock(r->parameters, 1, &p) == 0) {
        std::memcpy(p, &v, sizeof v);
        r->handleProcs->unlock(r->parameters);
    }
}

void remember(int16_t selector, FilterRecord* r, int16_t* result)
{
    RememberValues v;
    readValues(r, v);
    FpSPBasicSuite* sp = r->sSPBasic;
    const FpDescriptorRegistrySuite1* registry = nullptr;
    const FpActionDescriptorSuite2* actions = nullptr;
    const bool suites =
        sp->acquireSuite(kFpDescriptorRegistrySuite, kFpDescriptorRegistrySuiteVersion,
                         reinterpret_cast<const void**>(&registry)) == 0 &&
        sp->acquireSuite(kFpActionDescriptorSuite, kFpActionDescriptorSuiteVersion,
                         reinterpret_cast<const void**>(&actions)) == 0;
    FpDescriptorParameters* script = r->descriptorParameters;
    if (selector == kFpSelectorStart) {
        FpActionDescriptor d = nullptr;
        int32_t length = 0;
        if (suites && registry->get(kRememberGuid, &d) == 0) {
            if (actions->getDataLength(d, kFpKeyParameters, &length) == 0 && length == 4)
                actions->getData(d, kFpKeyParameters, &v.counter, 4);
            actions->free(d);
        }
        v.showDialog = 1;
        if (script && script->readDescriptorProcs && script->descriptor) {
            const FpDescriptorKey keys[] = {kFpKeyParameters, 0};
            FpReadDescriptor reader = nullptr;
            if (script->readDescriptorProcs->openReader(script->descriptor, keys, &reader) == 0) {
                FpDescriptorKey key;
                FpDescriptorType type;
                int32_t flags;
                while (script->readDescriptorProcs->getKey(reader, &key, &type, &flags)) {
                    FpHandle text = nullptr;
                    char* p = nullptr;
                    int32_t size = 0;
                    if (key == kFpKeyParameters && script->readDescriptorProcs->getText(reader, &text) == 0) {
                        if (r->handleProcs->getSize(text, &size) == 0 && size == 4 &&
                            r->handleProcs->lock(text, 1, &p) == 0) {
                            std::memcpy(&v.counter, p, 4);
                            r->handleProcs->unlock(text);
                        }
                        r->handleProcs->disposeHandle(text);
                    }
                }
                script->readDescriptorProcs->closeReader(reader);
            }
            r->handleProcs->disposeHandle(script->descriptor);
            script->descriptor = nullptr;
            v.showDialog = script->playInfo == kFpDialogDisplay;
        }
        ++v.counter;
        writeValues(r, v);
    } else if (selector == kFpSelectorFinish) {
        FpActionDescriptor d = nullptr;
        if (suites && actions->make(&d) == 0) {
            actions->putData(d, kFpKeyParameters, 4, &v.counter);
            registry->registerDescriptor(kRememberGuid, d, 1);
            actions->free(d);
        }
        if (script && script->writeDescriptorProcs) {
            FpWriteDescriptor writer = nullptr;
            FpHandle text = nullptr;
            char* p = nullptr;
            if (script->writeDescriptorProcs->openWriter(&writer) == 0) {
                if (r->handleProcs->newHandle(4, &text) == 0 && r->handleProcs->lock(text, 1, &p) == 0) {
                    std::memcpy(p, &v.counter, 4);
                    r->handleProcs->unlock(text);
                    script->writeDescriptorProcs->putText(writer, kFpKeyParameters, text);
                    r->handleProcs->disposeHandle(text);
                }
                if (script->descriptor)
                    r->handleProcs->disposeHandle(script->descriptor);
                script->writeDescriptorProcs->closeWriter(writer, &script->descriptor);
                script->recordInfo = kFpDialogOptional;
            }
        }
    } else if (selector == kFpSelectorParameters && !r->parameters) {
        writeValues(r, v);
    }
    if (registry)
        sp->releaseSuite(kFpDescriptorRegistrySuite, kFpDescriptorRegistrySuiteVersion);
    if (actions)
        sp->releaseSuite(kFpActionDescriptorSuite, kFpActionDescriptorSuiteVersion);
    (void)result;
}

void countdown(FilterRecord* r, int16_t* result)
{
    const FpRect16 fr = r->filterRect;
    const int bytes = r->depth == 16 ? 2 : 1;
    for (int y = fr.top; y < fr.bottom; ++y) {
        r->inRect = FpRect16{};
        r->outRect = FpRect16{static_cast<int16_t>(y), fr.left, static_cast<int16_t>(y + 1), fr.right};
        r->outLoPlane = 0;
        r->outHiPlane = 2;
        if (int16_t err = r->advanceState()) {
            *result = err;
            return;
        }
        std::memset(r->outData, 0, static_cast<std::size_t>(fr.right - fr.left) * 3 * bytes);
        r->progressProc(y + 1 - fr.top, fr.bottom - fr.top);
        if (r->abortProc()) {
            *result = kFpUserCanceledErr;
            return;
        }
    }
    r->outRect = FpRect16{};
    *result = r->advanceState();
}

} // namespace

FP_EXPORT void PIMAIN_InvertAdvance(int16_t selector, FilterRecord* r, intptr_t*, int16_t* result)
{
    *result = 0;
    if (selector == kFpSelectorStart)
        invertAdvance(r, result);
}

FP_EXPORT void PIMAIN_InvertSuites(int16_t selector, FilterRecord* r, intptr_t*, int16_t* result)
{
    *result = 0;
    if (selector == kFpSelectorStart)
        invertSuites(r, result);
}

FP_EXPORT void PIMAIN_Remember(int16_t selector, FilterRecord* r, intptr_t*, int16_t* result)
{
    *result = 0;
    remember(selector, r, result);
}

FP_EXPORT void PIMAIN_Countdown(int16_t selector, FilterRecord* r, intptr_t*, int16_t* result)
{
    *result = 0;
    if (selector == kFpSelectorStart)
        countdown(r, result);
}
