#pragma once

#include <cstdint>
#include <string>

#include "DeviceChannel/FirmwareTransfer.h"
#include "Engine/UpdateEngine.h"

// Sends the file at `path` in the engine's chunks with `pauseMs` after each
// (the engine's pause unless set); never aborts and drops every report.
class FileHost : public FirmwareTransferHost
{
public:
    bool IsAbortRequested() override { return false; }
    void SetUpdateState(int32_t) override {}
    void SetDeviceState(int32_t) override {}
    void SetCannotUpdateReason(uint32_t) override {}
    Tavo::WString GetFirmwarePath() override { return Tavo::WString(Tavo::NString(path.c_str())); }
    void PostUpdateProgress(uint32_t, double, bool, int32_t, bool, const Tavo::WString&) override {}
    void PostUpdateCompleted(bool) override {}
    uint16_t GetChunkSize() override { return kChunkSize; }
    uint16_t GetChunkPauseMs() override { return pauseMs; }

    static constexpr uint16_t kChunkSize = LUpdateEngine::kChunkSize;
    std::string path;
    uint16_t pauseMs = LUpdateEngine::kChunkPauseMs;
};
