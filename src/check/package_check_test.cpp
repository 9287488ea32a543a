// The package check on packages made in a scratch folder, one per mistake an
// author makes: each gives its finding and the exit status a build pipeline
// sees. Modules are PE images built in memory with real version resources.
#include "check/package_check.h"

#include <gtest/gtest.h>

#include "engine/seal/sha256.h"
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "check/check_report.h"
#include "check/pe_builder.h"
#include "check/seal_check.h"
#include "check/what_if.h"
#include "engine/site/outcome.h"
#include "engine/undo/store_record.h"
#include "support/pe_image_bytes.h"

namespace {

class PackageCheck : public ::testing::Test {
protected:
    void SetUp() override {
        char base[] = "/tmp/qmxcheck.XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(base));
        m_root = base;
        m_package = m_root + "/package";
        m_system = m_root + "/system";
        ::mkdir(m_package.c_str(), 0700);
        ::mkdir(m_system.c_str(), 0700);
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void ChangeList(const std::string& text) { Write(m_package + "/QMX_CHG.DAT", text); }
    static std::string Module(const std::string& text, uint16_t a, uint16_t b, uint16_t c) {
        const uint16_t numbers[4] = {a, b, c, 0};
        return BuildPeImage(SerializeVersionNode(StandardVersionTree(text, numbers)));
    }
    static std::string ShellOutput(const std::string& command) {
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
            ::pclose(pipe);
        }
        return output;
    }
    // The one finding's text for where, or "" when there is none.
    static std::string FindingAt(const PackageReport& report, const std::string& where) {
        for (const Finding& f : report.findings) {
            if (f.where == where) return f.text;
        }
        return "";
    }

