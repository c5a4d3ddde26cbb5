// The bridge as the host sees it: the test module loaded by path and run through the selector
// sequence of the host core.

#include "BridgeTestSupport.h"

#include "app/core/Module.h"
#include "platform/ModuleResources.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using namespace bridgetest;
using orvo::Descriptor;
using orvo::HostOptions;
using orvo::HostSession;
using orvo::Module;
using orvo::RunOptions;
using orvo::RunResult;
using orvo::test::patternDocument;
using orvo::test::TempFolder;

const std::filesystem::path kModule = ORVO_BRIDGE_TEST_MODULE;
const char* const kLevelGuid = "4f42b16e-5083-41b2-9e95-7350afc24155";

// The module, loaded once, and its test controls.
struct TestModule {
    std::unique_ptr<Module> module = Module::load(kModule);
    void* handle = dlopen(module->path().c_str(), RTLD_NOW | RTLD_NOLOAD);
    template <class F>
    F* control(const char* name) const
    {
        return reinterpret_cast<F*>(dlsym(handle, name));
    }
    void setDialog(int mode, double level = 0) const { control<void(int, double)>("orvo_test_setDialog")(mode, level); }
    int dialogCalls() const { return control<int()>("orvo_test_dialogCalls")(); }
    int aboutCalls() const { return control<int()>("orvo_test_aboutCalls")(); }
    int liveInstances() const { return control<int()>("orvo_test_liveInstances")(); }
    ~TestModule()
    {
        if (handle)
            dlclose(handle);
    }
};

const TestModule& testModule()
{
    static TestModule m;
    return m;
}

class Bridge : public ::testing::Test {
protected:
    void SetUp() override { testModule().setDialog(0); }

    struct Run {
        RunResult result;
        orvo::Document document;
        int progressCalls = 0;
        int32_t tiles = 0;
        size_t liveBuffers = 0;
        int32_t outstandingSuites = 0;
    };

    // Runs a filter over a copy of document.
    Run run(const std::string& filter, const orvo::Document& document, HostOptions options = {},
            const RunOptions& runOptions = {}, const std::function<void(HostSession&)>& prepare = {})
    {
        Run out{{}, document};
        // Each run starts with an empty registry unless the test stores entries itself.
        options.registryFolder = tmp.path / std::to_string(++runs);
        options.progress = [&](int32_t done, int32_t total) {
            ++out.progressCalls;
            out.tiles = total;
            EXPECT_EQ(done, out.progressCalls);
        };
        HostSession session(out.document, options);
        if (prepare)
            prepare(session);
        out.result = orvo::runFilter(session, *testModule().module, "PIMAIN_" + filter, runOptions);
        out.liveBuffers = session.liveBuffers();
        out.outstandingSuites = session.outstandingSuites();
        lastParameters = session.handleBytes(session.filterState("PIMAIN_" + filter).parameters);
        const orvo::Descriptor* stored = session.registry().find(kLevelGuid);
        const orvo::DescriptorItem* item = stored ? stored->find(kFpKeyParameters) : nullptr;
        lastRegistry = item ? std::optional(item->bytes) : std::nullopt;
        EXPECT_EQ(testModule().liveInstances(), 0);
        return out;
    }

    TempFolder tmp;
    int runs = 0;
    std::optional<std::vector<uint8_t>> lastParameters;
    std::optional<std::vector<uint8_t>> lastRegistry;
};

HostOptions tiles(int16_t height, bool suites = true)
{
    HostOptions o;
    o.tileHeight = height;
    o.tileWidth = height ? 512 : 0;
    if (!suites)
        o.withheldSuites = {kFpBufferSuite};
    return o;
}

