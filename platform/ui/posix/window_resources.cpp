#include "platform/window_resources.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "installed_resources.h"

namespace orvex::platform {

// Icons and bitmaps have nothing to draw on: they are objects that only carry a size.
struct IconObject {
  int32_t width = 32, height = 32;
};
struct BitmapObject {
  int32_t width = 16, height = 16;
};

struct MenuObject {
  struct Item {
    std::string text;
    uint32_t command = 0;
  };
  std::vector<Item> items;
  std::unique_ptr<MenuObject> popup;  // the one sub-menu of a menu resource
  uint32_t default_item = 0xFFFFFFFFu;
  bool default_by_position = false;
};

namespace {

// Resource icons are shared and live for the process, as on Windows.
IconObject* SharedIcon(int id) {
  static std::mutex lock;
  static std::map<int, IconObject*>* icons = new std::map<int, IconObject*>;
  std::lock_guard<std::mutex> guard(lock);
  IconObject*& icon = (*icons)[id];
  if (icon == nullptr) icon = new IconObject;
  return icon;
}

}  // namespace

namespace posix {
BitmapHandle NewHeadlessBitmap(int32_t width, int32_t height) {
  return new BitmapObject{width, height};
}
}  // namespace posix

IconHandle LoadIconResource(ModuleInstance, int id) {
  return posix::HasInstalledIcon(id) ? SharedIcon(id) : nullptr;
}

// Bitmaps are not part of this program's resources.
BitmapHandle LoadBitmapResource(ModuleInstance, int) {
  return nullptr;
}

bool BitmapSize(BitmapHandle bitmap, int32_t* width, int32_t* height) {
  if (bitmap == nullptr) return false;
  *width = bitmap->width;
  *height = bitmap->height;
  return true;
}

bool DeleteBitmap(BitmapHandle bitmap) {
  delete bitmap;
  return bitmap != nullptr;
}

bool DestroyIconObject(IconHandle icon) {
  delete icon;
  return icon != nullptr;
}

IconHandle IconFromBitmap(BitmapHandle colour) {
  if (colour == nullptr) return nullptr;
  return new IconObject{colour->width, colour->height};
}

MenuHandle LoadMenuResource(ModuleInstance, int id) {
  const MenuTemplate* menu = posix::InstalledMenu(id);
  if (menu == nullptr) return nullptr;
  auto bar = std::make_unique<MenuObject>();
  bar->popup = std::make_unique<MenuObject>();
  bar->items.push_back({menu->popup_text == nullptr ? "" : menu->popup_text, 0xFFFFFFFFu});
  for (size_t i = 0; i < menu->item_count; ++i) {
    const MenuItemTemplate& item = menu->items[i];
    bar->popup->items.push_back(
        {item.text == nullptr ? "" : item.text, item.text == nullptr ? 0u : item.command});
  }
  return bar.release();
}

bool DestroyMenuObject(MenuHandle menu) {
  delete menu;
  return menu != nullptr;
}

MenuHandle SubMenuAt(MenuHandle menu, int position) {
  return menu != nullptr && position == 0 ? menu->popup.get() : nullptr;
}

int MenuItemCount(MenuHandle menu) {
  return menu == nullptr ? -1 : static_cast<int>(menu->items.size());
}

uint32_t MenuItemCommand(MenuHandle menu, int position) {
  if (menu == nullptr || position < 0 || position >= MenuItemCount(menu)) return 0xFFFFFFFFu;
  return menu->items[static_cast<size_t>(position)].command;
}

std::string MenuItemText(MenuHandle menu, int position) {
  if (menu == nullptr || position < 0 || position >= MenuItemCount(menu)) return {};
  return menu->items[static_cast<size_t>(position)].text;
}

bool SetMenuDefault(MenuHandle menu, uint32_t item, bool by_position) {
  if (menu == nullptr) return false;
  menu->default_item = item;
  menu->default_by_position = by_position;
  return true;
}

uint32_t MenuDefault(MenuHandle menu, bool by_position) {
  if (menu == nullptr || menu->default_item == 0xFFFFFFFFu) return 0xFFFFFFFFu;
  if (by_position == menu->default_by_position) return menu->default_item;
  // Translate between a position and a command identifier.
  for (int i = 0; i < MenuItemCount(menu); ++i) {
    if (by_position && MenuItemCommand(menu, i) == menu->default_item)
      return static_cast<uint32_t>(i);
    if (!by_position && static_cast<uint32_t>(i) == menu->default_item)
      return MenuItemCommand(menu, i);
  }
  return 0xFFFFFFFFu;
}

bool TrackPopup(MenuHandle, Point, WindowHandle) {
  return false;
}

}  // namespace orvex::platform
