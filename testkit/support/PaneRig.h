// A program folder in which a pane runs inside the real container: the container, the
// command center and kernel facade stand-ins, the recording tab manager (TraceDeck, under
// the name TabDeck.dll), the recording plug-in as plug ids -3, -8, -10 and -13, ClientCore
// signed in against a script of the service-platform stand-in, and the libraries panes
// link. The plug-in driver (plughost/tests/driver) runs the steps and every module writes
// its lines into the shared "trace.log"; the browser stand-in traces into "surf.log".
//
// The recording plug-ins note what reaches their windows ("plug-13.dll Message 3024 w=0
// l=1", "plug-13.dll Command 1827 code=0"), the tab manager its decoded commands
// ("TabDeck.dll OpenService a|b|c", "Background 2", "CustomBackground x.bmp",
// "ChangeStyle 1").
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace testkit {

class PaneRig {
public:
    using Lines = std::vector<std::string>;

    explicit PaneRig(const std::wstring& name);

    // Copies "<program folder>\<from>" into the rig, under `to` when given.
    bool Copy(const std::wstring& from, const std::wstring& to = L"");
    bool Write(const std::wstring& relative, const std::string& bytes);
    std::string Read(const std::wstring& relative) const;

    // The platform ClientCore signs in to: a zumbase script as INI text; without one the
    // stand-in's built-in demo platform.
    void Platform(const std::string& script);

    // Writes "config\pruv2.cfg": the recording plug-ins and the pane under test (its file,
    // copied from the program folder unless it is there already, under plug id `id`).
    void Pane(int id, const std::wstring& module, bool immediately = true);

    // Runs the driver: "signin load 1 <steps> unload signoff" and answers the trace lines.
    // The child gets `environment` besides SURFVIEW_TRACE and CMDLOG_FILE ("cmdlog.txt").
    Lines Run(const std::string& steps, const Environment& environment = {}, DWORD timeoutMs = 60000);

    // Lines of the browser stand-in's trace and of the command-line logger.
    Lines SurfTrace() const;
    Lines Launches() const;

    const std::wstring& dir() const { return dir_; }

private:
    std::wstring dir_;
};

// Copies a folder with everything below it (made as needed), replacing files of the
// same name.
void CopyTree(const std::wstring& from, const std::wstring& to);

// Lines of a text file split at CR LF.
std::vector<std::string> SplitLines(const std::string& text);

// Registers the scheme (HKEY_CLASSES_ROOT) as a URL protocol opened by
// the command-line logger of the program folder; false when the registry refused.
bool RegisterLoggingProtocol(const std::wstring& scheme);

// For its life, addresses of the scheme ("http") that the shell opens go to the logger
// `loggerExe` (CmdLog.exe of a rig, say) instead of the browser; the command the scheme
// had comes back at its end.
class LoggedShellOpens {
public:
    LoggedShellOpens(const std::wstring& scheme, const std::wstring& loggerExe);
    ~LoggedShellOpens();
    LoggedShellOpens(const LoggedShellOpens&) = delete;
    LoggedShellOpens& operator=(const LoggedShellOpens&) = delete;
    bool active() const { return active_; }

private:
    std::wstring key_;
    bool had_ = false;
    std::wstring previous_;
    bool active_ = false;
};

}  // namespace testkit
