#include "Utilities/Geometry/Shapes.h"

#include <atomic>

namespace Tavo {

uint32_t NewShapeHandle()
{
    static std::atomic<uint32_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed) << 4;
}

}  // namespace Tavo
