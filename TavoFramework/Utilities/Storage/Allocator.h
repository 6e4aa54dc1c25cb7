#pragma once

#include <cstdint>

namespace Tavo {

// Every raw block of the framework's buffers comes through this interface.
class IAllocator
{
public:
    virtual void* Alloc(uint32_t size) = 0;
    virtual void* Calloc(uint32_t count, uint32_t size) = 0;
    // A null block allocates; a size of 0 frees the block and yields null.
    virtual void* Realloc(void* block, uint32_t size) = 0;
    virtual void Free(void* block) = 0;

protected:
    ~IAllocator() = default;
};

// The runtime heap.
class SystemAllocator final : public IAllocator
{
public:
    void* Alloc(uint32_t size) override;
    void* Calloc(uint32_t count, uint32_t size) override;
    void* Realloc(void* block, uint32_t size) override;
    void Free(void* block) override;
};

// The process-wide instance, made on first use and never destroyed.
IAllocator* GetSystemAllocator();

using AllocatorFunction = IAllocator* (*)();

}  // namespace Tavo
