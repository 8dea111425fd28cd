// The zumbase stand-in as the wizard's tests drive it: its script and its call log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "Text.h"

namespace enroltest {

template <typename Fn> Fn ZumCall(HMODULE zum, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(zum, name)));
}

inline std::string ZumLog(HMODULE zum) {
    std::vector<char> buffer(1 << 16);
    ZumCall<int(__cdecl*)(char*, int)>(zum, "ZumStub_GetLog")(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

// Plays the script (UTF-8 here, ANSI for the stand-in) from a file of the folder and clears the log.
inline bool ZumPlay(HMODULE zum, const std::wstring& folder, const std::string& script) {
    std::wstring path = folder + L"platform.ini";
    if (!testkit::WriteFileBytes(path, testkit::Ansi(script.c_str()))) return false;
    if (!ZumCall<int(__cdecl*)(const char*)>(zum, "ZumStub_LoadScript")(vantor::WideToAnsi(path).c_str())) return false;
    ZumCall<void(__cdecl*)()>(zum, "ZumStub_ClearLog")();
    return true;
}

// "" when every piece stands in the text in this order; else what is missing, and where.
inline std::string MissingInOrder(const std::string& text, const std::vector<std::string>& pieces) {
    size_t at = 0;
    for (const std::string& piece : pieces) {
        size_t found = text.find(piece, at);
        if (found == std::string::npos) return "missing after " + std::to_string(at) + ": " + piece + "\n" + text;
        at = found + piece.size();
    }
    return "";
}

// The services the tests play: 3 and 11 not held yet, 9 held; service 11 carries the
// companion's login.
const char kThreeServices[] = R"([Customer]
account=new01
province=广东
city=深圳
[Services]
list=3,9,11
[Service.3]
name=天气
desc=本地天气
state=0
[Service.9]
name=通讯录
state=1
[Service.11]
name=棋牌
desc=棋牌游戏
state=0
codes=2
code0=qmz-user
code1=qmz-pass
)";

}  // namespace enroltest
