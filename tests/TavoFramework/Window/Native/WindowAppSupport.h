#pragma once

// The window tests' application: one main control that paints one colour and
// writes down its input, run on the test's own Xvfb, and the helpers that
// turn its loop and read what the display shows.

// The test framework first: the X headers define macros that clash with it.
#include <gtest/gtest.h>

#include "ControlBase/Control.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/SingleInstance.h"
#include "Platform/Graphics/Graphics.h"
#include "Window/InputParams.h"
#include "Window/Native/DesktopHooks.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"
#include "Window/RootWindow.h"
#include "tests/Common/CleanEnvironment.h"
#include "tests/Common/LoopTurns.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/XServer.h"
#include "tests/TavoFramework/Application/AppTestSupport.h"
#include "tests/Common/ThrownText.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <chrono>
#include <fstream>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

namespace WindowAppTests {

using namespace Tavo;
using namespace AppTest;

inline std::vector<std::string>& Log()
{
    static auto* log = new std::vector<std::string>;
    return *log;
}

// A control that fills itself with one colour and writes down its input.
class PaintingControl : public LControl
{
public:
    using LControl::LControl;
    static inline uint32_t colour = 0x2060A0;

    TavoResult Draw(LRenderer* renderer, const RectRegion&, std::vector<RCPtr<LControl>>&, bool) override
    {
        const float r = float((colour >> 16) & 0xFF) / 255.0f, g = float((colour >> 8) & 0xFF) / 255.0f,
                    b = float(colour & 0xFF) / 255.0f;
        renderer->FillRect(RectT<int32_t>{0, 0, 4096, 4096}, ColorRGBA(r, g, b, 1.0f), false);
        return S_OK;
    }
    RCPtr<LControl> HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool, int32_t&) override
    {
        local = point;
        return RCPtr<LControl>(this);
    }
    TavoResult SetFocus(bool first) override
    {
        Log().push_back(first ? "focus first" : "focus last");
        if (LRootWindow* root = GetRootWindow())
            root->SetFocusControl(RCPtr<LControl>(this));
        return S_OK;
    }
    TavoResult UITarget_MouseDown(const RCPtr<LMouseButtonParam>& p) override
    {
        AddButton("down", *p);
        // Presses take the capture, as the control base does.
        if (LRootWindow* root = GetRootWindow())
            root->SetCaptureControl(RCPtr<LControl>(this));
        return S_OK;
    }
    TavoResult UITarget_MouseUp(const RCPtr<LMouseButtonParam>& p) override
    {
        AddButton("up", *p);
        if (p->mButtonsHeld == 0)
            UITarget_ReleaseCapture();
        return S_OK;
    }
    TavoResult UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>& p) override
    {
        if (p->mX >= 300)  // only the drag out of the window
            Add("move %d,%d", p->mX, p->mY);
        return S_OK;
    }
    TavoResult UITarget_WheelVertical(const RCPtr<LMouseWheelParam>& p) override
    {
        Add("wheel %u", p->mDirection);
        return S_OK;
    }
    TavoResult UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>& p) override
    {
        Add("wheel %u", p->mDirection);
        return S_OK;
    }
    TavoResult UITarget_Key(const RCPtr<LKeyParam>& key) override
    {
        Add("key %08x %x %d", key->mKey.code, key->mKey.sides, int(key->mKey.previousState));
        LRootWindow* root = GetRootWindow();
        if (key->IsKeyPress(VKey::kTab) && root)
            return root->MoveFocusToNextWindow(key);
        // Unhandled: the window's hot keys, then the program's.
        if (root && root->ProcessHotKey(key->mKey) == S_FALSE)
            GetFrameworkApp()->DispatchGlobalHotKey(key->mKey);
        return S_FALSE;
    }

    template <typename... A>
    static void Add(const char* format, A... args)
    {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, format, args...);
        Log().push_back(buffer);
    }
    static void AddButton(const char* what, const LMouseButtonParam& p)
    {
        Add("%s %u %d,%d %u %d held %u", what, p.mButton, p.mX, p.mY, p.mModifiers, int(p.mDoubleClick),
            p.mButtonsHeld);
    }
};

inline const ControlClassRow kWindowClasses[] = {{u"Test.Main", &LControl::CreateT<PaintingControl>, 11}};

