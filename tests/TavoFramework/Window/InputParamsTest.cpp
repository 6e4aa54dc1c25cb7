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
        {KeyCode::PressCode(VKey::kTab), true},
        {KeyCode::PressCode(VKey::kTab, KeyCode::kShift), true},
        {KeyCode::PressCode(VKey::kTab) & ~KeyCode::kKeyDown, false},  // Tab going up
        {KeyCode::PressCode(VKey::kTab) | KeyCode::kNoKey, false},
        {KeyCode::kKeyDown | u'\t', false},  // the Tab character, not the key
        {KeyCode::kKeyDown, false},          // the empty code
    };
    for (const Case& c : cases) {
        auto key = LKeyParam::Create(KeyCode(c.code));
        EXPECT_EQ(key->IsKeyPress(), c.press) << std::hex << c.code;
        EXPECT_EQ(key->IsKeyPress(VKey::kTab), c.press) << std::hex << c.code;
        EXPECT_FALSE(key->IsKeyPress(VKey::F(4))) << std::hex << c.code;
    }
}

}  // namespace
