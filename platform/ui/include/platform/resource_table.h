#pragma once
// In-memory descriptions of dialogs and menus. Dialogs built from a template look the
// same on both systems (CreateDialogFromTemplate). The program's own resources are
// compiled into its image on Win32; the POSIX backend, which has no resource section,
// serves them from a table installed once at start-up.
#include <cstddef>
#include <cstdint>

namespace orvex::platform {

// One control of a dialog; co-ordinates in dialog units.
struct DialogControlTemplate {
  const char* window_class;  // "BUTTON", "STATIC", "EDIT"
  const char* text;
  int32_t id;  // -1: no identifier
  int16_t x, y, cx, cy;
  uint32_t style;  // WS_CHILD|WS_VISIBLE are added
};

struct DialogTemplate {
  const char* caption;
  const char* font;  // used with DS_SETFONT
  uint16_t point_size;
  uint32_t style;
  int16_t x, y, cx, cy;
  const DialogControlTemplate* controls;
  size_t control_count;
};

// A menu resource holding one pop-up sub-menu. An item with null text is a separator.
struct MenuItemTemplate {
  const char* text;
  uint32_t command;
};
struct MenuTemplate {
  const char* popup_text;
  const MenuItemTemplate* items;
  size_t item_count;
};

struct DialogResource {
  int id;
  const DialogTemplate* dialog;
};
struct MenuResource {
  int id;
  const MenuTemplate* menu;
};

// The program's resources for the POSIX backend. The table must outlive its use.
struct ResourceTable {
  const DialogResource* dialogs;
  size_t dialog_count;
  const MenuResource* menus;
  size_t menu_count;
  const int* icon_ids;
  size_t icon_count;
};

// POSIX: makes the table the source of CreateDialogFromResource, LoadMenuResource and
// LoadIconResource. Win32: does nothing; the resources are in the image.
void InstallResourceTable(const ResourceTable* table);

}  // namespace orvex::platform
