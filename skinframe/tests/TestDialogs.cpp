#include "TestDialogs.h"

namespace {

HINSTANCE g_module = nullptr;
LONG g_destructorRuns = 0;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

HINSTANCE TestDialogsModule() { return g_module; }

int DerivedDestructorRuns() { return static_cast<int>(InterlockedCompareExchange(&g_destructorRuns, 0, 0)); }

CTraceDialog::CTraceDialog(bool skinned, unsigned long buttons, bool selfDelete)
    : CSkinFrame(skinned, buttons), trace_(), size_(0), counts_(), selfDelete_(selfDelete) {}

CTraceDialog::~CTraceDialog() { InterlockedIncrement(&g_destructorRuns); }

void CTraceDialog::Record(int event, UINT message) {
    if (event > 0 && event < 8) ++counts_[event];
    if (size_ < kCapacity) trace_[size_++] = Entry{event, message};
}

int CTraceDialog::Count(int event) const { return event > 0 && event < 8 ? counts_[event] : 0; }

int CTraceDialog::FirstIndex(int event, UINT message) const {
    for (int i = 0; i < size_; ++i)
        if (trace_[i].event == event && (event != kMessage || trace_[i].message == message)) return i;
    return -1;
}

INT_PTR CTraceDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    Record(kMessage, message);
    if (message == WM_TRACE_PING) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, kPingAnswer);
        return TRUE;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

bool CTraceDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    Record(kDrawItem);
    if (!item || item->CtlID != IDC_OWNERDRAW) return false;
    FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    return true;
}

void CTraceDialog::LoadCustomSkin() { Record(kCustomSkin); }

void CTraceDialog::OnDraw(HDC) { Record(kDraw); }

void CTraceDialog::OnNcDestroy() {
    Record(kNcDestroy);
    if (selfDelete_) delete this;
}

CEventSinkFirst::~CEventSinkFirst() {}

int CEventSinkFirst::Tag() const { return tag_; }

CDualDialog::CDualDialog() : CSkinFrame(true, 3) {}

INT_PTR CDualDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    ++calls_;
    if (Tag() != 0x5EED) intact_ = false;
    if (message == WM_TRACE_PING) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, kPingAnswer);
        return TRUE;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}
