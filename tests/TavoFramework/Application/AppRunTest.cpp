#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include "AppTestSupport.h"
#include "Application/Version.h"
#include "Platform/App/TimerResolution.h"
#include "System/CursorNames.h"
#include "tests/Common/TestScope.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Tavo;
using namespace AppTest;

namespace {

// One test application with fakes for the window side, run in process.
class AppRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Rec() = Recorder();
        WriteResources(mDir / "res", mGhk);
        mUserData = std::make_unique<ScopedEnv>("TAVO_USER_APPDATA_DIR", mDir / "user");
        mCommonData = std::make_unique<ScopedEnv>("TAVO_COMMON_APPDATA_DIR", mDir / "common");
    }

    std::unique_ptr<TestShell> MakeShell(std::function<void(TestApp&)> configure = nullptr,
                                         bool windowless = false)
    {
        AppShellOptions options;
        if (windowless)
            options.runsWithoutWindow = [](const std::string&) { return true; };
        options.applicationName = u"TestApp";
        options.loop = &mLoop;
        options.profile = std::make_shared<Platform::App::MemoryProfileStore>();
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::FakeSingleInstance>(name);
        };
        options.hooks.createMainWindow = [this] { return std::make_unique<FakeMainWindow>(mLoop); };
        options.hooks.desktop = mDesktop;
        options.createApplication = [configure](FrameworkAppShell& shell,
                                                const RCPtr<LControlFactory>& factory,
                                                const RCPtr<LStringTable>& strings, const WString& line) {
            auto* app = new TestApp(shell, factory, strings, line);
            if (configure)
                configure(*app);
            return RCPtr<LApplicationBase>(app);
        };
        return std::make_unique<TestShell>(std::move(options), "testapp -X", mDir / "res");
    }

    TestApp& App() { return static_cast<TestApp&>(*gApplication.Get()); }
    // The application of `shell` made as the shell makes it, started when asked.
    TestApp& Create(TestShell& shell, bool start)
    {
        EXPECT_TRUE(shell.InitApplication());
        gApplication = RCPtr<LApplicationBase>(
            new TestApp(shell, shell.GetControlFactory(), shell.GetFrameworkStringTable(), u"testapp"));
        if (start) {
            EXPECT_EQ(App().RunApplicationStartup(), S_OK);
        }
        return App();
    }
    void ShutDown()
    {
        App().RunApplicationShutdown();
        gApplication = nullptr;
    }

    TestFolder mDir;
    bool mGhk = false;
    std::shared_ptr<IDesktopServices> mDesktop;
    std::unique_ptr<ScopedEnv> mUserData, mCommonData;
    Platform::App::MessageLoop mLoop;
};

TEST_F(AppRun, StartsIdlesRefusesThenHonoursExitAndShutsDownInOrder)
{
    const int32_t depthBefore = Platform::App::TimerPeriodDepth();
    Rec().onTick = [this, depthBefore](int tick) {
        if (tick == 1) {
            EXPECT_EQ(Platform::App::TimerPeriodDepth(), depthBefore + 1);
            EXPECT_TRUE(LNotification::IsPoolingEnabled());
            App().canExit = false;
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        } else if (tick == 3) {
            // Refused: the program runs on and idle processing continues.
            EXPECT_FALSE(App().IsIdleProcessingStopped());
            App().canExit = true;
            // Alt+F4 is bound to the exit request when nothing else claims it.
            EXPECT_EQ(App().DispatchGlobalHotKey(KeyCode::FromString(u"Alt+VKEY_F4")), S_OK);
        }
    };
    auto shell = MakeShell();
    EXPECT_EQ(shell->Main(0x0409), 0);

    EXPECT_EQ(Rec().events, (std::vector<std::string>{"register:Test.A", "register:Test.B", "started",
                                                      "create-window:TestApp:300x200", "renderer:1",
                                                      "root-control:mainControl", "show", "can-exit:no",
                                                      "can-exit:yes", "close", "shutdown", "destroyed"}));
    // Undone by the shutdown.
    EXPECT_EQ(Platform::App::TimerPeriodDepth(), depthBefore);
    EXPECT_FALSE(LNotification::IsPoolingEnabled());
    EXPECT_EQ(GetFrameworkApp(), nullptr);
    EXPECT_FALSE(gApplication);
}

