#include "Window/InputParams.h"

#include <gtest/gtest.h>

namespace {

using namespace Tavo;

TEST(InputParamsTest, WheelTextSaysDownOnlyForDirectionZero)
{
    for (uint32_t direction : {0u, 1u, 2u, 3u})
        EXPECT_EQ(LMouseWheelParam::Create(1, 2, 0x2a, direction)->ToString(),
                  WString(direction == 0 ? u"point(1, 2)  modifiers: 0x0000002a  direction: down"
                                         : u"point(1, 2)  modifiers: 0x0000002a  direction: up"));
}

TEST(InputParamsTest, KeyPressNeedsAVirtualKeyGoingDownAndAKey)
{
    struct Case
    {
        uint32_t code;
        bool press;
    } cases[] = {
        {0x20090000u, true},   // Tab going down
        {0x22090000u, true},   // with Shift
        {0x00090000u, false},  // Tab going up
        {0xA0090000u, false},  // no-key bit
        {0x20000009u, false},  // the Tab character, not the key
        {0x20000000u, false},  // the empty code
    };
    for (const Case& c : cases) {
        auto key = LKeyParam::Create(KeyCode(c.code));
        EXPECT_EQ(key->IsKeyPress(), c.press) << std::hex << c.code;
        EXPECT_EQ(key->IsKeyPress(9), c.press) << std::hex << c.code;
        EXPECT_FALSE(key->IsKeyPress(0x73)) << std::hex << c.code;
    }
}

}  // namespace