    std::string m_root, m_package, m_system;
};

TEST_F(PackageCheck, CleanPackageExitsZeroAndListsWhatEachPatternMatches) {
    ChangeList("[Install]\r\n2:5:1, 2:10\r\n[File]\r\nqmxa.dll\r\n[Log]\r\nOFF\r\n");
    Write(m_package + "/QMXA.DLL", Module("5.1.2600.0", 5, 1, 2600));
    std::string seal, problem;
    ASSERT_EQ(1, SealPackage(m_package, &seal, &problem)) << problem;
    const PackageReport report = CheckPackage(m_package);
    EXPECT_EQ(0, CheckExitStatus(report)) << (report.findings.empty() ? "" : report.findings[0].text);
    ASSERT_EQ(2u, report.patterns.size());
    EXPECT_EQ((std::vector<std::string>{"XP"}), report.patterns[0].matches);
    EXPECT_EQ((std::vector<std::string>{"10", "2016", "2019", "2022", "11", "2025"}),
              report.patterns[1].matches);
    ASSERT_EQ(1u, report.files.size());
    EXPECT_EQ("QMXA.DLL", report.files[0].name);
    EXPECT_EQ("QMXA.DLM", report.files[0].stagingName);
}

TEST_F(PackageCheck, EachMistakeGivesItsFindingAndStatus) {
    struct Row {
        const char* what;
        const char* list;
        const char* where;
        const char* textStart;
        int status;
    } rows[] = {
        {"a pattern for no Windows", "[Install]\r\n2:5:1, 3:1\r\n[File]\r\nQMXA.DLL\r\n", "[Install]",
         "pattern \"3:1\" matches no Windows version", 1},
        {"a name ending in a digit", "[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DL1\r\n", "[File] QMXA.DL1",
         "its last character is not a letter", 2},
        {"a module missing", "[Install]\r\n2:5:1\r\n[File]\r\nQMXB.DLL\r\n", "[File] QMXB.DLL",
         "missing from the package", 2},
        {"the log left on", "[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\n[Log]\r\non\r\n", "[Log]", "ON:", 1},
        {"all or nothing misspelt", "[Rollback]\r\nYES\r\n[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\n",
         "[Rollback]", "\"YES\" is neither ON nor OFF", 2},
        {"all or nothing", "[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\n[Rollback]\r\non\r\n", "[Install]", "",
         1},
        {"a name outside the folder", "[Install]\r\n2:5:1\r\n[File]\r\n..\\QMXA.DLL\r\n",
         "[File] ..\\QMXA.DLL", "not a plain file name", 2},
        {"no module", "[Install]\r\n2:5:1\r\n[File]\r\n", "[File]", "no module listed", 2},
        {"no [Install]", "[File]\r\nQMXA.DLL\r\n", "[Install]", "no [Install] entry", 2},
    };
    Write(m_package + "/QMXA.DLL", Module("5.1.2600.0", 5, 1, 2600));
    Write(m_package + "/QMXA.DL1", Module("5.1.2600.0", 5, 1, 2600));
    for (const Row& row : rows) {
        ChangeList(row.list);
        const PackageReport report = CheckPackage(m_package);
        EXPECT_EQ(0u, FindingAt(report, row.where).rfind(row.textStart, 0)) << row.what;
        EXPECT_EQ(row.status, CheckExitStatus(report)) << row.what;
    }
}

// text as an editor's "Unicode" saves it: two bytes per character.
std::string Utf16(const std::string& text, bool bigEndian) {
    std::string out;
    for (const char c : text) {
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

TEST_F(PackageCheck, AChangeListSavedAsUnicodeIsNamedWithHowToSaveIt) {
    const std::string list = "// sample\r\n[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\n";
    const struct {
        std::string bytes;
        const char* encoding;
    } rows[] = {
        {"\xEF\xBB\xBF" + list, "UTF-8 with a byte-order mark"},
        {"\xFF\xFE" + Utf16(list, false), "UTF-16 little-endian"},
        {"\xFE\xFF" + Utf16(list, true), "UTF-16 big-endian"},
        {Utf16(list, false), "UTF-16"},
        {Utf16(list, true), "UTF-16"},
    };
    Write(m_package + "/QMXA.DLL", Module("5.1.2600.0", 5, 1, 2600));
    for (const auto& row : rows) {
        ChangeList(row.bytes);
        const PackageReport report = CheckPackage(m_package);
        const std::string text = FindingAt(report, "QMX_CHG.DAT");
        EXPECT_EQ(0u, text.rfind("saved as " + std::string(row.encoding) + ": ", 0)) << text;
        EXPECT_NE(std::string::npos, text.find("save it as ANSI (Shift-JIS for Japanese names)")) << text;
        EXPECT_EQ(2, CheckExitStatus(report)) << row.encoding;
    }
    // Saved as ANSI, the same list is clean, Shift-JIS names included.
    ChangeList(list + "\x95\x5C\x8E\xA6.DLL\r\n");
    EXPECT_EQ("", FindingAt(CheckPackage(m_package), "QMX_CHG.DAT"));
}

TEST(ForeignEncoding, OnlyAMarkOrNulsMakeAChangeListForeign) {
    const struct {
        std::string start;
        const char* encoding;
    } rows[] = {
        {"", ""},
        {"[Install]2:5:1", ""},
        {"\x95\x5C\x8E\xA6.DLL", ""},                 // Shift-JIS
        {std::string("[Install]\0", 10) + "2:5:1", ""},  // one stray NUL
        {"\xEF\xBB", ""},                               // a mark cut short
        {"\xEF\xBB\xBF", "UTF-8 with a byte-order mark"},
        {"\xFF\xFE", "UTF-16 little-endian"},
        {"\xFE\xFF", "UTF-16 big-endian"},
        {std::string("\0[\0I", 4), "UTF-16"},
        // Japanese UTF-16 has fewer NULs than ASCII does.
        {std::string("\x68\x88\x3a\x79.\0D\0L\0L\0", 12), "UTF-16"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.encoding, ForeignEncoding(row.start)) << row.encoding;
}

TEST_F(PackageCheck, VersionResourceMistakesAreWarnings) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\nQMXB.DLL\r\nQMXC.DLL\r\nQMXA.DLL\r\n");
    Write(m_package + "/QMXA.DLL", Module("2.0", 1, 0, 0));
    Write(m_package + "/QMXB.DLL", "MZ not much of a module");
    VersionNode noNumbers = StandardVersionTree("1.0", std::array<uint16_t, 4>{1, 0, 0, 0}.data());
    noNumbers.value.clear();
    Write(m_package + "/QMXC.DLL", BuildPeImage(SerializeVersionNode(noNumbers)));
    const PackageReport report = CheckPackage(m_package);
    EXPECT_EQ(1, CheckExitStatus(report));
    EXPECT_EQ("FileVersion text \"2.0\" disagrees with the numeric version 1.0.0.0 (the installer "
              "compares the text)",
              FindingAt(report, "[File] QMXA.DLL"));
    EXPECT_EQ(0u, FindingAt(report, "[File] QMXB.DLL").rfind("no FileVersion text", 0));
    EXPECT_EQ("no numeric file version", FindingAt(report, "[File] QMXC.DLL"));
    EXPECT_TRUE(report.files[3].duplicate);
}

TEST_F(PackageCheck, SealCoversTheChangeListEachPresentModuleOnceAndTheProgram) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nQMXB.DLL\r\nqmxa.dll\r\nQMXB.DLL\r\nGONE.DLL\r\n"
               "..\\QMXA.DLL\r\n");
    Write(m_package + "/qmxa.dll", "module a");
    Write(m_package + "/QMXB.DLL", "module b");
    Write(m_package + "/QMXSET.EXE", "program");
    Write(m_package + "/README.TXT", "notes");
    std::string seal, problem;
    ASSERT_EQ(1, SealPackage(m_package, &seal, &problem)) << problem;
    // Names as the folder has them, in [File] order, as sha256sum writes them.
    EXPECT_EQ(seal, ShellOutput("cd '" + m_package + "' && sha256sum QMX_CHG.DAT QMXB.DLL qmxa.dll QMXSET.EXE"));
    EXPECT_EQ(seal, ShellOutput("cat '" + m_package + "/QMX_CHG.SUM'"));
    EXPECT_EQ("QMX_CHG.DAT: OK\nQMXB.DLL: OK\nqmxa.dll: OK\nQMXSET.EXE: OK\n",
              ShellOutput("cd '" + m_package + "' && sha256sum -c QMX_CHG.SUM"));
}

TEST_F(PackageCheck, TheCheckFindsWhatTheInstallerWouldRefuse) {
    struct Row {
        const char* what;
        const char* change;  // a shell command run in the package after sealing
        int status;
        const char* text;
    } rows[] = {
        {"nothing changed", "true", 0, ""},
        {"a byte of a module", "printf X | dd of=QMXA.DLL bs=1 seek=3 conv=notrunc 2>/dev/null", 2,
         "QMXA.DLL does not match the seal"},
        {"the change list", "printf '\\r\\n' >> QMX_CHG.DAT", 2, "QMX_CHG.DAT does not match the seal"},
        {"a module the seal lacks", "sed -i /QMXA.DLL/d QMX_CHG.SUM", 2, "QMXA.DLL is in the package but not"},
        {"a sealed file removed", "rm QMXSET.EXE", 2, "QMXSET.EXE does not match the seal"},
        {"a line damaged", "sed -i 's/  / x/' QMX_CHG.SUM", 2, "damaged"},
        {"no seal", "rm QMX_CHG.SUM", 1, "missing: the package is not sealed"},
    };
    for (const Row& row : rows) {
        ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\n");
        Write(m_package + "/QMXA.DLL", Module("5.1.2600.0", 5, 1, 2600));
        Write(m_package + "/QMXSET.EXE", "program");
        std::string seal, problem;
        ASSERT_EQ(1, SealPackage(m_package, &seal, &problem)) << problem;
        ASSERT_EQ(0, std::system(("cd '" + m_package + "' && " + row.change).c_str())) << row.what;
        const PackageReport report = CheckPackage(m_package);
        EXPECT_EQ(row.status, CheckExitStatus(report)) << row.what;
        EXPECT_EQ(0u, FindingAt(report, "QMX_CHG.SUM").find(row.text)) << row.what << ": "
                                                                         << FindingAt(report, "QMX_CHG.SUM");
    }
}

TEST_F(PackageCheck, MissingChangeListIsAnError) {
    const PackageReport report = CheckPackage(m_package);
    EXPECT_FALSE(report.changeListRead);
    EXPECT_EQ(2, CheckExitStatus(report));
}

TEST_F(PackageCheck, WhatIfDecidesEachModuleAsTheInstallerWould) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nNEWER.DLL\r\nOLDER.DLL\r\nABSENT.DLL\r\nLOST.DLL\r\n");
    Write(m_package + "/NEWER.DLL", Module("5.1.2601", 5, 1, 2601));
    Write(m_system + "/newer.dll", Module("5.1.2600.0", 5, 1, 2600));
    Write(m_package + "/OLDER.DLL", Module("1.0", 1, 0, 0));
    Write(m_system + "/OLDER.DLL", Module("2.0", 2, 0, 0));
    Write(m_package + "/ABSENT.DLL", Module("1.0", 1, 0, 0));
    Write(m_system + "/LOST.DLL", Module("1.0", 1, 0, 0));