TEST_F(AppRun, QuietEndReturnsTheProcessExitCodeWithoutAWindow)
{
    const int32_t depthBefore = Platform::App::TimerPeriodDepth();
    auto shell = MakeShell([](TestApp& app) { app.quietEndCode = 4; });
    EXPECT_EQ(shell->Main(0x0409), 4);
    gProcessExitCode = 0;
    const std::vector<std::string> expected = {"register:Test.A", "register:Test.B", "started", "shutdown",
                                               "destroyed"};
    EXPECT_EQ(Rec().events, expected);
    EXPECT_EQ(Platform::App::TimerPeriodDepth(), depthBefore);
}

TEST_F(AppRun, FailedStartupShowsTheErrorAndEndsNonZero)
{
    const int32_t depthBefore = Platform::App::TimerPeriodDepth();
    auto shell = MakeShell([](TestApp& app) { app.throwInStartup = true; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(shell->Main(0x0409), kStartupFailureExitCode);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Test start-up failed."), std::string::npos) << err;
    EXPECT_NE(err.find("Test Error"), std::string::npos) << err;
    EXPECT_TRUE(Rec().Has("destroyed"));
    EXPECT_FALSE(gApplication);
    EXPECT_EQ(Platform::App::TimerPeriodDepth(), depthBefore);

    // Resources that cannot be read fail before any application exists,
    // with the built-in English text.
    std::filesystem::remove(mDir / "res/Skins.xml");
    std::filesystem::remove(mDir / "res/FrameworkStrings.xml");
    auto broken = MakeShell();
    testing::internal::CaptureStderr();
    EXPECT_EQ(broken->Main(0x0409), kStartupFailureExitCode);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("will now close."), std::string::npos);
}

TEST_F(AppRun, AThrowingLoopShowsTheErrorAndEndsThroughTheExitRequest)
{
    auto shell = MakeShell([](TestApp& app) { app.throwInLoop = true; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(shell->Main(0x0409), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Test start-up failed."), std::string::npos);
    // The posted exit request went the ordinary way: window closed, all released.
    EXPECT_TRUE(Rec().Has("close"));
    EXPECT_TRUE(Rec().Has("destroyed"));
}

TEST_F(AppRun, IdleTurnsAreBoundedAndStopAfterAnAcceptedExit)
{
    auto shell = MakeShell();
    Create(*shell, true);
    RCPtr<FakeRootWindow> root(new FakeRootWindow());
    EXPECT_EQ(App().AddRootWindow(root), 0);
    EXPECT_EQ(App().AddRootWindow(root), 0);  // listed once
    EXPECT_EQ(App().GetRootWindows().size(), 1u);

    Rec().pendingRootWork = 100;
    EXPECT_TRUE(shell->OnIdle(0));
    EXPECT_TRUE(shell->OnIdle(1));
    EXPECT_FALSE(shell->OnIdle(2));  // work remains, but the turns are used up
    EXPECT_EQ(Rec().firstTurns, 1);
    EXPECT_EQ(Rec().idleNotifications, 1);  // only the first turn sends it

    // A busy cursor shown at once with a first-turn pass, the old one back after.
    root->cursor_ = 7;
    {
        LWaitCursor wait(u"Busy");
        EXPECT_EQ(root->cursor_, App().GetCursor(u"UI_CURSOR_WAIT"));
        EXPECT_NE(root->cursor_, 7u);
        EXPECT_EQ(Rec().firstTurns, 2);
    }
    EXPECT_EQ(root->cursor_, 7u);

    // Further windows end their modal loops, the latest first; the main one not.
    RCPtr<FakeRootWindow> second(new FakeRootWindow()), third(new FakeRootWindow());
    second->index = 1;
    third->index = 2;
    App().AddRootWindow(second);
    App().AddRootWindow(third);
    GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
    shell->OnIdle(0);
    EXPECT_TRUE(App().IsIdleProcessingStopped());
    EXPECT_TRUE(Rec().Has("end-modal:2:0") && Rec().Has("end-modal:1:0") && !Rec().Has("end-modal:0:0"));
    const int turns = Rec().firstTurns + Rec().laterTurns;
    EXPECT_FALSE(shell->OnIdle(0));
    EXPECT_EQ(Rec().firstTurns + Rec().laterTurns, turns);

    EXPECT_LT(App().RemoveRootWindow(RCPtr<FakeRootWindow>(new FakeRootWindow())), 0);
    EXPECT_EQ(App().RemoveRootWindow(second), 2);  // the count left, not its index
    ShutDown();
}

TEST_F(AppRun, SkinChoiceIsClampedAndSurvivesTheRun)
{
    auto runStartup = [this](int32_t stored, int32_t& appliedIndex, WString& face) {
        auto shell = MakeShell();
        TestApp& app = Create(*shell, false);
        if (stored != INT32_MIN)
            app.GetIniFileManager()->SetInt(app.GetSettings(1), u"CurrentSkinIndex", stored);
        EXPECT_EQ(app.RunApplicationStartup(), S_OK);
        appliedIndex = shell->GetControlFactory()->GetCurrentSkinIndex();
        face = app.GetApplicationFont().face;
        ShutDown();
    };
    int32_t applied = -1;
    WString face;
    runStartup(5, applied, face);  // beyond the last of two skins
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(face, u"Face1");
    runStartup(-3, applied, face);
    EXPECT_EQ(applied, 0);
    EXPECT_EQ(face, u"Face0");

    // The choice reached the disk at shutdown.
    RCPtr<LIniFileManager> reader = LIniFileManager::Create();
    ASSERT_EQ(reader->Load(u""), S_OK);
    uint32_t handle = 0;
    const std::filesystem::path userFile = mDir / "user";
    std::string path;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(userFile))
        if (entry.path().filename() == "UserSettings.ini")
            path = entry.path().string();
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(reader->Open(WString(path.c_str()), u"1_0_0", u"x", handle), 0);
    int32_t value = -1;
    reader->GetInt(handle, u"CurrentSkinIndex", -1, value);
    EXPECT_EQ(value, 0);
}

// A desktop whose settings manager names its interface font, counting the
// questions.
class FontDesktop final : public IDesktopServices
{
public:
    WindowRect GetDesktopRect() const override { return {0, 0, 1024, 768}; }
    WindowRect GetWorkArea() const override { return {0, 0, 1024, 768}; }
    bool GetKeyState(uint32_t, bool& down, bool& toggled) const override { return down = toggled = false; }
    void GetCursorPosition(int32_t& x, int32_t& y) const override { x = y = 0; }
    bool SetCursorPosition(int32_t, int32_t) override { return false; }
    int32_t ShowCursor(bool) override { return 0; }
    bool GetFontName(std::string& name) const override
    {
        ++asked;
        name = "DejaVu Serif Bold 11";
        return true;
    }
    mutable int asked = 0;
};

// The skin's font is the application font; what the skin leaves open comes
// from the desktop, asked once and only when a control first wants the
// font: a run that draws nothing asks the desktop nothing.
TEST_F(AppRun, TheDesktopFillsWhatTheSkinLeavesOpenWhenFirstAsked)
{
    std::ofstream(mDir / "res/Skins.xml")
        << "<R><Skins><Skin Name=\"S0\" FontName=\"Face0\"><SubControl Class=\"Test.Main\" "
           "Name=\"mainControl\""
           " XPositionAbs=\"10\" YPositionAbs=\"20\" XSizeAbs=\"300\" YSizeAbs=\"200\"/></Skin></Skins></R>";
    auto desktop = std::make_shared<FontDesktop>();
    mDesktop = desktop;
    auto shell = MakeShell();
    Create(*shell, true);
    EXPECT_EQ(desktop->asked, 0);
    for (int i = 0; i < 2; ++i) {
        WString face;
        float size = 0;
        int32_t style = 0;
        EXPECT_EQ(App().GetDefaultFont(face, size, style), S_OK);
        EXPECT_EQ(face, u"Face0");
        EXPECT_EQ(size, 11.0f);
        EXPECT_EQ(style, 1);
    }
    EXPECT_EQ(desktop->asked, 1);
    ShutDown();
}

TEST_F(AppRun, WithoutSkinsTheSkinIsLeftAlone)
{
    WriteResources(mDir / "res", false, 0);
    auto shell = MakeShell();
    Create(*shell, true);
    EXPECT_EQ(App().SetSkin(0), S_FALSE);
    EXPECT_TRUE(App().GetApplicationFont().face.IsEmpty());
    ShutDown();
}

// A run that ends without a window reads no skin; one that shows the window
// after all reads it, and takes the stored choice, before the window.
TEST_F(AppRun, AWindowlessRunReadsTheSkinOnlyForItsWindow)
{
    for (const bool window : {false, true}) {
        Rec() = Recorder();
        Rec().onTick = [this](int) {
            GetMainNotificationCenter()->Post(LNotification::Create(u"NID_APP_EXIT_REQ"));
        };
        int32_t skinsAtStart = -1;
        WString face;
        auto shell = MakeShell(
            [&](TestApp& app) {
                skinsAtStart = app.GetControlFactory()->GetSkinCount();
                app.quietEndCode = window ? -1 : 3;
                app.onLoop = [&app, &face] { face = app.GetApplicationFont().face; };
            },
            true);
        EXPECT_EQ(shell->Main(0x0409), window ? 0 : 3);
        gProcessExitCode = 0;
        EXPECT_EQ(skinsAtStart, 0);
        const auto& events = Rec().events;
        EXPECT_EQ(std::count(events.begin(), events.end(), "root-control:mainControl"), window ? 1 : 0);
        EXPECT_EQ(face, window ? u"Face0" : u"");
    }
}

class AppRunWithGhk : public AppRun
{
protected:
    AppRunWithGhk() { mGhk = true; }
};

TEST_F(AppRunWithGhk, AStringTableBindingOfAltF4Wins)
{
    auto shell = MakeShell();
    Create(*shell, true);
    EXPECT_EQ(App().GetGlobalHotKeys()->FindBinding(KeyCode::FromString(u"Alt+VKEY_F4")), u"NID_OTHER");
    ShutDown();
}

TEST(AppServices, StartupErrorTextAndFolders)
{
    // Before an application exists: the built-in text.
    EXPECT_TRUE(
        GetStartupErrorText(903) ==
        u"The application encountered problems during startup and will now close.  (Error code = 903)");

    AppShellOptions options;
    options.applicationName = u"TestApp";
    FrameworkAppShell shell(std::move(options), "x");
    WString folder;
    shell.GetFolder(1, folder);
    EXPECT_TRUE(folder == u"::");
    EXPECT_EQ(ThrownText<std::out_of_range>([&] { shell.GetFolder(5, folder); }),
              "Out of Range : Unknown Path ID. : Tavo::MFCFrameworkApp<class LApplication>::GetFolder"
              " : Application/ApplicationBaseWin : Line 570");
    EXPECT_EQ(FrameworkCursor(UI_CURSOR_SIZE_WE()), IDC_SIZEWE);
    EXPECT_EQ(FrameworkCursor(u"UI_CURSOR_MAG"), IDC_ARROW);
}

TEST(AppServices, TheProgramsOwnResourcesHaveNoSplashFile)
{
    // A folder literally named "::" beside the program is not the resources.
    TestFolder dir;
    std::filesystem::create_directories(dir / "::");
    std::ofstream(dir / "::/Splash.png") << "png";
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    AppShellOptions options;
    options.applicationName = u"TestApp";
    FrameworkAppShell shell(std::move(options), "x");
    const WString path = shell.GetSplashImagePath();
    shell.ShowSplashScreen();
    std::filesystem::current_path(before);
    EXPECT_TRUE(path.IsEmpty()) << Utf8(path);
    EXPECT_FALSE(shell.HasSplashScreen());
}

TEST_F(AppRun, StringTableFormatsSurviveStrayPercents)
{
    auto shell = MakeShell();
    Create(*shell, false);
    const std::string text = Utf8(GetStartupErrorText(901));
    EXPECT_EQ(text.rfind("Code 901, stray ", 0), 0u) << text;
    // The version reader reports through the same table, and the shell reads through it.
    EXPECT_EQ(ThrownText<std::runtime_error>([] {
                  Version version(nullptr);
              }).rfind("Runtime Error : Code 902, stray ", 0),
              0u);
    EXPECT_TRUE(shell->GetProductVersion() == u"1.0.6");
    EXPECT_TRUE(shell->GetCompanyName() == u"Tessaro DJ");
    gApplication = nullptr;
}

TEST(MainWindowPlacement, StyleFollowsSizeLimitsAndTheWindowStaysOnTheDesktop)
{
    LLayoutDescriptor layout;
    EXPECT_EQ(MainWindowStyle(layout), kWindowStyleMaximize);  // no limits at all
    layout.x.minAbs = layout.x.maxAbs = 400;
    layout.y.minAbs = layout.y.maxAbs = 300;
    EXPECT_EQ(MainWindowStyle(layout), kWindowStyleFixed);
    layout.x.maxAbs = 800;
    EXPECT_EQ(MainWindowStyle(layout), kWindowStyleSizing);  // a maximum keeps the maximize box away
    layout.x.maxAbs = 0;
    layout.y.maxAbs = 0;
    layout.x.maxRel = 0.5f;
    EXPECT_EQ(MainWindowStyle(layout), kWindowStyleMaximize);  // a relative maximum does not

    const WindowRect desktop{0, 0, 1280, 1024};
    EXPECT_EQ(CutWindowToDesktop({100, 50, 2000, 600}, desktop), (WindowRect{100, 50, 1280, 600}));
    EXPECT_EQ(MoveWindowIntoDesktop({-40, -10, 300, 200}, desktop), (WindowRect{0, 0, 300, 200}));
    EXPECT_EQ(MoveWindowIntoDesktop({1200, 900, 300, 200}, desktop), (WindowRect{980, 824, 300, 200}));
}

}  // namespace
