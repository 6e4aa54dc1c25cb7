#include "Application/AppClock.h"
#include "Application/FrameworkApp.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/Button.h"
#include "Controls/Label.h"
#include "Controls/ProgressBar.h"
#include "Engine/UpdateNotificationData.h"
#include "UI/MainControl.h"
#include "UI/UiDump.h"
#include "tests/Common/FakeRootWindow.h"
#include "tests/Common/TempFolder.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

using namespace Tavo;
using Engine = LUpdateEngineInterface;

namespace {

const std::filesystem::path kSource = TAVO_SOURCE_DIR;

// An engine whose states and answers the test sets.
class StateEngine : public LUpdateEngineInterface
{
public:
    bool IsFileNewerThanDevice() override { return newer; }
    TavoResult GetCannotUpdateReason(uint32_t* r) override { return *r = reason, S_OK; }
    TavoResult GetDeviceFirmwareVersionText(WString& text) override { return text = deviceVersion, S_OK; }
    TavoResult GetFileFirmwareVersionText(WString& text) override { return text = u"1.2.0", S_OK; }
    TavoResult RequestUpdateMode() override
    {
        ++requests;
        SetDeviceState(kDeviceEnteringUpdateMode);
        return S_OK;
    }
    TavoResult StartUpdate() override
    {
        ++starts;
        SetDeviceState(kDeviceUpdating);  // the worker marks the transfer running later
        return S_OK;
    }
    TavoResult ScanForDevices() override { return ++scans, S_OK; }
    TavoResult GetFoundDevices(Tavo::Array<DeviceDefinition>&) override { return S_OK; }
    TavoResult RefreshDeviceState() override { return S_OK; }
    TavoResult EnterUpdateMode() override { return S_OK; }
    TavoResult AbortUpdate() override { return S_OK; }
    TavoResult BuildFoundDeviceList() override { return S_OK; }
    uint32_t GetFoundDeviceCount() override { return 1; }
    bool IsDeviceInUpdateMode(uint32_t) override { return false; }
    TavoResult GetDeviceCannotUpdateReason(uint32_t, uint32_t*) override { return S_OK; }
    TavoResult GetDeviceFirmwareVersion(uint32_t, FirmwareVersion&) override { return S_OK; }
    TavoResult PerformUpdate() override { return S_OK; }

    bool newer = true;
    uint32_t reason = 0;
    WString deviceVersion = u"1.1.0";
    int requests = 0, starts = 0, scans = 0;
};

RCPtr<LUpdateProcessor> gProcessor;

void CreateWithProcessor(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                         const RCPtr<LControlDescriptor>& descriptor)
{
    result = LMainControl::Create(parent, descriptor, gProcessor);
}

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class MainControlTest : public ::testing::Test
{
protected:
    // The product's skin and texts; drop names a child the skin loses, add
    // is a child put before the version label.
    void Load(const std::string& drop = {}, const std::string& add = {})
    {
        std::string skin = ReadFile(kSource / "FirmwareUpdater/Resources/Skins.xml");
        if (!add.empty())
            skin.insert(skin.find("<SubControl Class=\"Framework.Label\" Name=\"updaterVersionLabel\""), add);
        if (!drop.empty()) {
            const size_t at = skin.find("Name=\"" + drop + "\"");
            ASSERT_NE(at, std::string::npos);
            skin.replace(at, 6 + drop.size() + 1, "Name=\"gone\"");
        }
        mFolder.Write("Skins.xml", skin);
        mFolder.Write("StringTables.xml", ReadFile(kSource / "FirmwareUpdater/Resources/StringTables.xml"));
        mFolder.Write("FrameworkStrings.xml",
                      ReadFile(kSource / "TavoFramework/Resources/FrameworkStrings.xml"));
        mFactory = LControlFactory::Create(u"Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater");
        ControlEnvironment().factory = mFactory;
        mFactory->RegisterControlClass(u"Framework.Button", &LButton::Create);
        mFactory->RegisterControlClass(u"Framework.Label", &LLabel::Create);
        mFactory->RegisterControlClass(u"Framework.ProgressBar", &LProgressBar::Create);
        mFactory->RegisterControlClass(u"FirmwareUpdater.MainControl", &CreateWithProcessor);
        // The first registration of a name stays; plain controls stand in for the rest.
        for (const ControlClassRow& row : FrameworkControlClasses())
            mFactory->RegisterControlClass(row.name, row.create ? row.create : &LControl::CreateT<LControl>);
        ASSERT_EQ(mFactory->LoadResources(mFolder.WPath(), 0x0409), S_OK);
        mEngine = RCPtr<StateEngine>(new StateEngine());
        mEngine->SetNotify(false);
        gProcessor = RCPtr<LUpdateProcessor>(new LUpdateProcessor(mEngine, 1000));
        gProcessor->SetAlwaysUpdate(true);
        mWindow = FakeRootWindow::Create();
        mWindow->SetClientRect({0, 0, 420, 360});
    }
    void Create()
    {
        mMain = RCPtrDynamicCast<LMainControl>(
            mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get()));
        ASSERT_TRUE(mMain);
    }
    void TearDown() override
    {
        if (mMain)
            mMain->ReleaseInternalReferences();
        gProcessor = nullptr;
        ControlEnvironment().factory = nullptr;
    }
    std::set<std::u16string> Visible()
    {
        std::set<std::u16string> names;
        for (uint32_t i = 0; i < mMain->GetChildren().Count(); ++i)
            if (const RCPtr<LControl>& c = mMain->GetChildren().GetAt(i);
                c->IsShown(false) && c->GetName() != u"updaterVersionLabel" &&
                c->GetName() != u"titleLabel" && c->GetName() != u"headerPanel")
                names.insert(std::u16string(c->GetName().c_str()));
        return names;
    }
    WString Text(const char16_t* child) { return mMain->FindChildByName(child)->GetText(); }
    WString TableText(const char16_t* child, const char16_t* id)
    {
        WString text;
        mMain->FindChildByName(child)->GetStringTable()->FindString(id, text);
        return text;
    }

