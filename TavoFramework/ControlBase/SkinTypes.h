#pragma once

#include "ObjectBase/RCPtr.h"
#include "ObjectBase/Result.h"
#include "Utilities/Storage/StringT.h"

#include <string>
#include <utility>

namespace Tavo {

// A new counted object owned by the returned pointer.
template <class T, class... Args>
RCPtr<T> MakeRC(Args&&... args)
{
    return RCPtr<T>(new T(std::forward<Args>(args)...));
}

// Bridges for code that works on standard strings internally.
inline WString ToWString(const std::u16string& s)
{
    return WString(s.c_str(), static_cast<uint32_t>(s.size()));
}

inline std::u16string ToStdString(const WString& s)
{
    return std::u16string(s.c_str(), s.GetLength());
}

}  // namespace Tavo
