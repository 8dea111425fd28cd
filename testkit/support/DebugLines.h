// Debugger output lines of this process, read in-process.
//
// OutputDebugString raises DBG_PRINTEXCEPTION_C (Wine does so for the wide form too,
// after converting the text to the ANSI code page); a vectored handler sees it first and
// keeps a copy of the line, then lets the system go on as without it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testkit {

class DebugLines {
public:
    DebugLines();   // starts collecting (the first instance installs the handler)
    ~DebugLines();  // the last instance removes it
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    void Clear();
    std::vector<std::wstring> Lines() const;
    // Lines holding `fragment`.
    size_t Count(const std::wstring& fragment) const;
    // Waits until at least `count` lines hold `fragment`; false at the time limit.
    bool WaitFor(const std::wstring& fragment, size_t count = 1, DWORD timeoutMs = 10000) const;
};

}  // namespace testkit