    const WhatIfResult xp = RunWhatIf(m_package, m_system, *FindWindows("xp"));
    ASSERT_TRUE(xp.targeted);
    ASSERT_EQ(4u, xp.modules.size());
    EXPECT_EQ(ModuleAction::kReplace, xp.modules[0].action);
    EXPECT_EQ("package \"5.1.2601\", system \"5.1.2600.0\"", xp.modules[0].reason);
    EXPECT_EQ(ModuleAction::kKeep, xp.modules[1].action);
    EXPECT_EQ(ModuleAction::kNotInstalled, xp.modules[2].action);
    EXPECT_EQ(ModuleAction::kMissing, xp.modules[3].action);
    // LOST.DLL missing from the package: a broken package, shown as a failure.
    EXPECT_EQ(0x0Bu, xp.outcome);
    EXPECT_EQ(OutcomeMessage::kFailed, xp.message);
    EXPECT_EQ(1620, xp.quietExitCode);

    const WhatIfResult seven = RunWhatIf(m_package, m_system, *FindWindows("7"));
    EXPECT_FALSE(seven.targeted);
    EXPECT_EQ(0x08u, seven.outcome);
    EXPECT_EQ(1633, seven.quietExitCode);
}

TEST_F(PackageCheck, WhatIfOfABrokenSealInstallsNothingAndSaysWhy) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nNEWER.DLL\r\n");
    Write(m_package + "/NEWER.DLL", Module("5.1.2601", 5, 1, 2601));
    Write(m_system + "/NEWER.DLL", Module("5.1.2600.0", 5, 1, 2600));
    std::string seal, problem;
    ASSERT_EQ(1, SealPackage(m_package, &seal, &problem)) << problem;
    EXPECT_EQ(0x01u, RunWhatIf(m_package, m_system, *FindWindows("xp")).outcome);

    Write(m_package + "/NEWER.DLL", Module("5.1.2602", 5, 1, 2602));
    const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("xp"));
    EXPECT_EQ("VerifyPackage - NEWER.DLL does not match QMX_CHG.SUM.", result.sealFault);
    EXPECT_TRUE(result.modules.empty());
    EXPECT_EQ(0x08u, result.outcome);
    EXPECT_EQ(OutcomeMessage::kFailed, result.message);
    EXPECT_EQ(1620, result.quietExitCode);
}

