#include "support/allocation_cap.h"

#include <cstdlib>
#include <new>

#include "platform/out_of_memory.h"

namespace {
size_t g_cap = 0;
}  // namespace

AllocationCap::AllocationCap(size_t bytes) { g_cap = bytes; }
AllocationCap::~AllocationCap() { g_cap = 0; }

void* operator new(size_t size) {
    if (g_cap != 0 && size > g_cap) OutOfMemory();
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    OutOfMemory();
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
