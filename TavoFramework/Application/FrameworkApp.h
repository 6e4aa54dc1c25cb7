#pragma once

#include "Application/AppClock.h"
#include "Application/AppInterfaces.h"
#include "Application/IniFileManager.h"
#include "ControlBase/ControlFactory.h"
#include "Notification/NotificationCenter.h"
#include "Notification/NotificationClient.h"
#include "Renderer/RenderHost.h"
#include "System/HotKeyMap.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace Tavo {

// A skin's font style that the skin leaves unset (all 32 bits).
inline constexpr int32_t kSkinStyleUnset = -1;

struct AppFont
{
    WString face;
    float size = 0.0f;
    int32_t style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
};

struct AppLocalTime
{
    int32_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// The events of the power message.
inline constexpr uint32_t kPowerSuspend = 0x4;
inline constexpr uint32_t kPowerResumeSuspend = 0x7;     // resumed by the user
inline constexpr uint32_t kPowerResumeAutomatic = 0x12;  // every resume

// The platform-neutral core of the one application object: control
// factory, string tables, root windows, hot keys, the exit request, idle
// notification passes, and the framework's part of start-up and shutdown.
class LFrameworkApp : public LNotificationClient, public IRenderHost
{
public:
    LFrameworkApp(const RCPtr<LControlFactory>& factory, const RCPtr<LStringTable>& frameworkStrings,
                  const NString& commandLine, const AppPlatformHooks& hooks);
    ~LFrameworkApp() override;

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;

    virtual TavoResult ProcessCommandLineBeforeStartup(const WString& commandLine);
    virtual TavoResult ProcessCommandLineAfterStartup(const WString& commandLine);
    // The command line a second copy handed over.
    virtual TavoResult ProcessSecondInstanceCommandLine(const WString& commandLine);
    virtual TavoResult RunApplication();
    virtual bool IsIdleProcessingStopped() const { return mExitRequested; }

    virtual void GetCompanyName(WString& name) = 0;
    virtual void GetProductName(WString& name) = 0;
    virtual void GetProductVersion(WString& version) = 0;
    virtual void GetSettingsVersion(WString& version) = 0;
    virtual void GetProductTitle(WString& title) = 0;
    virtual void GetMainControlName(WString& name) = 0;
    virtual CursorHandle GetCursor(const WString& name) = 0;
    virtual RCPtr<IAppStatusBar> GetStatusBar();
    virtual int32_t GetLanguageId() = 0;
    virtual TavoResult GetSystemFont(WString& face, float& size, int32_t& style) = 0;
    virtual WindowRect GetDesktopWorkArea() = 0;
    virtual void GetFolder(int32_t pathId, WString& folder) = 0;
    virtual int32_t GetCurrentSkinIndex();
    virtual TavoResult SetSkin(int32_t index);
    // The skin the settings name, or the last one when they name none that
    // exists.
    TavoResult ApplyStoredSkin();
    virtual double GetSecondsSinceStart() = 0;
    virtual uint32_t GetMilliseconds() = 0;
    // The renderer of the first root window that has one, else the one the
    // renderer layer keeps for the process.
    RCPtr<LMeasurementRenderer> GetMeasurementRenderer() override;
    // The skin's font, with what it leaves open from the system font
    // (GetSystemFont, asked once, when first needed); before any skin the
    // system font.
    TavoResult GetDefaultFont(WString& face, float& size, int32_t& style) override;
    bool FindFrameworkText(const WString& id, WString& text) override;
    virtual TavoResult GetLocalTime(AppLocalTime& time) = 0;
    virtual TavoResult GetKeyState(uint32_t virtualKey, bool& down, bool& toggled) = 0;
    virtual int32_t MessageBox(const WString& text, const WString& caption, uint32_t style) = 0;
    virtual int32_t AddRootWindow(const RCPtr<IAppRootWindow>& window);
    virtual TavoResult RemoveRootWindow(const RCPtr<IAppRootWindow>& window);
    virtual IIniFileManager* GetSettingsManager() { return GetIniFileManager(); }
    virtual IIniFileManager* GetIniFileManager() = 0;
    // The handle of settings file kind 0 (application) or 1 (user); 0 when
    // none is open.
    virtual uint32_t GetSettings(int32_t kind) = 0;
    virtual RCPtr<LControl> CreateControl(const WString& name);
    virtual void GetMousePosition(int32_t& x, int32_t& y);
    virtual uint32_t GetMouseButtons();
    virtual bool ProcessNotifications(bool firstTurn);
    virtual int32_t GetRendererType() = 0;
    virtual TavoResult CreateMainWindow(int32_t rendererType) = 0;
    virtual TavoResult RunApplicationStartup();
    virtual void OnBeforeMessageLoop() {}
    virtual int32_t RunMessageLoop() = 0;
    virtual TavoResult RunApplicationShutdown();
    // Whether the program may end now; asks, changes nothing.
    virtual bool CanExit() { return true; }
    // Decides an exit request: true when it goes ahead. An application may
    // take a yes as final, so that nothing it would then forbid starts
    // before the request's notice is handled.
    virtual bool AcceptExit() { return CanExit(); }
    // An exit request as it arrives (the Exit button, a close request, the
    // exit hot key): decided at once, and "NID_APP_EXIT_REQ" posted only
    // when accepted; that notice then ends the program without asking
    // again. False when refused.
    bool RequestExit();
    // A change of the machine's power state as the power message carries
    // it (kPowerSuspend and the like, data 0); returns the message's answer.
    virtual intptr_t OnPowerEvent(uint32_t /*event*/, uintptr_t /*data*/) { return 1; }
    // The classes RunApplicationStartup registers, in order: those the
    // program handed over with the platform hooks.
    virtual std::span<const ControlClassRow> GetControlClassTable() { return mHooks.controlClasses; }
    virtual TavoResult RegisterControlClass(const ControlClassRow& row);

