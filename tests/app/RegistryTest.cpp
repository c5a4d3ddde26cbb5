#include "app/core/DescriptorRegistry.h"
#include "platform/FilterRecord.h"

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>

#include <sys/resource.h>

namespace orvo {
namespace {

using test::TempFolder;

Descriptor withInteger(int32_t v)
{
    Descriptor d;
    d.putInteger(FP_FOURCC('v', 'a', 'l', 'u'), v);
    return d;
}

// Lowers the process's file-size limit for its lifetime, so that writes past it fail (EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::size_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

std::string readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DescriptorRegistry, PersistentEntriesSurviveANewRegistry)
{
    TempFolder tmp;
    const auto folder = tmp.path / "nested" / "orvo";
    {
        DescriptorRegistry reg(folder);
        EXPECT_TRUE(reg.put("keep", withInteger(1), true));
        EXPECT_TRUE(reg.put("session-only", withInteger(2), false));
        EXPECT_TRUE(reg.put("erased", withInteger(3), true));
        EXPECT_TRUE(reg.erase("erased"));
        EXPECT_TRUE(reg.put("keep", withInteger(4), true)) << "replacing rewrites the file";
    }
    DescriptorRegistry again(folder);
    EXPECT_EQ(again.loadMessage(), "");
    ASSERT_NE(again.find("keep"), nullptr);
    EXPECT_EQ(*again.find("keep"), withInteger(4));
    EXPECT_EQ(again.find("session-only"), nullptr);
    EXPECT_EQ(again.find("erased"), nullptr);
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(e.path().filename(), DescriptorRegistry::kFileName) << "no temporary file left behind";
}

TEST(DescriptorRegistry, FailedWriteLeavesThePreviousFileWhole)
{
    TempFolder tmp;
    DescriptorRegistry reg(tmp.path);
    ASSERT_TRUE(reg.put("a", withInteger(1), true));
    const std::string before = readFile(reg.file());
    // A file-size limit below the new content makes the write itself fail half-way.
    std::string error;
    {
        FileSizeLimit limit(before.size());
        EXPECT_FALSE(reg.put("b", withInteger(2), true, &error));
    }
    EXPECT_NE(error.find(reg.file().string()), std::string::npos) << error;
    EXPECT_EQ(readFile(reg.file()), before);
    DescriptorRegistry reread(tmp.path);
    EXPECT_NE(reread.find("a"), nullptr);
    EXPECT_EQ(reread.find("b"), nullptr);
}

TEST(DescriptorRegistry, MalformedFilesAreIgnored)
{
    TempFolder tmp;
    std::string good;
    {
        DescriptorRegistry reg(tmp.path);
        reg.put("guid", withInteger(9), true);
        good = readFile(reg.file());
    }
    const std::vector<std::string> bad = {
        "", "ORVOREG1", "NOTAREG1\0\0\0\0", good.substr(0, good.size() - 1), good + "x",
        good.substr(0, 12) + std::string(4, '\xff') + good.substr(16),
    };
    for (const std::string& content : bad) {
        std::ofstream(tmp.path / DescriptorRegistry::kFileName, std::ios::binary) << content;
        DescriptorRegistry reg(tmp.path);
        EXPECT_EQ(reg.find("guid"), nullptr);
        EXPECT_NE(reg.loadMessage().find("malformed"), std::string::npos) << content.size();
    }
}

TEST(DescriptorRegistry, DefaultFolderFollowsXdgThenHome)
{
    struct Env {
        const char* name;
        std::optional<std::string> saved;
        explicit Env(const char* n) : name(n)
        {
            if (const char* v = std::getenv(n))
                saved = v;
        }
        ~Env() { saved ? ::setenv(name, saved->c_str(), 1) : ::unsetenv(name); }
    } xdg("XDG_CONFIG_HOME"), home("HOME");
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
    EXPECT_EQ(DescriptorRegistry::defaultFolder(), std::filesystem::path("/tmp/xdg-config/orvo"));
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/tmp/some-home", 1);
    EXPECT_EQ(DescriptorRegistry::defaultFolder(), std::filesystem::path("/tmp/some-home/.config/orvo"));
}

TEST(Descriptor, ParseRejectsMalformedBytes)
{
    Descriptor d;
    d.put(1, 2, std::vector<uint8_t>{7, 8, 9});
    d.putInteger(3, -1);
    const auto bytes = d.serialize();
    EXPECT_EQ(Descriptor::parse(bytes), d);
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(Descriptor::parse({bytes.data(), cut})) << cut;
    auto huge = bytes;
    huge[12] = 0xff; // first item's length
    EXPECT_FALSE(Descriptor::parse(huge));
    Descriptor dup;
    dup.items = {{1, 2, {}}, {1, 2, {}}};
    EXPECT_FALSE(Descriptor::parse(dup.serialize())) << "duplicate keys";
}

} // namespace
} // namespace orvo
