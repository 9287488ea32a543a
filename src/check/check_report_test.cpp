// The signatures as the text report writes them: each line says what was and
// was not checked. The signatures themselves, and --json, are checked end to
// end by tests/dist/signing.sh.
#include "check/check_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SignatureInfo Signature(SignatureState state, bool chainChecked, TimeStampState stamp,
                        const std::string& stampProblem = "", const std::string& problem = "") {
    SignatureInfo sig;
    sig.state = state;
    sig.subject = "CN=QMX Test, O=QMX";
    sig.chainChecked = chainChecked;
    sig.timeStamp = stamp;
    sig.timeStampProblem = stampProblem;
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
        {Signature(SignatureState::kSigned, false, TimeStampState::kNone),
         "signed by CN=QMX Test, O=QMX (certificate not checked against a trusted root), no time stamp"},
        {Signature(SignatureState::kSigned, true, TimeStampState::kVerified),
         "signed by CN=QMX Test, O=QMX, time-stamped"},
        {Signature(SignatureState::kSigned, true, TimeStampState::kDoesNotVerify, "it stamps another signature"),
         "signed by CN=QMX Test, O=QMX, time stamp not verified (it stamps another signature)"},
        {Signature(SignatureState::kSigned, true, TimeStampState::kNotChecked, "this Windows does not check it"),
         "signed by CN=QMX Test, O=QMX, time stamp not verified (this Windows does not check it)"},
        {Signature(SignatureState::kRevoked, true, TimeStampState::kVerified, "", "WinVerifyTrust 0x800B010C"),
         "revoked (WinVerifyTrust 0x800B010C), by CN=QMX Test, O=QMX, time-stamped"},
        // A damaged signature's time stamp stamps nothing that still holds.
        {Signature(SignatureState::kDamaged, false, TimeStampState::kNone, "", "changed"),
         "damaged (changed), by CN=QMX Test, O=QMX"},
    };
    for (const Case& c : cases) {
        const std::string text = TextReport(ReportOf(c.sig), nullptr, nullptr);
        EXPECT_NE(std::string::npos, text.find("\n  MODULE.DLL: " + std::string(c.line) + "\n")) << c.line << "\n"
                                                                                                 << text;
    }
}

}  // namespace
