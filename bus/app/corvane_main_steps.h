#pragma once
// The steps of the Corvane program between its start and its end, kept apart from the
// thin entry point so that tests can run them.
#include <cstdint>
#include <string>

#include "bus/app/dlg_main.h"
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
// The add-in file `file_name` beside this program.
std::string AddInPath(const std::string& file_name);
// Removes the entries of the add-in installed at start: `argument` points to its file
// name (a std::string that outlives the dialog). Excel's bitness may have changed since,
// so the name is not derived again (session callback signature).
void UninstallAddInStep(intptr_t argument);

// Creates the dialog's window (template 103, no parent), handing the wrapper over
// through the dialog-being-created pointer. Null on failure.
platform::WindowHandle CreateMainDialog(DlgMain& dialog);

// The whole program after its single-instance check: the message box when
// `already_running`, otherwise bus, optional add-in ("/regXLL" anywhere in `arguments`,
// the command line without the program's own path), hidden dialog, message loop and the
// ordered shutdown. Answers 0.
int RunCorvane(const std::string& arguments, bool already_running);

}  // namespace orvex
