#include "framework/AtomicFile.h"
#include "framework/Effect.h"
#include "framework/ParameterBlob.h"
#include "framework/Preset.h"

#include "support/PresetEffects.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using fx::PresetFlavour;
using fxtest::KindsEffect;
using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

namespace {

Bytes blobOf(fx::Effect& effect)
{
    Bytes bytes(fx::blobSize(effect));
    fx::writeBlob(effect, bytes.data());
    return bytes;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class PresetFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("orvo-preset-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::size_t entries() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder;
};

void setSample(KindsEffect& e)
{
    e.table[KindsEffect::Amount].range.current = 12.5;
    e.table[KindsEffect::Mode].list.current = 2;
    e.table[KindsEffect::Texture].setImagePath("/tex/a.png");
}

TEST_F(PresetFiles, SavedFileIsTheBlobAndLoadsBack)
{
    KindsEffect source;
    setSample(source);
    const fs::path path = folder / "look.qev";
    ASSERT_TRUE(fx::savePreset(source, path.c_str()));
    const Bytes blob = blobOf(source);
    EXPECT_EQ(readFile(path), std::string(blob.begin(), blob.end()));
    EXPECT_EQ(entries(), 1u);  // no temporary left behind

    for (PresetFlavour flavour : {PresetFlavour::Collection, PresetFlavour::FilmLab}) {
        KindsEffect e;
        EXPECT_TRUE(fx::loadPreset(e, path.c_str(), flavour));
        EXPECT_EQ(blobOf(e), blob);
    }

    // Saving again replaces the file.
    source.table[KindsEffect::Amount].range.current = 99;
    ASSERT_TRUE(fx::savePreset(source, path.c_str()));
    KindsEffect e;
    ASSERT_TRUE(fx::loadPreset(e, path.c_str()));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 99.0);
}

TEST_F(PresetFiles, PresetOfAnotherEffectFailsWithoutChange)
{
    fxtest::OtherKindsEffect other;
    other.table[KindsEffect::Amount].range.current = 1;
    const fs::path path = folder / "other.qev";
    ASSERT_TRUE(fx::savePreset(other, path.c_str()));
    KindsEffect e;
    const Bytes before = blobOf(e);
    EXPECT_FALSE(fx::loadPreset(e, path.c_str()));
    EXPECT_FALSE(fx::loadPreset(e, path.c_str(), PresetFlavour::FilmLab));
    EXPECT_EQ(blobOf(e), before);
}

TEST_F(PresetFiles, UnreadableEmptyAndForeignFiles)
{
    KindsEffect e;
    const Bytes before = blobOf(e);
    const fs::path empty = folder / "empty.qev";
    writeFile(empty, "");
    EXPECT_TRUE(fx::loadPreset(e, empty.c_str()));
    EXPECT_TRUE(fx::loadPreset(e, empty.c_str(), PresetFlavour::FilmLab));

    EXPECT_FALSE(fx::loadPreset(e, (folder / "missing.qev").c_str()));
    EXPECT_FALSE(fx::loadPreset(e, folder.c_str()));  // a folder is not a preset
    EXPECT_FALSE(fx::loadPreset(e, nullptr));

    // Version word 1 but cut short: refused, never read past the end.
    KindsEffect source;
    setSample(source);
    const Bytes blob = blobOf(source);
    const fs::path cut = folder / "cut.qev";
    writeFile(cut, std::string(blob.begin(), blob.begin() + 52 + 152 * 3));
    EXPECT_FALSE(fx::loadPreset(e, cut.c_str()));

    // A version word other than 1 is ignored by the collection.
    const fs::path text = folder / "text.qev";
    writeFile(text, "kAmount 7\n");
    EXPECT_TRUE(fx::loadPreset(e, text.c_str(), PresetFlavour::Collection));
    EXPECT_EQ(blobOf(e), before);
    // ... and read as a text preset by the film lab; files shorter than a version word too.
    EXPECT_TRUE(fx::loadPreset(e, text.c_str(), PresetFlavour::FilmLab));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 7.0);
    const fs::path tiny = folder / "tiny.qev";
    writeFile(tiny, "x 1");
    EXPECT_TRUE(fx::loadPreset(e, tiny.c_str(), PresetFlavour::FilmLab));

