#include "app/core/HostSession.h"

#include "HostTestSupport.h"
#include "platform/ModuleResources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace orvo {
namespace {

using test::patternDocument;
using test::TempFolder;

HostOptions in(const TempFolder& tmp, int32_t maxAllocation = 1 << 30)
{
    HostOptions o;
    o.registryFolder = tmp.path;
    o.maxAllocation = maxAllocation;
    return o;
}

template <class Suite>
const Suite* acquire(FilterRecord& r, const char* name, int32_t version)
{
    const void* suite = nullptr;
    return r.sSPBasic->acquireSuite(name, version, &suite) == 0 ? static_cast<const Suite*>(suite) : nullptr;
}

TEST(HostSession, HandlesValidateEveryArgument)
{
    TempFolder tmp;
    Document doc(4, 4, 8);
    HostSession session(doc, in(tmp, 1000));
    const FpHandleProcs* hp = session.record().handleProcs;

    FpHandle h = nullptr;
    ASSERT_EQ(hp->newHandle(10, &h), kFpNoErr);
    char* p = nullptr;
    ASSERT_EQ(hp->lock(h, 1, &p), kFpNoErr);
    std::memcpy(p, "abcdefghij", 10);
    EXPECT_EQ(hp->setSize(h, 4), kFpBadParametersErr) << "a locked handle must not move";
    ASSERT_EQ(hp->unlock(h), kFpNoErr);
    ASSERT_EQ(hp->setSize(h, 12), kFpNoErr);
    int32_t size = 0;
    ASSERT_EQ(hp->getSize(h, &size), kFpNoErr);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(session.handleBytes(h), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 0, 0}));

    FpHandle unknown = reinterpret_cast<FpHandle>(&size);
    EXPECT_EQ(hp->lock(unknown, 1, &p), kFpBadParametersErr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(hp->lock(nullptr, 1, &p), kFpBadParametersErr);
    EXPECT_EQ(hp->lock(h, 1, nullptr), kFpBadParametersErr);
    EXPECT_EQ(hp->unlock(h), kFpBadParametersErr) << "unlock without lock";
    EXPECT_EQ(hp->getSize(unknown, &size), kFpBadParametersErr);
    EXPECT_EQ(hp->disposeHandle(unknown), kFpBadParametersErr);
    FpHandle scratch = h;
    EXPECT_EQ(hp->newHandle(-1, &scratch), kFpBadParametersErr);
    EXPECT_EQ(scratch, nullptr) << "out-parameters are cleared on failure";
    EXPECT_EQ(hp->newHandle(10, nullptr), kFpBadParametersErr);
    FpHandle big = nullptr;
    EXPECT_EQ(hp->newHandle(1001, &big), kFpMemFullErr);
    EXPECT_EQ(big, nullptr);

    ASSERT_EQ(hp->disposeHandle(h), kFpNoErr);
    EXPECT_EQ(hp->disposeHandle(h), kFpBadParametersErr) << "double dispose";
    EXPECT_EQ(session.liveHandles(), 0u);
}

