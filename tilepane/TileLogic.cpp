#include "TileLogic.h"

#include <algorithm>
#include <cstdio>

#include "Text.h"

namespace tilepane {

RECT WebRect(const RECT& client, const Margins& m) {
    int w = client.right - client.left;
    int h = client.bottom - client.top;
    RECT web;
    web.left = client.left + w * m.left / 100;
    web.right = client.right - w * m.right / 100;
    web.top = client.top + h * m.top / 100;
    web.bottom = client.bottom - h * m.bottom / 100;
    return web;
}

RECT LogoRect(const RECT& web, SIZE logo) {
    RECT r;
    r.left = web.left;
    r.right = web.left + logo.cx;
    r.bottom = web.top;
    r.top = web.top - logo.cy;
    return r;
}

RECT BlockPaneRect(const RECT& logo, const RECT& web) {
    RECT r = {logo.right, logo.top - 20, web.right, logo.bottom - 20};
    return r;
}

RECT LoadBarRect(const RECT& web) {
    int cx = (web.left + web.right) / 2;
    int cy = (web.top + web.bottom) / 2;
    RECT r = {cx - 200, cy - 8, cx + 200, cy + 8};
    return r;
}

int InfoButtonX(const RECT& client, int infoPaneWidth, const RECT& web) {
    int x = client.right - infoPaneWidth - (client.right - client.left) / 20;
    return std::min(x, static_cast<int>(web.right));
}

RECT BrowserRoundRect(const RECT& web) {
    RECT r = {0, -100, web.right - web.left, web.bottom - web.top};
    return r;
}

Arrow TileArrow(const RECT& c, bool down) {
    int m = (c.top + c.bottom - 5) / 2;
    Arrow a;
    if (down) {
        a.points[0] = {c.right - 10, m + 5};
        a.points[1] = {c.right - 15, m - 5};
        a.points[2] = {c.right - 5, m - 5};
    } else {
        a.points[0] = {c.right - 5, m};
        a.points[1] = {c.right - 15, m - 5};
        a.points[2] = {c.right - 15, m + 5};
    }
    return a;
}

int ProgressPercent(long maximum, long progress) {
    if (progress == -1 || progress == 0 || maximum == 0) return -1;
    long long p = static_cast<long long>(progress) * 100 / maximum;
    return p >= 0 && p <= 100 ? static_cast<int>(p) : -1;
}

const char* ColourKey(int id) {
    switch (id) {
    case 999: return "block_2";
    case 1000: return "block_1";
    case 1001: return "block_5";
    case 1002: return "block_10";
    case 1003: return "block_3";
    case 1004: return "block_8";
    case 1005: return "block_11";
    case 1006: return "block_9";
    case 1008: return "block_6";
    case 1009: return "block_7";
    default: return nullptr;
    }
}

std::vector<size_t> DisplayOrder(const std::vector<int>& ids) {
    static const int kOrder[] = {1004, 1002, 1006, 1005, 999, 1007, 1003, 1000, 1001};
    std::vector<size_t> order;
    for (int wanted : kOrder) {
        auto at = std::find(ids.begin(), ids.end(), wanted);
        if (at != ids.end()) order.push_back(static_cast<size_t>(at - ids.begin()));
    }
    return order;
}

std::vector<POINT> BlockRows(const RECT& client, const std::vector<SIZE>& sizes) {
    std::vector<POINT> at;
    int x = client.left + 50;
    int row = 0;
    int tallest = 0;
    for (const SIZE& s : sizes) {
        int y = (client.bottom - s.cy) / 2;
        tallest = std::max(tallest, static_cast<int>(s.cy));
        if (x + s.cx > client.right) {
            ++row;
            x = client.left + 50;
        }
        if (row > 0) y += row * tallest + 5;
        at.push_back({x, y});
        x += s.cx + 5;
    }
    return at;
}

BarColours LinkBarColours(const std::vector<COLORREF>& layout) {
    BarColours c;
    if (layout.empty()) return c;
    c.first = layout.front();
    c.last = layout.back();
    return c;
}

BarColours ParseBarColours(const std::string& text) {
    int v[6] = {0, 0, 255, 0, 0, 255};
    sscanf(text.c_str(), "%d,%d,%d-%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    BarColours c;
    c.first = RGB(v[0], v[1], v[2]);
    c.last = RGB(v[3], v[4], v[5]);
    return c;
}

BoardColumn SplitColumn(const std::wstring& value) {
    BoardColumn c;
    size_t comma = value.find(L',');
    c.subject = value.substr(0, comma);
    if (comma != std::wstring::npos) {
        std::wstring rest = value.substr(comma + 1);
        c.item = rest.substr(0, rest.find(L','));
    }
    return c;
}

bool UsesSubjectAddress(int type) { return type == 5 || type == 6 || type == 17 || type == 18 || type == 22; }

int RemotePageKind(int command) {
    switch (command) {
    case 1: return 4;
    case 2: return 2;
    case 4: return 3;
    case 5: return 1;
    default: return -1;
    }
}

bool ScrollPosition(int code, int thumb, int current, int extent, int* position) {
    int p = current;
    switch (code) {
    case SB_LINEUP: p = current - 1; break;
    case SB_LINEDOWN: p = current + 1; break;
    case SB_PAGEUP: p = current - 15; break;
    case SB_PAGEDOWN: p = current + 15; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: p = thumb; break;
    case SB_TOP: p = 0; break;
    case SB_BOTTOM: p = extent; break;
    case SB_ENDSCROLL: return false;
    default: break;
    }
    *position = p;
    return true;
}

std::string LinkFace(const char* configured) {
    if (configured && configured[0]) return configured;
    return vantor::WideToAnsi(L"宋体");
}

int ThumbOf(WPARAM wParam, int trackPosition) {
    int word = static_cast<int>(HIWORD(wParam));
    return (trackPosition & 0xFFFF) == word ? trackPosition : word;
}

int ScrollRangeEnd(long docExtent, int webExtent) {
    return webExtent < docExtent ? static_cast<int>(docExtent - webExtent) : -1;
}

SliderFrame SliderBlocks(int L, int R, int b, int tick, int blocks) {
    SliderFrame f;
    // Before the first tick the train has not started.
    if (b < 1 || R <= L || tick < 1) return f;
    // Wide enough for any tick and bar: the train only moves right until it starts again.
    long long n = (R - L) / b;
    long long step = n * (tick - 1LL) / 100;
    long long left = L + (b + 2LL) * step;
    for (int i = 1; i <= blocks; ++i) {
        if (left >= L && left <= R) {
            int edge = static_cast<int>(left);
            f.blocks.push_back({edge, std::min(edge + b, R)});
        }
        left -= b + 2;
    }
    // left is now the edge after the last block.
    if (left - R > (b + 2LL) * (2LL * blocks + 10)) f.restart = true;
    return f;
}

}  // namespace tilepane