    const fs::path huge = folder / "huge.qev";
    fs::resize_file((std::ofstream(huge), huge), fx::MaxPresetFileSize + 1);
    EXPECT_FALSE(fx::loadPreset(e, huge.c_str(), PresetFlavour::FilmLab));
}

struct NoMemoryHandles final : fx::HandleProcs {
    fx::Handle allocate(std::size_t) override { return nullptr; }
    void dispose(fx::Handle) override {}
    std::size_t size(fx::Handle) override { return 0; }
    void* lock(fx::Handle) override { return nullptr; }
    void unlock(fx::Handle) override {}
};

TEST_F(PresetFiles, FailedSaveKeepsTheExistingFile)
{
    const fs::path path = folder / "keep.qev";
    writeFile(path, "old content");
    KindsEffect e;
    NoMemoryHandles none;
    EXPECT_FALSE(fx::savePreset(e, path.c_str(), none));
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_FALSE(fx::loadPreset(e, path.c_str(), PresetFlavour::FilmLab, none));

    // The final rename fails when the name is taken by a folder: nothing is left behind.
    const fs::path taken = folder / "taken.qev";
    fs::create_directory(taken);
    fs::create_directory(taken / "inside");
    EXPECT_FALSE(fx::savePreset(e, taken.c_str()));
    EXPECT_TRUE(fs::is_directory(taken / "inside"));
    EXPECT_EQ(entries(), 2u);

    EXPECT_FALSE(fx::savePreset(e, (folder / "no such folder" / "x.qev").c_str()));
    EXPECT_FALSE(fx::savePreset(e, nullptr));
    EXPECT_FALSE(fx::writeFileAtomically("", "x", 1));
    EXPECT_EQ(entries(), 2u);
}

TEST(TextPreset, ValuesByKind)
{
    struct Case { const char* line; int index; const char* expect; };
    // expect: the parameter's value as text after applying the line to a fresh effect.
    const Case cases[] = {
        {"kAmount 12.25", KindsEffect::Amount, "12.25"},
        {"kAmount 1e3", KindsEffect::Amount, "1000"},
        {"kAmount -500", KindsEffect::Amount, "-500"},            // no clamping
        {"kAmount abc", KindsEffect::Amount, "50"},               // unparsable: unchanged
        {"kAmount  7", KindsEffect::Amount, "7"},                 // "%lf" skips white space
        {"kActive 0", KindsEffect::Active, "0"},
        {"kActive 7", KindsEffect::Active, "1"},
        {"kActive 99999999999", KindsEffect::Active, "1"},
        {"kMode 2", KindsEffect::Mode, "2"},
        {"kMode 3", KindsEffect::Mode, "0"},                      // outside the items
        {"kMode -1", KindsEffect::Mode, "0"},
        {"kMode x", KindsEffect::Mode, "0"},
        {"kTint (0.1, 0.2, 0.3)", KindsEffect::Tint, "0.1 0.2 0.3"},
        {"kTint (0.1,0.2,0.3)", KindsEffect::Tint, "0.1 0.2 0.3"},
        {"kTint (0.1, 0.2)", KindsEffect::Tint, "1 0.5 0"},       // incomplete: unchanged
        {"kTint 0.1, 0.2, 0.3", KindsEffect::Tint, "1 0.5 0"},
        {"kCenter (0.25, -0.5)", KindsEffect::Center, "0.25 -0.5"},
        {"kTexture /tex/a b.png", KindsEffect::Texture, "/tex/a b.png"},
        {"kTexture ", KindsEffect::Texture, "(none)"},
        {"kAmount", KindsEffect::Amount, "50"},                   // no space: skipped
        {"kamount 3", KindsEffect::Amount, "50"},                 // keys are exact
        {"input 3", KindsEffect::Amount, "50"},
        {"kGroup 0", KindsEffect::Group, "group on"},              // other kinds are skipped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        KindsEffect e;
        e.table[KindsEffect::Texture].setImagePath("/old.png");
        if (std::string(c.line).rfind("kTexture", 0) != 0)
            e.table[KindsEffect::Texture].setImagePath(nullptr);
        EXPECT_TRUE(fx::applyTextPreset(e, c.line, std::strlen(c.line)));
        const fx::Parameter& p = e.table[c.index];
        char text[128];
        switch (p.kind) {
        case fx::ParamKind::Range: std::snprintf(text, sizeof text, "%g", p.range.current); break;
        case fx::ParamKind::Boolean: std::snprintf(text, sizeof text, "%d", p.boolean.current); break;
        case fx::ParamKind::List: std::snprintf(text, sizeof text, "%d", p.list.current); break;
        case fx::ParamKind::Color:
            std::snprintf(text, sizeof text, "%g %g %g", p.color.current[0], p.color.current[1], p.color.current[2]);
            break;
        case fx::ParamKind::Point:
            std::snprintf(text, sizeof text, "%g %g", p.point.current[0], p.point.current[1]);
            break;
        case fx::ParamKind::ImageFile:
            std::snprintf(text, sizeof text, "%s", p.file.path ? p.file.path : "(none)");
            break;
        default:
            std::snprintf(text, sizeof text, "group %s", (p.flags & fx::ParamFlag::GroupState) ? "on" : "off");
            break;
        }
        EXPECT_STREQ(text, c.expect);
    }
}

