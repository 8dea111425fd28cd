#include "ServiceSettings.h"

#include <windows.h>

#include <cwchar>

#include "ContactRecords.h"
#include "Handles.h"
#include "ModulePath.h"
#include "XmlFile.h"
#include "outside/RostLedger.h"

namespace animtab {
namespace {

using vantor::xml::XmlDoc;
using vantor::xml::XmlNode;

// Board number i switches on this entry.
const wchar_t* const kBoardServices[] = {L"service8", L"service2", L"service6", L"service1",
                                         L"service4", L"service3", L"service5"};

void SetStatus(const XmlNode& navigation, const std::wstring& entry, const wchar_t* status) {
    XmlNode service = navigation.SelectSingleNode(entry + L"/service");
    if (service) service.SetAttribute(L"status", status);
}

DWORD GameValue(HKEY parent, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG r = RegQueryValueExW(key, L"Game", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && size == sizeof value ? value : 0;
}

}  // namespace

void ReadInstalledPrograms(ServiceFacts* facts) {
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\", 0, KEY_READ, &root) != ERROR_SUCCESS) return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        LONG r = RegEnumKeyExW(root, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) continue;  // a name this long is no program of ours
        if (r != ERROR_SUCCESS) break;
        if (lstrcmpiW(name, L"Mirn") == 0) facts->mirnPresent = true;
        else if (GameValue(root, name) != 0) facts->gamePresent = true;
    }
    RegCloseKey(root);
}

void ReadAccountBoards(HostContext book, ServiceFacts* facts) {
    vantor::UniqueModule ledger(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    FriendHandle account = current ? current(book) : 0;
    if (!account) return;
    facts->knownAccount = true;
    auto boards = vantor::ProcAddress<PFN_RostLedger_GetFriendServiceBoardsW>(ledger.get(),
                                                                             "RostLedger_GetFriendServiceBoardsW");
    auto boardId = vantor::ProcAddress<PFN_RostLedger_GetServiceBoardIdW>(ledger.get(), "RostLedger_GetServiceBoardIdW");
    if (!boards || !boardId) return;
    DWORD count = 0;
    if (!boards(book, account, nullptr, &count) || count == 0) return;
    std::vector<ServiceBoardInfoW> records(count);
    if (!boards(book, account, records.data(), &count)) return;
    if (count > records.size()) count = static_cast<DWORD>(records.size());
    for (DWORD i = 0; i < count; ++i) {
        wchar_t id[SERVICE_BOARD_ID_CHARS + 1] = {};
        if (!boardId(&records[i], id)) continue;
        id[SERVICE_BOARD_ID_CHARS] = 0;
        facts->boards.push_back(wcstol(id, nullptr, 10));
    }
}

void ApplyServiceStatuses(const ServiceFacts& facts, const XmlDoc& doc) {
    XmlNode root = doc.Root();
    XmlNode navigation = root ? root.SelectSingleNode(L"navigation") : XmlNode();
    if (!navigation) return;
    for (XmlNode child = navigation.FirstChild(); child; child = child.NextSibling()) {
        if (!child.IsElement()) continue;
        XmlNode service = child.SelectSingleNode(L"service");
        if (service) service.SetAttribute(L"status", L"0");
    }
    if (facts.gamePresent) SetStatus(navigation, L"service7", L"1");
    if (facts.mirnPresent) SetStatus(navigation, L"service5", L"1");
    if (!facts.knownAccount) {
        for (int i = 1; i <= 8; ++i) SetStatus(navigation, L"service" + std::to_wstring(i), L"1");
    }
    for (long board : facts.boards) {
        if (board >= 0 && board <= 6) SetStatus(navigation, kBoardServices[board], L"1");
    }
    SetStatus(navigation, L"service9", L"1");
}

bool PrepareServiceSettings(const std::wstring& programDir, HostContext book) {
    ServiceFacts facts;
    ReadInstalledPrograms(&facts);
    std::wstring path = programDir + L"resource\\TabDeck\\flash\\config.xml";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    vantor::xml::XmlFile file;
    XmlDoc doc;
    if (!file.Load(path, &doc)) return false;
    ReadAccountBoards(book, &facts);
    ApplyServiceStatuses(facts, doc);
    return file.Save(doc, path);
}

}  // namespace animtab
