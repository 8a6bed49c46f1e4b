#pragma once
// Drawing for owner-drawn and bitmap buttons. POSIX: there is nothing to draw on; the
// drawing calls fail and bitmaps are copied by size only.
#include "platform/window.h"
#include "platform/window_resources.h"

namespace orvex::platform {

// Draws the item of a WM_DRAWITEM message (`draw_item` is its lParam): a push-button
// frame (DrawFrameControl, pressed while the item is selected), then `icon`, if any,
// centred by its colour bitmap's size, greyed when the button is disabled.
bool DrawPushButtonItem(LParam draw_item, IconHandle icon);

// A new bitmap like `bitmap` in which the pixels of its top-left pixel's colour have the
// button-face colour (GetSysColor(COLOR_BTNFACE)). The caller owns both. Null on failure.
BitmapHandle RecolourToButtonFace(BitmapHandle bitmap);

}  // namespace orvex::platform
