// What a browser stand-in shows of a loaded page: its address, its title and its text
// (no HTML is rendered), so that pictures tell what is loaded.
#pragma once

#include <windows.h>

#include "PageDocument.h"

namespace pageengine {

// Paints the page (null: nothing loaded yet) over the whole area, scrolled up by scrollY.
void PaintPage(HDC dc, const RECT& area, const PageDocument* page, long scrollY);

}  // namespace pageengine
