// The member form's animated picture: a static control that paints the current frame of
// a GIF picture, and a thread that moves on to the next frame after each frame's delay.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "gif/GifDecoder.h"

namespace memberform {

class GifPlayer {
public:
    GifPlayer() = default;
    ~GifPlayer();
    GifPlayer(const GifPlayer&) = delete;
    GifPlayer& operator=(const GifPlayer&) = delete;

    // Takes over the control's painting.
    void Attach(HWND control);
    // Frames read from the file: 0 when it cannot be opened or is not a GIF picture.
    size_t Load(const std::wstring& path);
    // Starts the repaint thread when there are at least two frames.
    void Start();
    // Gives the control its own painting back and stops the repaint thread.
    void Detach();

    size_t FrameCount() const { return image_.FrameCount(); }
    int CurrentFrame() const { return current_; }
    bool Running() const { return thread_ != nullptr; }

private:
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI RepaintThread(LPVOID self);
    void Paint(HDC dc) const;
    void Stop();

    HWND window_ = nullptr;
    WNDPROC previous_ = nullptr;
    gif::GifImage image_;
    std::atomic<int> current_{0};
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE stop_ = nullptr;
};

}  // namespace memberform
