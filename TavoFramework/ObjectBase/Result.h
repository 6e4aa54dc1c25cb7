#pragma once

#include <cstdint>

namespace Tavo {

// A 32-bit result: negative values are failures, 0 success, 1 "nothing to do".
using TavoResult = int32_t;

inline constexpr TavoResult S_OK = 0;
inline constexpr TavoResult S_FALSE = 1;
inline constexpr TavoResult E_FAIL = static_cast<TavoResult>(0x80004005u);
inline constexpr TavoResult E_INVALIDARG = static_cast<TavoResult>(0x80070057u);
inline constexpr TavoResult E_NOTIMPL = static_cast<TavoResult>(0x80004001u);
inline constexpr TavoResult E_OUTOFMEMORY = static_cast<TavoResult>(0x8007000Eu);
inline constexpr TavoResult E_ABORT = static_cast<TavoResult>(0x80004004u);

inline constexpr bool Succeeded(TavoResult r)
{
    return r >= 0;
}
inline constexpr bool Failed(TavoResult r)
{
    return r < 0;
}

}  // namespace Tavo

// The updater's own classes live outside the namespace and use the codes bare.
using Tavo::E_ABORT;
using Tavo::E_FAIL;
using Tavo::E_INVALIDARG;
using Tavo::E_NOTIMPL;
using Tavo::E_OUTOFMEMORY;
using Tavo::S_FALSE;
using Tavo::S_OK;
using Tavo::TavoResult;
