#include "Application/FrameworkApp.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/Window/FakeWindowSystem.h"
#include "ControlBase/Control.h"
#include "Window/InputParams.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace Tavo;
namespace Win = Platform::Window;

namespace {

// A root window that writes down what its native window hands it.
class RecordingRoot : public IAppRootWindow, public INativeWindowClient
{
public:
    std::vector<std::string> calls;
    bool focusControl = true;
    RectRegion dirty;
    RCPtr<LRenderer> renderer;

    template <typename... A>
    void Add(const char* format, A... args)
    {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, format, args...);
        calls.push_back(buffer);
    }

    void OnMouseButton(int32_t action, uint32_t button, uint32_t mods, const PointT<int32_t>& p,
                       uint32_t) override
    {
        Add("button %d %u %u %d,%d", action, button, mods, p.x, p.y);
    }
    void OnMouseMove(const PointT<int32_t>& p, uint32_t mods, uint32_t) override
    {
        Add("move %d,%d %u", p.x, p.y, mods);
    }
    void OnMouseWheel(const PointT<int32_t>& p, uint32_t, int32_t direction) override
    {
        Add("wheel %d %d,%d", direction, p.x, p.y);
    }
    void OnKey(const KeyCode& key) override
    {
        Add("key %08x %x %d", key.code, key.sides, int(key.previousState));
    }
    void OnSize(int32_t w, int32_t h) override { Add("size %dx%d", w, h); }
    void SetRepaintAll() override { Add("repaint-all"); }
    void RestoreFocus() override { Add("restore-focus"); }
    void OnKillFocus() override { Add("kill-focus"); }
    void OnCaptureLost() override { Add("capture-lost"); }
    void TakeDirtyRegion(RectRegion& region) override
    {
        region.Append(dirty);
        dirty.FreeNodes();
    }
    void Paint(const RectRegion& region) override
    {
        Add("paint %u", region.GetRectCount());
        renderer->FillRect(RectT<int32_t>{0, 0, 200, 150}, ColorRGBA(1.0f, 0.0f, 0.0f, 1.0f), false);
    }
    int32_t ConstrainClientSize(PointT<int32_t>&) override { return 0; }
    void CloseDialog() override { Add("close-dialog"); }
    bool HasFocusControl() override { return focusControl; }

    bool FlushKeyQueue(bool) override { return false; }
    TavoResult RequestEndModalLoop(int32_t) override { return S_OK; }
    void RefreshAndRedraw() override {}
    bool HasNativeWindow() const override { return true; }
    bool IsActive() const override { return true; }
    void OnSetFocus() override {}
    RCPtr<LControl> GetRootControl() const override { return nullptr; }
    TavoResult CreateRootControl(const WString&) override { return S_OK; }
    uintptr_t GetNativeHandle() const override { return 0; }
    CursorHandle SetCursor(CursorHandle c) override { return c; }
    void GetMousePosition(int32_t& x, int32_t& y) const override { x = y = 0; }
    uint32_t GetMouseButtons() const override { return 0; }
};

class OSWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WindowHost::Use(&system, &loop);
        SetRootWindowFactory([this](const RCPtr<LRenderer>& renderer, OSWindow&) {
            root = RCPtr<RecordingRoot>(new RecordingRoot);
            root->renderer = renderer;
            return RCPtr<IAppRootWindow>(root);
        });
        MainWindowParams params;
        params.className = u"TestApp";
        params.title = u"Zenta \u00dc";
        params.rect = WindowRect{100, 80, 200, 150};
        ASSERT_EQ(window.Create(params), S_OK);
        ASSERT_EQ(window.AttachRenderer(LRenderer::Create(1, {0, 0, 200, 150}, &window)), S_OK);
        ASSERT_TRUE(root);
    }
    void TearDown() override
    {
        window.Destroy();
        SetRootWindowFactory(nullptr);
        WindowHost::Use(nullptr, nullptr);
    }
    void Send(Win::Event e)
    {
        e.window = window.GetWindowId();
        window.HandleEvent(e);
    }
    Win::Event Button(Win::EventType type, uint32_t button, int32_t x, int32_t y, bool dbl = false)
    {
        Win::Event e;
        e.type = type;
        e.button = button;
        e.x = x;
        e.y = y;
        e.doubleClick = dbl;
        e.modifiers = Win::kModShift | Win::kModLeftShift;
        return e;
    }

    Win::FakeWindowSystem system;
    Platform::App::MessageLoop loop;
    OSWindow window{&system};
    RCPtr<RecordingRoot> root;
};

