// Download throughput of CNetHttp: fetch_bench.exe <url> <local file> [engine]
// Prints "RESULT <bytes> <seconds>" for testkit/web/bench-download.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "WebFetch.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: fetch_bench.exe <url> <local file> [engine 1|2]\n");
        return 2;
    }
    DeleteFileA(argv[2]);
    CNetHttp http;
    if (!http.Open(argc > 3 ? atoi(argv[3]) : 1)) {
        fprintf(stderr, "engine not opened\n");
        return 1;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int result = http.Download(argv[1], argv[2], nullptr, 0);
    QueryPerformanceCounter(&end);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(argv[2], GetFileExInfoStandard, &data);
    unsigned long long bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    DeleteFileA(argv[2]);
    if (result != 0) {
        fprintf(stderr, "download failed: %d\n", result);
        return 1;
    }
    printf("RESULT %llu %.3f\n", bytes, seconds);
    return 0;
}
