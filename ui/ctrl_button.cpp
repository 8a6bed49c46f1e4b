#include "ui/ctrl_button.h"

#include "platform/owner_draw.h"
#include "platform/window_messages.h"

namespace orvex::ui {

using namespace platform;

bool CtrlButton::OnDrawItem(MessageRecord& record) {
  return DrawPushButtonItem(record.lparam, owner_draw_icon_);
}

void CtrlButton::SetImage(BitmapHandle image) {
  if (image == nullptr) return;
  BitmapHandle shown = window_ == nullptr ? nullptr : RecolourToButtonFace(image);
  DeleteBitmap(image);
  if (shown == nullptr) return;
  auto previous = reinterpret_cast<BitmapHandle>(
      SendWindowMessage(window_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LParam>(shown)));
  if (previous != nullptr && previous != shown) DeleteBitmap(previous);
}

BitmapHandle CtrlButton::GetImage() {
  if (window_ == nullptr) return nullptr;
  return reinterpret_cast<BitmapHandle>(SendWindowMessage(window_, BM_GETIMAGE, IMAGE_BITMAP, 0));
}

void CtrlButton::ReleaseImage() {}

void CtrlButton::SetOwnerDrawIcon(IconHandle icon) {
  owner_draw_icon_ = icon;
  if (window_ == nullptr) return;
  const uint32_t style = WindowStyle(window_);
  if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
    SetWindowStyle(window_, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
  }
}

IconHandle CtrlButton::GetIconImage() {
  if (window_ == nullptr) return nullptr;
  return reinterpret_cast<IconHandle>(SendWindowMessage(window_, BM_GETIMAGE, IMAGE_ICON, 0));
}

void CtrlButton::OnButtonHook() {}

}  // namespace orvex::ui
