// HashFile against real files: whole, a block at a time, and every read
// failure reported with the handle closed.
#include "engine/seal/file_hash.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/temp_dir.h"

namespace {

Sha256Digest DigestOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Final();
}

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 251);
    return bytes;
}

DWORD g_largestRead = 0;
BOOL WINAPI RecordRead(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD got, LPOVERLAPPED overlapped) {
    if (wanted > g_largestRead) g_largestRead = wanted;
    return RealOsCalls().ReadFile(file, buffer, wanted, got, overlapped);
}

}  // namespace

TEST(HashFile, HashesWholeFilesABlockAtATime) {
    TempDir dir;
    OsCallsGuard guard;
    guard.Set(&OsCalls::ReadFile, &RecordRead);
    for (const size_t size : {0u, 1u, 64u, kHashBlockSize - 1, kHashBlockSize, kHashBlockSize + 1,
                              5 * kHashBlockSize + 17}) {
        const std::string bytes = Bytes(size);
        ASSERT_TRUE(WriteWholeFile(dir.File("M.DLL"), bytes));
        g_largestRead = 0;
        Sha256Digest digest{};
        uint32_t error = 0;
        ASSERT_EQ(1, HashFile(dir.File("M.DLL"), &digest, &error)) << size << " error " << error;
        EXPECT_EQ(DigestHex(DigestOf(bytes)), DigestHex(digest)) << size;
        EXPECT_EQ(kHashBlockSize, g_largestRead) << size;
    }
}

TEST(HashFile, ReportsWhyAFileCannotBeRead) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("M.DLL"), Bytes(100)));
    struct Row {
        const char* what;
        std::string path;
        DWORD error;
    } rows[] = {
        {"missing", dir.File("GONE.DLL"), ERROR_FILE_NOT_FOUND},
        {"a folder", dir.path(), ERROR_ACCESS_DENIED},
    };
    for (const Row& row : rows) {
        Sha256Digest digest{};
        uint32_t error = 0;
        EXPECT_EQ(0, HashFile(row.path, &digest, &error)) << row.what;
        EXPECT_EQ(row.error, error) << row.what;
    }

    // A writer that shares nothing keeps the bytes from being read at all.
    HANDLE writer = ::CreateFileA(dir.File("M.DLL").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    Sha256Digest digest{};
    uint32_t error = 0;
    EXPECT_EQ(0, HashFile(dir.File("M.DLL"), &digest, &error));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SHARING_VIOLATION), error);
    ::CloseHandle(writer);
}

TEST(HashFile, AFailedReadAnywhereFailsTheHashAndClosesTheFile) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("M.DLL"), Bytes(3 * kHashBlockSize)));
    const int hits = FailEachCallInTurn<&OsCalls::ReadFile>(FALSE, ERROR_NETNAME_DELETED, [&](int nth, const auto& fault) {
        ResourceCounter counter;
        Sha256Digest digest{};
        uint32_t error = 0;
        const int result = HashFile(dir.File("M.DLL"), &digest, &error);
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        const bool hit = fault.fired() != 0;
        EXPECT_EQ(hit ? 0 : 1, result) << nth;
        EXPECT_EQ(hit ? static_cast<uint32_t>(ERROR_NETNAME_DELETED) : 0u, error) << nth;
    });
    EXPECT_EQ(4, hits) << "three blocks and the end make four reads";
}
