// The bridge between a web pane and its page. Page to pane: the page navigates to
// "event:<element%20...", the pane cancels that navigation and hands the element to the
// browser library, which calls the pane's page-event overload. Pane to page: named page
// functions called with 8-bit texts, their results read as text.
//
// The decisions are plain functions of the URL, so they are checked without a browser;
// the helpers at the end put them to work with SurfView.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "outside/SurfView.h"

namespace pagebridge {

// Begins every page-event URL; "event:" itself is dropped from the element.
constexpr char kEventPrefix[] = "event:<element%20";
constexpr size_t kEventPrefixLength = sizeof(kEventPrefix) - 1;
constexpr size_t kSchemeLength = 6;  // "event:"

enum class Verdict {
    Proceed,  // the navigation goes on: cancel flag VARIANT_FALSE
    Event,    // a page event: hand `element` over, then cancel flag VARIANT_TRUE
    Failed,   // the URL could not be read as text: leave the cancel flag alone, end with `error`
};

struct Decision {
    Verdict verdict = Verdict::Proceed;
    std::string element;
    HRESULT error = S_OK;
};

// UTF-16 text in the ANSI code page.
inline std::string AnsiText(const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

// A copy of the variant changed to a string, then 8-bit text.
inline HRESULT VariantText(const VARIANT* value, std::string* text) {
    if (!value || !text) return E_POINTER;
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopy(&copy, const_cast<VARIANT*>(value));
    if (SUCCEEDED(hr) && copy.vt != VT_BSTR) hr = VariantChangeType(&copy, &copy, 0, VT_BSTR);
    if (SUCCEEDED(hr)) *text = AnsiText(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return hr;
}

// Every "%20" becomes one blank, scanning left to right; nothing else is decoded.
inline std::string DecodeBlanks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "%20") == 0) {
            out += ' ';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

inline bool HasEventPrefix(const std::string& url, bool ignoreCase) {
    if (url.size() < kEventPrefixLength) return false;
    if (!ignoreCase) return url.compare(0, kEventPrefixLength, kEventPrefix) == 0;
    for (size_t i = 0; i < kEventPrefixLength; ++i) {
        if (tolower(static_cast<unsigned char>(url[i])) != tolower(static_cast<unsigned char>(kEventPrefix[i]))) {
            return false;
        }
    }
    return true;
}

// The navigation filter on an 8-bit URL. The panes compare the prefix exactly; the
// enrolment wizard's pages compare it without regard to case.
inline Decision DecideUrl(const std::string& url, bool ignoreCase = false) {
    Decision d;
    std::string element = HasEventPrefix(url, ignoreCase) ? DecodeBlanks(url.substr(kSchemeLength)) : url;
    if (url == "about:blank" || element == url) return d;
    d.verdict = Verdict::Event;
    d.element = element;
    return d;
}

// The navigation filter on the URL of a BeforeNavigate2 event.
inline Decision DecideNavigation(const VARIANT* url, bool ignoreCase = false) {
    Decision d;
    std::string text;
    HRESULT hr = VariantText(url, &text);
    if (FAILED(hr)) {
        d.verdict = Verdict::Failed;
        d.error = hr;
        return d;
    }
    return DecideUrl(text, ignoreCase);
}

// The wizard's variant: the prefix in any case.
inline Decision DecideWizardNavigation(const VARIANT* url) { return DecideNavigation(url, true); }

// A script result as 8-bit text: a string as it is, anything else changed to a string;
// a failed change or an empty result gives "".
inline std::string ScriptResultText(const VARIANT& result) {
    std::string text;
    if (FAILED(VariantText(&result, &text))) return std::string();
    return text;
}

// --- with SurfView

// OnBeforeNavigate2 of a pane with page events: proceeds, or hands the event to sink
// (synchronously) and cancels; a URL that is no text ends with its error and leaves the
// cancel flag as it was.
inline HRESULT FilterNavigation(VARIANT* url, VARIANT_BOOL* cancel, CWebCustomEventCallback* sink) {
    Decision d = DecideNavigation(url);
    if (d.verdict == Verdict::Failed) return d.error;
    if (!cancel) return E_POINTER;
    if (d.verdict == Verdict::Event) {
        ExtractWebCustomEventA(d.element.c_str(), sink);
        *cancel = VARIANT_TRUE;
    } else {
        *cancel = VARIANT_FALSE;
    }
    return S_OK;
}

struct ScriptCall {
    bool called = false;   // the page has the function and it ran
    std::string text;      // its result as text
    HRESULT hr = S_OK;     // a failure to clear the result: the caller's operation ends
};

// Calls a page function with 8-bit texts (narrow) or wide texts (wide), in order.
template <typename Char, typename Traits>
ScriptCall CallPageScriptWith(CSdkSurfView* browser, const Char* name, const std::vector<std::basic_string<Char>>& args) {
    ScriptCall call;
    if (!browser) return call;
    std::vector<std::basic_string<Char, Traits>> list;
    for (const auto& a : args) list.emplace_back(a.c_str(), a.size());
    VARIANT result;
    VariantInit(&result);
    call.called = browser->CallJScript(name, list, &result);
    if (call.called) call.text = ScriptResultText(result);
    call.hr = VariantClear(&result);
    return call;
}

inline ScriptCall CallPageScript(CSdkSurfView* browser, const char* name, const std::vector<std::string>& args) {
    return CallPageScriptWith<char, nimbrel::ki_char_traits>(browser, name, args);
}

inline ScriptCall CallPageScript(CSdkSurfView* browser, const wchar_t* name, const std::vector<std::wstring>& args) {
    return CallPageScriptWith<wchar_t, nimbrel::ki_wchar_traits>(browser, name, args);
}

}  // namespace pagebridge