TEST_F(PackageCheck, WhatIfNamesTheTimesWhenTheTextsDoNotDecide) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nSAME.DLL\r\n");
    Write(m_package + "/SAME.DLL", Module("1.0", 1, 0, 0));
    Write(m_system + "/SAME.DLL", Module("1.0", 1, 0, 0));
    std::system(("touch -d '2024-06-01 12:00:00 UTC' '" + m_package + "/SAME.DLL'").c_str());
    std::system(("touch -d '2020-01-15 09:30:00 UTC' '" + m_system + "/SAME.DLL'").c_str());
    const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("XP"));
    ASSERT_EQ(1u, result.modules.size());
    EXPECT_EQ(ModuleAction::kReplace, result.modules[0].action);
    EXPECT_EQ("package \"1.0\", system \"1.0\"; package written 2024-06-01 12:00:00 UTC, system "
              "2020-01-15 09:30:00 UTC",
              result.modules[0].reason);
    EXPECT_EQ(0u, result.quietExitCode);
}

// The prediction is the installer's own run on a model of the folders: what
// one step leaves is what the next one sees.
TEST_F(PackageCheck, WhatIfFollowsTheRunThroughWhatItsStepsLeave) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nB.DLL\r\nb.dll\r\nBUSY.DLL\r\nBUSY.DLL\r\n");
    Write(m_package + "/B.DLL", Module("2.0", 2, 0, 0));
    Write(m_system + "/B.DLL", Module("1.0", 1, 0, 0));
    Write(m_package + "/BUSY.DLL", Module("2.0", 2, 0, 0));
    Write(m_system + "/BUSY.DLL", Module("1.0", 1, 0, 0));

    const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("xp"), {"BUSY.DLL"});
    ASSERT_EQ(4u, result.modules.size());
    EXPECT_EQ(ModuleAction::kReplace, result.modules[0].action);
    EXPECT_EQ(ModuleAction::kKeep, result.modules[1].action);   // now the package's copy
    EXPECT_EQ(ModuleAction::kStage, result.modules[2].action);
    EXPECT_EQ(ModuleAction::kStage, result.modules[3].action);  // the staged copy named again
    EXPECT_EQ(0x07u, result.outcome);
    EXPECT_EQ(3010, result.quietExitCode);
    // Nothing on disk changed.
    EXPECT_EQ(Module("1.0", 1, 0, 0), Read(m_system + "/B.DLL"));
    EXPECT_FALSE(std::ifstream(m_system + "/BUSY.DLM").good());
}

