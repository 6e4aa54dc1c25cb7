#pragma once

#include <cstdint>
#include <string>

#include "DeviceChannel/FirmwareTransfer.h"

// Sends the file at `path` in 128-byte chunks with `pauseMs` after each;
// never aborts and drops every report.
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

    static constexpr uint16_t kChunkSize = 128;
    std::string path;
    uint16_t pauseMs = 20;
};