TEST(KeyRecord, CodeSidesAndPreviousState)
{
    const struct
    {
        uint32_t vk;
        bool down;
        uint32_t mods;
        bool previous;
        uint32_t code, sides;
        bool prev;
    } cases[] = {
        {'A', true, 0, false, KeyCode::PressCode('A'), 0, false},
        {'A', true, 0, true, KeyCode::PressCode('A'), 0, true},  // auto-repeat
        {'A', false, 0, false, uint32_t('A') << 16, 0, true},    // up: always previously down
        {VKey::F(4), true, 0xC0, false, KeyCode::PressCode(VKey::F(4), KeyCode::kAlt),
         KeyCode::SideBits(0xC0), false},  // left Alt+F4
        {'1', true, 0x28, false, KeyCode::PressCode('1', KeyCode::kShift), KeyCode::SideBits(0x28),
         false},  // right Shift
        {'C', true, 0x5, false, KeyCode::PressCode('C', KeyCode::kCtrl), KeyCode::SideBits(0x5),
         false},  // right Ctrl
        {VKey::kLWin, true, 0x600, false, KeyCode::PressCode(VKey::kLWin, KeyCode::kCmd),
         KeyCode::SideBits(0x600), false},
        // The modifier keys themselves: generic code, the side in the sides.
        {VKey::kShift, true, 0x18, false, KeyCode::PressCode(VKey::kShift, KeyCode::kShift),
         KeyCode::SideBits(0x18), false},
        {VKey::kControl, true, 0x5, false, KeyCode::PressCode(VKey::kControl, KeyCode::kCtrl),
         KeyCode::SideBits(0x5), false},
        {VKey::kMenu, false, 0, false, VKey::kMenu << 16, 0, true},
    };
    for (const auto& c : cases) {
        const KeyCode k = KeyRecord(c.vk, c.down, c.mods, c.previous);
        EXPECT_EQ(k.code, c.code) << std::hex << c.vk << " " << c.mods;
        EXPECT_EQ(k.sides, c.sides);
        EXPECT_EQ(k.previousState, c.prev);
    }
}

TEST(WheelDirection, WholeNotchesOnlyOneEventPerMessage)
{
    const struct
    {
        std::vector<int32_t> deltas;
        bool horizontal;
        std::vector<int32_t> directions;
        int32_t remainder;
    } cases[] = {
        {{60, 60}, false, {-1, 1}, 0},
        {{360}, false, {1}, 0},
        {{-120}, false, {0}, 0},
        {{-300}, false, {0}, -60},
        {{120}, true, {3}, 0},
        {{-240}, true, {2}, 0},
        {{100, -100, 150}, false, {-1, -1, 1}, 30},
    };
    for (const auto& c : cases) {
        int32_t remainder = 0;
        std::vector<int32_t> got;
        for (int32_t d : c.deltas)
            got.push_back(TakeWheelDirection(remainder, d, c.horizontal));
        EXPECT_EQ(got, c.directions);
        EXPECT_EQ(remainder, c.remainder);
    }
}

TEST_F(OSWindowTest, PressesTakeTheCaptureOnceAndReleaseItWhenAllButtonsAreUp)
{
    Send(Button(Win::EventType::ButtonDown, 1, 10, 20));
    EXPECT_EQ(system.grabbed, window.GetWindowId());
    Send(Button(Win::EventType::ButtonDown, 4, 12, 20));
    Send(Button(Win::EventType::ButtonUp, 1, 300, 400));  // outside the window
    EXPECT_EQ(system.grabbed, window.GetWindowId());
    // While captured the last mouse message gives the position.
    system.pointerX = 900;
    EXPECT_EQ(window.GetMousePosition().x, 300);
    EXPECT_EQ(window.GetMouseButtons(), 4u);
    Send(Button(Win::EventType::ButtonUp, 4, 301, 400));
    EXPECT_EQ(system.grabbed, 0u);
    Send(Button(Win::EventType::ButtonDown, 1, 10, 20, true));
    Send(Button(Win::EventType::ButtonUp, 1, 10, 20));
    EXPECT_EQ(root->calls,
              (std::vector<std::string>{"button 0 1 8 10,20", "button 0 4 8 12,20", "button 1 1 8 300,400",
                                        "button 1 4 8 301,400", "button 2 1 8 10,20", "button 1 1 8 10,20"}));
}