std::string Hex(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return DigestHex(hash.Final());
}

// The path of the record in store that keeps old for name replaced by ours,
// in the folder the installer looks in unless misplaced, which is made.
std::string RecordPath(const std::string& store, const std::string& name, const std::string& ours,
                       const std::string& old, bool misplaced = false) {
    Sha256Digest incoming;
    EXPECT_TRUE(ParseDigestHex(Hex(ours).c_str(), &incoming));
    const char own = kStoreFolderDigits[LegacyFolderIndex(name, incoming)];
    const std::string folder = store + "/" + (misplaced ? (own == '0' ? '1' : '0') : own);
    ::mkdir(store.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return folder + "/" + name + "." + Hex(ours) + "." + Hex(old);
}

// /undo predicted from a copy of the store: the package's copy with a whole
// kept copy goes back; a module changed since, or with none kept where the
// installer looks, is left; a kept copy that fails its name's digest cannot
// be put back.
TEST_F(PackageCheck, WhatIfPredictsAnUndoFromACopyOfTheStore) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nB.DLL\r\nC.DLL\r\nD.DLL\r\n");
    const std::string ours = Module("2.0", 2, 0, 0), old = Module("1.0", 1, 0, 0);
    for (const char* name : {"A.DLL", "B.DLL", "C.DLL", "D.DLL"}) {
        Write(m_package + "/" + name, ours);
        Write(m_system + "/" + name, ours);
    }
    Write(m_system + "/B.DLL", Module("3.0", 3, 0, 0));
    const std::string store = m_root + "/store";
    // Each record in its own folder of the store, but C's in another one,
    // where the installer would not look.
    Write(RecordPath(store, "A.DLL", ours, old), old);
    Write(RecordPath(store, "B.DLL", ours, old), old);
    Write(RecordPath(store, "C.DLL", ours, old, true), old);
    Write(RecordPath(store, "D.DLL", ours, old), "damaged");

    const WhatIfResult undo = RunWhatIf(m_package, m_system, *FindWindows("xp"), {}, PendingFacts(), store, true);
    ASSERT_EQ(4u, undo.modules.size());
    EXPECT_EQ(QMX_INST_COPIED, undo.modules[0].bit);
    EXPECT_STREQ("restore the kept copy", DecisionText(undo.modules[0].action, true));
    EXPECT_EQ(QMX_INST_SKIPPED, undo.modules[1].bit);
    EXPECT_EQ("the system's copy is not the package's", undo.modules[1].reason);
    EXPECT_EQ(QMX_INST_SKIPPED, undo.modules[2].bit);
    EXPECT_EQ("no copy kept for the package's copy", undo.modules[2].reason);
    EXPECT_EQ(QMX_INST_FAILED, undo.modules[3].bit);
    EXPECT_EQ(0x83u, undo.outcome);
    EXPECT_EQ(OutcomeMessage::kUndoFailed, undo.message);
    EXPECT_EQ(1603, undo.quietExitCode);
    EXPECT_EQ(ours, Read(m_system + "/A.DLL"));  // nothing on disk changed

    // Held: put back at the restart.
    const WhatIfResult held = RunWhatIf(m_package, m_system, *FindWindows("xp"), {"A.DLL"}, PendingFacts(), store, true);
    EXPECT_EQ(QMX_INST_ON_REBOOT, held.modules[0].bit);
}