TEST(HostSession, BufferProceduresAndBufferSuite)
{
    TempFolder tmp;
    Document doc(4, 4, 8);
    HostSession session(doc, in(tmp, 1000));
    FilterRecord& r = session.record();

    FpBufferID id = nullptr;
    ASSERT_EQ(r.bufferProcs->allocate(100, &id), kFpNoErr);
    void* data = nullptr;
    ASSERT_EQ(r.bufferProcs->lock(id, 1, &data), kFpNoErr);
    EXPECT_EQ(static_cast<uint8_t*>(data)[99], 0);
    EXPECT_EQ(r.bufferProcs->lock(reinterpret_cast<FpBufferID>(&r), 1, &data), kFpBadParametersErr);
    FpBufferID scratch = nullptr;
    EXPECT_EQ(r.bufferProcs->allocate(2000, &scratch), kFpMemFullErr);
    EXPECT_EQ(r.bufferProcs->free(reinterpret_cast<FpBufferID>(&r)), kFpBadParametersErr);

    const auto* suite = acquire<FpBufferSuite1>(r, kFpBufferSuite, kFpBufferSuiteVersion);
    ASSERT_NE(suite, nullptr);
    void* b = suite->newBuffer(nullptr, 64);
    ASSERT_NE(b, nullptr);
    int32_t size = 0;
    EXPECT_EQ(suite->getSize(b, &size), kFpNoErr);
    EXPECT_EQ(size, 64);
    EXPECT_EQ(suite->newBuffer(nullptr, 5000), nullptr) << "more than the host grants";
    EXPECT_EQ(suite->newBuffer(nullptr, -1), nullptr);
    ASSERT_EQ(suite->dispose(&b), kFpNoErr);
    EXPECT_EQ(b, nullptr);
    void* stranger = &size;
    EXPECT_EQ(suite->dispose(&stranger), kFpBadParametersErr);
    EXPECT_EQ(suite->dispose(nullptr), kFpBadParametersErr);
    ASSERT_EQ(r.sSPBasic->releaseSuite(kFpBufferSuite, kFpBufferSuiteVersion), kFpNoErr);
    ASSERT_EQ(r.bufferProcs->free(id), kFpNoErr);
    EXPECT_EQ(session.liveBuffers(), 0u);
}

TEST(HostSession, SuitesByNameAndVersionAndWithheld)
{
    TempFolder tmp;
    Document doc(4, 4, 8);
    HostOptions o = in(tmp);
    o.withheldSuites = {kFpChannelPortsSuite};
    HostSession session(doc, o);
    FilterRecord& r = session.record();
    struct Case {
        const char* name;
        int32_t version;
        bool offered;
    } cases[] = {
        {kFpSPPluginsSuite, 4, true},
        {kFpBufferSuite, 1, true},
        {kFpActionDescriptorSuite, 2, true},
        {kFpDescriptorRegistrySuite, 1, true},
        {kFpChannelPortsSuite, 2, false}, // withheld
        {kFpBufferSuite, 2, false},
        {"No Such Suite", 1, false},
    };
    for (const Case& c : cases) {
        const void* suite = &c;
        EXPECT_EQ(r.sSPBasic->acquireSuite(c.name, c.version, &suite) == 0, c.offered) << c.name << " " << c.version;
        EXPECT_EQ(suite != nullptr, c.offered);
    }
    EXPECT_EQ(session.outstandingSuites(), 4);
    EXPECT_EQ(r.sSPBasic->releaseSuite(kFpChannelPortsSuite, 2), kFpBadParametersErr) << "never acquired";
    EXPECT_EQ(r.sSPBasic->acquireSuite(nullptr, 1, nullptr), kFpBadParametersErr);
    for (const Case& c : cases) {
        if (c.offered) {
            EXPECT_EQ(r.sSPBasic->releaseSuite(c.name, c.version), kFpNoErr);
        }
    }
    EXPECT_EQ(session.outstandingSuites(), 0);
}

TEST(HostSession, PluginsSuiteReportsTheModulePath)
{
    TempFolder tmp;
    Document doc(2, 2, 8);
    HostSession session(doc, in(tmp));
    session.setModulePath("/plugins/Orvo.so");
    FilterRecord& r = session.record();
    const auto* suite = acquire<FpSPPluginsSuite4>(r, kFpSPPluginsSuite, kFpSPPluginsSuiteVersion);
    ASSERT_NE(suite, nullptr);
    char path[kFpPluginPathCapacity] = "untouched";
    ASSERT_EQ(suite->getPluginFileSpecification(r.plugInRef, path, sizeof path), kFpNoErr);
    EXPECT_STREQ(path, "/plugins/Orvo.so");
    char small[16] = "untouched";
    EXPECT_EQ(suite->getPluginFileSpecification(r.plugInRef, small, sizeof small), kFpBadParametersErr);
    EXPECT_STREQ(small, "untouched") << "a path that does not fit is not truncated";
    EXPECT_EQ(suite->getPluginFileSpecification(nullptr, path, sizeof path), kFpBadParametersErr);
    r.sSPBasic->releaseSuite(kFpSPPluginsSuite, kFpSPPluginsSuiteVersion);
}

