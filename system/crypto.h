#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <stddef.h>

// SHA-256 from the CryptoAPI's RSA and AES provider, which Windows XP SP3 already has (its
// SHA-256 needs no newer library), and random bytes from the system's generator.

inline constexpr size_t kSha256Bytes = 32;

// Digests over bytes added in pieces, one after another (Begin, Add..., Finish). Operations
// return 1 or 0 with the cause in the last error; the provider is released with the object.
class CSha256 {
public:
    CSha256() = default;
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    int Begin();
    int Add(const void* bytes, DWORD count);
    int Finish(BYTE digest[kSha256Bytes]);

private:
    void DropHash();
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};

// count bytes nobody can foresee, from the generator behind CryptGenRandom (RtlGenRandom,
// which Windows XP exports too).
int GenerateRandomBytes(BYTE* bytes, DWORD count);
