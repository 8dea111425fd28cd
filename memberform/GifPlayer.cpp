#include "GifPlayer.h"

#include <cstring>
#include <exception>

#include "Handles.h"

namespace memberform {

namespace {
// Larger files are not pictures this control shows.
const DWORD kMaxFileBytes = 64u << 20;

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
    vantor::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size());
}
}  // namespace

GifPlayer::~GifPlayer() { Detach(); }

void GifPlayer::Attach(HWND control) {
    if (window_ || !control) return;
    window_ = control;
    SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&GifPlayer::ControlProc)));
}

size_t GifPlayer::Load(const std::wstring& path) {
    Stop();
    current_ = 0;
    image_.frames.clear();
    // Memory running out for a picture shows no picture; nothing is thrown to the host.
    try {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(path, &bytes)) return 0;
        gif::ReadGif(bytes.data(), bytes.size(), &image_);
    } catch (const std::exception&) {
        image_.frames.clear();
        return 0;
    }
    if (window_) InvalidateRect(window_, nullptr, TRUE);
    return image_.FrameCount();
}

void GifPlayer::Start() {
    if (thread_ || image_.FrameCount() < 2) return;
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stop_) return;
    thread_ = CreateThread(nullptr, 0, &GifPlayer::RepaintThread, this, 0, &threadId_);
    if (!thread_) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
}

void GifPlayer::Stop() {
    if (!thread_) return;
    // The thread only invalidates the control, which never waits for this thread, so
    // joining it here cannot deadlock; the frames stay until it is gone.
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    thread_ = nullptr;
    stop_ = nullptr;
    threadId_ = 0;
}

void GifPlayer::Detach() {
    // The thread goes first, so that nothing reads the window while it is given back.
    Stop();
    if (window_) {
        if (IsWindow(window_)) {
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        }
        window_ = nullptr;
        previous_ = nullptr;
    }
}

DWORD WINAPI GifPlayer::RepaintThread(LPVOID param) {
    GifPlayer* self = static_cast<GifPlayer*>(param);
    const int count = static_cast<int>(self->image_.FrameCount());
    for (;;) {
        HWND window = self->window_;
        if (window) InvalidateRect(window, nullptr, FALSE);
        int delay = self->image_.frames[static_cast<size_t>(self->current_)]->delayMs;
        if (WaitForSingleObject(self->stop_, delay > 0 ? static_cast<DWORD>(delay) : 100) == WAIT_OBJECT_0) return 0;
        int next = self->current_ + 1;
        self->current_ = next >= count ? 0 : next;
    }
}

void GifPlayer::Paint(HDC dc) const {
    size_t index = static_cast<size_t>(current_);
    if (index >= image_.FrameCount()) return;
    const gif::GifFrame& frame = *image_.frames[index];
    // The frame's rows are top-down, its table four-byte entries: a bitmap as it stands.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[gif::kTableEntries];
    } info = {};
    static_assert(sizeof info.colours == sizeof frame.colours, "one table entry per colour");
    info.header.biSize = sizeof info.header;
    info.header.biWidth = frame.width;
    info.header.biHeight = -frame.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biXPelsPerMeter = 11811;
    info.header.biYPelsPerMeter = 11811;
    info.header.biClrUsed = 1u << frame.colourBits;
    memcpy(info.colours, frame.colours, sizeof info.colours);
    SetDIBitsToDevice(dc, frame.left, frame.top, static_cast<DWORD>(frame.width), static_cast<DWORD>(frame.height), 0,
                      0, 0, static_cast<UINT>(frame.height), frame.pixels.data(), reinterpret_cast<const BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
}

LRESULT CALLBACK GifPlayer::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    GifPlayer* self = reinterpret_cast<GifPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->previous_) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        self->Paint(dc);
        EndPaint(window, &paint);
    }
    return CallWindowProcW(self->previous_, window, message, wParam, lParam);
}

}  // namespace memberform
