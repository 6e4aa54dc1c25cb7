#include "Renderer/OpenGL/GLImage.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Tavo;

namespace {

TEST(GLImage, NextPowerOfTwoRoundsUpAndStopsAtTheLargestTexture)
{
    const struct
    {
        int32_t n, expected;
    } cases[] = {{-5, 0}, {0, 0}, {1, 1},     {2, 2},         {3, 4},
                 {4, 4},  {5, 8}, {100, 128}, {16384, 16384}, {20000, 16384}};
    for (const auto& c : cases)
        EXPECT_EQ(NextPowerOfTwo(c.n), c.expected) << c.n;
}

TEST(GLImage, ExtensionsAreFoundOnlyAsWholeWords)
{
    const char* list = "GLX_ARB_foo_extra GLX_ARB_foo GLX_OML_swap_method";
    const struct
    {
        const char* list;
        const char* name;
        bool expected;
    } cases[] = {{list, "GLX_ARB_foo", true},          // the first hit is only a prefix
                 {list, "GLX_OML_swap_method", true},  // at the end
                 {list, "GLX_ARB_foo_extra", true},    // at the start
                 {list, "ARB_foo", false},             // inside a word
                 {list, "GLX_OML_swap", false},
                 {list, "", false},
                 {list, "GLX_ARB_foo GLX_OML_swap_method", false},
                 {"", "GLX_ARB_foo", false}};
    for (const auto& c : cases)
        EXPECT_EQ(HasExtensionWord(c.list, c.name), c.expected) << c.name;
}

TEST(GLImage, AlphaMaskTurnsDarkOpaqueAndWhiteOrZeroTransparent)
{
    // Three BGRA pixels a row, two rows, pitch padded to 16 bytes.
    std::vector<uint8_t> source = {
        0, 0, 0,   255, 255, 255, 255, 255, 0,   0, 0, 0, 9, 9, 9, 9,
        0, 0, 255, 255, 0,   255, 0,   0,   255, 0, 0, 0, 9, 9, 9, 9,
    };
    GLImage image;
    image.Wrap(source.data(), 16, 4, 3, 2, GLImage::kFormatBGRA, GLImage::kTypeUnsignedByte);
    image.MakeAlpha();
    EXPECT_EQ(image.format, GLImage::kFormatAlpha);
    EXPECT_EQ(image.pitch, 4);
    const uint8_t expected[2][3] = {{255, 0, 0}, {255 - 76, 255 - 150, 255 - 28}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixels[y * image.pitch + x], expected[y][x]) << x << "," << y;
    EXPECT_EQ(source[0], 0);  // the wrapped pixels are left as they were

    // A larger mask than the source leaves the uncovered part transparent,
    // and a source that is not 32-bit is not read at all.
    GLImage source32;
    source32.Wrap(source.data(), 16, 4, 3, 2, GLImage::kFormatBGRA, GLImage::kTypeUnsignedByte);
    GLImage wider;
    wider.MakeAlphaFrom(5, 3, source32);
    EXPECT_EQ(wider.pitch, 8);
    EXPECT_EQ(wider.pixels[0], 255);
    EXPECT_EQ(wider.pixels[4], 0);
    GLImage fromAlpha;
    fromAlpha.MakeAlphaFrom(3, 2, image);
    EXPECT_EQ(fromAlpha.pixels[0], 0);
}

}  // namespace
