#include "DialogRig.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include "DialogDriver.h"
#include "FakeControl.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/CoreFront.h"

namespace rdtest {

int g_port = 0;
std::wstring g_stage;

namespace {

std::string Control(const std::string& what, const std::string& body) {
    return testkit::PostToFake(g_port, "/_ctl/" + what, body);
}

using testkit::FromHex;

}  // namespace

void ResetServer() { Control("reset", ""); }

void Queue(const std::string& action, const std::string& utf8Inner, const char* docId, int delayMs) {
    std::string reply = testkit::Ansi(
        (std::string("<lwData docId=\"") + docId + "\" opname=\"x\">" + utf8Inner + "</lwData>").c_str());
    std::string what = "queue?action=" + action;
    if (delayMs) what += "&delay=" + std::to_string(delayMs);
    Control(what, reply);
}

std::string Cell(const char* name, const char* utf8Text) {
    return std::string("<cell name=\"") + name + "\" type=\"8\">" + utf8Text + "</cell>";
}

std::vector<Post> Posts() {
    std::vector<Post> posts;
    std::string log = Control("log", "");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> f;
        size_t from = 0;
        for (;;) {
            size_t tab = line.find('\t', from);
            f.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (f.size() != 4) continue;
        Post p;
        std::string path = f[1];
        size_t slash = path.rfind('/');
        p.action = path.substr(slash + 1, path.size() - slash - 4);
        p.body = FromHex(f[3]);
        posts.push_back(p);
    }
    return posts;
}

FARPROC Dialogs(const char* name) {
    auto get = vantor::ProcAddress<PFN_RostDialogs_GetProcAddress>(GetModuleHandleW(L"CoreFront.dll"),
                                                                  "RostDialogs_GetProcAddress");
    return get ? get(name) : nullptr;
}

bool DialogsLoaded() { return GetModuleHandleW(L"RostDialogs.dll") != nullptr; }

bool WaitDialogsUnloaded(DWORD ms) {
    return testkit::PumpUntilDone([] { return !DialogsLoaded(); }, ms);
}

std::wstring Caption() {
    wchar_t caption[128] = {};
    GetPrivateProfileStringW(L"Dialog", L"Caption", L"", caption, 128,
                             (testkit::ProgramDir() + L"config\\uiprof.cfg").c_str());
    return caption;
}

std::vector<std::string> TraceLines() {
    return testkit::SplitLines(testkit::ReadFileBytes(testkit::ProgramDir() + L"trace.log"));
}

void ClearTrace() { DeleteFileW((testkit::ProgramDir() + L"trace.log").c_str()); }

bool Screenshot(HWND window, const wchar_t* name) {
    testkit::PumpUntilDone([] { return false; }, 300);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpUntilDone([] { return false; }, 200);
    testkit::Capture picture = testkit::CaptureWindow(window);
    std::wstring dir = g_stage + L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    return testkit::SaveBitmapFile(picture, dir + L"\\" + name);
}

namespace {

testkit::BookDescription SampleBook() {
    using testkit::BookFriend;
    using testkit::BookGroup;
    testkit::BookDescription book;
    BookGroup phone{L"10", L"电话好友", {}, {}};
    phone.friends.push_back({L"t1", L"张三", L"", L"13900000001"});
    BookGroup net{L"11", L"网络好友", {}, {}};
    net.friends.push_back({L"n1", L"小明", L"", L"13900000005", L"", L"", L"", {9}});
    net.friends.push_back({L"n2", L"", L"赵六"});
    net.groups.push_back({L"111", L"同事", {{L"n4", L"王五"}}, {}});
    net.groups.push_back({L"112", L"同学", {}, {}});
    book.roots = {phone, net};
    book.blackList.push_back({L"bad1", L"骚扰"});
    return book;
}

}  // namespace

Book::Book(const wchar_t* name) : fixture(name) {
    EXPECT_TRUE(fixture.WriteBook(SampleBook()));
    EXPECT_TRUE(fixture.Open(L"me", {9}));
    ResetServer();
    ClearTrace();
}

std::string Book::ContactFile() const {
    return testkit::ReadFileBytes(fixture.Folder() + fixture.Account() + L"\\rostledger.xml");
}

GroupHandle Book::Group(const char* id) const {
    typedef BOOL(WINAPI * EnumFn)(RostBaseHandle, DWORD, GroupEnumProc, UINT_PTR);
    struct Finder {
        const Book* book;
        std::string id;
        GroupHandle found;
        static BOOL CALLBACK Proc(GroupHandle g, GroupHandle, UINT_PTR user) {
            auto* self = reinterpret_cast<Finder*>(user);
            GroupInfoA info = {};
            self->book->fixture.Proc<BOOL(WINAPI*)(RostBaseHandle, GroupHandle, GroupInfoA*)>("RostBase_GetGroupInfoA")(
                self->book->fixture.Store(), g, &info);
            if (self->id == info.id) self->found = g;
            return TRUE;
        }
    };
    Finder finder{this, id, nullptr};
    fixture.Proc<EnumFn>("RostBase_EnumGroup")(fixture.Store(), 3, Finder::Proc, reinterpret_cast<UINT_PTR>(&finder));
    return finder.found;
}

FriendHandle Book::BlackListed(const char* id) const {
    typedef BOOL(WINAPI * EnumFn)(RostBaseHandle, FriendEnumProc, UINT_PTR);
    struct Finder {
        const Book* book;
        std::string id;
        FriendHandle found;
        static BOOL CALLBACK Proc(FriendHandle f, GroupHandle, UINT_PTR user) {
            auto* self = reinterpret_cast<Finder*>(user);
            FriendInfoA info = {};
            self->book->fixture.Proc<BOOL(WINAPI*)(RostBaseHandle, FriendHandle, FriendInfoA*)>(
                "RostBase_GetFriendInfoA")(self->book->fixture.Store(), f, &info);
            if (self->id == info.id) self->found = f;
            return TRUE;
        }
    };
    Finder finder{this, id, nullptr};
    fixture.Proc<EnumFn>("RostBase_EnumBlackList")(fixture.Store(), Finder::Proc, reinterpret_cast<UINT_PTR>(&finder));
    return finder.found;
}

FriendInfoA Book::Info(const wchar_t* id) const {
    FriendInfoA info = {};
    FriendHandle entry = Friend(id);
    if (entry)
        fixture.Proc<BOOL(WINAPI*)(RostBaseHandle, FriendHandle, FriendInfoA*)>("RostBase_GetFriendInfoA")(
            fixture.Store(), entry, &info);
    return info;
}

bool Book::HasGroupNamed(GroupHandle parent, const std::wstring& name) const {
    typedef BOOL(WINAPI * Fn)(RostBaseHandle, GroupHandle, const char*);
    auto exists = fixture.Proc<Fn>("RostBase_IsGroupNameExistsA");
    return exists && exists(fixture.Store(), parent, vantor::WideToAnsi(name).c_str());
}

}  // namespace rdtest
