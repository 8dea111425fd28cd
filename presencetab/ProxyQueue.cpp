#include "ProxyQueue.h"

#include <windows.h>

#include "DebugOut.h"

namespace presence {

namespace {

// The writer numbers its sections, so 64 characters hold any name it makes.
const DWORD kNameChars = 64;

std::string FirstSection(const std::string& path) {
    char names[kNameChars] = {};
    GetPrivateProfileSectionNamesA(names, kNameChars, path.c_str());
    return names;
}

std::string ReadText(const std::string& path, const std::string& section, const char* key, DWORD chars) {
    std::string value(chars + 1, '\0');
    DWORD n = GetPrivateProfileStringA(section.c_str(), key, "", &value[0], chars + 1, path.c_str());
    value.resize(n);
    return value;
}

}  // namespace

void ProcessProxyStore(const std::string& path, WorkSignals& signals,
                       const std::function<void(const ProxyMessage&)>& handle) {
    while (!signals.Stopped()) {
        std::string section = FirstSection(path);
        if (section.empty()) return;
        ProxyMessage m;
        m.kind = static_cast<int>(GetPrivateProfileIntA(section.c_str(), "opencode", 0, path.c_str()));
        m.id = ReadText(path, section, "ID", 31);
        m.nickname = ReadText(path, section, "NA", 63);
        m.message = ReadText(path, section, "M", 259);
        m.answer = static_cast<int>(GetPrivateProfileIntA(section.c_str(), "S", 0, path.c_str()));
        vantor::DebugLine(L"\t读取到一条代理事务，开始处理\n");
        WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, path.c_str());
        // A section that cannot be removed (a read-only file, a name longer than the
        // names read) would come back first on every round and at every later run: it is
        // left alone, so it is never handled twice.
        if (FirstSection(path) == section) {
            vantor::DebugLine(L"\t代理事务无法从文件中删除，本次处理结束\n");
            return;
        }
        handle(m);
        vantor::DebugLine(L"\t本条代理事务处理结束\n");
    }
    vantor::DebugLine(L"\t在处理代理事务的时候，接受到了停止事件\n");
}

}  // namespace presence
