#include "Engine/PrivateMidiPerformUpdateEngine.h"

Tavo::RCPtr<LUpdateEngineInterface> LUpdateEngineInterface::Create()
{
    return Tavo::RCPtr<LUpdateEngineInterface>(new LPrivateMidiPerformUpdateEngine());
}

TavoResult LPrivateMidiPerformUpdateEngine::PerformUpdate() { return PerformPrivateMidiUpdate(*this); }

Tavo::WString LPrivateMidiPerformUpdateEngine::GetFirmwarePath()
{
    Tavo::WString path;
    LUpdateEngine::GetFirmwarePath(path);
    return path;
}
