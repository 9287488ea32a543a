// The Windows side: the system's own WinVerifyTrust judges the signature,
// digest and chain alike, as App Control and the loader will on that
// machine. wintrust.dll and crypt32.dll are loaded at run time from the
// system folder, by full path: Windows 95 and NT 4.0 without Internet
// Explorer have neither, and the check must still start there.
#include "check/signature_check.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>


#include "engine/seal/signed_data.h"
#include "platform/system_library.h"

namespace {

using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using SignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using NameFn = DWORD(WINAPI*)(DWORD, PCERT_NAME_BLOB, DWORD, LPSTR, DWORD);

struct TrustDlls {
    bool tried = false;
    VerifyFn verify = nullptr;
    ProvDataFn provData = nullptr;
    SignerFn signer = nullptr;
    NameFn nameToStr = nullptr;
};

template <typename Fn>
Fn Find(HMODULE module, const char* name) {
    return module ? FindFunction<Fn>(module, name) : nullptr;
}

// Loaded once and kept for the run: the check asks for every module.
const TrustDlls& Dlls() {
    static TrustDlls dlls;
    if (dlls.tried) return dlls;
    dlls.tried = true;
    const HMODULE wintrust = LoadSystemLibrary("wintrust.dll");
    dlls.verify = Find<VerifyFn>(wintrust, "WinVerifyTrust");
    dlls.provData = Find<ProvDataFn>(wintrust, "WTHelperProvDataFromStateData");
    dlls.signer = Find<SignerFn>(wintrust, "WTHelperGetProvSignerFromChain");
    dlls.nameToStr = Find<NameFn>(LoadSystemLibrary("crypt32.dll"), "CertNameToStrA");
    return dlls;
}

CRYPT_PROVIDER_SGNR* FirstSigner(const TrustDlls& dlls, HANDLE state) {
    if (!dlls.provData || !dlls.signer || state == nullptr) return nullptr;
    CRYPT_PROVIDER_DATA* data = dlls.provData(state);
    return data ? dlls.signer(data, 0, FALSE, 0) : nullptr;
}

std::string SignerSubject(const TrustDlls& dlls, const CRYPT_PROVIDER_SGNR* signer) {
    if (!dlls.nameToStr || signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) {
        return std::string();
    }
    PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
    if (cert == nullptr || cert->pCertInfo == nullptr) return std::string();
    char name[512];
    // The name in the order it is written, "CN=..., O=...", as the build
    // machine's check prints it.
    if (dlls.nameToStr(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, name, sizeof name) <= 1) {
        return std::string();
    }
    return name;
}

// What WinVerifyTrust made of the time stamp the file carries: it verifies
// a counter-signer's digest of the signature and its signature, and says
// so by the counter-signer's error. A Windows that does not know the stamp's
// kind lists no counter-signer at all, and neither does Wine 8 for any.
void ReadTimeStamp(const CRYPT_PROVIDER_SGNR* signer, SignatureInfo* info) {
    if (signer == nullptr || signer->csCounterSigners == 0 || signer->pasCounterSigners == nullptr) {
        info->timeStamp = TimeStampState::kNotChecked;
        info->timeStampProblem = "this Windows does not check it";
        return;
    }
    const DWORD error = signer->pasCounterSigners[0].dwError;
    if (error == 0) {
        info->timeStamp = TimeStampState::kVerified;
        return;
    }
    info->timeStamp = TimeStampState::kDoesNotVerify;
    info->timeStampProblem = "WinVerifyTrust " + TrustCodeText(error);
}

}  // namespace

std::string CertificateSubject(const std::string& certificate) {
    const TrustDlls& dlls = Dlls();
    CertificateParts parts;
    if (!dlls.nameToStr || !ReadCertificate(DerReader(certificate, 0, certificate.size()), &parts)) return std::string();
    CERT_NAME_BLOB name = {static_cast<DWORD>(parts.subject.Size()),
                           reinterpret_cast<BYTE*>(const_cast<char*>(parts.subject.Data()))};
    char text[512];
    if (dlls.nameToStr(X509_ASN_ENCODING, &name, CERT_X500_NAME_STR, text, sizeof text) <= 1) return std::string();
    return text;
}

namespace {

// One question to WinVerifyTrust about a file, never over the network: a
// check must not wait on a revocation server. Its state is closed with it.
class TrustQuery {
public:
    TrustQuery(const TrustDlls& dlls, WCHAR* widePath, bool cachedRevocation) : m_dlls(dlls) {
        m_file.cbStruct = sizeof m_file;
        m_file.pcwszFilePath = widePath;
        m_data.cbStruct = sizeof m_data;
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = cachedRevocation ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = (cachedRevocation ? WTD_REVOCATION_CHECK_CHAIN : WTD_REVOCATION_CHECK_NONE) |
                             WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_result = m_dlls.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~TrustQuery() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        m_dlls.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustQuery(const TrustQuery&) = delete;
    TrustQuery& operator=(const TrustQuery&) = delete;

    LONG Result() const { return m_result; }
    HANDLE State() const { return m_data.hWVTStateData; }

private:
    const TrustDlls& m_dlls;
    WINTRUST_FILE_INFO m_file = {};
    WINTRUST_DATA m_data = {};
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG m_result = 0;
};

// Asked only of a chain already trusted, and only from the revocation lists
// this machine has cached: a revocation list it lacks must not make a good
// signature look bad, and in the first question an unknown revocation
// status would be reported ahead of an untrusted root.
bool RevokedByWhatIsCached(const TrustDlls& dlls, WCHAR* widePath) {
    return TrustQuery(dlls, widePath, true).Result() == static_cast<LONG>(CERT_E_REVOKED);
}

}  // namespace

SignatureInfo VerifySignature(const std::string& path, const std::string&, const PeSignature& sig) {
    const TrustDlls& dlls = Dlls();
    if (!dlls.verify) return SignatureOf(SignatureState::kCannotCheck, "this Windows has no WinVerifyTrust");

    WCHAR widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) == 0) {
        return SignatureOf(SignatureState::kCannotCheck, "the file's name is too long");
    }
    SignatureInfo info;
    {
        const TrustQuery query(dlls, widePath, false);
        info.state = TrustVerdict(query.Result(), &info.problem, &info.chainChecked);
        const CRYPT_PROVIDER_SGNR* signer = FirstSigner(dlls, query.State());
        info.subject = SignerSubject(dlls, signer);
        if (sig.carriesTimeStamp) ReadTimeStamp(signer, &info);
    }
    if (info.state == SignatureState::kSigned && RevokedByWhatIsCached(dlls, widePath)) {
        info.state = TrustVerdict(static_cast<LONG>(CERT_E_REVOKED), &info.problem, &info.chainChecked);
    }
    return info;
}
