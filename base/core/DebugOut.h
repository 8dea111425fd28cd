// Diagnostics: formatted lines to the debugger output, nothing else.
#pragma once

#include <string>

namespace vantor {

// printf-style, formatted into a 1024-character buffer like every diagnostic of the client.
void DebugLine(const wchar_t* format, ...);
void DebugLineA(const char* format, ...);

// Lines of a path that writes one for every block of a file, gathered and written
// together: a write costs about as much whatever it holds (under Wine a round trip to
// the server), so one write carries up to 1024 characters of lines. Not locked: its
// owner guards it, and writes what Add or Take hands back, outside its own locks.
class DebugBatch {
public:
    // Adds the formatted line; when it does not fit beside the lines gathered, those come
    // back to be written now and the line starts the next batch. Else empty.
    std::wstring Add(const wchar_t* format, ...);
    // The lines gathered, to be written now; the batch is empty afterwards.
    std::wstring Take();

private:
    std::wstring lines_;
};

// Writes lines as they stand (a batch, up to 1024 characters).
void DebugText(const std::wstring& lines);

}  // namespace vantor