// The installer finds a record by its name as the store lists it, case and
// all: a record of qmxa.dll is none of QMXA.DLL's, though it lies in the
// folder the installer looks in.
TEST_F(PackageCheck, WhatIfOfAnUndoFindsARecordOnlyUnderTheNameAsListed) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nQMXA.DLL\r\nQMXB.DLL\r\n");
    const std::string ours = Module("2.0", 2, 0, 0), old = Module("1.0", 1, 0, 0);
    for (const char* name : {"QMXA.DLL", "QMXB.DLL"}) {
        Write(m_package + "/" + name, ours);
        Write(m_system + "/" + name, ours);
    }
    const std::string store = m_root + "/store";
    Write(RecordPath(store, "qmxa.dll", ours, old), old);
    Write(RecordPath(store, "QMXB.DLL", ours, old), old);

    const WhatIfResult undo = RunWhatIf(m_package, m_system, *FindWindows("xp"), {}, PendingFacts(), store, true);
    ASSERT_EQ(2u, undo.modules.size());
    EXPECT_EQ(QMX_INST_SKIPPED, undo.modules[0].bit);
    EXPECT_STREQ("nothing to undo", DecisionText(undo.modules[0].action, true));
    EXPECT_EQ("no copy kept for the package's copy", undo.modules[0].reason);
    EXPECT_EQ(QMX_INST_COPIED, undo.modules[1].bit);
}

// All or nothing predicted: the module replaced first goes back through the
// copy the model kept, and the outcome is the failing module's alone.
TEST_F(PackageCheck, WhatIfOfAnAllOrNothingRunStopsAtTheBrokenModule) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nLOST.DLL\r\nLATER.DLL\r\n[Rollback]\r\nON\r\n");
    for (const char* name : {"A.DLL", "LATER.DLL"}) {
        Write(m_package + "/" + name, Module("2.0", 2, 0, 0));
        Write(m_system + "/" + name, Module("1.0", 1, 0, 0));
    }
    Write(m_system + "/LOST.DLL", Module("1.0", 1, 0, 0));
    const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("xp"));
    ASSERT_EQ(2u, result.modules.size());
    EXPECT_EQ(ModuleAction::kReplace, result.modules[0].action);
    EXPECT_EQ(ModuleAction::kMissing, result.modules[1].action);
    EXPECT_EQ(0x08u, result.outcome);
    EXPECT_EQ(1620, result.quietExitCode);
}

// Our own pair waiting with an older staged copy: an all-or-nothing run asks
// for the restart first instead of writing over it, and puts back A; any
// other run stages the newer copy.
TEST_F(PackageCheck, WhatIfOfAnAllOrNothingRunLeavesOurWaitingStagedCopy) {
    for (const bool allOrNothing : {true, false}) {
        ChangeList(std::string("[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nB.DLL\r\n") +
                   (allOrNothing ? "[Rollback]\r\nON\r\n" : ""));
        for (const char* name : {"A.DLL", "B.DLL"}) {
            Write(m_package + "/" + name, Module("2.0", 2, 0, 0));
            Write(m_system + "/" + name, Module("1.0", 1, 0, 0));
        }
        Write(m_system + "/B.DLM", Module("1.5", 1, 5, 0));
        PendingFacts pending;
        AddPendingFact(&pending, m_system, "B.DLL", true);
        const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("xp"), {}, pending);
        ASSERT_EQ(2u, result.modules.size()) << allOrNothing;
        EXPECT_EQ(allOrNothing ? ModuleAction::kRestartFirst : ModuleAction::kStagePending, result.modules[1].action);
        EXPECT_EQ(allOrNothing ? 0x40u : 0x05u, result.outcome);
        EXPECT_EQ(allOrNothing ? 3017 : 3010, result.quietExitCode);
    }
}

