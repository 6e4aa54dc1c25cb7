#include "Platform/Registry/Registry.h"

#include <mutex>

#include "Platform/Kernel/PlatformFolders.h"

namespace Tavo::Platform::Registry {

Value Value::String(std::u16string_view text)
{
    Value v;
    v.type = kRegSz;
    v.data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        v.data.push_back(static_cast<uint8_t>(c & 0xFF));
        v.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.data.push_back(0);
    v.data.push_back(0);
    return v;
}

Value Value::Dword(uint32_t number)
{
    Value v;
    v.type = kRegDword;
    for (int i = 0; i < 4; ++i)
        v.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
    return v;
}

Value Value::Binary(std::vector<uint8_t> bytes)
{
    Value v;
    v.type = kRegBinary;
    v.data = std::move(bytes);
    return v;
}

std::u16string Value::AsString() const
{
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

namespace {

struct MachineSlot
{
    std::mutex mutex;
    std::shared_ptr<Store> registry;
};

MachineSlot& Slot()
{
    static MachineSlot* slot = new MachineSlot;
    return *slot;
}

}  // namespace

std::shared_ptr<Store> Machine()
{
    MachineSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (!slot.registry)
        slot.registry = CreateDirectoryRegistry(PlatformRoot() + "/registry");
    return slot.registry;
}

void SetMachine(std::shared_ptr<Store> registry)
{
    MachineSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.registry = std::move(registry);
}

}  // namespace Tavo::Platform::Registry
