// The application object's base (settings, folders, windows, start-up and
// shutdown hooks) and FrameworkAppShell, the program's start: single
// instance, string tables and skin, the application's run and its end.
#include "Application/ApplicationBase.h"

#include "Application/DebugLog.h"
#include "Application/Version.h"
#include "ObjectBase/Exception.h"
#include "Platform/App/Folders.h"
#include "Platform/App/MessageBox.h"
#include "Platform/App/TimerResolution.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Graphics/SystemFont.h"
#include "Platform/Kernel/Resources.h"
#include "Platform/Kernel/KernelSystem.h"
#include "Platform/Kernel/TextCoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>
#include <sys/stat.h>

namespace Tavo {

int32_t gProcessExitCode = 0;
const WString* gMainWindowClassName = nullptr;
RCPtr<LApplicationBase> gApplication;

namespace App = Platform::App;

namespace {

constexpr const char* kShellFile = "Application/ApplicationBaseWin";
constexpr const char16_t* kStartupErrorText =
    u"The application encountered problems during startup and will now close.";

std::string Utf8(const WString& text)
{
    return NString(text).c_str();
}

// One look-up per question, in the translation that suits the user.
WString VersionText(const char* key)
{
    return Version().GetString(key);
}

// A copy holds the lock but cannot be reached: whatever this copy was asked,
// running beside it could make a second window or update the device under
// it, so this copy ends.
void TellUnreachable(const App::ISingleInstance& guard)
{
    std::fprintf(stderr, "Single instance: %s; this copy does not start beside the running one.\n",
                 guard.SocketTrouble().c_str());
}

}  // namespace

bool IsQuietEndResult(TavoResult result)
{
    const uint32_t r = uint32_t(result);
    return r == 0x8000A000u || r == 0x8000A001u || r == 0x8000A002u || r == 0x8000A003u || r == 0x8000A010u ||
           r == 0x8000A020u;
}

uint32_t MainWindowStyle(const LLayoutDescriptor& layout)
{
    const auto& x = layout.x;
    const auto& y = layout.y;
    const bool noMinimum = x.minAbs == 0 && x.minRel == 0 && y.minAbs == 0 && y.minRel == 0;
    const bool fixed = x.minRef == x.maxRef && x.minAbs == x.maxAbs && x.minRel == x.maxRel &&
                       y.minRef == y.maxRef && y.minAbs == y.maxAbs && y.minRel == y.maxRel;
    const bool allToControl = x.minRef == 1 && y.minRef == 1 && x.maxRef == 1 && y.maxRef == 1;
    const bool resizable = !allToControl && (noMinimum || !fixed);
    if (!resizable)
        return kWindowStyleFixed;
    if (x.maxAbs == 0 && y.maxAbs == 0 && x.maxRef != 1 && y.maxRef != 1)
        return kWindowStyleMaximize;
    return kWindowStyleSizing;
}

WindowRect CutWindowToDesktop(WindowRect window, const WindowRect& desktop)
{
    window.width = std::min(window.width, desktop.width);
    window.height = std::min(window.height, desktop.height);
    return window;
}

WindowRect MoveWindowIntoDesktop(WindowRect window, const WindowRect& desktop)
{
    // In 64 bits: a stored position may lie anywhere in the 32-bit range.
    auto fit = [](int32_t& start, int32_t size, int32_t deskStart, int32_t deskSize) {
        const int64_t deskEnd = int64_t(deskStart) + deskSize;
        if (start < deskStart)
            start = deskStart;
        if (int64_t(start) + size > deskEnd)
            start = int32_t(std::max<int64_t>(deskStart, deskEnd - size));
    };
    fit(window.left, window.width, desktop.left, desktop.width);
    fit(window.top, window.height, desktop.top, desktop.height);
    return window;
}

// ---- LApplicationBase ----

LApplicationBase::LApplicationBase(FrameworkAppShell& shell, const RCPtr<LControlFactory>& factory,
                                   const RCPtr<LStringTable>& frameworkStrings, const WString& commandLine)
    : LFrameworkApp(factory, frameworkStrings, NString(commandLine), shell.GetHooks()), mShell(shell),
      mLastTick(App::TimeGetTime())
{
    mSettings = LIniFileManager::Create();
    mSettings->Load(u"");
}

LApplicationBase::~LApplicationBase()
{
    if (mSettings)
        mSettings->Unload();
    mSettings = nullptr;
}

const WString& LApplicationBase::GetApplicationName() const
{
    return mShell.GetApplicationName();
}

TavoResult LApplicationBase::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                 const RCPtr<LNotification>& notification)
{
    const bool exitRequest = notification && notification->GetID() &&
                             notification->GetID() == GetNotificationID(u"NID_APP_EXIT_REQ");
    if (!exitRequest)
        return LFrameworkApp::ReceiveNotification(sender, notification);
    // One accepted as it arrived is not asked again.
    if (!mExitAccepted && !AcceptExit())
        return S_OK;
    LFrameworkApp::ReceiveNotification(sender, notification);
    if (mMainWindow)
        mMainWindow->Close();
    mShell.GetLoop().PostQuit(0);
    return S_OK;
}

