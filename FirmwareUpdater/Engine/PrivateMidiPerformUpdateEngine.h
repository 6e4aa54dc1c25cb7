#pragma once

// The engine the program runs: found, probed and brought to update mode over
// the MIDI ports, but the image goes through the driver's private channel.

#include "DeviceChannel/FirmwareTransfer.h"
#include "Engine/UpdateEngine.h"

class LPrivateMidiPerformUpdateEngine : public LUpdateEngine, private FirmwareTransferHost
{
public:
    LPrivateMidiPerformUpdateEngine() = default;

    TavoResult PerformUpdate() override;

    // Shared by both bases.
    void SetDeviceState(int32_t state) override { LUpdateEngine::SetDeviceState(state); }
    void PostUpdateProgress(uint32_t stage, double fraction, bool automaticEstimate, int32_t remainingTime,
                            bool secondFlag, const Tavo::WString& text) override
    {
        LUpdateEngine::PostUpdateProgress(stage, fraction, automaticEstimate, remainingTime, secondFlag,
                                          text);
    }
    void PostUpdateCompleted(bool success) override { LUpdateEngine::PostUpdateCompleted(success); }
    using LUpdateEngine::GetFirmwarePath;

protected:
    ~LPrivateMidiPerformUpdateEngine() override = default;

private:
    bool IsAbortRequested() override { return LUpdateEngine::IsAbortRequested(); }
    void SetUpdateState(int32_t state) override { LUpdateEngine::SetUpdateState(state); }
    void SetCannotUpdateReason(uint32_t reason) override { SetSelectedCannotUpdateReason(reason); }
    Tavo::WString GetFirmwarePath() override;
    uint16_t GetChunkSize() override { return LUpdateEngine::GetChunkSize(); }
    uint16_t GetChunkPauseMs() override { return GetChunkDelay(); }
};
