#include "offcycle/ulip/CabinetSignature.h"

#include <wincrypt.h>
#include <mssip.h>
#include <softpub.h>
#include <wintrust.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <vector>

#include "common/Handles.h"
#include "common/ProcessState.h"

namespace tw {

namespace {

std::atomic<bool>& TrustFlag() {
    static std::atomic<bool> trusted(true);
    return trusted;
}

[[maybe_unused]] const bool g_trustResetRegistered =
    RegisterProcessStateReset(ProcessLayer::OffCycle, [] { TrustFlag() = true; });

// The trust data as the verification expects it: 88 bytes, the size that includes the
// signature-settings pointer this SDK's structure lacks.
struct TrustData {
    WINTRUST_DATA data;
    void* signatureSettings;
};
static_assert(sizeof(TrustData) == 88, "trust data of 88 bytes");
static_assert(sizeof(WINTRUST_FILE_INFO) == 32, "file information of 32 bytes");

bool Rewind(HANDLE file) {
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

std::wstring CCabinetSignature::WidePath(const char* path) {
    std::wstring wide;
    if (!path || !*path) return wide;
    const size_t size = std::strlen(path);
    if (size > static_cast<size_t>(INT_MAX)) return wide;
    int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return wide;
    wide.assign(static_cast<size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, static_cast<int>(size), &wide[0], length) != length)
        wide.clear();
    return wide;
}

LONG CCabinetSignature::VerifyTrust(HANDLE file, const char* path) {
    std::wstring wide = WidePath(path);
    if (wide.empty() || !Rewind(file)) return static_cast<LONG>(TRUST_E_NOSIGNATURE);

    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = wide.c_str();
    fileInfo.hFile = file;
    fileInfo.pgKnownSubject = nullptr;

    TrustData trust = {};
    trust.data.cbStruct = sizeof(trust);
    trust.data.dwUIChoice = WTD_UI_NONE;
    trust.data.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.data.dwUnionChoice = WTD_CHOICE_FILE;
    trust.data.pFile = &fileInfo;
    trust.data.dwStateAction = 0;  // WTD_STATEACTION_IGNORE
    trust.data.dwProvFlags = 0;
    trust.data.dwUIContext = 0;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return ::WinVerifyTrust(nullptr, &action, &trust.data);
}

bool CCabinetSignature::ReadSignerName(HANDLE file, const char* path, std::string& name) {
    name.clear();
    std::wstring wide = WidePath(path);
    if (wide.empty() || !Rewind(file)) return false;

    // The embedded signature is taken out of the file through the handle by the subject
    // interface package of its kind, as the query of a file object does internally; the query
    // then decodes the signature from memory.
    GUID subject = {};
    if (!::CryptSIPRetrieveSubjectGuid(wide.c_str(), file, &subject)) return false;
    SIP_DISPATCH_INFO dispatch = {};
    dispatch.cbSize = sizeof(dispatch);
    if (!::CryptSIPLoad(&subject, 0, &dispatch) || !dispatch.pfGet) return false;
    SIP_SUBJECTINFO info = {};
    info.cbSize = sizeof(info);
    info.pgSubjectType = &subject;
    info.hFile = file;
    info.pwsFileName = wide.c_str();
    DWORD encoding = 0, size = 0;
    if (!Rewind(file) || !dispatch.pfGet(&info, &encoding, 0, &size, nullptr) || size == 0) return false;
    std::vector<BYTE> signature(size);
    if (!Rewind(file) || !dispatch.pfGet(&info, &encoding, 0, &size, signature.data())) return false;

    CERT_BLOB blob = {size, signature.data()};
    DWORD contentType = 0, formatType = 0;
    CertStore store;
    CryptMsg message;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, store.Put(),
                            message.Put(), nullptr))
        return false;

    DWORD infoSize = 0;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &infoSize) || infoSize == 0)
        return false;
    LocalMemory signerMemory(::LocalAlloc(LPTR, infoSize));
    if (!signerMemory) return false;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, signerMemory.Get(), &infoSize)) return false;
    const CMSG_SIGNER_INFO* signer = static_cast<const CMSG_SIGNER_INFO*>(signerMemory.Get());

    CERT_INFO certInfo = {};
    certInfo.Issuer = signer->Issuer;
    certInfo.SerialNumber = signer->SerialNumber;
    CertContext certificate(::CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                         CERT_FIND_SUBJECT_CERT, &certInfo, nullptr));
    if (!certificate) return false;

    char display[1024] = {};
    DWORD length =
        ::CertGetNameStringA(certificate.Get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, display, sizeof(display));
    if (length <= 1) return false;
    name = display;
    return true;
}

bool CCabinetSignature::IsMakerName(const char* displayName) {
    if (!displayName) return false;
    std::vector<char> lower(displayName, displayName + std::strlen(displayName) + 1);
    ::CharLowerA(lower.data());
    // Letters and spaces only, without leading or trailing spaces and with one space
    // between words: a name that merely contains the maker's is someone else's.
    std::string normal;
    bool pendingSpace = false;
    for (const char* p = lower.data(); *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == ' ') {
            pendingSpace = !normal.empty();
        } else if (::IsCharAlphaA(static_cast<CHAR>(c))) {
            if (pendingSpace) normal += ' ';
            pendingSpace = false;
            normal += static_cast<char>(c);
        }
    }
    return normal == "veltra inc";
}

bool CCabinetSignature::ProcessTrusted() { return TrustFlag(); }

void CCabinetSignature::RevokeProcessTrust() { TrustFlag() = false; }

}  // namespace tw
