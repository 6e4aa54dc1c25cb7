// Builds control trees from arbitrary skin bytes: every class the skin names
// is a plain control. Creation, re-application of another skin, value and
// condition changes and release must end in a result or the framework's own
// runtime error, never a crash, a hang or growth without bound.
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "tests/Common/FakeRootWindow.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

using namespace Tavo;

namespace {

const char16_t* const kClasses[] = {u"FirmwareUpdater.MainControl",
                                    u"Framework.Button",
                                    u"Framework.Label",
                                    u"Framework.Panel",
                                    u"Framework.ProgressBar",
                                    u"Framework.MainMenu",
                                    u"Framework.ComboMenu",
                                    u"Framework.PopupMenu",
                                    u"Framework.MenuItem",
                                    u"Framework.ToolTip",
                                    u"Framework.StatusBar",
                                    u"A",
                                    u"B"};
// Enough to reach every top-level control of a small skin, few enough to
// keep one input quick.
constexpr size_t kMaxTopLevel = 16;

void Exercise(const RCPtr<LControl>& control)
{
    control->SetValueRange(1, 100, 1);
    control->SetValue(0.5);
    control->SetBounds({1, 2}, {30, 40});
    control->SetEnabled(false);
    control->SetVisible(false);
    control->GetChildrenBounds();
    std::vector<RCPtr<LControl>> floating;
    control->CollectFloatingControls(floating, true, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    auto factory = LControlFactory::Create(u"Fuzz");
    try {
        factory->ParseXML(reinterpret_cast<const char*>(data), size);
    } catch (const std::runtime_error&) {
        return 0;
    }
    for (const char16_t* name : kClasses)
        factory->RegisterControlClass(name, &LControl::CreateT<LControl>);
    ControlEnvironment().factory = factory;
    auto window = FakeRootWindow::Create();
    size_t built = 0;
    for (int32_t skin = 0; skin < factory->GetSkinCount() && built < kMaxTopLevel; ++skin) {
        factory->SetCurrentSkinIndex(skin);
        const auto root = factory->GetSkinRoot(skin);
        if (!root)
            continue;
        const auto children = root->GetChildren();
        for (const auto& descriptor : children) {
            if (!descriptor || built++ >= kMaxTopLevel)
                break;
            try {
                RCPtr<LControl> control =
                    factory->CreateControlFromDescriptor(descriptor->GetName(), window.Get());
                if (!control)
                    continue;
                // Another skin's record for the same control, then back.
                factory->SetCurrentSkinIndex((skin + 1) % factory->GetSkinCount());
                factory->ReapplyDescriptor(control);
                factory->SetCurrentSkinIndex(skin);
                Exercise(control);
                control->Detach();
            } catch (const std::runtime_error&) {
            }
        }
    }
    ControlEnvironment().factory = nullptr;
    return 0;
}
