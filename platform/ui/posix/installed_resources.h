#pragma once
// The resource table the program installed (InstallResourceTable), for the POSIX
// window, menu and icon facilities.
#include "platform/resource_table.h"
#include "platform/window_resources.h"

namespace orvex::platform::posix {

const DialogTemplate* InstalledDialog(int id);
const MenuTemplate* InstalledMenu(int id);
bool HasInstalledIcon(int id);

// A new headless bitmap of the given size; freed with DeleteBitmap.
BitmapHandle NewHeadlessBitmap(int32_t width, int32_t height);

}  // namespace orvex::platform::posix
