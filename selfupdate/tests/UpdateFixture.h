// What the upgrade tests share: program folders of their own, the upgrade tree in the
// loopback nginx root, programmed replies of the fake server, digests and the nginx log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "UpdateSteps.h"

namespace sutest {

// A fresh program folder (no trailing backslash) with config\commprof.cfg pointing at
// baseUrl and config\version.cfg holding build.
std::wstring MakeProgramFolder(const std::wstring& name, const std::string& baseUrl, const std::string& build);

// A suite id no other run uses, so each test has its own branch of the upgrade tree.
std::string UniqueSuite(const char* name);

// MD5 of bytes, lower case, through the staged Md5.dll.
std::string Md5Of(const std::string& bytes);
// The staged Md5.dll.
std::wstring StagedMd5Library();
// Bytes that differ from test to test.
std::string Pattern(size_t size, unsigned seed);

// A file of the upgrade tree below the nginx root ("update/..." with "/" separators).
void WriteServed(const std::string& relative, const std::string& bytes);
// "[updateinfo]" text of a description.
std::string DescriptionText(const std::string& fileListUrl, const std::string& toVersion);
struct ListedFile {
    std::string name, dest, md5;
    std::string size = "0";
};
std::string ListText(const std::vector<ListedFile>& files);

// The nginx access log lines that hold text ("GET /path range=\"...\" status=N bytes=N").
std::vector<std::string> NginxLog(const std::string& text);
// The same once at least count lines are there, or after ten seconds: nginx writes a
// request's line when its reply has gone out or its connection ended, and a client
// closes a connection whose reply is still coming a while later (when its process ends
// at the latest).
std::vector<std::string> NginxLogOf(const std::string& text, size_t count);
// Whether one of lines holds text. Log lines come in the order their connections ended,
// not the order of the requests.
bool AnyLineHolds(const std::vector<std::string>& lines, const std::string& text);
// The fake server's replies for path, in order; the last one repeats.
bool QueueReplies(const std::string& path, const std::vector<std::string>& rawReplies);
std::string RawReply(int status, const std::string& body, const std::string& extraHeaders = "");

// Steps with a real CNetHttp and the staged Md5.dll, as the monitor runs them; with
// stopAfterMs the transfers are broken off that long after the start, as a stop would.
selfupdate::CheckOutcome CheckWithNet(const selfupdate::CheckSettings& settings, DWORD* elapsedMs = nullptr,
                                      UINT stopAfterMs = 0);
selfupdate::CheckSettings SettingsFor(const std::wstring& programFolder, const std::string& baseUrl,
                                      const std::string& suite, const std::string& build);

std::string ReadText(const std::wstring& path);
bool Exists(const std::wstring& path);
std::wstring Wide(const std::string& text);
// Every file below folder, relative, sorted (for "nothing outside" checks).
std::vector<std::wstring> TreeOf(const std::wstring& folder);
// Whether the DACL of path lets everybody (the world) read its data.
bool EveryoneMayRead(const std::wstring& path);

}  // namespace sutest
