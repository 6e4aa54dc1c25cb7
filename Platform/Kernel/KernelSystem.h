#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Tavo::Platform {

// Milliseconds on a steady clock, wrapping at 2^32 like the multimedia timer.
uint32_t GetMilliseconds();

void Sleep(uint32_t milliseconds);

struct LocalTime
{
    uint16_t year;
    uint16_t month;      // 1..12
    uint16_t dayOfWeek;  // 0 = Sunday
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// The wall-clock time in the local time zone.
LocalTime GetLocalTime();

// A write to a pipe or socket whose reader has gone fails with EPIPE instead
// of ending the process (stderr piped into a reader that quit, a listener
// gone). Programs started later begin with the default disposition again,
// or ignore it when it was ignored as this process started.
void IgnoreBrokenPipes();

// Whether `signal` is ignored now (SIG_IGN): one ignored by whoever started
// the process stays so. Async-signal-safe.
bool IsSignalIgnored(int signal);

// The full path of the running program (UTF-8); empty when it cannot be read.
std::string GetProgramPath();

// Language ids as the system the framework was designed for numbers them: the
// primary language in the low 10 bits, the sublanguage above.
inline constexpr uint16_t LANG_ID_ENGLISH_US = 0x0409;

// Maps a locale name such as "de_DE.UTF-8" or "fr" to a language id; English
// (United States) when the name is not known.
uint16_t LanguageIdFromLocale(std::string_view locale);

// From LC_ALL, LC_MESSAGES or LANG, the first one that is set.
uint16_t GetUserDefaultLangID();

// From the machine's configured locale (LANG in /etc/default/locale or
// /etc/locale.conf), else English.
uint16_t GetSystemDefaultLangID();

}  // namespace Tavo::Platform
