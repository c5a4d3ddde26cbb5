// The transports and the preview render, driven in process over the host core's filter record.

#include "BridgeTestSupport.h"

#include "app/core/HostSession.h"
#include "host/PSHost.h"
#include "host/PSRenderInfo.h"
#include "imaging/resample/Resample.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

namespace {

using namespace bridgetest;
using orvo::HostOptions;
using orvo::HostSession;
using orvo::host::HostImage;
using orvo::host::HostPixelBuffer;
using orvo::host::PS_RenderDriver;
using orvo::test::patternDocument;
using orvo::test::TempFolder;

HostOptions options(const TempFolder& tmp, bool suites)
{
    HostOptions o;
    o.registryFolder = tmp.path;
    if (!suites)
        o.withheldSuites = {kFpBufferSuite};
    return o;
}

TEST(Transport, FourthChannelIs255OverAdvanceStateAnd0OverTheSuites)
{
    TempFolder tmp;
    auto document = patternDocument(9, 7, 8, 3);
    for (bool suites : {true, false}) {
        HostSession session(document, options(tmp, suites));
        HostImage image(session.record());
        EXPECT_EQ(image.suiteTransport(), suites);
        EXPECT_EQ(image.channelCount(), 3);
        const fx::Rect rect{2, 1, 6, 8};
        auto buffer = image.allocate(rect, 3, 1, kFpModeRGB);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->channels, 4);
        EXPECT_EQ(image.bytesAllocated(), 4 * 7 * 4);
        image.request(rect, {});
        image.readRect(*buffer, rect);
        for (int y = 0; y < rect.height(); ++y)
            for (int x = 0; x < rect.width(); ++x) {
                const uint8_t* p = buffer->row(y) + 4 * x;
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(p[c], document.at(rect.left + x, rect.top + y, c));
                ASSERT_EQ(p[3], suites ? 0 : 255);
            }
        image.request({}, {});
        buffer.reset();
        EXPECT_EQ(image.bytesAllocated(), 0);
        EXPECT_EQ(session.liveBuffers(), 0u);
        EXPECT_EQ(session.outstandingSuites(), 0);
    }
}

TEST(Transport, ResolvePathJoinsThePluginFolder)
{
    auto& host = orvo::host::PS_Host::instance();
    EXPECT_EQ(fx::host(), &host);
    host.setPluginPath("/opt/orvo/plug-ins/Orvo.so");
    EXPECT_EQ(host.resolvePath("QEV Orvo", "Textures", "paper.jpg"), "/opt/orvo/plug-ins/Textures/paper.jpg");
    EXPECT_EQ(host.resolvePath(nullptr, "Presets", nullptr), "/opt/orvo/plug-ins/Presets/");
}

// The preview destination the viewer hands in: 8-bit pixels of the view's size.
struct Preview {
    HostSession session;
    PS_RenderDriver driver;
    orvo::host::HostBufferPtr destination;
    Preview(orvo::Document& d, const HostOptions& o, fx::Effect& effect, fx::Rect size)
        : session(d, o), driver(session.record(), effect, true),
          destination(driver.image().allocate(size, 4, 1, kFpModeRGB))
    {
    }
    uint8_t at(int x, int y, int c) const { return destination->row(y)[4 * x + c]; }
};

TEST(Preview, WholeViewAtHalfZoomIsRenderedFromACachedSource)
{
    TempFolder tmp;
    auto document = patternDocument(40, 30, 8, 5);
    const auto original = document;
    auto invert = makeEffect<fxtest::InvertEffect>();
    Preview p(document, options(tmp, true), *invert, {0, 0, 15, 20});
    ASSERT_TRUE(p.driver.renderPreview({0, 0, 15, 20}, 0.5f, *p.destination, false));
    // Each preview pixel is the inverted, rounded average of a 2 x 2 block.
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sum = original.at(2 * x, 2 * y, c) + original.at(2 * x + 1, 2 * y, c) +
                                original.at(2 * x, 2 * y + 1, c) + original.at(2 * x + 1, 2 * y + 1, c);
                ASSERT_EQ(p.at(x, y, c), 255 - (sum + 2) / 4) << x << "," << y;
            }
    EXPECT_EQ(invert->lastTileRect, (fx::Rect{0, 0, 15, 20}));
    EXPECT_EQ(p.driver.info().imageHeight, 15);
    EXPECT_EQ(p.driver.info().previewSourceReads, 1);

    // A repaint of the same size renders again from the cache: a changed document does not show.
    document.at(0, 0, 0) = static_cast<uint16_t>(original.at(0, 0, 0) ^ 0x80);
    const uint8_t first = p.at(0, 0, 0);
    invert->parameterAt(fxtest::InvertEffect::Active)->boolean.current = 0;
    ASSERT_TRUE(p.driver.renderPreview({0, 0, 15, 20}, 0.5f, *p.destination, false));
    EXPECT_EQ(p.driver.info().previewSourceReads, 1);
    EXPECT_EQ(p.at(0, 0, 0), 255 - first);  // inactive now: the cached source itself

    // Another destination size reads the source again.
    auto larger = p.driver.image().allocate({0, 0, 20, 25}, 4, 1, kFpModeRGB);
    ASSERT_TRUE(p.driver.renderPreview({0, 0, 15, 20}, 0.5f, *larger, false));
    EXPECT_EQ(p.driver.info().previewSourceReads, 2);
    p.driver.driver().end();
    larger.reset();
    p.destination.reset();
    EXPECT_EQ(p.session.liveBuffers(), 0u);
}

