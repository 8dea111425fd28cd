// Waits that keep the waiting thread's windows answering.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "Handles.h"
#include "PumpingJoin.h"

namespace {

const UINT kQuitNow = WM_APP + 1;
const UINT kPostAgain = WM_APP + 2;
bool g_postAgain = false;

// A message-only window of this thread. Another thread's kQuitNow makes this thread
// quit, as a host's window does when it is closed.
struct HostWindow {
    HostWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PumpingTestsHost";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
    }
    ~HostWindow() { DestroyWindow(window); }
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kQuitNow) {
            PostQuitMessage(static_cast<int>(wParam));
            return 0;
        }
        if (message == kPostAgain) {
            // Taken up later, as a handler does that meets a wait already running.
            if (g_postAgain) PostMessageW(window, kPostAgain, 0, 0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window = nullptr;
};

// The thread's own loop after the wait: the exit code of the WM_QUIT it ends on, or -1
// when none came within a second.
int OwnLoopQuitCode() {
    DWORD began = GetTickCount();
    while (GetTickCount() - began < 1000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
    return -1;
}

}  // namespace

TEST(WaitZeroPumping, AnswersWhatTheCountedCallsSendHere) {
    HostWindow target;
    ASSERT_NE(nullptr, target.window);
    std::atomic<int> inside{2};
    std::atomic<int> answered{0};
    auto call = [&] {
        // Each call needs this thread before it can leave: a wait without pumping never ends.
        SendMessageW(target.window, WM_NULL, 0, 0);
        ++answered;
        --inside;
    };
    std::thread first(call), second(call);
    vantor::WaitZeroPumping(inside);
    EXPECT_EQ(0, inside.load());
    EXPECT_EQ(2, answered.load());
    first.join();
    second.join();
}

TEST(WaitZeroPumping, ReturnsAtOnceAtZero) {
    std::atomic<int> inside{0};
    DWORD began = GetTickCount();
    vantor::WaitZeroPumping(inside);
    EXPECT_LT(GetTickCount() - began, 1000u);
}

// In every form: the host quits while the wait runs (a worker's message makes it), the
// worker then still needs this thread (it sends here) before it ends. The wait answers
// it, returns, and the quit reaches the thread's own loop.
TEST(PumpingWaits, KeepAQuitThatComesDuringTheWaitForTheOwnLoop) {
    HostWindow host;
    ASSERT_NE(nullptr, host.window);
    struct Form {
        const char* name;
        std::function<void(HANDLE worker, HANDLE ended, const std::atomic<int>& working)> wait;
    };
    const Form forms[] = {
        {"thread", [](HANDLE worker, HANDLE, const std::atomic<int>&) { vantor::JoinPumping(worker); }},
        {"handle", [](HANDLE, HANDLE ended, const std::atomic<int>&) { EXPECT_TRUE(vantor::WaitPumping(ended)); }},
        {"handle with a time limit",
         [](HANDLE, HANDLE ended, const std::atomic<int>&) { EXPECT_TRUE(vantor::WaitPumping(ended, 10000)); }},
        {"handle past its time limit",
         [](HANDLE, HANDLE, const std::atomic<int>&) {
             vantor::UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
             EXPECT_FALSE(vantor::WaitPumping(never.get(), 400));
         }},
        {"counter", [](HANDLE, HANDLE, const std::atomic<int>& working) { vantor::WaitZeroPumping(working); }},
        {"condition",
         [](HANDLE, HANDLE, const std::atomic<int>& working) {
             EXPECT_TRUE(vantor::PumpUntil([&] { return working.load() == 0; }));
         }},
        {"condition past its time limit",
         [](HANDLE, HANDLE, const std::atomic<int>&) { EXPECT_FALSE(vantor::PumpUntil([] { return false; }, 400)); }},
    };
    int code = 10;
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        ++code;
        struct Worker {
            HWND host;
            int code;
            vantor::UniqueHandle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
            std::atomic<int> working{1};
            static DWORD WINAPI Run(void* raw) {
                auto* self = static_cast<Worker*>(raw);
                Sleep(50);
                PostMessageW(self->host, kQuitNow, self->code, 0);
                Sleep(50);
                SendMessageW(self->host, WM_NULL, 0, 0);
                --self->working;
                SetEvent(self->ended.get());
                return 0;
            }
        } work{host.window, code};
        vantor::UniqueHandle thread(CreateThread(nullptr, 0, &Worker::Run, &work, 0, nullptr));
        ASSERT_TRUE(thread);
        form.wait(thread.get(), work.ended.get(), work.working);
        EXPECT_EQ(0, work.working.load());
        WaitForSingleObject(thread.get(), INFINITE);
        EXPECT_EQ(code, OwnLoopQuitCode());
    }
}

TEST(PumpingWaits, AnUnusableHandleEndsTheWaitWithItsError) {
    EXPECT_FALSE(vantor::WaitPumping(nullptr));
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    EXPECT_FALSE(vantor::WaitPumping(closed, 1000));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(PumpingWaits, AMessageThatPostsItselfAgainHoldsNoWait) {
    HostWindow host;
    ASSERT_NE(nullptr, host.window);
    g_postAgain = true;
    PostMessageW(host.window, kPostAgain, 0, 0);
    vantor::UniqueHandle set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread setter([&] {
        Sleep(100);
        SetEvent(set.get());
    });
    DWORD began = GetTickCount();
    EXPECT_TRUE(vantor::WaitPumping(set.get()));
    EXPECT_LT(GetTickCount() - began, 3000u);
    setter.join();
    vantor::UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    began = GetTickCount();
    EXPECT_FALSE(vantor::WaitPumping(never.get(), 200));
    EXPECT_LT(GetTickCount() - began, 3000u);
    began = GetTickCount();
    EXPECT_FALSE(vantor::PumpUntil([] { return false; }, 200));
    EXPECT_LT(GetTickCount() - began, 3000u);
    g_postAgain = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}
