// The library's own versions of the callbacks (they do nothing), the UI handler, and the
// page-event extractor.
#include "outside/SurfView.h"

#include "EventElement.h"
#include "SurfTrace.h"
#include "Text.h"

HRESULT CSdkWebEventCallback::OnBeforeNavigate2(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                                VARIANT_BOOL*) {
    return S_OK;
}
void CSdkWebEventCallback::OnDocumentComplete(IDispatch*, VARIANT*) {}
void CSdkWebEventCallback::OnCommandStateChange(long, VARIANT_BOOL) {}
void CSdkWebEventCallback::OnNewWindow2(IDispatch**&, VARIANT_BOOL*&) {}
void CSdkWebEventCallback::OnProgressChange(long, long) {}
void CSdkWebEventCallback::OnNavigateComplete() {}
void CSdkWebEventCallback::OnNavigateError(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL) {}
void CSdkWebEventCallback::OnDownloadComplete() {}
void CSdkWebEventCallback::OnWindowClosing(VARIANT_BOOL, VARIANT_BOOL*) {}

void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*, const char*, const char*, const char*,
                                                      const char*, const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*, const char*, const char*, const char*,
                                                      const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*, const char*, const char*, const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*, const char*, const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*, const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventA(int, const char*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*, const wchar_t*, const wchar_t*,
                                                      const wchar_t*, const wchar_t*, const wchar_t*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*, const wchar_t*, const wchar_t*,
                                                      const wchar_t*, const wchar_t*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*, const wchar_t*, const wchar_t*,
                                                      const wchar_t*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*, const wchar_t*, const wchar_t*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*, const wchar_t*) {}
void CWebCustomEventCallback::OnHandleWevCustomEventW(int, const wchar_t*) {}

CSdkWebDocHostUIHandler::CSdkWebDocHostUIHandler() : reserved_(nullptr) {}
CSdkWebDocHostUIHandler::~CSdkWebDocHostUIHandler() = default;

namespace {

template <typename Char, typename Text>
void Deliver(CWebCustomEventCallback* sink, int id, const std::vector<Text>& t) {
    switch (t.size()) {
        case 1:
            sink->OnHandleWevCustomEventA(id, t[0].c_str());
            break;
        case 2:
            sink->OnHandleWevCustomEventA(id, t[0].c_str(), t[1].c_str());
            break;
        case 3:
            sink->OnHandleWevCustomEventA(id, t[0].c_str(), t[1].c_str(), t[2].c_str());
            break;
        case 4:
            sink->OnHandleWevCustomEventA(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str());
            break;
        case 5:
            sink->OnHandleWevCustomEventA(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str());
            break;
        case 6:
            sink->OnHandleWevCustomEventA(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str(),
                                          t[5].c_str());
            break;
    }
}

template <>
void Deliver<wchar_t, std::wstring>(CWebCustomEventCallback* sink, int id, const std::vector<std::wstring>& t) {
    switch (t.size()) {
        case 1:
            sink->OnHandleWevCustomEventW(id, t[0].c_str());
            break;
        case 2:
            sink->OnHandleWevCustomEventW(id, t[0].c_str(), t[1].c_str());
            break;
        case 3:
            sink->OnHandleWevCustomEventW(id, t[0].c_str(), t[1].c_str(), t[2].c_str());
            break;
        case 4:
            sink->OnHandleWevCustomEventW(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str());
            break;
        case 5:
            sink->OnHandleWevCustomEventW(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str());
            break;
        case 6:
            sink->OnHandleWevCustomEventW(id, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(), t[4].c_str(),
                                          t[5].c_str());
            break;
    }
}

void TraceEvent(const char* form, const pageengine::EventElement& e) {
    std::wstring line = std::wstring(L"custom event ") + (form[0] == 'A' ? L"A" : L"W") + L" id=" +
                        std::to_wstring(e.id);
    for (const std::string& text : e.texts) line += L" [" + surfview::FromAnsi(text.c_str()) + L"]";
    surfview::Trace(line);
}

}  // namespace

bool ExtractWebCustomEventA(const char* element, CWebCustomEventCallback* sink) {
    pageengine::EventElement e;
    if (!element || !sink || !pageengine::ParseEventElement(element, &e)) {
        surfview::Trace(L"custom event refused");
        return false;
    }
    TraceEvent("A", e);
    Deliver<char, std::string>(sink, e.id, e.texts);
    return true;
}

bool ExtractWebCustomEventW(const wchar_t* element, CWebCustomEventCallback* sink) {
    pageengine::EventElement e;
    if (!element || !sink || !pageengine::ParseEventElement(vantor::WideToAnsi(element), &e)) {
        surfview::Trace(L"custom event refused");
        return false;
    }
    TraceEvent("W", e);
    std::vector<std::wstring> texts;
    for (const std::string& text : e.texts) texts.push_back(vantor::AnsiToWide(text));
    Deliver<wchar_t, std::wstring>(sink, e.id, texts);
    return true;
}
