// Md5: MD5 digests. Bound at run time by name ("Md5.dll"); standard calling convention.
#pragma once

#include <windows.h>

// Caller-allocated context; its content belongs to the library. 88 bytes on both builds.
typedef struct MD5_CTX {
    union {
        unsigned char bytes[88];
        ULONG_PTR align;
    } opaque;
} MD5_CTX;
static_assert(sizeof(MD5_CTX) == 88, "MD5_CTX keeps its size");

typedef void(WINAPI* PFN_MD5Init)(MD5_CTX* context);
typedef void(WINAPI* PFN_MD5Update)(MD5_CTX* context, const unsigned char* bytes, unsigned int length);
typedef void(WINAPI* PFN_MD5Final)(unsigned char digest[16], MD5_CTX* context);
// Writes min(outChars, 32) lower-case hexadecimal digits of the 16-byte digest (no terminator).
typedef void(WINAPI* PFN_BIN2BCDlower)(const unsigned char* digest, char* out, int outChars);
