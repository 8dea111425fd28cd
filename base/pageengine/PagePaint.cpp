#include "PagePaint.h"

#include <string>

#include "Handles.h"

namespace pageengine {
namespace {

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// A face that holds Chinese characters, whichever the machine has (looked up once).
const wchar_t* ChineseFace(HDC dc) {
    static const wchar_t* face = [dc] {
        for (const wchar_t* candidate : {L"SimSun", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"NSimSun"}) {
            LOGFONTW lf = {};
            lf.lfCharSet = DEFAULT_CHARSET;
            lstrcpynW(lf.lfFaceName, candidate, LF_FACESIZE);
            bool found = false;
            EnumFontFamiliesExW(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
            if (found) return candidate;
        }
        return L"";
    }();
    return face;
}

HFONT PageFont(HDC dc, int height, int weight) {
    const wchar_t* face = ChineseFace(dc);
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

}  // namespace

void PaintPage(HDC dc, const RECT& area, const PageDocument* page, long scrollY) {
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(dc, &area, white);
    vantor::UniqueGdi<HFONT> small(PageFont(dc, 12, FW_NORMAL));
    vantor::UniqueGdi<HFONT> large(PageFont(dc, 16, FW_BOLD));
    SetBkMode(dc, TRANSPARENT);
    RECT line = area;
    line.left += 6;
    line.right -= 6;
    line.top += 4 - scrollY;
    {
        vantor::ScopedSelect font(dc, small.get());
        SetTextColor(dc, RGB(0, 70, 160));
        std::wstring url = page ? page->url : L"about:blank";
        DrawTextW(dc, url.c_str(), static_cast<int>(url.size()), &line,
                  DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX);
        line.top += 18;
    }
    if (page && !page->title.empty()) {
        vantor::ScopedSelect font(dc, large.get());
        SetTextColor(dc, page->error ? RGB(180, 0, 0) : RGB(0, 0, 0));
        RECT r = line;
        DrawTextW(dc, page->title.c_str(), static_cast<int>(page->title.size()), &r,
                  DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        DrawTextW(dc, page->title.c_str(), static_cast<int>(page->title.size()), &line, DT_WORDBREAK | DT_NOPREFIX);
        line.top = r.bottom + 6;
    }
    if (page && !page->text.empty()) {
        vantor::ScopedSelect font(dc, small.get());
        SetTextColor(dc, RGB(40, 40, 40));
        DrawTextW(dc, page->text.c_str(), static_cast<int>(page->text.size()), &line, DT_WORDBREAK | DT_NOPREFIX);
    }
}

}  // namespace pageengine
