// The games list pushed into the games page, and the launches the page asks for.
#include "DebugOut.h"
#include "GameLaunch.h"
#include "PageBridge.h"
#include "TilePaneWindow.h"

namespace tilepane {

void TilePaneWindow::PushGamesList() {
    for (const gamelaunch::GameEntry& game : gamelaunch::ReadGames()) {
        gamelaunch::PageGame page = gamelaunch::ForPage(game);
        pagebridge::CallPageScript(browser_, "addGame", {page.name, page.text, page.path});
    }
}

void TilePaneWindow::OnHandleWevCustomEventA(int id, const char* a1) {
    if (id == 2 && a1) Launch(a1, false);
}

void TilePaneWindow::OnHandleWevCustomEventA(int id, const char* a1, const char* a2) {
    if (id == 2 && a1 && a2) Launch(a1, atoi(a2) != 0);
}

void TilePaneWindow::Launch(const char* path, bool monitored) {
    if (!gamelaunch::IsRegisteredLaunch(path)) {
        vantor::DebugLineA("TilePane: refused to start an unregistered program: %s", path);
        return;
    }
    if (!monitored || !monitor_ || monitor_->Count() >= ProcessMonitor::kMaxPrograms) {
        gamelaunch::WinExecLaunch(path);
        return;
    }
    for (const std::string& line : gamelaunch::LaunchCandidates(path)) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::string buffer = line;
        if (!CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            continue;
        }
        CloseHandle(process.hThread);
        if (!monitor_->Add(process.hProcess)) CloseHandle(process.hProcess);
        return;
    }
}

}  // namespace tilepane
