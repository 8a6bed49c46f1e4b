#include "setup/setup_actions.h"

#include "setup/config_actions.h"
#include "setup/elevation.h"
#include "setup/registration_actions.h"
#include "setup/trusted_location_actions.h"
#include "system/file_operations.h"
#include "system/self_delete.h"

namespace orvex {

int ReportStep(const char* label, bool ok, std::string* report) {
  // Files an elevated search skipped are named before the step they belong to.
  for (const std::string& path : system::TakeRefusedFiles()) {
    if (!report->empty() && !report->ends_with('\n')) *report += '\n';
    *report += "Refused file others can write: " + path + "\n";
  }
  if (report->ends_with('\n') && label[0] == '\n') ++label;
  *report += label;
  *report += ok ? "SUCCESS" : "FAILED";
  return ok ? 1 : 0;
}

int RunSetupAction(SetupAction action, const SetupActionInputs& inputs, std::string* output) {
  system::GuardFoundFiles(IsProcessElevated());
  switch (action) {
    case SetupAction::kConfigFile:
      return ConfigFileAction(inputs.args, output);
    case SetupAction::kUnConfigFile:
      return UnConfigFileAction(inputs.args, output);
    case SetupAction::kTLAdd:
      return TrustedLocationAdd(inputs.folder, output);
    case SetupAction::kTLRemove:
      return TrustedLocationRemove(inputs.folder, output);
    case SetupAction::kTLCheck:
      return TrustedLocationCheck(inputs.folder, output);
    case SetupAction::kSelfDelete:
      // Ends the process with 1 once the deletion is under way; returns only when it
      // could not be started, so an installer can tell.
      system::SelfDelete(1);
      return -1;
    default:
      return RunRegistrationAction(action, inputs, output);
  }
}

}  // namespace orvex
