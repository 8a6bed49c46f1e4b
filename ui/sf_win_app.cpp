#include "ui/sf_win_app.h"

namespace orvex::ui {

using namespace platform;

namespace {

int Loop(CtrlDialog* dialog) {
  for (;;) {
    QueuedMessage message;
    const int got = GetNextMessage(&message);
    if (got == -1) return -1;
    if (got == 0) return static_cast<int>(message.wparam);
    const WindowHandle window = dialog == nullptr ? nullptr : dialog->window();
    if (window != nullptr && IsDialogQueuedMessage(window, message)) continue;
    TranslateQueuedMessage(message);
    DispatchQueuedMessage(message);
  }
}

}  // namespace

SfWinApp::~SfWinApp() = default;

int SfWinApp::RunDialogLoop(CtrlDialog* dialog) {
  return Loop(dialog);
}

int SfWinApp::RunLoop() {
  return Loop(nullptr);
}

}  // namespace orvex::ui
