#include "Notification/NotificationHandler.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include "TestClients.h"

using namespace Tavo;
using namespace TavoTest;

namespace TavoTest {

using Sender = RCPtr<LNotificationDistributor>;
using Note = RCPtr<LNotification>;

// A window-like client with a handler table, dispatching the way widgets do.
class Window : public LNotificationClient
{
public:
    static RCPtr<Window> Create() { return RCPtr<Window>(new Window); }
    TavoResult ReceiveNotification(const Sender& sender, const Note& notification) override
    {
        return mHandlers->DispatchNotification(sender, notification);
    }
    TavoResult Unsubscribe(const Sender& distributor, const char16_t* name) override
    {
        mHandlers->RemoveHandler(distributor, name);
        return LNotificationClient::Unsubscribe(distributor, name);
    }
    TavoResult OnFirst(const Sender&, const Note&) { return mLog.Add("first"), 1; }
    TavoResult OnSecond(const Sender&, const Note&) { return mLog.Add("second"), 1; }
    TavoResult OnAny(const Sender& sender, const Note&) { return mLog.Add(sender ? "any" : "any/none"), 1; }

    // Lets a test make the next subscription fail.
    int32_t AddRef() override
    {
        if (mRefuseReferences)
            throw std::runtime_error("refused");
        return LNotificationClient::AddRef();
    }

    bool mRefuseReferences = false;
    RCPtr<LNotificationHandler<Window>> mHandlers = LNotificationHandler<Window>::Create(this);
    CallLog mLog;
};

}  // namespace TavoTest

namespace {

using Calls = std::vector<std::string>;

TEST(HandlerTest, DispatchesBySenderAndIdWithAnySenderAsFallback)
{
    auto window = Window::Create();
    auto button1 = CountedDistributor::Create(), button2 = CountedDistributor::Create();
    auto other = CountedDistributor::Create();
    auto& table = *window->mHandlers;
    table.AddHandler(&Window::OnFirst, button1, u"NID_LEFT_CLICK");
    table.AddHandler(&Window::OnSecond, button2, u"NID_LEFT_CLICK");
    // The first operation for a key stays.
    EXPECT_EQ(table.AddHandler(&Window::OnSecond, button1, u"NID_LEFT_CLICK"), S_OK);
    table.AddHandler(&Window::OnAny, nullptr, u"NID_LEFT_CLICK");
    table.AddHandler(&Window::OnAny, nullptr, u"NID_SIMULATE_CLICK");
    EXPECT_EQ(table.AddHandler(&Window::OnAny, button1, u""), E_FAIL);
    EXPECT_EQ(window->GetRegistrationCount(), 2);

    auto click = LNotification::Create(u"NID_LEFT_CLICK");
    button2->SendNotification(click);
    button1->SendNotification(click);
    // Sent straight to the receiver with no sender, or by a sender that has
    // no entry of its own.
    EXPECT_EQ(window->ReceiveNotification(nullptr, LNotification::Create(u"NID_SIMULATE_CLICK")), 1);
    EXPECT_EQ(window->ReceiveNotification(other, click), 1);
    EXPECT_EQ(window->mLog.Take(), (Calls{"second", "first", "any/none", "any"}));
    EXPECT_EQ(table.DispatchNotification(button1, LNotification::Create(u"NID_RIGHT_CLICK")), 0);
    EXPECT_EQ(table.FindHandler(other, u"NID_LEFT_CLICK"), nullptr);

    // Dropping a distributor's clients clears their entries through Unsubscribe.
    button2->RemoveAllClients();
    EXPECT_EQ(window->GetRegistrationCount(), 1);
    EXPECT_EQ(window->ReceiveNotification(button2, click), 1);
    EXPECT_EQ(window->mLog.Take(), (Calls{"any"}));
}

TEST(HandlerTest, DisablerTakesOneEntryOutForItsScope)
{
    auto window = Window::Create();
    auto bar = CountedDistributor::Create();
    auto& table = *window->mHandlers;
    table.AddHandler(&Window::OnFirst, bar, u"NID_VALUE_CHANGE", 4);
    table.AddHandler(&Window::OnSecond, bar, u"NID_SCROLL_OFFSET_CHANGE");
    auto change = LNotification::Create(u"NID_VALUE_CHANGE");
    {
        CAutoNotificationDisabler<Window> off(window->mHandlers, bar, u"NID_VALUE_CHANGE");
        EXPECT_EQ(bar->SendNotification(change), S_FALSE);
        EXPECT_EQ(window->GetRegistrationCount(), 1);
        bar->SendNotification(LNotification::Create(u"NID_SCROLL_OFFSET_CHANGE"));
    }
    bar->SendNotification(change);
    EXPECT_EQ(window->mLog.Take(), (Calls{"second", "first"}));
    // Restored with its flags.
    TavoResult (Window::*operation)(const Sender&, const Note&) = nullptr;
    uint32_t flags = 0;
    table.GetHandler(bar, u"NID_VALUE_CHANGE", operation, flags);
    EXPECT_EQ(flags, 4u);
}

std::vector<std::string>* gFaults;
void CollectFault(const std::string& message)
{
    gFaults->push_back(message);
}

TEST(HandlerTest, DisablerFailuresThrowOnEntryAndAreReportedOnExit)
{
    auto window = Window::Create();
    auto bar = CountedDistributor::Create();
    EXPECT_EQ(
        ThrownText<FailedResultException>(
            [&] { CAutoNotificationDisabler<Window> off(window->mHandlers, bar, u"NID_VALUE_CHANGE"); }),
        "Failed Result : TAVORESULT = 80004005 : Tavo::CAutoNotificationDisabler<class TavoTest::Window>"
        "::CAutoNotificationDisabler : notification\\NotificationHandler : Line 247");

    // A failure to restore ends the scope normally and is reported.
    std::vector<std::string> faults;
    gFaults = &faults;
    SetNotificationFaultHook(&CollectFault);
    window->mHandlers->AddHandler(&Window::OnFirst, bar, u"NID_VALUE_CHANGE");
    {
        CAutoNotificationDisabler<Window> off(window->mHandlers, bar, u"NID_VALUE_CHANGE");
        window->mRefuseReferences = true;
    }
    window->mRefuseReferences = false;
    SetNotificationFaultHook(nullptr);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_TRUE(faults[0].starts_with(
        "Failed Result : TAVORESULT = 80004005 : Tavo::CAutoNotificationDisabler<class TavoTest::Window>"
        "::~CAutoNotificationDisabler : notification\\NotificationHandler : Line 253"))
        << faults[0];
    EXPECT_EQ(window->mHandlers->GetHandlerCount(), 0u);
    EXPECT_EQ(window->GetRegistrationCount(), 0);
}

}  // namespace
