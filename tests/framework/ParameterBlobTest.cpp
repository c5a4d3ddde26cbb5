#include "framework/Effect.h"
#include "framework/ParameterBlob.h"

#include "support/PresetEffects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using fxtest::KindsEffect;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes blobOf(fx::Effect& effect)
{
    Bytes bytes(fx::blobSize(effect));
    fx::writeBlob(effect, bytes.data());
    return bytes;
}

// Little-endian writers for assembling blobs by hand.
void put32(Bytes& b, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
void put64(Bytes& b, std::size_t at, uint64_t bits)
{
    for (int i = 0; i < 8; ++i)
        b[at + i] = static_cast<unsigned char>(bits >> (8 * i));
}
void putText(Bytes& b, std::size_t at, const char* text)
{
    std::memcpy(&b[at], text, std::strlen(text));
}

void setSample(KindsEffect& e)
{
    e.table[KindsEffect::Amount].range.current = 25.5;
    e.table[KindsEffect::Active].boolean.current = 0;
    e.table[KindsEffect::Mode].list.current = 2;
    double* tint = e.table[KindsEffect::Tint].color.current;
    tint[0] = 0.25, tint[1] = 0.5, tint[2] = 0.75;
    double* centre = e.table[KindsEffect::Center].point.current;
    centre[0] = -0.125, centre[1] = 0.375;
    e.table[KindsEffect::Texture].setImagePath("/tex/grain.png");
}

// The blob of setSample's values, assembled field by field.
Bytes handAssembledSample()
{
    Bytes b(52 + 152 * 10, 0);
    put32(b, 0, 1);
    putText(b, 4, "Orvo Test Kinds");
    put32(b, 44, 10);
    put32(b, 48, 152);
    struct Record { uint32_t kind; const char* key; };
    const Record records[10] = {{1, "input"}, {2, "kAmount"}, {3, "kActive"}, {4, "kMode"},
                                {5, "kTint"}, {6, "kCenter"}, {7, "kGroup"}, {10, "kTexture"},
                                {9, "kPresets"}, {8, ""}};
    for (std::size_t i = 0; i < 10; ++i) {
        put32(b, 52 + 152 * i, records[i].kind);
        putText(b, 52 + 152 * i + 4, records[i].key);
    }
    const auto value = [](std::size_t i) { return 52 + 152 * i + 88; };
    put64(b, value(1), 0x4039800000000000);        // 25.5
    b[value(2)] = 0;                                // off
    put32(b, value(3), 2);
    put64(b, value(4), 0x3FD0000000000000);        // 0.25
    put64(b, value(4) + 8, 0x3FE0000000000000);    // 0.5
    put64(b, value(4) + 16, 0x3FE8000000000000);   // 0.75
    put64(b, value(5), 0xBFC0000000000000);        // -0.125
    put64(b, value(5) + 8, 0x3FD8000000000000);    // 0.375
    putText(b, value(7), "/tex/grain.png");
    return b;
}

TEST(ParameterBlob, LayoutMatchesHandAssembledBytes)
{
    KindsEffect e;
    setSample(e);
    EXPECT_EQ(blobOf(e), handAssembledSample());

    fx::OwnedHandle h(fx::heapHandles(), fx::makeBlob(e, fx::heapHandles()));
    ASSERT_TRUE(h);
    ASSERT_EQ(fx::heapHandles().size(h.get()), 52u + 152 * 10);
    fx::HandleLock lock(fx::heapHandles(), h.get());
    const auto* bytes = static_cast<const unsigned char*>(lock.bytes());
    EXPECT_EQ(Bytes(bytes, bytes + 52 + 152 * 10), handAssembledSample());
}

TEST(ParameterBlob, HandAssembledBlobAppliesEveryKindWithoutClamping)
{
    Bytes b = handAssembledSample();
    put64(b, 52 + 152 * 1 + 88, 0x4069000000000000);   // Amount 200: beyond its maximum of 100
    put32(b, 52 + 152 * 3 + 88, 7);                     // Mode 7 of 3 items
    b[52 + 152 * 2 + 88] = 5;                           // a Boolean byte other than 0 or 1
    KindsEffect e;
    ASSERT_TRUE(fx::applyBlob(e, b.data(), b.size()));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 200.0);
    EXPECT_EQ(e.valueAsBool(KindsEffect::Active), 5);
    EXPECT_EQ(e.valueAsInt(KindsEffect::Mode), 7);
    EXPECT_EQ(e.colorValue(KindsEffect::Tint).b, 0.75);
    EXPECT_EQ(e.pointValue(KindsEffect::Center).x, -0.125);
    EXPECT_STREQ(e.imageFilePath(KindsEffect::Texture), "/tex/grain.png");

    // An empty path text clears the path.
    std::memset(&b[52 + 152 * 7 + 88], 0, 64);
    ASSERT_TRUE(fx::applyBlob(e, b.data(), b.size()));
    EXPECT_EQ(e.imageFilePath(KindsEffect::Texture), nullptr);
}

