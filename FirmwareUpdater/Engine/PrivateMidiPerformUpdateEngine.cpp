#include "Engine/PrivateMidiPerformUpdateEngine.h"

// The transfer sits below the engine and sets the engine's states by number:
// its copies must stay equal to the engine's values.
static_assert(int32_t{kUpdateRunning} == int32_t{LUpdateEngineInterface::kUpdateRunning});
static_assert(int32_t{kUpdateFailed} == int32_t{LUpdateEngineInterface::kUpdateFailed});
static_assert(int32_t{kUpdateAborted} == int32_t{LUpdateEngineInterface::kUpdateAborted});
static_assert(int32_t{kUpdateSucceeded} == int32_t{LUpdateEngineInterface::kUpdateSucceeded});
static_assert(kDeviceCannotUpdate == int32_t{LUpdateEngineInterface::kDeviceCannotUpdate});
static_assert(kDeviceInUpdateMode == int32_t{LUpdateEngineInterface::kDeviceInUpdateMode});
static_assert(kReasonFileAccess == uint32_t{LUpdateEngineInterface::kReasonFileAccess});

Tavo::RCPtr<LUpdateEngineInterface> LUpdateEngineInterface::Create()
{
    return Tavo::RCPtr<LUpdateEngineInterface>(new LPrivateMidiPerformUpdateEngine());
}

TavoResult LPrivateMidiPerformUpdateEngine::PerformUpdate()
{
    return PerformPrivateMidiUpdate(*this);
}

Tavo::WString LPrivateMidiPerformUpdateEngine::GetFirmwarePath()
{
    Tavo::WString path;
    LUpdateEngine::GetFirmwarePath(path);
    return path;
}