void LApplicationBase::GetCompanyName(WString& name)
{
    name = mShell.GetCompanyName();
}
void LApplicationBase::GetProductName(WString& name)
{
    name = mShell.GetProductName();
}
void LApplicationBase::GetProductVersion(WString& version)
{
    version = mShell.GetProductVersion();
}
int32_t LApplicationBase::GetLanguageId()
{
    return mShell.GetLanguageId();
}

TavoResult LApplicationBase::GetSystemFont(WString& face, float& size, int32_t& style)
{
    // The desktop's settings manager first, over the display the windows
    // already hold (none is opened for this); else what fontconfig serves
    // for the default sans-serif face.
    Platform::SystemFont font;
    std::string name;
    const bool fromDesktop =
        mHooks.desktop && mHooks.desktop->GetFontName(name) && Platform::ParseFontName(name, font);
    // With neither (no fonts configured at all) the generic face, so that
    // start-up never fails for want of a font answer.
    if (!fromDesktop && (!Platform::MatchDefaultSansFont(font) || font.face.empty() || !(font.points > 0))) {
        font.face = "Sans";
        font.points = 9;
        font.style = 0;
    }
    face = WString(Platform::FromUtf8(font.face).c_str());
    size = float(font.points);
    style = font.style;
    return S_OK;
}

WindowRect LApplicationBase::GetDesktopWorkArea()
{
    if (mHooks.desktop)
        return mHooks.desktop->GetWorkArea();
    return WindowRect{0, 0, 1024, 768};
}

void LApplicationBase::GetFolder(int32_t pathId, WString& folder)
{
    mShell.GetFolder(pathId, folder);
}

double LApplicationBase::GetSecondsSinceStart()
{
    const uint32_t now = App::TimeGetTime();
    // Signed difference: survives the wrap of the millisecond counter.
    const int32_t delta = int32_t(now - mLastTick);
    mLastTick = now;
    mSeconds += delta / 1000.0;
    return mSeconds;
}

uint32_t LApplicationBase::GetMilliseconds()
{
    return App::TimeGetTime();
}

