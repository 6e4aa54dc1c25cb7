#pragma once

#include "Application/ApplicationBase.h"
#include "Application/UpdateProcessor.h"

// The updater's application object: its names and settings, the start-up
// that runs the update processor, and the exit permission.
class LApplication : public Tavo::LApplicationBase
{
public:
    LApplication(Tavo::FrameworkAppShell& shell, const Tavo::RCPtr<Tavo::LControlFactory>& factory,
                 const Tavo::RCPtr<Tavo::LStringTable>& frameworkStrings, const Tavo::WString& commandLine);
    ~LApplication() override;

    // "Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater", built once.
    static const Tavo::WString& GetApplicationName();

    void GetSettingsVersion(Tavo::WString& version) override { version = u"1_0_0"; }
    void GetMainControlName(Tavo::WString& name) override { name = u"mainControl"; }
    int32_t GetRendererType() override { return 1; }
    Tavo::TavoResult RunApplicationStartup() override;
    Tavo::TavoResult CreateMainWindow(int32_t rendererType) override;
    bool CanExit() override;

    Tavo::RCPtr<LUpdateProcessor> GetUpdateProcessor() const { return mProcessor; }

private:
    Tavo::RCPtr<LUpdateProcessor> mProcessor;
};