    TempFolder mFolder;
    ManualAppClock mClock;
    ScopedAppClock mClockScope{mClock};
    RCPtr<LControlFactory> mFactory;
    RCPtr<StateEngine> mEngine;
    RCPtr<FakeRootWindow> mWindow;
    RCPtr<LMainControl> mMain;
};

}  // namespace

TEST_F(MainControlTest, StatesChooseTextsAndVisibleChildren)
{
    using N = std::u16string;
    const N info = u"labelDeviceInformation", file = u"labelFileFirmwareVersion",
            dev = u"labelDeviceFirmwareVersion", proc = u"labelUpdateProcessInformation",
            upd = u"buttonUpdateFirmware", exit = u"buttonExit", note = u"labelDeviceCannotUpdateError",
            reinit = u"buttonReinitialize", scan = u"buttonScanForDevice",
            ready = u"buttonManualDeviceReadyForUpdateButton", bad = u"labelFirmwareFileInformation",
            bar = u"progressBar", rescan = u"buttonManualDeviceHasUpdatedRescanButton";
    const char16_t* none = u"DEVICE_CANNOT_BE_UPDATED_NO_REASON";
    // Update, device and file states, newer file, downgrades allowed, reason; the children shown and
    // the texts of the process label and the cannot-update note, by id without "LABEL_".
    struct Case
    {
        int32_t u, d, f;
        bool newer, always;
        uint32_t reason;
        std::set<std::u16string> visible;
        const char16_t *processId, *cannotId;
    } const cases[] = {
        {0, 5, 3, 1, 0, 0, {info, file, dev, proc, upd, exit}, u"READY_FOR_UPDATE", none},
        // Same or older file with downgrades refused: no update, only the note.
        {0, 5, 3, 0, 0, 0, {file, dev, note, exit}, u"READY_FOR_DOWNGRADE_UPDATE", u"UPDATE_NOT_NEEDED"},
        // The start-up default allows it, with the warning.
        {0, 5, 3, 0, 1, 0, {info, file, dev, proc, upd, exit}, u"READY_FOR_DOWNGRADE_UPDATE", none},
        {0, 6, 3, 1, 1, 0, {info, file, dev, proc, ready}, u"UPDATE_TRANSITIONING_TO_UPDATE_MODE", none},
        {0, 1, 3, 1, 1, 0, {info, file, scan, exit}, u"READY_FOR_UPDATE", none},
        // In update mode already: the update button starts the transfer.
        {0, 7, 3, 1, 1, 0, {info, file, proc, upd, exit}, u"READY_FOR_UPDATE", none},
        // A file of unknown version still lets the user try again.
        {0, 4, 2, 1, 1, 0, {note, reinit, exit}, u"READY_FOR_UPDATE", none},
        {0, 4, 3, 1, 1, 1, {file, note, reinit, exit}, u"READY_FOR_UPDATE", u"DRIVER_IS_TOO_OLD"},
        {0, 5, 1, 1, 1, 0, {bad, exit}, u"READY_FOR_UPDATE", none},
        {1, 8, 3, 1, 1, 0, {proc, file, bar}, u"UPDATE_IN_PROGRESS", none},
        {2,
         8,
         3,
         1,
         1,
         4,
         {bad, file, exit, reinit, note},
         u"UPDATE_IN_PROGRESS",
         u"DEVICE_DEVICE_ACCESS_FAILURE"},
        {3, 5, 3, 1, 1, 0, {proc, file, dev, exit, reinit}, u"UPDATE_ABORTED", none},
        // Completed, device not yet back: the flag is clear here.
        {4, 8, 3, 1, 1, 0, {proc, file, exit, reinit, rescan}, u"UPDATE_SUCESS_UNKNOWN", none},
        {4, 5, 3, 0, 1, 0, {proc, file, dev, exit}, u"UPDATE_SUCCEEDED", none},
        {4, 5, 3, 1, 1, 0, {proc, file, dev, exit, reinit}, u"UPDATE_SENT_BUT_NOT_SUCCESSFUL", none},
    };
    Load();
    Create();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "u=" << c.u << " d=" << c.d << " f=" << c.f << " newer=" << c.newer);
        mEngine->newer = c.newer;
        mEngine->reason = c.reason;
        gProcessor->SetAlwaysUpdate(c.always);
        mEngine->SetDeviceState(c.d);
        mEngine->SetFileState(c.f);
        mEngine->SetUpdateState(c.u);
        // The process label keeps its text in state 2: start from a known one.
        mMain->UpdateControls(1, c.d, c.f);
        mMain->UpdateControls(c.u, c.d, c.f);
        EXPECT_EQ(Visible(), c.visible);
        EXPECT_EQ(Text(u"labelUpdateProcessInformation"),
                  TableText(u"labelUpdateProcessInformation", (u"LABEL_" + N(c.processId)).c_str()));
        EXPECT_EQ(Text(u"labelDeviceCannotUpdateError"),
                  TableText(u"labelDeviceCannotUpdateError", (u"LABEL_" + N(c.cannotId)).c_str()));
    }
}

