// Feeds arbitrary bytes to the string-table reader through the locale
// fallback, as the start-up would.
#include "ControlBase/ControlFactory.h"
#include "System/HotKeyMap.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Tavo::LControlFactory::SetResourceLookup([data, size](const Tavo::WString&, const Tavo::WString&) {
        return std::span<const uint8_t>(data, size);
    });
    auto factory = Tavo::LControlFactory::Create(u"Fuzz");
    factory->LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", 1028);
    if (auto table = factory->GetApplicationStringTable()) {
        Tavo::HotKeyMap keys;
        keys.LoadBindings(table.Get(), u"GHK");
    }
    factory->GetFrameworkStringTable();
    return 0;
}
