#include "MovieControl.h"

#include <cstdarg>
#include <cstdio>

#include "ServerModule.h"
#include "Text.h"
#include "outside/MovieControl.h"

namespace moviectl {

HMODULE g_module = nullptr;

namespace {

const wchar_t kWindowClass[] = L"MovieCtlStandIn";
const UINT kFirePending = WM_APP + 1;

enum Member { kVersion = 1, kWindowMode, kScale, kBackground, kEmbed, kLoad, kPlay };

struct MemberName {
    const wchar_t* name;
    DISPID id;
};
const MemberName kMembers[] = {
    {MOVIE_MEMBER_VERSION, kVersion}, {MOVIE_MEMBER_WINDOW_MODE, kWindowMode}, {MOVIE_MEMBER_SCALE, kScale},
    {MOVIE_MEMBER_BACKGROUND, kBackground}, {MOVIE_MEMBER_EMBED, kEmbed}, {MOVIE_MEMBER_LOAD, kLoad},
    {MOVIE_MEMBER_PLAY, kPlay},
};

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "fscommand <command>|<args>" lines of a movie file (UTF-8 text).
std::vector<std::pair<std::wstring, std::wstring>> MovieCommands(const std::wstring& path) {
    std::vector<std::pair<std::wstring, std::wstring>> commands;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return commands;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
    CloseHandle(file);
    std::wstring text = vantor::DecodeBytes(bytes.data(), bytes.size(), CP_UTF8);
    const std::wstring prefix = L"fscommand ";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) == 0) {
            std::wstring rest = line.substr(prefix.size());
            size_t bar = rest.find(L'|');
            commands.push_back({rest.substr(0, bar), bar == std::wstring::npos ? L"" : rest.substr(bar + 1)});
        }
        start = end + 1;
    }
    return commands;
}

std::wstring VariantText(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    std::wstring result;
    if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) && text.bstrVal) {
        result = text.bstrVal;
    }
    VariantClear(&text);
    return result;
}

LRESULT CALLBACK ControlProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    MovieControl* control = reinterpret_cast<MovieControl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(wnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case WM_NCHITTEST: {
        // Only the drawn shape belongs to the control; elsewhere the container decides.
        POINT at = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ScreenToClient(wnd, &at);
        RECT client;
        GetClientRect(wnd, &client);
        return control && control->InShape(client, at) ? HTCLIENT : HTTRANSPARENT;
    }
    case WM_LBUTTONDOWN:
        Trace(L"Click %d %d", static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(wnd, &paint);
        RECT client;
        GetClientRect(wnd, &client);
        if (control) control->Paint(dc, client);
        EndPaint(wnd, &paint);
        return 0;
    }
    case WM_COPYDATA: {
        // "command|args" in UTF-16: fired at once, as the movie would.
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (!control || !data || !data->lpData) return 0;
        std::wstring text(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        size_t bar = text.find(L'|');
        control->FireCommand(text.substr(0, bar), bar == std::wstring::npos ? L"" : text.substr(bar + 1));
        return 1;
    }
    case kFirePending:
        if (control) control->FireNextPending();
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void RegisterWindowClass() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = g_module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
}

}  // namespace

void Trace(const wchar_t* format, ...) {
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"MOVIECTL_TRACE", path, MAX_PATH)) return;
    wchar_t line[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, 1023, format, args);
    va_end(args);
    line[1023] = 0;
    std::string bytes = vantor::EncodeText(line, CP_UTF8) + "\r\n";
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// --- the event connection point

EventPoint::~EventPoint() { Drop(); }

void EventPoint::Drop() {
    if (sink_) sink_->Release();
    sink_ = nullptr;
}

