// InfoPane stand-in: the personal-information pane. It shows the signed-in account's
// information; the home tile pane shows and hides it, the compact view lays it out, and
// the after-sale pane's command 1 (the user may have registered) has it read the account again.
#include "PaneKit.h"

namespace {

class InfoPane : public panekit::Pane {
public:
    InfoPane() : Pane(RGB(60, 160, 90)) {}

    void Refresh() override { SetText(L"个人信息", panekit::AccountLines(context())); }
    void OnCommand(int command, INT_PTR) override {
        if (command == 1) Refresh();
    }
};

}  // namespace

panekit::Pane* panekit::MakePane() { return new InfoPane; }
