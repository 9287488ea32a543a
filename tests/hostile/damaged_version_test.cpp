// Modules whose version resource is damaged, missing a part, or carries an
// odd FileVersion, on either side of a deployment. The comparison must read
// within the resource, fall back to the times when the version cannot be
// read, and end in one of the documented outcomes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "hostile_deployment.h"
#include "pe_version_resource.h"
#include "platform/os_calls.h"
#include "support/resource_counter.h"

namespace {

// Heap blocks from the call table that end at the end of a committed page,
// with a wide reserved but inaccessible region behind: a read or write past
// the block (by the engine or by the platform working in it) faults at once
// instead of passing unseen.
class GuardedHeap {
public:
    GuardedHeap() {
        m_guard.Set(&OsCalls::LocalAlloc, &Alloc);
        m_guard.Set(&OsCalls::LocalFree, &Free);
    }
    ~GuardedHeap() {
        for (const auto& region : s_regions) ::VirtualFree(region.first, 0, MEM_RELEASE);
        s_regions.clear();
    }
    GuardedHeap(const GuardedHeap&) = delete;
    GuardedHeap& operator=(const GuardedHeap&) = delete;

private:
    static const SIZE_T kPage = 4096;
    static const SIZE_T kBehind = SIZE_T(1) << 20;

    static HLOCAL WINAPI Alloc(UINT flags, SIZE_T bytes) {
        if (bytes == 0) return RealOsCalls().LocalAlloc(flags, bytes);
        const SIZE_T committed = (bytes + kPage - 1) / kPage * kPage;
        char* base = static_cast<char*>(
            ::VirtualAlloc(nullptr, committed + kBehind, MEM_RESERVE, PAGE_NOACCESS));
        if (base == nullptr) return nullptr;
        if (!::VirtualAlloc(base, committed, MEM_COMMIT, PAGE_READWRITE)) {
            ::VirtualFree(base, 0, MEM_RELEASE);
            return nullptr;
        }
        s_regions[base] = committed + kBehind;
        return base + committed - bytes;
    }
    static HLOCAL WINAPI Free(HLOCAL block) {
        const char* at = static_cast<const char*>(block);
        for (auto region = s_regions.begin(); region != s_regions.end(); ++region) {
            if (at >= region->first && at < region->first + region->second) {
                ::VirtualFree(region->first, 0, MEM_RELEASE);
                s_regions.erase(region);
                return nullptr;
            }
        }
        return RealOsCalls().LocalFree(block);
    }

    OsCallsGuard m_guard;
    static inline std::map<char*, SIZE_T> s_regions;
};

class DamagedVersion : public HostileDeployment {
protected:
    // The fixture's bytes with its version resource located, or a failure.
    static std::string WithResource(const std::string& fixture, VersionResourceAt* at) {
        std::string bytes = FixtureBytes(fixture);
        EXPECT_TRUE(FindVersionResource(bytes, at)) << fixture;
        return bytes;
    }

    // The FileVersion as QmxGetVersion reads it into the comparison's
    // 260-byte buffer; "<unreadable>" when it reports failure. A guard
    // pattern after the buffer shows any write beyond it.
    std::string ReadVersion(const std::string& path) {
        char buffer[MAX_PATH + 16];
        std::memset(buffer, '#', sizeof buffer);
        GuardedHeap heap;
        ResourceCounter counter;
        const int read = VersionCompare().QmxGetVersion(path, buffer, MAX_PATH);
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        EXPECT_EQ(std::string(16, '#'), std::string(buffer + MAX_PATH, 16)) << "wrote past the buffer";
        EXPECT_EQ('\0', buffer[MAX_PATH - 1]) << "not terminated inside the buffer";
        return read == 1 ? std::string(buffer) : "<unreadable>";
    }

    static std::string Unreadable(int first, int second) {
        return "CompareTimeStamp : QMX_COMP_SAME (3) QmxGetVersion is faild [" +
               std::to_string(first) + ":" + std::to_string(second) + "].\r\n";
    }
    std::string Copied() const { return "LockDestFile : QMX_LOCK_SUCEES \"" + Dest() + "\".\r\n"; }
    std::string Texts(const std::string& v1, const std::string& v2) const {
        return "CompareTimeStamp [4a] - " + Source() + " is \"" + v1 + "\".\r\n" +
               "CompareTimeStamp [4b] - " + Dest() + " is \"" + v2 + "\".\r\n";
    }
};

const char kFirstNewerByTime[] = "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (4).\r\n";
const char kSecondNewerByTime[] = "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (4).\r\n";

}  // namespace

