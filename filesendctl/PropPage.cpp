#include "PropPage.h"

#include <new>

#include "ComObject.h"
#include "Module.h"
#include "Resource.h"

namespace filesend {

namespace {

INT_PTR CALLBACK EmptyPageProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class FileSendCtlPropPage final : public vantor::ComObject<IPropertyPage> {
public:
    FileSendCtlPropPage() : ComObject(1) { ObjectCreated(); }
    ~FileSendCtlPropPage() {
        if (page_) DestroyWindow(page_);
        if (site_) site_->Release();
        ObjectDestroyed();
    }

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL) override {
        if (!rect) return E_POINTER;
        if (!page_)
            page_ = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_PROPPAGE_GENERAL), parent, EmptyPageProc, 0);
        if (!page_) return E_FAIL;
        return Move(rect);
    }
    STDMETHODIMP Deactivate() override {
        if (page_) DestroyWindow(page_);
        page_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
        if (!info) return E_POINTER;
        static const wchar_t kTitle[] = L"General";
        info->cb = sizeof(*info);
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(kTitle)));
        if (info->pszTitle) lstrcpyW(info->pszTitle, kTitle);
        info->size = PageSize();
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    STDMETHODIMP SetObjects(ULONG, IUnknown**) override { return S_OK; }
    STDMETHODIMP Show(UINT command) override {
        if (page_) ShowWindow(page_, command);
        return S_OK;
    }
    STDMETHODIMP Move(LPCRECT rect) override {
        if (!rect) return E_POINTER;
        if (page_) MoveWindow(page_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    STDMETHODIMP IsPageDirty() override { return S_FALSE; }
    STDMETHODIMP Apply() override { return S_OK; }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    bool Answers(REFIID iid) const override { return iid == IID_IPropertyPage; }

    // The template's size in pixels, measured from a hidden copy of it.
    SIZE PageSize() {
        SIZE size = {250, 62};
        HWND probe = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_PROPPAGE_GENERAL), nullptr, EmptyPageProc, 0);
        if (probe) {
            RECT rect;
            GetWindowRect(probe, &rect);
            size.cx = rect.right - rect.left;
            size.cy = rect.bottom - rect.top;
            DestroyWindow(probe);
        }
        return size;
    }

    IPropertyPageSite* site_ = nullptr;
    HWND page_ = nullptr;
};

}  // namespace

HRESULT CreatePropertyPage(REFIID riid, void** out) {
    auto page = new (std::nothrow) FileSendCtlPropPage();
    if (!page) return E_OUTOFMEMORY;
    HRESULT hr = page->QueryInterface(riid, out);
    page->Release();
    return hr;
}

}  // namespace filesend
