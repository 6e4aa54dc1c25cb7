#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace Tavo::Platform::App {

// Style bits and answers with the values the framework passes and expects.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr uint32_t MB_DEFBUTTON3 = 0x200;

inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;
inline constexpr int32_t IDABORT = 3;
inline constexpr int32_t IDRETRY = 4;
inline constexpr int32_t IDIGNORE = 5;
inline constexpr int32_t IDYES = 6;
inline constexpr int32_t IDNO = 7;

// Shows a box on screen and returns the answer, or nothing when it cannot
// (no display); set by the windows layer. owner is its native window or 0.
using MessageBoxHook = std::function<std::optional<int32_t>(uintptr_t owner, const std::string& text,
                                                            const std::string& caption, uint32_t style)>;

void SetMessageBoxHook(MessageBoxHook hook);

// Writes caption and text (UTF-8) to stderr, then asks the hook. Without a
// hook or display the answer is the style's default button, so a run without
// a display never blocks.
int32_t ShowMessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style);

// The button that Enter would press for this style.
int32_t DefaultMessageBoxAnswer(uint32_t style);

}  // namespace Tavo::Platform::App
