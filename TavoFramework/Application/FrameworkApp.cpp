#include "Application/FrameworkApp.h"

#include "ControlBase/ControlEnvironment.h"
#include "ObjectBase/Exception.h"
#include "System/CursorNames.h"
#include "Utilities/Storage/Format.h"
#include "Window/InputParams.h"

#include <algorithm>
#include <exception>

namespace Tavo {

namespace {

LFrameworkApp* gFrameworkApp = nullptr;

constexpr const char* kFile = "Application\\FrameworkApp";

bool IsName(const RCPtr<LNotification>& notification, const char16_t* name)
{
    return notification && notification->GetID() && notification->GetID() == GetNotificationID(name);
}

class ApplicationClock final : public IAppClock
{
public:
    explicit ApplicationClock(LFrameworkApp& app) : mApp(app) {}
    uint32_t GetMilliseconds() override { return mApp.GetMilliseconds(); }
    double GetSecondsSinceStart() override { return mApp.GetSecondsSinceStart(); }

private:
    LFrameworkApp& mApp;
};

}  // namespace

LFrameworkApp* GetFrameworkApp()
{
    return gFrameworkApp;
}

RCPtr<IAppStatusBar>& StatusBarCache()
{
    static auto* cache = new RCPtr<IAppStatusBar>();
    return *cache;
}

LFrameworkApp::LFrameworkApp(const RCPtr<LControlFactory>& factory,
                             const RCPtr<LStringTable>& frameworkStrings, const NString& commandLine,
                             const AppPlatformHooks& hooks)
    : mControlFactory(factory), mCommandLine(commandLine), mFrameworkStringTable(frameworkStrings),
      mHooks(hooks)
{
    gFrameworkApp = this;
    mClock = std::make_unique<ApplicationClock>(*this);
    mReplacedClock = SetAppClock(mClock.get());
    SetRenderHost(this);
    // Makes the center manager before any worker can post to it.
    GetMainNotificationCenter();
    mHotKeys = std::make_unique<HotKeyMap>();
    if (mHooks.createClipboard)
        mClipboard = mHooks.createClipboard();
    if (mControlFactory)
        mApplicationStringTable = mControlFactory->GetApplicationStringTable();
    ControlEnvironment().factory = mControlFactory;
    // Keys no control and no window takes end at the program's hot keys.
    ControlEnvironment().processHotKey = [this](const KeyCode& key) { return DispatchGlobalHotKey(key); };
    ControlEnvironment().applicationHotKeys = [this] { return mHotKeys.get(); };
    ControlEnvironment().setStatusText = [this](const WString& text) { return SetStatusText(text, true); };
    ControlEnvironment().workArea = [this] {
        const WindowRect r = GetDesktopWorkArea();
        return RectT<int32_t>{r.left, r.top, r.width, r.height};
    };
    ControlEnvironment().placementWindow = [this]() -> LRootWindow* {
        RCPtr<IAppRootWindow> window = GetTopRootWindow();
        if (!window && !mRootWindows.empty())
            window = mRootWindows.front();
        return window ? window->GetControlsWindow() : nullptr;
    };
    ControlEnvironment().screenPointer = [this] {
        PointT<int32_t> p;
        GetMousePosition(p.x, p.y);
        return p;
    };
}

LFrameworkApp::~LFrameworkApp()
{
    SetAppClock(mReplacedClock);
    UnsubscribeAll();
    LNotificationCenterManager::ReleaseInstance();
    LNotification::SetPoolingEnabled(false);
    gFrameworkApp = nullptr;
    if (ControlEnvironment().factory == mControlFactory)
        ControlEnvironment().factory = nullptr;
    ControlEnvironment().processHotKey = nullptr;
    ControlEnvironment().applicationHotKeys = nullptr;
    ControlEnvironment().setStatusText = nullptr;
    ControlEnvironment().workArea = nullptr;
    ControlEnvironment().placementWindow = nullptr;
    ControlEnvironment().screenPointer = nullptr;
    if (GetRenderHost() == this)
        SetRenderHost(nullptr);
    mClipboard.reset();
    mHotKeys.reset();
    mApplicationFont = AppFont();
    mApplicationFontPending = false;
    mApplicationStringTable = nullptr;
    mFrameworkStringTable = nullptr;
    mRootWindows.clear();
    mControlFactory = nullptr;
}

TavoResult LFrameworkApp::ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                              const RCPtr<LNotification>& notification)
{
    if (!IsName(notification, u"NID_APP_EXIT_REQ"))
        return S_OK;
    mExitRequested = true;
    // The main window's own loop ends with the program; further windows end
    // their modal loops, the latest first.
    for (size_t i = mRootWindows.size(); i-- > 1;)
        mRootWindows[i]->RequestEndModalLoop(0);
    return S_OK;
}

