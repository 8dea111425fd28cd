// The dialog hook loader against the HookRelay stand-in, and the program-folder helpers,
// also from copies of this EXE in other program folders.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <string>

#include "DialogHook.h"
#include "ProgramFolder.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

using namespace vantor::imkit;

namespace {

// Set for copies of this EXE started by the tests below: the folder they must see as
// theirs, and the caption they must read there ("-" for none).
const wchar_t kChildFolder[] = L"IMKIT_CHILD_FOLDER";
const wchar_t kChildCaption[] = L"IMKIT_CHILD_CAPTION";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[2048];
    DWORD n = GetEnvironmentVariableW(name, value, 2048);
    return n > 0 && n < 2048 ? std::wstring(value, n) : std::wstring();
}

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HWND MakeDialog() {
    std::vector<WORD> tpl = testkit::DialogTemplate(120, 60, {{1, 0x0081, WS_BORDER | WS_TABSTOP, 6, 6, 80, 12, L""}});
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()),
                                      nullptr, PlainDialog, 0);
}

// Gives the running EXE's loader entry another file name for one scope.
class ScopedExeName {
public:
    explicit ScopedExeName(const std::wstring& path) : path_(path) {
        typedef NTSTATUS(NTAPI * QueryProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
        auto query = reinterpret_cast<QueryProcess>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
        PROCESS_BASIC_INFORMATION basic{};
        if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return;
        PEB* peb = basic.PebBaseAddress;
        LIST_ENTRY* head = &peb->Ldr->InMemoryOrderModuleList;
        for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
            auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
            if (entry->DllBase != GetModuleHandleW(nullptr)) continue;
            entry_ = entry;
            saved_ = entry->FullDllName;
            USHORT bytes = static_cast<USHORT>(path_.size() * sizeof(wchar_t));
            entry->FullDllName.Buffer = &path_[0];
            entry->FullDllName.Length = bytes;
            entry->FullDllName.MaximumLength = static_cast<USHORT>(bytes + sizeof(wchar_t));
            break;
        }
    }
    ~ScopedExeName() {
        if (entry_) entry_->FullDllName = saved_;
    }
    bool Active() const { return entry_ != nullptr; }

private:
    std::wstring path_;
    LDR_DATA_TABLE_ENTRY* entry_ = nullptr;
    UNICODE_STRING saved_{};
};

bool HookLibraryLoaded() { return GetModuleHandleW(L"HookRelay.dll") != nullptr; }

// Runs a copy of this EXE from `folder`, which becomes its program folder.
DWORD RunChildIn(const std::wstring& folder, const std::wstring& caption) {
    std::wstring exe = testkit::CopyThisExeTo(folder);
    if (exe.empty()) return testkit::kProgramDidNotStart;
    std::wstring bare = folder.substr(0, folder.size() - 1);
    return testkit::RunProgram(exe, L"--gtest_filter=ChildProgramFolder.*", folder,
                               {{kChildFolder, bare}, {kChildCaption, caption}}, 60000);
}

}  // namespace

TEST(DialogHook, TwoDialogsShareOneLoadOfTheLibrary) {
    ASSERT_FALSE(HookLibraryLoaded());
    HWND first = MakeDialog();
    HWND second = MakeDialog();
    ASSERT_TRUE(first && second);

    EXPECT_EQ(1, InstallDialogHook(first));
    HMODULE loaded = GetModuleHandleW(L"HookRelay.dll");
    ASSERT_NE(nullptr, loaded);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(loaded, path, MAX_PATH);
    EXPECT_EQ(testkit::ProgramDir() + L"HookRelay.dll", path);
    EXPECT_EQ(1, InstallDialogHook(second));
    EXPECT_EQ(loaded, GetModuleHandleW(L"HookRelay.dll"));

    EXPECT_EQ(1, UninstallDialogHook(first));
    EXPECT_TRUE(HookLibraryLoaded()) << "the second dialog still uses it";
    EXPECT_EQ(1, UninstallDialogHook(second));
    EXPECT_FALSE(HookLibraryLoaded());
    EXPECT_EQ(kHookNotInstalled, UninstallDialogHook(second)) << "nothing loaded any more";

    // A later dialog loads it afresh.
    EXPECT_EQ(1, InstallDialogHook(first));
    EXPECT_TRUE(HookLibraryLoaded());
    EXPECT_EQ(1, UninstallDialogHook(first));
    EXPECT_FALSE(HookLibraryLoaded());
    DestroyWindow(first);
    DestroyWindow(second);
}

