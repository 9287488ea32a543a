// Counts the bytes held through operator new, so a benchmark can report the
// peak heap use of one operation exactly, on Windows and natively alike.
// Linking heap_meter.cpp replaces the global operator new and delete of the
// whole program.
#pragma once

#include <cstddef>

// Bytes currently held through operator new.
size_t HeapBytesInUse();

// The most held at once since the last ResetHeapPeak.
size_t HeapPeakBytes();

// Starts a new peak from what is held now.
void ResetHeapPeak();

// The process's own high-water mark of resident memory in bytes (ru_maxrss
// natively, PeakWorkingSetSize on Windows); 0 if unknown.
size_t ProcessPeakBytes();
