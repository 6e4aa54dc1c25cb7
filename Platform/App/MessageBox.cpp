#include "Platform/App/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace Tavo::Platform::App {

namespace {

struct HookSlot
{
    std::mutex lock;
    MessageBoxHook hook;
};

HookSlot& Slot()
{
    static HookSlot* slot = new HookSlot();
    return *slot;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard guard(Slot().lock);
    Slot().hook = std::move(hook);
}

int32_t DefaultMessageBoxAnswer(uint32_t style)
{
    static constexpr int32_t kButtons[6][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    const uint32_t kind = style & 0xF;
    const uint32_t button = (style >> 8) & 0xF;
    if (kind > 5)
        return IDOK;
    return kButtons[kind][button > 2 ? 0 : button];
}

int32_t ShowMessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    MessageBoxHook hook;
    {
        std::lock_guard guard(Slot().lock);
        hook = Slot().hook;
    }
    if (hook) {
        if (auto answer = hook(owner, text, caption, style))
            return *answer;
    }
    return DefaultMessageBoxAnswer(style);
}

}  // namespace Tavo::Platform::App