TEST_F(OSWindowTest, KeysCharactersWheelAndLeavingTheWindow)
{
    Win::Event e;
    e.type = Win::EventType::KeyDown;
    e.virtualKey = VKey::F(4);
    e.modifiers = Win::kModAlt | Win::kModLeftAlt;
    Send(e);
    e.virtualKey = 0;  // a key outside the table counts only with Ctrl and Alt
    Send(e);
    e.modifiers = Win::kModAlt | Win::kModLeftAlt | Win::kModCtrl | Win::kModLeftCtrl;
    Send(e);
    e = Win::Event{};
    e.type = Win::EventType::Character;
    e.text = std::u16string(1, u'A');
    e.modifiers = Win::kModShift | Win::kModLeftShift;
    Send(e);
    e.modifiers = Win::kModWin | Win::kModLeftWin;  // the Windows key held: no character
    Send(e);
    e = Win::Event{};
    e.type = Win::EventType::Wheel;
    e.wheelDelta = 60;
    e.x = 5;
    e.y = 6;
    Send(e);
    Send(e);
    e.type = Win::EventType::Leave;
    Send(e);
    EXPECT_EQ(root->calls, (std::vector<std::string>{"key 24730000 10 0", "key 25000000 14 0",
                                                     "key 02000041 0 0", "wheel 1 5,6", "move -1,-1 0"}));
}

TEST_F(OSWindowTest, OnlyDirtyRectanglesReachTheWindowAndExposesCopyWithoutDrawing)
{
    auto* shown = system.Find(window.GetWindowId());
    root->dirty.AddRect(RectT<int32_t>{10, 10, 20, 20});
    root->dirty.AddRect(RectT<int32_t>{100, 50, 5, 5});
    window.PaintNow();
    ASSERT_EQ(window.GetPaintCount(), 1u);
    std::vector<Win::Rect> expected{{10, 10, 20, 20}, {100, 50, 5, 5}};
    std::sort(shown->presented.begin(), shown->presented.end(),
              [](const Win::Rect& a, const Win::Rect& b) { return a.x < b.x; });
    EXPECT_EQ(shown->presented, expected);
    EXPECT_EQ(shown->pixels[15 * 200 + 15] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shown->pixels[80 * 200 + 60], 0u);  // drawn, but not dirty: not copied

    shown->presented.clear();
    Win::Event e;
    e.type = Win::EventType::Exposed;
    e.rect = Win::Rect{0, 0, 40, 40};
    Send(e);
    EXPECT_EQ(shown->presented, (std::vector<Win::Rect>{{0, 0, 40, 40}}));
    EXPECT_EQ(window.GetPaintCount(), 1u);
    EXPECT_EQ(root->calls, (std::vector<std::string>{"paint 2"}));
}

TEST_F(OSWindowTest, CloseRequestOfAWindowThatIsNotTheMainOneClosesItAsADialog)
{
    Win::Event e;
    e.type = Win::EventType::CloseRequest;
    Send(e);
    EXPECT_EQ(root->calls, (std::vector<std::string>{"close-dialog"}));
    EXPECT_TRUE(system.Find(window.GetWindowId()));  // never destroyed by the request itself
}

TEST_F(OSWindowTest, CursorsByPlatformIdNullStaysNull)
{
    window.SetCursor(0);
    EXPECT_EQ(window.SetCursor(IDC_IBEAM), CursorHandle(0));
    EXPECT_EQ(system.CursorName(system.Find(window.GetWindowId())->cursor), "xterm");
    EXPECT_EQ(window.SetCursor(IDC_SIZEWE), IDC_IBEAM);
    EXPECT_EQ(system.CursorName(system.Find(window.GetWindowId())->cursor), "sb_h_double_arrow");
    window.SetCursor(0);
    EXPECT_EQ(system.Find(window.GetWindowId())->cursor, 0u);
}

