// Contact-file download: the server's lists rebuild "rostledger.xml" as a whole.
#include "PsCore.h"
#include "PresenceCore.h"

#include <vector>

#include "DebugOut.h"
#include "XmlFile.h"

namespace ps {

namespace {

const char kNoStamp[] = "00000000000000";
// Deeper nesting than any real contact book; a hostile reply cannot exhaust the stack.
const int kMaxGroupDepth = 64;
const wchar_t kDeclaration[] = L"<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadSyncStamp(const std::string& key) {
    std::vector<char> buffer(1024, '\0');
    GetPrivateProfileStringA("RostLedgerStamp", key.c_str(), kNoStamp, buffer.data(),
                             static_cast<DWORD>(buffer.size()), ConfigFile("run_prof.cfg").c_str());
    return std::string(buffer.data());
}

bool WriteSyncStamp(const std::string& key, const std::string& stamp) {
    return WritePrivateProfileStringA("RostLedgerStamp", key.c_str(), stamp.c_str(),
                                      ConfigFile("run_prof.cfg").c_str()) != FALSE;
}

// The server's stamp as it may be kept in run_prof.cfg: one line (a line break would
// start keys or sections of its own there) and no longer than the stamp reader takes.
std::string StorableStamp(const std::wstring& text) {
    std::string stamp;
    for (unsigned char c : vantor::WideToAnsi(text))
        if (c >= 0x20 && c != 0x7F) stamp += static_cast<char>(c);
    if (stamp.size() > 63) stamp.resize(vantor::WholeCharsPrefix(stamp.c_str(), stamp.size(), 63));
    return stamp;
}

// "1" (as a decimal number) sets a flag; anything else, including nothing, does not.
bool FlagSet(const std::wstring& text) { return !text.empty() && _wtoi(text.c_str()) == 1; }

// The whole file on disk, not only in the cache: it is about to replace the old one.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file.get());
}

// Room for server text in the file: a few times the record field that will hold it.
// A value of megabytes would make a start tag the reader refuses, and the whole book
// would be lost for one name.
const size_t kRoomPerFieldChar = 4;
const size_t kIdChars = 24;
const size_t kNameChars = 24;
const size_t kShortChars = 16;   // birthday, province, voip, mobile, phone, xlt; sex and age as text
const size_t kLongChars = 32;    // city, email

std::wstring CutToRoom(const std::wstring& value, size_t fieldChars) {
    size_t room = fieldChars * kRoomPerFieldChar;
    if (value.size() <= room) return value;
    // Never half a surrogate pair.
    if (IS_LOW_SURROGATE(value[room]) && IS_HIGH_SURROGATE(value[room - 1])) --room;
    return value.substr(0, room);
}

struct Builder {
    vantor::xml::XmlDoc& doc;
    bool failed = false;

    XmlNode Append(XmlNode& parent, const wchar_t* tag) {
        XmlNode child = parent.Append(doc.CreateElement(tag));
        if (!child) failed = true;
        return child;
    }
    void Set(XmlNode& element, const wchar_t* name, const std::wstring& value, size_t fieldChars) {
        if (!element.SetAttribute(name, CutToRoom(value, fieldChars))) failed = true;
    }

    void CopyGroupTree(XmlNode& parent, const XmlNode& container, int depth) {
        if (!container) return;
        if (depth >= kMaxGroupDepth) {
            vantor::DebugLine(L"PresenceCore: contact groups nested deeper than %d levels are left out\n", kMaxGroupDepth);
            return;
        }
        for (XmlNode item = container.FirstChildElement(); item && !failed; item = item.NextSiblingElement()) {
            std::wstring groupId, groupName, friendId, contact, sex, birthday, email, phone, mobile, province, city,
                age, voip, xlt;
            bool flagged = false;
            XmlNode nested;
            for (XmlNode value = item.FirstChildElement(); value; value = value.NextSiblingElement()) {
                Cell cell;
                if (!ReadCellNode(value, &cell)) continue;
                const std::wstring& n = cell.name;
                const std::wstring& t = cell.text;
                if (SameName(n, L"groupID")) groupId = t;
                else if (SameName(n, L"groupName")) groupName = t;
                else if (SameName(n, L"friendList")) nested = value;
                else if (SameName(n, L"friendID")) friendId = t;
                else if (SameName(n, L"contactname")) contact = t;
                else if (SameName(n, L"sex")) sex = t;
                else if (SameName(n, L"birthday")) birthday = t;
                else if (SameName(n, L"email")) email = t;
                else if (SameName(n, L"phone")) phone = t;
                else if (SameName(n, L"mobile")) mobile = t;
                else if (SameName(n, L"province")) province = t;
                else if (SameName(n, L"city")) city = t;
                else if (SameName(n, L"age")) age = t;
                else if (SameName(n, L"voip-number")) voip = t;
                else if (SameName(n, L"xiaolingtong")) xlt = t;
                else if (SameName(n, L"BlackState") || SameName(n, L"DelFlag") || SameName(n, L"FridDelFlag"))
                    flagged = flagged || FlagSet(t);
            }
            if (!groupId.empty()) {
                XmlNode group = Append(parent, L"Group");
                Set(group, L"id", groupId, kIdChars);
                Set(group, L"name", groupName, kNameChars);
                CopyGroupTree(group, nested, depth + 1);
            } else if (!friendId.empty() && !flagged) {
                XmlNode f = Append(parent, L"Friend");
                const struct { const wchar_t* name; const std::wstring* value; size_t chars; } attrs[] = {
                    {L"id", &friendId, kIdChars},         {L"nickname", &contact, kNameChars},
                    {L"name", &contact, kNameChars},      {L"sex", &sex, kShortChars},
                    {L"birthday", &birthday, kShortChars}, {L"email", &email, kLongChars},
                    {L"voip", &voip, kShortChars},        {L"phone", &phone, kShortChars},
                    {L"mobile", &mobile, kShortChars},    {L"xlt", &xlt, kShortChars},
                    {L"province", &province, kShortChars}, {L"city", &city, kLongChars},
                    {L"age", &age, kShortChars}};
                for (const auto& a : attrs) Set(f, a.name, *a.value, a.chars);
            }
        }
    }
};

