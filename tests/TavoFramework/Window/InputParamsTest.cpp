#include "Window/InputParams.h"
#include "Window/MenuActivationParam.h"

#include <gtest/gtest.h>

namespace {

using namespace Tavo;

TEST(InputParamsTest, TextForms)
{
    EXPECT_EQ(LPointParam::Create(-3, 7)->ToString(), WString(u"point(-3, 7)"));
    EXPECT_EQ(LPointWithModifiersParam::Create(1, 2, 0x2a)->ToString(),
              WString(u"point(1, 2)  modifiers: 0x0000002a"));
    EXPECT_EQ(LMouseButtonParam::Create(4, 5, 6, 1, true, 2)->ToString(),
              WString(u"point(5, 6)  modifiers: 0x00000001"));
    EXPECT_EQ(LMouseWheelParam::Create(1, 2, 0, LMouseWheelParam::kDown)->ToString(),
              WString(u"point(1, 2)  modifiers: 0x00000000  direction: down"));
    for (uint32_t direction : {1u, 2u, 3u})
        EXPECT_EQ(LMouseWheelParam::Create(1, 2, 0, direction)->ToString(),
                  WString(u"point(1, 2)  modifiers: 0x00000000  direction: up"));
    EXPECT_EQ(LKeyParam::Create(KeyCode::FromString(u"Alt+VKEY_F4"))->ToString(), WString(u"Alt+VKEY_F4"));
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

struct Node : LRefCountedObject
{
};

TEST(InputParamsTest, KeyPathKeepsTheControlsThatPassedTheKeyOn)
{
    auto key = LKeyParam::Create(KeyCode(0x20090000u));
    EXPECT_FALSE(key->GetLast<Node>());
    RCPtr<Node> a(new Node), b(new Node);
    key->Add(a);
    key->Add(b);
    EXPECT_EQ(key->GetPathCount(), 2u);
    EXPECT_EQ(key->GetLast<Node>().Get(), b.Get());
    EXPECT_EQ(a->GetRefCount(), 2);
    key = nullptr;
    EXPECT_EQ(a->GetRefCount(), 1);

    auto sibling = LSiblingKeyParam::Create(KeyCode(0x20410000u), a);
    EXPECT_EQ(sibling->mResult, -1);
    EXPECT_EQ(sibling->GetSender<Node>().Get(), a.Get());
}

}  // namespace
