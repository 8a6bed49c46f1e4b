#pragma once
#include <memory>
#include <string>
#include <vector>

#include "setup/argv_handler.h"
#include "setup/argv_list.h"
#include "setup/rtd_setup_args.h"

namespace orvex {

// What a command line asks for, decided before anything runs: the legacy command that
// matches (or the usage text when none does), help, a parse error, or an action whose
// folder still has to be checked.
struct SetupDecision {
  enum class Kind { kLegacy, kUsage, kHelp, kParseError, kAction };
  Kind kind = Kind::kUsage;
  size_t handler = 0;  // kLegacy: index of the first matching handler
  SetupAction action = SetupAction::kNone;
  RtdSetupArgs parsed;
};

// Runs one command line: a legacy command (the registered handlers, first match
// wins) or an action of the simplified grammar. Owns its handlers; one thread.
class RtdSetupDispatcher {
 public:
  // Registers every legacy command in usage order.
  RtdSetupDispatcher();

  // Parses `args` and runs what they name; the result is the exit code and *output
  // the text to show: a handler's output, the usage text (result 0 for help and for a
  // word of neither grammar), "Error parsing arguments: ..." or "Specified folder not
  // found:..." (-1), or an action's report. Writes the "DBG" trace line of the action.
  int Execute(const ArgvList& args, std::string* output);

  // The grammar decision of Execute, without running anything or touching the file
  // system.
  SetupDecision Decide(const ArgvList& args) const;

  // The registered legacy commands, in registration order.
  const std::vector<std::unique_ptr<ArgvHandler>>& handlers() const { return handlers_; }

  // "\nSimplified Usage:" + the actions for the program `stem` + "\nLegacy Usage:" +
  // "\n\t" + each handler's usage line.
  std::string UsageText(const std::string& stem) const;

 private:
  std::vector<std::unique_ptr<ArgvHandler>> handlers_;
  std::string usage_;
};

}  // namespace orvex
