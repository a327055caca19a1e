#include "update/PackageSignature.h"

#include "update/CngHandles.h"
#include "update/PackageStatement.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kPackageReadSize = 64 * 1024;

bool Succeeded(NTSTATUS status) noexcept {
    return status >= 0;
}

UniqueCngAlgorithm OpenAlgorithm(const wchar_t* name) noexcept {
    UniqueCngAlgorithm algorithm;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(algorithm.put(), name, nullptr, 0))) {
        return {};
    }
    return algorithm;
}

UniqueCngHash NewHash(BCRYPT_ALG_HANDLE sha256) noexcept {
    UniqueCngHash hash;
    // No object buffer: CNG keeps the hash state itself (Windows 7 and later).
    if (!Succeeded(::BCryptCreateHash(sha256, hash.put(), nullptr, 0, nullptr, 0, 0))) {
        return {};
    }
    return hash;
}

bool AddToHash(BCRYPT_HASH_HANDLE hash, const void* bytes, size_t size) noexcept {
    return Succeeded(
        ::BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), static_cast<ULONG>(size), 0));
}

bool FinishHash(BCRYPT_HASH_HANDLE hash, Sha256Digest* digest) noexcept {
    return Succeeded(::BCryptFinishHash(hash, digest->data(), static_cast<ULONG>(digest->size()), 0));
}

bool SeekToStart(HANDLE file) noexcept {
    return ::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) != FALSE;
}

// The SHA-256 of the file's bytes from its start; kUnreadable when a read fails or more than maxBytes come.
SignatureCheck HashPackage(BCRYPT_ALG_HANDLE sha256, HANDLE package, uint64_t maxBytes,
                           Sha256Digest* digest) noexcept {
    const UniqueCngHash hash = NewHash(sha256);
    if (!hash) {
        return SignatureCheck::kUnavailable;
    }
    if (!SeekToStart(package)) {
        return SignatureCheck::kUnreadable;
    }
    std::vector<uint8_t> buffer(kPackageReadSize);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(package, buffer.data(), kPackageReadSize, &got, nullptr)) {
            return SignatureCheck::kUnreadable;
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (total > maxBytes) {
            return SignatureCheck::kUnreadable;
        }
        if (!AddToHash(hash.get(), buffer.data(), got)) {
            return SignatureCheck::kUnavailable;
        }
    }
    if (!SeekToStart(package)) {
        return SignatureCheck::kUnreadable;
    }
    return FinishHash(hash.get(), digest) ? SignatureCheck::kValid : SignatureCheck::kUnavailable;
}

// The key as CNG imports a public P-256 key: the blob header, then X and Y.
UniqueCngKey ImportKey(BCRYPT_ALG_HANDLE ecdsa, const UpdateKey& key) noexcept {
    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<UpdateKey>] = {};
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kUpdateKeyCoordinateSize};
    std::memcpy(blob, &header, sizeof(header));
    std::copy(key.begin(), key.end(), blob + sizeof(header));
    UniqueCngKey imported;
    if (!Succeeded(::BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, imported.put(), blob,
                                         sizeof(blob), 0))) {
        return {};
    }
    return imported;
}

}  // namespace

SignatureCheck VerifyPackage(HANDLE package, const PackageIdentity& identity, std::string_view signature,
                             const UpdateKey& key, uint64_t maxBytes) noexcept {
    if (signature.size() != kPackageSignatureSize) {
        return SignatureCheck::kMalformed;
    }
    const UniqueCngAlgorithm sha256 = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    const UniqueCngAlgorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    const UniqueCngKey publicKey = ecdsa ? ImportKey(ecdsa.get(), key) : UniqueCngKey();
    if (!sha256 || !publicKey) {
        return SignatureCheck::kUnavailable;
    }
    Sha256Digest packageDigest{};
    if (const SignatureCheck read = HashPackage(sha256.get(), package, maxBytes, &packageDigest);
        read != SignatureCheck::kValid) {
        return read;
    }
    const std::string statement =
        PackageStatement(identity.folder, identity.name, identity.version, packageDigest);
    if (statement.empty()) {
        return SignatureCheck::kMismatch;  // no signature can vouch for a name the statement cannot hold
    }
    Sha256Digest statementDigest{};
    const UniqueCngHash hash = NewHash(sha256.get());
    if (!hash || !AddToHash(hash.get(), statement.data(), statement.size()) ||
        !FinishHash(hash.get(), &statementDigest)) {
        return SignatureCheck::kUnavailable;
    }
    std::vector<uint8_t> rs(signature.begin(), signature.end());
    const NTSTATUS verified = ::BCryptVerifySignature(publicKey.get(), nullptr, statementDigest.data(),
                                                      static_cast<ULONG>(statementDigest.size()), rs.data(),
                                                      static_cast<ULONG>(rs.size()), 0);
    return Succeeded(verified) ? SignatureCheck::kValid : SignatureCheck::kMismatch;
}

SignatureCheck CheckPackageSignature(HttpTransfer& transfer, const std::wstring& packageUrl, HANDLE package,
                                     const PackageIdentity& identity, const UpdateKey& key) noexcept {
    std::string signature;
    if (transfer.FetchBytes(packageUrl + kSignatureSuffix, &signature) != kTransferDone) {
        return SignatureCheck::kMissing;
    }
    return VerifyPackage(package, identity, signature, key);
}

const wchar_t* SignatureCheckText(SignatureCheck check) noexcept {
    switch (check) {
        case SignatureCheck::kValid:
            return L"the signature is valid";
        case SignatureCheck::kMissing:
            return L"the signature could not be fetched";
        case SignatureCheck::kMalformed:
            return L"the signature is malformed";
        case SignatureCheck::kUnreadable:
            return L"the package cannot be read for its signature check";
        case SignatureCheck::kMismatch:
            return L"the signature does not match the package";
        case SignatureCheck::kUnavailable:
            return L"the system cannot check signatures";
    }
    return L"the signature was not checked";
}
