#include "Platform/Kernel/Resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace Tavo::Platform;

namespace {

std::string ReadSource(const std::string& relative)
{
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string AsString(std::span<const uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

TEST(Resources, EmbeddedFilesRoundTripByteForByte)
{
    const auto xml = FindResource("TavoXML", "TEST_STRINGS");
    ASSERT_FALSE(xml.empty());
    EXPECT_EQ(AsString(xml), ReadSource("Data/TestStrings.xml"));

    // Binary content with NUL and high bytes survives.
    const auto image = FindResource("gdiplus", "tiny_image");
    EXPECT_EQ(AsString(image), ReadSource("Data/Tiny.bin"));
    EXPECT_EQ(image.size(), 18u);
}

TEST(Resources, MissingOrEmptyGivesEmptySpan)
{
    EXPECT_TRUE(FindResource("TavoXML", "NO_SUCH").empty());
    EXPECT_TRUE(FindResource("GDIPLUS", "TEST_STRINGS").empty());  // wrong type
    EXPECT_TRUE(FindResource("TavoXML", "EMPTY").empty());
}