// Reads the document's target channels into a 4-channel interleaved buffer the way a plug-in does.
struct PortsFixture {
    FilterRecord& r;
    const FpChannelPortsSuite2* ports;
    std::vector<FpChannelDesc*> channels() const
    {
        std::vector<FpChannelDesc*> v;
        for (FpChannelDesc* c = r.documentInfo->targetCompositeChannels; c; c = c->next)
            v.push_back(c);
        return v;
    }
};

TEST(HostSession, ChannelPortsReadAndWriteAnyLayout)
{
    TempFolder tmp;
    for (int depth : {8, 16}) {
        Document doc = patternDocument(7, 5, depth);
        const Document original = doc;
        HostSession session(doc, in(tmp));
        FilterRecord& r = session.record();
        PortsFixture f{r, acquire<FpChannelPortsSuite2>(r, kFpChannelPortsSuite, 2)};
        ASSERT_NE(f.ports, nullptr);
        ASSERT_EQ(f.channels().size(), 3u) << "RGB documents have exactly three target channels";
        EXPECT_EQ(r.documentInfo->alphaChannels, nullptr);

        const FpRect32 rect{1, 2, 4, 7}; // 3 rows, 5 columns
        for (int memDepth : {8, 16}) {
            const int bytes = memDepth / 8;
            // Interleaved 4 channels (the fourth is not document data) and planar, with a bit offset.
            struct Layout {
                const char* name;
                int32_t rowBits, colBits, planeBytes, bitOffset;
            } layouts[] = {
                {"interleaved", 5 * 4 * bytes * 8, 4 * bytes * 8, bytes, 0},
                {"planar", 5 * bytes * 8, bytes * 8, 15 * bytes, 8 * bytes},
            };
            for (const Layout& l : layouts) {
                SCOPED_TRACE(std::string(l.name) + " doc " + std::to_string(depth) + " mem " + std::to_string(memDepth));
                std::vector<uint8_t> mem(200, 0);
                auto chans = f.channels();
                for (size_t k = 0; k < chans.size(); ++k) {
                    FpPixelMemoryDesc d{mem.data() + k * l.planeBytes, l.rowBits, l.colBits, l.bitOffset, memDepth};
                    int32_t value = 0;
                    EXPECT_EQ(f.ports->getDepth(chans[k]->port, &value), 0);
                    EXPECT_EQ(value, depth);
                    ASSERT_EQ(f.ports->readPixelsFromLevel(chans[k]->port, 0, &rect, &d), 0);
                }
                auto at = [&](int x, int y, int k) -> uint8_t* {
                    return mem.data() + k * l.planeBytes + l.bitOffset / 8 + y * l.rowBits / 8 + x * l.colBits / 8;
                };
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 5; ++x) {
                        for (int k = 0; k < 3; ++k) {
                            uint16_t v = *at(x, y, k);
                            if (bytes == 2)
                                std::memcpy(&v, at(x, y, k), 2);
                            uint32_t expected = doc.at(2 + x, 1 + y, k);
                            if (depth == 8 && memDepth == 16)
                                expected = (expected * 32768 + 127) / 255;
                            if (depth == 16 && memDepth == 8)
                                expected = (expected * 255 + 16384) / 32768;
                            ASSERT_EQ(v, expected) << x << "," << y << " channel " << k;
                        }
                        if (l.planeBytes == bytes) {
                            EXPECT_EQ(*at(x, y, 3), 0) << "the fourth channel is not written";
                        }
                    }
                // Writing back what was read at the document's depth leaves the document as it was.
                if (memDepth == depth) {
                    for (size_t k = 0; k < chans.size(); ++k) {
                        FpPixelMemoryDesc d{mem.data() + k * l.planeBytes, l.rowBits, l.colBits, l.bitOffset, memDepth};
                        ASSERT_EQ(f.ports->writeBasePixels(chans[k]->writePort, &rect, &d), 0);
                    }
                    EXPECT_EQ(doc, original);
                }
            }
        }
        r.sSPBasic->releaseSuite(kFpChannelPortsSuite, 2);
    }
}

