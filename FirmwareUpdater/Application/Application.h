#pragma once

#include "Application/ApplicationBase.h"
#include "Application/UpdateProcessor.h"
#include "Platform/App/InterruptSignals.h"

#include <memory>

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
    Tavo::CursorHandle GetCursor(const Tavo::WString& name) override;
    Tavo::RCPtr<Tavo::IAppStatusBar> GetStatusBar() override;
    Tavo::TavoResult CreateMainWindow(int32_t rendererType) override;
    bool CanExit() override;
    bool AcceptExit() override;
    Tavo::TavoResult RunApplicationShutdown() override;

    Tavo::RCPtr<LUpdateProcessor> GetUpdateProcessor() const { return mProcessor; }

    // The factory's creator for "FirmwareUpdater.MainControl".
    static void CreateMainControl(Tavo::RCPtr<Tavo::LControl>& result,
                                  const Tavo::RCPtr<Tavo::LControl>& parent,
                                  const Tavo::RCPtr<Tavo::LControlDescriptor>& descriptor);

    // The program's own cursors for dragging.
    static constexpr Tavo::CursorHandle kDropMoveCursor = 102;
    static constexpr Tavo::CursorHandle kDropCopyCursor = 103;
    // The null handle: no cursor of this program's own.
    static constexpr Tavo::CursorHandle kNoCursor = 0;

private:
    Tavo::RCPtr<LUpdateProcessor> mProcessor;
};
