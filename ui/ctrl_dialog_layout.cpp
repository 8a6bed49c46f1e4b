// The layout half of CtrlDialog: children follow the dialog's edges on WM_SIZE.
#include "ui/ctrl_dialog.h"

namespace orvex::ui {

using namespace platform;

bool CtrlDialog::InitLayout() {
  layout_.dialog = window_;
  layout_.children.clear();
  Rect client;
  if (window_ == nullptr || !ClientRect(window_, &client)) return false;
  layout_.width = client.right - client.left;
  layout_.height = client.bottom - client.top;
  for (CtrlBase* child : children_) {
    Rect rect;
    if (child->window() != nullptr && ChildRectInParent(child->window(), &rect)) {
      layout_.children[child->window()] = {rect, child->layout_flags()};
    }
  }
  return true;
}

void CtrlDialog::OnSize() {
  Rect client;
  if (window_ == nullptr || !ClientRect(window_, &client)) return;
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width == layout_.width && height == layout_.height) return;
  const int32_t dx = width - layout_.width;
  const int32_t dy = height - layout_.height;
  layout_.width = width;
  layout_.height = height;
  for (auto& [child, entry] : layout_.children) {
    auto& [rect, flags] = entry;
    if ((flags & 8) != 0) {  // follow the right edge: widen (2) or shift
      if ((flags & 2) == 0) rect.left += dx;
      rect.right += dx;
    }
    if ((flags & 4) != 0) {  // follow the bottom edge: heighten (1) or shift
      if ((flags & 1) == 0) rect.top += dy;
      rect.bottom += dy;
    }
    MoveWindowTo(child, rect, true);
    RedrawWhole(child);
  }
}

}  // namespace orvex::ui
