#include "ui/ctrl_dialog.h"

#include "platform/window_messages.h"
#include "ui/window_registry.h"

namespace orvex::ui {

using namespace platform;

namespace {
constexpr uint32_t kPostRequest = WM_USER + 301;      // post (message lParam) to (window wParam)
constexpr uint32_t kDeferredRequest = WM_USER + 306;  // OnDeferredRequest(wParam)
}  // namespace

CtrlDialog::CtrlDialog(int template_id, ModuleInstance module)
    : CtrlBase(template_id), module_(module) {}

// The children may be gone already (members of the derived dialog die first): the
// set is only forgotten, never followed.
CtrlDialog::~CtrlDialog() = default;

void CtrlDialog::AddChild(CtrlBase* child) {
  if (child == nullptr) return;
  children_.insert(child);
  child->SetOwnerMaps(&maps_);
}

void CtrlDialog::RemoveChild(CtrlBase* child) {
  if (children_.erase(child) != 0) child->SetOwnerMaps(nullptr);
}

void CtrlDialog::Detach() {
  OnDetach();
  for (CtrlBase* child : children_) child->Detach();
  CtrlBase::Detach();
}

bool CtrlDialog::StoreData() {
  for (CtrlBase* child : children_) child->StoreData();
  return window_ != nullptr;
}

bool CtrlDialog::LoadData() {
  for (CtrlBase* child : children_) child->LoadData();
  return window_ != nullptr;
}

bool CtrlDialog::Validate() {
  for (CtrlBase* child : children_) {
    if (!child->Validate()) return false;
  }
  return true;
}

void CtrlDialog::OnDetach() {}

bool CtrlDialog::TryMaps(MessageRecord& record) {
  const MessageHandler* found = nullptr;
  auto message = maps_.messages.find(record.message);
  if (message != maps_.messages.end()) found = &message->second;
  if (found == nullptr && record.message == WM_NOTIFY && record.lparam != 0) {
    const auto* header = reinterpret_cast<const NotifyHeader*>(record.lparam);
    auto any_code = maps_.notifies.find({header->id_from, 0});
    auto exact = maps_.notifies.find({header->id_from, header->code});
    if (any_code != maps_.notifies.end()) {
      found = &any_code->second;
    } else if (exact != maps_.notifies.end()) {
      found = &exact->second;
    }
  }
  if (found == nullptr && record.message == WM_COMMAND) {
    // The bare command id wins over the id plus notification code.
    auto bare = maps_.commands.find(LOWORD(record.wparam));
    auto whole = maps_.commands.find(record.wparam);
    if (bare != maps_.commands.end()) {
      found = &bare->second;
    } else if (whole != maps_.commands.end()) {
      found = &whole->second;
    }
  }
  return found != nullptr && found->Invoke(record);
}

intptr_t CtrlDialog::DialogProc(MessageRecord& record) {
  if (TryMaps(record)) return 1;
  switch (record.message) {
    case WM_MOVE:
      OnMove(static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(record.lparam))),
             static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(record.lparam))));
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_CLOSE:
      return OnClose();
    case WM_DRAWITEM:
      return OnDrawItem(static_cast<int>(record.wparam), record);
    case WM_MEASUREITEM:
      return OnMeasureItem(static_cast<int>(record.wparam), record);
    case WM_NOTIFY:
      return OnNotify(record);
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(record);
    case kPostRequest:
      PostWindowMessage(reinterpret_cast<WindowHandle>(record.wparam),
                        static_cast<uint32_t>(record.lparam), 0, 0);
      return 1;
    case kDeferredRequest:
      return OnDeferredRequest(record.wparam);
    default:
      return 0;
  }
}