// A block that claims more than the resource holds would have the platform
// write the text it converts that far behind the block: the claim must be
// refused before any query.
TEST_F(DamagedVersion, CutResourceOrOverlongBlockIsUnreadableAndTheTimesDecide) {
    for (const bool cut : {true, false}) {
        VersionResourceAt at;
        std::string bytes = WithResource("V2_10.DLL", &at);
        if (cut) {
            bytes.resize(at.data + at.size / 2);
        } else {
            PutWord(bytes, at.data, 0xFFFF);  // the VS_VERSIONINFO length
        }
        Ship(bytes, kNewer);
        Install(FixtureBytes("V2_9.DLL"), kOlder);
        EXPECT_EQ("<unreadable>", ReadVersion(Source())) << cut;

        ClearLog();
        GuardedHeap heap;
        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << cut;
        EXPECT_EQ(Unreadable(0, 1) + kFirstNewerByTime + Copied(), LogText()) << cut;
        EXPECT_EQ(Digest(bytes), Installed()) << cut;
    }
}

TEST_F(DamagedVersion, TruncatedInstalledCopyThatIsNewerByTimeIsKept) {
    VersionResourceAt at;
    std::string bytes = WithResource("V2_9.DLL", &at);
    bytes.resize(at.data + at.size / 2);
    Ship(FixtureBytes("V2_10.DLL"), kOlder);
    Install(bytes, kNewer);
    EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(Unreadable(1, 0) + kSecondNewerByTime, LogText());
    EXPECT_EQ(Digest(bytes), Installed());
    EXPECT_EQ((std::set<std::string>{"X.DLL"}), SystemNames());
}

TEST_F(DamagedVersion, DirectoryClaimingMoreThanAVersionResourceCanHoldIsUnreadable) {
    // 64 KiB and more: beyond any version resource, and here beyond the end
    // of the file, where the platform's copy would fault. Up to 2 GiB, where
    // the block itself would be absurd.
    for (const unsigned long claimed : {0x14000ul, 0x100000ul, 0x7FFFFFF0ul}) {
        VersionResourceAt at;
        std::string bytes = WithResource("V2_10.DLL", &at);
        PutDword(bytes, at.entry + 4, claimed);  // the resource's recorded size
        Ship(bytes, kOlder);
        Install(FixtureBytes("V2_9.DLL"), kNewer);
        EXPECT_EQ("<unreadable>", ReadVersion(Source())) << claimed;

        ClearLog();
        EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit) << claimed;
        EXPECT_EQ(Unreadable(0, 1) + kSecondNewerByTime, LogText()) << claimed;
        EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed()) << claimed;
    }
}

TEST_F(DamagedVersion, TwoEmptyFileVersionsAreTheSameAndTheTimesDecide) {
    Ship(FixtureBytes("VEMPTY.DLL"), kNewer);
    Install(FixtureBytes("VEMPTY.DLL"), kOlder);
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(Texts("", "") + "CompareTimeStamp : QMX_COMP_SAME (2).\r\n" + kFirstNewerByTime + Copied(),
              LogText());
}

TEST_F(DamagedVersion, FileVersionOf300CharactersIsCutTo259AndItsNumbersCount) {
    const std::string cut = "1.2.3 " + std::string(253, 'x');
    ASSERT_EQ(259u, cut.size());
    Ship(FixtureBytes("VLONGTEXT.DLL"), kOlder);
    EXPECT_EQ(cut, ReadVersion(Source()));

    Install(FixtureBytes("V2_9.DLL"), kNewer);
    EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(Texts(cut, "2.9") + "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (1).\r\n", LogText());

    ClearLog();
    Install(FixtureBytes("V1_0.DLL"), kNewer);
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(Texts(cut, "1.0") + "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n" + Copied(), LogText());
    EXPECT_EQ(Digest(FixtureBytes("VLONGTEXT.DLL")), Installed());
}
