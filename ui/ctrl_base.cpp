#include "ui/ctrl_base.h"

#include "platform/window_messages.h"
#include "ui/window_registry.h"

namespace orvex::ui {

using namespace platform;

CtrlBase::CtrlBase(int control_id) : control_id_(control_id) {}

CtrlBase::~CtrlBase() {
  // Out of the registry first, so no message reaches a half-destroyed wrapper.
  if (window_ != nullptr) WindowRegistry::Instance().Remove(window_, this);
  if (image_ != nullptr) DeleteBitmap(image_);
}

void CtrlBase::BindWindow(WindowHandle window) {
  if (window_ != nullptr) WindowRegistry::Instance().Remove(window_, this);
  window_ = window;
  if (window_ != nullptr) WindowRegistry::Instance().Enter(window_, this);
  Subclass();
}

void CtrlBase::Subclass() {
  if (subclass_requested_ == 0 || saved_procedure_ != nullptr || window_ == nullptr) return;
  saved_procedure_ = SubclassWindow(window_, SharedWindowProc);
}

void CtrlBase::OnParentChanging() {}

bool CtrlBase::AttachToParent(WindowHandle parent) {
  parent_ = parent;
  OnParentChanging();
  if (parent != nullptr && control_id_ != 0) {
    BindWindow(nullptr);
    BindWindow(DialogItem(parent, control_id_));
    LoadData();
  } else {
    BindWindow(nullptr);
  }
  return window_ != nullptr;
}

void CtrlBase::Detach() {
  BindWindow(nullptr);
  parent_ = nullptr;
  OnParentChanging();
}

bool CtrlBase::StoreData() {
  return window_ != nullptr;
}
bool CtrlBase::LoadData() {
  return window_ != nullptr;
}
bool CtrlBase::Validate() {
  return window_ != nullptr;
}
bool CtrlBase::OnMeasureItem(MessageRecord&) {
  return false;
}
bool CtrlBase::OnDrawItem(MessageRecord&) {
  return false;
}

void CtrlBase::SetImage(BitmapHandle image) {
  ReleaseImage();
  image_ = image;
}

BitmapHandle CtrlBase::GetImage() {
  return image_;
}

void CtrlBase::ReleaseImage() {
  if (image_ != nullptr) DeleteBitmap(image_);
  image_ = nullptr;
}

LResult CtrlBase::SetIcon(IconHandle icon, bool big) {
  if (window_ == nullptr) return 0;
  return SendWindowMessage(window_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                           reinterpret_cast<LParam>(icon));
}

IconHandle CtrlBase::GetIcon(bool big) {
  if (window_ == nullptr) return nullptr;
  return reinterpret_cast<IconHandle>(
      SendWindowMessage(window_, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0));
}

LResult CtrlBase::WindowProc(MessageRecord& record) {
  if (PreDispatch(record)) return 1;
  if (saved_procedure_ == nullptr) return 0;
  const LResult result = CallSavedProcedure(saved_procedure_, record.window, record.message,
                                            record.wparam, record.lparam);
  PostDispatch(record);
  return result;
}

bool CtrlBase::PreDispatch(MessageRecord& record) {
  auto it = pre_map_.find(record.message);
  if (it != pre_map_.end()) return it->second.Invoke(record);
  return default_pre_.Invoke(record);
}

bool CtrlBase::PostDispatch(MessageRecord& record) {
  auto it = post_map_.find(record.message);
  if (it != post_map_.end()) return it->second.Invoke(record);
  return default_post_.Invoke(record);
}

void CtrlBase::SetPreHandler(uint32_t message, const MessageHandler& handler) {
  pre_map_[message] = handler;
}

void CtrlBase::SetPostHandler(uint32_t message, const MessageHandler& handler) {
  post_map_[message] = handler;
}

LResult SharedWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  CtrlBase* wrapper = WindowRegistry::Instance().Find(window);
  if (wrapper == nullptr) return DefaultWindowProcedure(window, message, wparam, lparam);
  MessageRecord record{window, message, wparam, lparam, {0, 0, 0}};
  return wrapper->WindowProc(record);
}

}  // namespace orvex::ui