// A module of machine, as a linker writes it (PE32+ for the 64-bit ones).
std::string OfMachine(uint16_t machine) {
    PeImageBytes image;
    image.machine = machine;
    image.pe32Plus = machine != kMachineI386;
    return image.Bytes();
}
std::string IlOnly() {
    PeImageBytes image;
    image.clrFlags = 1;
    return image.Bytes();
}
std::string Arm64x() {
    PeImageBytes image;
    image.machine = kMachineArm64;
    image.pe32Plus = true;
    image.loadConfigSize = 0x100;
    image.chpe = 0x2000;
    return image.Bytes();
}
const std::string kI386 = OfMachine(kMachineI386), kX64 = OfMachine(kMachineX64), kArm64 = OfMachine(kMachineArm64);

std::vector<std::string> Errors(const PackageReport& report) {
    std::vector<std::string> errors;
    for (const Finding& f : report.findings) {
        if (f.severity == Severity::ERROR) errors.push_back(f.where + ": " + f.text);
    }
    return errors;
}

// Modules of one machine, with the program that installs them where they
// belong, are clean; IL-only images and data files go with any. Every
// other mix is an error that says what to ship instead.
TEST_F(PackageCheck, ModulesMustBeOfOneMachineAndOfTheProgramsOwn) {
    const std::string toWow64 =
        ", but QMXSET.EXE is the 32-bit program, which installs into SysWOW64 on 64-bit Windows, the folder of "
        "32-bit programs' modules: ";
    const std::string toSystem32 =
        ", but QMXSET.EXE is the 64-bit program, which installs into System32, the folder of 64-bit programs' "
        "modules (x64, or ARM64 and ARM64X on Windows on Arm): ";
    const std::string mixed =
        "): the installer writes into one system folder, whose programs load one machine's modules, and installs "
        "nothing when a module does not fit there; build one package per machine, each with its own QMXSET.EXE";
    const struct Row {
        const char* what;
        std::vector<std::string> modules;  // A.DLL, B.DLL, C.DLL
        std::string program;               // "" for none
        std::vector<std::string> errors;
    } rows[] = {
        {"i386 with the 32-bit program", {kI386, kI386}, kI386, {}},
        {"x64, IL-only and data with the 64-bit program", {kX64, IlOnly(), "data"}, kX64, {}},
        {"ARM64 beside ARM64X with the 64-bit program", {kArm64, Arm64x()}, kX64, {}},
        {"x64 with a program that is no image", {kX64}, "program", {}},
        {"i386 and x64, no program",
         {kI386, kX64},
         "",
         {"[File]: modules of more than one machine (i386: A.DLL; x64: B.DLL" + mixed}},
        {"x64 with the 32-bit program",
         {kX64, IlOnly()},
         kI386,
         {"[File] A.DLL: an x64 module" + toWow64 +
          "ship the 64-bit QMXSET.EXE with x64 modules, or i386 modules with this one"}},
        {"i386 with the 64-bit program",
         {kI386},
         kX64,
         {"[File] A.DLL: an i386 module" + toSystem32 + "ship the 32-bit QMXSET.EXE with i386 modules, or x64 modules "
                                                        "with this one"}},
        {"ARM32 with the 64-bit program",
         {OfMachine(0x01C4)},
         kX64,
         {"[File] A.DLL: a 0x01c4 module" + toSystem32 + "ship x64, ARM64 or ARM64X modules with it"}},
        {"i386, ARM64X and i386 with the 32-bit program",
         {kI386, Arm64x(), kI386},
         kI386,
         {"[File]: modules of more than one machine (i386: A.DLL, C.DLL; arm64: B.DLL" + mixed,
          "[File] B.DLL: an arm64x module" + toWow64 + "ship the 64-bit QMXSET.EXE with arm64x modules, or i386 "
                                                       "modules with this one"}},
    };
    for (const Row& row : rows) {
        std::system(("rm -f '" + m_package + "'/*").c_str());
        std::string list = "[Install]\r\n2:10\r\n[File]\r\n";
        for (size_t i = 0; i < row.modules.size(); ++i) {
            const std::string name = std::string(1, static_cast<char>('A' + i)) + ".DLL";
            Write(m_package + "/" + name, row.modules[i]);
            list += name + "\r\n";
        }
        ChangeList(list + "A.DLL\r\n");  // listed twice, counted once
        if (!row.program.empty()) Write(m_package + "/QMXSET.EXE", row.program);
        const PackageReport report = CheckPackage(m_package);
        EXPECT_EQ(row.errors, Errors(report)) << row.what;
    }
}