TEST(ParameterBlob, WrongOrDamagedBlobChangesNothing)
{
    KindsEffect source;
    setSample(source);
    const Bytes good = blobOf(source);

    struct Case { const char* what; Bytes bytes; };
    std::vector<Case> cases;
    const auto changed = [&](const char* what, auto edit) {
        Bytes b = good;
        edit(b);
        cases.push_back({what, b});
    };
    changed("other title", [](Bytes& b) { putText(b, 4, "Orvo Test Kindz"); });
    changed("title prefix", [](Bytes& b) { b[4 + 14] = 0; });
    changed("title without terminator", [](Bytes& b) { std::memset(&b[4], 'K', 40); });
    changed("count", [](Bytes& b) { put32(b, 44, 9); });
    changed("record size", [](Bytes& b) { put32(b, 48, 148); });
    changed("one byte short", [](Bytes& b) { b.pop_back(); });
    changed("header only", [](Bytes& b) { b.resize(52); });
    changed("partial header", [](Bytes& b) { b.resize(51); });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KindsEffect e;
        const Bytes before = blobOf(e);
        EXPECT_FALSE(fx::applyBlob(e, c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(blobOf(e), before);
    }
    KindsEffect e;
    EXPECT_FALSE(fx::applyBlob(e, nullptr, 0));
    // Extra bytes after the records do not matter.
    Bytes longer = good;
    longer.resize(good.size() + 10, 0xEE);
    EXPECT_TRUE(fx::applyBlob(e, longer.data(), longer.size()));
    EXPECT_EQ(blobOf(e), good);
}

TEST(ParameterBlob, RecordsWhoseKindOrKeyDifferAreSkipped)
{
    KindsEffect source;
    setSample(source);
    Bytes b = blobOf(source);
    putText(b, 52 + 152 * 1 + 4, "kAmounT");       // key differs
    put32(b, 52 + 152 * 3, 2);                      // kind differs (Range where a List is)
    b[52 + 152 * 5 + 4 + 7] = 'X';                  // key longer than the parameter's: "kCenterX"

    KindsEffect e;
    EXPECT_TRUE(fx::applyBlob(e, b.data(), b.size()));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 50.0);
    EXPECT_EQ(e.valueAsInt(KindsEffect::Mode), 0);
    EXPECT_EQ(e.pointValue(KindsEffect::Center).x, 0.0);
    EXPECT_EQ(e.valueAsBool(KindsEffect::Active), 0);
    EXPECT_EQ(e.colorValue(KindsEffect::Tint).r, 0.25);
    EXPECT_STREQ(e.imageFilePath(KindsEffect::Texture), "/tex/grain.png");
}

