// The orvo program end to end, through the build's installed layout (bin/orvo, bin/plugins/).
#include "app/io/ImageFile.h"
#include "effects/OrvoEffects.h"
#include "framework/EffectRegistry.h"
#include "modules/BridgeTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using orvo::Document;
using orvo::Picture;

struct Outcome {
    int exitCode = -1;
    std::string err;
};

class OrvoProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("orvo-program-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs orvo with args (the registry in the test folder); interrupted: SIGINT is pending when it
    // starts, as if the user pressed Ctrl-C during the run.
    Outcome run(std::vector<std::string> args, bool interrupted = false) const
    {
        if (!args.empty() && args[0] == "apply") {
            args.push_back("--registry");
            args.push_back(path("registry"));
        }
        const std::string errFile = path("stderr.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::FILE* err = std::freopen(errFile.c_str(), "w", stderr);
            if (!err)
                _exit(127);
            ::unsetenv("ORVO_PLUGIN_PATH");
            if (interrupted) {
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, SIGINT);
                sigprocmask(SIG_BLOCK, &set, nullptr);
                ::kill(::getpid(), SIGINT);
            }
            std::vector<char*> argv{const_cast<char*>(ORVO_PROGRAM)};
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(ORVO_PROGRAM, argv.data());
            _exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        Outcome o;
        o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        std::ifstream in(errFile);
        std::stringstream text;
        text << in.rdbuf();
        o.err = text.str();
        return o;
    }

    fs::path dir_;
};

// A small picture with every kind of content the filters react to.
Picture testPicture(int depth, int32_t width = 48, int32_t height = 40)
{
    Picture p;
    p.document = Document(width, height, depth);
    p.fileDepth = depth;
    const uint32_t full = p.document.maxValue();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            p.document.at(x, y, 0) = static_cast<uint16_t>(full * static_cast<uint32_t>(x) / static_cast<uint32_t>(width - 1));
            p.document.at(x, y, 1) = static_cast<uint16_t>(full * static_cast<uint32_t>(y) / static_cast<uint32_t>(height - 1));
            p.document.at(x, y, 2) = static_cast<uint16_t>(((x / 5 + y / 7) % 2) ? full : full / 5);
        }
    return p;
}

void save(const std::string& file, const Picture& p) { ASSERT_TRUE(orvo::writeImage(file, p)); }

// The effect rendered in process with values set as the dialog sets them (value, then
// parameterChanged for NotifyOnChange records).
Document renderInProcess(const char* registrationName, const Document& source,
                         const std::function<void(fx::Effect&)>& set)
{
    static const bool registered = [] {
        orvo::registerEffects(fx::effectRegistry());
        return true;
    }();
    (void)registered;
    std::unique_ptr<fx::Effect, void (*)(fx::Effect*)> effect(fx::createEffect(registrationName),
                                                              [](fx::Effect* e) { e->ops->destroy(e); });
    EXPECT_TRUE(effect);
    effect->setFlagBits(fx::EffectFlag::HostCreated);
    set(*effect);
    return bridgetest::renderInMemory(*effect, source);
}

int indexOf(fx::Effect& e, const char* key)
{
    for (int i = 0; i < e.parameterCount(); ++i)
        if (e.parameterAt(i)->key && std::strcmp(e.parameterAt(i)->key, key) == 0)
            return i;
    ADD_FAILURE() << "no parameter " << key;
    return 0;
}

void setRange(fx::Effect& e, const char* key, double v)
{
    const int i = indexOf(e, key);
    e.parameterAt(i)->range.current = v;
    if (e.parameterAt(i)->flags & fx::ParamFlag::NotifyOnChange)
        e.ops->parameterChanged(e, i);
}

void setBool(fx::Effect& e, const char* key, bool v)
{
    const int i = indexOf(e, key);
    e.parameterAt(i)->boolean.current = v;
    if (e.parameterAt(i)->flags & fx::ParamFlag::NotifyOnChange)
        e.ops->parameterChanged(e, i);
}

