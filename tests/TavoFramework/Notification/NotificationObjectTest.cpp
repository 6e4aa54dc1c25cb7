#include "Notification/Notification.h"
#include "Notification/NotificationParams.h"

#include <gtest/gtest.h>

#include "TestClients.h"

using namespace Tavo;
using namespace TavoTest;

namespace {

TEST(NotificationIdTest, InterningIsStableExactAndIdempotent)
{
    LNotificationId idle = GetNotificationID(u"NID_IDLE");
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(GetNotificationID(u"NID_IDLE"), idle);
    // A copy of the text in other memory maps to the same id.
    char16_t copy[] = u"NID_IDLE";
    EXPECT_EQ(GetNotificationID(copy), idle);
    EXPECT_EQ(GetNotificationID(idle), idle);
    EXPECT_EQ(std::u16string(idle), u"NID_IDLE");
    EXPECT_NE(GetNotificationID(u"nid_idle"), idle);
    EXPECT_EQ(GetNotificationID(u""), nullptr);
    EXPECT_EQ(GetNotificationID(nullptr), nullptr);
}

TEST(NotificationTest, PooledNotificationIsReusedWithItsOldDataReleased)
{
    PoolingOn pooling;
    std::atomic<int> destroyed{0};
    RCPtr<LNotification> n = LNotification::Create(u"NID_LEFT_CLICK", CountedData::Create(&destroyed));
    LNotification* address = n.Get();
    n = nullptr;
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(LNotification::GetPoolCount(), 1u);

    auto data = LValueParam::Create(0.25, 3);
    RCPtr<LNotification> again = LNotification::Create(u"NID_RIGHT_CLICK", data);
    EXPECT_EQ(again.Get(), address);
    EXPECT_EQ(again->GetID(), GetNotificationID(u"NID_RIGHT_CLICK"));
    EXPECT_EQ(again->GetData().Get(), static_cast<const LRefCountedObject*>(data.Get()));
    EXPECT_EQ(again->GetRefCount(), 1);
    EXPECT_EQ(LNotification::GetPoolCount(), 0u);
}

TEST(NotificationParamsTest, TextFormsAndPooledAllocation)
{
    EXPECT_EQ(LValueParam::Create(0.5, 50)->ToString(), WString(u"ValueParam = 0.500000"));
    EXPECT_EQ(LConditionsParam::Create(3, 1, 1.5, 2)->ToString(), WString(u"(1.5, 2)"));

    // Freed blocks come back from the pool.
    LValueParam* first = LValueParam::Create(0, 0).Get();
    EXPECT_EQ(LValueParam::Create(1, 1).Get(), first);
}

}  // namespace
