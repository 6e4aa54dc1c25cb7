#pragma once

// Fakes of the window side and a small application for the framework's
// run tests and the test program.

#include "Application/ApplicationBase.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace AppTest {

using namespace Tavo;

// What happened during a run, in order; survives the application object.
struct Recorder
{
    std::vector<std::string> events;
    std::function<void(int tick)> onTick;
    int ticks = 0;
    int idleNotifications = 0;
    int firstTurns = 0;
    int laterTurns = 0;
    int pendingRootWork = 0;  // FlushKeyQueue reports work this many times
    std::vector<std::string> secondCommandLines;

    bool Has(const std::string& event) const { return std::ranges::count(events, event) > 0; }
};

inline Recorder& Rec()
{
    static auto* recorder = new Recorder();
    return *recorder;
}

inline std::string Utf8(const WString& text)
{
    return NString(text).c_str();
}

class FakeRootWindow : public IAppRootWindow
{
public:
    bool FlushKeyQueue(bool firstTurn) override
    {
        ++(firstTurn ? Rec().firstTurns : Rec().laterTurns);
        if (Rec().pendingRootWork > 0) {
            --Rec().pendingRootWork;
            return true;
        }
        return false;
    }
    TavoResult RequestEndModalLoop(int32_t result) override
    {
        Rec().events.push_back("end-modal:" + std::to_string(index) + ":" + std::to_string(result));
        return S_OK;
    }
    void RefreshAndRedraw() override { ++redraws; }
    bool HasNativeWindow() const override { return true; }
    bool IsActive() const override { return active; }
    void OnKillFocus() override {}
    void OnSetFocus() override {}
    RCPtr<LControl> GetRootControl() const override { return nullptr; }
    TavoResult CreateRootControl(const WString& name) override
    {
        Rec().events.push_back("root-control:" + Utf8(name));
        return S_OK;
    }
    uintptr_t GetNativeHandle() const override { return 1; }
    CursorHandle SetCursor(CursorHandle cursor) override { return std::exchange(cursor_, cursor); }
    void GetMousePosition(int32_t& x, int32_t& y) const override { x = y = 0; }
    uint32_t GetMouseButtons() const override { return 0; }

    int index = 0;
    bool active = false;
    int redraws = 0;
    CursorHandle cursor_ = 0;
};

// A main window without a display: its root window and its 33 ms tick.
class FakeMainWindow : public IMainWindow
{
public:
    explicit FakeMainWindow(Platform::App::IMessageLoop& loop) : mLoop(loop) {}

    TavoResult Create(const MainWindowParams& params) override
    {
        Rec().events.push_back("create-window:" + Utf8(params.className) + ":" +
                               std::to_string(params.rect.width) + "x" + std::to_string(params.rect.height));
        mRect = params.rect;
        return S_OK;
    }
    TavoResult CreateRenderer(int32_t rendererType) override
    {
        Rec().events.push_back("renderer:" + std::to_string(rendererType));
        mRoot = RCPtr<FakeRootWindow>(new FakeRootWindow());
        GetFrameworkApp()->AddRootWindow(mRoot);
        mLoop.SetTimer(1, 33, [](uint32_t) {
            ++Rec().ticks;
            if (Rec().onTick)
                Rec().onTick(Rec().ticks);
        });
        return S_OK;
    }
    void SetPlacement(const uint8_t*, size_t) override {}
    WindowRect GetWindowRect() const override { return mRect; }
    WindowRect FitToSizeLimits(const WindowRect& rect) const override { return rect; }
    void MoveWindow(const WindowRect& rect) override { mRect = rect; }
    void Show() override { Rec().events.push_back("show"); }
    void Close() override
    {
        Rec().events.push_back("close");
        mLoop.KillTimer(1);
        if (LFrameworkApp* app = GetFrameworkApp())
            app->RemoveRootWindow(mRoot);
    }
    void BringToFront() override { Rec().events.push_back("front"); }
    bool IsEnabled() const override { return true; }

private:
    Platform::App::IMessageLoop& mLoop;
    WindowRect mRect;
    RCPtr<FakeRootWindow> mRoot;
};

inline void CreateNothing(RCPtr<LControl>&, const RCPtr<LControl>&, const RCPtr<LControlDescriptor>&) {}

inline const ControlClassRow kTestClasses[] = {
    {u"Test.A", &CreateNothing, 11}, {u"Test.NotYetBuilt", nullptr, 12}, {u"Test.B", &CreateNothing, 13}};

class TestApp : public LApplicationBase
{
public:
    using LApplicationBase::LApplicationBase;
    ~TestApp() override { Rec().events.push_back("destroyed"); }