TEST_F(OrvoProgram, ApplyWithSetGivesTheInProcessRenderOfTheSameValues)
{
    struct Case {
        const char* filter;
        const char* registration;
        int depth;
        std::vector<std::string> sets;
        std::function<void(fx::Effect&)> set;
    };
    const std::vector<Case> cases = {
        // The gang copies the horizontal value while on; the later vertical value wins once it is off.
        {"Orvo Fast Blur", "FastBlur", 8, {"blurX=40", "gang=off", "blurY=5"},
         [](fx::Effect& e) { setRange(e, "blurX", 40), setBool(e, "gang", false), setRange(e, "blurY", 5); }},
        {"fastblur", "FastBlur", 16, {"blurX=25"}, [](fx::Effect& e) { setRange(e, "blurX", 25); }},
        {"WarmCool", "WarmCool", 8, {"temperature=-35"}, [](fx::Effect& e) { setRange(e, "temperature", -35); }},
        {"Orvo Color Correct", "ColorCorrect", 16, {"ccMasterHue=40", "ccContrast=30", "ccShadBri=-20"},
         [](fx::Effect& e) {
             setRange(e, "ccMasterHue", 40), setRange(e, "ccContrast", 30), setRange(e, "ccShadBri", -20);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.filter) + " " + std::to_string(c.depth));
        const Picture in = testPicture(c.depth);
        save(path("in.png"), in);
        std::vector<std::string> args{"apply", c.filter, path("in.png"), path("out.png"), "--tile-height", "7"};
        for (const std::string& s : c.sets)
            args.insert(args.end(), {"--set", s});
        const Outcome o = run(args);
        ASSERT_EQ(o.exitCode, 0) << o.err;
        const Picture out = orvo::readImage(path("out.png"));
        const Document expected = renderInProcess(c.registration, in.document, c.set);
        EXPECT_TRUE(out.document == expected);
        EXPECT_FALSE(out.document == in.document);
    }
}

TEST_F(OrvoProgram, SixteenBitValuesRoundTripBitForBitThroughAnInactiveFilter)
{
    // Every document value 0..32768 in each channel, with an alpha channel that must come back too.
    Picture p;
    p.document = Document(182, 181, 16);
    p.fileDepth = 16;
    p.alphaDepth = 16;
    p.alpha.resize(182u * 181u);
    for (int32_t i = 0; i < 182 * 181; ++i) {
        const int32_t x = i % 182, y = i / 182;
        p.document.at(x, y, 0) = static_cast<uint16_t>(std::min(i, 32768));
        p.document.at(x, y, 1) = static_cast<uint16_t>(32768 - std::min(i, 32768));
        p.document.at(x, y, 2) = static_cast<uint16_t>((i * 7) % 32769);
        p.alpha[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 2);
    }
    for (const char* ext : {".png", ".tif"}) {
        SCOPED_TRACE(ext);
        const std::string in = path(std::string("in") + ext), out = path(std::string("out") + ext);
        save(in, p);
        const Outcome o = run({"apply", "FastBlur", in, out, "--set", "blurX=0"});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        const Picture back = orvo::readImage(out);
        EXPECT_TRUE(back.document == p.document);
        EXPECT_EQ(back.alpha, p.alpha);
        EXPECT_EQ(back.fileDepth, 16);
    }
    // The mapping itself: document values survive a save and a load; file values from elsewhere
    // lose their lowest bit once (65536 values onto 32769) and are stable from then on.
    for (uint32_t v = 0; v <= 32768; ++v)
        ASSERT_EQ(orvo::fileToDocument16(orvo::documentToFile16(v)), v);
    int changed = 0;
    for (uint32_t v = 0; v <= 65535; ++v) {
        const uint16_t once = orvo::documentToFile16(orvo::fileToDocument16(v));
        ASSERT_LE(std::abs(static_cast<int>(once) - static_cast<int>(v)), 1);
        ASSERT_EQ(orvo::documentToFile16(orvo::fileToDocument16(once)), once);
        changed += once != v;
    }
    EXPECT_GT(changed, 0);
}

