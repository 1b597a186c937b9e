#include "system/crypto.h"

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
    Release();
}

void CSha256::Release()
{
    const DWORD error = GetLastError();
    if (hash_)
        CryptDestroyHash(hash_);
    if (provider_)
        CryptReleaseContext(provider_, 0);
    hash_ = 0;
    provider_ = 0;
    SetLastError(error);
}

int CSha256::Begin()
{
    Release();
    if (!AcquireAesProvider(&provider_) || !CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) {
        Release();
        return 0;
    }
    return 1;
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
    Release();
    return done;
}

int GenerateRandomBytes(BYTE* bytes, DWORD count)
{
    HCRYPTPROV provider = 0;
    if (!AcquireAesProvider(&provider))
        return 0;
    const BOOL made = CryptGenRandom(provider, count, bytes);
    const DWORD error = GetLastError();
    CryptReleaseContext(provider, 0);
    SetLastError(error);
    return made != FALSE;
}
