#pragma once
// CtrlBase: one wrapper object bound to one window (a control or a dialog).
#include <cstdint>
#include <map>

#include "platform/window.h"
#include "platform/window_resources.h"
#include "ui/message_handler.h"
#include "ui/message_record.h"

namespace orvex::ui {

struct DialogMessageMaps;

// A wrapper is unbound at construction, bound by its dialog (AttachToParent) or by the
// dialog procedure, and unbound by Detach or its destructor. While bound it is entered
// in the WindowRegistry under its window. Calls that need a window do nothing and
// answer 0 or false while unbound. User-interface thread only.
class CtrlBase {
 public:
  // `control_id`: the control's identifier in its dialog, or a dialog's template id.
  explicit CtrlBase(int control_id);
  virtual ~CtrlBase();
  CtrlBase(const CtrlBase&) = delete;
  CtrlBase& operator=(const CtrlBase&) = delete;

  // 0: puts the shared wrapper procedure in place once subclassing was requested.
  virtual void Subclass();
  // 1: hook called whenever the parent changes.
  virtual void OnParentChanging();
  // 2: stores the parent and binds to its child with this control id (then LoadData);
  // with no parent or no id, unbinds. Returns whether a window is bound.
  virtual bool AttachToParent(platform::WindowHandle parent);
  // 3: unbinds and forgets the parent.
  virtual void Detach();
  // 4-6: data exchange hooks; answer whether a window is bound.
  virtual bool StoreData();
  virtual bool LoadData();
  virtual bool Validate();
  // 7-8: owner-draw hooks for WM_MEASUREITEM / WM_DRAWITEM; false here.
  virtual bool OnMeasureItem(MessageRecord& record);
  virtual bool OnDrawItem(MessageRecord& record);
  // 9-11: the image (bitmap) owned by the wrapper; setting releases the previous one.
  virtual void SetImage(platform::BitmapHandle image);
  virtual platform::BitmapHandle GetImage();
  virtual void ReleaseImage();
  // 12-13: WM_SETICON / WM_GETICON on the bound window.
  virtual platform::LResult SetIcon(platform::IconHandle icon, bool big);
  virtual platform::IconHandle GetIcon(bool big);
  // 14: the subclassed window's procedure: PreDispatch, else the saved procedure
  // followed by PostDispatch.
  virtual platform::LResult WindowProc(MessageRecord& record);
  // 15-16: the pre-map (or default pre-handler) and post-map (or default post-handler).
  virtual bool PreDispatch(MessageRecord& record);
  virtual bool PostDispatch(MessageRecord& record);

  // Makes `window` the bound window (null unbinds), keeping the registry current.
  void BindWindow(platform::WindowHandle window);
  // Asks for subclassing at the next binding (slot 0).
  void RequestSubclass() { subclass_requested_ = 1; }

  void SetPreHandler(uint32_t message, const MessageHandler& handler);
  void SetPostHandler(uint32_t message, const MessageHandler& handler);
  void SetDefaultPreHandler(const MessageHandler& handler) { default_pre_ = handler; }
  void SetDefaultPostHandler(const MessageHandler& handler) { default_post_ = handler; }
  // The owning dialog's message maps (set by the owner).
  void SetOwnerMaps(DialogMessageMaps* maps) { owner_maps_ = maps; }
  DialogMessageMaps* owner_maps() const { return owner_maps_; }

  platform::WindowHandle window() const { return window_; }
  platform::WindowHandle parent() const { return parent_; }
  int control_id() const { return control_id_; }
  int bitmap_id() const { return bitmap_id_; }
  void set_bitmap_id(int id) { bitmap_id_ = id; }
  // Layout flags: 1 stretch vertically, 2 stretch horizontally, 4 follow the bottom
  // edge, 8 follow the right edge (see CtrlDialog::OnSize).
  uint8_t layout_flags() const { return layout_flags_; }
  void set_layout_flags(uint8_t flags) { layout_flags_ = flags; }

 protected:
  platform::WindowHandle window_ = nullptr;
  platform::WindowHandle parent_ = nullptr;
  platform::BitmapHandle image_ = nullptr;
  int control_id_ = 0;
  int bitmap_id_ = 0;
  uint8_t layout_flags_ = 0;
  DialogMessageMaps* owner_maps_ = nullptr;
  MessageHandler default_pre_;
  std::map<uint32_t, MessageHandler> pre_map_;
  MessageHandler default_post_;
  std::map<uint32_t, MessageHandler> post_map_;
  void* saved_procedure_ = nullptr;
  uint8_t subclass_requested_ = 0;
};

// The procedure of subclassed windows: a window without a wrapper gets the default
// procedure; a wrapped one its wrapper's WindowProc with a fresh record.
platform::LResult SharedWindowProc(platform::WindowHandle window, uint32_t message,
                                   platform::WParam wparam, platform::LParam lparam);

}  // namespace orvex::ui
