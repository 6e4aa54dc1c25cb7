// Feeds arbitrary bytes to the skin reader: it must report an error or
// throw its own runtime error, never crash or allocate without bound.
#include "ControlBase/ControlFactory.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A length of 0 means a nul-terminated text, which fuzz input is not.
    if (size == 0)
        return 0;
    auto factory = Tavo::LControlFactory::Create(u"Fuzz");
    try {
        factory->ParseXML(reinterpret_cast<const char*>(data), size);
    } catch (const std::runtime_error&) {
    }
    // Exercise what the controls would read afterwards.
    for (int32_t i = 0; i < factory->GetSkinCount(); ++i) {
        factory->SetCurrentSkinIndex(i);
        factory->FindDescriptorByName(u"mainControl");
        Tavo::WString name;
        float size = 0;
        int32_t style = 0;
        factory->GetCurrentSkinFontOverride(name, size, style);
    }
    return 0;
}
