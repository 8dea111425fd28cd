// WelcomePane stand-in: the home pane. It greets the signed-in account; the home tile pane
// hides it when a board opens, and its home button's command 1 has it greet again.
#include "PaneKit.h"

namespace {

class WelcomePane : public panekit::Pane {
public:
    WelcomePane() : Pane(RGB(52, 120, 200)) {}

    void Refresh() override {
        std::vector<std::wstring> lines = panekit::AccountLines(context());
        lines.insert(lines.begin(), L"您好！上方的标签页是客户端的各项服务，选择一个即可使用。");
        SetText(L"欢迎使用 Vantor 服务客户端", lines);
    }
    void OnCommand(int command, INT_PTR) override {
        if (command == 1) Refresh();
    }
};

}  // namespace

panekit::Pane* panekit::MakePane() { return new WelcomePane; }