TEST(HostSession, ChannelPortsRejectBadRequests)
{
    TempFolder tmp;
    Document doc = patternDocument(8, 6, 8);
    doc.setFilterRect({1, 1, 5, 7});
    const Document original = doc;
    HostSession session(doc, in(tmp));
    FilterRecord& r = session.record();
    PortsFixture f{r, acquire<FpChannelPortsSuite2>(r, kFpChannelPortsSuite, 2)};
    FpChannelDesc* red = f.channels().at(0);
    std::vector<uint8_t> mem(1024, 0);
    const FpPixelMemoryDesc good{mem.data(), 8 * 8, 8, 0, 8};
    const FpRect32 inside{1, 1, 2, 2};
    struct Case {
        const char* what;
        FpRect32 rect;
        FpPixelMemoryDesc desc;
    } reads[] = {
        {"empty rect", {2, 2, 2, 5}, good},
        {"inverted rect", {3, 3, 1, 1}, good},
        {"outside the image", {0, 0, 7, 8}, good},
        {"negative", {-1, 0, 2, 2}, good},
        {"null memory", inside, {nullptr, 64, 8, 0, 8}},
        {"depth 12", inside, {mem.data(), 64, 8, 0, 12}},
        {"bits not bytes", inside, {mem.data(), 64, 4, 0, 8}},
        {"negative bit offset", inside, {mem.data(), 64, 8, -8, 8}},
    };
    for (const Case& c : reads) {
        EXPECT_EQ(f.ports->readPixelsFromLevel(red->port, 0, &c.rect, &c.desc), kFpBadParametersErr) << c.what;
        EXPECT_EQ(f.ports->writeBasePixels(red->writePort, &c.rect, &c.desc), kFpBadParametersErr) << c.what;
    }
    const FpRect32 outsideFilter{0, 0, 2, 2};
    EXPECT_EQ(f.ports->writeBasePixels(red->writePort, &outsideFilter, &good), kFpBadParametersErr)
        << "writes stay inside the filter rectangle";
    EXPECT_EQ(f.ports->readPixelsFromLevel(red->port, 1, &inside, &good), kFpBadParametersErr) << "level 1";
    EXPECT_EQ(f.ports->readPixelsFromLevel(red->port, 0, nullptr, &good), kFpBadParametersErr);
    EXPECT_EQ(f.ports->readPixelsFromLevel(red->port, 0, &inside, nullptr), kFpBadParametersErr);
    auto* foreign = reinterpret_cast<FpReadPort>(mem.data());
    EXPECT_EQ(f.ports->readPixelsFromLevel(foreign, 0, &inside, &good), kFpBadParametersErr);
    EXPECT_EQ(f.ports->writeBasePixels(reinterpret_cast<FpWritePort>(red->port), &inside, &good), kFpBadParametersErr)
        << "a read port is not a write port";
    int32_t levels = 0;
    EXPECT_EQ(f.ports->countLevels(red->port, &levels), 0);
    EXPECT_EQ(levels, 1);
    EXPECT_EQ(f.ports->countLevels(foreign, &levels), kFpBadParametersErr);
    EXPECT_EQ(doc, original);
    r.sSPBasic->releaseSuite(kFpChannelPortsSuite, 2);
}

