// The home tile pane's decisions that need no window: geometry, progress, link colours,
// order and rows, board sections, page choice, retries, scrolling and the slider.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tilepane {

// --- geometry of the pane

struct Margins {
    int left = 0, right = 0, top = 0, bottom = 0;  // percent of the client width or height
};

RECT WebRect(const RECT& client, const Margins& margins);
// The logo sits on top of the web rectangle's left end.
RECT LogoRect(const RECT& web, SIZE logo);
// The block pane from the logo's right edge to the web right edge, 20 pixels higher.
RECT BlockPaneRect(const RECT& logo, const RECT& web);
// 400 x 16, centred on the web rectangle.
RECT LoadBarRect(const RECT& web);
// Left edge of the info-pane button: right of the client less the info pane's width and a
// twentieth of the client width, at most the web right edge.
int InfoButtonX(const RECT& client, int infoPaneWidth, const RECT& web);
// The rounded rectangle cut with the browser's rectangle (origin 0,0): only the bottom
// corners end up rounded.
RECT BrowserRoundRect(const RECT& web);

// Points of the info tile's arrow in a client rectangle.
struct Arrow {
    POINT points[3];
};
Arrow TileArrow(const RECT& client, bool down);

// Progress in percent, or -1 when the event shows nothing (progress -1 or 0, maximum 0, or
// a result outside 0..100).
int ProgressPercent(long maximum, long progress);

// Retries of a failed remote address: Fail() says whether to try again (three times),
// the fourth failure starts the count afresh.
class RetryCount {
public:
    bool Fail() {
        ++count_;
        if (count_ <= 3) return true;
        count_ = 0;
        return false;
    }
    void Reset() { count_ = 0; }
    int count() const { return count_; }

private:
    int count_ = 0;
};

// --- links of the block pane

// The [color_rgb] key of a link id; null for ids without one.
const char* ColourKey(int linkId);
constexpr COLORREF kDefaultLinkColour = 0x0000FF;
constexpr COLORREF kSharedLinkColour = 0x7F7F7F;
constexpr int kHomeLink = 1008;
constexpr int kRenewalLink = 1009;
constexpr int kGamesBoard = 1000;
constexpr int kClassroomBoard = 999;

// Indexes into ids in display order: the service links by the fixed order (the first
// link of each id), then the home link first and the renewal link last are the caller's.
std::vector<size_t> DisplayOrder(const std::vector<int>& ids);

// Rows of links from x = left + 50: positions for client sizes within a client rectangle.
std::vector<POINT> BlockRows(const RECT& client, const std::vector<SIZE>& sizes);

// The links' font face in the ANSI code page: the configured one, else "宋体".
std::string LinkFace(const char* configured);

// First and last colour of the layout list (blue and green when empty).
struct BarColours {
    COLORREF first = 0xFF0000;
    COLORREF last = 0x00FF00;
};
BarColours LinkBarColours(const std::vector<COLORREF>& layout);
// A [LoadBar] "color" value "r,g,b-r,g,b"; missing numbers read as 0, 0, 255.
BarColours ParseBarColours(const std::string& text);

// --- boards and pages

// "subject name,second item" of a board section.
struct BoardColumn {
    std::wstring subject;
    std::wstring item;
};
BoardColumn SplitColumn(const std::wstring& value);

// Service types whose subject carries its own page address.
bool UsesSubjectAddress(int serviceType);

// Remote page kind of a pane command (-1 for commands without one).
int RemotePageKind(int command);

// --- scrolling

// The new bar position for a scroll request; `extent` is the web width or height. False
// for "end scroll", which changes nothing.
bool ScrollPosition(int code, int thumb, int current, int extent, int* position);
// The thumb position of a scroll request: the bar's 32-bit track position while the bar is
// being dragged (the request's high word is its low 16 bits), else the request's unsigned
// high word (a request sent from elsewhere).
int ThumbOf(WPARAM wParam, int trackPosition);

// Range end of a bar, or -1 when the host is hidden.
int ScrollRangeEnd(long docExtent, int webExtent);

// --- slider bar

struct SliderBlock {
    int left, right;
};
struct SliderFrame {
    std::vector<SliderBlock> blocks;
    bool restart = false;  // the train left the bar: the tick count starts again
};
// Blocks of the marquee for the inner edges, block width, tick and block count. Nothing
// is drawn for blocks under one pixel.
SliderFrame SliderBlocks(int innerLeft, int innerRight, int blockWidth, int tick, int blocks);

}  // namespace tilepane
