#include "ProxyQueue.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "DebugOut.h"
#include "Handles.h"

namespace presence {

namespace {

// A store larger than this is no queue the writer made: it is emptied unread.
const DWORD kMaxStoreBytes = 16u << 20;
// Tries at opening the store while the writer has it open.
const int kOpenTries = 20;
const DWORD kOpenPauseMs = 50;

struct StoredSection {
    std::string text;                 // the section as the file holds it, header first
    std::vector<std::string> lines;   // its lines after the header
};

// Opens the store for this reader alone, so that nothing is written between its read
// and its rewrite. Null when it is missing or stays busy.
vantor::UniqueHandle OpenAlone(const std::string& path) {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        vantor::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        if (GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(kOpenPauseMs);
    }
    return vantor::UniqueHandle();
}

bool ReadAll(HANDLE file, std::string* bytes) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) return false;
    if (size.QuadPart > kMaxStoreBytes) {
        vantor::DebugLine(L"\t代理事务文件过大，已清空\n");
        return true;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size());
}

bool Replace(HANDLE file, const std::string& bytes) {
    DWORD wrote = 0;
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file) &&
           (bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                              wrote == bytes.size()));
}

// Every section the store holds, and the store emptied: one read, one rewrite.
bool TakeStore(const std::string& path, std::string* bytes) {
    vantor::UniqueHandle file = OpenAlone(path);
    if (!file || !ReadAll(file.get(), bytes)) return false;
    if (!Replace(file.get(), std::string())) {
        vantor::DebugLine(L"\t代理事务无法从文件中删除，本次处理结束\n");
        bytes->clear();
        return false;
    }
    return true;
}

// Puts sections not handled back in front of what was stored meanwhile.
void PutBack(const std::string& path, const std::string& sections) {
    vantor::UniqueHandle file = OpenAlone(path);
    std::string later;
    if (!file || !ReadAll(file.get(), &later) || !Replace(file.get(), sections + later)) {
        vantor::DebugLine(L"\t未处理的代理事务无法写回文件\n");
    }
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The sections in file order, each however its name is written and however often.
std::vector<StoredSection> Sections(const std::string& bytes) {
    std::vector<StoredSection> sections;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        size_t next = end == std::string::npos ? bytes.size() : end + 1;
        std::string line = bytes.substr(at, next - at);
        std::string content = Trimmed(line);
        if (!content.empty() && content[0] == '[') {
            sections.push_back(StoredSection());
        } else if (!sections.empty()) {
            sections.back().lines.push_back(content);
        }
        if (!sections.empty()) sections.back().text += line;
        at = next;
    }
    for (StoredSection& section : sections) {
        if (!section.text.empty() && section.text.back() != '\n') section.text += "\r\n";
    }
    return sections;
}

// A key's value as the profile reader gives it: the first line of the key (without
// case), trimmed, one pair of enclosing quotes taken off.
std::string Value(const StoredSection& section, const char* key) {
    for (const std::string& line : section.lines) {
        size_t equals = line.find('=');
        if (equals == std::string::npos || lstrcmpiA(Trimmed(line.substr(0, equals)).c_str(), key) != 0) continue;
        std::string value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::string();
}

int Number(const StoredSection& section, const char* key) {
    long value = strtol(Value(section, key).c_str(), nullptr, 10);
    return static_cast<int>(value);
}

ProxyMessage MessageOf(const StoredSection& section) {
    ProxyMessage m;
    m.kind = Number(section, "opencode");
    m.id = Value(section, "ID").substr(0, 31);
    m.nickname = Value(section, "NA").substr(0, 63);
    m.message = Value(section, "M").substr(0, 259);
    m.answer = Number(section, "S");
    return m;
}

}  // namespace

void ProcessProxyStore(const std::string& path, WorkSignals& signals,
                       const std::function<void(const ProxyMessage&)>& handle) {
    // Each round takes every section stored so far out of the file before any is
    // handled, so a message is handled at most once even when the program stops; what a
    // stop leaves unhandled goes back. Rounds go on while the writer adds more.
    while (!signals.Stopped()) {
        std::string bytes;
        if (!TakeStore(path, &bytes)) return;
        std::vector<StoredSection> sections = Sections(bytes);
        if (sections.empty()) return;
        for (size_t i = 0; i < sections.size(); ++i) {
            if (signals.Stopped()) {
                std::string rest;
                for (size_t j = i; j < sections.size(); ++j) rest += sections[j].text;
                PutBack(path, rest);
                break;
            }
            vantor::DebugLine(L"\t读取到一条代理事务，开始处理\n");
            handle(MessageOf(sections[i]));
            vantor::DebugLine(L"\t本条代理事务处理结束\n");
        }
    }
    vantor::DebugLine(L"\t在处理代理事务的时候，接受到了停止事件\n");
}

}  // namespace presence
