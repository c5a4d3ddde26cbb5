#include "framework/Image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

using fx::Image;
using fx::ImageRef;

namespace {

struct CreateCase {
    const char* name;
    int32_t width, height, channels, bpc, rowBytes;
    bool withData;
    int32_t expectRowBytes, expectStride, expectPixelBytes;
    bool expectAlpha, expectOwns;
    std::ptrdiff_t expectOriginOffset;  // from the data block
};

class ImageCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(ImageCreate, FillsTheDescriptor)
{
    const CreateCase& c = GetParam();
    std::vector<uint8_t> block(4096);
    Image* image = Image::create(c.width, c.height, c.channels, c.bpc, c.rowBytes,
                                 c.withData ? block.data() : nullptr);
    ImageRef ref(image);
    EXPECT_EQ(image->refCount, 1);
    EXPECT_EQ(image->rowBytes, c.expectRowBytes);
    EXPECT_EQ(image->stride, c.expectStride);
    EXPECT_EQ(image->bytesPerPixel, c.expectPixelBytes);
    EXPECT_EQ(image->hasAlpha != 0, c.expectAlpha);
    EXPECT_EQ(image->ownsData != 0, c.expectOwns);
    EXPECT_EQ(image->bounds, (fx::Rect{0, 0, c.height, c.width}));
    if (c.withData) {
        EXPECT_EQ(image->data, block.data());
        EXPECT_EQ(image->origin - block.data(), c.expectOriginOffset);
    } else if (c.width > 0 && c.height > 0) {
        EXPECT_EQ(image->origin - image->data, c.expectOriginOffset);
    } else {
        EXPECT_EQ(image->data, nullptr);
        EXPECT_EQ(image->origin, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageCreate, ::testing::Values(
    // 8-bit RGBA, allocated, top-down
    CreateCase{"Rgba8Allocated", 10, 5, 4, 1, 0, false, 40, 40, 4, true, true, 0},
    // bottom-up 16-bit grey over a borrowed block: origin at the last row
    CreateCase{"Grey16BottomUpBorrowed", 10, 5, 1, 2, -32, true, 32, -32, 2, false, false, 128},
    // bottom-up allocated block: origin also at the last row
    CreateCase{"Rgba16BottomUpAllocated", 3, 4, 4, 2, -24, false, 24, -24, 8, true, true, 72},
    // two channels count as having alpha; padded rows kept as given
    CreateCase{"TwoChannelPadded", 7, 2, 2, 1, 16, true, 16, 16, 2, true, false, 0},
    // zero and negative sizes leave the image without pixels
    CreateCase{"ZeroWidth", 0, 5, 4, 1, 0, false, 0, 0, 4, true, false, 0},
    CreateCase{"NegativeHeight", 5, -1, 4, 1, 0, false, 20, 20, 4, true, false, 0}),
    [](const ::testing::TestParamInfo<CreateCase>& info) { return std::string(info.param.name); });

TEST(Image, RejectsUnsupportedChannelLayouts)
{
    EXPECT_THROW(Image::create(4, 4, 0, 1), std::invalid_argument);
    EXPECT_THROW(Image::create(4, 4, 5, 1), std::invalid_argument);
    EXPECT_THROW(Image::create(4, 4, 4, 3), std::invalid_argument);
}

TEST(Image, RowAddressingIsOrientationFree)
{
    // Row y of a bottom-up image lives at origin - y * rowBytes: row 0 is the block's last row.
    uint8_t block[3 * 2] = {};
    ImageRef image(Image::create(2, 3, 1, 1, -2, block));
    image->row(0)[0] = 7;
    image->row(2)[1] = 9;
    EXPECT_EQ(block[4], 7);
    EXPECT_EQ(block[1], 9);
}

TEST(Image, CopyPixelsAcrossStridesAndOrientations)
{
    // Source: top-down with padded rows; destinations: tight top-down and bottom-up.
    std::vector<uint8_t> srcBlock(6 * 12, 0xEE);
    ImageRef src(Image::create(3, 6, 1, 2, 12, srcBlock.data()));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x)
            src->rowAs<uint16_t>(y)[x] = static_cast<uint16_t>(1000 * y + x);

    for (int32_t rowBytes : {0, -6, 8}) {
        ImageRef dst(Image::create(3, 6, 1, 2, rowBytes));
        dst->copyPixels(*src);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 3; ++x)
                ASSERT_EQ(dst->rowAs<uint16_t>(y)[x], 1000 * y + x) << "rowBytes " << rowBytes;
    }

    // Equal strides, both bottom-up: one block copy that keeps the orientation.
    ImageRef a(Image::create(3, 6, 1, 2, -6));
    ImageRef b(Image::create(3, 6, 1, 2, -6));
    a->copyPixels(*src);
    b->copyPixels(*a);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(b->rowAs<uint16_t>(y)[2], 1000 * y + 2);

    src->copyPixels(*src);  // onto itself: nothing happens
    EXPECT_EQ(src->rowAs<uint16_t>(5)[2], 5002);
    EXPECT_THROW(a->copyPixels(*ImageRef(Image::create(2, 6, 1, 2))), std::invalid_argument);
}

TEST(Image, WrapBorrowsTheHostBuffer)
{
    std::vector<uint8_t> block(8 * 3 * 8);
    fx::PixelBuffer buffer;
    buffer.rect = fx::Rect{10, 20, 13, 28};
    buffer.channels = 4;
    buffer.bytesPerChannel = 2;
    buffer.pixelBytes = 8;
    buffer.rowBytes = 64;
    buffer.data = block.data();
    {
        ImageRef image(Image::wrap(buffer));
        EXPECT_EQ(image->width, 8);
        EXPECT_EQ(image->height, 3);
        EXPECT_EQ(image->bounds, buffer.rect);
        EXPECT_EQ(image->origin, block.data());
        EXPECT_EQ(image->ownsData, 0);
        EXPECT_EQ(image->hostBuffer, &buffer);
    }
    block[0] = 1;  // still ours after the descriptor is gone (ASan would flag a free)
}

TEST(Image, ReferenceCountingFreesAtZero)
{
    Image* image = Image::create(4, 4, 4, 1);
    image->retain();
    {
        ImageRef second(image);
        EXPECT_EQ(image->refCount, 2);
    }
    EXPECT_EQ(image->refCount, 1);
    image->release();  // frees the block and the descriptor; LeakSanitizer checks the rest
}

} // namespace