bool CtrlDialog::OnInitDialog() {
  if (bitmap_id_ != 0 && module_ != nullptr) {
    BitmapHandle bitmap = LoadBitmapResource(module_, bitmap_id_);
    if (bitmap != nullptr) {
      SetImage(bitmap);
      SetIcon(IconFromBitmap(bitmap), false);
    }
  }
  for (CtrlBase* child : children_) {
    child->AttachToParent(window_);
    if (child->bitmap_id() != 0) child->SetImage(LoadBitmapResource(module_, child->bitmap_id()));
  }
  bool result = true;
  if (!children_.empty()) {
    SetFocusTo((*children_.begin())->window());
    result = false;
  }
  InitLayout();
  return result;
}

bool CtrlDialog::OnClose() {
  if (window_ == nullptr) return false;
  return PostWindowMessage(window_, WM_COMMAND, static_cast<WParam>(IDCANCEL), 0);
}

bool CtrlDialog::OnCommand(MessageRecord& record) {
  switch (LOWORD(record.wparam)) {
    case IDOK:
      return OnOK();
    case IDCANCEL:
      return OnCancel();
    default:
      return false;
  }
}

bool CtrlDialog::OnNotify(MessageRecord&) {
  return false;
}
void CtrlDialog::OnMove(int32_t, int32_t) {}

bool CtrlDialog::OnMeasureItem(int id, MessageRecord& record) {
  for (CtrlBase* child : children_) {
    if (child->control_id() == id) return child->OnMeasureItem(record);
  }
  return false;
}

bool CtrlDialog::OnDrawItem(int id, MessageRecord& record) {
  for (CtrlBase* child : children_) {
    if (child->control_id() == id) return child->OnDrawItem(record);
  }
  return false;
}

bool CtrlDialog::Finish(WindowHandle window, intptr_t result) {
  if (window == nullptr) return false;
  if (shown_modally_ != 0) return EndDialogWith(window, result);
  return DestroyWindowObject(window);
}

bool CtrlDialog::OnOK() {
  const WindowHandle window = window_;
  StoreData();
  Detach();
  return Finish(window, 1);
}

bool CtrlDialog::OnCancel() {
  const WindowHandle window = window_;
  Detach();
  return Finish(window, 0);
}

bool CtrlDialog::OnDeferredRequest(WParam) {
  return false;
}

WindowHandle CtrlDialog::Create(WindowHandle parent) {
  shown_modally_ = 0;
  return CreateDialogFromResource(module_, control_id_, parent, SharedDialogProc,
                                  reinterpret_cast<LParam>(this));
}

WindowHandle CtrlDialog::CreateFromTemplate(const DialogTemplate& dialog, WindowHandle parent) {
  shown_modally_ = 0;
  return CreateDialogFromTemplate(module_, dialog, parent, SharedDialogProc,
                                  reinterpret_cast<LParam>(this));
}

intptr_t CtrlDialog::RunModal(const DialogTemplate& dialog, WindowHandle parent) {
  shown_modally_ = 1;
  const intptr_t result = RunModalDialogFromTemplate(module_, dialog, parent, SharedDialogProc,
                                                     reinterpret_cast<LParam>(this));
  shown_modally_ = 0;
  return result;
}

CtrlDialog*& DialogBeingCreated() {
  static CtrlDialog* dialog = nullptr;
  return dialog;
}

intptr_t SharedDialogProc(WindowHandle dialog, uint32_t message, WParam wparam, LParam lparam) {
  CtrlDialog* wrapper = nullptr;
  if (message == WM_INITDIALOG) {
    wrapper = lparam != 0 ? reinterpret_cast<CtrlDialog*>(lparam) : DialogBeingCreated();
    if (wrapper == nullptr) return 0;
    wrapper->BindWindow(dialog);
  } else {
    wrapper = dynamic_cast<CtrlDialog*>(WindowRegistry::Instance().Find(dialog));
    if (wrapper == nullptr) return 0;
  }
  MessageRecord record{dialog, message, wparam, lparam, {0, 0, 0}};
  return wrapper->DialogProc(record) != 0 ? 1 : 0;
}

}  // namespace orvex::ui
