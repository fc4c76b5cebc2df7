#include "failingallocation.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

// Every form of operator new and delete is replaced, all on malloc and free, so that the
// sanitizers see the same allocator on both sides of every pair.
namespace {

std::atomic<std::size_t> failFrom {std::numeric_limits<std::size_t>::max()};

void *allocate(std::size_t size, std::size_t alignment = 0) noexcept
{
    if (size >= failFrom.load(std::memory_order_relaxed))
        return nullptr;
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
    void *memory = nullptr;
    return ::posix_memalign(&memory, alignment, size) == 0 ? memory : nullptr;
}

void *allocateOrThrow(std::size_t size, std::size_t alignment = 0)
{
    void *memory = allocate(size, alignment);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

} // namespace

FailingAllocations::FailingAllocations(std::size_t bytes)
{
    failFrom = bytes;
}

FailingAllocations::~FailingAllocations()
{
    failFrom = std::numeric_limits<std::size_t>::max();
}

void *operator new(std::size_t size)
{
    return allocateOrThrow(size);
}
void *operator new[](std::size_t size)
{
    return allocateOrThrow(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    return allocate(size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    return allocate(size);
}
void *operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, std::size_t(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, std::size_t(alignment));
}
void *operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocate(size, std::size_t(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocate(size, std::size_t(alignment));
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, const std::nothrow_t &) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory, const std::nothrow_t &) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(memory);
}
void operator delete[](void *memory, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(memory);
}
