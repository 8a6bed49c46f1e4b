#pragma once
// The steps of the Corvane program between its start and its end, kept apart from the
// thin entry point so that tests can run them.
#include <cstdint>
#include <string>

#include "bus/dlg_main.h"
#include "platform/named_mutex.h"

namespace orvex {

// The program's single-instance mutex "Corvane_SI", created when the object is built
// (during static initialisation of the program) and held for the life of the process.
class SingleInstance {
 public:
  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;
  // True when the mutex existed before: another instance runs for this user.
  bool already_running() const { return already_running_; }

 private:
  platform::MutexObject* mutex_ = nullptr;
  bool already_running_ = false;
};

// The add-in's file name for an Excel of `bitness`: "KelRTDAddIn_x64.xll" for 64,
// "KelRTDAddIn.xll" for anything else.
std::string AddInFileName(int bitness);
// The add-in file beside this program, chosen by the registered Excel's bitness.
std::string AddInPath();
// Removes the add-in's entries, chosen again by the Excel bitness of this moment. The
// argument is unused (session callback signature).
void UninstallAddInStep(intptr_t argument);

// Creates the dialog's window (template 103, no parent), handing the wrapper over
// through the dialog-being-created pointer. Null on failure.
platform::WindowHandle CreateMainDialog(DlgMain& dialog);

// The whole program after its single-instance check: the message box when
// `already_running`, otherwise bus, optional add-in ("/regXLL" anywhere in
// `command_line`), hidden dialog, message loop and the ordered shutdown. Answers 0.
int RunCorvane(const std::string& command_line, bool already_running);

}  // namespace orvex