// The run's machine gate on the model: every misfit named in list order,
// nothing decided, and the run's outcome and exit code; /undo compares the
// kept copy it would put back.
TEST_F(PackageCheck, WhatIfRefusesAModuleTheInstalledCopysProgramsCouldNotLoad) {
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nB.DLL\r\nA.DLL\r\nNEW.DLL\r\nC.DAT\r\nIL.DLL\r\nD.DLL\r\n");
    const std::string shipped[] = {kX64 + "b", kI386 + "a", kX64 + "new", kX64 + "c", IlOnly(), kArm64};
    const std::string installed[] = {kI386, kI386, "", "data", kX64, Arm64x()};
    const char* names[] = {"B.DLL", "A.DLL", "NEW.DLL", "C.DAT", "IL.DLL", "D.DLL"};
    for (int i = 0; i < 6; ++i) {
        Write(m_package + "/" + names[i], shipped[i]);
        if (!installed[i].empty()) Write(m_system + "/" + names[i], installed[i]);
    }
    const WhatIfResult result = RunWhatIf(m_package, m_system, *FindWindows("xp"));
    ASSERT_EQ(2u, result.otherMachine.size());
    EXPECT_EQ("B.DLL", result.otherMachine[0].name);
    EXPECT_EQ(m_system + "/B.DLL", result.otherMachine[0].installed);
    EXPECT_EQ("x64", MachineName(result.otherMachine[0].incoming));
    EXPECT_EQ("i386", MachineName(result.otherMachine[0].installedMachine));
    EXPECT_EQ("D.DLL", result.otherMachine[1].name);  // ARM64 over ARM64X
    EXPECT_TRUE(result.modules.empty());
    EXPECT_EQ(0x08u, result.outcome);
    EXPECT_EQ(OutcomeMessage::kNotApplicable, result.message);
    EXPECT_EQ(1633, result.quietExitCode);
    const WindowsVersion& xp = *FindWindows("xp");

    // /undo: A's kept copy is x64, over the i386 copy the package put in.
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nB.DLL\r\n");
    Write(m_system + "/A.DLL", kI386 + "a");
    Write(m_system + "/B.DLL", kX64 + "b");
    const std::string store = m_root + "/store";
    Write(RecordPath(store, "A.DLL", kI386 + "a", kX64 + "old"), kX64 + "old");
    Write(RecordPath(store, "B.DLL", kX64 + "b", kX64 + "old b"), kX64 + "old b");
    const WhatIfResult undo = RunWhatIf(m_package, m_system, xp, {}, PendingFacts(), store, true);
    ASSERT_EQ(1u, undo.otherMachine.size());
    EXPECT_EQ("A.DLL", undo.otherMachine[0].name);
    EXPECT_EQ("x64", MachineName(undo.otherMachine[0].incoming));
    EXPECT_TRUE(undo.modules.empty());
    EXPECT_EQ(1633, undo.quietExitCode);
    EXPECT_NE(std::string::npos,
              TextReport(CheckPackage(m_package), &undo, &xp).find("(the kept copy x64, the system's i386)"));

    // With B alone, its kept copy fits: it goes back.
    ChangeList("[Install]\r\n2:5:1\r\n[File]\r\nB.DLL\r\n");
    const WhatIfResult fits = RunWhatIf(m_package, m_system, xp, {}, PendingFacts(), store, true);
    EXPECT_TRUE(fits.otherMachine.empty());
    EXPECT_EQ(0x01u, fits.outcome);
}

}  // namespace
