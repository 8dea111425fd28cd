#include "ControlPaint.h"

#include "Handles.h"
#include "SaveName.h"

namespace filesend {

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kProgressGreen = RGB(0, 255, 0);
const COLORREF kLinkBlue = RGB(0, 0, 255);
const int kLineHeight = 16;
const int kStatusTop = 34;
const int kStatusHeight = 14;

RECT Offset(RECT rect, const RECT& bounds) {
    OffsetRect(&rect, bounds.left, bounds.top);
    return rect;
}

RECT NthLink(const RECT& first, int index) {
    RECT rect = first;
    OffsetRect(&rect, index * (first.right - first.left) * 3 / 2, 0);
    return rect;
}

void FillWhite(HDC dc, const RECT& rect) {
    vantor::UniqueGdi<HBRUSH> white(CreateSolidBrush(kWhite));
    FillRect(dc, &rect, white.get());
}

void DrawLine(HDC dc, const std::wstring& text, RECT rect, UINT align) {
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void DrawStatusBox(HDC dc, const RECT& box, const TransferState& view) {
    vantor::UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, 1, kBlack));
    vantor::ScopedSelect selectPen(dc, pen.get());
    vantor::ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    if (view.ShowsProgressBar()) {
        double percent = view.Progress();
        if (percent < 0) percent = 0;
        if (percent > 100) percent = 100;
        int filled = static_cast<int>((box.right - box.left) * percent * 0.01) - 2;
        if (filled > 0) {
            RECT bar = {box.left + 1, box.top + 1, box.left + 1 + filled, box.bottom - 1};
            vantor::UniqueGdi<HBRUSH> green(CreateSolidBrush(kProgressGreen));
            FillRect(dc, &bar, green.get());
        }
    }
    RECT inside = {box.left + 1, box.top, box.right - 1, box.bottom};
    SetTextColor(dc, kBlack);
    DrawLine(dc, view.Message(), inside, DT_CENTER);
}

}  // namespace

RECT StatusBox(int width) {
    RECT box = {1, kStatusTop, width - 1, kStatusTop + kStatusHeight};
    return box;
}

RECT PaintControl(HDC dc, const RECT& bounds, const TransferState& view, const PaintTools& tools) {
    RECT firstLink = {0, 0, 0, 0};
    int saved = SaveDC(dc);
    // A host's DC may come with its own text alignment (a RichEdit draws on the baseline).
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    FillWhite(dc, bounds);
    if (!view.HasFile()) {
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
        RestoreDC(dc, saved);
        return firstLink;
    }
    int width = bounds.right - bounds.left;
    SetBkMode(dc, TRANSPARENT);
    HICON icon = tools.fileIcon ? tools.fileIcon : tools.ownIcon;
    if (icon) DrawIconEx(dc, bounds.left + 2, bounds.top + 2, icon, 32, 32, 0, nullptr, DI_NORMAL);

    vantor::ScopedSelect selectText(dc, tools.textFont);
    SetTextColor(dc, kBlack);
    RECT nameLine = Offset({38, 2, width - 2, 2 + kLineHeight}, bounds);
    DrawLine(dc, DisplayName(view.File()), nameLine, DT_LEFT);
    RECT sizeLine = nameLine;
    OffsetRect(&sizeLine, 0, kLineHeight);
    DrawLine(dc, view.Size(), sizeLine, DT_LEFT);
    DrawStatusBox(dc, Offset(StatusBox(width), bounds), view);

    const std::vector<std::wstring>& labels = view.LinkLabels();
    if (!labels.empty()) {
        vantor::ScopedSelect selectLink(dc, tools.linkFont);
        SIZE measured = {0, 0};
        GetTextExtentPoint32W(dc, labels[0].c_str(), static_cast<int>(labels[0].size()), &measured);
        int top = kStatusTop + kStatusHeight + 1;
        firstLink = {0, top, measured.cx, top + measured.cy};
        SetTextColor(dc, kLinkBlue);
        for (size_t i = 0; i < labels.size(); ++i)
            DrawLine(dc, labels[i], Offset(NthLink(firstLink, static_cast<int>(i)), bounds), DT_CENTER);
    }
    RestoreDC(dc, saved);
    return firstLink;
}

int LinkAt(const RECT& firstLink, int linkCount, POINT point) {
    for (int i = 0; i < linkCount; ++i) {
        RECT rect = NthLink(firstLink, i);
        if (PtInRect(&rect, point)) return i;
    }
    return -1;
}

}  // namespace filesend