TEST_F(Bridge, BandsWithBordersMatchOneTileOverBothTransports)
{
    auto border = makeEffect<BorderEffect>();
    struct Case {
        const char* what;
        int width, height, depth;
        int16_t tileHeight;
        double radius;
        int32_t tiles;
    } cases[] = {
        {"host tile 0: 256-row bands", 40, 600, 8, 0, 3, 3},
        {"64-row bands with a 3-row border", 50, 200, 8, 64, 3, 4},
        {"a border that pads the band to the whole image", 30, 100, 8, 64, 20, 1},
        {"16-bit bands", 40, 150, 16, 32, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        border->parameterAt(BorderEffect::Radius)->range.current = c.radius;
        const auto source = patternDocument(c.width, c.height, c.depth, 7);
        const auto expected = renderInMemory(*border, source);
        // Parameters take the radius from the handle the host keeps.
        const auto blob = blobOf(*border);
        for (bool suites : {true, false}) {
            if (c.depth == 16 && !suites)
                continue;
            SCOPED_TRACE(suites ? "suites" : "advance state");
            Run r = run("Border", source, tiles(c.tileHeight, suites), {},
                        [&](HostSession& s) { s.filterState("PIMAIN_Border").parameters = s.makeHandle(blob); });
            ASSERT_EQ(r.result.result, kFpNoErr) << r.result.message;
            EXPECT_EQ(r.tiles, c.tiles);
            EXPECT_EQ(r.progressCalls, c.tiles);
            EXPECT_TRUE(r.document == expected);
            for (int y = 0, shown = 0; y < c.height && shown < 5; ++y)
                for (int x = 0; x < c.width && shown < 5; ++x)
                    if (r.document.at(x, y, 0) != expected.at(x, y, 0))
                        ADD_FAILURE() << "first difference at " << x << "," << y << ": " << r.document.at(x, y, 0)
                                      << " vs " << expected.at(x, y, 0) << " source " << source.at(x, y, 0), ++shown;
            EXPECT_EQ(r.liveBuffers, 0u);
            EXPECT_EQ(r.outstandingSuites, 0);
        }
    }
}

TEST_F(Bridge, AFilterRectangleSmallerThanTheTileIsOneBand)
{
    auto source = patternDocument(64, 80, 8, 3);
    source.setFilterRect({10, 5, 50, 45});
    for (bool suites : {true, false}) {
        Run r = run("Level", source, tiles(128, suites));
        ASSERT_EQ(r.result.result, kFpNoErr) << r.result.message;
        EXPECT_EQ(r.tiles, 1);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inside = y >= 10 && y < 50 && x >= 5 && x < 45;
                EXPECT_EQ(r.document.at(x, y, 0), inside ? 50 : source.at(x, y, 0)) << x << "," << y;
                EXPECT_EQ(r.document.at(x, y, 2), source.at(x, y, 2));
            }
    }
}

TEST_F(Bridge, AFailingTileIsBlankedAndTheRunGoesOn)
{
    const auto source = patternDocument(30, 200, 8, 5);
    for (bool suites : {true, false}) {
        Run r = run("Throw", source, tiles(64, suites));
        ASSERT_EQ(r.result.result, kFpNoErr);
        EXPECT_EQ(r.tiles, 4);
        for (int y = 0; y < 200; ++y)
            for (int c = 0; c < 3; ++c) {
                const uint16_t want = y >= 64 && y < 128 ? 0 : 255 - source.at(7, y, c);
                ASSERT_EQ(r.document.at(7, y, c), want) << "row " << y;
            }
    }
}

TEST_F(Bridge, SourceAtReadsAheadAndTheTileIsRequestedAgain)
{
    for (int depth : {8, 16}) {
        const auto source = patternDocument(20, 150, depth, 9);
        for (bool suites : {true, false}) {
            if (depth == 16 && !suites)
                continue;
            SCOPED_TRACE(std::to_string(depth) + (suites ? " suites" : " advance state"));
            Run r = run("Lookahead", source, tiles(32, suites));
            ASSERT_EQ(r.result.result, kFpNoErr) << r.result.message;
            for (int y = 0; y < 150; ++y)
                for (int x = 0; x < 20; x += 7)
                    ASSERT_EQ(r.document.at(x, y, 1), source.at(x, std::min(y + 40, 149), 1)) << x << "," << y;
            EXPECT_EQ(r.liveBuffers, 0u);
        }
    }
}

TEST_F(Bridge, AnInactiveEffectLeavesTheDocumentAsItWas)
{
    for (int depth : {8, 16}) {
        const auto source = patternDocument(33, 90, depth, 11);
        Run r = run("Inactive", source, tiles(16));
        ASSERT_EQ(r.result.result, kFpNoErr);
        EXPECT_TRUE(r.document == source);
        EXPECT_EQ(r.tiles, 6);
    }
}

TEST_F(Bridge, SixteenBitWithoutTheSuitesFailsWithAMessage)
{
    const auto source = patternDocument(10, 10, 16, 1);
    Run r = run("Level", source, tiles(0, false));
    EXPECT_EQ(r.result.result, kFpErrorStringErr);
    EXPECT_NE(r.result.message.find("16-bit"), std::string::npos) << r.result.message;
    EXPECT_TRUE(r.document == source);
    EXPECT_EQ(r.liveBuffers, 0u);
}

