// Service panes as the host runs them: the parent test lays out a pane rig and runs a copy
// of its own program there as a child limited to one child test; the child signs in,
// loads the container into a hidden host window, drives the pane and notes what it saw in
// "child.txt". The recording plug-ins write "trace.log" beside it.
#pragma once

#include <windows.h>

#include <string>

#include "PaneRig.h"
#include "VantorTypes.h"

namespace panetest {

// --- parent

// Runs `childTest` ("Suite.Name") in the rig's folder with the child's mode; the child's
// notes, or "" with a test failure when it did not end.
std::string RunChild(testkit::PaneRig& rig, const char* childTest, const std::string& mode,
                     const std::wstring& shot = L"");

// Lines joined with line ends; how often `what` occurs in text.
std::string Joined(const testkit::PaneRig::Lines& lines);
size_t Count(const std::string& text, const std::string& what);

// --- child

// A message box as "<title>: <text>" in UTF-8; "" while its text is not there yet.
std::string BoxText(HWND box);
// A click on a link of the page shown by the browser window.
void Click(HWND browser, const std::wstring& url);
// Connects and logs in through the folder's ClientCore; the library.
HMODULE SignIn();

// The mode the parent gave; "" when running as the parent.
std::string ChildMode();
// Where the parent wants the picture, "" for none.
std::wstring ShotPath();
void Note(const std::string& line);
// Saves a picture of the window to ShotPath(); notes "shot 1" or "shot 0".
void Shoot(HWND window);
// Writes the notes to "child.txt", closed by "end".
void Finish();

// The container loaded with context 1 under a hidden host window.
class Host {
public:
    explicit Host(bool signIn);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HMODULE container() const { return container_; }
    HMODULE Module(PlugId id) const;
    TabPlugHandle Plug(PlugId id) const;
    HWND Window(PlugId id) const;

private:
    HWND host_ = nullptr;
    HMODULE container_ = nullptr;
    HMODULE core_ = nullptr;
};

}  // namespace panetest
