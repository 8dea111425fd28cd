// Where the compact view puts its title strip, its two picture buttons and the
// information pane, for a client area and the system's caption-button height.
#pragma once

#include <windows.h>

namespace compactview {

struct CompactLayout {
    RECT title;   // the strip at the top
    RECT pane;    // the information pane, below the strip
    RECT close;   // button 1002: the square at the right end of the strip, less 2 each side
    RECT toggle;  // button 1001: the same square, left of the close button
};

CompactLayout LayOut(const RECT& client, int captionHeight);

}  // namespace compactview