TEST_F(MainControlTest, ProductTextsForDeviceFileAndVersions)
{
    Load();
    mEngine->SetDeviceState(Engine::kDeviceNoneFound);
    mEngine->SetFileState(Engine::kFileValid);
    Create();
    EXPECT_EQ(
        Text(u"labelDeviceInformation"),
        u"K620 ZENTA device not found.\nPlug in the K620 ZENTA and click the \"SCAN FOR DEVICE\" button.");
    EXPECT_EQ(Text(u"labelFileFirmwareVersion"), u"Update to firmware version: 1.2.0");
    EXPECT_EQ(Text(u"labelDeviceFirmwareVersion"), u"Device's current firmware version: 1.1.0");
    mMain->UpdateControls(0, 5, 1);
    EXPECT_EQ(Text(u"labelFirmwareFileInformation"), u"The firmware update file is missing or invalid.");
    EXPECT_EQ(Text(u"labelDeviceInformation"), u"  ");
    // States without a text keep the current one.
    mMain->UpdateControls(0, 4, 7);
    EXPECT_EQ(Text(u"labelDeviceInformation"), u"  ");
    EXPECT_EQ(Text(u"labelFirmwareFileInformation"), u"The firmware update file is missing or invalid.");
}

TEST_F(MainControlTest, UpdateButtonShowsInstructionsThenRunningLayout)
{
    Load();
    mEngine->SetDeviceState(Engine::kDeviceNormalMode);
    mEngine->SetFileState(Engine::kFileValid);
    Create();
    mMain->StartUpdateSequence();
    EXPECT_EQ(mEngine->requests, 1);
    EXPECT_EQ(mEngine->starts, 0);
    EXPECT_TRUE(Visible().count(u"buttonManualDeviceReadyForUpdateButton"));
    EXPECT_FALSE(Visible().count(u"buttonExit"));

    // The user's part: the device reports update mode; NEXT starts the transfer.
    mEngine->SetDeviceState(Engine::kDeviceInUpdateMode);
    mMain->OnDeviceReadyForUpdateClick(nullptr, nullptr);
    EXPECT_EQ(mEngine->starts, 1);
    EXPECT_TRUE(mMain->IsUpdateStarted());
    // The worker has not yet marked the transfer running; the window already
    // shows it so.
    const std::set<std::u16string> running{u"labelUpdateProcessInformation", u"labelFileFirmwareVersion",
                                           u"progressBar"};
    EXPECT_EQ(Visible(), running);
    // So does the device's "updating" notice when it comes first.
    RCPtr<LNotification> n = LNotification::Create(
        kDeviceStateChangeName,
        ConstRCPtr<LRefCountedObject>(new LDeviceStateChangeNotificationData(Engine::kDeviceUpdating, 5)));
    mMain->OnDeviceStateChangeNotification(nullptr, n);
    EXPECT_EQ(Visible(), running);

    // Without a valid file the button does nothing at all.
    mEngine->SetFileState(Engine::kFileMissing);
    mEngine->SetDeviceState(Engine::kDeviceNormalMode);
    mMain->StartUpdateSequence();
    EXPECT_EQ(mEngine->requests, 1);
}