TavoResult LApplicationBase::GetLocalTime(AppLocalTime& time)
{
    const Platform::LocalTime t = Platform::GetLocalTime();
    time = AppLocalTime{t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
    return S_OK;
}

TavoResult LApplicationBase::GetKeyState(uint32_t virtualKey, bool& down, bool& toggled)
{
    down = toggled = false;
    if (mHooks.desktop)
        mHooks.desktop->GetKeyState(virtualKey, down, toggled);
    return S_OK;
}

int32_t LApplicationBase::MessageBox(const WString& text, const WString& caption, uint32_t style)
{
    RCPtr<IAppRootWindow> owner = GetTopRootWindow();
    if (!owner && !mRootWindows.empty())
        owner = mRootWindows.front();
    const uintptr_t handle = owner && mMainWindow ? owner->GetNativeHandle() : 0;
    return App::ShowMessageBox(handle, Utf8(text), Utf8(caption), style);
}

int32_t LApplicationBase::ShowCursor(bool show)
{
    return mHooks.desktop ? mHooks.desktop->ShowCursor(show) : 0;
}

TavoResult LApplicationBase::SetCursorPosition(int32_t x, int32_t y)
{
    return mHooks.desktop && mHooks.desktop->SetCursorPosition(x, y) ? S_OK : E_FAIL;
}

uint32_t LApplicationBase::GetSettings(int32_t kind)
{
    if (kind != 0 && kind != 1)
        return 0;
    uint32_t& handle = mSettingsHandles[kind];
    if (handle || !mSettings)
        return handle;
    WString folder;
    GetFolder(kind == 0 ? 2 : 3, folder);
    const WString path = folder + WString(kind == 0 ? u"/AppSettings.ini" : u"/UserSettings.ini");
    WString version, product;
    GetSettingsVersion(version);
    GetProductName(product);
    mSettings->Open(path, version, product, handle);
    return handle;
}

TavoResult LApplicationBase::CreateMainWindow(int32_t rendererType)
{
    WString controlName;
    GetMainControlName(controlName);
    RCPtr<LControlDescriptor> descriptor =
        mControlFactory ? mControlFactory->FindDescriptorByName(WString(controlName.c_str())) : nullptr;
    if (!descriptor)
        TAVO_THROW(std::runtime_error, "Null Pointer : Invalid Control Name",
                   "Tavo::LApplicationBase<class LApplication>::CreateMainWindow", kShellFile, 1234);
    if (!mHooks.createMainWindow)
        return E_FAIL;
    std::unique_ptr<IMainWindow> window = mHooks.createMainWindow();
    if (!window)
        return E_FAIL;

    MainWindowParams params;
    params.className = GetApplicationName();
    WString title;
    GetCompanyName(title);
    params.title = title.c_str();
    const RCPtr<LLayoutDescriptor> layout =
        descriptor->GetLayout() ? descriptor->GetLayout() : LLayoutDescriptor::Create();
    params.style = MainWindowStyle(*layout);
    params.rect = WindowRect{int32_t(layout->x.positionAbs), int32_t(layout->y.positionAbs),
                             int32_t(layout->x.sizeAbs), int32_t(layout->y.sizeAbs)};
    if (window->Create(params) < 0)
        return E_FAIL;
    window->SetIcon(GetApplicationIcon());
    mMainWindow = std::move(window);
    const TavoResult result = mMainWindow->CreateRenderer(rendererType);
    RestorePlacement();
    return result;
}

AppIcon LApplicationBase::GetApplicationIcon()
{
    WString folder;
    GetFolder(1, folder);
    std::unique_ptr<Platform::Graphics::Surface> image;
    if (folder == WString(u"::")) {
        const std::span<const uint8_t> data = Platform::FindResource("PNG", "APP_ICON");
        if (!data.empty())
            image = Platform::Graphics::Surface::FromPng(data.data(), data.size());
    } else {
        image = Platform::Graphics::Surface::FromPngFile(Utf8(folder + WString(u"/Icon.png")).c_str());
    }
    AppIcon icon;
    if (!image)
        return icon;
    icon.width = image->Width();
    icon.height = image->Height();
    icon.argb.reserve(size_t(icon.width) * size_t(icon.height));
    for (int32_t y = 0; y < icon.height; ++y)
        for (int32_t x = 0; x < icon.width; ++x)
            icon.argb.push_back(image->GetPixel(x, y));
    return icon;
}

IMainWindow* LApplicationBase::MakeTopLevelWindow(const RCPtr<LControl>& given,
                                                  const TopLevelWindowArgs& args)
{
    constexpr const char* kFunction = "Tavo::LApplicationBase<class LApplication>::CreateRootWindow";
    // The controls are placed many times while the window is made.
    const DesktopAnswersHold held(mHooks.desktop.get());
    RCPtr<LControl> control = given;
    RCPtr<LControlDescriptor> descriptor;
    if (control) {
        descriptor = control->GetDescriptor();
        if (!descriptor)
            TAVO_THROW(std::runtime_error, "Null Pointer : Control descriptor is null", kFunction, kShellFile,
                       943);
    } else {
        descriptor = mControlFactory ? mControlFactory->FindDescriptorByName(args.descriptorName) : nullptr;
        if (!descriptor)
            TAVO_THROW(std::runtime_error, "Null Pointer : Invalid Control Name", kFunction, kShellFile,
                       1001);
        control = CreateControl(args.descriptorName);
    }
    if (!control || !mHooks.createMainWindow)
        return nullptr;
    // Windows closed since the last call go now.
    std::erase_if(mWindows, [](const std::unique_ptr<IMainWindow>& w) { return !w->IsOpen(); });
    std::unique_ptr<IMainWindow> window = mHooks.createMainWindow();
    if (!window)
        return nullptr;

    MainWindowParams params;
    params.className = u"TavoFrameworkWindow";
    if (const RCPtr<LStringTable> strings = control->GetStringTable())
        strings->FindString(u"LABEL", params.title);
    const RCPtr<LLayoutDescriptor> layout =
        descriptor->GetLayout() ? descriptor->GetLayout() : LLayoutDescriptor::Create();
    params.style = MainWindowStyle(*layout);
    params.rect = WindowRect{int32_t(layout->x.positionAbs), int32_t(layout->y.positionAbs),
                             int32_t(layout->x.sizeAbs), int32_t(layout->y.sizeAbs)};
    if (!args.unowned) {
        RCPtr<IAppRootWindow> top = GetTopRootWindow();
        if (!top && !mRootWindows.empty())
            top = mRootWindows.front();
        params.owner = top ? top->GetNativeHandle() : 0;
    }
    if (window->Create(params) < 0)
        return nullptr;
    window->SetIcon(GetApplicationIcon());
    if (window->CreateRenderer(GetRendererType()) < 0 || !window->GetAppRootWindow() ||
        window->GetAppRootWindow()->SetRootControl(control) < 0) {
        window->Close();
        return nullptr;
    }
    const WindowRect area = GetDesktopWorkArea();
    window->MoveWindow(MoveWindowIntoDesktop(
        CutWindowToDesktop(window->FitToSizeLimits(window->GetWindowRect()), area), area));
    window->Show();
    mWindows.push_back(std::move(window));
    return mWindows.back().get();
}

int32_t LApplicationBase::CreateTopLevelWindow(const RCPtr<LControl>& control, const TopLevelWindowArgs& args)
{
    IMainWindow* window = MakeTopLevelWindow(control, args);
    return window ? AddRootWindow(window->GetAppRootWindow()) : E_FAIL;
}

int32_t LApplicationBase::RunModalWindow(const RCPtr<LControl>& control, const TopLevelWindowArgs& args)
{
    IMainWindow* window = MakeTopLevelWindow(control, args);
    if (!window)
        return E_FAIL;
    const int32_t result = window->RunModalLoop();
    std::erase_if(mWindows, [window](const std::unique_ptr<IMainWindow>& w) { return w.get() == window; });
    return result;
}

void LApplicationBase::RestorePlacement()
{
    if (App::IProfileStore* profile = mShell.GetProfile()) {
        if (auto placement = App::ReadWindowPlacement(*profile, Utf8(GetApplicationName())))
            mMainWindow->SetPlacement(placement->data(), placement->size());
    }
    KeepMainWindowOnDesktop();
}

void LApplicationBase::KeepMainWindowOnDesktop()
{
    if (!mHooks.desktop || !mMainWindow)
        return;
    const WindowRect desktop = mHooks.desktop->GetDesktopRect();
    const WindowRect frame = mMainWindow->GetWindowRect();
    WindowRect rect = CutWindowToDesktop(frame, desktop);
    rect = MoveWindowIntoDesktop(mMainWindow->FitToSizeLimits(rect), desktop);
    if (rect != frame)
        mMainWindow->MoveWindow(rect);
}

TavoResult LApplicationBase::RunApplicationStartup()
{
    App::TimeBeginPeriod(1);
    gMainWindowClassName = &GetApplicationName();
    if (LFrameworkApp::RunApplicationStartup() < 0)
        return E_FAIL;
    Subscribe(GetMainNotificationCenter(), u"NID_APP_EXIT_REQ", 0);
    const KeyCode altF4 = KeyCode::FromString(u"Alt+VKEY_F4");
    // A binding from the string table wins.
    if (mHotKeys && mHotKeys->FindBinding(altF4).IsEmpty())
        mHotKeys->AddBinding(altF4, u"NID_APP_EXIT_REQ");
    return S_OK;
}

int32_t LApplicationBase::RunMessageLoop()
{
    App::IMessageLoop& loop = mShell.GetLoop();
    FrameworkAppShell* shell = &mShell;
    loop.SetIdleHandler([shell](int32_t count) { return shell->OnIdle(count); });
    const int32_t result = loop.Run();
    loop.SetIdleHandler(nullptr);
    mShell.ExitInstance();
    return result;
}

TavoResult LApplicationBase::RunApplicationShutdown()
{
    // Settings changed during the run would otherwise never reach the disk.
    for (uint32_t& handle : mSettingsHandles) {
        if (handle && mSettings) {
            mSettings->Write(handle);
            mSettings->Close(handle, 0);
        }
        handle = 0;
    }
    LFrameworkApp::RunApplicationShutdown();
    App::TimeEndPeriod(1);
    return S_OK;
}

// ---- FrameworkAppShell ----

FrameworkAppShell::FrameworkAppShell(AppShellOptions options, std::string commandLine)
    : mOptions(std::move(options)), mCommandLine(std::move(commandLine))
{
    // Version failures read the string table's text once an application exists.
    SetStartupErrorTextSource(&GetStartupErrorText);
    if (!mOptions.loop)
        mOptions.loop = &App::MainMessageLoop();
    if (!mOptions.createSingleInstance) {
        mOptions.createSingleInstance = [](const std::string& name) {
            return std::make_unique<App::SingleInstance>(name);
        };
    }
}

FrameworkAppShell::~FrameworkAppShell()
{
    // It points at this shell's application name.
    if (gMainWindowClassName == &mOptions.applicationName)
        gMainWindowClassName = nullptr;
}

WString FrameworkAppShell::GetCompanyName() const
{
    return VersionText("CompanyName");
}
WString FrameworkAppShell::GetProductName() const
{
    return VersionText("ProductName");
}
WString FrameworkAppShell::GetProductVersion() const
{
    return VersionText("ProductVersion");
}

int32_t FrameworkAppShell::Main(int32_t languageId)
{
    // A closed stderr or log reader must not end the program: its exit
    // status is the answer that scripts wait for.
    Platform::IgnoreBrokenPipes();
    mLanguageId = languageId == -1 ? int32_t(Platform::GetUserDefaultLangID()) : languageId;
    try {
        if (InitApplication()) {
            if (InitInstance())
                Run();
            else
                ExitInstance();
        }
    } catch (const std::exception& e) {
        DebugLog::Get().Narrow() << e.what() << std::endl;
        HideSplashScreen();
        ShowStartupError();
    } catch (...) {
        HideSplashScreen();
        ShowStartupError();
    }
    // A run that ended before its window showed still has its splash.
    HideSplashScreen();
    mControlFactory = nullptr;
    mFrameworkStringTable = nullptr;
    return mStartupFailed ? kStartupFailureExitCode : gProcessExitCode;
}

void FrameworkAppShell::ShowStartupError()
{
    mStartupFailed = true;
    WString text = kStartupErrorText;
    WString caption = u"Error";
    if (mFrameworkStringTable) {
        mFrameworkStringTable->FindString(u"STARTUP_ERROR", text);
        mFrameworkStringTable->FindString(u"STARTUP_ERROR_CAPTION", caption);
    }
    App::ShowMessageBox(0, Utf8(text), Utf8(caption), App::MB_ICONERROR);
}

bool FrameworkAppShell::InitApplication()
{
    mInitApplicationPending = false;
    try {
        ShowSplashScreen();
        mControlFactory = LControlFactory::Create(WString(GetProductName().c_str()));
        WString location;
        GetFolder(1, location);
        mSkinsPending = mOptions.runsWithoutWindow && mOptions.runsWithoutWindow(mCommandLine);
        TAVO_THROW_IF_FAILED(mSkinsPending ? mControlFactory->LoadResourceStrings(location, mLanguageId)
                                           : mControlFactory->LoadResources(location, mLanguageId),
                             "Tavo::MFCFrameworkApp<class LApplication>::InitApplication", kShellFile, 161);
        mFrameworkStringTable = mControlFactory->GetFrameworkStringTable();
        gMainWindowClassName = &mOptions.applicationName;

        mSingleInstance = mOptions.createSingleInstance(Utf8(mOptions.applicationName));
        if (!GuardIsSound())
            return false;
        const size_t toldBefore = mSingleInstance->Trouble().size();
        mIsFirstInstance = mSingleInstance->Acquire();
        // A lock that cannot be made leaves this copy unguarded: said too.
        const std::vector<std::string> trouble = mSingleInstance->Trouble();
        for (size_t i = toldBefore; i < trouble.size(); ++i)
            std::fprintf(stderr, "Single instance: %s; this copy runs unguarded.\n", trouble[i].c_str());
        if (!mIsFirstInstance) {
            // The first copy's socket exists as soon as its lock does: what
            // is sent waits there until its window serves.
            const App::HandOverResult handed = mSingleInstance->HandOver(mCommandLine, kHandOverWaitMs);
            if (handed == App::HandOverResult::TooLarge)
                std::fprintf(stderr,
                             "The command line (%zu bytes) is too long to hand over to the running copy "
                             "(at most %zu bytes); its window was brought up without it.\n",
                             mCommandLine.size(), App::ISingleInstance::kMaxMessage - 1);
            if (handed == App::HandOverResult::Failed) {
                std::fprintf(stderr, "The running copy did not take the command line in time.\n");
                mStartupFailed = true;
            }
            if (handed == App::HandOverResult::Unreachable) {
                TellUnreachable(*mSingleInstance);
                mStartupFailed = true;
            }
            if (handed != App::HandOverResult::NoFirstCopy)
                return false;
            // No copy holds the lock any longer, or its holder never made a
            // socket: start as the first copy, holding the lock if free now.
            mIsFirstInstance = mSingleInstance->Acquire();
        }
        if (mIsFirstInstance && mOptions.runsWithoutWindow && mOptions.runsWithoutWindow(mCommandLine)) {
            mSingleInstance->Release();
            mGuardReleased = true;
        }
        return true;
    } catch (const std::exception& e) {
        DebugLog::Get().Narrow() << e.what() << std::endl;
    } catch (...) {
    }
    HideSplashScreen();
    ShowStartupError();
    return false;
}

bool FrameworkAppShell::GuardBeforeWindow()
{
    if (!mGuardReleased || !mSingleInstance)
        return true;
    mGuardReleased = false;
    mIsFirstInstance = mSingleInstance->Acquire();
    if (mIsFirstInstance)
        return true;
    const App::HandOverResult handed = mSingleInstance->HandOver(mCommandLine, kHandOverWaitMs);
    if (handed == App::HandOverResult::Unreachable) {
        TellUnreachable(*mSingleInstance);
        mStartupFailed = true;
    }
    mIsFirstInstance = handed == App::HandOverResult::NoFirstCopy && mSingleInstance->Acquire();
    return handed == App::HandOverResult::NoFirstCopy;
}

bool FrameworkAppShell::GuardIsSound()
{
    const std::vector<std::string> trouble = mSingleInstance->Trouble();
    for (const std::string& line : trouble)
        std::fprintf(stderr, "Runtime folder not used: %s.\n", line.c_str());
    // The reason alone does not tell the user what would do instead.
    if (!trouble.empty())
        std::fprintf(stderr,
                     "A runtime folder is trusted when it belongs to the user running the program, has "
                     "mode 700 and is no symbolic link.\n");
    // A run without a window guards nobody anyway: it goes on.
    const bool windowless = mOptions.runsWithoutWindow && mOptions.runsWithoutWindow(mCommandLine);
    if (!mSingleInstance->Guarded() && !windowless) {
        std::fprintf(stderr, "No runtime folder can be trusted, so a second copy could not be kept from "
                             "starting: the program does not start.\n");
        mStartupFailed = true;
        HideSplashScreen();
        return false;
    }
    return true;
}

bool FrameworkAppShell::InitInstance()
{
    ApplyDebugConsoleSwitch(DebugLog::Get(), mCommandLine);
    if (!mOptions.profile)
        mOptions.profile =
            std::make_shared<App::FileProfileStore>(Utf8(GetCompanyName()), Utf8(mOptions.applicationName));
    return true;
}

int32_t FrameworkAppShell::Run()
{
    const WString commandLine(mCommandLine.c_str());
    gApplication = mOptions.createApplication(*this, mControlFactory, mFrameworkStringTable, commandLine);
    if (!gApplication)
        TAVO_THROW_IF_FAILED(E_FAIL, "Tavo::MFCFrameworkApp<class LApplication>::Run", kShellFile, 368);
    try {
        const RCPtr<LApplicationBase> app = gApplication;
        const WString stored(app->GetCommandLine());
        app->ProcessCommandLineBeforeStartup(stored);
        // Only for a window: a run that ends without one loads no fonts.
        const auto& mayEnd =
            mOptions.mayEndWithoutWindow ? mOptions.mayEndWithoutWindow : mOptions.runsWithoutWindow;
        if (mOptions.hooks.prepareWindowServices && !(mayEnd && mayEnd(mCommandLine)))
            mOptions.hooks.prepareWindowServices();
        const TavoResult started = app->RunApplicationStartup();
        if (started < 0) {
            if (!IsQuietEndResult(started))
                TAVO_THROW_IF_FAILED(started, "Tavo::MFCFrameworkApp<class LApplication>::Run", kShellFile,
                                     368);
            HideSplashScreen();
            ExitInstance();
            Shutdown();
            return 1;
        }
        app->ProcessCommandLineAfterStartup(stored);
        if (!GuardBeforeWindow()) {
            HideSplashScreen();
            ExitInstance();
            Shutdown();
            return 1;
        }
        if (mSkinsPending) {
            mSkinsPending = false;
            TAVO_THROW_IF_FAILED(mControlFactory->LoadResourceSkins(),
                                 "Tavo::MFCFrameworkApp<class LApplication>::InitApplication", kShellFile,
                                 161);
            app->ApplyStoredSkin();
        }
        {
            // The controls are placed many times while they are made.
            const DesktopAnswersHold held(mOptions.hooks.desktop.get());
            TAVO_THROW_IF_FAILED(app->CreateMainWindow(app->GetRendererType()),
                                 "Tavo::MFCFrameworkApp<class LApplication>::Run", kShellFile, 349);
            WString controlName;
            app->GetMainControlName(controlName);
            const TavoResult created =
                app->GetRootWindows().empty()
                    ? E_FAIL
                    : app->GetRootWindows().front()->CreateRootControl(controlName.c_str());
            TAVO_THROW_IF_FAILED(created, "Tavo::MFCFrameworkApp<class LApplication>::Run", kShellFile, 350);
            // The root control's own size limits may have grown the window
            // past the desktop's edge from where its stored placement put it.
            app->KeepMainWindowOnDesktop();
        }
        app->GetMainWindow()->Show();
        HideSplashScreen();
        if (mIsFirstInstance && mSingleInstance) {
            // Brings the main window up; the application, or null when there
            // is no window (or, for a command line, none that takes input).
            auto raise = [](bool enabledOnly) -> RCPtr<LApplicationBase> {
                const RCPtr<LApplicationBase> current = gApplication;
                IMainWindow* window = current ? current->GetMainWindow() : nullptr;
                if (!window || (enabledOnly && !window->IsEnabled()))
                    return nullptr;
                window->BringToFront();
                return current;
            };
            const bool serving = mSingleInstance->StartServing(
                GetLoop(),
                [raise](const std::string& text) {
                    const RCPtr<LApplicationBase> current = raise(true);
                    if (current)
                        current->ProcessSecondInstanceCommandLine(WString(text.c_str()));
                    return bool(current);
                },
                [raise] { return bool(raise(false)); });
            const std::string trouble = mSingleInstance->SocketTrouble();
            if (!serving && !trouble.empty())
                std::fprintf(stderr,
                             "Single instance: %s; a copy started beside this one cannot hand its command "
                             "line over and does not start.\n",
                             trouble.c_str());
        }
        app->RunApplication();
    } catch (...) {
        Shutdown();
        throw;
    }
    Shutdown();
    return 1;
}

void FrameworkAppShell::Shutdown()
{
    if (!gApplication)
        return;
    RCPtr<LApplicationBase> app = gApplication;
    app->RunApplicationShutdown();
    gApplication = nullptr;
    app = nullptr;
}

WString FrameworkAppShell::GetSplashImagePath()
{
    WString folder;
    GetFolder(1, folder);
    // The program's own resources ("::") are no folder: nothing is looked up.
    if (folder == WString(u"::"))
        return WString();
    const WString path = folder + WString(u"/Splash.png");
    struct stat info
    {
    };
    if (::stat(Utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return path;
    return WString();
}

void FrameworkAppShell::ShowSplashScreen()
{
    const WString path = GetSplashImagePath();
    if (path.IsEmpty() || mSplash || !mOptions.hooks.createSplash)
        return;
    std::unique_ptr<ISplashWindow> splash = mOptions.hooks.createSplash();
    if (!splash || !splash->SetImageFromFile(Utf8(path)) || !splash->Start())
        return;
    splash->PostProgress(0, 100, 8);
    mSplash = std::move(splash);
}

void FrameworkAppShell::HideSplashScreen()
{
    if (!mSplash)
        return;
    mSplash->PostPosition(100);
    mSplash->Stop();
    mSplash = nullptr;
}

bool FrameworkAppShell::OnIdle(int32_t idleCount)
{
    const RCPtr<LApplicationBase> app = gApplication;
    if (!app || app->IsIdleProcessingStopped())
        return false;
    const bool more = app->ProcessNotifications(idleCount == 0);
    return more && idleCount < 2;
}

void FrameworkAppShell::GetFolder(int32_t pathId, WString& folder)
{
    std::string path;
    switch (pathId) {
    case 0:
        path = App::GetSystemFolder(App::FolderId::Program);
        break;
    case 1:
        path = "::";
        break;
    case 2:
        path = App::GetProgramDataFolder(App::FolderId::CommonAppData, Utf8(GetCompanyName()),
                                         Utf8(GetProductName()));
        break;
    case 3:
        path = App::GetProgramDataFolder(App::FolderId::UserAppData, Utf8(GetCompanyName()),
                                         Utf8(GetProductName()));
        break;
    case 4:
        path = App::GetSystemFolder(App::FolderId::Documents);
        break;
    default:
        TAVO_THROW(std::out_of_range, "Unknown Path ID.",
                   "Tavo::MFCFrameworkApp<class LApplication>::GetFolder", kShellFile, 570);
    }
    folder = WString(path.c_str());
}

}  // namespace Tavo
