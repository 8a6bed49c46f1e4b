#include "platform/message_box.h"

#include <cstdio>

#include "platform/resource_table.h"
#include "platform/window_messages.h"

namespace orvex::platform {

namespace {

// Closing the box answers IDCANCEL, as the system's box does (also with only an OK
// button).
intptr_t MessageBoxProcedure(WindowHandle box, uint32_t message, WParam wparam, LParam) {
  if (message == WM_INITDIALOG) return 1;
  if (message == WM_CLOSE) return EndDialogWith(box, IDCANCEL);
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    return EndDialogWith(box, LOWORD(wparam));
  }
  return 0;
}

}  // namespace

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t) {
  const char* shown_caption = caption == nullptr ? "Error" : caption;
  const char* shown_text = text == nullptr ? "" : text;
  // Nobody may be watching a screen: the text also goes to standard error.
  std::fprintf(stderr, "%s: %s\n", shown_caption, shown_text);
  const DialogControlTemplate controls[] = {
      {"STATIC", shown_text, -1, 7, 7, 180, 16, SS_LEFT},
      {"BUTTON", "OK", IDOK, 70, 28, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
  };
  const DialogTemplate box{shown_caption,
                           "MS Shell Dlg",
                           8,
                           WS_POPUP | WS_CAPTION | DS_MODALFRAME,
                           0,
                           0,
                           194,
                           50,
                           controls,
                           2};
  const intptr_t answer =
      RunModalDialogFromTemplate(CurrentModule(), box, owner, MessageBoxProcedure, 0);
  return answer <= 0 ? 0 : static_cast<int>(answer);
}

}  // namespace orvex::platform
