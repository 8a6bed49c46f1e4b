#pragma once
// SfWinApp: the message loops of the user-interface thread.
#include "ui/ctrl_dialog.h"

namespace orvex::ui {

class SfWinApp {
 public:
  virtual ~SfWinApp();
  // Runs the loop until WM_QUIT, letting the dialog manager see every message for
  // `dialog` first. Returns WM_QUIT's exit code, or -1 when the queue failed.
  virtual int RunDialogLoop(CtrlDialog* dialog);
  // The same loop without the dialog manager.
  virtual int RunLoop();
};

}  // namespace orvex::ui
