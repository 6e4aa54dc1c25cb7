// Connection-status polling of watched ports.

#include "Midi/MidiComm.h"
#include "Midi/MidiDeviceStatusChecker.h"
#include "MidiTestClient.h"
#include "Notification/NotificationCenter.h"
#include "Platform/Midi/MidiBus.h"

#include <gtest/gtest.h>

using namespace MidiFwTest;
using Tavo::Platform::Midi::MidiBus;

namespace {

struct Change
{
    bool input;
    std::u16string name;
    uint32_t status;
    bool operator==(const Change&) const = default;
};

class StatusClient : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& notification) override
    {
        auto data = RCPtrDynamicCast<LMidiDeviceConnectionStatusChangedNotification>(notification->GetData());
        if (data)
            changes.push_back({notification->GetID() == GetNotificationID(kMidiInputConnectionChangedName),
                               data->GetName().c_str(), data->GetStatus()});
        return S_OK;
    }
    std::vector<Change> changes;
};

class Checker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mCenter = GetMainNotificationCenter();
        ASSERT_TRUE(mCenter);
        mStatus->Subscribe(mCenter, kMidiInputConnectionChangedName);
        mStatus->Subscribe(mCenter, kMidiOutputConnectionChangedName);
    }
    void TearDown() override
    {
        mCenter->Process(false);
        mStatus->UnsubscribeAll();
        Tavo::Platform::Midi::SetMidiBackend(nullptr);
    }

    // What the checker posted since the last look.
    std::vector<Change> Posted()
    {
        mCenter->Process(false);
        return std::exchange(mStatus->changes, {});
    }

    std::shared_ptr<MidiBus> mBus = MidiBus::Install();
    RCPtr<LMidiCommInterface> mService = LMidiComm::Create();
    RCPtr<LMidiDeviceStatusChecker> mChecker = LMidiDeviceStatusChecker::Create(mService);
    RCPtr<LNotificationCenter> mCenter;
    RCPtr<StatusClient> mStatus = RCPtr<StatusClient>(new StatusClient);
};

}  // namespace

TEST_F(Checker, ChangesArePostedAndAMissingInputSkipsTheOutputs)
{
    auto in = mBus->PlugInput(u"Mixer In");
    auto out = mBus->PlugOutput(u"Mixer Out");
    mChecker->SetInputDevices(WString(u"Mixer In"));
    mChecker->SetOutputDevices(WString(u"Mixer Out"));
    EXPECT_TRUE(mChecker->Poll());

    mBus->Unplug(in);
    mBus->Unplug(out);
    EXPECT_FALSE(mChecker->Poll());
    EXPECT_EQ(Posted(), (std::vector<Change>{{true, u"Mixer In", 1}}));
    EXPECT_TRUE(mChecker->GetOutputs()[0].connected);  // not looked at

    mBus->PlugInput(u"Mixer In");
    EXPECT_FALSE(mChecker->Poll());
    EXPECT_EQ(Posted(), (std::vector<Change>{{true, u"Mixer In", 0}, {false, u"Mixer Out", 1}}));

    mBus->PlugOutput(u"Mixer Out");
    EXPECT_TRUE(mChecker->Poll());
    EXPECT_EQ(Posted(), (std::vector<Change>{{false, u"Mixer Out", 0}}));
    EXPECT_TRUE(mChecker->Poll());
    EXPECT_TRUE(Posted().empty());
}

TEST_F(Checker, RepeatedNamesAreWatchedEachOnItsOwn)
{
    WStringArray names;
    names.Add(WString(u"Synth"));
    names.Add(WString(u"Synth"));
    mChecker->SetInputDeviceList(names);
    EXPECT_FALSE(mChecker->Poll());
    auto device = mBus->PlugInput(u"Synth");
    EXPECT_TRUE(mChecker->Poll());
    EXPECT_EQ(Posted(), (std::vector<Change>{{true, u"Synth", 0}, {true, u"Synth", 0}}));
    mBus->Unplug(device);
    EXPECT_FALSE(mChecker->Poll());
    EXPECT_EQ(Posted().size(), 2u);
}
