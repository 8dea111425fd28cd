// The offline-message window: one skinned dialog per service that collects the stored
// messages the IM server delivers after login, and tells the command center their count.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "OfflineView.h"
#include "SkinFrame.h"

namespace chatdesk {

constexpr int kOfflineDialog = 103;
constexpr int kOfflineEditId = 1008;
constexpr UINT kMsgShowOffline = WM_USER + 2025;  // wParam: const std::string* name, lParam: const ReceivedOffline*

struct ReceivedOffline;

class OfflineWindow : public CSkinFrame, public OfflineView {
public:
    OfflineWindow();

    // OfflineView
    bool Create(ImService& service) override;
    HWND Window() const override { return m_hWnd; }
    void Show() override;
    void ShowMessage(const uint8_t* msg, size_t length, bool formatted) override;
    void DestroyView() override;

    LONG Count() const { return count_; }

    // CSkinFrame
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    void OnNcDestroy() override;

private:
    // `name`: the sender's, looked up on the receive thread.
    void Take(const ReceivedOffline& message, const std::string& name);
    void Append(const std::string& text, const CHARFORMATA& format, bool replace);

    ImService* service_ = nullptr;
    CHARFORMATA displayFormat_ = {};
    CHARFORMATA messageFormat_ = {};
    volatile LONG count_ = 0;
    bool destroying_ = false;
};

}  // namespace chatdesk
