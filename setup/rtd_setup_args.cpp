#include "setup/rtd_setup_args.h"

#include <array>
#include <filesystem>
#include <utility>

#include "base/no_case.h"

namespace orvex {

namespace {

struct ActionWord {
  const char* word;
  SetupAction action;
};

constexpr std::array<ActionWord, 26> kActionWords{{
    {"?", SetupAction::kHelp},
    {"/?", SetupAction::kHelp},
    {"Help", SetupAction::kHelp},
    {"TavXL", SetupAction::kTavXL},
    {"RTD", SetupAction::kRtd},
    {"RegXLL", SetupAction::kRegXll},
    {"CleanXLL", SetupAction::kCleanXll},
    {"Stop", SetupAction::kStop},
    {"Drop", SetupAction::kDrop},
    {"Clean", SetupAction::kClean},
    {"RunCU", SetupAction::kRunCU},
    {"RunAU", SetupAction::kRunAU},
    {"CleanAU", SetupAction::kCleanAU},
    {"CleanCU", SetupAction::kCleanCU},
    {"RTDRunCU", SetupAction::kRtdRunCU},
    {"RTDRunAU", SetupAction::kRtdRunAU},
    {"RTDClean", SetupAction::kRtdClean},
    {"RTDCleanAU", SetupAction::kRtdCleanAU},
    {"RTDCleanCU", SetupAction::kRtdCleanCU},
    {"ConfigFile", SetupAction::kConfigFile},
    {"UnConfigFile", SetupAction::kUnConfigFile},
    {"TLAdd", SetupAction::kTLAdd},
    {"TLRemove", SetupAction::kTLRemove},
    {"TLCheck", SetupAction::kTLCheck},
    {"TEST", SetupAction::kTest},
    {"SelfDelete", SetupAction::kSelfDelete},
}};

// Where the switches and the folder begin: the configuration words reserve their own
// positions, but only when spelled exactly so.
int32_t FirstFreePosition(const std::string& action) {
  if (action == "ConfigFile") return 6;
  if (action == "UnConfigFile") return 3;
  return 2;
}

// A switch begins with "/". Where "/" also separates folders (POSIX), an element with
// a second "/" is an absolute path instead: "/opt/orvex" is a folder, "/A" a switch.
bool IsSwitch(const std::string& element) {
  if (element.empty() || element[0] != '/') return false;
  return std::filesystem::path::preferred_separator != '/' ||
         element.find('/', 1) == std::string::npos;
}

constexpr std::array<const char*, 3> kSwitchNames{"/A", "/S", "/XAR"};

// POSIX: a single-level absolute folder ("/opt") that exists is the folder, unless it
// is spelled as one of the switches.
bool IsExistingFolderNotSwitch(const std::string& element) {
  // A lone "/" stays an (unknown) switch: no installation lives at the root.
  if (std::filesystem::path::preferred_separator != '/' || element.size() < 2) return false;
  for (const char* name : kSwitchNames) {
    if (EqualsNoCase(element, name)) return false;
  }
  std::error_code error;
  return std::filesystem::is_directory(element, error);
}

}  // namespace

SetupAction FindSetupAction(const std::string& word) {
  for (const auto& entry : kActionWords) {
    if (EqualsNoCase(word, entry.word)) return entry.action;
  }
  return SetupAction::kNone;
}

void RtdSetupArgs::Parse(const ArgvList& args) {
  *this = RtdSetupArgs{};
  if (args.count() < 2) {
    error = "Too few arguments";
    return;
  }
  program = args.Arg(0);
  action = args.Arg(1);
  if (FindSetupAction(action) == SetupAction::kNone) {
    not_an_action = true;
    error = "Action not recognized: " + action;
    return;
  }
  bool have_folder = false;
  for (int32_t i = FirstFreePosition(action); i < args.count(); ++i) {
    const std::string element = args.Arg(i);
    if (!IsSwitch(element) || IsExistingFolderNotSwitch(element)) {
      if (have_folder) {
        error = "Unexpected argument: " + element;
        return;
      }
      folder = element;
      have_folder = true;
      continue;
    }
    const std::pair<const char*, bool*> switches[] = {
        {"/A", &all_users}, {"/S", &switch_s}, {"/XAR", &no_auto_run}};
    bool known = false;
    for (const auto& [name, flag] : switches) {
      if (!EqualsNoCase(element, name)) continue;
      if (*flag) {
        error = std::string("Repeated switch ") + name;
        return;
      }
      *flag = known = true;
    }
    if (!known) {
      error = "Unknown switch: " + element;
      return;
    }
  }
}

}  // namespace orvex
