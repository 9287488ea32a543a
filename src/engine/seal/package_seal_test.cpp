#include "engine/seal/package_seal.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "engine/seal/seal_signature.h"
#include "platform/text_case.h"

namespace {

const NameRules kRules = {&UpperCaseAnsi};

// A package folder in memory: names as they are on disk, and files that
// cannot be read.
class FakeFolder : public PackageFolder {
public:
    std::map<std::string, std::string> files;  // upper-cased name -> bytes
    std::set<std::string> unreadable;
    std::vector<std::string> hashed;

    bool Contains(const std::string& name) override { return files.count(Upper(name)) != 0; }
    int Hash(const std::string& name, Sha256Digest* digest) override {
        hashed.push_back(name);
        const auto file = files.find(Upper(name));
        if (file == files.end() || unreadable.count(Upper(name))) return 0;
        *digest = Digest(file->second);
        return 1;
    }
    SealRead ReadSealText(std::string* text) override {
        const auto seal = files.find(kSealFileName);
        if (seal == files.end()) return SealRead::kAbsent;
        *text = seal->second;
        return SealRead::kRead;
    }
    SealRead ReadSealSignature(std::string* bytes) override {
        const auto signature = files.find(Upper(kSealSignatureName));
        if (signature == files.end()) return SealRead::kAbsent;
        *bytes = signature->second;
        return SealRead::kRead;
    }

    static std::string Upper(std::string name) {
        UpperCaseAnsi(name);
        return name;
    }
    static Sha256Digest Digest(const std::string& bytes) {
        Sha256 hash;
        hash.Update(bytes.data(), bytes.size());
        return hash.Final();
    }
};

std::string Line(const std::string& bytes, const std::string& name) {
    return SealLineText(FakeFolder::Digest(bytes), name);
}

// The package every case starts from: a change list, two modules, the
// program, all sealed; the seal's lines in a mixed order and case.
struct Package {
    FakeFolder folder;
    std::deque<std::string> entries = {"A.DLL", "B.DLL"};
    std::string seal;

    Package() {
        folder.files = {{"QMX_CHG.DAT", "list"}, {"A.DLL", "a"}, {"B.DLL", "b"}, {"QMXSET.EXE", "exe"}};
        seal = Line("exe", "qmxset.exe") + Line("b", "b.dll") + Line("list", "QMX_CHG.DAT") + Line("a", "A.dll");
    }
    SealCheck Check() { return CheckSeal(&seal, entries, folder, kRules); }
};

}  // namespace

TEST(CheckSeal, TheFirstFaultInTheCheckingOrderIsTheOneNamed) {
    struct Row {
        const char* what;
        void (*change)(Package&);
        SealVerdict verdict;
        const char* name;
    } rows[] = {
        {"a whole package", [](Package&) {}, SealVerdict::kOk, ""},
        {"a damaged line beats everything",
         [](Package& p) { p.seal += "junk\n"; p.folder.files["QMX_CHG.DAT"] = "changed"; },
         SealVerdict::kDamaged, ""},
        {"the change list changed, and a module too",
         [](Package& p) { p.folder.files["QMX_CHG.DAT"] = "changed"; p.folder.files["A.DLL"] = "x"; },
         SealVerdict::kDoesNotMatch, "QMX_CHG.DAT"},
        {"the change list not sealed",
         [](Package& p) { p.seal = Line("a", "A.DLL") + Line("b", "B.DLL"); }, SealVerdict::kDoesNotMatch,
         "QMX_CHG.DAT"},
        {"the change list unreadable", [](Package& p) { p.folder.unreadable.insert("QMX_CHG.DAT"); },
         SealVerdict::kDoesNotMatch, "QMX_CHG.DAT"},
        {"[File] order, not seal order",
         [](Package& p) { p.folder.files["A.DLL"] = "x"; p.folder.files["B.DLL"] = "y"; },
         SealVerdict::kDoesNotMatch, "A.DLL"},
        {"an unlisted module before a changed one",
         [](Package& p) { p.entries = {"C.DLL", "A.DLL"}; p.folder.files["C.DLL"] = "c"; p.folder.files["A.DLL"] = "x"; },
         SealVerdict::kNotListed, "C.DLL"},
        {"a module unreadable", [](Package& p) { p.folder.unreadable.insert("B.DLL"); },
         SealVerdict::kDoesNotMatch, "B.DLL"},
        {"[File] modules before the other lines",
         [](Package& p) { p.folder.files["QMXSET.EXE"] = "x"; p.folder.files["B.DLL"] = "y"; },
         SealVerdict::kDoesNotMatch, "B.DLL"},
        {"the program changed", [](Package& p) { p.folder.files["QMXSET.EXE"] = "x"; },
         SealVerdict::kDoesNotMatch, "QMXSET.EXE"},
        {"a sealed file gone", [](Package& p) { p.folder.files.erase("QMXSET.EXE"); },
         SealVerdict::kDoesNotMatch, "QMXSET.EXE"},
        {"a [File] module gone counts among the other lines",
         [](Package& p) { p.folder.files.erase("A.DLL"); p.folder.files["B.DLL"] = "y"; },
         SealVerdict::kDoesNotMatch, "B.DLL"},
        {"a [File] module gone and not sealed is the run's business",
         [](Package& p) { p.entries.push_back("GONE.DLL"); }, SealVerdict::kOk, ""},
        {"a [File] entry outside the folder is the run's business",
         [](Package& p) { p.entries.push_back("..\\QMXSET.EXE"); }, SealVerdict::kOk, ""},
        {"a module unlisted after the sealed ones",
         [](Package& p) { p.entries.push_back("C.DLL"); p.folder.files["C.DLL"] = "c"; }, SealVerdict::kNotListed,
         "C.DLL"},
        {"lower-case names on both sides",
         [](Package& p) { p.entries = {"a.dll"}; p.seal += Line("c", "c.dll"); p.folder.files["C.DLL"] = "c"; },
         SealVerdict::kOk, ""},
    };
    for (const Row& row : rows) {
        Package package;
        row.change(package);
        const SealCheck check = package.Check();
        EXPECT_EQ(row.verdict, check.verdict) << row.what;
        EXPECT_EQ(row.name, check.name) << row.what;
    }
}