TEST_F(MainControlTest, MissingRequiredChildNamesItAndItsLine)
{
    const std::pair<const char*, int> cases[] = {{"labelFileFirmwareVersion", 125},
                                                 {"updaterVersionLabel", 140},
                                                 {"buttonExit", 75},
                                                 {"progressBar", 134}};
    for (auto [child, line] : cases) {
        SCOPED_TRACE(child);
        TearDown();
        Load(child);
        EXPECT_EQ(ThrownText([&] { mFactory->CreateControlFromDescriptor(u"mainControl", mWindow.Get()); }),
                  "Runtime Error : Null Pointer : LMainControl couldn't find " + std::string(child) +
                      " : Tavo::LMainControl::Initialize : UI\\MainControl : Line " + std::to_string(line));
    }
}

TEST_F(MainControlTest, WithoutScanButtonNoDeviceScansAgain)
{
    Load("buttonScanForDevice");
    mEngine->SetDeviceState(Engine::kDeviceNoneFound);
    mEngine->SetFileState(Engine::kFileValid);
    Create();
    RCPtr<LNotification> n = LNotification::Create(
        kDeviceStateChangeName,
        ConstRCPtr<LRefCountedObject>(new LDeviceStateChangeNotificationData(Engine::kDeviceNoneFound, 2)));
    EXPECT_EQ(mMain->OnDeviceStateChangeNotification(nullptr, n), 1);
    EXPECT_EQ(mEngine->scans, 1);
}

TEST_F(MainControlTest, TransitionAnimationHoldsOneIdleRequest)
{
    Load({}, R"(<SubControl Class="Framework.ProgressBar" Name="controlTransitioningToUpdateMode"/>)");
    mEngine->SetDeviceState(Engine::kDeviceEnteringUpdateMode);
    mEngine->SetFileState(Engine::kFileValid);
    Create();
    const int32_t before = mMain->GetIdleRequests();
    mMain->UpdateControls(0, 6, 3);
    mMain->UpdateControls(0, 6, 3);
    EXPECT_EQ(mMain->GetIdleRequests(), before);
    EXPECT_EQ(before, 1);
    // With the animation the device text and the cannot-update note give way.
    EXPECT_FALSE(Visible().count(u"labelDeviceInformation"));
    EXPECT_TRUE(Visible().count(u"controlTransitioningToUpdateMode"));
    mMain->UpdateControls(1, 8, 3);
    mMain->UpdateControls(1, 8, 3);
    EXPECT_EQ(mMain->GetIdleRequests(), 0);
}

TEST_F(MainControlTest, DumpWritesTheTreeWholeAndOnlyWhenItChanged)
{
    Load();
    mEngine->SetDeviceState(Engine::kDeviceNormalMode);
    mEngine->SetFileState(Engine::kFileValid);
    Create();
    mMain->SetBounds({0, 0}, {560, 384});
    mMain->FindChildByName(u"labelDeviceInformation")->SetText(u"a\tb\nc\\d");
    const std::string path = mFolder.Join("ui.txt");
    UiDump dump(path);
    ASSERT_TRUE(dump.Update(*mMain, {200, 150}));
    std::string text = mFolder.Read("ui.txt");
    EXPECT_EQ(
        text.rfind("window\t200\t150\t560\t384\nmainControl\tFirmwareUpdater.MainControl\t1\t1\t0\t0\t", 0),
        0u)
        << text;
    for (const char* line :
         {"\nbuttonExit\tFramework.Button\t1\t1\t410\t318\t130\t32\t0\tEXIT\n",
          "\nbuttonManualDeviceReadyForUpdateButton\tFramework.Button\t0\t1\t190\t318\t",
          "\nlabelDeviceInformation\tFramework.Label\t1\t1\t20\t54\t520\t32\t0\ta\\tb\\nc\\\\d\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    EXPECT_FALSE(dump.Update(*mMain, {200, 150}));
    mMain->FindChildByName(u"buttonExit")->SetVisible(false);
    EXPECT_TRUE(dump.Update(*mMain, {200, 150}));
    EXPECT_NE(mFolder.Read("ui.txt").find("\nbuttonExit\tFramework.Button\t0\t"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}
