// What the signature check makes of WinVerifyTrust's answers, tested on the
// build machine: the mapping is free of <windows.h>.
#include "check/signature_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(TrustVerdict, ChainRefusalsAreToldFromDamageAndTheRefusedByNameFromTheUnknown) {
    struct Case {
        uint32_t result;
        SignatureState state;
        bool chainChecked;
        const char* said;  // in the problem
    };
    const Case cases[] = {
        {0, SignatureState::kSigned, true, ""},
        {0x800B0109, SignatureState::kUntrusted, true, "0x800B0109"},    // CERT_E_UNTRUSTEDROOT
        {0x800B010A, SignatureState::kUntrusted, true, "0x800B010A"},    // CERT_E_CHAINING
        {0x800B0101, SignatureState::kUntrusted, true, "0x800B0101"},    // CERT_E_EXPIRED
        {0x800B0004, SignatureState::kUntrusted, true, "0x800B0004"},    // TRUST_E_SUBJECT_NOT_TRUSTED
        {0x80092026, SignatureState::kUntrusted, true, "0x80092026"},    // CRYPT_E_SECURITY_SETTINGS
        {0x800B0111, SignatureState::kDistrusted, true, "explicitly distrusts"},  // TRUST_E_EXPLICIT_DISTRUST
        {0x800B010C, SignatureState::kRevoked, true, "revoked"},         // CERT_E_REVOKED
        {0x80096010, SignatureState::kDamaged, false, "digest"},         // TRUST_E_BAD_DIGEST
        {0x800B0100, SignatureState::kDamaged, false, "0x800B0100"},     // TRUST_E_NOSIGNATURE
        {0x80096001, SignatureState::kDamaged, false, "0x80096001"},     // TRUST_E_SYSTEM_ERROR
        {0x80090008, SignatureState::kCannotCheck, false, "algorithm"},  // NTE_BAD_ALGID
        {0x80091002, SignatureState::kCannotCheck, false, "algorithm"},  // CRYPT_E_UNKNOWN_ALGO
        {0x800B0001, SignatureState::kCannotCheck, false, "provider"},   // TRUST_E_PROVIDER_UNKNOWN
        {0x800B0002, SignatureState::kCannotCheck, false, "provider"},   // TRUST_E_ACTION_UNKNOWN
    };
    for (const Case& c : cases) {
        std::string problem = "left over";
        bool chainChecked = !c.chainChecked;
        // As WinVerifyTrust's LONG arrives: negative, and 64 bits wide on
        // the build machine.
        const long result = static_cast<int32_t>(c.result);
        EXPECT_EQ(c.state, TrustVerdict(result, &problem, &chainChecked)) << std::hex << c.result;
        EXPECT_EQ(c.chainChecked, chainChecked) << std::hex << c.result;
        EXPECT_NE(std::string::npos, problem.find(c.said)) << std::hex << c.result << ": " << problem;
        EXPECT_EQ(c.state == SignatureState::kSigned, problem.empty()) << std::hex << c.result;
    }
}

}  // namespace
