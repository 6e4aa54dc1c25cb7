#include "System/KeyCode.h"

#include "ControlBase/SkinTypes.h"

#include <climits>
#include <map>
#include <string>

namespace Tavo {

namespace {

struct KeyTables
{
    std::map<std::u16string, int> byName;
    std::map<uint32_t, std::u16string> nameByCode;
    std::map<uint32_t, std::u16string> displayByCode;
};

std::u16string Widen(const char* s)
{
    std::u16string out;
    for (; *s; ++s)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return out;
}

KeyTables* BuildTables()
{
    auto* t = new KeyTables;
    auto name = [t](const char* n, int code) { t->byName.emplace(u"VKEY_" + Widen(n), code); };
    static const struct
    {
        const char* n;
        int code;
    } kNamed[] = {
        {"BACK", int(VKey::kBack)},
        {"TAB", int(VKey::kTab)},
        {"CLEAR", int(VKey::kClear)},
        {"RETURN", int(VKey::kReturn)},
        {"SHIFT", int(VKey::kShift)},
        {"CONTROL", int(VKey::kControl)},
        {"MENU", int(VKey::kMenu)},
        {"PAUSE", int(VKey::kPause)},
        {"CAPITAL", int(VKey::kCapital)},
        {"KANA", 0x15},
        {"HANGEUL", 0x15},
        {"HANGUL", 0x15},
        {"JUNJA", 0x17},
        {"FINAL", 0x18},
        {"HANJA", 0x19},
        {"KANJI", 0x19},
        {"ESCAPE", int(VKey::kEscape)},
        {"CONVERT", 0x1C},
        {"NONCONVERT", 0x1D},
        {"ACCEPT", 0x1E},
        {"MODECHANGE", 0x1F},
        {"SPACE", int(VKey::kSpace)},
        {"PAGEUP", int(VKey::kPageUp)},
        {"PAGEDN", int(VKey::kPageDown)},
        {"END", int(VKey::kEnd)},
        {"HOME", int(VKey::kHome)},
        {"LEFT", int(VKey::kLeft)},
        {"UP", int(VKey::kUp)},
        {"RIGHT", int(VKey::kRight)},
        {"DOWN", int(VKey::kDown)},
        {"SELECT", 0x29},
        {"PRINT", 0x2A},
        {"EXECUTE", 0x2B},
        {"SNAPSHOT", 0x2C},
        {"INSERT", int(VKey::kInsert)},
        {"DELETE", int(VKey::kDelete)},
        {"HELP", 0x2F},
        {"LWIN", int(VKey::kLWin)},
        {"RWIN", int(VKey::kRWin)},
        {"APPS", int(VKey::kApps)},
        {"SLEEP", 0x5F},
        {"MULTIPLY", 0x6A},
        {"ADD", 0x6B},
        {"SEPARATOR", 0x6C},
        {"SUBTRACT", 0x6D},
        {"DECIMAL", 0x6E},
        {"DIVIDE", 0x6F},
        {"NUMLOCK", 0x90},
        {"SCROLL", 0x91},
        {"OEM_NEC_EQUAL", 0x92},
        {"OEM_FJ_JISHO", 0x92},
        {"OEM_FJ_MASSHOU", 0x93},
        {"OEM_FJ_TOUROKU", 0x94},
        {"OEM_FJ_LOYA", 0x95},
        {"OEM_FJ_ROYA", 0x96},
        {"LSHIFT", int(VKey::kLShift)},
        {"RSHIFT", int(VKey::kRShift)},
        {"LCONTROL", int(VKey::kLControl)},
        {"RCONTROL", int(VKey::kRControl)},
        {"LMENU", int(VKey::kLMenu)},
        {"RMENU", int(VKey::kRMenu)},
        {"BROWSER_BACK", 0xA6},
        {"BROWSER_FORWARD", 0xA7},
        {"BROWSER_REFRESH", 0xA8},
        {"BROWSER_STOP", 0xA9},
        {"BROWSER_SEARCH", 0xAA},
        {"BROWSER_FAVORITES", 0xAB},
        {"BROWSER_HOME", 0xAC},
        {"VOLUME_MUTE", 0xAD},
        {"VOLUME_DOWN", 0xAE},
        {"VOLUME_UP", 0xAF},
        {"MEDIA_NEXT_TRACK", 0xB0},
        {"MEDIA_PREV_TRACK", 0xB1},
        {"MEDIA_STOP", 0xB2},
        {"MEDIA_PLAY_PAUSE", 0xB3},
        {"LAUNCH_MAIL", 0xB4},
        {"LAUNCH_MEDIA_SELECT", 0xB5},
        {"LAUNCH_APP1", 0xB6},
        {"LAUNCH_APP2", 0xB7},
    };
    for (const auto& e : kNamed)
        name(e.n, e.code);
    for (int i = 0; i < 10; ++i) {
        t->byName.emplace(u"VKEY_" + std::u16string(1, static_cast<char16_t>(u'0' + i)), 0x30 + i);
        t->byName.emplace(u"VKEY_NUMPAD" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                          int(VKey::kNumpad0) + i);
    }
    for (int i = 0; i < 26; ++i)
        t->byName.emplace(u"VKEY_" + std::u16string(1, static_cast<char16_t>(u'A' + i)), 0x41 + i);
    for (int i = 1; i <= 24; ++i)
        t->byName.emplace(u"VKEY_F" + Widen(std::to_string(i).c_str()), int(VKey::F(uint32_t(i))));
    // Name order decides which of several names a code prints as.
    for (const auto& [n, code] : t->byName)
        t->nameByCode.emplace(static_cast<uint32_t>(code), n);

    // The first text of a code stays.
    auto display = [t](uint32_t code, const char* text) { t->displayByCode.emplace(code, Widen(text)); };
    static const struct
    {
        uint32_t code;
        const char* text;
    } kDisplay[] = {
        {0x0C, "Clear"},
        {0x0D, "Return"},
        {0x10, "Shift"},
        {0x11, "Control"},
        {0x12, "Menu"},
        {0x13, "Pause"},
        {0x14, "Capital"},
        {0x15, "Kana"},
        {0x15, "Hangeul"},
        {0x15, "Hangul"},
        {0x17, "Junja"},
        {0x18, "Final"},
        {0x19, "Hanja"},
        {0x19, "Kanji"},
        {0x1B, "Escape"},
        {0x1C, "Convert"},
        {0x1D, "Non-convert"},
        {0x1E, "Accept"},
        {0x1F, "Mode Change"},
        {0x20, "Space"},
        {0x21, "Page Up"},
        {0x22, "Page Down"},
        {0x23, "End"},
        {0x24, "Home"},
        {0x25, "Left Arrow"},
        {0x26, "Up Arrow"},
        {0x27, "Right Arrow"},
        {0x28, "Down Arrow"},
        {0x29, "Select"},
        {0x2A, "Print"},
        {0x2B, "Execute"},
        {0x2C, "Snapshot"},
        {0x2D, "Insert"},
        {0x2E, "Del"},
        {0x2F, "Help"},
        {0x5B, "Left Win"},
        {0x5C, "Right Win"},
        {0x5D, "Apps"},
        {0x5F, "Sleep"},
        {0x6A, "*"},
        {0x6B, "+"},
        {0x6C, "Separator"},
        {0x6D, "-"},
        {0x6E, "."},
        {0x6F, "/"},
        {0x90, "Numlock"},
        {0x91, "Scroll"},
        {0x92, "NEC Equal"},
        {0x92, "Jisho"},
        {0x93, "Masshou"},
        {0x94, "Touroku"},
        {0x95, "Loya"},
        {0x96, "Roya"},
        {0xA0, "Left Shift"},
        {0xA1, "Right Shift"},
        {0xA2, "Left Control"},
        {0xA3, "Right Control"},
        {0xA4, "Left Menu"},
        {0xA5, "Right Menu"},
        {0xA6, "Browser Back"},
        {0xA7, "Browser Forward"},
        {0xA8, "Browser Refresh"},
        {0xA9, "Browser Stop"},
        {0xAA, "Browser Search"},
        {0xAB, "Browser Favorites"},
        {0xAC, "Browser Home"},
        {0xAD, "Volume Mute"},
        {0xAE, "Volume Down"},
        {0xAF, "Volume Up"},
        {0xB0, "Media Next Track"},
        {0xB1, "Media Prev Track"},
        {0xB2, "Media Stop"},
        {0xB3, "Media Play Pause"},
        {0xB4, "Launch Mail"},
        {0xB5, "Launch Media Select"},
        {0xB6, "Launch App 1"},
        {0xB7, "Launch App 2"},
    };
    for (const auto& e : kDisplay)
        display(e.code, e.text);
    for (int i = 0; i < 10; ++i) {
        t->displayByCode.emplace(0x30 + i, std::u16string(1, static_cast<char16_t>(u'0' + i)));
        t->displayByCode.emplace(0x60 + i, u"Numpad " + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    }
    for (int i = 0; i < 26; ++i)
        t->displayByCode.emplace(0x41 + i, std::u16string(1, static_cast<char16_t>(u'A' + i)));
    for (int i = 1; i <= 24; ++i)
        t->displayByCode.emplace(0x6F + i, u"F" + Widen(std::to_string(i).c_str()));
    return t;
}

// Built on first use by any lookup, so a code prints its name even before
// any text has been parsed.
const KeyTables& Tables()
{
    static const KeyTables* tables = BuildTables();
    return *tables;
}

char16_t Upper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

// Decimal value as the runtime's wide atoi reads it; clamped instead of wrapping.
int32_t ReadDecimal(std::u16string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r' ||
                            s[i] == u'\v' || s[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        value = value * 10 + (s[i] - u'0');
        if (value > int64_t{INT32_MAX} + 1)
            value = int64_t{INT32_MAX} + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

std::u16string Prefixes(uint32_t code)
{
    std::u16string out;
    if (code & KeyCode::kCtrl)
        out += u"Ctrl+";
    if (code & KeyCode::kAlt)
        out += u"Alt+";
    if (code & KeyCode::kShift)
        out += u"Shift+";
    if (code & KeyCode::kCmd)
        out += u"Cmd+";
    return out;
}

}  // namespace

uint32_t KeyCode::SideBits(uint32_t raw)
{
    uint32_t sides = 0;
    auto both = [raw](uint32_t mask) { return (raw & mask) == mask; };
    if (both(0x18))
        sides |= 1;
    if (both(0x28))
        sides |= 2;
    if (both(0x03))
        sides |= 4;
    if (both(0x05))
        sides |= 8;
    if (both(0xC0))
        sides |= 16;
    if (both(0x140))
        sides |= 32;
    if (both(0x600))
        sides |= 64;
    if (both(0xA00))
        sides |= 128;
    return sides;
}

KeyCode KeyCode::FromCharacter(char16_t character, uint32_t raw)
{
    uint32_t code = character;
    if (raw & kRawShift)
        code |= kShift;
    if (raw & kRawCtrl)
        code |= kCtrl;
    if (raw & kRawAlt)
        code |= kAlt;
    if (raw & kRawWin)
        code |= kCmd;
    if (raw & kRawFifth)
        code |= kFifth;
    return KeyCode(code, SideBits(raw), false);
}

KeyCode KeyCode::FromString(const WString& wideText)
{
    const std::u16string text = ToStdString(wideText);
    std::u16string u(text);
    for (auto& c : u)
        c = Upper(c);
    const bool ctrl = u.find(u"CTRL") != std::u16string::npos;
    const bool alt = u.find(u"ALT") != std::u16string::npos;
    const bool shift = u.find(u"SHIFT") != std::u16string::npos;
    const bool cmd = u.find(u"COMMAND") != std::u16string::npos;

    const size_t p = u.find(u"VKEY_");
    if (p != std::u16string::npos) {
        const int vk = FindVirtualKey(ToWString(u.substr(p)));
        uint32_t code = ((static_cast<uint32_t>(vk) & 0xFF) << 16) | kKeyDown;
        if (shift)
            code |= kShift;
        if (ctrl)
            code |= kCtrl;
        if (alt)
            code |= kAlt;
        if (cmd)
            code |= kCmd;
        uint32_t raw =
            (ctrl ? kRawCtrl : 0) | (shift ? kRawShift : 0) | (alt ? kRawAlt : 0) | (cmd ? kRawWin : 0);
        return KeyCode(code, SideBits(raw), false);
    }

    const uint32_t raw = alt ? kRawAlt : 0;
    const size_t open = u.find(u'[');
    if (open == std::u16string::npos) {
        // An empty text names no key.
        if (text.empty())
            return KeyCode();
        return FromCharacter(text.back(), raw);
    }
    const size_t close = u.find(u']');
    // A "]" before the "[" counts as missing.
    if (close == std::u16string::npos || close < open)
        return KeyCode();
    const int32_t n = ReadDecimal(std::u16string_view(u).substr(open + 1, close - open - 1));
    return FromCharacter(static_cast<char16_t>(static_cast<uint32_t>(n) & 0xFFFF), raw);
}

WString KeyCode::ToString(const KeyCode& key)
{
    std::u16string out = Prefixes(key.code);
    if (key.code & kNoKey)
        return ToWString(out);
    if (key.code & kVirtualKeyMask)
        return ToWString(out) + GetVirtualKeyName(key.VirtualKey());
    const std::string digits = std::to_string(key.code & kCharMask);
    return ToWString(out + u"[" + Widen(digits.c_str()) + u"]");
}

WString KeyCode::ToDisplayString(const KeyCode& key)
{
    std::u16string out = Prefixes(key.code);
    if (key.code & kNoKey)
        return ToWString(out);
    if (key.code & kVirtualKeyMask)
        return ToWString(out) + GetDisplayName(key.VirtualKey());
    const uint32_t ch = key.code & kCharMask;
    if (ch >= 1 && ch <= 26)
        out += u"Ctrl+" + std::u16string(1, static_cast<char16_t>(ch + 64));
    else if (ch >= 33 && ch <= 126)
        out.push_back(static_cast<char16_t>(ch));
    return ToWString(out);
}

int KeyCode::FindVirtualKey(const WString& name)
{
    const auto& byName = Tables().byName;
    const auto it = byName.find(ToStdString(name));
    return it == byName.end() ? 0 : it->second;
}

WString KeyCode::GetDisplayName(uint32_t virtualKey)
{
    const auto& m = Tables().displayByCode;
    const auto it = m.find(virtualKey);
    return it == m.end() ? WString() : ToWString(it->second);
}

WString KeyCode::GetVirtualKeyName(uint32_t virtualKey)
{
    const auto& m = Tables().nameByCode;
    const auto it = m.find(virtualKey);
    return it == m.end() ? WString() : ToWString(it->second);
}

bool operator==(const KeyCode& a, const KeyCode& b)
{
    constexpr uint32_t kExact = KeyCode::kNoKey | KeyCode::kVirtualKeyMask;
    if (a.code & kExact)
        return a.code == b.code;
    if ((b.code & kExact) == 0) {
        constexpr uint32_t kIgnored = KeyCode::kCtrl | KeyCode::kShift;
        return (a.code & ~kIgnored) == (b.code & ~kIgnored);
    }
    return false;
}

}  // namespace Tavo
