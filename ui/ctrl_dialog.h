#pragma once
// CtrlDialog: a dialog wrapper with its child wrappers, message maps and layout.
#include <map>
#include <set>
#include <utility>

#include "platform/resource_table.h"
#include "ui/ctrl_base.h"

namespace orvex::ui {

// A dialog's own maps: by message number, by WM_COMMAND key (the bare command id or
// the whole wParam, id plus notification code) and by WM_NOTIFY (control id, code).
struct DialogMessageMaps {
  std::map<uint32_t, MessageHandler> messages;
  std::map<platform::WParam, MessageHandler> commands;
  std::map<std::pair<uintptr_t, uint32_t>, MessageHandler> notifies;
};

// What OnSize needs: the client size last seen and each child's rectangle and flags.
struct LayoutRecord {
  platform::WindowHandle dialog = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  std::map<platform::WindowHandle, std::pair<platform::Rect, uint8_t>> children;
};

// The dialog does not own its children (the derived dialog holds them as members).
// User-interface thread only.
class CtrlDialog : public CtrlBase {
 public:
  explicit CtrlDialog(int template_id, platform::ModuleInstance module = platform::CurrentModule());
  ~CtrlDialog() override;

  // 3: OnDetach, Detach of every child, then the dialog itself is unbound.
  void Detach() override;
  // 4-6: the same slot of every child (Validate stops at the first false).
  bool StoreData() override;
  bool LoadData() override;
  bool Validate() override;

  // 17: records the client size and every bound child's rectangle and flags.
  virtual bool InitLayout();
  // 18: hook called first by Detach.
  virtual void OnDetach();
  // 19: the dialog procedure: the maps first, then the message's own slot.
  virtual intptr_t DialogProc(MessageRecord& record);
  // 20: binds the children, loads bitmaps, records the layout. False when the focus
  // was given to the first child, true when there is no child.
  virtual bool OnInitDialog();
  // 21: posts WM_COMMAND IDCANCEL to the dialog.
  virtual bool OnClose();
  // 22: IDOK -> OnOK, IDCANCEL -> OnCancel, other commands are not handled.
  virtual bool OnCommand(MessageRecord& record);
  // 23-25: WM_NOTIFY (not handled), WM_MOVE (nothing), WM_SIZE (re-layout).
  virtual bool OnNotify(MessageRecord& record);
  virtual void OnMove(int32_t x, int32_t y);
  virtual void OnSize();
  // 26-27: passed to the child whose control id is `id`; false when none.
  using CtrlBase::OnDrawItem;
  using CtrlBase::OnMeasureItem;
  virtual bool OnMeasureItem(int id, MessageRecord& record);
  virtual bool OnDrawItem(int id, MessageRecord& record);
  // 28: StoreData, Detach, then ends a modal dialog with 1 or destroys a modeless one.
  virtual bool OnOK();
  // 29: Detach, then ends a modal dialog with 0 or destroys a modeless one.
  virtual bool OnCancel();
  // 30: a deferred request (message WM_USER+306); not handled here.
  virtual bool OnDeferredRequest(platform::WParam value);

  // Creates the modeless dialog from the template resource (the control id). Null on
  // failure. The wrapper is bound during WM_INITDIALOG.
  platform::WindowHandle Create(platform::WindowHandle parent);
  // The same from an in-memory template.
  platform::WindowHandle CreateFromTemplate(const platform::DialogTemplate& dialog,
                                            platform::WindowHandle parent);
  // Runs the dialog modally; returns what ended it (-1 when it could not be shown).
  intptr_t RunModal(const platform::DialogTemplate& dialog, platform::WindowHandle parent);

  // Children are kept in address order; a child's maps pointer is set to ours.
  void AddChild(CtrlBase* child);
  void RemoveChild(CtrlBase* child);
  DialogMessageMaps& maps() { return maps_; }
  const LayoutRecord& layout() const { return layout_; }
  bool shown_modally() const { return shown_modally_ != 0; }
  platform::ModuleInstance module() const { return module_; }

 protected:
  std::set<CtrlBase*> children_;
  DialogMessageMaps maps_;
  platform::ModuleInstance module_;
  LayoutRecord layout_;
  uint8_t shown_modally_ = 0;

 private:
  bool TryMaps(MessageRecord& record);
  // Ends the dialog the way its showing requires.
  bool Finish(platform::WindowHandle window, intptr_t result);
};

// The dialog being created, for a dialog procedure that receives no wrapper in
// WM_INITDIALOG's lParam. Set just before creating the dialog and cleared after.
CtrlDialog*& DialogBeingCreated();

// The dialog procedure shared by all CtrlDialog windows; answers 0 or 1.
intptr_t SharedDialogProc(platform::WindowHandle dialog, uint32_t message, platform::WParam wparam,
                          platform::LParam lparam);

}  // namespace orvex::ui