bool LFrameworkApp::RequestExit()
{
    // Decided now: a click queued behind the request must not start what
    // the exit forbids before the notice is handled.
    if (!mExitAccepted && !AcceptExit())
        return false;
    mExitAccepted = true;
    if (RCPtr<LNotification> exit = LNotification::Create(u"NID_APP_EXIT_REQ"))
        GetMainNotificationCenter()->Post(exit);
    return true;
}

TavoResult LFrameworkApp::ProcessCommandLineBeforeStartup(const WString&)
{
    return S_OK;
}
TavoResult LFrameworkApp::ProcessCommandLineAfterStartup(const WString&)
{
    return S_OK;
}
TavoResult LFrameworkApp::ProcessSecondInstanceCommandLine(const WString&)
{
    return S_OK;
}

TavoResult LFrameworkApp::RunApplication()
{
    if (!mRootWindows.empty())
        mRootWindows.front()->RefreshAndRedraw();
    OnBeforeMessageLoop();
    ProcessNotifications(true);
    try {
        RunMessageLoop();
    } catch (...) {
        WString text, caption;
        if (mFrameworkStringTable) {
            mFrameworkStringTable->FindString(u"STARTUP_ERROR", text);
            mFrameworkStringTable->FindString(u"STARTUP_ERROR_CAPTION", caption);
        }
        MessageBox(WString(text.c_str()), WString(caption.c_str()), 0x10);
        if (RCPtr<LNotification> exit = LNotification::Create(u"NID_APP_EXIT_REQ"))
            GetMainNotificationCenter()->Post(exit);
    }
    ProcessNotifications(true);
    return S_OK;
}

RCPtr<IAppStatusBar> LFrameworkApp::GetStatusBar()
{
    return StatusBarCache();
}

int32_t LFrameworkApp::GetCurrentSkinIndex()
{
    const uint32_t handle = GetSettings(1);
    IIniFileManager* settings = GetIniFileManager();
    if (!handle || !settings)
        return 0;
    int32_t value = 0;
    settings->GetInt(handle, u"CurrentSkinIndex", 0, value);
    return value;
}

RCPtr<LMeasurementRenderer> LFrameworkApp::GetMeasurementRenderer()
{
    for (const RCPtr<IAppRootWindow>& window : mRootWindows)
        if (RCPtr<LRenderer> renderer = window->GetRenderer())
            return renderer;
    return GetProcessMeasurementRenderer();
}

bool LFrameworkApp::FindFrameworkText(const WString& id, WString& text)
{
    return mFrameworkStringTable && mFrameworkStringTable->FindString(id, text);
}

TavoResult LFrameworkApp::GetDefaultFont(WString& face, float& size, int32_t& style)
{
    if (mApplicationFontPending) {
        // What the skin left open: asked once, by the first control that
        // draws, when a window run already holds its display.
        WString systemFace;
        float systemSize = 0.0f;
        int32_t systemStyle = 0;
        const TavoResult result = GetSystemFont(systemFace, systemSize, systemStyle);
        if (Failed(result))
            return result;
        if (mApplicationFont.face.IsEmpty())
            mApplicationFont.face = systemFace;
        if (!(mApplicationFont.size >= 1.0f))
            mApplicationFont.size = systemSize;
        if (mApplicationFont.style == kSkinStyleUnset)
            mApplicationFont.style = systemStyle;
        mApplicationFontPending = false;
    }
    if (!mApplicationFont.face.IsEmpty()) {
        face = mApplicationFont.face;
        size = mApplicationFont.size;
        style = mApplicationFont.style;
        return S_OK;
    }
    return GetSystemFont(face, size, style);
}

