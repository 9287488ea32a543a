#include "heap_meter.h"

#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

// Each block carries its size in front of it; 16 bytes keep the caller's
// pointer aligned as malloc's would be. The benchmarks are single-threaded.
const size_t kHeader = 16;
size_t g_inUse = 0;
size_t g_peak = 0;

void* Allocate(size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) return nullptr;
    *static_cast<size_t*>(block) = size;
    g_inUse += size;
    if (g_inUse > g_peak) g_peak = g_inUse;
    return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
    if (!pointer) return;
    void* block = static_cast<char*>(pointer) - kHeader;
    g_inUse -= *static_cast<size_t*>(block);
    std::free(block);
}

void* AllocateOrThrow(size_t size) {
    void* pointer = Allocate(size);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

}  // namespace

size_t HeapBytesInUse() { return g_inUse; }
size_t HeapPeakBytes() { return g_peak; }
void ResetHeapPeak() { g_peak = g_inUse; }

size_t ProcessPeakBytes() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
#else
    rusage usage = {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
#endif
}

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
