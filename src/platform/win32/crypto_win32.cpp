// Signature checks through the system's own crypto: CNG (BCrypt) hashes the
// file with SHA-256 and verifies the ECDSA P-256 signature; CryptoAPI's
// decoders turn the PEM key and the DER signature into what CNG takes (a
// BCRYPT_ECCPUBLIC_BLOB and the raw r || s).
#include "platform/win32/win32.h"

// clang-format off
#include <wincrypt.h>
#include <bcrypt.h>
// clang-format on

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/crypto.h"
#include "platform/files.h"

namespace platform {
namespace {

// Bytes hashed per read: a 120 MiB archive takes under two thousand reads,
// and only this one block is ever held.
constexpr std::uint32_t kVerifyBlock = 65536;
// P-256: coordinates, r and s are 32 bytes each; an uncompressed point is
// 0x04, X, Y.
constexpr ULONG kP256Bytes = 32;
constexpr DWORD kUncompressedPointBytes = 1 + 2 * kP256Bytes;
constexpr BYTE kUncompressedPoint = 0x04;
constexpr ULONG kSha256Bytes = 32;
// The DER form of the curve's object identifier (1.2.840.10045.3.1.7),
// which a P-256 key carries as its algorithm parameters.
constexpr BYTE kP256CurveOid[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
// ntstatus.h's value; including that header beside windows.h clashes.
constexpr NTSTATUS kStatusInvalidSignature = NTSTATUS(0xC000A000L);

struct LocalFreer {
  void operator()(void* p) const { ::LocalFree(p); }
};
template <class T>
using LocalPtr = std::unique_ptr<T, LocalFreer>;

struct AlgorithmCloser {
  void operator()(void* a) const { ::BCryptCloseAlgorithmProvider(a, 0); }
};
struct KeyDestroyer {
  void operator()(void* k) const { ::BCryptDestroyKey(k); }
};
struct HashDestroyer {
  void operator()(void* h) const { ::BCryptDestroyHash(h); }
};
using Algorithm = std::unique_ptr<void, AlgorithmCloser>;
using Key = std::unique_ptr<void, KeyDestroyer>;
using Hash = std::unique_ptr<void, HashDestroyer>;

Algorithm open_algorithm(const wchar_t* name) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0))) return nullptr;
  return Algorithm(algorithm);
}

// CryptDecodeObjectEx with the memory allocated for the caller (LocalFree).
template <class T>
LocalPtr<T> decode(LPCSTR type, const BYTE* data, DWORD size) {
  void* out = nullptr;
  DWORD out_size = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, type, data, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &out,
                             &out_size)) {
    return nullptr;
  }
  return LocalPtr<T>(static_cast<T*>(out));
}

// The PEM's SubjectPublicKeyInfo as a CNG key, when it is an EC key on P-256.
Key import_p256_key(BCRYPT_ALG_HANDLE ecdsa, std::string_view pem) {
  if (pem.empty() || pem.size() > MAXDWORD) return nullptr;
  DWORD der_size = 0;
  if (!::CryptStringToBinaryA(pem.data(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &der_size,
                              nullptr, nullptr)) {
    return nullptr;
  }
  std::vector<BYTE> der(der_size);
  if (!::CryptStringToBinaryA(pem.data(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &der_size,
                              nullptr, nullptr)) {
    return nullptr;
  }
  const auto info = decode<CERT_PUBLIC_KEY_INFO>(X509_PUBLIC_KEY_INFO, der.data(), der_size);
  if (!info || !info->Algorithm.pszObjId || std::strcmp(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) != 0)
    return nullptr;
  const CRYPT_OBJID_BLOB& curve = info->Algorithm.Parameters;
  if (curve.cbData != sizeof kP256CurveOid || std::memcmp(curve.pbData, kP256CurveOid, sizeof kP256CurveOid) != 0)
    return nullptr;
  const CRYPT_BIT_BLOB& point = info->PublicKey;
  if (point.cbData != kUncompressedPointBytes || point.cUnusedBits != 0 || point.pbData[0] != kUncompressedPoint)
    return nullptr;

  // BCRYPT_ECCKEY_BLOB, then X and Y, both big-endian as in the point.
  std::vector<BYTE> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kP256Bytes);
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kP256Bytes};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, point.pbData + 1, 2 * kP256Bytes);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                            ULONG(blob.size()), 0))) {
    return nullptr;
  }
  return Key(key);
}

// The DER signature as CNG wants it: r then s, each 32 bytes big-endian.
// CERT_ECC_SIGNATURE holds them little-endian without leading zeros.
std::optional<std::vector<BYTE>> raw_signature(std::string_view der) {
  if (der.empty() || der.size() > MAXDWORD) return std::nullopt;
  const auto signature =
      decode<CERT_ECC_SIGNATURE>(X509_ECC_SIGNATURE, reinterpret_cast<const BYTE*>(der.data()), DWORD(der.size()));
  if (!signature || signature->r.cbData > kP256Bytes || signature->s.cbData > kP256Bytes) return std::nullopt;
  std::vector<BYTE> raw(2 * kP256Bytes, 0);
  for (DWORD i = 0; i < signature->r.cbData; ++i) raw[kP256Bytes - 1 - i] = signature->r.pbData[i];
  for (DWORD i = 0; i < signature->s.cbData; ++i) raw[2 * kP256Bytes - 1 - i] = signature->s.pbData[i];
  return raw;
}

}  // namespace

SignatureCheck verify_file_signature(const std::u16string& path, std::string_view public_key_pem,
                                     std::string_view der_signature) {
  const Algorithm ecdsa = open_algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  const Algorithm sha256 = open_algorithm(BCRYPT_SHA256_ALGORITHM);
  if (!ecdsa || !sha256) return SignatureCheck::failed;
  const Key key = import_p256_key(ecdsa.get(), public_key_pem);
  if (!key) return SignatureCheck::bad_key;
  std::optional<std::vector<BYTE>> raw = raw_signature(der_signature);
  if (!raw) return SignatureCheck::bad_signature;

  // No hash object buffer given: CNG keeps the hash's state itself.
  BCRYPT_HASH_HANDLE hash_handle = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(sha256.get(), &hash_handle, nullptr, 0, nullptr, 0, 0)))
    return SignatureCheck::failed;
  const Hash hash(hash_handle);

  File file = open_for_read(path);
  if (!file) return SignatureCheck::unreadable;
  std::vector<BYTE> block(kVerifyBlock);
  for (;;) {
    std::uint32_t got = 0;
    if (!file.read(block.data(), kVerifyBlock, &got)) return SignatureCheck::unreadable;
    if (got == 0) break;
    if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), block.data(), got, 0))) return SignatureCheck::failed;
  }
  file.close();
  BYTE digest[kSha256Bytes] = {};
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest, kSha256Bytes, 0))) return SignatureCheck::failed;

  const NTSTATUS status =
      ::BCryptVerifySignature(key.get(), nullptr, digest, kSha256Bytes, raw->data(), ULONG(raw->size()), 0);
  if (BCRYPT_SUCCESS(status)) return SignatureCheck::valid;
  return status == kStatusInvalidSignature ? SignatureCheck::mismatch : SignatureCheck::failed;
}

}  // namespace platform
