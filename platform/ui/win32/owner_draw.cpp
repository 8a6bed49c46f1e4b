#include "platform/owner_draw.h"

#include <windows.h>

namespace orvex::platform {

namespace {

bool IconBitmapSize(HICON icon, int* width, int* height) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return false;
  BITMAP bitmap{};
  const bool ok =
      info.hbmColor != nullptr && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap) != 0;
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  *width = bitmap.bmWidth;
  *height = bitmap.bmHeight;
  return ok;
}

}  // namespace

bool DrawPushButtonItem(LParam draw_item, IconHandle icon) {
  auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(draw_item);
  if (item == nullptr) return false;
  RECT rect = item->rcItem;
  UINT state = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
  if ((item->itemState & ODS_SELECTED) != 0) state |= DFCS_PUSHED;
  DrawFrameControl(item->hDC, &rect, DFC_BUTTON, state);
  auto native = reinterpret_cast<HICON>(icon);
  int width = 0, height = 0;
  if (native == nullptr || !IconBitmapSize(native, &width, &height)) return true;
  const int x = item->rcItem.left + (item->rcItem.right - item->rcItem.left - width) / 2;
  const int y = item->rcItem.top + (item->rcItem.bottom - item->rcItem.top - height) / 2;
  if (IsWindowEnabled(item->hwndItem)) {
    return DrawIconEx(item->hDC, x, y, native, width, height, 0, nullptr, DI_NORMAL) != FALSE;
  }
  return DrawStateA(item->hDC, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)), nullptr,
                    reinterpret_cast<LPARAM>(native), 0, x, y, width, height,
                    DST_ICON | DSS_DISABLED) != FALSE;
}

BitmapHandle RecolourToButtonFace(BitmapHandle bitmap) {
  BITMAP info{};
  auto source = reinterpret_cast<HBITMAP>(bitmap);
  if (GetObjectA(source, sizeof info, &info) == 0) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP result = CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight);
  ReleaseDC(nullptr, screen);
  if (from != nullptr && to != nullptr && result != nullptr) {
    HGDIOBJ old_from = SelectObject(from, source);
    HGDIOBJ old_to = SelectObject(to, result);
    BitBlt(to, 0, 0, info.bmWidth, info.bmHeight, from, 0, 0, SRCCOPY);
    const COLORREF background = GetPixel(from, 0, 0);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int y = 0; y < info.bmHeight; ++y) {
      for (int x = 0; x < info.bmWidth; ++x) {
        if (GetPixel(from, x, y) == background) SetPixel(to, x, y, face);
      }
    }
    SelectObject(from, old_from);
    SelectObject(to, old_to);
  }
  if (from != nullptr) DeleteDC(from);
  if (to != nullptr) DeleteDC(to);
  return reinterpret_cast<BitmapHandle>(result);
}

}  // namespace orvex::platform
