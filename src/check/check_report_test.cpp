// The signatures as the reports write them: each line says what was and was
// not checked, and --json carries the same. The signatures themselves come
// from signature_check_test and, end to end, tests/dist/signing.sh.
#include "check/check_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SignatureInfo Signature(SignatureState state, bool chainChecked, bool stamped, const std::string& problem = "") {
    SignatureInfo sig;
    sig.state = state;
    sig.subject = "CN=QMX Test, O=QMX";
    sig.chainChecked = chainChecked;
    sig.timestamped = stamped;
    sig.problem = problem;
    return sig;
}

PackageReport ReportOf(const SignatureInfo& sig) {
    PackageReport report;
    report.folder = "/package";
    report.changeListRead = true;
    report.signatures.push_back({"MODULE.DLL", sig});
    return report;
}

TEST(CheckReport, SignatureLinesSayWhatWasChecked) {
    struct Case {
        SignatureInfo sig;
        const char* line;
    };
    const Case cases[] = {
        {Signature(SignatureState::kSigned, false, false),
         "signed by CN=QMX Test, O=QMX (certificate not checked against a trusted root), no time stamp"},
        {Signature(SignatureState::kSigned, true, true), "signed by CN=QMX Test, O=QMX, time-stamped"},
        {Signature(SignatureState::kRevoked, true, true, "WinVerifyTrust 0x800B010C"),
         "revoked (WinVerifyTrust 0x800B010C), by CN=QMX Test, O=QMX, time-stamped"},
        {Signature(SignatureState::kUntrusted, true, false, "WinVerifyTrust 0x800B0109"),
         "untrusted (WinVerifyTrust 0x800B0109), by CN=QMX Test, O=QMX, no time stamp"},
        {Signature(SignatureState::kDamaged, false, false, "changed"), "damaged (changed), by CN=QMX Test, O=QMX"},
    };
    for (const Case& c : cases) {
        const std::string text = TextReport(ReportOf(c.sig), nullptr, nullptr);
        EXPECT_NE(std::string::npos, text.find("\n  MODULE.DLL: " + std::string(c.line) + "\n")) << c.line << "\n"
                                                                                                 << text;
    }
}

TEST(CheckReport, JsonSignaturesSayWhetherTheChainWasChecked) {
    for (const bool checked : {false, true}) {
        const std::string json =
            JsonReport(ReportOf(Signature(SignatureState::kSigned, checked, true)), nullptr, nullptr);
        EXPECT_NE(std::string::npos, json.find("\"state\": \"signed\", \"subject\": \"CN=QMX Test, O=QMX\", "
                                               "\"chainChecked\": " + std::string(checked ? "true" : "false") +
                                               ", \"timestamp\": true, \"problem\": null}"))
            << json;
    }
}

}  // namespace
