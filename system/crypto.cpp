#include "system/crypto.h"

#include <ntsecapi.h>

// A context without keys: nothing of the user's key store is opened or made. Windows XP SP3
// names its provider of the type differently; it is asked for by name where the type has
// no default.
static int AcquireAesProvider(HCRYPTPROV* provider)
{
    const DWORD flags = CRYPT_VERIFYCONTEXT | CRYPT_SILENT;
    return CryptAcquireContextW(provider, nullptr, nullptr, PROV_RSA_AES, flags) ||
           CryptAcquireContextW(provider, nullptr, MS_ENH_RSA_AES_PROV_XP_W, PROV_RSA_AES, flags);
}

CSha256::~CSha256()
{
    const DWORD error = GetLastError();
    DropHash();
    if (provider_)
        CryptReleaseContext(provider_, 0);
    SetLastError(error);
}

void CSha256::DropHash()
{
    const DWORD error = GetLastError();
    if (hash_)
        CryptDestroyHash(hash_);
    hash_ = 0;
    SetLastError(error);
}

int CSha256::Begin()
{
    DropHash();
    // The provider is kept for the next digest: acquiring one costs far more than a small file.
    if (!provider_ && !AcquireAesProvider(&provider_)) {
        provider_ = 0;
        return 0;
    }
    return CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_) != FALSE;
}

int CSha256::Add(const void* bytes, DWORD count)
{
    if (!hash_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return CryptHashData(hash_, static_cast<const BYTE*>(bytes), count, 0) != FALSE;
}

int CSha256::Finish(BYTE digest[kSha256Bytes])
{
    DWORD size = kSha256Bytes;
    if (!hash_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const int done = CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0) && size == kSha256Bytes;
    DropHash();
    return done;
}

int GenerateRandomBytes(BYTE* bytes, DWORD count)
{
    // The system's generator behind CryptGenRandom, without a provider to acquire first (under
    // Wine the first acquisition of a process takes tens of milliseconds).
    if (RtlGenRandom(bytes, count))
        return 1;
    SetLastError(ERROR_GEN_FAILURE);
    return 0;
}
