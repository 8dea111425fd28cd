// Waits that keep the waiting thread's windows answering.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "PumpingJoin.h"

namespace {

// A message-only window of this thread that counts what other threads send it.
struct SentCounter {
    SentCounter() {
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~SentCounter() { DestroyWindow(window); }
    HWND window = nullptr;
};

}  // namespace

TEST(WaitZeroPumping, AnswersWhatTheCountedCallsSendHere) {
    SentCounter target;
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

TEST(WaitZeroPumping, KeepsAQuitForTheLoopOutside) {
    std::atomic<int> inside{1};
    PostQuitMessage(7);
    std::thread call([&] {
        Sleep(50);
        --inside;
    });
    vantor::WaitZeroPumping(inside);
    call.join();
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

TEST(WaitZeroPumping, ReturnsAtOnceAtZero) {
    std::atomic<int> inside{0};
    DWORD began = GetTickCount();
    vantor::WaitZeroPumping(inside);
    EXPECT_LT(GetTickCount() - began, 1000u);
}
