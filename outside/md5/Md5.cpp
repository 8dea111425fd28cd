// Md5 stand-in: MD5 digests through the Windows crypto API.
//
// The caller's context holds the crypto provider and hash handles. MD5Final releases
// them; a context whose hash could not be made gives the all-zero digest.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "outside/Md5.h"

namespace {

struct HashState {
    DWORD magic;
    HCRYPTPROV provider;
    HCRYPTHASH hash;
};
static_assert(sizeof(HashState) <= sizeof(MD5_CTX), "state fits the caller's context");

const DWORD kMagic = 0x3544444D;

HashState* State(MD5_CTX* context) { return reinterpret_cast<HashState*>(context->opaque.bytes); }

}  // namespace

extern "C" {

void WINAPI MD5Init(MD5_CTX* context) {
    if (!context) return;
    memset(context, 0, sizeof(*context));
    HashState* s = State(context);
    if (!CryptAcquireContextW(&s->provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        s->provider = 0;
        return;
    }
    if (!CryptCreateHash(s->provider, CALG_MD5, 0, 0, &s->hash)) {
        CryptReleaseContext(s->provider, 0);
        s->provider = 0;
        s->hash = 0;
        return;
    }
    s->magic = kMagic;
}

void WINAPI MD5Update(MD5_CTX* context, const unsigned char* bytes, unsigned int length) {
    if (!context || (!bytes && length)) return;
    HashState* s = State(context);
    if (s->magic != kMagic || length == 0) return;
    CryptHashData(s->hash, bytes, length, 0);
}

void WINAPI MD5Final(unsigned char digest[16], MD5_CTX* context) {
    if (digest) memset(digest, 0, 16);
    if (!context) return;
    HashState* s = State(context);
    if (s->magic == kMagic) {
        DWORD size = 16;
        unsigned char value[16] = {};
        if (CryptGetHashParam(s->hash, HP_HASHVAL, value, &size, 0) && size == 16 && digest) {
            memcpy(digest, value, 16);
        }
        CryptDestroyHash(s->hash);
        CryptReleaseContext(s->provider, 0);
    }
    memset(context, 0, sizeof(*context));
}

void WINAPI BIN2BCDlower(const unsigned char* digest, char* out, int outChars) {
    if (!digest || !out || outChars <= 0) return;
    static const char kHex[] = "0123456789abcdef";
    int n = outChars < 32 ? outChars : 32;
    for (int i = 0; i < n; ++i) {
        unsigned char byte = digest[i / 2];
        out[i] = kHex[(i % 2) ? (byte & 0x0F) : (byte >> 4)];
    }
}

}  // extern "C"