// Which values the final render uses: parameters handle < registry < script < dialog.
TEST_F(Bridge, ParameterPrecedenceAndTheDialogDecision)
{
    constexpr double None = -1;
    struct Case {
        const char* what;
        double registry;
        int32_t registryVersion;
        double script;
        int32_t scriptVersion;
        int16_t playInfo;
        int dialogMode;
        int expectedLevel;
        int expectedView;
        int dialogCalls;
    } cases[] = {
        {"parameters handle alone", None, 1, None, 1, kFpDialogDisplay, 0, 5, 0, 1},
        {"registry over the handle", 10, 1, None, 1, kFpDialogDisplay, 0, 10, 0, 1},
        {"registry data needs no version", 10, 7, None, 1, kFpDialogDisplay, 0, 10, 0, 1},
        {"script over the registry", 10, 1, 20, 1, kFpDialogDisplay, 0, 20, 0, 1},
        {"a script blob of another version is ignored", 10, 1, 20, 2, kFpDialogDisplay, 0, 10, 0, 1},
        {"dialog over the script; accepting resets the view", 10, 1, 20, 1, kFpDialogDisplay, 1, 30, 0, 1},
        {"a silent script runs without the dialog", 10, 1, 20, 1, kFpDialogSilent, 1, 20, 0, 0},
        {"an optional script runs without the dialog", None, 1, 20, 1, kFpDialogOptional, 1, 20, 0, 0},
    };
    const auto source = patternDocument(12, 20, 8, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testModule().setDialog(c.dialogMode, 30);
        const int callsBefore = testModule().dialogCalls();
        Descriptor script;
        script.put(kFpKeyParameters, kFpTypeText, levelBlob(c.script, c.scriptVersion));
        RunOptions ro;
        if (c.script != None) {
            ro.playScript = &script;
            ro.playInfo = c.playInfo;
        }
        Run r = run("Level", source, tiles(8), ro, [&](HostSession& s) {
            s.filterState("PIMAIN_Level").parameters = s.makeHandle(levelBlob(5));
            if (c.registry != None) {
                Descriptor stored;
                stored.put(kFpKeyParameters, FP_FOURCC('t', 'd', 't', 'a'), levelBlob(c.registry, c.registryVersion));
                s.registry().put(kLevelGuid, stored, false);
            }
        });
        ASSERT_EQ(r.result.result, kFpNoErr) << r.result.message;
        EXPECT_EQ(r.document.at(3, 4, 0), c.expectedLevel);
        EXPECT_EQ(r.document.at(3, 4, 1), c.expectedView);
        EXPECT_EQ(testModule().dialogCalls() - callsBefore, c.dialogCalls);
        // Finish leaves the final values in the registry and the recorded script.
        ASSERT_TRUE(lastRegistry);
        EXPECT_EQ(levelOf(*lastRegistry), c.expectedLevel);
        ASSERT_TRUE(r.result.recorded);
        const orvo::DescriptorItem* recorded = r.result.recorded->find(kFpKeyParameters);
        ASSERT_TRUE(recorded);
        EXPECT_EQ(recorded->type, kFpTypeText);
        EXPECT_EQ(levelOf(recorded->bytes), c.expectedLevel);
        EXPECT_EQ(r.result.recordInfo, kFpDialogOptional);
    }
}

TEST_F(Bridge, TheDialogShowsOnceForARepeatWithoutParameters)
{
    const auto source = patternDocument(8, 8, 8, 2);
    const int before = testModule().dialogCalls();
    RunOptions repeat;
    repeat.parameters = false;
    TempFolder registry;
    HostOptions options;
    options.registryFolder = registry.path;
    auto document = source;
    HostSession session(document, options);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(orvo::runFilter(session, *testModule().module, "PIMAIN_Level", repeat).result, kFpNoErr);
    EXPECT_EQ(testModule().dialogCalls() - before, 1);
    ASSERT_EQ(orvo::runFilter(session, *testModule().module, "PIMAIN_Level").result, kFpNoErr);
    EXPECT_EQ(testModule().dialogCalls() - before, 2);
}

TEST_F(Bridge, CancellingTheDialogLeavesTheImageAlone)
{
    testModule().setDialog(2);
    const auto source = patternDocument(16, 16, 8, 4);
    Run r = run("Level", source, tiles(8));
    EXPECT_EQ(r.result.result, kFpUserCanceledErr);
    EXPECT_EQ(r.result.selector, kFpSelectorStart);
    EXPECT_EQ(r.progressCalls, 0);
    EXPECT_TRUE(r.document == source);
}

TEST_F(Bridge, AbortStopsTheBandsAndStillReplacesTheParameters)
{
    testModule().setDialog(1, 77);
    const auto source = patternDocument(16, 64, 8, 4);
    HostOptions options = tiles(16);
    int polls = 0;
    options.abort = [&] { return ++polls == 2; };
    std::vector<uint8_t> before = levelBlob(5);
    Run r = run("Level", source, options, {}, [&](HostSession& s) {
        s.filterState("PIMAIN_Level").parameters = s.makeHandle(before);
    });
    EXPECT_EQ(r.result.result, kFpUserCanceledErr);
    EXPECT_EQ(r.progressCalls, 2);
    EXPECT_EQ(polls, 2);
    ASSERT_TRUE(lastParameters);
    EXPECT_EQ(levelOf(*lastParameters), 77);
    EXPECT_EQ(r.liveBuffers, 0u);
    EXPECT_EQ(r.outstandingSuites, 0);
}

