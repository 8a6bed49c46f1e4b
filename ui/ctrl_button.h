#pragma once
// CtrlButton: a push button, optionally showing a bitmap or an owner-drawn icon.
#include "ui/ctrl_base.h"

namespace orvex::ui {

class CtrlButton : public CtrlBase {
 public:
  explicit CtrlButton(int control_id) : CtrlBase(control_id) {}

  // 8: draws the push frame (pressed while selected) and the owner-drawn icon.
  bool OnDrawItem(MessageRecord& record) override;
  // 9: shows a copy of `image` whose background has the button-face colour
  // (BM_SETIMAGE); `image` and the previously shown bitmap are deleted.
  void SetImage(platform::BitmapHandle image) override;
  // 10: the bitmap the button shows (BM_GETIMAGE).
  platform::BitmapHandle GetImage() override;
  // 11: the button owns its bitmap through the window; nothing to release here.
  void ReleaseImage() override;
  // 17: keeps `icon` for owner drawing and makes the button owner-drawn if it is not.
  virtual void SetOwnerDrawIcon(platform::IconHandle icon);
  // 18: the icon image of the button (BM_GETIMAGE with the icon type).
  virtual platform::IconHandle GetIconImage();
  // 19: hook for derived buttons.
  virtual void OnButtonHook();

  platform::IconHandle owner_draw_icon() const { return owner_draw_icon_; }

 private:
  platform::IconHandle owner_draw_icon_ = nullptr;
};

}  // namespace orvex::ui