STDMETHODIMP EventPoint::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) EventPoint::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) EventPoint::Release() { return static_cast<IOleObject*>(owner_)->Release(); }
STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = kMovieEventsIid;
    return S_OK;
}
STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    return static_cast<IOleObject*>(owner_)->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}
STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    if (sink_) return CONNECT_E_ADVISELIMIT;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(kMovieEventsIid, reinterpret_cast<void**>(&dispatch))) || !dispatch) {
        Trace(L"Advise refused");
        return CONNECT_E_CANNOTCONNECT;
    }
    sink_ = dispatch;
    *cookie = 1;
    Trace(L"Advise");
    return S_OK;
}
STDMETHODIMP EventPoint::Unadvise(DWORD cookie) {
    if (cookie != 1 || !sink_) return CONNECT_E_NOCONNECTION;
    Drop();
    Trace(L"Unadvise");
    return S_OK;
}
STDMETHODIMP EventPoint::EnumConnections(IEnumConnections**) { return E_NOTIMPL; }

// --- the control

MovieControl::MovieControl() : events_(new EventPoint(this)) {
    kitbase::ObjectCreated();
    RegisterWindowClass();
    Trace(L"Created");
}

MovieControl::~MovieControl() {
    if (wnd_) DestroyWindow(wnd_);
    delete events_;
    if (inPlaceSite_) inPlaceSite_->Release();
    if (site_) site_->Release();
    Trace(L"Deleted");
    kitbase::ObjectDestroyed();
}

STDMETHODIMP MovieControl::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IPersistStorage || iid == IID_IPersist) *out = static_cast<IPersistStorage*>(this);
    else if (iid == IID_IViewObjectEx || iid == IID_IViewObject2 || iid == IID_IViewObject)
        *out = static_cast<IViewObjectEx*>(this);
    else if (iid == IID_IOleInPlaceObject || iid == IID_IOleWindow) *out = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    if (!*out) {
        // Windowed only: asking for the windowless in-place object is noted, so tests
        // see the host fall back.
        if (iid == IID_IOleInPlaceObjectWindowless) Trace(L"QueryInterface windowless -> no");
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) MovieControl::AddRef() { return InterlockedIncrement(&refs_); }
STDMETHODIMP_(ULONG) MovieControl::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP MovieControl::SetClientSite(IOleClientSite* site) {
    Trace(site ? L"SetClientSite" : L"SetClientSite null");
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP MovieControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = site_;
    if (site_) site_->AddRef();
    return S_OK;
}

STDMETHODIMP MovieControl::Close(DWORD saveOption) {
    Trace(L"Close %lu", saveOption);
    InPlaceDeactivate();
    events_->Drop();
    return S_OK;
}

STDMETHODIMP MovieControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) {
    Trace(L"DoVerb %ld", verb);
    if (verb != OLEIVERB_SHOW && verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_UIACTIVATE) return E_NOTIMPL;
    if (wnd_) return S_OK;
    IOleClientSite* use = site ? site : site_;
    if (!use) return E_UNEXPECTED;
    IOleInPlaceSite* inPlace = nullptr;
    if (FAILED(use->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))) || !inPlace) {
        return E_NOINTERFACE;
    }
    if (inPlace->CanInPlaceActivate() != S_OK) {
        inPlace->Release();
        return E_FAIL;
    }
    IOleInPlaceSiteEx* ex = nullptr;
    if (SUCCEEDED(inPlace->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(&ex))) && ex) {
        BOOL noRedraw = TRUE;
        ex->OnInPlaceActivateEx(&noRedraw, 0);
        Trace(L"OnInPlaceActivateEx noRedraw=%d", noRedraw);
        ex->Release();
    } else {
        inPlace->OnInPlaceActivate();
    }
    HWND parent = nullptr;
    inPlace->GetWindow(&parent);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {sizeof info};
    HRESULT context = inPlace->GetWindowContext(&frame, &doc, &position, &clip, &info);
    Trace(L"GetWindowContext %s frame=%d doc=%d %ld,%ld,%ld,%ld", SUCCEEDED(context) ? L"ok" : L"failed",
          frame ? 1 : 0, doc ? 1 : 0, position.left, position.top, position.right, position.bottom);
    if (frame) frame->Release();
    if (doc) doc->Release();
    wnd_ = CreateWindowExW(0, kWindowClass, L"movie", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, position.left,
                           position.top, position.right - position.left, position.bottom - position.top, parent,
                           nullptr, g_module, this);
    Trace(L"InPlaceActive window=%d", wnd_ ? 1 : 0);
    if (inPlaceSite_) inPlaceSite_->Release();
    inPlaceSite_ = inPlace;
    use->ShowObject();
    return wnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP MovieControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP MovieControl::SetExtent(DWORD, SIZEL* size) {
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP MovieControl::GetExtent(DWORD, SIZEL* size) {
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP MovieControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST |
              OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE;
    return S_OK;
}

STDMETHODIMP MovieControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = kMovieControlClsid;
    return S_OK;
}