TEST_F(OrvoProgram, EightBitSamplesWidenIntoSixteenBitDocumentsAndNarrowBackExactly)
{
    Picture grey = testPicture(8, 9, 5);
    save(path("rgb.png"), grey);
    const Outcome o = run({"apply", "FastBlur", path("rgb.png"), path("out.jpg"), "--depth", "16", "--quiet"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(orvo::readImage(path("out.jpg")).document.width(), 9);
    // 8-bit samples widen into a 16-bit document as (v * 32768 + 127) / 255 and narrow back exactly.
    const Picture wide = orvo::readImage(path("rgb.png"), 16);
    EXPECT_EQ(wide.document.at(8, 0, 0), 32768);
    EXPECT_EQ(wide.document.at(0, 0, 0), 0);
    for (uint32_t v = 0; v < 256; ++v)
        ASSERT_EQ(orvo::narrow16To8(orvo::widen8To16(v)), v);
}

TEST_F(OrvoProgram, SavedPresetReproducesTheRun)
{
    save(path("in.png"), testPicture(8));
    Outcome o = run({"apply", "FastBlur", path("in.png"), path("a.png"), "--set", "gang=off", "--set", "blurY=30",
                     "--save-preset", path("blur.qev")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    o = run({"apply", "FastBlur", path("in.png"), path("b.png"), "--preset", path("blur.qev")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(orvo::readImage(path("a.png")).document == orvo::readImage(path("b.png")).document);
    // --last starts from the values the registry kept from that run.
    o = run({"apply", "FastBlur", path("in.png"), path("c.png"), "--last"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(orvo::readImage(path("a.png")).document == orvo::readImage(path("c.png")).document);
    // A preset of another filter is refused.
    o = run({"apply", "WarmCool", path("in.png"), path("d.png"), "--preset", path("blur.qev")});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_NE(o.err.find("not for Orvo Warm/Cool"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(path("d.png")));
}

TEST_F(OrvoProgram, InterruptedRunWritesNothingAndExits130)
{
    save(path("in.png"), testPicture(8));
    save(path("out.png"), testPicture(8, 3, 3));
    const auto before = fs::file_size(path("out.png"));
    const Outcome o = run({"apply", "FastBlur", path("in.png"), path("out.png"), "--tile-height", "4"}, true);
    EXPECT_EQ(o.exitCode, 130) << o.err;
    EXPECT_NE(o.err.find("-128"), std::string::npos) << o.err;
    EXPECT_EQ(fs::file_size(path("out.png")), before);
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
}

TEST_F(OrvoProgram, InputMayBeTheOutput)
{
    save(path("same.png"), testPicture(8));
    const Outcome o = run({"apply", "WarmCool", path("same.png"), path("same.png"), "--set", "temperature=50"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(orvo::readImage(path("same.png")).document ==
                renderInProcess("WarmCool", testPicture(8).document, [](fx::Effect& e) { setRange(e, "temperature", 50); }));
}

TEST_F(OrvoProgram, BadInputsGiveClearMessagesAndNonZeroExits)
{
    save(path("in.png"), testPicture(8));
    {
        std::ofstream bad(path("corrupt.png"), std::ios::binary);
        std::ifstream good(path("in.png"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(good)), std::istreambuf_iterator<char>());
        bad << bytes.substr(0, bytes.size() / 2);
    }
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const std::string in = path("in.png"), out = path("out.png");
    const std::vector<Case> cases = {
        {{"apply", "FastBlur", path("missing.png"), out}, 3, "missing.png: cannot open"},
        {{"apply", "FastBlur", path("corrupt.png"), out}, 3, "corrupt.png: not a valid PNG file"},
        {{"apply", "Fast Blurr", in, out}, 2, "did you mean: \"Orvo Fast Blur\""},
        {{"apply", "FastBlur", in, out, "--set", "radius=3"}, 2, "unknown key \"radius\" for Orvo Fast Blur; its keys are: view, blurX"},
        {{"apply", "FastBlur", in, out, "--set", "blurX=1001"}, 2, "out of range for blurX (Horizontal Blur); allowed: 0..1000"},
        {{"apply", "FastBlur", in, out, "--set", "gang=maybe"}, 2, "allowed: on|off"},
        {{"apply", "FastBlur", in, out, "--set", "view=Sideways"}, 2, "\"Output\", \"Original\""},
        {{"apply", "FastBlur", in, path("no/such/folder/out.png")}, 4, "cannot write into its folder"},
        {{"apply", "FastBlur", in, path("out.gif")}, 2, "unknown output format"},
        {{"frobnicate"}, 2, "unknown command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() > 3 ? c.args[2] + " " + c.args.back() : c.args[0]);
        const Outcome o = run(c.args);
        EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(OrvoProgram, ChartAndListRun)
{
    Outcome o = run({"chart", path("chart.tif"), "--size", "64x40", "--depth", "16"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Picture chart = orvo::readImage(path("chart.tif"));
    EXPECT_EQ(chart.document.width(), 64);
    EXPECT_EQ(chart.document.depth(), 16);
    o = run({"list"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
}

} // namespace
