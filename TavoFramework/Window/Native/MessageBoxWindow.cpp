#include "Window/Native/MessageBoxWindow.h"

#include "Platform/App/MessageBox.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Graphics/Text.h"
#include "Window/Native/WindowHost.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace Tavo {

namespace {

namespace Win = Platform::Window;
namespace App = Platform::App;
namespace Gfx = Platform::Graphics;

constexpr double kFontPixels = 13;
constexpr int32_t kPadding = 16;
constexpr int32_t kMaxTextWidth = 440;
constexpr int32_t kMinWidth = 260;
constexpr int32_t kButtonWidth = 88;
constexpr int32_t kButtonHeight = 28;
constexpr int32_t kButtonGap = 8;
constexpr uint32_t kBackground = 0xFFF0F0F0;
constexpr uint32_t kTextColour = 0xFF000000;
constexpr uint32_t kButtonFace = 0xFFE1E1E1;
constexpr uint32_t kButtonEdge = 0xFF707070;
constexpr uint32_t kFocusFrame = 0xFF0060C0;

constexpr uint32_t kReturn = 0x0D, kEscape = 0x1B, kTab = 0x09, kSpace = 0x20, kLeft = 0x25, kRight = 0x27;

struct ButtonSet
{
    std::vector<int32_t> answers;
    // What Escape and the close request answer; 0 when they do nothing.
    int32_t cancel = 0;
};

ButtonSet ButtonsOf(uint32_t style)
{
    switch (style & 0xF) {
    case App::MB_OKCANCEL:
        return {{App::IDOK, App::IDCANCEL}, App::IDCANCEL};
    case App::MB_ABORTRETRYIGNORE:
        return {{App::IDABORT, App::IDRETRY, App::IDIGNORE}, 0};
    case App::MB_YESNOCANCEL:
        return {{App::IDYES, App::IDNO, App::IDCANCEL}, App::IDCANCEL};
    case App::MB_YESNO:
        return {{App::IDYES, App::IDNO}, 0};
    case App::MB_RETRYCANCEL:
        return {{App::IDRETRY, App::IDCANCEL}, App::IDCANCEL};
    default:
        return {{App::IDOK}, App::IDOK};
    }
}

const char* ButtonLabel(int32_t answer)
{
    switch (answer) {
    case App::IDCANCEL:
        return "Cancel";
    case App::IDABORT:
        return "Abort";
    case App::IDRETRY:
        return "Retry";
    case App::IDIGNORE:
        return "Ignore";
    case App::IDYES:
        return "Yes";
    case App::IDNO:
        return "No";
    default:
        return "OK";
    }
}

// The length of the UTF-8 sequence that starts with byte c.
size_t SequenceLength(unsigned char c)
{
    return c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
}

// Lines of at most width pixels: broken at spaces, and inside a word (a
// long path) only where the word alone is too wide.
std::vector<std::string> WrapText(const Gfx::TextFont& font, const std::string& text, double width)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string paragraph = text.substr(start, end - start);
        start = end + 1;
        std::string line;
        size_t at = 0;
        while (at < paragraph.size()) {
            size_t space = paragraph.find(' ', at);
            if (space == std::string::npos)
                space = paragraph.size();
            std::string word = paragraph.substr(at, space - at);
            at = space + 1;
            const std::string joined = line.empty() ? word : line + " " + word;
            if (font.MeasureWidth(joined.c_str()) <= width) {
                line = joined;
                continue;
            }
            if (!line.empty())
                lines.push_back(line);
            line.clear();
            while (font.MeasureWidth(word.c_str()) > width) {
                size_t cut = 0;
                while (cut < word.size()) {
                    const size_t next = cut + SequenceLength(static_cast<unsigned char>(word[cut]));
                    if (cut > 0 && font.MeasureWidth(word.substr(0, next).c_str()) > width)
                        break;
                    cut = std::min(next, word.size());
                }
                lines.push_back(word.substr(0, cut));
                word.erase(0, cut);
            }
            line = word;
        }
        lines.push_back(line);
    }
    return lines;
}

