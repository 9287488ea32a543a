// A ceiling on single allocations, for showing what a run does when memory
// runs out. Linked into one test program only: it replaces the global
// operator new of the whole program.
//
// While a cap is set, every allocation through the throwing operator new
// (strings, containers) larger than the cap ends in OutOfMemory, as the
// shipped program's allocations do. The non-throwing array new that the
// change list is loaded with is exempt: the file fits once, a second copy of
// its biggest line does not, as in a 32-bit process holding a list of
// hundreds of megabytes.
#pragma once

#include <cstddef>

class AllocationCap {
public:
    explicit AllocationCap(size_t bytes);
    ~AllocationCap();
    AllocationCap(const AllocationCap&) = delete;
    AllocationCap& operator=(const AllocationCap&) = delete;
};
