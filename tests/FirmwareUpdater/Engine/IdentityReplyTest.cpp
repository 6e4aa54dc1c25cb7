// The identity reply, the version text it gives and the version compare.

#include "Engine/UpdateEngine.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace EngineTest;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Reply(uint8_t v0, uint8_t v1, uint8_t v2, uint8_t v3, uint8_t deviceId = 0x10)
{
    Bytes reply(37, 0x55);
    reply[0] = 0xF0;
    reply[1] = 0x7E;
    reply[2] = deviceId;
    reply[3] = 0x06;
    reply[4] = 0x02;
    reply[11] = v0;
    reply[12] = v1;
    reply[13] = v2;
    reply[14] = v3;
    reply[36] = 0xF7;
    return reply;
}

bool IsReply(const Bytes& b)
{
    return LUpdateEngine::IsIdentityReply(b.data(), static_cast<uint32_t>(b.size()));
}

TEST(IdentityReply, OnlyThirtySevenBytesWithTheFixedHeader)
{
    EXPECT_TRUE(IsReply(Reply(0, 0, 3, 7)));
    EXPECT_TRUE(IsReply(Reply(0, 0, 3, 7, 0x7F)));
    Bytes noEnd = Reply(0, 0, 3, 7);
    noEnd[36] = 0x00;
    EXPECT_TRUE(IsReply(noEnd));

    EXPECT_FALSE(IsReply(Bytes(noEnd.begin(), noEnd.end() - 1)));
    noEnd.push_back(0xF7);
    EXPECT_FALSE(IsReply(noEnd));
    EXPECT_FALSE(IsReply({}));
    EXPECT_FALSE(LUpdateEngine::IsIdentityReply(nullptr, 37));
    for (size_t offset : {0, 1, 3, 4}) {
        Bytes wrong = Reply(0, 0, 3, 7);
        wrong[offset] ^= 0x01;
        EXPECT_FALSE(IsReply(wrong)) << offset;
    }
}

TEST(IdentityReply, VersionTextTable)
{
    struct Case
    {
        uint8_t v[4];
        const char16_t* text;
    } cases[] = {
        {{0, 0, 0, 0}, u"1.0"},        {{0, 0, 1, 99}, u"1.0"},    {{0, 0, 2, 0}, u"1.0"},
        {{0, 0, 2, 7}, u"1.0"},        {{0, 0, 2, 8}, u"1.1"},     {{0, 0, 2, 127}, u"1.1"},
        {{0, 0, 3, 0}, u"1.1"},        {{0, 0, 3, 2}, u"1.1"},     {{0, 0, 3, 3}, u"1.0.1"},
        {{0, 0, 3, 4}, u"1.1"},        {{0, 0, 3, 5}, u"1.1"},     {{0, 0, 3, 6}, u"1.2"},
        {{0, 0, 3, 7}, u"1.2"},        {{0, 0, 3, 8}, u"Unknown"}, {{0, 0, 3, 127}, u"Unknown"},
        {{0, 0, 4, 0}, u"Unknown"},    {{1, 0, 0, 0}, u"Unknown"}, {{0, 1, 3, 7}, u"Unknown"},
        {{0, 0, 0x80, 0}, u"Unknown"},
    };
    for (const Case& c : cases) {
        Version v;
        v.mText = u"previous";
        LUpdateEngine::ParseIdentityReply(Reply(c.v[0], c.v[1], c.v[2], c.v[3]).data(), v);
        EXPECT_TRUE(v.mText == c.text) << &c - cases << " gave " << NString(v.mText).c_str();
        EXPECT_EQ(c.v[3], v.mNumbers[3] & 0xFF);
    }
    // Version bytes are sign-extended.
    Version v;
    LUpdateEngine::ParseIdentityReply(Reply(0x00, 0x7F, 0x80, 0xFF).data(), v);
    EXPECT_EQ((std::vector<uint32_t>{0, 0x7F, 0xFFFFFF80u, 0xFFFFFFFFu}),
              std::vector<uint32_t>(v.mNumbers, v.mNumbers + 4));
}

TEST(IdentityReply, NewerVersionTable)
{
    struct Case
    {
        Version device;
        Version file;
        bool newer;
    } cases[] = {
        // 0.0.3.3 ranks between 0.0.2.7 and 0.0.2.8.
        {MakeVersion(0, 0, 2, 7), MakeVersion(0, 0, 3, 3), true},
        {MakeVersion(0, 0, 2, 8), MakeVersion(0, 0, 3, 3), false},
        {MakeVersion(0, 0, 1, 9), MakeVersion(0, 0, 3, 3), true},
        {MakeVersion(0, 0, 3, 0), MakeVersion(0, 0, 3, 3), false},
        {MakeVersion(0, 0, 4, 0), MakeVersion(0, 0, 3, 3), false},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 3, 4), true},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 2, 9), true},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 2, 7), false},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 1, 9), false},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 5, 0), true},
        {MakeVersion(0, 0, 3, 3), MakeVersion(0, 0, 3, 3), false},
        // Otherwise the last two numbers in order; the fourth counts here.
        {MakeVersion(0, 0, 3, 7), MakeVersion(0, 0, 3, 7), false},
        {MakeVersion(0, 0, 3, 6), MakeVersion(0, 0, 3, 7), true},
        {MakeVersion(0, 0, 3, 7), MakeVersion(0, 0, 3, 6), false},
        {MakeVersion(0, 0, 2, 9), MakeVersion(0, 0, 3, 0), true},
        // The first two decide before anything else, unsigned.
        {MakeVersion(1, 0, 0, 0), MakeVersion(0, 9, 9, 9), false},
        {MakeVersion(0, 1, 9, 9), MakeVersion(0, 2, 0, 0), true},
        {MakeVersion(0xFFFFFFFFu, 0, 0, 0), MakeVersion(1, 0, 0, 0), false},
        {MakeVersion(0, 0, 3, 3), MakeVersion(1, 0, 0, 0), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.newer, LUpdateEngine::IsVersionNewer(c.device, c.file)) << &c - cases;
    }
}

}  // namespace
