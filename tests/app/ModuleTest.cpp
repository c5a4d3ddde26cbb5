#include "app/core/Module.h"

#include "HostTestSupport.h"
#include "platform/ModuleResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvo {
namespace {

using test::patternDocument;
using test::TempFolder;

const std::filesystem::path kFilters = ORVO_TEST_FILTERS_MODULE;
const std::filesystem::path kBare = ORVO_TEST_BARE_MODULE;

std::vector<uint8_t> readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& b)
{
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string moduleError(const std::filesystem::path& p)
{
    try {
        listFilters(p);
    } catch (const ModuleError& e) {
        return e.what();
    }
    return "";
}

TEST(ModuleResources, FiltersAreListedWithoutRunningTheModule)
{
    auto filters = listFilters(kFilters);
    std::sort(filters.begin(), filters.end(), [](auto& a, auto& b) { return a.resourceId < b.resourceId; });
    ASSERT_EQ(filters.size(), 4u);
    EXPECT_EQ(filters[0].entryName, "PIMAIN_InvertAdvance");
    EXPECT_EQ(filters[0].menuName, "Test Invert Advance...");
    EXPECT_EQ(filters[0].resourceId, 16000);
    EXPECT_EQ(filters[3].entryName, "PIMAIN_Countdown");
}

TEST(ModuleResources, UnusableFilesAreReportedByName)
{
    TempFolder tmp;
    const auto text = tmp.path / "notes.so";
    std::ofstream(text) << "this is not a module\n";
    const auto truncated = tmp.path / "truncated.so";
    writeBytes(truncated, [] { auto b = readBytes(kFilters); b.resize(200); return b; }());
    struct Case {
        std::filesystem::path file;
        const char* says;
    } cases[] = {
        {text, "not a plug-in module"},
        {tmp.path / "missing.so", "not a plug-in module"},
        {kBare, "has no plug-in resources"},
        {truncated, "corrupt module"},
    };
    for (const Case& c : cases) {
        const std::string message = moduleError(c.file);
        EXPECT_NE(message.find(c.file.string()), std::string::npos) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    EXPECT_THROW(Module::load(kBare), ModuleError);
}

TEST(ModuleResources, DamagedSectionTablesNeverCrashTheReader)
{
    TempFolder tmp;
    const auto original = readBytes(kFilters);
    const auto damaged = tmp.path / "damaged.so";
    // Overwrite each byte of the ELF header and of the section table with values that push offsets
    // and counts out of range; every outcome is a list or a ModuleError.
    const uint64_t shoff = [&] { uint64_t v; std::memcpy(&v, original.data() + 0x28, 8); return v; }();
    std::vector<size_t> positions;
    for (size_t i = 0; i < 64; ++i)
        positions.push_back(i);
    for (size_t i = shoff; i < original.size(); i += 7)
        positions.push_back(i);
    for (size_t pos : positions) {
        for (uint8_t value : {uint8_t{0xff}, uint8_t{0x7f}}) {
            auto bytes = original;
            bytes[pos] = value;
            writeBytes(damaged, bytes);
            try {
                listFilters(damaged);
            } catch (const ModuleError&) {
            }
        }
    }
}

TEST(ModuleResources, ContainerEntriesSkipPaddingAndRejectGarbage)
{
    constexpr std::array<uint8_t, 5> data{1, 2, 3, 4, 5};
    constexpr auto entry = fp::resourceEntry<8, 5>(kFpResourceAETE, 16001, "PIMAIN_X", data);
    static_assert(entry.size % 8 == 0);
    std::vector<uint8_t> section(8, 0); // leading padding
    section.insert(section.end(), entry.bytes.begin(), entry.bytes.end());
    section.insert(section.end(), 16, 0);
    section.insert(section.end(), entry.bytes.begin(), entry.bytes.end());
    auto resources = parseResourceSection(section, "m");
    ASSERT_EQ(resources.size(), 2u);
    EXPECT_EQ(resources[1].type, kFpResourceAETE);
    EXPECT_EQ(resources[1].id, 16001);
    EXPECT_EQ(resources[1].entryName, "PIMAIN_X");
    EXPECT_EQ(resources[1].data, std::vector<uint8_t>(data.begin(), data.end()));

    auto garbage = section;
    garbage[3] = 'X';
    EXPECT_THROW(parseResourceSection(garbage, "m"), ModuleError);
    auto oversized = section;
    oversized[8 + 4] = 0xf8; // entry size beyond the section
    EXPECT_THROW(parseResourceSection(oversized, "m"), ModuleError);
    auto longName = section;
    longName[8 + 16] = 0xff; // name longer than the entry
    EXPECT_THROW(parseResourceSection(longName, "m"), ModuleError);
}

// ---- running the test filters through the host ----

struct Shape {
    int32_t width, height;
    int depth;
    int16_t tileHeight;
    DocRect filter; // empty = whole image
};

const Shape kShapes[] = {
    {1, 1, 8, 0, {}},
    {13, 7, 8, 0, {}},      // odd size, tile 0 = 256-row bands
    {13, 7, 8, 3, {}},      // bands of 3 rows, the last one short
    {13, 7, 8, 1000, {}},   // tile taller than the image
    {13, 7, 16, 2, {}},
    {300, 270, 8, 0, {}},   // more than one default band
    {9, 8, 16, 3, {2, 1, 7, 6}},
};

Document invertedWithin(const Document& d)
{
    Document e = d;
    const DocRect& f = d.filterRect();
    for (int32_t y = f.top; y < f.bottom; ++y)
        for (int32_t x = f.left; x < f.right; ++x)
            for (int c = 0; c < 3; ++c)
                e.at(x, y, c) = static_cast<uint16_t>(d.maxValue() - d.at(x, y, c));
    return e;
}

class FilterRun : public ::testing::Test {
protected:
    void SetUp() override { module = Module::load(kFilters); }
    HostOptions options(int16_t tileHeight = 0)
    {
        HostOptions o;
        o.registryFolder = tmp.path;
        o.tileHeight = tileHeight;
        return o;
    }
    TempFolder tmp;
    std::unique_ptr<Module> module;
};

TEST_F(FilterRun, InvertThroughAdvanceStateAndThroughSuites)
{
    for (const char* entry : {"PIMAIN_InvertAdvance", "PIMAIN_InvertSuites"}) {
        for (const Shape& s : kShapes) {
            SCOPED_TRACE(std::string(entry) + " " + std::to_string(s.width) + "x" + std::to_string(s.height) + "/" +
                         std::to_string(s.depth) + " tile " + std::to_string(s.tileHeight));
            Document doc = patternDocument(s.width, s.height, s.depth);
            if (!s.filter.empty())
                doc.setFilterRect(s.filter);
            const Document expected = invertedWithin(doc);
            HostSession session(doc, options(s.tileHeight));
            RunResult r = runFilter(session, *module, entry);
            EXPECT_EQ(r.result, kFpNoErr) << r.message;
            EXPECT_EQ(r.selector, kFpSelectorFinish);
            EXPECT_TRUE(doc == expected);
            EXPECT_EQ(session.outstandingSuites(), 0);
            EXPECT_EQ(session.liveBuffers(), 0u);
        }
    }
}

TEST_F(FilterRun, MissingTransportsFailWithTheHostCodeAndLeaveTheDocument)
{
    struct Case {
        const char* entry;
        HostOptions options;
    } cases[] = {
        {"PIMAIN_InvertSuites", options()},
        {"PIMAIN_InvertSuites", options()},
        {"PIMAIN_InvertAdvance", options()},
    };
    cases[0].options.withheldSuites = {kFpBufferSuite};
    cases[1].options.withheldSuites = {kFpChannelPortsSuite};
    cases[2].options.withholdAdvanceState = true;
    for (Case& c : cases) {
        Document doc = patternDocument(6, 5, 8);
        const Document before = doc;
        HostSession session(doc, c.options);
        RunResult r = runFilter(session, *module, c.entry);
        EXPECT_EQ(r.result, kFpHostCallFailedErr) << c.entry;
        EXPECT_EQ(r.selector, kFpSelectorStart);
        EXPECT_TRUE(doc == before);
        EXPECT_EQ(session.outstandingSuites(), 0);
    }
}

TEST_F(FilterRun, ProgressIsReportedAndAbortRestoresTheDocument)
{
    std::vector<std::pair<int32_t, int32_t>> progress;
    int polls = 0;
    HostOptions o = options();
    o.progress = [&](int32_t done, int32_t total) { progress.emplace_back(done, total); };
    o.abort = [&] { return ++polls == 3; };
    Document doc = patternDocument(4, 6, 16);
    const Document before = doc;
    {
        HostSession session(doc, o);
        RunResult r = runFilter(session, *module, "PIMAIN_Countdown");
        EXPECT_EQ(r.result, kFpUserCanceledErr);
        EXPECT_EQ(r.selector, kFpSelectorStart);
    }
    EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{1, 6}, {2, 6}, {3, 6}}));
    EXPECT_TRUE(doc == before) << "a cancelled filter leaves the document as it was";

    o.abort = [] { return false; };
    progress.clear();
    HostSession session(doc, o);
    EXPECT_EQ(runFilter(session, *module, "PIMAIN_Countdown").result, kFpNoErr);
    EXPECT_EQ(progress.size(), 6u);
    EXPECT_TRUE(std::all_of(doc.samples().begin(), doc.samples().end(), [](uint16_t v) { return v == 0; }));
}