TEST(Preview, ZoomedInViewRepeatsSourcePixelsAndKeepsBorders)
{
    TempFolder tmp;
    auto document = patternDocument(30, 20, 16, 8);
    auto shift = makeEffect<fxtest::ShiftUpEffect>();
    Preview p(document, options(tmp, true), *shift, {0, 0, 9, 12});
    const fx::Rect view{6, 4, 15, 16};  // inside the image scaled by 2
    ASSERT_TRUE(p.driver.renderPreview(view, 2.0f, *p.destination, false));
    // Every output row takes the scaled row below it, the border row included: 16-bit samples
    // arrive as 8-bit.
    auto scaled8 = [&](int sx, int sy, int c) { return (document.at(sx / 2, sy / 2, c) * 255 + 16384) / 32768; };
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            ASSERT_EQ(p.at(x, y, 1), scaled8(view.left + x, view.top + y + 1, 1)) << x << "," << y;
    EXPECT_EQ(p.driver.info().previewSourceReads, 0);

    // Without borders the view shows the source.
    const fx::Rect plain{6, 4, 14, 16};
    ASSERT_TRUE(p.driver.renderPreview(plain, 2.0f, *p.destination, true));
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            ASSERT_EQ(p.at(x, y, 0), scaled8(plain.left + x, plain.top + y, 0)) << x << "," << y;
}

TEST(Preview, AdvanceStateScaledReadIsTheTriangleZoomOfTheDocument)
{
    TempFolder tmp;
    auto document = patternDocument(50, 700, 8, 12);  // taller than one 512-row read band
    auto invert = makeEffect<fxtest::InvertEffect>();
    Preview p(document, options(tmp, false), *invert, {0, 0, 350, 25});
    ASSERT_TRUE(p.driver.renderPreview({0, 0, 350, 25}, 0.5f, *p.destination, false));

    fx::ImageRef source = toImage(document);
    for (int y = 0; y < source->height; ++y)
        for (int x = 0; x < source->width; ++x)
            source->row(y)[4 * x + 3] = 255;
    fx::ImageRef zoomed = fx::makeImage(25, 350, 4, 1);
    imaging::ImageRowAccess from(*source), to(*zoomed);
    const auto& triangle = *imaging::findFilter("triangle");
    imaging::zoomRect(from, {0, 0, 49, 699}, to, {0, 0, 24, 349}, triangle, triangle);
    for (int y = 0; y < 350; ++y)
        for (int x = 0; x < 25; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(p.at(x, y, c), 255 - zoomed->row(y)[4 * x + c]) << x << "," << y;
    p.driver.driver().end();
    p.destination.reset();
    EXPECT_EQ(p.session.liveBuffers(), 0u);
    EXPECT_EQ(p.session.outstandingSuites(), 0);
}

TEST(Preview, AFailingRenderClearsTheDestination)
{
    TempFolder tmp;
    auto document = patternDocument(20, 20, 8, 1);
    auto failing = makeEffect<fxtest::ThrowingEffect>();
    Preview p(document, options(tmp, true), *failing, {0, 0, 20, 20});
    std::memset(p.destination->data, 0x5a, p.destination->byteSize());
    EXPECT_FALSE(p.driver.renderPreview({0, 0, 20, 20}, 1.0f, *p.destination, false));
    EXPECT_EQ(p.at(3, 3, 0), 0);
    EXPECT_EQ(p.at(19, 19, 2), 0);
}

} // namespace
