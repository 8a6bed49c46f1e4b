#include "ui/testing/test_dialogs.h"

#include <iterator>

#include "platform/clock.h"
#include "platform/window_messages.h"

namespace orvex::ui::test {

using namespace platform;

const DialogTemplate& LayoutDialog() {
  static const DialogControlTemplate controls[] = {
      {"BUTTON", "Still", 10, 4, 4, 40, 14, BS_PUSHBUTTON},
      {"BUTTON", "Moves", 11, 60, 30, 40, 14, BS_PUSHBUTTON},
      {"STATIC", "Grows", 12, 4, 50, 96, 20, SS_LEFT},
      {"BUTTON", "Plain", 13, 4, 74, 40, 14, BS_PUSHBUTTON},
      {"STATIC", "Wider", 14, 50, 74, 30, 10, SS_LEFT},
      {"STATIC", "Taller", 15, 84, 74, 30, 10, SS_LEFT},
  };
  static const DialogTemplate dialog{
      "Layout test", "MS Shell Dlg",     8, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, 0, 120, 100,
      controls,      std::size(controls)};
  return dialog;
}

bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms) {
  const uint32_t start = TickCount();
  // A timer-less wake-up: post a no-op to ourselves so the wait below always returns.
  while (!done()) {
    if (TickCount() - start >= timeout_ms) return false;
    PostWindowMessage(nullptr, WM_NULL, 0, 0);
    QueuedMessage message;
    const int got = GetNextMessage(&message);
    if (got <= 0) {
      if (got == 0) PostQuit(static_cast<int>(message.wparam));
      return done();
    }
    if (message.window == nullptr && message.message == WM_NULL) {
      SleepMs(1);
      continue;
    }
    TranslateQueuedMessage(message);
    DispatchQueuedMessage(message);
  }
  return true;
}

}  // namespace orvex::ui::test