class WindowApp : public TestApp
{
public:
    using TestApp::TestApp;
    std::span<const ControlClassRow> GetControlClassTable() override { return kWindowClasses; }
    intptr_t OnPowerEvent(uint32_t event, uintptr_t data) override
    {
        powerEvents.emplace_back(event, data);
        return 1;
    }
    // The power messages' parameters, in order.
    std::vector<std::pair<uint32_t, uintptr_t>> powerEvents;
};

class WindowAppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestXServer().Running());
        Rec() = AppTest::Recorder();
        Log().clear();
        WriteResources(mDir / "res", false, 1);
        mUserData = std::make_unique<ScopedEnv>("TAVO_USER_APPDATA_DIR", mDir / "user");
        mCommonData = std::make_unique<ScopedEnv>("TAVO_COMMON_APPDATA_DIR", mDir / "common");
    }

    // Runs the application; script runs on the loop once the window shows.
    int32_t Run(std::function<void(WindowApp&, OSWindow&)> script, bool canExit = true)
    {
        AppShellOptions options;
        options.applicationName = u"TestApp";
        options.profile = mProfile;
        options.createSingleInstance = [](const std::string& name) {
            return std::make_unique<Platform::App::FakeSingleInstance>(name);
        };
        options.hooks = DesktopPlatformHooks();
        if (mCustomize)
            mCustomize(options);
        options.createApplication = [&](FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                        const RCPtr<LStringTable>& strings, const WString& line) {
            auto* app = new WindowApp(shell, factory, strings, line);
            app->canExit = canExit;
            if (mOnCreate)
                mOnCreate(shell);
            app->onLoop = [app, script] {
                Platform::App::MainMessageLoop().Post(
                    [app, script] { script(*app, *static_cast<OSWindow*>(app->GetMainWindow())); });
            };
            return RCPtr<LApplicationBase>(app);
        };
        TestShell shell(std::move(options), "TestApp", mDir / "res");
        // Nothing may hang the test program: the loop ends after 20 s at most.
        Platform::App::MainMessageLoop().SetTimer(
            0x5E5E, 20000, [](uint32_t) { Platform::App::MainMessageLoop().PostQuit(99); });
        const int32_t code = shell.Main(9);
        Platform::App::MainMessageLoop().KillTimer(0x5E5E);
        return code;
    }

    // Runs as the test program's copies know it, with the real single-instance
    // lock, so that a copy the test starts finds this one.
    void RunAsTestProgram()
    {
        mRuntime = std::make_unique<ScopedEnv>("TAVO_RUNTIME_DIR", mDir / "run");
        mResources = std::make_unique<ScopedEnv>("TAVO_TEST_RESOURCES", mDir / "res");
        mCustomize = [](AppShellOptions& options) {
            // The name the test program's copies use.
            options.applicationName = u"TavoTestApp";
            options.createSingleInstance = [](const std::string& name) {
                return std::make_unique<Platform::App::SingleInstance>(name);
            };
        };
    }

    // What a copy of the test program that the test starts takes over from
    // this one: the folders and the display the test set.
    static std::vector<std::string> CopyEnvironment()
    {
        return {PassOn("TAVO_RUNTIME_DIR"), PassOn("TAVO_TEST_RESOURCES"), PassOn("TAVO_USER_APPDATA_DIR"),
                PassOn("TAVO_COMMON_APPDATA_DIR"), PassOn("DISPLAY")};
    }

    TestFolder mDir;
    std::unique_ptr<ScopedEnv> mUserData, mCommonData, mRuntime, mResources;
    std::function<void(AppShellOptions&)> mCustomize;
    std::function<void(FrameworkAppShell&)> mOnCreate;
    std::shared_ptr<Platform::App::MemoryProfileStore> mProfile =
        std::make_shared<Platform::App::MemoryProfileStore>();
};

using LoopTurns::Settle;
using LoopTurns::TurnUntil;

inline uint32_t PixelAt(unsigned long window, int32_t x, int32_t y)
{
    return TestXServer().ReadPixels(window, {x, y, 1, 1}).at(0);
}

// The window with the input focus as the server has it, read over the
// test's connection.
inline unsigned long FocusOnServer()
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(TestXServer().Connection(), &focus, &revert);
    return focus;
}

inline void WritePng(const std::filesystem::path& path, int32_t size, uint32_t argb)
{
    Platform::Graphics::Surface surface(size, size);
    surface.Fill(0, 0, size, size, argb);
    cairo_surface_write_to_png(surface.Native(), path.c_str());
}

inline std::vector<long> LongProperty(unsigned long window, const char* name)
{
    return WindowProperty(TestXServer().Connection(), window, name);
}

}  // namespace WindowAppTests