TEST_F(Bridge, AboutUnknownSelectorsAndMissingEffects)
{
    auto document = patternDocument(8, 8, 8, 1);
    const auto source = document;
    TempFolder registry;
    HostOptions options;
    options.registryFolder = registry.path;
    HostSession session(document, options);
    const Module& m = *testModule().module;

    // About shows the box only on the entry point that carries it.
    const int about = testModule().aboutCalls();
    RunOptions aboutOnly;
    aboutOnly.about = true;
    EXPECT_EQ(orvo::runFilter(session, m, "PIMAIN_Border", aboutOnly).result, kFpNoErr);
    EXPECT_EQ(testModule().aboutCalls(), about);
    EXPECT_EQ(orvo::runFilter(session, m, "PIMAIN_Level", aboutOnly).result, kFpNoErr);
    EXPECT_EQ(testModule().aboutCalls(), about + 1);

    // Selectors past Finish change nothing.
    for (int16_t selector : {int16_t{6}, int16_t{42}, int16_t{-1}}) {
        intptr_t data = 0;
        int16_t result = 99;
        m.entry("PIMAIN_Level")(selector, &session.record(), &data, &result);
        EXPECT_EQ(result, kFpNoErr);
        EXPECT_EQ(data, 0);
    }
    EXPECT_EQ(session.liveHandles(), 0u);
    EXPECT_TRUE(document == source);

    // An entry point whose effect is not registered fails every selector with a message.
    RunResult missing = orvo::runFilter(session, m, "PIMAIN_Missing");
    EXPECT_EQ(missing.result, kFpErrorStringErr);
    EXPECT_EQ(missing.selector, kFpSelectorParameters);
    EXPECT_NE(missing.message.find("\"Missing\" is not available"), std::string::npos) << missing.message;
}

TEST_F(Bridge, ExceptionTextIsCutTo255Characters)
{
    auto e = makeEffect<ThrowEffect>();
    e->parameterAt(ThrowEffect::FailBegin)->boolean.current = 1;
    const auto blob = blobOf(*e);
    const auto source = patternDocument(8, 8, 8, 1);
    Run r = run("Throw", source, {}, {}, [&](HostSession& s) {
        s.filterState("PIMAIN_Throw").parameters = s.makeHandle(blob);
    });
    EXPECT_EQ(r.result.result, kFpErrorStringErr);
    EXPECT_EQ(r.result.selector, kFpSelectorStart);
    ASSERT_EQ(r.result.message.size(), 255u);
    EXPECT_EQ(r.result.message.rfind("begin failed: xxx", 0), 0u);
    EXPECT_EQ(r.liveBuffers, 0u);
}

} // namespace

namespace {

// The shipped modules load in the host and run their registered effects; the modules whose effect
// is not built yet answer with a message.
TEST(Modules, TheThreeModulesLoadAndAnswer)
{
    TempFolder tmp;
    HostOptions options;
    options.registryFolder = tmp.path;
    auto document = patternDocument(24, 40, 8, 3);
    const auto source = document;
    HostSession session(document, options);

    auto orvoModule = Module::load(ORVO_MODULE_ORVO);
    EXPECT_EQ(orvoModule->filters().size(), 62u);
    RunResult blur = orvo::runFilter(session, *orvoModule, "PIMAIN_FastBlur");
    ASSERT_EQ(blur.result, kFpNoErr) << blur.message;
    EXPECT_FALSE(document == source);
    ASSERT_TRUE(blur.recorded);
    EXPECT_TRUE(blur.recorded->find(kFpKeyParameters));

    RunResult missing = orvo::runFilter(session, *orvoModule, "PIMAIN_Glow");
    EXPECT_EQ(missing.result, kFpErrorStringErr);
    EXPECT_NE(missing.message.find("\"Glow\" is not available"), std::string::npos) << missing.message;

    for (auto [file, entry, name] : {std::tuple{ORVO_MODULE_ZOR2, "PIMAIN_Lumenvat", "\"ZOR2\""},
                                     std::tuple{ORVO_MODULE_BEAMWORK2, "PIMAIN_Light", "\"Light\""}}) {
        auto module = Module::load(file);
        RunResult r = orvo::runFilter(session, *module, entry);
        EXPECT_EQ(r.result, kFpErrorStringErr);
        EXPECT_NE(r.message.find(name), std::string::npos) << r.message;
    }
    EXPECT_EQ(session.liveBuffers(), 0u);
}

} // namespace