    void GetSettingsVersion(WString& version) override { version = u"1_0_0"; }
    void GetMainControlName(WString& name) override { name = u"mainControl"; }
    int32_t GetRendererType() override { return 1; }
    bool CanExit() override
    {
        Rec().events.push_back(canExit ? "can-exit:yes" : "can-exit:no");
        return canExit;
    }
    std::span<const ControlClassRow> GetControlClassTable() override { return kTestClasses; }
    TavoResult RegisterControlClass(const ControlClassRow& row) override
    {
        Rec().events.push_back("register:" + Utf8(WString(row.name)));
        return LApplicationBase::RegisterControlClass(row);
    }
    TavoResult RunApplicationStartup() override
    {
        const TavoResult result = LApplicationBase::RunApplicationStartup();
        if (result < 0)
            return result;
        Subscribe(GetMainNotificationCenter(), u"NID_IDLE");
        Rec().events.push_back("started");
        if (quietEndCode >= 0) {
            gProcessExitCode = quietEndCode;
            return TavoResult(0x8000A020u);
        }
        if (throwInStartup)
            throw std::runtime_error("start-up broke");
        return result;
    }
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override
    {
        if (notification && notification->GetID() == GetNotificationID(u"NID_IDLE"))
            ++Rec().idleNotifications;
        return LApplicationBase::ReceiveNotification(sender, notification);
    }
    TavoResult ProcessSecondInstanceCommandLine(const WString& commandLine) override
    {
        Rec().secondCommandLines.push_back(Utf8(commandLine));
        if (onSecondCopy)
            onSecondCopy(Utf8(commandLine));
        return S_OK;
    }
    void OnBeforeMessageLoop() override
    {
        if (onLoop)
            onLoop();
    }
    int32_t RunMessageLoop() override
    {
        if (throwInLoop)
            throw std::runtime_error("loop broke");
        return LApplicationBase::RunMessageLoop();
    }
    TavoResult RunApplicationShutdown() override
    {
        Rec().events.push_back("shutdown");
        return LApplicationBase::RunApplicationShutdown();
    }

    bool canExit = true;
    int32_t quietEndCode = -1;
    bool throwInStartup = false;
    bool throwInLoop = false;
    std::function<void(const std::string&)> onSecondCopy;
    std::function<void()> onLoop;
};

// Skin, string tables and framework strings in a folder.
inline void WriteResources(const std::filesystem::path& folder, bool withGhkBinding, int skins = 2)
{
    std::filesystem::create_directories(folder);
    std::ofstream skin(folder / "Skins.xml");
    skin << "<R><Skins>";
    for (int i = 0; i < skins; ++i) {
        skin << "<Skin Name=\"S" << i << "\" FontName=\"Face" << i << "\" FontSize=\"8.25\" FontStyle=\"0\">"
             << "<SubControl Class=\"Test.Main\" Name=\"mainControl\" XPositionAbs=\"10\" YPositionAbs=\"20\""
             << " XSizeAbs=\"300\" YSizeAbs=\"200\"/></Skin>";
    }
    skin << "</Skins></R>";
    std::ofstream strings(folder / "StringTables.xml");
    strings << "<Root><Application Name=\"TestApp\"><StringTable ID=\"|TestApp\">";
    if (withGhkBinding)
        strings << "<String ID=\"GHK.Menu.NID_OTHER\"><Locale LCID=\"0x0009\">Alt+VKEY_F4</Locale></String>";
    strings << "<String ID=\"X\"><Locale LCID=\"0x0009\">x</Locale></String>";
    strings << "</StringTable></Application></Root>";
    std::ofstream framework(folder / "FrameworkStrings.xml");
    framework
        << "<Root><StringTable ID=\"Framework\">"
        << "<String ID=\"STARTUP_ERROR\"><Locale LCID=\"0x0009\">Test start-up failed.</Locale></String>"
        << "<String ID=\"STARTUP_ERROR_CAPTION\"><Locale LCID=\"0x0009\">Test Error</Locale></String>"
        << "<String ID=\"EXCEPTION_ID\"><Locale LCID=\"0x0009\">Code %d, stray %s %n %</Locale></String>"
        << "</StringTable></Root>";
}

// Reads its resources from a folder instead of the program.
class TestShell : public FrameworkAppShell
{
public:
    TestShell(AppShellOptions options, std::string commandLine, std::string resources)
        : FrameworkAppShell(std::move(options), std::move(commandLine)), mResources(std::move(resources))
    {
    }
    void GetFolder(int32_t pathId, WString& folder) override
    {
        if (pathId == 1)
            folder = WString(mResources.c_str());
        else
            FrameworkAppShell::GetFolder(pathId, folder);
    }

private:
    std::string mResources;
};

}  // namespace AppTest
