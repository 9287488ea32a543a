// The signature's place and contents in PE images built in memory: a
// certificate table holding a hand-made SignedData, and every way such a
// table can lie about its sizes. Real signatures, made by osslsigncode, are
// checked end to end by tests/dist/signing.sh.
#include "check/authenticode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "check/der_builder.h"
#include "check/pe_builder.h"
#include "check/signature_check.h"

namespace {

const size_t kSecurityEntry = 0x58 + 96 + 4 * 8;  // pe_builder's image: PE32, 16 directories

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

const std::string kSha256Oid("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9);
const std::string kRfc3161Oid("\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01", 10);
const std::string kDigest(32, '\x5A');

// The SignedData as Authenticode lays it out, with unsigned attributes of
// the given types (each with an empty value set).
std::string SignedData(const std::vector<std::string>& unsignedTypes) {
    const std::string algorithm = Der(0x30, Der(0x06, kSha256Oid));
    const std::string indirect =
        Der(0x30, Der(0x30, Der(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x0F")) +
                      Der(0x30, algorithm + Der(0x04, kDigest)));
    const std::string contentInfo = Der(0x30, Der(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04") +
                                                  Der(0xA0, indirect));
    std::string attributes;
    for (const std::string& type : unsignedTypes) attributes += Der(0x30, Der(0x06, type) + Der(0x31, ""));
    const std::string rsa = Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01"));
    std::string signer = Der(0x02, "\x01") + Der(0x30, "") + algorithm + Der(0xA0, "") + rsa + Der(0x04, "sig");
    if (!unsignedTypes.empty()) signer += Der(0xA1, attributes);
    const std::string body = Der(0x02, "\x01") + Der(0x31, algorithm) + contentInfo + Der(0xA0, "certs") +
                             Der(0x31, Der(0x30, signer));
    return Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") + Der(0xA0, Der(0x30, body)));
}

// The image with a certificate table holding pkcs7 at its end.
std::string Signed(const std::string& pkcs7) {
    const uint16_t numbers[4] = {1, 0, 0, 0};
    std::string image = BuildPeImage(SerializeVersionNode(StandardVersionTree("1.0", numbers)));
    image.resize((image.size() + 7) & ~size_t{7}, '\0');
    std::string table(8, '\0');
    Put32(table, 0, static_cast<uint32_t>(8 + pkcs7.size()));
    table[5] = 0x02;  // revision 2.0
    table[6] = 0x02;  // PKCS #7 SignedData
    table += pkcs7;
    Put32(image, kSecurityEntry, static_cast<uint32_t>(image.size()));
    Put32(image, kSecurityEntry + 4, static_cast<uint32_t>(table.size()));
    return image + table;
}

TEST(Authenticode, FindsTheDigestWhatItCoversAndWhetherItCarriesATimeStamp) {
    const std::string image = Signed(SignedData({}));
    const PeSignature sig = ReadPeSignature(image);
    ASSERT_EQ(PeSignature::kPresent, sig.kind) << sig.problem;
    EXPECT_EQ("SHA256", sig.digestName);
    EXPECT_EQ(kDigest, sig.digest);
    EXPECT_FALSE(sig.carriesTimeStamp);
    // Everything but the checksum, the table's entry and the table.
    const size_t table = image.size() - (8 + SignedData({}).size());
    ASSERT_EQ(3u, sig.hashed.size());
    EXPECT_EQ(0x58u + 64, sig.hashed[0].end);
    EXPECT_EQ(0x58u + 68, sig.hashed[1].begin);
    EXPECT_EQ(kSecurityEntry, sig.hashed[1].end);
    EXPECT_EQ(kSecurityEntry + 8, sig.hashed[2].begin);
    EXPECT_EQ(table, sig.hashed[2].end);
    EXPECT_EQ(table + 8, sig.pkcs7.begin);
    EXPECT_EQ(0x30, static_cast<unsigned char>(image[sig.content.begin]));  // the value's first element

    EXPECT_TRUE(ReadPeSignature(Signed(SignedData({kRfc3161Oid}))).carriesTimeStamp);
    EXPECT_TRUE(ReadPeSignature(Signed(SignedData({"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06"}))).carriesTimeStamp);
    EXPECT_FALSE(ReadPeSignature(Signed(SignedData({"\x2A\x03"}))).carriesTimeStamp);
}

TEST(Authenticode, TellsFilesWithoutSignatureFromDamagedTables) {
    const uint16_t numbers[4] = {1, 0, 0, 0};
    const std::string plain = BuildPeImage(SerializeVersionNode(StandardVersionTree("1.0", numbers)));
    const std::string good = Signed(SignedData({}));
    struct Case {
        const char* what;
        std::string bytes;
        PeSignature::Kind kind;
    };
    auto with = [](std::string bytes, size_t at, uint32_t value) {
        Put32(bytes, at, value);
        return bytes;
    };
    const Case cases[] = {
        {"a text file", "QMX_CHG.DAT is text", PeSignature::kNotProgram},
        {"MZ without a PE header", std::string("MZ") + std::string(0x40, '\0'), PeSignature::kNotProgram},
        {"a PE header offset past the end", with(plain, 0x3C, 0xFFFFFFF0u), PeSignature::kNotProgram},
        {"no certificate table", plain, PeSignature::kUnsigned},
        {"fewer directories than the table's", with(good, 0x58 + 92, 4), PeSignature::kUnsigned},
        {"a table past the end", with(good, kSecurityEntry, 0xFFFFFFF8u), PeSignature::kMalformed},
        {"a table longer than the file", with(good, kSecurityEntry + 4, 0xFFFFFFF0u), PeSignature::kMalformed},
        {"a table inside the headers", with(good, kSecurityEntry, 8), PeSignature::kMalformed},
        {"a certificate longer than its table", with(good, good.size() - 8 - SignedData({}).size(), 0x7FFFFFFF),
         PeSignature::kMalformed},
        {"a certificate of another type", with(good, good.size() - 4 - SignedData({}).size(), 0x00010200),
         PeSignature::kMalformed},
        {"no SignedData in it", Signed(Der(0x30, Der(0x06, "\x2A\x03"))), PeSignature::kMalformed},
        {"a length of 4 GiB", Signed(std::string("\x30\x84\xFF\xFF\xFF\xFF", 6) + SignedData({})),
         PeSignature::kMalformed},
        {"an indefinite length", Signed(std::string("\x30\x80", 2) + SignedData({})), PeSignature::kMalformed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.kind, ReadPeSignature(c.bytes).kind) << c.what;
    }
}

TEST(Authenticode, EveryCutOfTheSignatureIsDamagedAndStaysInsideTheFile) {
    const std::string pkcs7 = SignedData({kRfc3161Oid});
    for (size_t cut = 0; cut < pkcs7.size(); ++cut) {
        const PeSignature sig = ReadPeSignature(Signed(pkcs7.substr(0, cut)));
        EXPECT_EQ(PeSignature::kMalformed, sig.kind) << "cut at " << cut;
    }
    // Every byte flipped: whatever it reads as, it reads within the image
    // (AddressSanitizer watches), and what it covers is in order.
    const std::string image = Signed(pkcs7);
    for (size_t at = 0; at < image.size(); ++at) {
        std::string flipped = image;
        flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
        const PeSignature sig = ReadPeSignature(flipped);
        size_t last = 0;
        for (const ByteRange& r : sig.hashed) {
            EXPECT_LE(last, r.begin) << at;
            EXPECT_LE(r.begin, r.end) << at;
            EXPECT_LE(r.end, flipped.size()) << at;
            last = r.end;
        }
    }
}

// The build machine's check on files no signer made: each is damaged or
// unsigned, never signed, and none stops the check.
TEST(SignatureCheck, HandMadeSignaturesAreNeverTakenForSigned) {
    char base[] = "/tmp/qmxsig.XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(base));
    const std::string path = std::string(base) + "/MODULE.DLL";
    const uint16_t numbers[4] = {1, 0, 0, 0};
    struct Case {
        std::string bytes;
        SignatureState state;
    };
    const Case cases[] = {
        {"text", SignatureState::kNotProgram},
        {BuildPeImage(SerializeVersionNode(StandardVersionTree("1.0", numbers))), SignatureState::kUnsigned},
        {Signed(SignedData({})), SignatureState::kDamaged},
        {Signed(std::string(200, '\x30')), SignatureState::kDamaged},
    };
    for (const Case& c : cases) {
        std::ofstream(path, std::ios::binary) << c.bytes;
        EXPECT_EQ(c.state, CheckSignature(path).state) << SignatureStateName(c.state);
    }
    EXPECT_EQ(SignatureState::kCannotCheck, CheckSignature(std::string(base) + "/ABSENT.DLL").state);
    std::system(("rm -rf '" + std::string(base) + "'").c_str());
}

}  // namespace