    // The last listed root window whose native window is active, or empty.
    RCPtr<IAppRootWindow> GetTopRootWindow() const;
    TavoResult SetStatusText(const WString& text, bool immediate);
    TavoResult RestoreStatusText(bool immediate);
    // Posts the notification bound to the key, with the key as its data, to
    // the main center; S_FALSE when the key has no binding.
    TavoResult DispatchGlobalHotKey(const KeyCode& key);

    const RCPtr<LControlFactory>& GetControlFactory() const { return mControlFactory; }
    const NString& GetCommandLine() const { return mCommandLine; }
    const std::vector<RCPtr<IAppRootWindow>>& GetRootWindows() const { return mRootWindows; }
    const RCPtr<LStringTable>& GetFrameworkStringTable() const { return mFrameworkStringTable; }
    const RCPtr<LStringTable>& GetApplicationStringTable() const { return mApplicationStringTable; }
    const AppFont& GetApplicationFont() const { return mApplicationFont; }
    HotKeyMap* GetGlobalHotKeys() const { return mHotKeys.get(); }
    IClipboardService* GetClipboard() const { return mClipboard.get(); }
    const AppPlatformHooks& GetPlatformHooks() const { return mHooks; }

protected:
    RCPtr<LControlFactory> mControlFactory;
    NString mCommandLine;
    std::vector<RCPtr<IAppRootWindow>> mRootWindows;
    RCPtr<LStringTable> mFrameworkStringTable;
    RCPtr<LStringTable> mApplicationStringTable;
    bool mExitRequested = false;
    // An exit request was accepted as it arrived.
    bool mExitAccepted = false;
    // What the skin sets; pending while parts it left open still wait for
    // the system font.
    AppFont mApplicationFont;
    bool mApplicationFontPending = false;
    std::unique_ptr<HotKeyMap> mHotKeys;
    std::unique_ptr<IClipboardService> mClipboard;
    AppPlatformHooks mHooks;

private:
    // Installed while the application lives: GetAppClock() reads the
    // application's GetMilliseconds and GetSecondsSinceStart.
    std::unique_ptr<IAppClock> mClock;
    IAppClock* mReplacedClock = nullptr;
};

// The one application object, or null outside its lifetime.
LFrameworkApp* GetFrameworkApp();

// The process-wide status bar that GetStatusBar hands out; the
// application's override fills it.
RCPtr<IAppStatusBar>& StatusBarCache();

// Busy cursor and status text around a long operation on the interface
// thread; needs a root window.
class LWaitCursor
{
public:
    explicit LWaitCursor(const WString& statusText);
    ~LWaitCursor();
    LWaitCursor(const LWaitCursor&) = delete;
    LWaitCursor& operator=(const LWaitCursor&) = delete;

private:
    RCPtr<IAppRootWindow> mRoot;
    CursorHandle mPrevious = 0;
};

// The text of "EXCEPTION_ID" formatted with the code, or the built-in
// English text before the application exists.
WString GetStartupErrorText(int32_t code);
CursorHandle GetAppCursor(const WString& name);

// Standard cursor ids.
inline constexpr CursorHandle IDC_ARROW = 32512, IDC_IBEAM = 32513, IDC_WAIT = 32514, IDC_CROSS = 32515,
                              IDC_UPARROW = 32516, IDC_SIZENWSE = 32642, IDC_SIZENESW = 32643,
                              IDC_SIZEWE = 32644, IDC_SIZENS = 32645, IDC_SIZEALL = 32646, IDC_NO = 32648,
                              IDC_HAND = 32649, IDC_APPSTARTING = 32650, IDC_HELP = 32651;
// The framework's cursor table; unknown names give the arrow.
CursorHandle FrameworkCursor(const WString& name);

}  // namespace Tavo