TEST(CheckSeal, NoSealIsNoCheck) {
    Package package;
    const SealCheck check = CheckSeal(nullptr, package.entries, package.folder, kRules);
    EXPECT_EQ(SealVerdict::kAbsent, check.verdict);
    EXPECT_TRUE(package.folder.hashed.empty());
    EXPECT_EQ("", SealFaultLine(check));
}

TEST(CheckSeal, HashesEachFileOnceHoweverOftenItIsListed) {
    Package package;
    package.entries = {"A.DLL", "B.DLL", "A.DLL", "QMX_CHG.DAT", "B.DLL"};
    EXPECT_EQ(SealVerdict::kOk, package.Check().verdict);
    EXPECT_EQ(4u, package.folder.hashed.size());
}

TEST(CheckSeal, AWholePackageHandsOnItsDigestsByUpperCasedName) {
    Package package;
    SealedDigests vouched;
    ASSERT_EQ(SealVerdict::kOk, CheckSeal(&package.seal, package.entries, package.folder, kRules, &vouched).verdict);
    ASSERT_NE(nullptr, vouched.Find("QMXSET.EXE"));
    EXPECT_EQ(FakeFolder::Digest("exe"), *vouched.Find("QMXSET.EXE"));
    ASSERT_NE(nullptr, vouched.Find("A.DLL"));
    EXPECT_EQ(FakeFolder::Digest("a"), *vouched.Find("A.DLL"));
    EXPECT_EQ(nullptr, vouched.Find("C.DLL"));

    package.folder.files["B.DLL"] = "changed";
    SealedDigests none;
    EXPECT_EQ(SealVerdict::kDoesNotMatch, CheckSeal(&package.seal, package.entries, package.folder, kRules, &none).verdict);
    EXPECT_TRUE(none.Empty());
}

TEST(SealFaultLine, NamesTheFaultInOneLine) {
    EXPECT_EQ("VerifyPackage - QMXA.DLL does not match QMX_CHG.SUM.\r\n",
              SealFaultLine({SealVerdict::kDoesNotMatch, "QMXA.DLL"}));
    EXPECT_EQ("VerifyPackage - QMXA.DLL is not in QMX_CHG.SUM.\r\n",
              SealFaultLine({SealVerdict::kNotListed, "QMXA.DLL"}));
    EXPECT_EQ("VerifyPackage - QMX_CHG.SUM is damaged.\r\n", SealFaultLine({SealVerdict::kDamaged, ""}));
    EXPECT_EQ("VerifyPackage - QMX_CHG.SUM is missing.\r\n", SealFaultLine({SealVerdict::kMissing, ""}));
    EXPECT_EQ("VerifyPackage - QMX_CHG.SUM is not signed by the publisher of QMXSET.EXE.\r\n",
              SealFaultLine({SealVerdict::kNotPublishers, ""}));
    EXPECT_EQ("", SealFaultLine({SealVerdict::kOk, ""}));
}

// A signed program's gate comes before the seal's lines, and nothing is
// hashed until it passes. Signatures that verify are made by openssl in
// seal_signature_test.cpp.
TEST(VerifyPackage, ASignedProgramNeedsASealItsSignerSigned) {
    const std::string publisher = "the program's signer's certificate", unreadable;
    struct Row {
        const char* what;
        void (*change)(Package&);
        const std::string* publisher;
        SealVerdict verdict;
    } rows[] = {
        {"an unsigned program, no seal", [](Package& p) { p.folder.files.erase(kSealFileName); }, nullptr,
         SealVerdict::kAbsent},
        {"an unsigned program ignores a signature", [](Package& p) { p.folder.files["QMX_CHG.SUM.P7S"] = "x"; },
         nullptr, SealVerdict::kOk},
        {"no seal", [](Package& p) { p.folder.files.erase(kSealFileName); }, &publisher, SealVerdict::kMissing},
        {"a seal without a signature", [](Package&) {}, &publisher, SealVerdict::kNotPublishers},
        {"a signature that is none, over a damaged seal",
         [](Package& p) { p.folder.files[kSealFileName] += "junk\n"; p.folder.files["QMX_CHG.SUM.P7S"] = "x"; },
         &publisher, SealVerdict::kNotPublishers},
        {"a program whose signer cannot be read", [](Package& p) { p.folder.files["QMX_CHG.SUM.P7S"] = "x"; },
         &unreadable, SealVerdict::kNotPublishers},
    };
    for (const Row& row : rows) {
        Package package;
        package.folder.files[kSealFileName] = package.seal;
        row.change(package);
        EXPECT_EQ(row.verdict, VerifyPackage(package.folder, package.entries, row.publisher).verdict) << row.what;
        EXPECT_TRUE(row.publisher == nullptr || package.folder.hashed.empty()) << row.what;
    }
}