STDMETHODIMP MovieControl::InitNew(IStorage*) {
    Trace(L"InitNew");
    return S_OK;
}

void MovieControl::Paint(HDC dc, const RECT& bounds) const {
    HBRUSH back = CreateSolidBrush(RGB(24, 32, 64));
    FillRect(dc, &bounds, back);
    DeleteObject(back);
    if (!movieExists_) return;
    int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
    RECT shape = {bounds.left + w / 3, bounds.top + h / 3, bounds.left + 2 * w / 3, bounds.top + 2 * h / 3};
    HBRUSH fill = CreateSolidBrush(RGB(255, 160, 0));
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    Ellipse(dc, shape.left, shape.top, shape.right, shape.bottom);
    SelectObject(dc, oldBrush);
    DeleteObject(fill);
    std::wstring name = FileName(movie_);
    RECT text = {bounds.left, bounds.top + 8, bounds.right, bounds.top + h / 3};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
}

bool MovieControl::InShape(const RECT& bounds, POINT at) const {
    if (!movieExists_) return false;
    int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
    if (w <= 0 || h <= 0) return false;
    // Inside the ellipse over the middle third.
    double cx = bounds.left + w / 2.0, cy = bounds.top + h / 2.0, rx = w / 6.0, ry = h / 6.0;
    double dx = (at.x - cx) / rx, dy = (at.y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

STDMETHODIMP MovieControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                                BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc || !bounds) return E_INVALIDARG;
    RECT r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    Paint(dc, r);
    return S_OK;
}

STDMETHODIMP MovieControl::GetViewStatus(DWORD* status) {
    if (!status) return E_POINTER;
    *status = VIEWSTATUS_OPAQUE;
    return S_OK;
}

STDMETHODIMP MovieControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT at, LONG, DWORD* result) {
    if (!result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT || !bounds) return DV_E_DVASPECT;
    *result = InShape(*bounds, at) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP MovieControl::GetWindow(HWND* wnd) {
    if (!wnd) return E_POINTER;
    *wnd = wnd_;
    return wnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP MovieControl::InPlaceDeactivate() {
    if (!wnd_) return S_OK;
    Trace(L"InPlaceDeactivate");
    DestroyWindow(wnd_);
    wnd_ = nullptr;
    if (inPlaceSite_) {
        inPlaceSite_->OnInPlaceDeactivate();
        inPlaceSite_->Release();
        inPlaceSite_ = nullptr;
    }
    return S_OK;
}

STDMETHODIMP MovieControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    Trace(L"SetObjectRects %ld,%ld,%ld,%ld", position->left, position->top, position->right, position->bottom);
    if (wnd_) {
        MoveWindow(wnd_, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    }
    return S_OK;
}

STDMETHODIMP MovieControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != kMovieEventsIid) return CONNECT_E_NOCONNECTION;
    *out = events_;
    events_->AddRef();
    return S_OK;
}

STDMETHODIMP MovieControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP MovieControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const MemberName& member : kMembers) {
        if (names[0] && lstrcmpiW(names[0], member.name) == 0) ids[0] = member.id;
    }
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    if (count > 1) hr = DISP_E_UNKNOWNNAME;
    return hr;
}

