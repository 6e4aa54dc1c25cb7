// The updater with a skin whose File menu shows, for the tests that choose
// the firmware file through it (the product's skin keeps the menu hidden),
// and strings that give the EXIT button a tooltip.
#include "Application/ProgramMain.h"
#include "ControlBase/ControlFactory.h"
#include "Platform/Kernel/Resources.h"

int main(int argc, char** argv)
{
    Tavo::LControlFactory::SetResourceLookup([](const Tavo::WString& type, const Tavo::WString& name) {
        const Tavo::NString narrowType(type);
        const Tavo::NString narrowName(name == u"APP_SKINS"     ? Tavo::WString(u"TEST_APP_SKINS")
                                       : name == u"APP_STRINGS" ? Tavo::WString(u"TEST_APP_STRINGS")
                                                                : name);
        return Tavo::Platform::FindResource(narrowType.c_str(), narrowName.c_str());
    });
    return RunFirmwareUpdater(argc, argv);
}