class MessageBoxWindow
{
public:
    MessageBoxWindow(Win::IWindowSystem& system, Win::WindowId owner, const std::string& text,
                     const std::string& caption, uint32_t style)
        : mSystem(system), mFont(Gfx::FontSpec{"Sans", kFontPixels, 0}), mButtons(ButtonsOf(style))
    {
        const uint32_t defaultButton = (style >> 8) & 0xF;
        mFocus = defaultButton < mButtons.answers.size() ? int32_t(defaultButton) : 0;
        mLines = WrapText(mFont, text, kMaxTextWidth);
        double textWidth = 0;
        for (const auto& line : mLines)
            textWidth = std::max(textWidth, mFont.MeasureWidth(line.c_str()));
        const Gfx::FaceMetrics& m = mFont.GetFaceMetrics();
        const double em = m.unitsPerEm > 0 ? kFontPixels / m.unitsPerEm : 0;
        mAscent = m.cellAscent > 0 ? m.cellAscent * em : kFontPixels;
        mLineHeight = int32_t(std::ceil(m.lineSpacing > 0 ? m.lineSpacing * em : kFontPixels * 1.3));
        const int32_t buttons = int32_t(mButtons.answers.size());
        const int32_t buttonsWidth = buttons * kButtonWidth + (buttons - 1) * kButtonGap;
        mWidth =
            std::max({kMinWidth, int32_t(std::ceil(textWidth)) + 2 * kPadding, buttonsWidth + 2 * kPadding});
        mHeight = kPadding + int32_t(mLines.size()) * mLineHeight + kPadding + kButtonHeight + kPadding;
        mPixels.assign(size_t(mWidth) * size_t(mHeight), kBackground);

        // Over the middle of the owner, kept on the screen.
        const Win::Rect ownerRect = system.GetClientRect(owner);
        const Win::Rect screen = system.GetScreenRect();
        int32_t x = ownerRect.x + (ownerRect.width - mWidth) / 2;
        int32_t y = ownerRect.y + (ownerRect.height - mHeight) / 2;
        x = std::clamp(x, screen.x, std::max(screen.x, screen.x + screen.width - mWidth));
        y = std::clamp(y, screen.y, std::max(screen.y, screen.y + screen.height - mHeight));

        Win::WindowParams params;
        params.title = caption;
        params.className = "TavoMessageBox";
        params.instanceName = "tavo-message-box";
        params.rect = Win::Rect{x, y, mWidth, mHeight};
        params.resizable = false;
        params.maximizable = false;
        params.minWidth = params.maxWidth = mWidth;
        params.minHeight = params.maxHeight = mHeight;
        params.transientFor = owner;
        mWindow = system.CreateWindow(params);
    }

    ~MessageBoxWindow()
    {
        if (mWindow) {
            WindowHost::Unregister(mWindow);
            mSystem.DestroyWindow(mWindow);
            mSystem.Flush();
        }
    }

    MessageBoxWindow(const MessageBoxWindow&) = delete;
    MessageBoxWindow& operator=(const MessageBoxWindow&) = delete;

    bool IsOpen() const { return mWindow != 0; }

    // The answer, or nothing when the program is ending meanwhile.
    std::optional<int32_t> Run()
    {
        App::IMessageLoop& loop = WindowHost::Loop();
        WindowHost::Register(mWindow, [this, &loop](const Win::Event& e) { OnEvent(e, loop); });
        const Win::WindowId before = WindowHost::ModalWindow();
        WindowHost::SetModalWindow(mWindow);
        Draw();
        mSystem.Show(mWindow, true);
        mSystem.Activate(mWindow);
        const int32_t code = loop.Run();
        WindowHost::SetModalWindow(before);
        if (!mAnswer)
            loop.PostQuit(code);  // the outer run must end too
        return mAnswer;
    }

private:
    Win::Rect ButtonRect(size_t i) const
    {
        const int32_t count = int32_t(mButtons.answers.size());
        const int32_t left = mWidth - kPadding - count * kButtonWidth - (count - 1) * kButtonGap;
        return Win::Rect{left + int32_t(i) * (kButtonWidth + kButtonGap), mHeight - kPadding - kButtonHeight,
                         kButtonWidth, kButtonHeight};
    }

