// The digest benchmark: digest_bench.exe [megabytes], from the staged program folder.
//
// The upgrade monitor's digest of a staged file (FileDigest: Md5.dll loaded for the digest
// and freed after it, the file opened for shared reading, 512-byte MD5Update calls) beside
// the same-work reference: a bare loop over the same file with the same library, loaded
// before the clock starts, reading the file in the same pieces and handing MD5Update the
// same 512-byte blocks. Neither holds the library while the other runs, so the digest
// loads it for real. Each figure is the best of several alternating runs over a file the
// system has cached. Further rows show what the parts of the digest cost: loading the
// library, the 512-byte updates against one update per read, and the reading alone.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "FileDigest.h"
#include "Handles.h"
#include "ModulePath.h"

namespace {

constexpr double kGoal = 1.1;
constexpr int kRounds = 5;
constexpr unsigned kUpdateBytes = 512;

// Md5.dll loaded for as long as the object lives.
struct Md5 : selfupdate::Md5Library {
    explicit Md5(const std::wstring& path) { loaded = Load(path); }
    bool ok() const { return loaded; }
    bool loaded = false;
};

// The bare loop: the file read in the pieces FileDigest reads, each handed on in updateBytes blocks
// (0: the whole piece at once); with hash false, only read.
std::string BareDigest(const Md5& md5, const std::wstring& path, unsigned updateBytes, bool hash = true) {
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::string();
    std::vector<unsigned char> buffer(selfupdate::kDigestReadBytes);
    MD5_CTX context;
    md5.init(&context);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), selfupdate::kDigestReadBytes, &got, nullptr) || got == 0) break;
        if (!hash) continue;
        unsigned step = updateBytes ? updateBytes : got;
        for (DWORD at = 0; at < got; at += step) md5.update(&context, buffer.data() + at, std::min<DWORD>(step, got - at));
    }
    unsigned char digest[16];
    md5.final(digest, &context);
    char text[32];
    md5.toHex(digest, text, 32);
    return std::string(text, 32);
}

bool WriteBenchFile(const std::wstring& path, size_t megabytes) {
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    std::vector<unsigned char> block(1 << 20);
    unsigned state = 12345;
    for (size_t m = 0; m < megabytes; ++m) {
        for (unsigned char& b : block) {
            state = state * 1103515245u + 12345u;
            b = static_cast<unsigned char>(state >> 16);
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr)) return false;
    }
    return true;
}

template <typename Work>
double BestMs(Work work) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        double start = testkit::NowMs();
        work();
        best = std::min(best, testkit::NowMs() - start);
    }
    return best;
}

struct Row {
    double ours = 0, bare = 0;
};

// Ours and the reference, alternating round by round so that both see the same machine.
Row Measure(const std::wstring& library, const std::wstring& path, bool* same) {
    Row row{1e300, 1e300};
    for (int round = 0; round < kRounds; ++round) {
        std::string hex;
        double start = testkit::NowMs();
        selfupdate::DigestResult result = selfupdate::FileDigest(library, path, &hex);
        row.ours = std::min(row.ours, testkit::NowMs() - start);
        Md5 md5(library);
        start = testkit::NowMs();
        std::string expected = BareDigest(md5, path, kUpdateBytes);
        row.bare = std::min(row.bare, testkit::NowMs() - start);
        if (result != selfupdate::DigestResult::Ok || hex != expected) *same = false;
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 200;
    if (megabytes == 0) megabytes = 200;
    std::wstring library = vantor::ProgramDir() + L"Md5.dll";
    if (!Md5(library).ok()) {
        std::printf("digest bench: %ls cannot be loaded\n", library.c_str());
        return 1;
    }
    std::wstring path = vantor::ProgramDir() + L"digest-bench.bin";
    bool same = true;
    std::printf("digest of a staged file against a bare MD5 loop over the same file, same Md5.dll\n");
    std::printf("(best of %d alternating runs, file cached by the system)\n", kRounds);
    std::printf("  size      ours ms    bare ms   ratio\n");
    Row main;
    for (size_t size : {megabytes / 4, megabytes / 2, megabytes}) {
        if (size == 0 || !WriteBenchFile(path, size)) continue;
        BareDigest(Md5(library), path, 0, false);   // into the system's cache
        Row row = Measure(library, path, &same);
        std::printf("  %4zu MB %10.1f %10.1f   %5.3f\n", size, row.ours, row.bare, row.ours / row.bare);
        if (size == megabytes) main = row;
    }
    if (!same) {
        DeleteFileW(path.c_str());
        std::printf("digest bench: the digests differ\n");
        return 1;
    }

    // Where the time goes, on the largest file.
    double load = BestMs([&] {
        for (int i = 0; i < 10; ++i) Md5 loaded(library);
    }) / 10;
    Md5 md5(library);
    double wholeUpdates = BestMs([&] { BareDigest(md5, path, 0); });
    double readOnly = BestMs([&] { BareDigest(md5, path, 0, false); });
    DeleteFileW(path.c_str());
    std::printf("where the time goes (%zu MB):\n", megabytes);
    std::printf("  Md5.dll loaded and freed, once a digest:  %8.2f ms\n", load);
    std::printf("  reading the file alone:                   %8.1f ms\n", readOnly);
    std::printf("  bare loop, one MD5Update per 128 KiB read: %7.1f ms\n", wholeUpdates);
    std::printf("  bare loop, 512-byte MD5Update calls:       %7.1f ms  (the updates the digest makes)\n",
                main.bare);
    std::printf("  the staged file's digest:                  %7.1f ms\n", main.ours);
    std::printf("digest of the staged file: %.1f ms, bare MD5 loop: %.1f ms, ratio %.3f (goal at most %.1f)\n",
                main.ours, main.bare, main.ours / main.bare, kGoal);
    std::printf("digest bench: %.2f of the bare MD5 loop (goal %.1f)\n", main.ours / main.bare, kGoal);
    return 0;
}