TavoResult LFrameworkApp::SetSkin(int32_t index)
{
    // No skins: nothing to switch to. Otherwise stay inside the list.
    const int32_t count = mControlFactory ? mControlFactory->GetSkinCount() : 0;
    if (count <= 0)
        return S_FALSE;
    index = std::clamp(index, 0, count - 1);

    // The application font is what the skin sets; what it leaves open comes
    // from the system font when a control first asks (GetDefaultFont), so a
    // run that ends without a window asks the desktop nothing and loads no
    // fonts.
    mControlFactory->SetCurrentSkinIndex(index);
    AppFont font{WString(), 0.0f, kSkinStyleUnset};
    mControlFactory->GetCurrentSkinFontOverride(font.face, font.size, font.style);
    mApplicationFontPending = font.face.IsEmpty() || !(font.size >= 1.0f) || font.style == kSkinStyleUnset;
    mApplicationFont = font;

    for (size_t i = 0; i < mRootWindows.size(); ++i) {
        const RCPtr<IAppRootWindow> window = mRootWindows[i];
        LWaitCursor wait(u"Loading Skin...");
        const bool wasActive = window->HasNativeWindow() && window->IsActive();
        if (wasActive)
            window->OnKillFocus();
        if (RCPtr<LControl> root = window->GetRootControl())
            mControlFactory->ReapplyDescriptor(root);
        window->RefreshAndRedraw();
        if (wasActive)
            window->OnSetFocus();
    }

    const uint32_t handle = GetSettings(1);
    if (IIniFileManager* settings = GetIniFileManager(); handle && settings)
        settings->SetInt(handle, u"CurrentSkinIndex", index);
    return S_OK;
}

int32_t LFrameworkApp::AddRootWindow(const RCPtr<IAppRootWindow>& window)
{
    const auto found = std::find(mRootWindows.begin(), mRootWindows.end(), window);
    if (found != mRootWindows.end())
        return int32_t(found - mRootWindows.begin());
    mRootWindows.push_back(window);
    return int32_t(mRootWindows.size() - 1);
}

TavoResult LFrameworkApp::RemoveRootWindow(const RCPtr<IAppRootWindow>& window)
{
    const auto found = std::find(mRootWindows.begin(), mRootWindows.end(), window);
    if (found == mRootWindows.end())
        return -1;
    mRootWindows.erase(found);
    return int32_t(mRootWindows.size());  // the removal's result: the count left
}

RCPtr<LControl> LFrameworkApp::CreateControl(const WString& name)
{
    return mControlFactory ? mControlFactory->CreateControlFromDescriptor(name, nullptr) : nullptr;
}

void LFrameworkApp::GetMousePosition(int32_t& x, int32_t& y)
{
    x = y = 0;
    if (RCPtr<IAppRootWindow> top = GetTopRootWindow())
        top->GetMousePosition(x, y);
    else if (mHooks.desktop)
        mHooks.desktop->GetCursorPosition(x, y);
}

uint32_t LFrameworkApp::GetMouseButtons()
{
    if (RCPtr<IAppRootWindow> top = GetTopRootWindow())
        return top->GetMouseButtons();
    uint32_t buttons = 0;
    bool down = false, toggled = false;
    // The mask is 1 left, 2 middle, 4 right.
    if (GetKeyState(VKey::kLButton, down, toggled) == S_OK && down)
        buttons |= 1;
    if (GetKeyState(VKey::kMButton, down, toggled) == S_OK && down)
        buttons |= 2;
    if (GetKeyState(VKey::kRButton, down, toggled) == S_OK && down)
        buttons |= 4;
    return buttons;
}

bool LFrameworkApp::ProcessNotifications(bool firstTurn)
{
    bool more = LNotificationCenterManager::GetInstance()->ProcessAll(firstTurn);
    // A handler may close a window; walk a copy.
    const std::vector<RCPtr<IAppRootWindow>> windows = mRootWindows;
    for (size_t i = windows.size(); i-- > 0;)
        more = windows[i]->FlushKeyQueue(firstTurn) || more;
    return more;
}

