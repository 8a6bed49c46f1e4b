#include "setup/rtd_setup_dispatcher.h"

#include "platform/com.h"
#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "setup/legacy_handlers.h"
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

SetupDecision RtdSetupDispatcher::Decide(const ArgvList& args) const {
  SetupDecision decision;
  decision.parsed.Parse(args);
  if (decision.parsed.not_an_action) {
    for (size_t i = 0; i < handlers_.size(); ++i) {
      if (!handlers_[i]->Matches(args)) continue;
      decision.kind = SetupDecision::Kind::kLegacy;
      decision.handler = i;
      return decision;
    }
    decision.kind = SetupDecision::Kind::kUsage;
    return decision;
  }
  decision.action = FindSetupAction(decision.parsed.action);
  if (decision.action == SetupAction::kHelp) {
    decision.kind = SetupDecision::Kind::kHelp;
  } else if (!decision.parsed.error.empty()) {
    decision.kind = SetupDecision::Kind::kParseError;
  } else {
    decision.kind = SetupDecision::Kind::kAction;
  }
  return decision;
}

int RtdSetupDispatcher::Execute(const ArgvList& args, std::string* output) {
  output->clear();
  const SetupDecision decision = Decide(args);
  const std::string stem = ProgramStem(args.Arg(0));
  switch (decision.kind) {
    case SetupDecision::Kind::kLegacy: {
      usage_ = UsageText(stem);
      ArgvHandler& handler = *handlers_[decision.handler];
      const platform::ComScope com;
      const int result = handler.Execute(args);
      *output = handler.output();
      return result;
    }
    case SetupDecision::Kind::kUsage:
      usage_ = UsageText(stem);
      *output = usage_;
      return 0;
    case SetupDecision::Kind::kHelp:
      *output = "Usage: " + UsageText(stem);
      return 0;
    case SetupDecision::Kind::kParseError:
      *output = "Error parsing arguments: " + decision.parsed.error + UsageText(stem);
      return -1;
    case SetupDecision::Kind::kAction:
      break;
  }
  const RtdSetupArgs& parsed = decision.parsed;
  SetupActionInputs inputs{parsed.folder, parsed.all_users, parsed.no_auto_run, args};
  if (inputs.folder.empty()) {
    inputs.folder = ProgramFolder(args.Arg(0));
  } else if (platform::GetPathKind(inputs.folder) != platform::PathKind::kDirectory) {
    *output = "Specified folder not found:\n\t" + inputs.folder;
    return -1;
  }
  // Once, here: what gets registered and started never depends on the current
  // directory or on PATH.
  const std::string absolute = platform::AbsolutePath(inputs.folder);
  if (!absolute.empty()) inputs.folder = absolute;
  TraceAction(decision.action, inputs, args);
  return RunSetupAction(decision.action, inputs, output);
}

}  // namespace orvex
