// The bare download loops the benchmark measures CNetHttp against: one engine's plain
// calls, 16 KiB reads, each written to the file as it comes.
#pragma once

#include <cstdint>

// Bytes written, or -1 when the download failed.
int64_t BareWinInetDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file);
int64_t BareWinHttpDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file);
