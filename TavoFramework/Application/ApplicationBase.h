#pragma once

#include "Application/CommandLineArguments.h"
#include "Application/FrameworkApp.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/ProfileStore.h"
#include "Platform/App/SingleInstance.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Tavo {

class FrameworkAppShell;
class LApplicationBase;

// The process exit code; only the update processor sets it.
extern int32_t gProcessExitCode;
// The main window's class name, the application's name.
extern const WString* gMainWindowClassName;
// The one application object while Run runs.
extern RCPtr<LApplicationBase> gApplication;

// Start-up results that end the run quietly, without a window.
bool IsQuietEndResult(TavoResult result);
// The exit code of a start-up that failed with an error.
inline constexpr int32_t kStartupFailureExitCode = 70;

// What a further top-level window is made of.
struct TopLevelWindowArgs
{
    // The descriptor of the window's control when no control is given.
    WString descriptorName;
    // A window of its own instead of one that belongs to the top window.
    bool unowned = false;
};

// The main window's style from its descriptor's size limits.
uint32_t MainWindowStyle(const LLayoutDescriptor& layout);
// Cuts a window larger than the desktop to it and moves one that sticks out
// back inside.
WindowRect CutWindowToDesktop(WindowRect window, const WindowRect& desktop);
WindowRect MoveWindowIntoDesktop(WindowRect window, const WindowRect& desktop);

// The application object's platform part: services, settings files, the
// main window, the exit request, start-up and shutdown.
class LApplicationBase : public LFrameworkApp
{
public:
    LApplicationBase(FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                     const RCPtr<LStringTable>& frameworkStrings, const WString& commandLine);
    ~LApplicationBase() override;

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;

    void GetCompanyName(WString& name) override;
    void GetProductName(WString& name) override;
    void GetProductVersion(WString& version) override;
    void GetProductTitle(WString& title) override { GetProductName(title); }
    CursorHandle GetCursor(const WString& name) override { return FrameworkCursor(name); }
    int32_t GetLanguageId() override;
    TavoResult GetSystemFont(WString& face, float& size, int32_t& style) override;
    WindowRect GetDesktopWorkArea() override;
    void GetFolder(int32_t pathId, WString& folder) override;
    double GetSecondsSinceStart() override;
    uint32_t GetMilliseconds() override;
    TavoResult GetLocalTime(AppLocalTime& time) override;
    TavoResult GetKeyState(uint32_t virtualKey, bool& down, bool& toggled) override;
    int32_t MessageBox(const WString& text, const WString& caption, uint32_t style) override;
    IIniFileManager* GetIniFileManager() override { return mSettings.Get(); }
    // Opens "AppSettings.ini" (0) or "UserSettings.ini" (1) on first use;
    // an open that failed is tried again on the next call.
    uint32_t GetSettings(int32_t kind) override;
    TavoResult CreateMainWindow(int32_t rendererType) override;
    // Moves the main window back onto the desktop, cut to it, at the size
    // its root control allows.
    void KeepMainWindowOnDesktop();
    TavoResult RunApplicationStartup() override;
    int32_t RunMessageLoop() override;
    TavoResult RunApplicationShutdown() override;
    // The program's icon: the embedded "APP_ICON" image for the program's own
    // resources, else "Icon.png" in the resource folder; empty without one.
    virtual AppIcon GetApplicationIcon();
    // A further top-level window for the control, or for a new control of the
    // descriptor named in the arguments when there is none: its index in the
    // list of root windows, or E_FAIL when it cannot be made.
    virtual int32_t CreateTopLevelWindow(const RCPtr<LControl>& control, const TopLevelWindowArgs& args);
    // Such a window run modally: the loop's result, E_FAIL when it cannot be made.
    virtual int32_t RunModalWindow(const RCPtr<LControl>& control, const TopLevelWindowArgs& args);
    // The cursor's display counter; without a display the cursor counts as shown.
    virtual int32_t ShowCursor(bool show);
    virtual TavoResult SetCursorPosition(int32_t x, int32_t y);

    const WString& GetApplicationName() const;
    IMainWindow* GetMainWindow() const { return mMainWindow.get(); }
    FrameworkAppShell& GetShell() const { return mShell; }

protected:
    FrameworkAppShell& mShell;
    std::unique_ptr<IMainWindow> mMainWindow;
    uint32_t mLastTick;
    double mSeconds = 0.0;
    RCPtr<LIniFileManager> mSettings;
    uint32_t mSettingsHandles[2] = {0, 0};
    // Further top-level windows; dropped once closed.
    std::vector<std::unique_ptr<IMainWindow>> mWindows;

private:
    IMainWindow* MakeTopLevelWindow(const RCPtr<LControl>& control, const TopLevelWindowArgs& args);
    void RestorePlacement();
};