TEST(TextPreset, LinesAndLookup)
{
    // CR, LF and CR LF end lines; leading white space and empty lines are skipped; the value runs
    // to the line end.
    const std::string text = "kAmount 1\r  \tkMode 2\n\n\r\nkTexture /a.png \r\nkActive 0";
    KindsEffect e;
    EXPECT_TRUE(fx::applyTextPreset(e, text.data(), text.size()));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 1.0);
    EXPECT_EQ(e.valueAsInt(KindsEffect::Mode), 2);
    EXPECT_STREQ(e.imageFilePath(KindsEffect::Texture), "/a.png ");
    EXPECT_EQ(e.valueAsBool(KindsEffect::Active), 0);

    // Only the given length is read.
    KindsEffect cut;
    EXPECT_TRUE(fx::applyTextPreset(cut, "kAmount 123", 10));
    EXPECT_EQ(cut.valueAsDouble(KindsEffect::Amount), 12.0);

    // No title check: any effect with the keys takes the values.
    fxtest::OtherKindsEffect other;
    EXPECT_TRUE(fx::applyTextPreset(other, text.data(), text.size()));
    EXPECT_EQ(other.valueAsInt(KindsEffect::Mode), 2);

    // The first parameter with the key wins.
    fxtest::LargeEffect large;
    const char* line = "value 42";
    EXPECT_TRUE(fx::applyTextPreset(large, line, std::strlen(line)));
    EXPECT_EQ(large.valueAsDouble(1), 42.0);
    EXPECT_EQ(large.valueAsDouble(2), 2.0);
}

TEST(TextPreset, OverlongKeysAndValuesAreSkipped)
{
    KindsEffect e;
    const std::string key99 = "k" + std::string(98, 'z');
    const std::string key100 = key99 + "z";
    e.table[KindsEffect::Amount].setKey(key99.c_str());
    e.table[KindsEffect::Mode].setKey(key100.c_str());
    const std::string longPath(fx::MaxTextPresetValue + 1, 'p');
    const std::string okPath(fx::MaxTextPresetValue, 'q');
    const std::string text = key99 + " 5\n" + key100 + " 2\nkTexture " + longPath + "\nkCenter (0.5, 0.5)";
    EXPECT_TRUE(fx::applyTextPreset(e, text.data(), text.size()));
    EXPECT_EQ(e.valueAsDouble(KindsEffect::Amount), 5.0);
    EXPECT_EQ(e.valueAsInt(KindsEffect::Mode), 0);
    EXPECT_EQ(e.imageFilePath(KindsEffect::Texture), nullptr);
    EXPECT_EQ(e.pointValue(KindsEffect::Center).y, 0.5);

    const std::string ok = "kTexture " + okPath;
    EXPECT_TRUE(fx::applyTextPreset(e, ok.data(), ok.size()));
    EXPECT_EQ(std::string(e.imageFilePath(KindsEffect::Texture)), okPath);

    // Bytes of every value, NULs included, are taken safely.
    KindsEffect fresh;
    const char binary[] = "kAmount 3\0junk\xff\x80\nkMode \x01\x02";
    EXPECT_TRUE(fx::applyTextPreset(fresh, binary, sizeof binary - 1));
    EXPECT_EQ(fresh.valueAsDouble(KindsEffect::Amount), 3.0);
    EXPECT_EQ(fresh.valueAsInt(KindsEffect::Mode), 0);
}

} // namespace