TEST(DialogHook, FolderWithoutTheLibrary) {
    std::wstring dir = testkit::FreshDir(L"nohook");
    DialogHookLoader loader(dir + L"HookRelay.dll");
    HWND dialog = MakeDialog();
    EXPECT_EQ(kHookLibraryMissing, loader.Install(dialog));
    EXPECT_EQ(0x80004002u, static_cast<ULONG>(loader.Install(dialog)));
    EXPECT_EQ(0, loader.Uses()) << "a failed install counts nothing";
    EXPECT_EQ(kHookNotInstalled, loader.Uninstall(dialog));
    EXPECT_EQ(0x80004001u, static_cast<ULONG>(loader.Uninstall(dialog)));
    EXPECT_FALSE(HookLibraryLoaded());
    DestroyWindow(dialog);
}

TEST(ProgramFolderHelpers, FolderLoaderAndCaption) {
    std::wstring dir = testkit::ProgramDir();
    std::wstring bare = dir.substr(0, dir.size() - 1);
    EXPECT_EQ(bare, ProgramFolder());
    EXPECT_EQ(vantor::WideToAnsi(bare), ProgramFolderA());

    HMODULE hook = LoadFromProgramFolder(L"HookRelay.dll");
    ASSERT_NE(nullptr, hook);
    EXPECT_NE(nullptr, GetProcAddress(hook, "HookRelay_InstallHook"));
    FreeLibrary(hook);
    hook = LoadFromProgramFolderA("HookRelay.dll");
    EXPECT_NE(nullptr, hook);
    if (hook) FreeLibrary(hook);
    EXPECT_EQ(nullptr, LoadFromProgramFolder(L"NoSuchModule.dll"));
    EXPECT_EQ(nullptr, LoadFromProgramFolderA(""));

    // The shipped settings carry the Chinese caption.
    EXPECT_EQ(testkit::Wide("Vantor 服务客户端"), DialogCaption());
    EXPECT_EQ(testkit::Ansi("Vantor 服务客户端"), DialogCaptionA());
}

TEST(ProgramFolderHelpers, MissingSettingsGiveAnEmptyCaption) {
    std::wstring dir = testkit::FreshDir(L"nocaption");
    EXPECT_EQ(0u, RunChildIn(dir, L"-"));
}

TEST(ProgramFolderHelpers, LongCaptionIsCut) {
    std::wstring dir = testkit::FreshDir(L"longcaption");
    ASSERT_TRUE(CreateDirectoryW((dir + L"config").c_str(), nullptr));
    std::wstring caption;
    for (int i = 0; i < 70; ++i) caption += (i % 2 ? L'端' : L'客');
    std::string file = "[Dialog]\r\nCaption=" + vantor::WideToAnsi(caption) + "\r\n";
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"config\\uiprof.cfg", file));
    EXPECT_EQ(0u, RunChildIn(dir, caption.substr(0, kDialogCaptionChars)));
}

TEST(ProgramFolderHelpers, DeepProgramFolder) {
    std::wstring dir = testkit::FreshDir(L"deep");
    while (dir.size() < 300) {
        dir += L"程序文件夹的一层子目录_0123456789\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr)) << GetLastError();
    }
    ASSERT_TRUE(CreateDirectoryW((dir + L"config").c_str(), nullptr));
    std::wstring caption;
    for (int i = 0; i < 70; ++i) caption += (i % 2 ? L'端' : L'客');
    std::string file = "[Dialog]\r\nCaption=" + vantor::WideToAnsi(caption) + "\r\n";
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"config\\uiprof.cfg", file));
    // Programs can't be started from such a folder here, so this process is made to
    // look as if it had been: its own file name is the one the helpers read.
    {
        ScopedExeName pretend(dir + L"imkit_tests.exe");
        ASSERT_TRUE(pretend.Active());
        EXPECT_EQ(dir.substr(0, dir.size() - 1), ProgramFolder());
        EXPECT_EQ(vantor::WideToAnsi(dir.substr(0, dir.size() - 1)), ProgramFolderA());
        // The profile reader opens no path that long: the settings read as missing.
        EXPECT_EQ(L"", DialogCaption());
        EXPECT_EQ("", DialogCaptionA());
        EXPECT_EQ(nullptr, LoadFromProgramFolder(L"HookRelay.dll")) << "nothing of the real folder";
    }
    EXPECT_EQ(testkit::ProgramDir(), ProgramFolder() + L"\\");
}

// Runs only inside the copies started above.
TEST(ChildProgramFolder, SeesItsOwnFolder) {
    std::wstring expected = Variable(kChildFolder);
    if (expected.empty()) GTEST_SKIP() << "runs as a copy in another folder";
    EXPECT_EQ(expected, ProgramFolder());
    EXPECT_EQ(vantor::WideToAnsi(expected), ProgramFolderA());
    std::wstring caption = Variable(kChildCaption);
    EXPECT_EQ(caption == L"-" ? std::wstring() : caption, DialogCaption());
    EXPECT_EQ(nullptr, LoadFromProgramFolder(L"HookRelay.dll"));
}
