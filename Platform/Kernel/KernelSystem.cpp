#include "Platform/Kernel/KernelSystem.h"

#include "Platform/Kernel/AtomicFile.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <csignal>
#include <optional>
#include <thread>
#include <unistd.h>

namespace Tavo::Platform {

namespace {

void OnBrokenPipe(int) {}

}  // namespace

bool IsSignalIgnored(int signal)
{
    struct sigaction current
    {
    };
    return sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
           current.sa_handler == SIG_IGN;
}

void IgnoreBrokenPipes()
{
    // A handler rather than SIG_IGN: an ignored signal would stay ignored in
    // every program started from here, a handler is reset by exec. One
    // ignored by whoever started the program stays so, for those programs too.
    struct sigaction action
    {
    };
    if (IsSignalIgnored(SIGPIPE))
        return;
    action.sa_handler = OnBrokenPipe;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

uint32_t GetMilliseconds()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LocalTime GetLocalTime()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm parts{};
    localtime_r(&ts.tv_sec, &parts);
    LocalTime t{};
    t.year = static_cast<uint16_t>(parts.tm_year + 1900);
    t.month = static_cast<uint16_t>(parts.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(parts.tm_wday);
    t.day = static_cast<uint16_t>(parts.tm_mday);
    t.hour = static_cast<uint16_t>(parts.tm_hour);
    t.minute = static_cast<uint16_t>(parts.tm_min);
    t.second = static_cast<uint16_t>(parts.tm_sec);
    t.milliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
    return t;
}

std::string GetProgramPath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

namespace {

struct LocaleId
{
    std::string_view name;
    uint16_t id;
};

// The first entry of each language is its default when only the language is
// given.
constexpr LocaleId kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ja_JP", 0x0411},
    {"ko_KR", 0x0412}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
    {"ru_RU", 0x0419}, {"uk_UA", 0x0422}, {"pl_PL", 0x0415}, {"cs_CZ", 0x0405}, {"sk_SK", 0x041B},
    {"hu_HU", 0x040E}, {"ro_RO", 0x0418}, {"bg_BG", 0x0402}, {"hr_HR", 0x041A}, {"sl_SI", 0x0424},
    {"el_GR", 0x0408}, {"tr_TR", 0x041F}, {"sv_SE", 0x041D}, {"sv_FI", 0x081D}, {"da_DK", 0x0406},
    {"nb_NO", 0x0414}, {"nn_NO", 0x0814}, {"no_NO", 0x0414}, {"fi_FI", 0x040B}, {"is_IS", 0x040F},
    {"et_EE", 0x0425}, {"lv_LV", 0x0426}, {"lt_LT", 0x0427}, {"he_IL", 0x040D}, {"ar_SA", 0x0401},
    {"th_TH", 0x041E}, {"vi_VN", 0x042A}, {"id_ID", 0x0421}, {"ca_ES", 0x0403}, {"hi_IN", 0x0439},
};

uint16_t LanguageIdFromEnvironment(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return LanguageIdFromLocale(value);
    }
    return LANG_ID_ENGLISH_US;
}

}  // namespace

uint16_t LanguageIdFromLocale(std::string_view locale)
{
    // Drop the code set and modifier: "de_DE.UTF-8@euro" -> "de_DE".
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::string_view language = locale.substr(0, locale.find('_'));
    if (language.size() < 2)
        return LANG_ID_ENGLISH_US;
    for (const LocaleId& entry : kLocales) {
        if (entry.name == locale)
            return entry.id;
    }
    for (const LocaleId& entry : kLocales) {
        if (entry.name.substr(0, entry.name.find('_')) == language)
            return entry.id;
    }
    return LANG_ID_ENGLISH_US;
}

uint16_t GetUserDefaultLangID()
{
    return LanguageIdFromEnvironment({"LC_ALL", "LC_MESSAGES", "LANG"});
}

uint16_t GetSystemDefaultLangID()
{
    for (const char* file : {"/etc/default/locale", "/etc/locale.conf"}) {
        std::string text;
        if (!ReadWholeFile(file, text, 1 << 16))
            continue;
        std::optional<uint16_t> id;
        ForEachLine(text, [&](std::string_view line) {
            if (line.substr(0, 5) != "LANG=")
                return true;
            std::string_view value = line.substr(5);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            id = LanguageIdFromLocale(std::string(value));
            return false;
        });
        if (id)
            return *id;
    }
    return LANG_ID_ENGLISH_US;
}

}  // namespace Tavo::Platform
