// Download throughput of CNetHttp against the bare read loop of the same engine:
//   fetch_bench.exe <port> <path> <local file> [rounds]
// fetches http://127.0.0.1:<port><path> through each engine, ours and bare, alternately,
// and prints every round, the medians and their ratio; the last line sums it up.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "WebFetch.h"
#include "bench_bare_loops.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds of one download, or -1 when it failed or brought other than `expected` bytes.
template <typename Run>
double Timed(Run run, const wchar_t* file, int64_t* bytes) {
    DeleteFileW(file);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    bool ok = run();
    QueryPerformanceCounter(&end);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(file, GetFileExInfoStandard, &data);
    *bytes = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    DeleteFileW(file);
    return ok ? Seconds(start, end) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 4) {
        fprintf(stderr, "usage: fetch_bench.exe <port> <path> <local file> [rounds]\n");
        return 2;
    }
    unsigned short port = static_cast<unsigned short>(_wtoi(argv[1]));
    std::wstring url = L"http://127.0.0.1:" + std::wstring(argv[1]) + argv[2];
    const wchar_t* file = argv[3];
    int rounds = argc > 4 ? _wtoi(argv[4]) : 3;
    double ratios[3] = {};
    for (int engine = 1; engine <= 2; ++engine) {
        std::vector<double> ours, bare;
        for (int round = 0; round < rounds; ++round) {
            int64_t oursBytes = 0, bareBytes = 0;
            auto runOurs = [&] {
                return Timed([&] {
                    CNetHttp http;
                    return http.Open(engine) && http.Download(url.c_str(), file, nullptr, 0) == 0;
                }, file, &oursBytes);
            };
            auto runBare = [&] {
                return Timed([&] {
                    int64_t got = engine == 1 ? BareWinInetDownload(L"127.0.0.1", port, argv[2], file)
                                              : BareWinHttpDownload(L"127.0.0.1", port, argv[2], file);
                    return got > 0;
                }, file, &bareBytes);
            };
            // Each goes first in every other round, so neither always finds the caches
            // the other warmed.
            double o = 0, b = 0;
            if (round % 2 == 0) {
                o = runOurs();
                b = runBare();
            } else {
                b = runBare();
                o = runOurs();
            }
            if (o < 0 || b < 0 || oursBytes != bareBytes) {
                fprintf(stderr, "engine %d: a download failed (ours %lld bytes, bare %lld)\n", engine,
                        static_cast<long long>(oursBytes), static_cast<long long>(bareBytes));
                return 1;
            }
            printf("engine %d round %d: ours %.3f s, bare loop %.3f s (%lld bytes, %.1f / %.1f MB/s)\n", engine,
                   round + 1, o, b, static_cast<long long>(oursBytes), oursBytes / o / 1048576.0,
                   bareBytes / b / 1048576.0);
            ours.push_back(o);
            bare.push_back(b);
        }
        ratios[engine] = Median(bare) / Median(ours);
        printf("engine %d: median ours %.3f s, bare loop %.3f s, ours at %.2fx the bare loop's speed\n", engine,
               Median(ours), Median(bare), ratios[engine]);
        fflush(stdout);
    }
    printf("download bench: engine 1 %.2f of the bare loop, engine 2 %.2f of the bare loop\n", ratios[1], ratios[2]);
    return 0;
}
