#include "setup/rtd_setup_dispatcher.h"

#include "platform/com.h"
#include "platform/file_attributes.h"
#include "setup/legacy_handlers.h"
#include "setup/rtd_setup_args.h"
#include "setup/setup_actions.h"
#include "setup/setup_trace.h"
#include "setup/usage_text.h"

namespace orvex {

namespace {

// The program's directory with its trailing separator: element 0 with the file name
// cut off.
std::string ProgramFolder(const std::string& program) {
  const size_t slash = program.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

}  // namespace

RtdSetupDispatcher::RtdSetupDispatcher() : handlers_(MakeLegacyHandlers()) {}

std::string RtdSetupDispatcher::UsageText(const std::string& stem) const {
  std::string text = "\nSimplified Usage:" + SimplifiedUsageText(stem) + "\nLegacy Usage:";
  for (const auto& handler : handlers_) text += "\n\t" + handler->Usage();
  return text;
}

int RtdSetupDispatcher::RunLegacy(const ArgvList& args, std::string* output) {
  for (const auto& handler : handlers_) {
    if (!handler->Matches(args)) continue;
    const platform::ComScope com;
    const int result = handler->Execute(args);
    *output = handler->output();
    return result;
  }
  *output = usage_;
  return 0;
}

int RtdSetupDispatcher::Execute(const ArgvList& args, std::string* output) {
  output->clear();
  RtdSetupArgs parsed;
  parsed.Parse(args);
  const std::string stem = ProgramStem(args.Arg(0));
  if (parsed.not_an_action) {
    usage_ = UsageText(stem);
    return RunLegacy(args, output);
  }
  const SetupAction action = FindSetupAction(parsed.action);
  if (action == SetupAction::kHelp) {
    *output = "Usage: " + UsageText(stem);
    return 0;
  }
  if (!parsed.error.empty()) {
    *output = "Error parsing arguments: " + parsed.error + UsageText(stem);
    return -1;
  }
  SetupActionInputs inputs{parsed.folder, parsed.all_users, parsed.no_auto_run, args};
  if (inputs.folder.empty()) {
    inputs.folder = ProgramFolder(args.Arg(0));
  } else if (platform::GetPathKind(inputs.folder) != platform::PathKind::kDirectory) {
    *output = "Specified folder not found:\n\t" + inputs.folder;
    return -1;
  }
  TraceAction(action, inputs, args);
  return RunSetupAction(action, inputs, output);
}

}  // namespace orvex
