#include "UpdateFixture.h"

#include <aclapi.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

#include "FileDigest.h"
#include "Handles.h"
#include "NetDownloader.h"
#include "StagingFiles.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebFetch.h"
#include "WebServers.h"

namespace sutest {

std::wstring Wide(const std::string& text) { return vantor::AnsiToWide(text); }

std::wstring MakeProgramFolder(const std::wstring& name, const std::string& baseUrl, const std::string& build) {
    std::wstring folder = testkit::FreshDir(name);
    CreateDirectoryW((folder + L"config").c_str(), nullptr);
    testkit::WriteFileBytes(folder + L"config\\commprof.cfg",
                            "[CommonUrl]\r\nZumUrl=http://127.0.0.1:1/zum/\r\nSelfUpdate=" + baseUrl + "\r\n");
    testkit::WriteFileBytes(folder + L"config\\version.cfg", "[Product]\r\nversion=1.0.0\r\nbuild=" + build + "\r\n");
    folder.pop_back();
    return folder;
}

std::string UniqueSuite(const char* name) {
    static std::atomic<int> counter{0};
    return std::string(name) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
           std::to_string(GetTickCount() % 100000);
}

std::wstring StagedMd5Library() { return testkit::ProgramDir() + L"Md5.dll"; }

std::string Md5Of(const std::string& bytes) {
    // One update over all the bytes, not the digest's 512-byte blocks.
    selfupdate::Md5Library md5;
    if (!md5.Load(StagedMd5Library())) return std::string();
    MD5_CTX context;
    md5.init(&context);
    md5.update(&context, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
    unsigned char digest[16] = {};
    md5.final(digest, &context);
    char text[32] = {};
    md5.toHex(digest, text, 32);
    return std::string(text, 32);
}

std::string Pattern(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void WriteServed(const std::string& relative, const std::string& bytes) {
    std::wstring path = WebServers::Get().root;
    std::wstring rel = Wide(relative);
    size_t start = 0;
    for (size_t slash = rel.find(L'/'); slash != std::wstring::npos; slash = rel.find(L'/', start)) {
        path += rel.substr(start, slash - start) + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
        start = slash + 1;
    }
    ASSERT_TRUE(testkit::WriteFileBytes(path + rel.substr(start), bytes)) << relative;
}

std::string DescriptionText(const std::string& fileListUrl, const std::string& toVersion) {
    return "[updateinfo]\r\nfilelist=" + fileListUrl + "\r\ntoversion=" + toVersion + "\r\n";
}

std::string ListText(const std::vector<ListedFile>& files) {
    auto escaped = [](const std::string& value) {
        std::string out;
        for (char c : value) out += c == '&' ? std::string("&amp;") : std::string(1, c);
        return out;
    };
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<upgrade>\r\n";
    for (const ListedFile& f : files) {
        text += "  <file name=\"" + escaped(f.name) + "\" comment=\"\" dest=\"" + f.dest + "\" md5=\"" + f.md5 +
                "\" size=\"" + f.size + "\" cmd=\"\"/>\r\n";
    }
    return text + "</upgrade>\r\n";
}

std::vector<std::string> NginxLog(const std::string& text) {
    std::string log = testkit::ReadFileBytes(WebServers::Get().state + L"nginx-access.log");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        if (line.find(text) != std::string::npos) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> NginxLogOf(const std::string& text, size_t count) {
    std::vector<std::string> lines = NginxLog(text);
    for (ULONGLONG start = GetTickCount64(); lines.size() < count && GetTickCount64() - start < 10000;) {
        Sleep(100);
        lines = NginxLog(text);
    }
    return lines;
}

bool AnyLineHolds(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string RawReply(int status, const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

namespace {

bool Put(const std::string& path, const std::string& body) {
    bool ok = false;
    HINTERNET session = InternetOpenA("selfupdate-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection =
        session ? InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(WebServers::Get().fake), nullptr,
                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                : nullptr;
    HINTERNET request = connection ? HttpOpenRequestA(connection, "PUT", path.c_str(), nullptr, nullptr, nullptr,
                                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                   : nullptr;
    if (request && HttpSendRequestA(request, nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
        DWORD status = 0, size = sizeof status;
        ok = HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
             status == 200;
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (session) InternetCloseHandle(session);
    return ok;
}

}  // namespace

bool QueueReplies(const std::string& path, const std::vector<std::string>& rawReplies) {
    for (const std::string& reply : rawReplies) {
        if (!Put("/_queue" + path, reply)) return false;
    }
    return true;
}

selfupdate::CheckSettings SettingsFor(const std::wstring& programFolder, const std::string& baseUrl,
                                      const std::string& suite, const std::string& build) {
    selfupdate::CheckSettings settings;
    settings.programFolder = programFolder;
    settings.baseUrl = Wide(baseUrl);
    settings.suiteId = Wide(suite);
    settings.build = Wide(build);
    settings.retryPauseMs = 50;
    return settings;
}

namespace {

struct StopTarget {
    CNetHttp* http;
    HANDLE event;
} g_stopTarget;

void CALLBACK StopTransfers(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_stopTarget.http->Break();
    SetEvent(g_stopTarget.event);
}

}  // namespace

selfupdate::CheckOutcome CheckWithNet(const selfupdate::CheckSettings& settings, DWORD* elapsedMs, UINT stopAfterMs) {
    CNetHttp http;
    EXPECT_TRUE(http.Open(1));
    vantor::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_stopTarget = {&http, stop.get()};
    UINT_PTR timer = stopAfterMs ? SetTimer(nullptr, 0, stopAfterMs, &StopTransfers) : 0;
    selfupdate::NetDownloader downloader(http, stop.get());
    std::wstring library = StagedMd5Library();
    std::vector<selfupdate::FileEntry> entries;
    DWORD start = GetTickCount();
    selfupdate::CheckOutcome outcome =
        selfupdate::RunCheck(settings, downloader,
                             [&](const std::wstring& path, std::string* hex) {
                                 return selfupdate::FileDigest(library, path, hex);
                             },
                             &entries);
    if (elapsedMs) *elapsedMs = GetTickCount() - start;
    if (timer) KillTimer(nullptr, timer);
    return outcome;
}

std::string ReadText(const std::wstring& path) { return testkit::ReadFileBytes(path); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> TreeOf(const std::wstring& folder) {
    std::wstring base = folder;
    if (base.back() != L'\\') base += L'\\';
    std::set<std::wstring> files = selfupdate::FilesBelow(base);
    return std::vector<std::wstring>(files.begin(), files.end());
}

bool EveryoneMayRead(const std::wstring& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    vantor::UniqueLocal owned(descriptor);
    if (!dacl) return true;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return false;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    bool may = false;
    for (DWORD i = 0; i < dacl->AceCount && !may; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Header.AceFlags & INHERIT_ONLY_ACE) || !EqualSid(&ace->SidStart, everyone)) {
            continue;
        }
        ACCESS_MASK mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        may = (mask & FILE_READ_DATA) != 0;
    }
    FreeSid(everyone);
    return may;
}

}  // namespace sutest
