#pragma once
#include <memory>
#include <string>
#include <vector>

#include "setup/argv_handler.h"
#include "setup/argv_list.h"

namespace orvex {

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

  // "\nSimplified Usage:" + the actions for the program `stem` + "\nLegacy Usage:" +
  // "\n\t" + each handler's usage line.
  std::string UsageText(const std::string& stem) const;

 private:
  int RunLegacy(const ArgvList& args, std::string* output);

  std::vector<std::unique_ptr<ArgvHandler>> handlers_;
  std::string usage_;
};

}  // namespace orvex