    int32_t HitButton(int32_t x, int32_t y) const
    {
        for (size_t i = 0; i < mButtons.answers.size(); ++i) {
            const Win::Rect r = ButtonRect(i);
            if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height)
                return int32_t(i);
        }
        return -1;
    }

    void Draw()
    {
        std::fill(mPixels.begin(), mPixels.end(), kBackground);
        std::unique_ptr<Gfx::Surface> surface =
            Gfx::Surface::OverPixels(mPixels.data(), mWidth, mHeight, mWidth);
        if (surface) {
            Gfx::Graphics g(*surface);
            double baseline = kPadding + mAscent;
            for (const auto& line : mLines) {
                g.DrawText(mFont, line.c_str(), kTextColour, kPadding, baseline);
                baseline += mLineHeight;
            }
            for (size_t i = 0; i < mButtons.answers.size(); ++i) {
                const Win::Rect r = ButtonRect(i);
                g.FillRect(kButtonFace, r.x, r.y, r.width, r.height);
                const bool focused = int32_t(i) == mFocus;
                g.DrawRect(focused ? kFocusFrame : kButtonEdge, focused ? 2.0f : 1.0f, r.x + 0.5, r.y + 0.5,
                           r.width - 2, r.height - 2);
                const char* label = ButtonLabel(mButtons.answers[i]);
                const double labelWidth = mFont.MeasureWidth(label);
                g.DrawText(mFont, label, kTextColour, r.x + (r.width - labelWidth) / 2,
                           r.y + (r.height - mLineHeight) / 2.0 + mAscent);
            }
            g.Flush();
        }
        const Win::Rect all{0, 0, mWidth, mHeight};
        mSystem.Present(mWindow, Win::PixelView{mPixels.data(), mWidth, mHeight, mWidth}, &all, 1);
        mSystem.Flush();
    }

    void Answer(int32_t answer, App::IMessageLoop& loop)
    {
        if (mAnswer)
            return;
        mAnswer = answer;
        loop.PostQuit(0);
    }

    void OnEvent(const Win::Event& e, App::IMessageLoop& loop)
    {
        switch (e.type) {
        case Win::EventType::Exposed:
        case Win::EventType::Map:
            Draw();
            break;
        case Win::EventType::CloseRequest:
            if (mButtons.cancel)
                Answer(mButtons.cancel, loop);
            break;
        case Win::EventType::KeyDown: {
            const int32_t count = int32_t(mButtons.answers.size());
            if (e.virtualKey == kReturn || e.virtualKey == kSpace) {
                Answer(mButtons.answers[size_t(mFocus)], loop);
            } else if (e.virtualKey == kEscape) {
                if (mButtons.cancel)
                    Answer(mButtons.cancel, loop);
            } else if (e.virtualKey == kTab || e.virtualKey == kLeft || e.virtualKey == kRight) {
                const bool back =
                    e.virtualKey == kLeft || (e.virtualKey == kTab && (e.modifiers & Win::kModShift));
                mFocus = (mFocus + (back ? count - 1 : 1)) % count;
                Draw();
            }
            break;
        }
        case Win::EventType::ButtonDown:
            if (e.button == Win::kButtonLeft)
                mPressed = HitButton(e.x, e.y);
            break;
        case Win::EventType::ButtonUp:
            if (e.button == Win::kButtonLeft && mPressed >= 0 && HitButton(e.x, e.y) == mPressed)
                Answer(mButtons.answers[size_t(mPressed)], loop);
            mPressed = -1;
            break;
        default:
            break;
        }
    }

    Win::IWindowSystem& mSystem;
    Gfx::TextFont mFont;
    ButtonSet mButtons;
    std::vector<std::string> mLines;
    double mAscent = 0;
    int32_t mLineHeight = 0;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    std::vector<uint32_t> mPixels;
    Win::WindowId mWindow = 0;
    int32_t mFocus = 0;
    int32_t mPressed = -1;
    std::optional<int32_t> mAnswer;
};

}  // namespace

std::optional<int32_t> RunMessageBoxWindow(uintptr_t owner, const std::string& text,
                                           const std::string& caption, uint32_t style)
{
    Win::IWindowSystem* system = owner ? WindowHost::System() : nullptr;
    if (!system)
        return std::nullopt;
    MessageBoxWindow box(*system, Win::WindowId(owner), text, caption, style);
    if (!box.IsOpen())
        return std::nullopt;
    return box.Run();
}

}  // namespace Tavo