TEST(HostSession, ScaledReadIsABoxAverageOrNearest)
{
    TempFolder tmp;
    // Red channel of a 4x4 16-bit document: values 0..15 times 2000.
    Document doc(4, 4, 16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            doc.at(x, y, 0) = static_cast<uint16_t>((y * 4 + x) * 2000);
    HostSession session(doc, in(tmp));
    FilterRecord& r = session.record();
    PortsFixture f{r, acquire<FpChannelPortsSuite2>(r, kFpChannelPortsSuite, 2)};
    FpReadPort red = f.channels().at(0)->port;

    auto read = [&](FpRect32 src, FpRect32 dst, int depth) {
        std::vector<uint16_t> out(36, 0xFFFF);
        FpPixelMemoryDesc d{out.data(), 6 * 16, 16, 0, 16};
        std::vector<uint8_t> out8(36, 0xFF);
        if (depth == 8)
            d = {out8.data(), 6 * 8, 8, 0, 8};
        EXPECT_EQ(f.ports->readScaledPixels(red, &src, &dst, &d), 0);
        if (depth == 8)
            return std::vector<uint16_t>(out8.begin(), out8.end());
        return out;
    };
    // 4x4 -> 2x2: each output averages a 2x2 block, rounded half up: (0+2000+8000+10000)/4 = 5000.
    auto half = read({0, 0, 4, 4}, {0, 0, 2, 2}, 16);
    EXPECT_EQ(half[0], 5000);
    EXPECT_EQ(half[1], 9000);
    EXPECT_EQ(half[6], 21000);
    EXPECT_EQ(half[7], 25000);
    EXPECT_EQ(half[2], 0xFFFF) << "nothing outside the destination rectangle";
    // Columns 0..2 (3 pixels) -> 2 pixels: spans [0,1) and [1,3); row 0 only.
    auto odd = read({0, 0, 1, 3}, {0, 0, 1, 2}, 16);
    EXPECT_EQ(odd[0], 0);
    EXPECT_EQ(odd[1], 3000); // (2000 + 4000) / 2
    // 2x2 -> 4x4 at offset (1, 1) of the destination: nearest to the upper left.
    auto big = read({0, 0, 2, 2}, {1, 1, 5, 5}, 16);
    EXPECT_EQ(big[0], 0xFFFF);
    EXPECT_EQ(big[1 * 6 + 1], 0);
    EXPECT_EQ(big[1 * 6 + 3], 2000);
    EXPECT_EQ(big[4 * 6 + 4], 10000);
    // 16-bit document read as 8-bit: average first, then (v * 255 + 16384) / 32768.
    auto small8 = read({0, 0, 4, 4}, {0, 0, 1, 1}, 8);
    EXPECT_EQ(small8[0], (15000u * 255 + 16384) / 32768);
    // Rounding half up: 1-pixel spans of 0 and 1 average to (1 + 1) / 2 = 1.
    doc.at(0, 0, 0) = 0;
    doc.at(1, 0, 0) = 1;
    EXPECT_EQ(read({0, 0, 1, 2}, {0, 0, 1, 1}, 16)[0], 1);

    const FpRect32 src{0, 0, 4, 4}, bad{-1, 0, 1, 1};
    std::vector<uint8_t> mem(16);
    const FpPixelMemoryDesc d{mem.data(), 32, 8, 0, 8};
    EXPECT_EQ(f.ports->readScaledPixels(red, &src, &bad, &d), kFpBadParametersErr);
    EXPECT_EQ(f.ports->readScaledPixels(red, &bad, &src, &d), kFpBadParametersErr);
    r.sSPBasic->releaseSuite(kFpChannelPortsSuite, 2);
}

TEST(HostSession, AdvanceStateDeliversInterleavedPlanesAndRejectsBadRequests)
{
    TempFolder tmp;
    Document doc = patternDocument(5, 4, 8);
    doc.setFilterRect({0, 1, 4, 5});
    const Document original = doc;
    HostSession session(doc, in(tmp));
    FilterRecord& r = session.record();
    r.inRect = {1, 0, 3, 5};
    r.inLoPlane = 0;
    r.inHiPlane = 2;
    ASSERT_EQ(r.advanceState(), 0);
    ASSERT_EQ(r.inRowBytes, 15);
    const auto* in = static_cast<const uint8_t*>(r.inData);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(in[y * 15 + x * 3 + c], doc.at(x, 1 + y, c));

    struct Case {
        const char* what;
        FpRect16 in, out;
        int16_t lo, hi;
        FpFixed rate;
    } cases[] = {
        {"a fourth plane", {0, 0, 1, 1}, {}, 0, 3, 0x10000},
        {"planes reversed", {0, 0, 1, 1}, {}, 2, 1, 0x10000},
        {"input beyond the image", {0, 0, 5, 5}, {}, 0, 2, 0x10000},
        {"output outside the filter rectangle", {}, {0, 0, 1, 1}, 0, 2, 0x10000},
        {"scaled input", {0, 0, 1, 1}, {}, 0, 2, 0x8000},
    };
    for (const Case& c : cases) {
        r.inRect = c.in;
        r.outRect = c.out;
        r.inLoPlane = r.outLoPlane = c.lo;
        r.inHiPlane = r.outHiPlane = c.hi;
        r.inputRate = c.rate;
        EXPECT_EQ(r.advanceState(), kFpBadParametersErr) << c.what;
    }
    r.inRect = r.outRect = FpRect16{};
    r.inputRate = 0x10000;
    EXPECT_EQ(r.advanceState(), 0);
    EXPECT_EQ(doc, original);
}

TEST(HostSession, ReadAndWriteDescriptorProcedures)
{
    TempFolder tmp;
    Document doc(2, 2, 8);
    HostSession session(doc, in(tmp));
    FilterRecord& r = session.record();
    FpDescriptorParameters* dp = r.descriptorParameters;
    ASSERT_NE(dp, nullptr);
    FpWriteDescriptor w = nullptr;
    ASSERT_EQ(dp->writeDescriptorProcs->openWriter(&w), 0);
    FpHandle text = session.makeHandle({1, 2, 3});
    EXPECT_EQ(dp->writeDescriptorProcs->putText(w, kFpKeyParameters, text), 0);
    EXPECT_EQ(dp->writeDescriptorProcs->putInteger(w, FP_FOURCC('c', 'n', 't', ' '), -7), 0);
    EXPECT_EQ(dp->writeDescriptorProcs->putText(w, kFpKeyParameters, reinterpret_cast<FpHandle>(&w)),
              kFpBadParametersErr);
    FpHandle descriptor = nullptr;
    ASSERT_EQ(dp->writeDescriptorProcs->closeWriter(w, &descriptor), 0);
    FpHandle scratch = nullptr;
    EXPECT_EQ(dp->writeDescriptorProcs->closeWriter(w, &scratch), kFpBadParametersErr) << "closed twice";

    const FpDescriptorKey onlyParm[] = {kFpKeyParameters, 0};
    FpReadDescriptor rd = nullptr;
    ASSERT_EQ(dp->readDescriptorProcs->openReader(descriptor, onlyParm, &rd), 0);
    FpDescriptorKey key;
    FpDescriptorType type;
    ASSERT_EQ(dp->readDescriptorProcs->getKey(rd, &key, &type, nullptr), 1);
    EXPECT_EQ(key, kFpKeyParameters);
    EXPECT_EQ(type, kFpTypeText);
    FpHandle got = nullptr;
    ASSERT_EQ(dp->readDescriptorProcs->getText(rd, &got), 0);
    EXPECT_EQ(session.handleBytes(got), (std::vector<uint8_t>{1, 2, 3}));
    int32_t value;
    EXPECT_EQ(dp->readDescriptorProcs->getInteger(rd, &value), kFpBadParametersErr) << "text is not an integer";
    EXPECT_EQ(dp->readDescriptorProcs->getKey(rd, &key, &type, nullptr), 0) << "only the keys asked for";
    EXPECT_EQ(dp->readDescriptorProcs->closeReader(rd), 0);
    EXPECT_EQ(dp->readDescriptorProcs->getKey(rd, &key, &type, nullptr), 0) << "closed reader";
    EXPECT_EQ(dp->readDescriptorProcs->openReader(text, nullptr, &rd), kFpBadParametersErr)
        << "a handle that holds no descriptor";
    for (FpHandle h : {text, got, descriptor})
        session.freeHandle(h);
}

} // namespace
} // namespace orvo