TEST_F(OSWindowTest, PlacementRecordRoundTripsAndBadRecordsAreIgnored)
{
    const std::vector<uint8_t> record = window.GetPlacement();
    ASSERT_EQ(record.size(), 44u);
    window.MoveWindow(WindowRect{0, 0, 50, 50});
    window.SetPlacement(record.data(), record.size());
    EXPECT_EQ(system.GetClientRect(window.GetWindowId()), (Win::Rect{100, 80, 200, 150}));
    std::vector<uint8_t> bad = record;
    bad[0] = 40;
    window.SetPlacement(bad.data(), bad.size());
    window.SetPlacement(record.data(), 40);
    EXPECT_EQ(system.GetClientRect(window.GetWindowId()), (Win::Rect{100, 80, 200, 150}));
    EXPECT_EQ(root->calls,
              (std::vector<std::string>{"size 50x50", "repaint-all", "size 200x150", "repaint-all"}));
}

TEST_F(OSWindowTest, ModalLoopEndsWithItsResultOrPassesTheProgramsEndOn)
{
    loop.Post([this] { window.EndModalLoop(7); });
    EXPECT_EQ(window.RunModalLoop(), 7);
    EXPECT_EQ(window.GetWindowId(), 0u);  // a modal window goes with its loop

    OSWindow second{&system};
    MainWindowParams params;
    params.rect = WindowRect{0, 0, 10, 10};
    ASSERT_EQ(second.Create(params), S_OK);
    loop.Post([&] {
        EXPECT_TRUE(second.IsInModalLoop());
        loop.PostQuit(3);  // the program ends meanwhile
    });
    EXPECT_EQ(second.RunModalLoop(), -1);
    EXPECT_EQ(loop.Run(), 3);  // and the outer loop ends too
}

}  // namespace

namespace {

// A control that takes the focus and writes down the characters it is given.
class TypingControl : public LControl
{
public:
    TypingControl(const RCPtr<LControl>& parent, const WString& name, int32_t tabStop, bool wantsTab)
        : LControl(parent, name)
    {
        SetCreated(true);
        Layout().tabStop = tabStop;
        mWantsTab = wantsTab;
    }
    TavoResult OnKey(const RCPtr<LKeyParam>& param) override
    {
        if (!(param->mKey.code & KeyCode::kVirtualKeyMask))
            typed += param->mKey.Character();
        return S_FALSE;
    }
    std::u16string typed;
};

// The framework's own root window over the fake window system: a panel
// holding "inner", then "editor", which wants Tab and takes tab characters.
class TabCharacterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WindowHost::Use(&system, &loop);
        LOSRootWindow::InstallAsFactory();
        MainWindowParams params;
        params.className = u"TestApp";
        params.rect = WindowRect{100, 80, 200, 150};
        ASSERT_EQ(window.Create(params), S_OK);
        ASSERT_EQ(window.AttachRenderer(LRenderer::Create(1, {0, 0, 200, 150}, &window)), S_OK);
        root = GetOSRootWindow(window.GetRootWindow());
        ASSERT_TRUE(root);
        top = Make(nullptr, u"top", 0, false);
        box = Make(top, u"box", 0, false);
        inner = Make(box, u"inner", 0, false);
        editor = Make(top, u"editor", 1, true);
        ASSERT_EQ(root->SetRootControl(top), S_OK);
    }
    void TearDown() override
    {
        root->SetRootControl(nullptr);
        for (auto* c : {inner.Get(), editor.Get(), box.Get(), top.Get()})
            c->ReleaseInternalReferences();
        window.Destroy();
        SetRootWindowFactory(nullptr);
        WindowHost::Use(nullptr, nullptr);
    }
    RCPtr<TypingControl> Make(const RCPtr<LControl>& parent, const char16_t* name, int32_t tab, bool wantsTab)
    {
        return RCPtr<TypingControl>(new TypingControl(parent, name, tab, wantsTab));
    }
    // The press of Tab as the display sends it: the key, its character, the release.
    void PressTab(bool ctrl)
    {
        const uint32_t mods = ctrl ? Win::kModCtrl | Win::kModLeftCtrl : 0;
        for (const Win::EventType type :
             {Win::EventType::KeyDown, Win::EventType::Character, Win::EventType::KeyUp}) {
            Win::Event e;
            e.type = type;
            e.window = window.GetWindowId();
            e.modifiers = mods;
            if (type == Win::EventType::Character)
                e.text = u"\t";
            else
                e.virtualKey = VKey::kTab;
            window.HandleEvent(e);
        }
    }
    void Type(char16_t c)
    {
        Win::Event e;
        e.type = Win::EventType::Character;
        e.window = window.GetWindowId();
        e.text = std::u16string(1, c);
        window.HandleEvent(e);
    }

    Win::FakeWindowSystem system;
    Platform::App::MessageLoop loop;
    OSWindow window{&system};
    LOSRootWindow* root = nullptr;
    RCPtr<TypingControl> top, box, inner, editor;
};

}  // namespace

