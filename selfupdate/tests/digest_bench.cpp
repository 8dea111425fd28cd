// Digest speed: selfupdate_digest_bench.exe [megabytes]
// The digest of a staged file (read from disk, 512-byte updates through Md5.dll) next to
// a bare MD5 loop over the same bytes in memory with the same library and update size.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FileDigest.h"
#include "ModulePath.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 100;
    std::wstring library = vantor::ProgramDir() + L"Md5.dll";
    std::wstring path = vantor::ProgramDir() + L"digest-bench.bin";
    std::vector<unsigned char> bytes(megabytes << 20);
    unsigned state = 12345;
    for (unsigned char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 16);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        fprintf(stderr, "cannot write %ls\n", path.c_str());
        return 1;
    }
    CloseHandle(file);

    std::string fromFile, fromMemory;
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    selfupdate::DigestResult a = selfupdate::FileDigest(library, path, &fromFile);
    QueryPerformanceCounter(&t1);
    selfupdate::DigestResult b = selfupdate::MemoryDigest(library, bytes.data(), bytes.size(), &fromMemory);
    QueryPerformanceCounter(&t2);
    DeleteFileW(path.c_str());
    if (a != selfupdate::DigestResult::Ok || b != selfupdate::DigestResult::Ok || fromFile != fromMemory) {
        fprintf(stderr, "digests failed or differ: %s %s\n", fromFile.c_str(), fromMemory.c_str());
        return 1;
    }
    double staged = Seconds(t0, t1), bare = Seconds(t1, t2);
    printf("digest of a %u MB staged file: %.3f s\n", static_cast<unsigned>(megabytes), staged);
    printf("bare MD5 loop in memory:       %.3f s\n", bare);
    printf("ratio staged / bare:           %.2f (goal at most 1.50)\n", staged / bare);
    return 0;
}
