#include <gtest/gtest.h>

#include "Platform/Kernel/AtomicFile.h"
#include "tests/Common/TestScope.h"

#include <string>
#include <vector>

using namespace Tavo::Platform;

namespace {

std::vector<std::string> Lines(std::string_view text, size_t stopAfter = 100)
{
    std::vector<std::string> out;
    ForEachLine(text, [&](std::string_view line) {
        out.emplace_back(line);
        return out.size() < stopAfter;
    });
    return out;
}

}  // namespace

TEST(AtomicFile, LinesSplitAsGetlineWould)
{
    using V = std::vector<std::string>;
    const struct
    {
        std::string_view text;
        V lines;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\nb", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\nb\r\n", {"a\r", "b\r"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << testing::PrintToString(std::string(c.text));
    EXPECT_EQ(Lines("a\nb\nc\n", 2), (V{"a", "b"}));
}

TEST(AtomicFile, WrittenContentsReadBackWholeAndWithinTheLimit)
{
    TestFolder dir;
    const std::string path = dir / "file";
    std::string read;
    for (const bool durable : {true, false}) {
        const std::string text(70000, durable ? 'd' : 'r');  // more than one read
        ASSERT_TRUE(WriteFileAtomically(path, text, 0600, durable));
        ASSERT_TRUE(ReadWholeFile(path, read, text.size()));
        EXPECT_EQ(read, text);
        EXPECT_FALSE(ReadWholeFile(path, read, text.size() - 1));
        EXPECT_TRUE(read.empty());
    }
    EXPECT_FALSE(WriteFileAtomically(dir / "missing/file", "x"));
    EXPECT_FALSE(ReadWholeFile(dir / "missing/file", read, 10));
}