using ApplicationCreator = std::function<RCPtr<LApplicationBase>(
    FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
    const RCPtr<LStringTable>& frameworkStrings, const WString& commandLine)>;

struct AppShellOptions
{
    WString applicationName;
    ApplicationCreator createApplication;
    // True for a command line whose run shows no window: such a run gives
    // the single-instance lock up, so a copy started beside it runs in
    // full. Default: every run may show a window.
    std::function<bool(const std::string& commandLine)> runsWithoutWindow;
    // True for a command line whose run may end without a window, also one
    // that decides only later: such a run starts nothing a window needs
    // ahead of time (the text engine, with its fonts). Default:
    // runsWithoutWindow.
    std::function<bool(const std::string& commandLine)> mayEndWithoutWindow;
    // Default: the lock file and socket in the per-user runtime folder.
    std::function<std::unique_ptr<Platform::App::ISingleInstance>(const std::string& name)>
        createSingleInstance;
    // Default: the process's main loop.
    Platform::App::IMessageLoop* loop = nullptr;
    // Default: a file under the user's config folder, made by InitInstance.
    std::shared_ptr<Platform::App::IProfileStore> profile;
    AppPlatformHooks hooks;
};

// The process's application object below the framework one: resources,
// single instance, debug switch, the run with its loop and shutdown.
class FrameworkAppShell
{
public:
    // commandLine: the whole UTF-8 command line, program first.
    FrameworkAppShell(AppShellOptions options, std::string commandLine);
    virtual ~FrameworkAppShell();
    FrameworkAppShell(const FrameworkAppShell&) = delete;
    FrameworkAppShell& operator=(const FrameworkAppShell&) = delete;

    // The whole run; returns the process exit code. languageId -1: the
    // user's default.
    int32_t Main(int32_t languageId = -1);

    virtual bool InitApplication();
    virtual bool InitInstance();
    virtual int32_t Run();
    virtual int32_t ExitInstance() { return 1; }
    virtual bool OnIdle(int32_t idleCount);
    // 0 program folder, 1 "::" (the program's resources), 2 machine-wide and
    // 3 user application data, 4 documents; others throw.
    virtual void GetFolder(int32_t pathId, WString& folder);
    // "Splash.png" in the resource folder when that file exists, else empty.
    virtual WString GetSplashImagePath();
    // Shows the splash when there is a picture for it, the bar animating
    // from 0 to 100 over 8 seconds.
    virtual void ShowSplashScreen();
    // Fills the bar and ends the splash; harmless without one.
    virtual void HideSplashScreen();
    bool HasSplashScreen() const { return mSplash != nullptr; }

    WString GetCompanyName() const;
    WString GetProductName() const;
    WString GetProductVersion() const;

    const WString& GetApplicationName() const { return mOptions.applicationName; }
    const std::string& GetCommandLine() const { return mCommandLine; }
    int32_t GetLanguageId() const { return mLanguageId; }
    bool IsFirstInstance() const { return mIsFirstInstance; }
    bool StartupFailed() const { return mStartupFailed; }
    Platform::App::IMessageLoop& GetLoop() const { return *mOptions.loop; }
    Platform::App::IProfileStore* GetProfile() const { return mOptions.profile.get(); }
    const AppPlatformHooks& GetHooks() const { return mOptions.hooks; }
    const RCPtr<LControlFactory>& GetControlFactory() const { return mControlFactory; }
    const RCPtr<LStringTable>& GetFrameworkStringTable() const { return mFrameworkStringTable; }

protected:
    // A later copy waits this long for the first copy to take its command
    // line: the first copy reads it once its window exists.
    static constexpr uint32_t kHandOverWaitMs = 20000;

    // The "STARTUP_ERROR" box; marks the start-up as failed.
    void ShowStartupError();
    void Shutdown();
    // Says on stderr what kept the single-instance guard from its folder;
    // false (start-up failed) when no folder could be trusted.
    bool GuardIsSound();
    // A run that gave its lock up takes it again before its window shows;
    // false when another copy holds it now and took the command line.
    bool GuardBeforeWindow();

    bool mInitApplicationPending = true;
    RCPtr<LControlFactory> mControlFactory;
    RCPtr<LStringTable> mFrameworkStringTable;
    bool mIsFirstInstance = true;
    int32_t mLanguageId = 0;
    bool mStartupFailed = false;
    // A run that ends without a window reads the skin only if it shows one
    // after all.
    bool mSkinsPending = false;
    AppShellOptions mOptions;
    std::string mCommandLine;
    std::unique_ptr<Platform::App::ISingleInstance> mSingleInstance;
    bool mGuardReleased = false;
    std::unique_ptr<ISplashWindow> mSplash;
};

}  // namespace Tavo
