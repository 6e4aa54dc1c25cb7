#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "tests/Common/FakeRootWindow.h"
#include "Notification/NotificationParams.h"
#include "Window/InputParams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Tavo;

namespace
{

RCPtr<LControl> Make(const RCPtr<LControl>& parent, const char16_t* name)
{
    return RCPtr<LControl>(new LControl(parent, name));
}

std::string What(const std::function<void()>& f)
{
    try
    {
        f();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "";
}

// Records the notifications a control sends, in order.
class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        names.push_back(std::u16string(n->GetID()));
        data.push_back(n->GetData());
        return S_OK;
    }
    std::vector<std::u16string> names;
    std::vector<ConstRCPtr<LRefCountedObject>> data;
};

TEST(ControlTree, ChildListRefusesDuplicateNamesAndChecksIndices)
{
    auto parent = Make(nullptr, u"parent");
    auto a = Make(parent, u"a");
    auto b = Make(parent, u"b");
    auto twin = Make(parent, u"a");
    ASSERT_EQ(parent->GetChildren().Count(), 2u);
    EXPECT_EQ(twin->GetParent(), nullptr);
    EXPECT_EQ(parent->GetChildren().GetAt(0).Get(), a.Get());
    EXPECT_EQ(parent->GetChildren().Add(twin), E_FAIL);
    EXPECT_EQ(parent->GetChildren().Add(nullptr), E_INVALIDARG);
    EXPECT_EQ(What([&] { parent->GetChildren().GetAt(2, 0); }),
              "Runtime Error : Tavo::LControl::ChildControlList::GetAt : ControlBase\\Control : Line 3330");
    EXPECT_EQ(What([&] { parent->GetChildren().GetAt(0, 3); }),
              "Runtime Error : Tavo::LControl::ChildControlList::GetAt : ControlBase\\Control : Line 3350");
    EXPECT_EQ(b->SetParent(nullptr), S_OK);
    EXPECT_EQ(parent->GetChildren().Count(), 1u);
}

} // namespace
