#include "platform/window_resources.h"

#include <windows.h>

namespace orvex::platform {

namespace {
HINSTANCE Module(ModuleInstance module) {
  return reinterpret_cast<HINSTANCE>(module);
}
HMENU Native(MenuHandle menu) {
  return reinterpret_cast<HMENU>(menu);
}
}  // namespace

IconHandle LoadIconResource(ModuleInstance module, int id) {
  return reinterpret_cast<IconHandle>(LoadIconA(Module(module), MAKEINTRESOURCEA(id)));
}

BitmapHandle LoadBitmapResource(ModuleInstance module, int id) {
  return reinterpret_cast<BitmapHandle>(LoadBitmapA(Module(module), MAKEINTRESOURCEA(id)));
}

bool BitmapSize(BitmapHandle bitmap, int32_t* width, int32_t* height) {
  BITMAP info{};
  if (GetObjectA(reinterpret_cast<HBITMAP>(bitmap), sizeof info, &info) == 0) return false;
  *width = info.bmWidth;
  *height = info.bmHeight;
  return true;
}

bool DeleteBitmap(BitmapHandle bitmap) {
  return DeleteObject(reinterpret_cast<HBITMAP>(bitmap)) != FALSE;
}

bool DestroyIconObject(IconHandle icon) {
  return DestroyIcon(reinterpret_cast<HICON>(icon)) != FALSE;
}

IconHandle IconFromBitmap(BitmapHandle colour) {
  int32_t width = 0, height = 0;
  if (!BitmapSize(colour, &width, &height)) return nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP mask = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (mask == nullptr) return nullptr;
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask;
  info.hbmColor = reinterpret_cast<HBITMAP>(colour);
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);  // the icon holds its own copies
  return reinterpret_cast<IconHandle>(icon);
}

MenuHandle LoadMenuResource(ModuleInstance module, int id) {
  return reinterpret_cast<MenuHandle>(LoadMenuA(Module(module), MAKEINTRESOURCEA(id)));
}

bool DestroyMenuObject(MenuHandle menu) {
  return DestroyMenu(Native(menu)) != FALSE;
}

MenuHandle SubMenuAt(MenuHandle menu, int position) {
  return reinterpret_cast<MenuHandle>(GetSubMenu(Native(menu), position));
}

int MenuItemCount(MenuHandle menu) {
  return GetMenuItemCount(Native(menu));
}

uint32_t MenuItemCommand(MenuHandle menu, int position) {
  return GetMenuItemID(Native(menu), position);
}

std::string MenuItemText(MenuHandle menu, int position) {
  char text[256] = {};
  const int n =
      GetMenuStringA(Native(menu), static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

bool SetMenuDefault(MenuHandle menu, uint32_t item, bool by_position) {
  return SetMenuDefaultItem(Native(menu), item, by_position ? TRUE : FALSE) != FALSE;
}

uint32_t MenuDefault(MenuHandle menu, bool by_position) {
  return GetMenuDefaultItem(Native(menu), by_position ? TRUE : FALSE, 0);
}

bool TrackPopup(MenuHandle menu, Point at, WindowHandle owner) {
  return TrackPopupMenu(Native(menu), 0, at.x, at.y, 0, reinterpret_cast<HWND>(owner), nullptr) !=
         FALSE;
}

}  // namespace orvex::platform
