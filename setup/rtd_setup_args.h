#pragma once
#include <string>

#include "setup/argv_list.h"

namespace orvex {

// The actions of the simplified grammar, in the order of the usage text.
enum class SetupAction {
  kNone,
  kHelp,
  kTavXL,
  kRtd,
  kRegXll,
  kCleanXll,
  kStop,
  kDrop,
  kClean,
  kRunCU,
  kRunAU,
  kCleanAU,
  kCleanCU,
  kRtdRunCU,
  kRtdRunAU,
  kRtdClean,
  kRtdCleanAU,
  kRtdCleanCU,
  kConfigFile,
  kUnConfigFile,
  kTLAdd,
  kTLRemove,
  kTLCheck,
  kTest,
  kSelfDelete,
};

// The action a word names, compared without regard to case; kNone for other words.
SetupAction FindSetupAction(const std::string& word);

// The simplified grammar parsed from an argument vector. Parsing stops at the first
// error, which is then the only one recorded; it never throws.
struct RtdSetupArgs {
  std::string program;
  std::string action;
  std::string folder;
  std::string error;
  bool not_an_action = false;
  bool all_users = false;    // "/A"
  bool switch_s = false;     // "/S": parsed, read by no action
  bool no_auto_run = false;  // "/XAR"

  // Clears every field, then parses `args` (element 1 the action word).
  void Parse(const ArgvList& args);
};

}  // namespace orvex
