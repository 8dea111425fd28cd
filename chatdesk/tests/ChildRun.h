// The ChatDesk tests run in child copies of this program, each in a program folder of its
// own with the libraries, a generated "config\psimprof.cfg" and the status pictures; the
// client listens and connects on an address of this test's own.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ImFake.h"

namespace cdtest {

// The client's address and port; test peers use the addresses after it.
extern const char* const kClientAddress;
extern const char* const kPeerAddress;
extern const char* const kOtherPeerAddress;
// The address of this tree's loopback network that ends in `last`.
std::string LoopbackAddress(int last);
constexpr unsigned short kClientPort = 60028;

// True in a child run of `mode`; InChild: in any child run.
bool ChildMode(const char* mode);
bool InChild();
// Fills a program folder (with its trailing backslash) with the client's libraries, skins,
// status pictures and a "config\psimprof.cfg" for a client listening on `address`
// (kClientAddress when null) and logging in through the fake's gatekeeper.
bool StageClientFolder(const std::wstring& dir, const char* address = nullptr);
// Runs the child tests of `mode` (gtest filter) in a fresh program folder; true when all passed.
// The child's client listens on `address` (kClientAddress when null).
bool RunChild(const char* mode, const char* filter, DWORD timeoutMs = 150000, const char* address = nullptr);

// The fake, reset between tests.
const testkit::ImFake& Fake();
void ResetFake();
// Lines of the fake's logs.
std::vector<std::string> FakeLines(const std::string& route);
// Frames the fake received: hex bytes of each frame of `code` and direction "in".
std::vector<std::string> FakeFramesIn(const std::string& code);
// The same of the frames it sent (direction "out").
std::vector<std::string> FakeFramesOut(const std::string& code);
size_t GatekeeperPosts();
bool HasSession(const std::string& id);
// A peer's received frames: (link kind, bytes).
std::vector<std::pair<std::string, std::string>> PeerFrames(const std::string& id, const std::string& code);
std::string Unhex(const std::string& hex);

// The client's listening address and port.
sockaddr_in ClientEndpoint();

// Polls `test` until it holds or the time is up, pumping this thread's messages.
template <typename Test>
bool Eventually(Test test, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (test()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(50);
    }
}

// Pumps this thread's messages for a while.
void PumpFor(DWORD ms);

// Threads of this process; those that started in the code of `module`.
size_t ThreadCount();
size_t ThreadsStartedIn(HMODULE module);

// The tests of one child run: skipped elsewhere; each starts with the fake reset and the
// contact book in place.
class ChildTest : public ::testing::Test {
protected:
    explicit ChildTest(const char* mode) : mode_(mode) {}
    void SetUp() override;

private:
    const char* mode_;
};

}  // namespace cdtest
