// The protocol extension of the collection's module: the parameter description and the dialog's edit.
#include "framework/ParameterBlob.h"
#include "platform/Extension.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

struct Extension {
    void* library = dlopen(ORVO_MODULE_ORVO, RTLD_NOW | RTLD_LOCAL);
    OrvoExtDescribeProc describe = library ? reinterpret_cast<OrvoExtDescribeProc>(dlsym(library, kOrvoExtDescribeName)) : nullptr;
    OrvoExtEditProc edit = library ? reinterpret_cast<OrvoExtEditProc>(dlsym(library, kOrvoExtEditName)) : nullptr;
    ~Extension()
    {
        if (library)
            dlclose(library);
    }
};

double rangeValue(const std::vector<uint8_t>& blob, int index)
{
    double v;
    std::memcpy(&v, blob.data() + fx::blob::HeaderSize + fx::blob::RecordSize * static_cast<size_t>(index) +
                        fx::blob::ValueOffset, sizeof v);
    return v;
}

TEST(Extension, DescribesTheParameterTable)
{
    Extension x;
    ASSERT_TRUE(x.describe && x.edit);
    const int32_t length = x.describe("PIMAIN_FastBlur", nullptr, 0);
    ASSERT_GT(length, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ASSERT_EQ(x.describe("PIMAIN_FastBlur", text.data(), length + 1), length);
    EXPECT_NE(text.find("\"title\": \"Orvo Fast Blur\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"key\": \"blurX\", \"label\": \"Horizontal Blur\", \"kind\": \"Range\""), std::string::npos);
    EXPECT_NE(text.find("\"items\": [\"Output\", \"Original\"]"), std::string::npos);
    EXPECT_EQ(x.describe("PIMAIN_NoSuchFilter", nullptr, 0), kOrvoExtUnknownFilter);
    EXPECT_EQ(x.describe("PIMAIN_Glow", nullptr, 0), kOrvoExtUnavailable);
}

TEST(Extension, EditsAsTheDialogDoes)
{
    Extension x;
    ASSERT_TRUE(x.edit);
    auto edit = [&](const std::vector<uint8_t>& blob, int index, const void* value, int32_t size,
                    std::vector<uint8_t>* enabled = nullptr) {
        const int32_t n = x.edit("PIMAIN_FastBlur", blob.data(), static_cast<int32_t>(blob.size()), index, value, size,
                                 nullptr, 0, nullptr, 0);
        EXPECT_GT(n, 0);
        std::vector<uint8_t> out(static_cast<size_t>(std::max(n, 0)));
        std::vector<uint8_t> states(5, 9);
        EXPECT_EQ(x.edit("PIMAIN_FastBlur", blob.data(), static_cast<int32_t>(blob.size()), index, value, size,
                         out.data(), n, states.data(), 5),
                  n);
        if (enabled)
            *enabled = states;
        return out;
    };
    std::vector<uint8_t> enabled;
    const std::vector<uint8_t> defaults = edit({}, -1, nullptr, 0, &enabled);
    EXPECT_EQ(enabled, (std::vector<uint8_t>{1, 1, 1, 0, 1})); // the vertical blur follows the gang
    const double fifty = 50;
    std::vector<uint8_t> b = edit(defaults, 2, &fifty, sizeof fifty);
    EXPECT_EQ(rangeValue(b, 2), 50);
    // Gang off: the vertical control is enabled, and keeps its value.
    const uint8_t off = 0;
    b = edit(b, 4, &off, 1, &enabled);
    EXPECT_EQ(enabled[3], 1);
    const double seven = 7;
    b = edit(b, 3, &seven, sizeof seven);
    EXPECT_EQ(rangeValue(b, 2), 50);
    EXPECT_EQ(rangeValue(b, 3), 7);
    // Wrong value sizes, indices and blobs are refused.
    EXPECT_EQ(x.edit("PIMAIN_FastBlur", b.data(), static_cast<int32_t>(b.size()), 2, &off, 1, nullptr, 0, nullptr, 0),
              kOrvoExtBadValue);
    EXPECT_EQ(x.edit("PIMAIN_FastBlur", b.data(), static_cast<int32_t>(b.size()), 99, &seven, 8, nullptr, 0, nullptr, 0),
              kOrvoExtBadIndex);
    EXPECT_EQ(x.edit("PIMAIN_WarmCool", b.data(), static_cast<int32_t>(b.size()), -1, nullptr, 0, nullptr, 0, nullptr, 0),
              kOrvoExtForeignBlob);
    EXPECT_EQ(x.edit("PIMAIN_FastBlur", b.data(), 10, -1, nullptr, 0, nullptr, 0, nullptr, 0), kOrvoExtForeignBlob);
}

} // namespace
