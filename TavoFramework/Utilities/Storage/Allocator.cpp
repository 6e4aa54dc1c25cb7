#include "Utilities/Storage/Allocator.h"

#include <cstdlib>

namespace Tavo {

void* SystemAllocator::Alloc(uint32_t size)
{
    return std::malloc(size);
}

void* SystemAllocator::Calloc(uint32_t count, uint32_t size)
{
    return std::calloc(count, size);
}

void* SystemAllocator::Realloc(void* block, uint32_t size)
{
    // realloc(p, 0) is implementation-defined; the contract is "free, yield null".
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size);
}

void SystemAllocator::Free(void* block)
{
    std::free(block);
}

IAllocator* GetSystemAllocator()
{
    static auto* allocator = new SystemAllocator;
    return allocator;
}

}  // namespace Tavo