// Tab or Ctrl+Tab that moves the focus types nothing, neither where it
// started nor where it lands; Tab on a control that wants it still types a
// tab there, Ctrl+Tab never does.
TEST_F(TabCharacterTest, ATabThatMovesTheFocusOrComesWithCtrlTypesNoTab)
{
    const struct
    {
        const char* name;
        TypingControl* from;
        bool ctrl;
        TypingControl* to;
        std::u16string typed;  // into "editor", a character typed afterwards included
    } cases[] = {
        {"Ctrl+Tab out of the panel", inner.Get(), true, editor.Get(), u"x"},
        {"Tab out of the panel", inner.Get(), false, editor.Get(), u"x"},
        {"Tab kept by the editor", editor.Get(), false, editor.Get(), u"\tx"},
        {"Ctrl+Tab on the editor", editor.Get(), true, editor.Get(), u"x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        inner->typed.clear(), editor->typed.clear();
        ASSERT_GE(c.from->SetFocus(true), 0);
        ASSERT_EQ(root->GetFocusControl().Get(), c.from);
        PressTab(c.ctrl);
        EXPECT_EQ(root->GetFocusControl().Get(), c.to);
        Type(u'x');
        EXPECT_EQ(editor->typed, c.typed);
        EXPECT_EQ(inner->typed, u"");
    }
}

namespace {

// A control whose key handler closes its window, as an exit request handed on
// from inside a click does (a wait cursor delivers what is pending).
class ClosingControl : public TypingControl
{
public:
    ClosingControl(OSWindow& window) : TypingControl(nullptr, u"closing", 0, false), mWindow(window) {}
    TavoResult OnKey(const RCPtr<LKeyParam>&) override
    {
        mWindow.Destroy();
        return S_OK;
    }

private:
    OSWindow& mWindow;
};

}  // namespace

// The window closed from inside its own key's handling: the root window and
// its controls outlive the key (the sanitizer build sees any use after free).
TEST(OSWindowClosedByItsOwnKey, TheRootWindowOutlivesTheKey)
{
    Win::FakeWindowSystem system;
    Platform::App::MessageLoop loop;
    WindowHost::Use(&system, &loop);
    LOSRootWindow::InstallAsFactory();
    OSWindow window{&system};
    MainWindowParams params;
    params.className = u"TestApp";
    params.rect = WindowRect{100, 80, 200, 150};
    ASSERT_EQ(window.Create(params), S_OK);
    ASSERT_EQ(window.AttachRenderer(LRenderer::Create(1, {0, 0, 200, 150}, &window)), S_OK);
    const Win::WindowId id = window.GetWindowId();
    const RCPtr<ClosingControl> top(new ClosingControl(window));
    LOSRootWindow* root = GetOSRootWindow(window.GetRootWindow());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->SetRootControl(top), S_OK);
    ASSERT_GE(top->SetFocus(true), 0);
    Win::Event e;
    e.type = Win::EventType::KeyDown;
    e.window = id;
    e.virtualKey = VKey::kReturn;
    window.HandleEvent(e);
    EXPECT_FALSE(system.Find(id));
    top->ReleaseInternalReferences();
    SetRootWindowFactory(nullptr);
    WindowHost::Use(nullptr, nullptr);
}
