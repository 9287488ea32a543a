// Times the change-list side of one installation and measures its peak
// memory, for one change list generated beside the executable:
//
//   bench_changelist entries COUNT   [File] section of COUNT module names
//   bench_changelist longline BYTES  [File] section of one line of BYTES
//
// The preparation is what the program does before it touches a file: a fresh
// reader answers IsLogOn, then another checks [Install] and walks [File] to
// its end into the file list. The log stays off, so only reading is timed.
// Prints one tab-separated line: kind, count, file bytes, entries read,
// median seconds, runs, peak heap bytes of the preparation, the same without
// the file list (the reader alone), and the growth of the process's peak
// resident memory in bytes over the first run.
// Exit status 1 when the list cannot be written or reads back wrong.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "changelist/change_list_file.h"
#include "heap_meter.h"
#include "engine/site/file_list.h"

namespace {

// The machine the change list targets; the [Install] entry names it last,
// after patterns that do not match, as a package for several versions would.
const uint32_t kPlatformId = 2;
const uint32_t kMajorVersion = 6;
const uint32_t kMinorVersion = 1;
const char kHead[] = "// generated for the benchmark\r\n[Install]\r\n1:4:10, 2:5:0, 2:5:1, 2:6:1\r\n[File]\r\n";
const char kTail[] = "[Log]\r\non\r\n";

bool WriteChangeList(const std::string& path, const std::string& kind, long count,
                     long* expectedEntries, long* bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    std::string chunk = kHead;
    if (kind == "entries") {
        // Lower-case names with blanks around them, so trimming and
        // upper-casing have work to do on every line.
        char line[64];
        for (long i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "  m%07ld.dll\t\r\n", i);
            chunk += line;
            if (chunk.size() > (1u << 16)) {
                std::fwrite(chunk.data(), 1, chunk.size(), out);
                chunk.clear();
            }
        }
        *expectedEntries = count;
    } else {
        chunk.append(static_cast<size_t>(count), 'x');
        chunk += "\r\n";
        *expectedEntries = 1;
    }
    chunk += kTail;
    std::fwrite(chunk.data(), 1, chunk.size(), out);
    *bytes = std::ftell(out);
    return std::fclose(out) == 0;
}

// One preparation as the program makes it, keeping the names in the file
// list or, to tell the reader's own memory from the list's, dropping them;
// the number of [File] entries read, or -1 when [Log] or [Install] read
// wrong.
long Prepare(bool keepList) {
    {
        ChangeListFile changeList;
        if (changeList.IsLogOn() != 1) return -1;
    }
    FileList fileList;
    ChangeListFile changeList;
    if (changeList.CheckInstallVersion(kPlatformId, kMajorVersion, kMinorVersion, std::string()) != 1) {
        return -1;
    }
    long read = 0;
    std::string entry;
    int found = changeList.FirstFileEntry(entry, std::string());
    while (found == 1) {
        ++read;
        if (keepList) fileList.push_back(entry);
        entry.clear();
        found = changeList.NextEntry(entry);
    }
    return read;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "entries") != 0 && std::strcmp(argv[1], "longline") != 0)) {
        std::fprintf(stderr, "usage: %s entries COUNT | longline BYTES\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    const long count = std::atol(argv[2]);

    std::string path;
    {
        ChangeListFile probe;
        path = probe.GetChangeListPath(std::string());
    }
    long expected = 0;
    long bytes = 0;
    if (path.empty() || !WriteChangeList(path, kind, count, &expected, &bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    // The first run is measured for memory; the process peak before it
    // already includes writing the list.
    const size_t processBefore = ProcessPeakBytes();
    const size_t heapBefore = HeapBytesInUse();
    ResetHeapPeak();
    double start = NowSeconds();
    const long read = Prepare(true);
    std::vector<double> samples = {NowSeconds() - start};
    const size_t heapPeak = HeapPeakBytes() - heapBefore;
    const size_t processAfter = ProcessPeakBytes();
    ResetHeapPeak();
    Prepare(false);
    const size_t readerPeak = HeapPeakBytes() - heapBefore;
    if (read != expected) {
        std::fprintf(stderr, "read %ld entries, expected %ld\n", read, expected);
        std::remove(path.c_str());
        return 1;
    }

    // Enough runs for about half a second, at least three.
    const int runs = static_cast<int>(std::min(101.0, std::max(3.0, 0.5 / std::max(samples[0], 1e-6))));
    for (int i = 1; i < runs; ++i) {
        start = NowSeconds();
        Prepare(true);
        samples.push_back(NowSeconds() - start);
    }
    std::remove(path.c_str());

    const size_t processGrowth = processAfter > processBefore ? processAfter - processBefore : 0;
    std::printf("%s\t%ld\t%ld\t%ld\t%.9f\t%d\t%.0f\t%.0f\t%.0f\n", kind.c_str(), count, bytes,
                read, Median(samples), runs, static_cast<double>(heapPeak),
                static_cast<double>(readerPeak), static_cast<double>(processGrowth));
    return 0;
}
