#include "common/file_digest.h"

#include <wincrypt.h>

#include <cstring>

// Hashes everything file still holds; 1 when it read to the end.
static int hash_file(HCRYPTHASH hash, HANDLE file, ULONGLONG *size)
{
    BYTE block[16384];
    *size = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, block, sizeof block, &read, nullptr))
            return 0;
        if (read == 0)
            return 1;
        if (!CryptHashData(hash, block, read, 0))
            return 0;
        *size += read;
    }
}

int file_digest(const char *path, FileDigest *digest)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int done = 0;
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
            DWORD hash_size = sizeof digest->hash;
            done = hash_file(hash, file, &digest->size) &&
                   CryptGetHashParam(hash, HP_HASHVAL, digest->hash, &hash_size, 0) && hash_size == sizeof digest->hash;
            CryptDestroyHash(hash);
        }
        CryptReleaseContext(provider, 0);
    }
    CloseHandle(file);
    return done;
}

bool same_digest(const FileDigest &first, const FileDigest &second)
{
    return first.size == second.size && memcmp(first.hash, second.hash, sizeof first.hash) == 0;
}