STDMETHODIMP MovieControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT*) {
    UINT argc = params ? params->cArgs : 0;
    // Arguments arrive last first.
    auto arg = [&](UINT i) -> const VARIANT& { return params->rgvarg[argc - 1 - i]; };
    bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    auto text = [&](std::wstring* field, const wchar_t* name) -> HRESULT {
        if (put) {
            if (argc < 1) return DISP_E_BADPARAMCOUNT;
            *field = VariantText(arg(0));
            Trace(L"Put %s=%s", name, field->c_str());
            return S_OK;
        }
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(field->c_str());
        }
        return S_OK;
    };
    switch (id) {
    case kVersion:
        Trace(L"Get %s", MOVIE_MEMBER_VERSION);
        if (result) {
            result->vt = VT_I4;
            result->lVal = 0x00080000;
        }
        return S_OK;
    case kWindowMode:
        return text(&windowMode_, MOVIE_MEMBER_WINDOW_MODE);
    case kScale:
        return text(&scale_, MOVIE_MEMBER_SCALE);
    case kBackground:
    case kEmbed: {
        if (!put) {
            if (result) {
                result->vt = id == kEmbed ? VT_BOOL : VT_I4;
                if (id == kEmbed) result->boolVal = embed_ ? VARIANT_TRUE : VARIANT_FALSE;
                else result->lVal = background_;
            }
            return S_OK;
        }
        if (argc < 1) return DISP_E_BADPARAMCOUNT;
        VARIANT number;
        VariantInit(&number);
        if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&arg(0)), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        if (id == kEmbed) embed_ = number.lVal != 0;
        else background_ = number.lVal;
        Trace(L"Put %s=%ld", id == kEmbed ? MOVIE_MEMBER_EMBED : MOVIE_MEMBER_BACKGROUND,
              id == kEmbed ? (embed_ ? 1L : 0L) : background_);
        return S_OK;
    }
    case kLoad: {
        if (argc < 2) return DISP_E_BADPARAMCOUNT;
        VARIANT layer;
        VariantInit(&layer);
        if (FAILED(VariantChangeType(&layer, const_cast<VARIANT*>(&arg(0)), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        movie_ = VariantText(arg(1));
        movieExists_ = GetFileAttributesW(movie_.c_str()) != INVALID_FILE_ATTRIBUTES;
        pending_.clear();
        nextPending_ = 0;
        Trace(L"LoadMovie %ld %s%s", layer.lVal, movie_.c_str(), movieExists_ ? L"" : L" (missing)");
        if (wnd_) InvalidateRect(wnd_, nullptr, TRUE);
        return S_OK;
    }
    case kPlay:
        Trace(L"Play");
        pending_ = MovieCommands(movie_);
        nextPending_ = 0;
        if (wnd_ && !pending_.empty()) PostMessageW(wnd_, kFirePending, 0, 0);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

void MovieControl::FireNextPending() {
    if (nextPending_ >= pending_.size()) return;
    auto command = pending_[nextPending_++];
    // The next line fires once this one's handling is over, as frames of a movie do.
    if (nextPending_ < pending_.size()) PostMessageW(wnd_, kFirePending, 0, 0);
    FireCommand(command.first, command.second);
}

void MovieControl::FireCommand(const std::wstring& command, const std::wstring& args) {
    IDispatch* sink = events_->sink();
    if (!sink) {
        Trace(L"FSCommand %s|%s unheard", command.c_str(), args.c_str());
        return;
    }
    sink->AddRef();
    AddRef();
    VARIANT values[2];
    values[1].vt = VT_BSTR;
    values[1].bstrVal = SysAllocString(command.c_str());
    values[0].vt = VT_BSTR;
    values[0].bstrVal = SysAllocString(args.c_str());
    DISPPARAMS params = {values, nullptr, 2, 0};
    HRESULT hr = sink->Invoke(MOVIE_DISPID_FSCOMMAND, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    Trace(L"FSCommand %s|%s -> %ld", command.c_str(), args.c_str(), static_cast<long>(hr));
    SysFreeString(values[0].bstrVal);
    SysFreeString(values[1].bstrVal);
    sink->Release();
    Release();
}

}  // namespace moviectl
