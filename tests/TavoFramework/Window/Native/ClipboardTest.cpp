#include "Platform/Window/FakeWindowSystem.h"
#include "Window/Native/Clipboard.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

class ClipboardTest : public ::testing::Test
{
protected:
    Platform::Window::FakeWindowSystem system;
    RCPtr<LClipboard> clipboard = LClipboard::Create(&system);
};

TEST_F(ClipboardTest, OwnTextComesBackAsTheSameObjectUntilAnotherProgramWrites)
{
    const RCPtr<LTaggableObject> text = CreateClipboardText(u"Gr\u00fc\u00dfe");
    EXPECT_EQ(clipboard->SetData(text), S_OK);
    EXPECT_EQ(system.ReadClipboardText(0), std::optional<std::u16string>(u"Gr\u00fc\u00dfe"));
    EXPECT_EQ(clipboard->GetData().Get(), text.Get());

    system.SetForeignClipboard(u"from elsewhere");
    const RCPtr<LTaggableObject> pasted = clipboard->GetData();
    ASSERT_TRUE(GetClipboardText(pasted));
    EXPECT_TRUE(*GetClipboardText(pasted) == u"from elsewhere");

    system.SetForeignClipboard(std::nullopt);  // another program's non-text
    EXPECT_FALSE(clipboard->GetData());
}

TEST_F(ClipboardTest, OtherObjectsStayInTheProgramBehindThePrivateTarget)
{
    const RCPtr<LTaggableObject> object(new LTaggableObject);
    EXPECT_EQ(clipboard->SetData(object), S_OK);
    EXPECT_TRUE(system.ClipboardHasPrivate());
    EXPECT_EQ(system.ReadClipboardText(0), std::nullopt);
    EXPECT_EQ(clipboard->GetData().Get(), object.Get());

    // Losing the clipboard forgets the object; the next copy works as usual.
    system.SetForeignClipboard(u"x");
    EXPECT_EQ(clipboard->SetData(RCPtr<LTaggableObject>()), S_OK);
    EXPECT_FALSE(clipboard->GetHeldData());
    EXPECT_EQ(clipboard->SetData(CreateClipboardText(u"again")), S_OK);
    EXPECT_TRUE(*GetClipboardText(clipboard->GetData()) == u"again");
}

TEST_F(ClipboardTest, EditRequestsGoThroughTheRouter)
{
    std::vector<std::pair<int32_t, bool>> calls;
    LClipboard::SetEditRouter([&](int32_t kind, bool perform) {
        calls.emplace_back(kind, perform);
        return kind == kEditPaste ? S_OK : S_FALSE;
    });
    EXPECT_TRUE(CanPerformEditOnFocus(kEditPaste));
    EXPECT_FALSE(CanPerformEditOnFocus(kEditCut));
    EXPECT_EQ(PerformEditOnFocus(kEditCopy), S_FALSE);
    EXPECT_EQ(calls, (std::vector<std::pair<int32_t, bool>>{{3, false}, {1, false}, {2, true}}));
    LClipboard::SetEditRouter(nullptr);
    EXPECT_EQ(PerformEditOnFocus(kEditCopy), S_FALSE);
}

}  // namespace
