// A chat window stand-in for the service's registry and router: a hidden window that
// registers under its peer and counts what reaches it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "ChatWindow.h"
#include "ImService.h"

namespace cdtest {

struct DoubleCounts {
    std::atomic<int> made{0};
    std::atomic<int> texts{0};
    std::atomic<int> receipts{0};
    std::atomic<int> linkAttempts{0};
    std::atomic<int> recordCommands{0};  // WM_COMMAND 1002
    std::atomic<int> destroyed{0};
    std::atomic<int> records{0};         // TakeRecord
};

class ChatDouble : public chatdesk::ChatWindow {
public:
    explicit ChatDouble(DoubleCounts& counts) : counts_(counts) { ++counts_.made; }

    bool CreateDialogWindow(chatdesk::ImService& service) override;
    HWND Window() const override { return window_; }
    void DestroyDialogWindow() override {
        if (window_) DestroyWindow(window_);
    }
    void StartLinkAttempt() override { ++counts_.linkAttempts; }
    void OpenRecordView() override {
        if (window_) PostMessageW(window_, WM_COMMAND, 1002, 0);
    }
    void TakeRecord(const FriendInfoA&) override { ++counts_.records; }
    void OnChatText(chatdesk::ImConnection*, const uint8_t*, size_t, bool) override { ++counts_.texts; }
    void OnChatTextReceipt(const uint8_t*, size_t) override { ++counts_.receipts; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DoubleCounts& counts_;
    chatdesk::ImService* service_ = nullptr;
    std::string key_;
    HWND window_ = nullptr;
};

class DoubleFactory : public chatdesk::ChatWindowFactory {
public:
    chatdesk::ChatWindow* MakeChatWindow() override { return new ChatDouble(counts); }
    DoubleCounts counts;
};

}  // namespace cdtest