struct RememberState {
    int32_t counter, showDialog;
};

RememberState rememberState(HostSession& s)
{
    auto bytes = s.handleBytes(s.filterState("PIMAIN_Remember").parameters);
    RememberState st{-1, -1};
    if (bytes && bytes->size() == sizeof st)
        std::memcpy(&st, bytes->data(), sizeof st);
    return st;
}

TEST_F(FilterRun, RegistryValuesPersistAcrossSessionsAndScriptsReplay)
{
    Document doc(3, 3, 8);
    {
        HostSession first(doc, options());
        EXPECT_EQ(runFilter(first, *module, "PIMAIN_Remember").result, kFpNoErr);
        RunResult r = runFilter(first, *module, "PIMAIN_Remember");
        EXPECT_EQ(r.result, kFpNoErr);
        EXPECT_EQ(rememberState(first).counter, 2);
        EXPECT_EQ(rememberState(first).showDialog, 1) << "no script: the dialog would show";
        ASSERT_TRUE(r.recorded);
        const DescriptorItem* parm = r.recorded->find(kFpKeyParameters);
        ASSERT_NE(parm, nullptr);
        EXPECT_EQ(parm->type, kFpTypeText);
        EXPECT_EQ(parm->bytes, (std::vector<uint8_t>{2, 0, 0, 0}));
        EXPECT_EQ(r.recorded->items.size(), 1u) << "the action records exactly one parameter";
    }
    HostSession second(doc, options());
    EXPECT_EQ(runFilter(second, *module, "PIMAIN_Remember").result, kFpNoErr);
    EXPECT_EQ(rememberState(second).counter, 3) << "the registry entry outlived the first session";

    // Replaying a recorded action: its values override the registry; the play option travels.
    Descriptor script;
    script.put(kFpKeyParameters, kFpTypeText, std::vector<uint8_t>{10, 0, 0, 0});
    for (int16_t play : {kFpDialogDisplay, kFpDialogSilent}) {
        RunOptions ro;
        ro.playScript = &script;
        ro.playInfo = play;
        RunResult r = runFilter(second, *module, "PIMAIN_Remember", ro);
        EXPECT_EQ(r.result, kFpNoErr);
        EXPECT_EQ(rememberState(second).counter, 11);
        EXPECT_EQ(rememberState(second).showDialog, play == kFpDialogDisplay ? 1 : 0);
        ASSERT_TRUE(r.recorded);
        EXPECT_EQ(r.recorded->find(kFpKeyParameters)->bytes, (std::vector<uint8_t>{11, 0, 0, 0}));
    }
    EXPECT_EQ(second.outstandingSuites(), 0);
}

TEST_F(FilterRun, UnknownEntryPointsAreRefused)
{
    EXPECT_THROW(module->entry("PIMAIN_Nothing"), ModuleError);
    EXPECT_THROW(module->entry("main"), ModuleError);
    EXPECT_NO_THROW(module->entry("PIMAIN_Remember"));
}

} // namespace
} // namespace orvo
