// The bare download loops the benchmark measures CNetHttp against: one engine's plain
// calls, 16 KiB reads, each written to the file as it comes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// Bytes written, or -1 when the download failed.
int64_t BareWinInetDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file);
int64_t BareWinHttpDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file);

// The loop both engines share: 16 KiB reads, each written to `out` as it comes, until
// `read` gives 0 bytes. Bytes written, or -1 when a read failed.
template <typename Read>
int64_t CopyByReads(HANDLE out, Read read) {
    std::vector<char> buffer(16384);
    int64_t total = 0;
    for (;;) {
        DWORD got = 0, written = 0;
        if (!read(buffer.data(), static_cast<DWORD>(buffer.size()), &got)) return -1;
        if (got == 0) return total;
        WriteFile(out, buffer.data(), got, &written, nullptr);
        total += got;
    }
}
