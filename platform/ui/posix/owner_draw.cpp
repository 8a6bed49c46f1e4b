#include "platform/owner_draw.h"

#include "installed_resources.h"

namespace orvex::platform {

bool DrawPushButtonItem(LParam, IconHandle) {
  return false;
}

BitmapHandle RecolourToButtonFace(BitmapHandle bitmap) {
  int32_t width = 0, height = 0;
  if (!BitmapSize(bitmap, &width, &height)) return nullptr;
  return posix::NewHeadlessBitmap(width, height);
}

}  // namespace orvex::platform
