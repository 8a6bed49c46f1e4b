#pragma once
// Icons, bitmaps and menus of the program (LoadIconA, LoadBitmapA, LoadMenuA...).
// POSIX: icons and bitmaps are bookkeeping handles (nothing is drawn); menus are
// built from the installed resource table and a pop-up menu chooses nothing.
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace orvex::platform {

struct IconObject;
struct BitmapObject;
struct MenuObject;
using IconHandle = IconObject*;
using BitmapHandle = BitmapObject*;
using MenuHandle = MenuObject*;

// Icon or bitmap resource `id` of the module; null when there is none.
IconHandle LoadIconResource(ModuleInstance module, int id);
BitmapHandle LoadBitmapResource(ModuleInstance module, int id);
bool BitmapSize(BitmapHandle bitmap, int32_t* width, int32_t* height);
// Frees a bitmap made by this facility; icons from resources need no freeing.
bool DeleteBitmap(BitmapHandle bitmap);
bool DestroyIconObject(IconHandle icon);

// An icon whose colour bitmap is `colour` and whose mask is a new screen-compatible
// bitmap of the same size (CreateIconIndirect). The caller keeps `colour`. Null on failure.
IconHandle IconFromBitmap(BitmapHandle colour);

// Menu resource `id`; the caller destroys it with DestroyMenuObject. Null when none.
MenuHandle LoadMenuResource(ModuleInstance module, int id);
bool DestroyMenuObject(MenuHandle menu);
// Sub-menu at `position`; owned by its menu. Null when none.
MenuHandle SubMenuAt(MenuHandle menu, int position);
int MenuItemCount(MenuHandle menu);
// Command of the item at `position`; 0xFFFFFFFF for a sub-menu or no item, 0 for a separator.
uint32_t MenuItemCommand(MenuHandle menu, int position);
// Text of the item at `position` ("" for separators).
std::string MenuItemText(MenuHandle menu, int position);
// SetMenuDefaultItem / GetMenuDefaultItem (0xFFFFFFFF: none).
bool SetMenuDefault(MenuHandle menu, uint32_t item, bool by_position);
uint32_t MenuDefault(MenuHandle menu, bool by_position);
// Shows the menu at `at` with `owner` receiving the chosen command as WM_COMMAND.
// POSIX: nothing is shown and nothing is chosen; returns false.
bool TrackPopup(MenuHandle menu, Point at, WindowHandle owner);

}  // namespace orvex::platform