PsResult Download(Form textForm, const std::wstring& path, const std::string& stampKey) {
    // Without the file an "unchanged" answer would never bring it back: ask for all.
    std::string stamp = FileExists(path) ? ReadSyncStamp(stampKey) : std::string(kNoStamp);
    FormText form;
    form.Add("time", stamp);
    Reply reply;
    PsResult r = PsRequest(reply, textForm, "IncrementGetAddressList", form.Text());
    if (r != PS_OK) return r;

    vantor::xml::XmlDoc out;
    if (!out.Create()) return PS_REPLY_NOT_XML;
    Builder builder{out};
    XmlNode root = out.Append(out.CreateElement(L"AddressList"));
    if (!root) return PS_REPLY_NOT_XML;
    builder.Set(root, L"version", L"1.0", kShortChars);

    std::wstring newStamp;
    WalkReplyCells(reply, [&](const Cell& cell, const XmlNode& node) {
        if (SameName(cell.name, L"time")) {
            newStamp = cell.text;
        } else if (SameName(cell.name, L"groupList")) {
            std::wstring listId;
            XmlNode container;
            bool hasChildren = false;
            for (XmlNode value = node.FirstChildElement(); value; value = value.NextSiblingElement()) {
                hasChildren = true;
                Cell v;
                if (!ReadCellNode(value, &v)) continue;
                if (SameName(v.name, L"groupID")) listId = v.text;
                else if (SameName(v.name, L"friendList")) container = value;
            }
            if (hasChildren) {
                XmlNode list = builder.Append(root, listId == L"0" ? L"BlackList" : L"FriendList");
                builder.Set(list, L"id", listId, kIdChars);
                builder.CopyGroupTree(list, container, 0);
            }
        }
        return true;
    });
    std::string keptStamp = StorableStamp(newStamp);
    if (keptStamp.empty()) return PS_OK;
    if (builder.failed) {
        vantor::DebugLine(L"PresenceCore: the contact file could not be built\n");
        return PS_SAVE_FAILED;
    }

    // The contact store changes the file under the same lock: a replace between its
    // read and its save would be written over.
    vantor::xml::FileWriterLock writer(path);
    if (!writer) return PS_SAVE_FAILED;
    std::wstring tmp = path + L".tmp";
    // Code page 936; characters it cannot hold become character references, so nothing
    // the server sent is lost.
    std::string bytes =
        vantor::xml::EncodeWithReferences(std::wstring(kDeclaration) + root.Xml() + L"\r\n", 936);
    if (!WriteWholeFile(tmp, bytes)) {
        vantor::DebugLine(L"PresenceCore: %ls could not be written (error %lu)\n", tmp.c_str(), GetLastError());
        DeleteFileW(tmp.c_str());
        return PS_SAVE_FAILED;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A rename, never a copy over the old file: a process that ends half-way through a
    // copy leaves a short file, and the stamp would then keep the book empty for good.
    if (!MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // The old file stays, and so does its stamp: the next download asks again for
        // everything this one would have brought.
        vantor::DebugLine(L"PresenceCore: %ls could not be replaced (error %lu)\n", path.c_str(), GetLastError());
        DeleteFileW(tmp.c_str());
        return PS_SAVE_FAILED;
    }
    if (!WriteSyncStamp(stampKey, keptStamp)) return PS_SAVE_FAILED;
    return PS_OK;
}

}  // namespace

}  // namespace ps

using namespace ps;

extern "C" int __stdcall PS_Cco_DownloadA(const char* path) {
    return Guard([&] {
        if (!path || !*path) return static_cast<int>(PS_SAVE_FAILED);
        return Download(Form::Ansi, vantor::AnsiToWide(path), path);
    });
}

extern "C" int __stdcall PS_Cco_DownloadW(const wchar_t* path) {
    return Guard([&] {
        if (!path || !*path) return static_cast<int>(PS_SAVE_FAILED);
        return Download(Form::Wide, path, vantor::WideToAnsi(path));
    });
}