TavoResult LFrameworkApp::RunApplicationStartup()
{
    try {
        LNotification::SetPoolingEnabled(true);
        for (const ControlClassRow& row : GetControlClassTable()) {
            if (!row.create)
                continue;
            TAVO_THROW_IF_FAILED(RegisterControlClass(row), "Tavo::LFrameworkApp::RunApplicationStartup",
                                 kFile, row.line);
        }
        mHotKeys->LoadBindings(mApplicationStringTable.Get(), u"GHK");
        if (mClipboard)
            mClipboard->Initialize();
        ApplyStoredSkin();
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return S_OK;
}

TavoResult LFrameworkApp::ApplyStoredSkin()
{
    const int32_t last = mControlFactory->GetSkinCount() - 1;
    const int32_t stored = GetCurrentSkinIndex();
    return SetSkin(stored <= last ? stored : last);
}

TavoResult LFrameworkApp::RegisterControlClass(const ControlClassRow& row)
{
    return mControlFactory->RegisterControlClass(row.name, row.create);
}

TavoResult LFrameworkApp::RunApplicationShutdown()
{
    mControlFactory = nullptr;
    mHotKeys.reset();
    mClipboard.reset();
    return S_OK;
}

RCPtr<IAppRootWindow> LFrameworkApp::GetTopRootWindow() const
{
    for (size_t i = mRootWindows.size(); i-- > 0;) {
        if (mRootWindows[i]->HasNativeWindow() && mRootWindows[i]->IsActive())
            return mRootWindows[i];
    }
    return nullptr;
}

TavoResult LFrameworkApp::SetStatusText(const WString& text, bool immediate)
{
    if (mRootWindows.empty())
        return E_FAIL;
    RCPtr<IAppStatusBar> bar = GetStatusBar();
    if (!bar)
        return E_FAIL;
    return immediate ? bar->FlushStatusText(text) : bar->PostStatusText(text);
}

TavoResult LFrameworkApp::RestoreStatusText(bool immediate)
{
    if (mRootWindows.empty())
        return E_FAIL;
    RCPtr<IAppStatusBar> bar = GetStatusBar();
    if (!bar)
        return E_FAIL;
    const WString text = bar->GetStatusText();
    return immediate ? bar->FlushStatusText(text) : bar->PostStatusText(text);
}

TavoResult LFrameworkApp::DispatchGlobalHotKey(const KeyCode& key)
{
    if (!mHotKeys)
        return S_FALSE;
    const WString name = mHotKeys->FindBinding(key);
    if (name.IsEmpty())
        return S_FALSE;
    if (name == u"NID_APP_EXIT_REQ") {
        RequestExit();
        return S_OK;
    }
    // The key pressed travels with the notification.
    RCPtr<LNotification> notification = LNotification::Create(name.c_str(), LKeyParam::Create(key));
    if (!notification)
        return E_FAIL;
    return GetMainNotificationCenter()->Post(notification);
}

LWaitCursor::LWaitCursor(const WString& statusText)
{
    LFrameworkApp* app = GetFrameworkApp();
    if (!app)
        return;
    mRoot = app->GetTopRootWindow();
    if (!mRoot && !app->GetRootWindows().empty())
        mRoot = app->GetRootWindows().front();
    if (!mRoot)
        return;
    mPrevious = mRoot->SetCursor(app->GetCursor(UI_CURSOR_WAIT()));
    app->SetStatusText(statusText, true);
    app->ProcessNotifications(true);
}

LWaitCursor::~LWaitCursor()
{
    if (!mRoot)
        return;
    mRoot->SetCursor(mPrevious);
    if (LFrameworkApp* app = GetFrameworkApp())
        app->RestoreStatusText(false);
}

WString GetStartupErrorText(int32_t code)
{
    LFrameworkApp* app = GetFrameworkApp();
    if (app && app->GetFrameworkStringTable()) {
        WString text;
        app->GetFrameworkStringTable()->FindString(u"EXCEPTION_ID", text);
        // The table's text is the format; the formatter copes with stray '%'.
        return Format(text.c_str(), code);
    }
    return Format(
        u"The application encountered problems during startup and will now close.  (Error code = %d)", code);
}

CursorHandle GetAppCursor(const WString& name)
{
    LFrameworkApp* app = GetFrameworkApp();
    return app ? app->GetCursor(name) : FrameworkCursor(name);
}

CursorHandle FrameworkCursor(const WString& name)
{
    struct Entry
    {
        const WString& (*name)();
        CursorHandle cursor;
    };
    static const Entry kTable[] = {
        {UI_CURSOR_ARROW, IDC_ARROW},
        {UI_CURSOR_IBEAM, IDC_IBEAM},
        {UI_CURSOR_WAIT, IDC_WAIT},
        {UI_CURSOR_CROSS, IDC_CROSS},
        {UI_CURSOR_UP_ARROW, IDC_UPARROW},
        {UI_CURSOR_SIZE_ALL, IDC_SIZEALL},
        {UI_CURSOR_SIZE_NWSE, IDC_SIZENWSE},
        {UI_CURSOR_SIZE_NESW, IDC_SIZENESW},
        {UI_CURSOR_SIZE_WE, IDC_SIZEWE},
        {UI_CURSOR_SIZE_NS, IDC_SIZENS},
        {UI_CURSOR_NO_DROP, IDC_NO},
        {UI_CURSOR_HAND, IDC_HAND},
        {UI_CURSOR_APP_STARTING, IDC_APPSTARTING},
        {UI_CURSOR_HELP, IDC_HELP},
    };
    for (const Entry& e : kTable) {
        if (e.name() == name)
            return e.cursor;
    }
    return IDC_ARROW;
}

}  // namespace Tavo
