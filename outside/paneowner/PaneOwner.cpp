// PaneOwner stand-in: the pane told when service panes close. The self-service pane posts
// WM_COMMAND 1827, the after-sale pane and the member form post message 3024, the settings
// pane sends command 1; each time the owner asks the tab manager to go back to its first
// tab, which hides the pane shown, and lists what it was told.
#include "PaneKit.h"

#include <deque>

#include "outside/TabDeck.h"

namespace {

const UINT kPaneClosed = 3024;
const UINT kSelfServiceClosed = 1827;
const size_t kNoticesShown = 8;

class PaneOwner : public panekit::Pane {
public:
    PaneOwner() : Pane(RGB(200, 120, 40)) {}

    void Refresh() override {
        std::vector<std::wstring> lines = {L"服务窗口关闭时通知这里，这里把它隐藏并回到第一个标签页。"};
        if (notices_.empty()) lines.push_back(L"还没有收到关闭通知。");
        lines.insert(lines.end(), notices_.begin(), notices_.end());
        SetText(L"服务窗口管理", lines);
    }

    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kPaneClosed) {
            HidePane(lParam ? L"售后服务或会员注册窗口已关闭（用户已注册）" : L"售后服务或会员注册窗口已关闭");
            return true;
        }
        if (msg == WM_COMMAND && LOWORD(wParam) == kSelfServiceClosed) {
            HidePane(L"自助服务窗口已关闭");
            return true;
        }
        return false;
    }

    void OnCommand(int command, INT_PTR) override {
        if (command == 1) HidePane(L"设置窗口已关闭");
    }

private:
    void HidePane(const wchar_t* notice) {
        notices_.push_front(notice);
        if (notices_.size() > kNoticesShown) notices_.pop_back();
        Refresh();
        panekit::CommandPlug(container(), PLUG_TABDECK, TABDECK_CMD_HOME, 0);
    }

    std::deque<std::wstring> notices_;
};

}  // namespace

panekit::Pane* panekit::MakePane() { return new PaneOwner; }
