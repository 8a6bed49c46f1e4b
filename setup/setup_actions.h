#pragma once
#include <string>

#include "setup/argv_list.h"
#include "setup/rtd_setup_args.h"

namespace orvex {

// What an action works on: the checked folder (given, or the program's own directory
// with its trailing separator), the switches and, for the configuration actions, the
// raw command line.
struct SetupActionInputs {
  std::string folder;
  bool all_users = false;
  bool no_auto_run = false;
  ArgvList args;
};

// Runs one action of the simplified grammar (not kNone or kHelp): appends its report
// to *output and answers the exit code. May end the process instead (elevated
// restart, self-delete).
int RunSetupAction(SetupAction action, const SetupActionInputs& inputs, std::string* output);

// Appends label + "SUCCESS" or "FAILED"; answers 1 or 0.
int ReportStep(const char* label, bool ok, std::string* report);

}  // namespace orvex