TEST(ParameterBlob, LongTextsAreCutToTheirFields)
{
    fxtest::LongTitleKindsEffect e;
    const std::string path70(70, 'p');
    const std::string key100 = "k" + std::string(99, 'y');
    e.table[KindsEffect::Texture].setImagePath(path70.c_str());
    e.table[KindsEffect::Amount].setKey(key100.c_str());
    e.table[KindsEffect::Amount].range.current = 12;
    const Bytes b = blobOf(e);

    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4])), std::string(fxtest::kLongKindsTitle, 39));
    EXPECT_EQ(b[4 + 39], 0);
    const std::size_t amount = 52 + 152 * 1, texture = 52 + 152 * 7;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[amount + 4])), key100.substr(0, 83));
    EXPECT_EQ(b[amount + 4 + 83], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[texture + 88])), path70.substr(0, 63));
    EXPECT_EQ(b[texture + 151], 0);

    // The cut blob still belongs to the effect that wrote it.
    fxtest::LongTitleKindsEffect other;
    other.table[KindsEffect::Amount].setKey(key100.c_str());
    ASSERT_TRUE(fx::applyBlob(other, b.data(), b.size()));
    EXPECT_EQ(other.valueAsDouble(KindsEffect::Amount), 12.0);
    EXPECT_EQ(std::string(other.imageFilePath(KindsEffect::Texture)), path70.substr(0, 63));

    // A path field filled to its last byte by another writer still yields at most 63 characters.
    Bytes full = b;
    std::memset(&full[texture + 88], 'q', 64);
    ASSERT_TRUE(fx::applyBlob(other, full.data(), full.size()));
    EXPECT_EQ(std::string(other.imageFilePath(KindsEffect::Texture)), std::string(63, 'q'));
}

// Handle procedures that refuse every allocation.
struct NoMemoryHandles final : fx::HandleProcs {
    fx::Handle allocate(std::size_t) override { return nullptr; }
    void dispose(fx::Handle) override {}
    std::size_t size(fx::Handle) override { return 0; }
    void* lock(fx::Handle) override { return nullptr; }
    void unlock(fx::Handle) override {}
};

TEST(ParameterBlob, VersionedBlobsAndHandles)
{
    KindsEffect source;
    setSample(source);
    fx::HandleProcs& heap = fx::heapHandles();
    fx::OwnedHandle h(heap, fx::makeBlob(source, heap));
    ASSERT_TRUE(h);

    KindsEffect e;
    EXPECT_TRUE(fx::applyVersionedBlob(e, h.get(), heap));
    EXPECT_EQ(blobOf(e), blobOf(source));

    KindsEffect fresh;
    const Bytes defaults = blobOf(fresh);
    {
        fx::HandleLock lock(heap, h.get());
        static_cast<unsigned char*>(lock.bytes())[0] = 2;
    }
    EXPECT_FALSE(fx::applyVersionedBlob(fresh, h.get(), heap));
    EXPECT_EQ(blobOf(fresh), defaults);
    EXPECT_FALSE(fx::applyVersionedBlob(fresh, nullptr, heap));

    // A handle shorter than its header claims.
    fx::OwnedHandle shortHandle(heap, heap.allocate(100));
    {
        fx::HandleLock lock(heap, shortHandle.get());
        std::memcpy(lock.bytes(), defaults.data(), 100);
    }
    EXPECT_FALSE(fx::applyVersionedBlob(fresh, shortHandle.get(), heap));

    NoMemoryHandles none;
    EXPECT_EQ(fx::makeBlob(source, none), nullptr);
}

TEST(ParameterBlob, HostHandlesDefaultToTheHeap)
{
    NoMemoryHandles none;
    EXPECT_EQ(&fx::hostHandles(), &fx::heapHandles());
    fx::setHostHandles(&none);
    KindsEffect e;
    EXPECT_EQ(fx::makeBlob(e), nullptr);
    fx::setHostHandles(nullptr);
    fx::OwnedHandle h(fx::hostHandles(), fx::makeBlob(e));
    EXPECT_TRUE(h);
}

} // namespace
