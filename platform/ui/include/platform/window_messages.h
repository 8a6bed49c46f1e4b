#pragma once
// Message numbers, identifiers and style bits with the values and names the Windows
// user interface gives them, so code above the platform seam can speak that protocol
// without <windows.h>. The Win32 backend sources take these from <windows.h> instead
// and must not include this header (the names are macros there).
#include <cstdint>

namespace orvex::platform {

// Messages.
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_MOVE = 0x0003;
inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_SETTEXT = 0x000C;
inline constexpr uint32_t WM_GETTEXT = 0x000D;
inline constexpr uint32_t WM_GETTEXTLENGTH = 0x000E;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUERYENDSESSION = 0x0011;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ENDSESSION = 0x0016;
inline constexpr uint32_t WM_DRAWITEM = 0x002B;
inline constexpr uint32_t WM_MEASUREITEM = 0x002C;
inline constexpr uint32_t WM_GETMINMAXINFO = 0x0024;
inline constexpr uint32_t WM_WINDOWPOSCHANGING = 0x0046;
inline constexpr uint32_t WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr uint32_t WM_COPYDATA = 0x004A;
inline constexpr uint32_t WM_NOTIFY = 0x004E;
inline constexpr uint32_t WM_STYLECHANGING = 0x007C;
inline constexpr uint32_t WM_STYLECHANGED = 0x007D;
inline constexpr uint32_t WM_NCCREATE = 0x0081;
inline constexpr uint32_t WM_NCCALCSIZE = 0x0083;
inline constexpr uint32_t WM_GETICON = 0x007F;
inline constexpr uint32_t WM_SETICON = 0x0080;
inline constexpr uint32_t WM_INITDIALOG = 0x0110;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_APP = 0x8000;
inline constexpr uint32_t BM_GETIMAGE = 0x00F6;
inline constexpr uint32_t BM_SETIMAGE = 0x00F7;

// Command identifiers and message-box answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr uint32_t MB_OK = 0x0000;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;

// WM_SETICON / WM_GETICON kinds, BM_SETIMAGE image kinds.
inline constexpr int ICON_SMALL = 0;
inline constexpr int ICON_BIG = 1;
inline constexpr int IMAGE_BITMAP = 0;
inline constexpr int IMAGE_ICON = 1;

// Window, dialog, button and class styles.
inline constexpr uint32_t WS_POPUP = 0x80000000u;
inline constexpr uint32_t WS_CHILD = 0x40000000u;
inline constexpr uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr uint32_t WS_GROUP = 0x00020000u;
inline constexpr uint32_t DS_MODALFRAME = 0x0080u;
inline constexpr uint32_t DS_SETFONT = 0x0040u;
inline constexpr uint32_t DS_FIXEDSYS = 0x0008u;
inline constexpr uint32_t BS_PUSHBUTTON = 0x0000u;
inline constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001u;
inline constexpr uint32_t BS_OWNERDRAW = 0x000Bu;
inline constexpr uint32_t BS_TYPEMASK = 0x000Fu;
inline constexpr uint32_t SS_LEFT = 0x0000u;
inline constexpr uint32_t CS_VREDRAW = 0x0001u;
inline constexpr uint32_t CS_HREDRAW = 0x0002u;
inline constexpr uint32_t CS_DBLCLKS = 0x0008u;

// Owner-draw item states.
inline constexpr uint32_t ODS_SELECTED = 0x0001u;
inline constexpr uint32_t ODS_DISABLED = 0x0004u;

// Notification-icon operations and record flags.
inline constexpr uint32_t NIM_ADD = 0;
inline constexpr uint32_t NIM_MODIFY = 1;
inline constexpr uint32_t NIM_DELETE = 2;
inline constexpr uint32_t NIF_MESSAGE = 0x1u;
inline constexpr uint32_t NIF_ICON = 0x2u;
inline constexpr uint32_t NIF_TIP = 0x4u;

constexpr uint16_t LOWORD(uintptr_t value) {
  return static_cast<uint16_t>(value & 0xFFFF);
}
constexpr uint16_t HIWORD(uintptr_t value) {
  return static_cast<uint16_t>((value >> 16) & 0xFFFF);
}

}  // namespace orvex::platform

namespace orvex::platform {

// The header that WM_NOTIFY's lParam points at (NMHDR).
struct NotifyHeader {
  void* window_from;
  uintptr_t id_from;
  uint32_t code;
};

}  // namespace orvex::platform
