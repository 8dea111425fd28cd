#include "FileDigest.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "ModulePath.h"

namespace selfupdate {

namespace {

const size_t kUpdateBytes = 512;

// Whole 512-byte blocks one update each; *carry keeps the bytes of a block not yet whole.
void Feed(const Md5Library& md5, MD5_CTX* context, const unsigned char* bytes, size_t length,
          std::vector<unsigned char>* carry) {
    if (!carry->empty()) {
        size_t take = std::min(kUpdateBytes - carry->size(), length);
        carry->insert(carry->end(), bytes, bytes + take);
        bytes += take;
        length -= take;
        if (carry->size() < kUpdateBytes) return;
        md5.update(context, carry->data(), static_cast<unsigned int>(kUpdateBytes));
        carry->clear();
    }
    while (length >= kUpdateBytes) {
        md5.update(context, bytes, static_cast<unsigned int>(kUpdateBytes));
        bytes += kUpdateBytes;
        length -= kUpdateBytes;
    }
    carry->assign(bytes, bytes + length);
}

void Finish(const Md5Library& md5, MD5_CTX* context, const std::vector<unsigned char>& carry, std::string* hex) {
    if (!carry.empty()) md5.update(context, carry.data(), static_cast<unsigned int>(carry.size()));
    unsigned char digest[16] = {};
    md5.final(digest, context);
    char text[32] = {};
    md5.toHex(digest, text, 32);
    hex->assign(text, 32);
}

}  // namespace

bool Md5Library::Load(const std::wstring& path) {
    module.reset(LoadLibraryW(path.c_str()));
    init = vantor::ProcAddress<PFN_MD5Init>(module.get(), "MD5Init");
    update = vantor::ProcAddress<PFN_MD5Update>(module.get(), "MD5Update");
    final = vantor::ProcAddress<PFN_MD5Final>(module.get(), "MD5Final");
    toHex = vantor::ProcAddress<PFN_BIN2BCDlower>(module.get(), "BIN2BCDlower");
    return init && update && final && toHex;
}

DigestResult FileDigest(const std::wstring& md5Library, const std::wstring& path, std::string* hex) {
    hex->clear();
    Md5Library md5;
    if (!md5.Load(md5Library)) return DigestResult::NoLibrary;
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DigestResult::Missing
                                                                               : DigestResult::Unreadable;
    }
    MD5_CTX context;
    md5.init(&context);
    std::vector<unsigned char> buffer(kDigestReadBytes);
    std::vector<unsigned char> carry;
    carry.reserve(kUpdateBytes);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), kDigestReadBytes, &got, nullptr)) {
            unsigned char ignored[16];
            md5.final(ignored, &context);   // releases what the context holds
            return DigestResult::Unreadable;
        }
        if (got == 0) break;
        Feed(md5, &context, buffer.data(), got, &carry);
    }
    Finish(md5, &context, carry, hex);
    return DigestResult::Ok;
}

}  // namespace selfupdate
