#include "Platform/Kernel/Resources.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>

using namespace Tavo::Platform;

TEST(Resources, EmbeddedFilesRoundTripAndMissingOnesAreEmpty)
{
    // Binary content with NUL and high bytes survives; type and name ignore case.
    const std::array<const char*, 3> cases[] = {{"TavoXML", "TEST_STRINGS", "Data/TestStrings.xml"},
                                                {"gdiplus", "tiny_image", "Data/Tiny.bin"},
                                                {"TavoXML", "NO_SUCH", "Data/Empty.bin"},
                                                {"GDIPLUS", "TEST_STRINGS", "Data/Empty.bin"},
                                                {"TavoXML", "EMPTY", "Data/Empty.bin"}};
    for (const auto& [type, name, file] : cases) {
        SCOPED_TRACE(name);
        const auto bytes = FindResource(type, name);
        std::ifstream in(std::string(TEST_SOURCE_DIR) + "/" + file, std::ios::binary);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                  std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
}
