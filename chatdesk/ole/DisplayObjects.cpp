#include "DisplayObjects.h"

#include "FileSendCtl.h"

namespace chatdesk {

namespace {

LONG HimetricToPixels(LONG himetric, int dpi) { return MulDiv(himetric, dpi, 2540); }

bool ObjectAt(IRichEditOle* ole, LONG index, REOBJECT* entry) {
    *entry = {};
    entry->cbStruct = sizeof *entry;
    return SUCCEEDED(ole->GetObject(index, entry, REO_GETOBJ_POLEOBJ)) && entry->poleobj;
}

bool IsControl(const REOBJECT& entry) {
    CLSID clsid = entry.clsid;
    if (clsid == CLSID_NULL) entry.poleobj->GetUserClassID(&clsid);
    return clsid == CLSID_FileSendCtl;
}

bool RectOf(HWND display, const REOBJECT& entry, RECT* rect) {
    POINTL at = {};
    SendMessageW(display, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), entry.cp);
    SIZEL size = {};
    if (FAILED(entry.poleobj->GetExtent(DVASPECT_CONTENT, &size)) || size.cx <= 0 || size.cy <= 0) return false;
    HDC dc = GetDC(display);
    int dpiX = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    int dpiY = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(display, dc);
    rect->left = at.x;
    rect->top = at.y;
    rect->right = at.x + HimetricToPixels(size.cx, dpiX);
    rect->bottom = at.y + HimetricToPixels(size.cy, dpiY);
    return true;
}

}  // namespace

bool ObjectRect(HWND display, IRichEditOle* ole, LONG index, RECT* rect) {
    REOBJECT entry;
    if (!ole || !rect || !ObjectAt(ole, index, &entry)) return false;
    bool found = RectOf(display, entry, rect);
    entry.poleobj->Release();
    return found;
}

bool ActivateControlAt(HWND display, IRichEditOle* ole, POINT point) {
    if (!ole) return false;
    POINTL at = {point.x, point.y};
    LONG position = static_cast<LONG>(SendMessageW(display, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&at)));
    for (LONG i = ole->GetObjectCount() - 1; i >= 0; --i) {
        REOBJECT entry;
        if (!ObjectAt(ole, i, &entry)) continue;
        RECT rect;
        bool hit = IsControl(entry) && RectOf(display, entry, &rect) &&
                   (entry.cp == position || PtInRect(&rect, point));
        if (hit) {
            IOleClientSite* site = nullptr;
            ole->GetClientSite(&site);
            entry.poleobj->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, display, &rect);
            entry.poleobj->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, display, &rect);
            if (site) site->Release();
        }
        entry.poleobj->Release();
        if (hit) return true;
    }
    return false;
}

void KeepControlsOnObjects(HWND display, IRichEditOle* ole) {
    if (!ole) return;
    RECT client;
    GetClientRect(display, &client);
    for (LONG i = ole->GetObjectCount() - 1; i >= 0; --i) {
        REOBJECT entry;
        if (!ObjectAt(ole, i, &entry)) continue;
        IOleInPlaceObject* inPlace = nullptr;
        HWND window = nullptr;
        RECT rect;
        if (IsControl(entry) &&
            SUCCEEDED(entry.poleobj->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) &&
            SUCCEEDED(inPlace->GetWindow(&window)) && window && GetParent(window) == display &&
            RectOf(display, entry, &rect))
            inPlace->SetObjectRects(&rect, &client);
        if (inPlace) inPlace->Release();
        entry.poleobj->Release();
    }
}

}  // namespace chatdesk
